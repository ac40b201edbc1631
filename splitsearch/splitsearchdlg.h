// The "Split Search" window: modeless, beside the main window. "Search" scans every symbol
// of the portfolio shown for jumps that look like unrecorded splits and appends one line
// per hit to a list that only grows; "Save As..." writes the lines to a text file.
//
// The scan runs inside the Search handler but lets the windows paint and take input after
// each symbol, so a long scan can be watched and stopped: while it runs Search reads Stop,
// which ends it before the next symbol; Close (or Escape) does the same and then closes the
// window. A symbol the scan skips (too few quotes, a file it cannot read) is named in the
// window's own list of skipped symbols, never in a box that would hold the scan up.
// Double-clicking a line shows that symbol with the quote of the split date selected in
// the main window.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "datafiles/encoding.h"
#include "datafiles/master.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace barwise {
class CommandView;
class UiHost;
}  // namespace barwise

class CSplitSearchDlg : public QDialog {
    Q_OBJECT
public:
    // Longest status text shown.
    static constexpr int kMaxStatus = 25;

    CSplitSearchDlg(barwise::CommandView& view, barwise::UiHost& host, QWidget* parent = nullptr);
    ~CSplitSearchDlg() override;

    void OnSearch();
    void OnSaveAs();
    // Shows the symbol and the quote of result line `row` in the main window.
    void OnShowLine(int row);

    bool Searching() const { return m_searching; }
    QStringList Lines() const;
    // The symbols the searches skipped, one line each, with why.
    QStringList Notices() const;
    QString StatusText() const;
    // The lines found for one security, with the date of the later quote of each.
    struct Candidate {
        barwise::DateCode date = barwise::kNoDate;
        QString line;
    };
    std::vector<Candidate> CandidatesFor(const barwise::SecurityId& id) const;

    // Close, Escape and the window's close box: a running scan stops first.
    void reject() override;

signals:
    // A result line was added.
    void CandidatesChanged();

protected:
    void showEvent(QShowEvent* event) override;
    // The main window closing while a scan runs waits for the scan to stop.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Hit {
        barwise::SecurityId id;
        barwise::DateCode date = barwise::kNoDate;
        std::string ticker;
    };
    void AddLine(const std::string& line, Hit hit);
    void AddNotice(const std::string& message);
    void SetStatus(const std::string& text);
    void Pump(bool force);

    barwise::CommandView& m_view;
    barwise::UiHost& m_host;
    QListWidget* m_list;
    QLabel* m_noticesLabel;
    QListWidget* m_notices;
    QLabel* m_status;
    QPushButton* m_search;
    QPushButton* m_saveAs;
    std::vector<std::string> m_lines;  // as written to the file (single-byte texts)
    std::vector<Hit> m_hits;           // one per line
    bool m_searching = false;
    bool m_stop = false;
    bool m_closeWhenStopped = false;
    bool m_closeMainWhenStopped = false;
    bool m_placed = false;
    qint64 m_lastPump = 0;
};

// Portfolio > Split Search: marks the window open in the view and shows it; it deletes
// itself when closed and clears the mark.
CSplitSearchDlg* OpenSplitSearch(barwise::CommandView& view, barwise::UiHost& host,
                                 QWidget* parent);
