// What the commands of the Symbol, Quotes and Portfolio menus see of the main view: what
// is selected, by identity and by text, and how to show the data again after a change.
// The main view implements it; command tests use FakeCommandView (ui/fakecommandview.h).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "datafiles/encoding.h"
#include "datafiles/master.h"

class QWidget;

namespace barwise {

// One row of the symbols grid: the entry it stands for and the texts it shows.
struct SymbolSelection {
    SecurityId id;
    std::string symbol;  // the row's symbol text (at most 16 characters)
    std::string name;    // the 16 name bytes, blanks kept
};

// One row of the quotes grid: its row (0 = the newest quote), the quote's date and time,
// and its values (open, high, low, close, volume, open interest; below 0 where the file
// has no such field).
struct QuoteSelection {
    int row = 0;
    DateCode date = kNoDate;
    TimeCode time = 0;
    std::array<float, 6> values{};
};

class CommandView {
public:
    virtual ~CommandView() = default;

    // The portfolio shown: its directory (no trailing separator, except a bare root) and
    // its MASTER file.
    virtual std::string PortfolioDir() const = 0;
    virtual std::string MasterPath() const = 0;
    // Every portfolio of the portfolio list in its order, and the index of the one shown
    // (-1 when none).
    virtual std::vector<std::string> Portfolios() const = 0;
    virtual int CurrentPortfolio() const = 0;

    // The symbols listed (at most 255) and the selected row among them.
    virtual int SymbolCount() const = 0;
    virtual std::vector<SymbolSelection> Symbols() const = 0;
    virtual int SelectedSymbolRow() const = 0;
    // The security whose quotes are shown; empty when no symbol is listed.
    virtual std::optional<SymbolSelection> SelectedSecurity() const = 0;

    // The quotes of the selected security: their number, the selected row, and the dates
    // of the oldest and the newest quote (0 when there are none).
    virtual int QuoteCount() const = 0;
    virtual std::optional<QuoteSelection> SelectedQuote() const = 0;
    virtual DateCode FirstDate() const = 0;
    virtual DateCode LastDate() const = 0;

    // Whether the split search window is open (it sets this when it opens and closes).
    virtual bool SplitSearchOpen() const = 0;
    virtual void SetSplitSearchOpen(bool open) = 0;

    // Reads MASTER again and shows its symbols with row `selectRow` selected, then the
    // quotes of that row.
    virtual void RefillSymbols(int selectRow) = 0;
    // Reads the selected security's quotes again, row `selectRow` selected.
    virtual void RefillQuotes(int selectRow) = 0;
    // Shows new texts in row `row` of the symbols grid without reading MASTER again: the row
    // keeps its place (and its entry) until the grid is next filled.
    virtual void SetSymbolRowTexts(int row, const std::string& symbol, const std::string& name) = 0;
    // Shows the quotes of the security `id` (selecting its portfolio and its row when they
    // are not shown) with the oldest quote of `date` selected, or the newest quote when it
    // has none of that date. False when no listed row stands for that entry any more.
    virtual bool ShowSecurityQuote(const SecurityId& id, DateCode date) = 0;

    // The window the commands' dialogs belong to (may be null).
    virtual QWidget* DialogParent() = 0;
};

}  // namespace barwise
