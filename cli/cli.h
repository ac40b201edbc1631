// barwise-cli: the command table and the in-process entry point. main() only forwards to
// RunCli, so tests run every subcommand with their own streams.
#pragma once

#include <functional>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
}

namespace barwise {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitDataFailure = 1;  // the message names the file and the DataStatus
inline constexpr int kExitUsage = 2;

// The streams a run reads and writes: results go to out, messages to err; delete-symbol
// asks its question on err and reads the answer from in, only when in is a terminal.
struct CliStreams {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    bool inIsTerminal = false;
};

// What a subcommand is given while it declares its arguments: the streams, and the body to
// set once its arguments are parsed.
struct CommandSetup {
    const CliStreams& io;
    std::function<int()>& run;
};

struct CliCommand {
    std::string_view name;
    std::string_view help;
    // Declares the subcommand's arguments on `sub` and, once parsed, sets setup.run.
    void (*define)(CLI::App& sub, const CommandSetup& setup);
};
// The subcommands, in the order --help lists them.
const std::vector<CliCommand>& CliCommands();

// Runs barwise-cli with argv[0] being the program name.
int RunCli(int argc, const char* const* argv, const CliStreams& io);
// The same with the arguments after the program name.
int RunCli(const std::vector<std::string>& args, const CliStreams& io);

// The check of a numeric option such as --file N: empty when the text is a whole decimal
// number (digits only), else the message ("1abc", "0x10", "1e3" and "" are refused).
std::string WholeNumberCheck(const std::string& text);

// Keys typed on the command line, UTF-8, as the Latin-1 bytes of MASTER text fields (text
// that is not UTF-8 or has characters beyond Latin-1 is kept). Latin1ToUtf8
// (commands/symbols/symbolops.h) goes the other way.
std::string Utf8ToLatin1(std::string_view text);

}  // namespace barwise
