// A CommandView for command tests: the test sets what is selected, and the fake records
// every refresh the command asks for (and can run a callback for it, to show new data).
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ui/commandview.h"

class FakeCommandView final : public barwise::CommandView {
public:
    enum class Refill { Symbols, Quotes };

    std::string PortfolioDir() const override { return portfolioDir; }
    std::string MasterPath() const override { return masterPath; }
    std::vector<std::string> Portfolios() const override { return portfolios; }
    int CurrentPortfolio() const override { return currentPortfolio; }

    int SymbolCount() const override { return static_cast<int>(symbols.size()); }
    std::vector<barwise::SymbolSelection> Symbols() const override { return symbols; }
    int SelectedSymbolRow() const override { return symbolRow; }
    std::optional<barwise::SymbolSelection> SelectedSecurity() const override {
        if (symbolRow < 0 || symbolRow >= SymbolCount()) return std::nullopt;
        return symbols[static_cast<std::size_t>(symbolRow)];
    }

    int QuoteCount() const override { return static_cast<int>(quotes.size()); }
    std::optional<barwise::QuoteSelection> SelectedQuote() const override {
        if (quoteRow < 0 || quoteRow >= QuoteCount()) return std::nullopt;
        barwise::QuoteSelection q = quotes[static_cast<std::size_t>(quoteRow)];
        q.row = quoteRow;
        return q;
    }
    // Row 0 is the newest quote, as in the grid.
    barwise::DateCode FirstDate() const override {
        return quotes.empty() ? barwise::kNoDate : quotes.back().date;
    }
    barwise::DateCode LastDate() const override {
        return quotes.empty() ? barwise::kNoDate : quotes.front().date;
    }

    bool SplitSearchOpen() const override { return splitSearchOpen; }
    void SetSplitSearchOpen(bool open) override { splitSearchOpen = open; }

    void RefillSymbols(int selectRow) override {
        refills.emplace_back(Refill::Symbols, selectRow);
        if (onRefill) onRefill(Refill::Symbols, selectRow);
        symbolRow = selectRow;
    }
    void RefillQuotes(int selectRow) override {
        refills.emplace_back(Refill::Quotes, selectRow);
        if (onRefill) onRefill(Refill::Quotes, selectRow);
        quoteRow = selectRow;
    }
    void SetSymbolRowTexts(int row, const std::string& symbol, const std::string& name) override {
        symbols.at(static_cast<std::size_t>(row)).symbol = symbol;
        symbols.at(static_cast<std::size_t>(row)).name = name;
    }
    bool ShowSecurityQuote(const barwise::SecurityId& id, barwise::DateCode date) override {
        shown.emplace_back(id, date);
        for (std::size_t i = 0; i < symbols.size(); ++i)
            if (symbols[i].id == id) symbolRow = static_cast<int>(i);
        return symbolRow >= 0 && symbolRow < SymbolCount() &&
               symbols[static_cast<std::size_t>(symbolRow)].id == id;
    }
    QWidget* DialogParent() override { return nullptr; }

    std::string portfolioDir;
    std::string masterPath;
    std::vector<std::string> portfolios;
    int currentPortfolio = -1;
    std::vector<barwise::SymbolSelection> symbols;
    int symbolRow = 0;
    std::vector<barwise::QuoteSelection> quotes;  // newest first
    int quoteRow = 0;
    bool splitSearchOpen = false;
    std::vector<std::pair<Refill, int>> refills;
    std::vector<std::pair<barwise::SecurityId, barwise::DateCode>>
        shown;  // ShowSecurityQuote calls
    std::function<void(Refill, int)> onRefill;
};
