// The main view: the drive list and portfolio list, the symbols grid of the selected
// portfolio and the quotes grid of the selected symbol, newest first. It holds all the
// selection state the commands read (through CommandView), and refills the grids after
// they change the data.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/commandenabling.h"
#include "datafiles/series.h"
#include "discovery/portfoliosearch.h"
#include "ui/commandview.h"

class QComboBox;
class QListWidget;
class QModelIndex;
class QStatusBar;
class QTableView;
class QItemSelection;
class QTimer;

namespace barwise {
class SettingsStore;
class UiHost;
class SymbolGridModel;
class QuoteGridModel;
}  // namespace barwise

class CSearchProgressDlg;

class CBarwiseView : public QWidget, public barwise::CommandView {
    Q_OBJECT
public:
    // How the view reads quotes of a security; the program uses barwise::ReadSeries.
    using SeriesReader = std::function<barwise::DataStatus(
        barwise::QuoteSeries&, const barwise::SecurityId& id, std::int32_t start,
        std::int32_t count)>;
    // How the view lists drives; the program uses barwise::ListDrives.
    using DriveLister = std::function<std::vector<barwise::Drive>()>;

    static constexpr int kQuoteBlock = 400;
    static constexpr int kFirstRowsShown = 30;
    static constexpr int kProgressStep = 10;
    static constexpr int kProgressIntervalMs = 40;
    static constexpr int kStartupDelayMs = 100;
    // A symbol chosen with the keyboard shows its quotes once the selection has rested
    // this long, so holding an arrow key does not read every series on the way.
    static constexpr int kKeyboardLoadDelayMs = 200;
    static constexpr std::size_t kMaxMasterPath = 298;

    CBarwiseView(barwise::SettingsStore& settings, barwise::UiHost& host, QWidget* parent = nullptr);
    ~CBarwiseView() override;

    // Where a quotes fill shows its progress: over `firstPane` of `statusBar`.
    void SetProgressPlace(QStatusBar* statusBar, QWidget* firstPane);
    void SetSeriesReader(SeriesReader reader) { m_readSeries = std::move(reader); }
    void SetDriveLister(DriveLister lister) { m_listDrives = std::move(lister); }

    // ----- operations -----
    void FillDriveList();
    void OnDriveChanged();
    void ScanDrive();
    // A drive search is running (its progress window is up).
    bool Scanning() const { return m_scanDialog != nullptr; }
    bool SelectPortfolio(const std::string& masterPath);
    void FillSymbolsGrid(int selectRow);
    void FillQuotesGrid(int selectRow);
    bool RepairMasterSymbols();
    void ResetView(int level);
    // Shows the quotes of the selected symbol now if they are still waiting for the
    // keyboard pause, so a command acts on the symbol the user sees selected.
    void SettleSelection();
    bool QuotesPending() const;

    // ----- command handlers -----
    void OnSearchFilter();
    void OnSymbolAbout();

    // Start-up set-up: column widths, then the drive list and the first search.
    void OnTimer();
    // Saves the grids' column widths (the frame calls it when it closes).
    void SaveColumnWidths();

    // What the command-enabling rule needs, as of now.
    barwise::ViewState State() const;
    // The texts of the status bar's symbol and quote panes.
    QString SymbolPaneText() const;
    QString QuotePaneText() const;
    // The status bar's security pane: the selected security's whole name, its quote file and
    // the index file that lists it; empty when none is selected.
    QString SecurityPaneText() const;

