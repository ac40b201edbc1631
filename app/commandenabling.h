// Which commands are available in the current state of the main view.
#pragma once

namespace barwise {

// What the enabling rule looks at, taken from the view at the moment of the update.
struct ViewState {
    int portfolioRows = 0;  // entries of the portfolio list
    int symbolRows = 0;     // rows of the symbols grid
    int quoteRows = 0;      // rows of the quotes grid
    int symbolCount = 0;    // m_symbolCount
    int selQuoteRow = 0;    // m_selQuoteRow
    bool portfoliosFound = false;
    bool splitSearchOpen = false;
};

// The one rule for menu items and toolbar buttons alike; a command without a rule of its
// own is always enabled.
bool IsCommandEnabled(int id, const ViewState& state);

}  // namespace barwise
