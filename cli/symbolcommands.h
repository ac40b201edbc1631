// barwise-cli's symbol subcommands: rename-symbol, delete-symbol, move-symbol and
// copy-symbol, with the checks and message texts of the window's Symbol menu.
#pragma once

#include "cli/cli.h"

namespace barwise {

void DefineRenameSymbol(CLI::App& sub, const CommandSetup& setup);
void DefineDeleteSymbol(CLI::App& sub, const CommandSetup& setup);
void DefineMoveSymbol(CLI::App& sub, const CommandSetup& setup);
void DefineCopySymbol(CLI::App& sub, const CommandSetup& setup);

}  // namespace barwise
