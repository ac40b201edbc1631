// barwise-cli's symbol subcommands: rename-symbol, delete-symbol, move-symbol and
// copy-symbol, with the checks and message texts of the window's Symbol menu. SYMBOL is
// looked up as the program looks up a key (symbol or name, any letter case, sub-directory
// entries followed); --file N names the entry of DIR's MASTER with file number N instead.
#pragma once

#include <functional>
#include <ostream>

#include "cli/cli.h"

namespace CLI {
class App;
}

namespace barwise {

inline constexpr CliCommand kRenameSymbolCommand{"rename-symbol",
                                                 "Give a security a new symbol and name"};
inline constexpr CliCommand kDeleteSymbolCommand{
    "delete-symbol", "Take a security out of MASTER and remove its data files"};
inline constexpr CliCommand kMoveSymbolCommand{"move-symbol",
                                               "Move a security into the portfolio DESTDIR"};
inline constexpr CliCommand kCopySymbolCommand{"copy-symbol",
                                               "Copy a security into the portfolio DESTDIR"};

// Adds the subcommands to the command line; the one parsed sets `run`.
void AddSymbolSubcommands(CLI::App& app, std::function<int()>& run, std::ostream& out,
                          std::ostream& err);

}  // namespace barwise
