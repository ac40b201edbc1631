// barwise-cli's quote-editing subcommands: edit-quote, split, adjust, add-quote and
// delete-quote, with the checks and message texts of the window's dialogs.
#pragma once

#include <functional>
#include <ostream>

#include "cli/cli.h"

namespace CLI {
class App;
}

namespace barwise {

inline constexpr CliCommand kEditQuoteCommand{"edit-quote", "Change the values of one day of a security"};
inline constexpr CliCommand kSplitCommand{"split", "Record a split: scale every quote before DATE by the share ratio"};
inline constexpr CliCommand kAdjustCommand{"adjust", "Multiply prices, volume and open interest from FROM to TO"};
inline constexpr CliCommand kAddQuoteCommand{"add-quote", "Add the weekday before DATE as a copy of DATE's quote"};
inline constexpr CliCommand kDeleteQuoteCommand{"delete-quote", "Delete the quote of DATE"};

// Adds the subcommands to the command line; the one parsed sets `run`.
void AddQuoteSubcommands(CLI::App& app, std::function<int()>& run, std::ostream& out, std::ostream& err);

}  // namespace barwise
