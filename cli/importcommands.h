// barwise-cli's import and new-portfolio subcommands.
#pragma once

#include "cli/cli.h"

namespace barwise {

void DefineImport(CLI::App& sub, const CommandSetup& setup);
void DefineNewPortfolio(CLI::App& sub, const CommandSetup& setup);

}  // namespace barwise
