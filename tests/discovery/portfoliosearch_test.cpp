#include "discovery/portfoliosearch.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "discovery/pathfilter.h"
#include "discovery/testtree.h"

namespace barwise {
namespace {

using testing::Native;
using testing::TempDir;
using testing::WriteText;

std::vector<std::string> Search(const std::string& root, bool limit = false, const std::string& filter = "",
                                std::vector<std::string> excluded = {}) {
    SearchOptions options;
    options.limit = limit;
    options.filterKeyUpper = ToUpperAscii(filter);
    options.otherVolumeRoots = std::move(excluded);
    std::vector<std::string> found;
    SearchDirectory(root, found, options);
    return SortPortfolios(found);
}

TEST(PortfolioSearch, FindsMasterFilesInAnyCaseAndSkipsDotDirectories) {
    TempDir tmp;
    const std::string r = tmp.str();
    WriteText(tmp.path() / "MASTER", "x");                 // the start directory itself
    WriteText(tmp.path() / "a" / "MASTER", "x");
    WriteText(tmp.path() / "b" / "Master", "x");           // any letter case
    WriteText(tmp.path() / "c" / "d" / "e" / "master", "x");
    WriteText(tmp.path() / ".hidden" / "MASTER", "x");     // never searched
    WriteText(tmp.path() / "f" / ".git" / "x" / "MASTER", "x");
    WriteText(tmp.path() / "g" / "MASTER.BAK", "x");       // not a MASTER file
    std::filesystem::create_directories(tmp.path() / "h" / "MASTER" / "i");  // a directory named MASTER
    WriteText(tmp.path() / "h" / "MASTER" / "i" / "MASTER", "x");            // still searched below it

    EXPECT_EQ(Search(r), SortPortfolios({r, r + Native("/a"), r + Native("/b"), r + Native("/c/d/e"), r + Native("/h/MASTER/i")}));
}

TEST(PortfolioSearch, SortIgnoresLetterCase) {
    EXPECT_EQ(SortPortfolios({"/x/beta", "/x/Alpha", "/x/alpha2", "/x/GAMMA", "/x/_under"}),
              (std::vector<std::string>{"/x/_under", "/x/Alpha", "/x/alpha2", "/x/beta", "/x/GAMMA"}));
}

TEST(PortfolioSearch, VisitsEachDirectoryOnceAndReportsEachFind) {
    TempDir tmp;
    WriteText(tmp.path() / "p1" / "MASTER", "x");
    WriteText(tmp.path() / "p2" / "MASTER", "x");
    std::filesystem::create_directories(tmp.path() / "empty");
    std::vector<std::string> visited;
    std::vector<int> counts;
    SearchObserver observer;
    observer.visiting = [&](const std::string& p) { visited.push_back(p); };
    observer.found = [&](int n) { counts.push_back(n); };
    std::vector<std::string> found;
    EXPECT_TRUE(SearchDirectory(tmp.str(), found, SearchOptions{}, observer));
    std::sort(visited.begin(), visited.end());
    EXPECT_EQ(visited, (std::vector<std::string>{tmp.str(), tmp.str() + Native("/empty"), tmp.str() + Native("/p1"), tmp.str() + Native("/p2")}));
    EXPECT_EQ(counts, (std::vector<int>{1, 2}));
    EXPECT_EQ(found.size(), 2u);
}

TEST(PortfolioSearch, CancelKeepsWhatWasFoundAndVisitsNoMore) {
    TempDir tmp;
    for (const char* dir : {"a", "b", "b/c", "d", "e/f"}) WriteText(tmp.path() / dir / "MASTER", "x");
    int count = 0;
    int visitsAfterCancel = 0;
    SearchObserver observer;
    observer.found = [&](int n) { count = n; };
    observer.visiting = [&](const std::string&) { visitsAfterCancel += count >= 2; };
    observer.cancelled = [&] { return count >= 2; };
    std::vector<std::string> found;
    EXPECT_FALSE(SearchDirectory(tmp.str(), found, SearchOptions{}, observer));
    EXPECT_EQ(found.size(), 2u);
    EXPECT_EQ(visitsAfterCancel, 0);
}

TEST(PortfolioSearch, SubdirectoriesAreSearchedInReverseListingOrder) {
    // Each directory's own MASTER comes before its sub-directories' (depth first).
    TempDir tmp;
    WriteText(tmp.path() / "top" / "MASTER", "x");
    WriteText(tmp.path() / "top" / "sub" / "MASTER", "x");
    std::vector<std::string> found;
    SearchDirectory(tmp.str(), found, SearchOptions{});
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0], tmp.str() + Native("/top"));
    EXPECT_EQ(found[1], tmp.str() + Native("/top/sub"));
}

TEST(PortfolioSearch, FilterSubstringRule) {
    TempDir tmp;
    const std::string r = tmp.str();
    for (const char* dir : {"DATA/MS", "DATA/MS/deep", "DATA/MS2", "DAT", "DATA/other", "OTHER", "OTHER/DATA/MS"}) {
        WriteText(tmp.path() / dir / "MASTER", "x");
    }
    WriteText(tmp.path() / "MASTER", "x");
    // Filter r/DATA/MS (which paths pass: FilterTable): the start is always examined, and
    // the walk enters only what passes.
    EXPECT_EQ(Search(r, true, r + Native("/data/ms")),
              SortPortfolios({r, r + Native("/DAT"), r + Native("/DATA/MS"), r + Native("/DATA/MS/deep"), r + Native("/DATA/MS2")}));
    EXPECT_EQ(Search(r, false, r + Native("/DATA/MS")).size(), 8u);
}

