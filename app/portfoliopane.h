// The "Portfolios" box of the main view: the drive list, the portfolio search on the chosen
// drive with its filter, and the list of portfolios found. It tells the view which
// portfolio is chosen; the view shows its symbols.
#pragma once

#include <QGroupBox>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "discovery/portfoliosearch.h"

class QComboBox;
class QListWidget;
class CSearchProgressDlg;

namespace barwise {
class SettingsStore;
class UiHost;
}  // namespace barwise

class CPortfolioPane : public QGroupBox {
    Q_OBJECT
public:
    // How the pane lists drives; the program uses barwise::ListDrives.
    using DriveLister = std::function<std::vector<barwise::Drive>()>;

    // Between two looks at the search's Cancel button, at most this long.
    static constexpr int kScanPumpIntervalMs = 40;

    CPortfolioPane(barwise::SettingsStore& settings, barwise::UiHost& host,
                   QWidget* parent = nullptr);
    ~CPortfolioPane() override;

    void SetDriveLister(DriveLister lister) { m_listDrives = std::move(lister); }

    // Lists the drives, chooses the remembered one (else the current directory's) and
    // searches it.
    void FillDriveList();
    // The drive chosen in the list, searched when it is another than the last.
    void OnDriveChanged();
    // Searches the current drive again and lists what it finds; the first portfolio is
    // chosen.
    void ScanDrive();
    // The Portfolio Search Filter dialog; a changed filter searches again.
    void OnSearchFilter();

    // A drive search is running (its progress window is up).
    bool Scanning() const { return m_scanDialog != nullptr; }
    // The last search found portfolios (they are listed).
    bool PortfoliosFound() const { return m_portfoliosFound; }
    std::vector<std::string> Portfolios() const;
    int CurrentPortfolio() const;
    const std::vector<barwise::Drive>& Drives() const { return m_drives; }
    // The filter's key in capitals, as the search compares it.
    const std::string& SearchKeyUpper() const { return m_searchNameUpper; }

    QComboBox* DriveCombo() const { return m_driveCombo; }
    QListWidget* PortfolioList() const { return m_portfolioList; }

signals:
    // The listed portfolios are going (a new search starts): the view clears what it shows.
    void PortfoliosCleared();
    // A portfolio was chosen: its MASTER path (as listed, plus MASTER).
    void PortfolioChosen(const std::string& masterPath);
    void StateChanged();

private:
    void ClearPortfolios();
    void OnPortfolioSelected();
    void PumpScanWindow(bool force);
    void RememberDrive(const barwise::Drive& drive);

    barwise::SettingsStore& m_settings;
    barwise::UiHost& m_host;
    DriveLister m_listDrives;
    QComboBox* m_driveCombo = nullptr;
    QListWidget* m_portfolioList = nullptr;
    std::unique_ptr<CSearchProgressDlg> m_scanDialog;
    std::vector<barwise::Drive> m_drives;
    // The drive searched: its letter on Windows, its mount point elsewhere; "?" for none.
    std::string m_mountPoint = "?";
    bool m_searchLimit = true;
    std::string m_searchName;
    std::string m_searchNameUpper;
    bool m_portfoliosFound = false;
    qint64 m_lastPump = 0;
};
