// barwise-cli check: the portfolio check and its repairs, with the exit status of a
// file-system checker (0 clean, 1 findings remain, 2 usage or I/O error).
#pragma once

#include "cli/cli.h"

namespace barwise {

void DefineCheck(CLI::App& sub, const CommandSetup& setup);

}  // namespace barwise