    // ----- CommandView -----
    std::string PortfolioDir() const override { return m_portfolioDir; }
    std::string MasterPath() const override { return m_masterPath; }
    std::vector<std::string> Portfolios() const override;
    int CurrentPortfolio() const override;
    int SymbolCount() const override { return m_symbolCount; }
    std::vector<barwise::SymbolSelection> Symbols() const override;
    int SelectedSymbolRow() const override { return m_selSymbolRow; }
    std::optional<barwise::SymbolSelection> SelectedSecurity() const override;
    int QuoteCount() const override { return m_quoteCount; }
    std::optional<barwise::QuoteSelection> SelectedQuote() const override;
    barwise::DateCode FirstDate() const override { return m_firstDay; }
    barwise::DateCode LastDate() const override { return m_lastDay; }
    bool SplitSearchOpen() const override { return m_splitSearchOpen != 0; }
    void SetSplitSearchOpen(bool open) override;
    void RefillSymbols(int selectRow) override { FillSymbolsGrid(selectRow); }
    void RefillQuotes(int selectRow) override { FillQuotesGrid(selectRow); }
    void SetSymbolRowTexts(int row, const std::string& symbol, const std::string& name) override;
    bool ShowSecurityQuote(const barwise::SecurityId& id, barwise::DateCode date) override;
    QWidget* DialogParent() override { return window(); }

    barwise::SymbolGridModel& SymbolModel() { return *m_symbolModel; }
    barwise::QuoteGridModel& QuoteModel() { return *m_quoteModel; }
    const std::vector<barwise::Drive>& Drives() const { return m_drives; }

    // ----- state the commands read; they change it only through the operations above and
    // SetSplitSearchOpen, which tell StateChanged -----
    QComboBox* m_driveCombo = nullptr;
    QListWidget* m_portfolioList = nullptr;
    QTableView* m_symbolGrid = nullptr;
    QTableView* m_quoteGrid = nullptr;
    int m_searchLimit = 1;
    std::string m_startDir;
    std::string m_searchName;
    std::string m_searchNameUpper;
    std::unique_ptr<CSearchProgressDlg> m_scanDialog;
    // The current drive: its letter on Windows, its mount point elsewhere; "?" for none.
    std::string m_driveLetter = "?";
    int m_masterPathValid = 0;
    int m_timerStarted = 0;
    int m_portfoliosFound = 0;
    std::string m_portfolioDir;
    std::string m_selSymbol;
    std::string m_selName;
    // The entry whose quotes are shown (set with m_selSymbol by FillQuotesGrid).
    barwise::SecurityId m_selId;
    // Rows listed: MASTER's (at most 255) and every security XMASTER lists.
    int m_symbolCount = 0;
    int m_selSymbolRow = 0;
    // Wider than the symbol members: a DAT file may hold more quotes than a signed 16-bit
    // count can say.
    std::int32_t m_quoteCount = 0;
    std::int32_t m_selQuoteRow = 1;
    std::string m_firstDate;
    std::string m_lastDate;
    barwise::DateCode m_firstDay = 0;
    barwise::DateCode m_lastDay = 0;
    int m_splitSearchOpen = 0;
    std::string m_masterPath;
    int m_foundCount = 0;

signals:
    // Something the command states or the status panes depend on has changed.
    void StateChanged();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void BuildForm();
    void OnPortfolioSelected();
    void OnSymbolClicked(const QModelIndex& index);
    void OnSymbolSelectionChanged();
    void OnQuoteSelectionChanged();
    void SetTitle(const QString& symbolText);
    void SelectGridRow(QTableView* grid, int row);
    void PumpScanWindow(bool force);

    barwise::SettingsStore& m_settings;
    barwise::UiHost& m_host;
    barwise::SymbolGridModel* m_symbolModel = nullptr;
    barwise::QuoteGridModel* m_quoteModel = nullptr;
    QStatusBar* m_statusBar = nullptr;
    QWidget* m_firstPane = nullptr;
    QTimer* m_keyboardLoad = nullptr;
    SeriesReader m_readSeries;
    DriveLister m_listDrives;
    std::vector<barwise::Drive> m_drives;
    qint64 m_lastPump = 0;
    bool m_columnsSet = false;
    // DOP files set aside this session, each named to the user once.
    std::set<std::string> m_untrustedDops;
    // Portfolios whose EMASTER or XMASTER was set aside this session, each named once.
    std::set<std::string> m_indexWarnings;
};
