// Which portfolio a MASTER path names, and the MASTER file as it is named on disk.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace barwise {

// Longest MASTER path a portfolio may have (its directory and the file name).
inline constexpr std::size_t kMaxMasterPath = 298;

struct PortfolioPaths {
    // The portfolio as the window shows it: without a trailing separator, except a root
    // ("/"); empty for a bare "MASTER".
    std::string directory;
    // The MASTER file to read: the path as given when it exists, else the same name in
    // another letter case ("Master", "master") when the directory holds one, else the path
    // as given.
    std::string masterFile;
};

// The portfolio of `masterPath`: nullopt when the path is empty, longer than
// kMaxMasterPath, or its last component is not "MASTER".
std::optional<PortfolioPaths> PortfolioOfMaster(std::string_view masterPath);

// The MASTER path of a portfolio directory as listed (a separator added unless it ends in
// one); no lookup on disk.
std::string MasterPathIn(std::string_view portfolio);

}  // namespace barwise
