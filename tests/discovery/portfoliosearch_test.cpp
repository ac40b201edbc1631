// Finding portfolios: the search of a directory tree for MASTER files, its filter and the
// volumes it keeps out of, and the portfolio a MASTER path names.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "datafiles/fileio.h"
#include "discovery/masterpath.h"
#include "discovery/pathfilter.h"
#include "discovery/portfoliosearch.h"
#include "discovery/testtree.h"

namespace barwise {
namespace {

using testing::Native;
using testing::TempDir;
using testing::WriteText;

using Paths = std::vector<std::string>;

// A search from `root` with the filter given (or none): the portfolios found and the
// directories visited, in the order the walk met them, and the counts of finds reported.
struct Walk {
    Paths found, visited;
    std::vector<int> counts;
    bool complete;
    Walk(const std::string& root, const std::string& filter = "", Paths excluded = {}) {
        SearchOptions options;
        options.limit = !filter.empty();
        options.filterKeyUpper = ToUpperAscii(filter);
        options.otherVolumeRoots = std::move(excluded);
        SearchObserver observer;
        observer.visiting = [&](const std::string& p) { visited.push_back(p); };
        observer.found = [&](int n) { counts.push_back(n); };
        complete = SearchDirectory(root, found, options, observer);
    }
};

// A tree of directories with MASTER files (or other files) at the paths given.
class SearchTree : public ::testing::Test {
protected:
    TempDir tmp;
    const std::string r = tmp.str();
    void Put(const Paths& files) {
        for (const std::string& f : files) WriteText(tmp.path() / f, "x");
    }
    std::string At(const std::string& rel) const { return r + Native(rel); }
};

TEST_F(SearchTree, FindsMasterFilesInAnyCaseAndSkipsDotDirectories) {
    // The start itself, any letter case, never in dot directories, not MASTER.BAK, and
    // below a directory named MASTER.
    Put({"MASTER", "a/MASTER", "b/Master", "c/d/e/master", ".hidden/MASTER", "f/.git/x/MASTER",
         "g/MASTER.BAK", "h/MASTER/i/MASTER"});
    EXPECT_EQ(SortPortfolios(Walk(r).found),
              SortPortfolios({r, At("/a"), At("/b"), At("/c/d/e"), At("/h/MASTER/i")}));
}

TEST(PortfolioSearch, SortIgnoresLetterCase) {
    EXPECT_EQ(SortPortfolios({"/x/beta", "/x/Alpha", "/x/alpha2", "/x/GAMMA", "/x/_under"}),
              (Paths{"/x/_under", "/x/Alpha", "/x/alpha2", "/x/beta", "/x/GAMMA"}));
}

// Each directory is visited once and each find reported; a directory's own MASTER comes
// before its sub-directories' (depth first).
TEST_F(SearchTree, VisitsEachDirectoryOnceAndReportsEachFindDepthFirst) {
    Put({"p1/MASTER", "p1/sub/MASTER"});
    std::filesystem::create_directories(tmp.path() / "empty");
    Walk walk(r);
    std::sort(walk.visited.begin(), walk.visited.end());
    EXPECT_EQ(std::tuple(walk.complete, walk.visited, walk.counts, walk.found),
              std::tuple(true, Paths{r, At("/empty"), At("/p1"), At("/p1/sub")},
                         std::vector<int>{1, 2}, Paths{At("/p1"), At("/p1/sub")}));
}

TEST_F(SearchTree, CancelKeepsWhatWasFoundAndVisitsNoMore) {
    Put({"a/MASTER", "b/MASTER", "b/c/MASTER", "d/MASTER", "e/f/MASTER"});
    int count = 0, visitsAfterCancel = 0;
    SearchObserver observer;
    observer.found = [&](int n) { count = n; };
    observer.visiting = [&](const std::string&) { visitsAfterCancel += count >= 2; };
    observer.cancelled = [&] { return count >= 2; };
    Paths found;
    EXPECT_FALSE(SearchDirectory(r, found, SearchOptions{}, observer));
    EXPECT_EQ(found.size(), 2u);
    EXPECT_EQ(visitsAfterCancel, 0);
}

// With the filter r/data/ms (any letter case) the start is always examined, and the walk
// enters only what passes: a path the filter's text begins with (DAT too), or one that
// begins with the filter's (DATA/MS2 too); without it, everything. Other volumes are not entered,
// and a directory that cannot be read gives nothing.
TEST_F(SearchTree, FilterOtherVolumesAndUnreadableDirectories) {
    Put({"MASTER", "DATA/MS/MASTER", "DATA/MS/deep/MASTER", "DATA/MS2/MASTER", "DAT/MASTER",
         "DATA/other/MASTER", "OTHER/MASTER", "OTHER/DATA/MS/MASTER"});
    EXPECT_EQ(
        SortPortfolios(Walk(r, At("/data/ms")).found),
        SortPortfolios({r, At("/DAT"), At("/DATA/MS"), At("/DATA/MS/deep"), At("/DATA/MS2")}));
    EXPECT_EQ(Walk(r).found.size(), 8u);
    EXPECT_EQ(Walk(r, "", {At("/DATA"), At("/OTHER/DATA")}).found.size(), 3u);
    EXPECT_TRUE(Walk(At("/nonexistent")).found.empty());
    // The filter asked for but left empty limits nothing.
    EXPECT_TRUE(PassesSearchFilter(At("/OTHER"), true, ""));
}

// From the root ("/", or the bare drive on Windows) with the filter leading to the
// temporary tree only.
TEST_F(SearchTree, RootPathsHaveNoDoubleSeparator) {
    Put({"x/MASTER"});
#ifdef _WIN32
    const std::string top = tmp.path().root_name().string(), doubled = "\\\\";
#else
    const std::string top = "/", doubled = "//";
#endif
    const Walk walk(top, At("/x"));
    EXPECT_EQ(walk.found, (Paths{At("/x")}));
    ASSERT_FALSE(walk.visited.empty());
    EXPECT_EQ(walk.visited.front(), top);
    for (const std::string& v : walk.visited) EXPECT_EQ(v.find(doubled), std::string::npos) << v;
}

#ifndef _WIN32
TEST(Drives, ListIncludesRootAndPathsMapToLongestMountPoint) {
    const std::vector<Drive> drives = ListDrives();
    ASSERT_FALSE(drives.empty());
    EXPECT_TRUE(std::any_of(drives.begin(), drives.end(),
                            [](const Drive& d) { return d.root == "/" && d.listText == "/"; }));
    for (const Drive& d : drives)
        EXPECT_FALSE(d.root.starts_with("/proc") || d.root.starts_with("/sys")) << d.root;
    const std::vector<Drive> fake = {{"/", "/"}, {"/home", "/home"}, {"/media/usb", "/media/usb"}};
    for (const auto& [path, root] : {std::pair{"/home/me/data", "/home"},
                                     {"/home", "/home"},
                                     {"/homework", "/"},
                                     {"/media/usb/MS", "/media/usb"}})
        EXPECT_EQ(DriveOfPath(path, fake)->root, root) << path;
    EXPECT_EQ(DriveOfPath("relative", fake), nullptr);
}

bool Has(const Paths& paths, const std::string& p) {
    return std::find(paths.begin(), paths.end(), p) != paths.end();
}

// Other mounts below the start are left out of a volume's search, and pseudo file systems
// are never entered: here the filter leads to /proc/1 only, so without the rule the walk
// would go in.
TEST(Drives, OtherMountsAndPseudoFileSystemsAreNotEntered) {
    const SearchOptions options = VolumeSearchOptions("/", false, "");
    EXPECT_FALSE(Has(options.otherVolumeRoots, "/"));
    if (!Has(AllMountPoints(), "/proc")) GTEST_SKIP() << "no /proc mount";
    EXPECT_TRUE(Has(options.otherVolumeRoots, "/proc"));
    const Walk walk("/", "/PROC/1/NOTHING");
    EXPECT_FALSE(Has(walk.visited, "/proc"));
    EXPECT_TRUE(walk.found.empty() || walk.found == Paths{"/"});
}

TEST(Drives, NormalizeSearchRoot) {
    EXPECT_EQ(NormalizeSearchRoot("/"), "/");
    EXPECT_EQ(NormalizeSearchRoot("/a/b/"), "/a/b");
    EXPECT_EQ(NormalizeSearchRoot("/a/./b/../c"), "/a/c");
    EXPECT_EQ(NormalizeSearchRoot("rel").front(), '/');
}
#else
TEST(Drives, DriveLettersAndTheDriveOfAPath) {
    const std::vector<Drive> drives = ListDrives();
    ASSERT_FALSE(drives.empty());
    for (const Drive& d : drives) {
        ASSERT_EQ(d.root.size(), 2u);
        EXPECT_EQ(d.root[1], ':');
        EXPECT_EQ(d.listText, std::string("[-") + static_cast<char>(d.root[0] - 'A' + 'a') + "-]");
    }
    const std::vector<Drive> fake = {{"C:", "[-c-]"}, {"D:", "[-d-]"}};
    EXPECT_EQ(DriveOfPath("d:\\data", fake)->root, "D:");
    EXPECT_EQ(DriveOfPath("C:", fake)->root, "C:");
    EXPECT_EQ(DriveOfPath("E:\\x", fake), nullptr);
}

TEST(Drives, NormalizeSearchRoot) {
    EXPECT_EQ(NormalizeSearchRoot("C:\\a\\b\\"), "C:\\a\\b");
    EXPECT_EQ(NormalizeSearchRoot("C:\\"), "C:");
}
#endif

TEST(PortfolioOfMaster, TakesOnlyAMasterPathWithinTheLimit) {
    const std::string dir290 = "/" + std::string(290, 'd');
    const std::string dir291 = "/" + std::string(291, 'd');
    const std::tuple<std::string, bool, std::string> rows[] = {
        // path, accepted, its directory
        {"/data/ms/MASTER", true, "/data/ms"},
        {"/MASTER", true, kPathSeparator == '/' ? "/" : ""},
        {"MASTER", true, ""},
        {dir290 + "/MASTER", true, dir290},  // 298 characters
        {dir291 + "/MASTER", false, ""},     // 299
        {"/data/master", false, ""},
        {"/data/XMASTER", false, ""},
        {"", false, ""},
    };
    for (const auto& [given, accepted, directory] : rows) {
        const std::string path = Native(given);
        const auto got = PortfolioOfMaster(path);
        EXPECT_EQ(got.has_value(), accepted) << path.size() << ' ' << given.substr(0, 40);
        if (!got || !accepted) continue;
        EXPECT_EQ(got->directory, Native(directory)) << given.substr(0, 40);
        EXPECT_EQ(got->masterFile, path);  // nothing on disk: the path as given
    }
}

TEST(PortfolioOfMaster, FindsMasterInAnotherLetterCase) {
    TempDir tmp;
    WriteText(tmp.path() / "Master", "x");
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