TEST(PortfolioSearch, FilterTable) {
    struct Row {
        const char* path;
        bool limit;
        const char* key;
        bool passes;
    } rows[] = {
        {"D:\\DATA", true, "D:\\DATA", true},          {"D:\\DAT", true, "D:\\DATA\\MS", true},
        {"D:\\DATA\\MS2", true, "D:\\DATA\\MS", true}, {"D:\\OTHER", true, "D:\\DATA", false},
        {"d:\\data\\x", true, "D:\\DATA", true},       {"D:\\OTHER", false, "D:\\DATA", true},
        {"/anything", true, "", true},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(PassesSearchFilter(row.path, row.limit, ToUpperAscii(row.key)), row.passes) << row.path;
    }
}

TEST(PortfolioSearch, OtherVolumesAreNotEntered) {
    TempDir tmp;
    const std::string r = tmp.str();
    WriteText(tmp.path() / "mnt" / "MASTER", "x");
    WriteText(tmp.path() / "mnt" / "usb" / "MASTER", "x");
    EXPECT_EQ(Search(r, false, "", {r + Native("/mnt/usb")}), (std::vector<std::string>{r + Native("/mnt")}));
}

TEST(PortfolioSearch, RootPathsHaveNoDoubleSeparator) {
    // From the root ("/", or the bare drive on Windows) with the filter leading to the
    // temporary tree only.
    TempDir tmp;
    WriteText(tmp.path() / "x" / "MASTER", "x");
#ifdef _WIN32
    const std::string top = tmp.path().root_name().string();
    const std::string doubled = "\\\\";
#else
    const std::string top = "/";
    const std::string doubled = "//";
#endif
    std::vector<std::string> visited;
    SearchObserver observer;
    observer.visiting = [&](const std::string& p) { visited.push_back(p); };
    SearchOptions options;
    options.limit = true;
    options.filterKeyUpper = ToUpperAscii(tmp.str() + Native("/x"));
    std::vector<std::string> found;
    SearchDirectory(top, found, options, observer);
    EXPECT_EQ(found, (std::vector<std::string>{tmp.str() + Native("/x")}));
    ASSERT_FALSE(visited.empty());
    EXPECT_EQ(visited.front(), top);
    for (const std::string& v : visited) EXPECT_EQ(v.find(doubled), std::string::npos) << v;
}

TEST(PortfolioSearch, UnreadableDirectoryContributesNothing) {
    std::vector<std::string> found;
    SearchDirectory("/nonexistent-barwise-dir", found, SearchOptions{});
    EXPECT_TRUE(found.empty());
}

#ifndef _WIN32
TEST(Drives, ListIncludesRootAndPathsMapToLongestMountPoint) {
    const std::vector<Drive> drives = ListDrives();
    ASSERT_FALSE(drives.empty());
    EXPECT_TRUE(std::any_of(drives.begin(), drives.end(), [](const Drive& d) { return d.root == "/" && d.listText == "/"; }));
    for (const Drive& d : drives) {
        EXPECT_NE(d.root.rfind("/proc", 0), 0u) << d.root;
        EXPECT_NE(d.root.rfind("/sys", 0), 0u) << d.root;
    }
    const std::vector<Drive> fake = {{"/", "/"}, {"/home", "/home"}, {"/media/usb", "/media/usb"}};
    EXPECT_EQ(DriveOfPath("/home/me/data", fake)->root, "/home");
    EXPECT_EQ(DriveOfPath("/home", fake)->root, "/home");
    EXPECT_EQ(DriveOfPath("/homework", fake)->root, "/");
    EXPECT_EQ(DriveOfPath("/media/usb/MS", fake)->root, "/media/usb");
    EXPECT_EQ(DriveOfPath("relative", fake), nullptr);
}

TEST(Drives, VolumeSearchOptionsExcludeOtherMountsBelowTheStart) {
    const SearchOptions options = VolumeSearchOptions("/", false, "");
    const std::vector<std::string> points = AllMountPoints();
    if (std::find(points.begin(), points.end(), "/proc") != points.end()) {
        EXPECT_NE(std::find(options.otherVolumeRoots.begin(), options.otherVolumeRoots.end(), "/proc"),
                  options.otherVolumeRoots.end());
    }
    EXPECT_EQ(std::find(options.otherVolumeRoots.begin(), options.otherVolumeRoots.end(), "/"), options.otherVolumeRoots.end());
}

TEST(PortfolioSearch, PseudoFileSystemsAreNotEntered) {
    const std::vector<std::string> points = AllMountPoints();
    if (std::find(points.begin(), points.end(), "/proc") == points.end()) GTEST_SKIP() << "no /proc mount";
    // The filter leads to /proc/1 only, so without the rule the walk would go in.
    std::vector<std::string> visited;
    SearchObserver observer;
    observer.visiting = [&](const std::string& p) { visited.push_back(p); };
    SearchOptions options;
    options.limit = true;
    options.filterKeyUpper = "/PROC/1/NOTHING";
    std::vector<std::string> found;
    SearchDirectory("/", found, options, observer);
    EXPECT_EQ(std::find(visited.begin(), visited.end(), "/proc"), visited.end());
    EXPECT_TRUE(found.empty() || found == std::vector<std::string>{"/"});
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

}  // namespace
}  // namespace barwise
