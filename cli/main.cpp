#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#include <csignal>
#endif

#include "cli/cli.h"

int main(int argc, char** argv) {
#ifdef _WIN32
    const bool terminal = _isatty(_fileno(stdin)) != 0;
#else
    // A closed pipe is a failed write (exit status 1), not a silent death by signal.
    std::signal(SIGPIPE, SIG_IGN);
    const bool terminal = isatty(fileno(stdin)) != 0;
#endif
    std::ios::sync_with_stdio(false);
    return barwise::RunCli(argc, argv,
                           barwise::CliStreams{std::cin, std::cout, std::cerr, terminal});
}
