// Runs barwise-cli in-process with its own streams; small series for it to read.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "testsupport/dailyseries.h"
#include "testsupport/tempdir.h"

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

// Whether the run ended with that status and said that on standard error.
inline bool Says(const CliRun& r, int status, const std::string& text) {
    return r.status == status && r.err.find(text) != std::string::npos;
}

// n daily quotes of 24-byte records from 1 January 2001, flat at 10; those before jumpAt
// (when given) twice as high, a 2-for-1 split for the split search to find.
inline DemoSeries FlatSeries(int fileNumber, const std::string& symbol, const std::string& name,
                             int n, int jumpAt = -1) {
    return DailySeries(fileNumber, symbol, name, 24, MakeDate(2001, 1, 1), n, [&](int i) {
        const float f = i < jumpAt ? 2.0f : 1.0f;
        return DemoQuote{0, 0, 10 * f, 10.1f * f, 9.9f * f, 10 * f, 500, 0};
    });
}

}  // namespace barwise::testing
