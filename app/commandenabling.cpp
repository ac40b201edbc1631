#include "app/commandenabling.h"

#include "app/commandids.h"

namespace barwise {

std::string_view CommandPrompt(int id) {
    switch (id) {
        case kCmdQuoteEdit:
            return "Edit the selected day's data\nEdit data";
        case kCmdQuoteSplit:
            return "Enter a split\nEnter split";
        case kCmdQuoteAdjust:
            return "Scale the volume or price\nScale values";
        case kCmdSymbolAbout:
            return "Facts about the selected quote series\nData facts";
        case kCmdQuoteDelete:
            return "Delete a single quote\nDelete quote";
        case kCmdSplitSearch:
            return "Search this portfolio for possible splits\nSplit search";
        case kCmdSymbolEdit:
            return "Edit the symbol and name\nEdit Symbol";
        case kCmdSearchFilter:
            return "Filter\nFilter";
        case kCmdSymbolMove:
            return "Move\nMove";
        case kCmdSymbolDelete:
            return "Delete Symbol\nDelete Symbol";
        case kCmdQuoteAdd:
            return "Add a single quote\nAdd quote";
        case kCmdExport:
            return "Export quotes\nExport";
        case kCmdImport:
            return "Import quotes from text files\nImport";
        case kCmdRescan:
            return "ReScan drive(s) for portfolios\nReScan";
        case kCmdSymbolCopy:
            return "Copy\nCopy";
        case kCmdPortfolioCheck:
            return "Check the files and quotes of this portfolio\nCheck portfolio";
        // The usual prompts of the standard commands.
        case kCmdAppAbout:
            return "Display program information, version number and copyright\nAbout";
        case kCmdAppExit:
            return "Quit the application; prompts to save documents\nExit";
        case kCmdHelpTopics:
            return "List Help topics\nHelp Topics";
        case kCmdViewToolbar:
            return "Show or hide the toolbar\nToggle ToolBar";
        case kCmdViewStatusBar:
            return "Show or hide the status bar\nToggle StatusBar";
        case kCmdViewChart:
            return "Show or hide the price chart\nChart";
        case kCmdSaveChart:
            return "Save the chart as a PNG or SVG picture\nSave chart";
        case kCmdEditUndo:
            return "Take back the last change made to this portfolio\nUndo";
        case kCmdEditRedo:
            return "Make again the last change undone\nRedo";
        default:
            return {};
    }
}

bool IsCommandEnabled(int id, const ViewState& s) {
    const bool symbols = s.symbolRows > 0;
    const bool quotes = s.quoteRows > 0;
    switch (id) {
        case kCmdSymbolMove:
        case kCmdSymbolCopy:
            return s.portfolioRows >= 2 && symbols;
        case kCmdSymbolDelete:
        case kCmdSymbolAbout:
            return s.portfoliosFound && symbols;
        case kCmdSymbolEdit:
            return s.portfoliosFound && !s.splitSearchOpen && symbols;
        case kCmdQuoteEdit:
        case kCmdQuoteSplit:
        case kCmdQuoteAdjust:
        case kCmdQuoteDelete:
            return s.portfoliosFound && quotes;
        // A new quote is made from the selected one and dated before it, so not from the
        // oldest.
        case kCmdQuoteAdd:
            return s.portfoliosFound && quotes && s.selQuoteRow != s.quoteRows - 1;
        case kCmdExport:
            return s.portfoliosFound && s.symbolCount != 0 && quotes;
        // Quotes come into the portfolio shown: its securities, or new ones.
        case kCmdImport:
            return s.portfoliosFound;
        case kCmdSplitSearch:
            return s.portfoliosFound && !s.splitSearchOpen && quotes;
        case kCmdPortfolioCheck:
            return s.portfoliosFound;
        default:
            return true;
    }
}

}  // namespace barwise
