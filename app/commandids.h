// Command ids of the menu and the toolbar, and their status-bar prompts.
#pragma once

#include <string_view>

namespace barwise {

enum CommandId : int {
    kCmdQuoteEdit = 32771,
    kCmdQuoteSplit = 32772,
    kCmdQuoteAdjust = 32773,
    kCmdSymbolAbout = 32774,
    kCmdQuoteDelete = 32775,
    kCmdSplitSearch = 32776,
    kCmdSymbolEdit = 32789,
    kCmdSearchFilter = 32790,
    kCmdSymbolMove = 32791,
    kCmdSymbolDelete = 32793,
    kCmdQuoteAdd = 32794,
    kCmdExport = 32804,
    kCmdRescan = 32807,
    kCmdSymbolCopy = 32823,
    kCmdPortfolioCheck = 32840,
    kCmdImport = 32841,
    kCmdAppAbout = 57664,
    kCmdAppExit = 57665,
    kCmdHelpTopics = 57667,
    kCmdViewToolbar = 59392,
    kCmdViewStatusBar = 59393,
    // The price chart beside the quotes grid.
    kCmdViewChart = 32950,
    kCmdSaveChart = 32951,
    kCmdEditUndo = 57643,
    kCmdEditRedo = 57644,
};

// Every command the menu carries, in menu order.
inline constexpr CommandId kAllCommands[] = {
    kCmdAppExit,      kCmdViewToolbar, kCmdViewStatusBar, kCmdSplitSearch, kCmdPortfolioCheck,
    kCmdSearchFilter, kCmdRescan,      kCmdSymbolDelete,  kCmdSymbolMove,  kCmdSymbolCopy,
    kCmdSymbolEdit,   kCmdSymbolAbout, kCmdQuoteEdit,     kCmdQuoteSplit,  kCmdQuoteAdjust,
    kCmdQuoteAdd,     kCmdQuoteDelete, kCmdExport,        kCmdImport,      kCmdHelpTopics,
    kCmdAppAbout,     kCmdViewChart,   kCmdSaveChart,     kCmdEditUndo,    kCmdEditRedo,
};

// The prompt of a command: the status-bar text, "\n", the toolbar tooltip. Empty for an
// unknown id.
std::string_view CommandPrompt(int id);

}  // namespace barwise
