#include <iostream>

#ifndef _WIN32
#include <csignal>
#endif

#include "cli/cli.h"

int main(int argc, char** argv) {
#ifndef _WIN32
    // A closed pipe is a failed write (exit status 1), not a silent death by signal.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    std::ios::sync_with_stdio(false);
    return barwise::RunCli(argc, argv, std::cout, std::cerr);
}
