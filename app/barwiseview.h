// The main view: the portfolio pane, the symbols grid of the chosen portfolio and the
// quotes grid of the selected symbol, newest first. It holds the selection the commands
// read (through CommandView), refills the grids after they change the data, and tells
// which security and which quote are selected.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/commandenabling.h"
#include "datafiles/encoding.h"
#include "datafiles/master.h"
#include "ui/commandview.h"

class QModelIndex;
class QSplitter;
class QStatusBar;
class QTableView;
class QTimer;
class CPortfolioPane;

namespace barwise {
class QuoteLoader;
class SettingsStore;
class UiHost;
class SymbolGridModel;
class QuoteGridModel;
}  // namespace barwise

class CBarwiseView : public QWidget, public barwise::CommandView {
    Q_OBJECT
public:
    // How the view opens a security's quotes; the program uses a plain barwise::QuoteLoader.
    using LoaderFactory = std::function<std::unique_ptr<barwise::QuoteLoader>()>;

    static constexpr int kQuoteBlock = 400;
    static constexpr int kFirstRowsShown = 30;
    static constexpr int kStartupDelayMs = 100;
    // A symbol chosen with the keyboard shows its quotes once the selection has rested
    // this long, so holding an arrow key does not read every series on the way.
    static constexpr int kKeyboardLoadDelayMs = 200;

    CBarwiseView(barwise::SettingsStore& settings, barwise::UiHost& host,
                 QWidget* parent = nullptr);
    ~CBarwiseView() override;

    // Where a quotes fill shows its progress: over `firstPane` of `statusBar`.
    void SetProgressPlace(QStatusBar* statusBar, QWidget* firstPane);
    void SetLoaderFactory(LoaderFactory factory) { m_makeLoader = std::move(factory); }

    CPortfolioPane& PortfolioPane() const { return *m_pane; }
    QTableView* SymbolGrid() const { return m_symbolGrid; }
    QTableView* QuoteGrid() const { return m_quoteGrid; }
    // Holds the quotes grid; another pane may be added beside it.
    QSplitter* QuoteArea() const { return m_quoteArea; }
    barwise::SymbolGridModel& SymbolModel() { return *m_symbolModel; }
    barwise::QuoteGridModel& QuoteModel() { return *m_quoteModel; }

    // ----- operations -----
    // A drive search is running (its progress window is up).
    bool Scanning() const;
    // Takes the portfolio of a MASTER path; false (and no portfolio) when the path cannot
    // be one.
    bool SelectPortfolio(const std::string& masterPath);
    void FillSymbolsGrid(int selectRow);
    void FillQuotesGrid(int selectRow);
    // Shows the quotes of the selected symbol now if they are still waiting for the
    // keyboard pause, so a command acts on the symbol the user sees selected.
    void SettleSelection();
    bool QuotesPending() const;

    // Start-up, once the window shows: column widths, then the drive list and the first
    // search.
    void FinishStartup();
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
    // The selected quote's grid row (0 = newest) and the dates of the series shown (m/d/yy).
    int SelectedQuoteRow() const { return m_selQuoteRow; }
    const std::string& FirstDateText() const { return m_firstDate; }
    const std::string& LastDateText() const { return m_lastDate; }

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
    bool SplitSearchOpen() const override { return m_splitSearchOpen; }
    void SetSplitSearchOpen(bool open) override;
    void RefillSymbols(int selectRow) override { FillSymbolsGrid(selectRow); }
    void RefillQuotes(int selectRow) override { FillQuotesGrid(selectRow); }
    void SetSymbolRowTexts(int row, const std::string& symbol, const std::string& name) override;
    bool ShowSecurityQuote(const barwise::SecurityId& id, barwise::DateCode date) override;
    // Selects the quote at `position` of the data file (0 = oldest) when it is still that
    // date and time, else the row of that date and time; false when no row holds it.
    bool SelectQuote(int position, barwise::DateCode date, barwise::TimeCode time);
    QWidget* DialogParent() override { return window(); }

signals:
    // Something the command states or the status panes depend on has changed.
    void StateChanged();
    // The security whose quotes are shown changed (an invalid id: none).
    void SecuritySelected(const barwise::SecurityId& id);
    // The selected quote changed: its position in the data file (0 = oldest; -1 and kNoDate
    // when none is selected), its date and its time.
    void QuoteSelected(int position, barwise::DateCode date, barwise::TimeCode time);
    // The quotes of the security `id` were read again (after a fill of the quotes grid,
    // whether it changed the security or not); `title` is its symbol and name.
    void QuotesShown(const barwise::SecurityId& id, const QString& title);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void BuildForm();
    void OnPortfolioChosen(const std::string& masterPath);
    void OnSymbolClicked(const QModelIndex& index);
    void OnSymbolSelectionChanged();
    void OnQuoteSelectionChanged();
    // Empties the symbols grid and what follows it (the quotes), or the quotes grid alone.
    void ClearSymbols();
    void ClearQuotes();
    void SetTitle(const QString& symbolText);
    void SelectGridRow(QTableView* grid, int row);
    // Tells SecuritySelected and QuoteSelected when the selection differs from the last told.
    void TellSelection();
    void TellQuotesShown();

    barwise::SettingsStore& m_settings;
    barwise::UiHost& m_host;
    CPortfolioPane* m_pane = nullptr;
    QTableView* m_symbolGrid = nullptr;
    QTableView* m_quoteGrid = nullptr;
    QSplitter* m_quoteArea = nullptr;
    barwise::SymbolGridModel* m_symbolModel = nullptr;
    barwise::QuoteGridModel* m_quoteModel = nullptr;
    QStatusBar* m_statusBar = nullptr;
    QWidget* m_firstPane = nullptr;
    QTimer* m_keyboardLoad = nullptr;
    LoaderFactory m_makeLoader;
    bool m_startupQueued = false;
    bool m_columnsSet = false;

    // The portfolio shown: its directory and its MASTER (as named on disk); m_portfolioValid
    // is false when the last portfolio chosen could not be taken.
    bool m_portfolioValid = false;
    std::string m_portfolioDir;
    std::string m_masterPath;
    // Rows listed: MASTER's (at most 255) and every security XMASTER lists.
    int m_symbolCount = 0;
    int m_selSymbolRow = 0;
    // The entry whose quotes are shown, with its row's texts (set by FillQuotesGrid).
    barwise::SecurityId m_selId;
    std::string m_selSymbol;
    std::string m_selName;
    // Wider than the symbol members: a DAT file may hold more quotes than a signed 16-bit
    // count can say.
    std::int32_t m_quoteCount = 0;
    std::int32_t m_selQuoteRow = 1;
    std::string m_firstDate;
    std::string m_lastDate;
    barwise::DateCode m_firstDay = 0;
    barwise::DateCode m_lastDay = 0;
    bool m_splitSearchOpen = false;

    // What TellSelection last told.
    barwise::SecurityId m_toldId;
    int m_toldPosition = -1;
    barwise::DateCode m_toldDate = barwise::kNoDate;
    barwise::TimeCode m_toldTime = 0;

    // DOP files set aside this session, each named to the user once.
    std::set<std::string> m_untrustedDops;
    // Portfolios whose EMASTER or XMASTER was set aside this session, each named once.
    std::set<std::string> m_indexWarnings;
};
