// Runs barwise-cli in-process with its own streams.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"

namespace barwise::testing {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// With an input, standard input is a terminal that types it.
inline CliRun Cli(const std::vector<std::string>& args, const char* input = nullptr) {
    std::istringstream in(input ? input : "");
    std::ostringstream out, err;
    CliRun r;
    r.status = RunCli(args, {in, out, err, input != nullptr});
    r.out = out.str();
    r.err = err.str();
    return r;
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace barwise::testing
