// The "Check Portfolio" window: modeless, beside the main window. "Check" reads every
// security of the portfolio shown and lists what is wrong, grouped by class (damage,
// suspect data, leftovers) in a table that sorts on any column. The check runs inside the
// handler but lets the windows paint and take input after each security, so it can be
// watched on the progress bar and stopped (Stop, or closing the window).
//
// "Repair Selected" mends the selected findings that are mechanical, after asking, and
// checks again; suspect data is never changed: double-clicking a quote finding shows that
// quote in the main window, where it can be edited. "Save Report..." writes the findings
// as text.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QString>
#include <vector>

#include "check/portfoliocheck.h"
#include "datafiles/changes.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

namespace barwise {
class CommandView;
class UiHost;

// The findings as the window's table shows them: one row per finding, the class column
// sorting by class (damage, suspect, leftover), then in the order found.
class CheckFindingsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kClass, kFile, kSecurity, kWhere, kProblem, kExpected, kFound, kColumnCount };
    // The role the proxy sorts by.
    static constexpr int kSortRole = Qt::UserRole + 1;

    explicit CheckFindingsModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
    void setFindings(std::vector<Finding> findings);
    const std::vector<Finding>& findings() const { return m_findings; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    std::vector<Finding> m_findings;
};

}  // namespace barwise

class CCheckDlg : public QDialog {
    Q_OBJECT
public:
    CCheckDlg(barwise::CommandView& view, barwise::UiHost& host, QWidget* parent = nullptr);
    ~CCheckDlg() override;

    void OnCheck();
    void OnRepairSelected();
    void OnSaveReport();
    // Shows the quote (or the security) of a table row in the main window.
    void OnShowRow(int viewRow);
    // The main window shows another security (perhaps of another portfolio): the next Check
    // reads the portfolio shown, and the window says so while its list is of another.
    void OnViewChanged();

    bool Checking() const { return m_checking; }
    const std::vector<barwise::Finding>& Findings() const { return m_model->findings(); }
    QString StatusText() const;
    // What the last repair changed (what undo takes back).
    const barwise::ChangeList& LastChanges() const { return m_lastChanges; }
    QTableView* Table() const { return m_table; }

    // Close, Escape and the window's close box: a running check stops first.
    void reject() override;

signals:
    // A check has ended (or been stopped) with a new list of findings.
    void FindingsChanged();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void SetChecking(bool on);
    void UpdateButtons();
    std::vector<barwise::Finding> SelectedFindings() const;

    barwise::CommandView& m_view;
    barwise::UiHost& m_host;
    barwise::CheckFindingsModel* m_model;
    QSortFilterProxyModel* m_proxy;
    QTableView* m_table;
    QLabel* m_portfolio;
    QLabel* m_status;
    QLabel* m_summary;
    QProgressBar* m_progress;
    QPushButton* m_check;
    QPushButton* m_stop;
    QPushButton* m_repair;
    QPushButton* m_save;
    QPushButton* m_close;
    std::string m_directory;
    barwise::ChangeList m_lastChanges;
    bool m_checking = false;
    bool m_stopAsked = false;
    bool m_closeWhenStopped = false;
    bool m_placed = false;
};

// Portfolio > Check...: shows the window for the portfolio shown; it deletes itself when
// closed.
CCheckDlg* OpenPortfolioCheck(barwise::CommandView& view, barwise::UiHost& host, QWidget* parent);
