#include "discovery/masterpath.h"

#include <gtest/gtest.h>

#include <fstream>

#include "datafiles/fileio.h"
#include "discovery/testtree.h"

namespace barwise {
namespace {

using testing::Native;
using testing::TempDir;

TEST(PortfolioOfMaster, TakesOnlyAMasterPathWithinTheLimit) {
    const std::string dir290 = "/" + std::string(290, 'd');
    const std::string dir291 = "/" + std::string(291, 'd');
    struct Row { std::string path; bool accepted; std::string directory; } rows[] = {
        {"/data/ms/MASTER", true, "/data/ms"},
        {"/MASTER", true, kPathSeparator == '/' ? "/" : ""},
        {"MASTER", true, ""},
        {dir290 + "/MASTER", true, dir290},  // 298 characters
        {dir291 + "/MASTER", false, ""},     // 299
        {"/data/master", false, ""},
        {"/data/XMASTER", false, ""},
        {"", false, ""},
    };
    for (const Row& r : rows) {
        const std::string path = Native(r.path);
        const auto got = PortfolioOfMaster(path);
        EXPECT_EQ(got.has_value(), r.accepted) << path.size() << ' ' << r.path.substr(0, 40);
        if (!got || !r.accepted) continue;
        EXPECT_EQ(got->directory, Native(r.directory)) << r.path.substr(0, 40);
        EXPECT_EQ(got->masterFile, path);  // nothing on disk: the path as given
    }
}

TEST(PortfolioOfMaster, FindsMasterInAnotherLetterCase) {
    TempDir tmp;
    std::ofstream(tmp.path() / "Master") << "x";
    const auto got = PortfolioOfMaster(MasterPathIn(tmp.str()));
    ASSERT_TRUE(got);
    EXPECT_EQ(got->directory, tmp.str());
    EXPECT_TRUE(std::filesystem::exists(got->masterFile));
#ifndef _WIN32
    // Where names differ by case, the file as named on disk.
    EXPECT_EQ(std::filesystem::path(got->masterFile).filename().string(), "Master");
#endif
}

}  // namespace
}  // namespace barwise
