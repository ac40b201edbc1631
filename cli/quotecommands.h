// barwise-cli's quote-editing subcommands: edit-quote, split, adjust, add-quote and
// delete-quote, with the checks and message texts of the window's dialogs.
#pragma once

#include "cli/cli.h"

namespace barwise {

void DefineEditQuote(CLI::App& sub, const CommandSetup& setup);
void DefineSplit(CLI::App& sub, const CommandSetup& setup);
void DefineAdjust(CLI::App& sub, const CommandSetup& setup);
void DefineAddQuote(CLI::App& sub, const CommandSetup& setup);
void DefineDeleteQuote(CLI::App& sub, const CommandSetup& setup);

}  // namespace barwise
