// What a portfolio directory holds, to tell which files an operation changed.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "datafiles/portfoliolock.h"
#include "testsupport/tempdir.h"

namespace barwise::testing {

using Files = std::map<std::string, std::vector<std::uint8_t>>;

// The regular files of dir by name, the portfolio's lock file left out.
inline Files Snapshot(const std::filesystem::path& dir) {
    Files files = ReadFiles(dir);
    files.erase(std::string(kLockFileName));
    return files;
}

// Names of the files added, removed or changed in dir since `before`.
inline std::vector<std::string> ChangedSince(const std::filesystem::path& dir,
                                             const Files& before) {
    const Files now = Snapshot(dir);
    std::vector<std::string> changed;
    for (const auto& [name, bytes] : now)
        if (!before.count(name) || before.at(name) != bytes) changed.push_back(name);
    for (const auto& [name, bytes] : before)
        if (!now.count(name)) changed.push_back(name);
    return changed;
}

}  // namespace barwise::testing
