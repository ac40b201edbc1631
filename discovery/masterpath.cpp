#include "discovery/masterpath.h"

#include <filesystem>
#include <system_error>

#include "datafiles/fileio.h"
#include "datafiles/master.h"

namespace barwise {

std::optional<PortfolioPaths> PortfolioOfMaster(std::string_view masterPath) {
    if (masterPath.empty() || masterPath.size() > kMaxMasterPath ||
        !masterPath.ends_with(kMasterFileName))
        return std::nullopt;
    const std::size_t nameAt = masterPath.size() - kMasterFileName.size();
    // "XMASTER" ends as "MASTER" does but names another file.
    if (nameAt > 0 && !IsPathSeparator(masterPath[nameAt - 1])) return std::nullopt;

    PortfolioPaths out;
    const std::size_t cut = nameAt;
    if (cut > 0) {
        // A portfolio at the root keeps its separator ("/"); any other none.
        const bool root = cut == 1 || (cut == 3 && masterPath[1] == ':');
        out.directory =
            std::string(masterPath.substr(0, root && kPathSeparator == '/' ? cut : cut - 1));
    }
    out.masterFile = std::string(masterPath);
    std::error_code ec;
    if (!std::filesystem::exists(out.masterFile, ec)) {
        const std::filesystem::path found = MasterPathOf(out.directory);
        if (std::filesystem::exists(found, ec)) out.masterFile = found.string();
    }
    return out;
}

std::string MasterPathIn(std::string_view portfolio) {
    std::string path(portfolio);
    if (path.empty() || !IsPathSeparator(path.back())) path += kPathSeparator;
    path += kMasterFileName;
    return path;
}

}  // namespace barwise
