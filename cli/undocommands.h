// barwise-cli's undo, redo and history subcommands.
#pragma once

#include "cli/cli.h"

namespace barwise {

void DefineUndo(CLI::App& sub, const CommandSetup& setup);
void DefineRedo(CLI::App& sub, const CommandSetup& setup);
void DefineHistory(CLI::App& sub, const CommandSetup& setup);

}  // namespace barwise
