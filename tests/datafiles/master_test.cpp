#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>

#include "datafiles/master.h"
#include "testsupport/testdb.h"

namespace barwise {
namespace {

using testing::Entry;
using testing::ReadBytes;
using testing::SubdirEntry;
using testing::TempDir;
using testing::WriteMaster;

TEST(MasterMatchTest, KeyAgainstNameAndSymbolWords) {
    const std::tuple<const char*, const char*, const char*, bool> cases[] = {
        // symbol, name
        {"IBM", "INTL BUS MACH", "IBM", true},
        {"IBM", "INTL BUS MACH", "ibm", true},
        {"IBM", "Intl Bus Mach", "INTL BUS MACH", true},
        {"IBM", "INTL BUS MACH", "INTL BUS", false},
        {"BRK A", "BERKSHIRE", "BRK A", true},
        {"BRK A", "BERKSHIRE", "BRK", true},
        {"AB CD EF", "X", "ab cd", true},
        {"ABCDEFGHIJKLMNOP", "X", "ABCDEFGHIJKLMNOP", true},
        {"IBM", "X", "IB", false},
        {"IBM", "X", "IBMX", false},
    };
    for (const auto& [symbol, name, key, matches] : cases) {
        EXPECT_EQ(MasterRecordMatches(Entry(1, symbol, name, 28, 7), key), matches)
            << symbol << " / " << name << " vs " << key;
    }
}

TEST(MasterMatchTest, DirMarkWithBlankFirstByteIsAnOrdinaryEntry) {
    MasterRecord r = SubdirEntry("SUB");
    EXPECT_TRUE(r.isSubdirEntry());
    EXPECT_EQ(r.subdirName(), "SUB");
    r.bytes[kMasterNameOffset] = ' ';
    EXPECT_FALSE(r.isSubdirEntry());
}

class FindSymbolTest : public ::testing::Test {
protected:
    TempDir tmp;
    fs::path Dir(const std::string& rel) {
        fs::path p = tmp.path() / rel;
        fs::create_directories(p);
        return p;
    }
    // FindSymbol's answer as "directory relative to the temp dir : file number".
    std::string Find(const std::string& key, const std::string& start = "") {
        MasterRecord r;
        std::string dir;
        const DataStatus s = FindSymbol(start.empty() ? tmp.str() : start, key, r, dir);
        if (s != kSuccess) return "status " + std::to_string(StatusCode(s));
        std::string rel = dir.substr(tmp.str().size());
        std::replace(rel.begin(), rel.end(), kPathSeparator, '/');  // the same on every system
        return rel + ":" + std::to_string(r.fileNumber());
    }
};

// A portfolio's own entries come first, then its sub-directories depth first in record
// order; sub-directories that are missing, empty, cut short, lead back or out of the
// portfolio, or whose MASTER counts below zero, give nothing. Index files are found in any
// letter case.
TEST_F(FindSymbolTest, OwnEntriesFirstThenSubdirectoriesDepthFirstInRecordOrder) {
    WriteMaster(Dir(""),
                {SubdirEntry("S1"), Entry(1, "AAA", "A", 28, 7), SubdirEntry("GONE"),
                 SubdirEntry("EMPTY"), SubdirEntry("SHORT"), SubdirEntry("."), SubdirEntry(".."),
                 SubdirEntry("LOOP"), SubdirEntry("S2"), SubdirEntry("LC"), SubdirEntry("NEG")},
                testing::kCountOfRecords, "Master");
    WriteMaster(Dir("S1"), {SubdirEntry("T"), Entry(2, "BBB", "B", 28, 7)});
    WriteMaster(Dir("S1/T"), {Entry(3, "CCC", "C", 28, 7), Entry(4, "DUP", "D", 28, 7)});
    WriteMaster(Dir("S2"), {SubdirEntry("BACK"), Entry(5, "DUP", "D", 28, 7),
                            Entry(6, "EEE", "E", 28, 7), Entry(7, "AAA", "A", 28, 7)});
    Dir("EMPTY");
    WriteMaster(Dir("SHORT"), {Entry(3, "SHR", "S", 28, 7)}, 5);  // claims 5 records, holds 1
    WriteMaster(Dir("LC"), {Entry(8, "LOW", "L", 28, 7)}, testing::kCountOfRecords, "master");
    WriteMaster(Dir("NEG"), {Entry(9, "ONE", "O", 28, 7)}, -3);
#ifndef _WIN32  // directory links need privileges on Windows
    fs::create_directory_symlink(tmp.path(), tmp.path() / "LOOP");
    fs::create_directory_symlink(tmp.path(), tmp.path() / "S2" / "BACK");
#endif
    const std::pair<const char*, const char*> cases[] = {
        {"AAA", "/:1"},                             // the upper directory wins over S2
        {"BBB", "/S1/:2"},                          // S1's own entries before its sub-directory
        {"CCC", "/S1/T/:3"},  {"DUP", "/S1/T/:4"},  // S1 (with T) completely before S2
        {"EEE", "/S2/:6"},                          // not by way of "." or LOOP
        {"SHR", "/SHORT/:3"}, {"LOW", "/LC/:8"},   {"ONE", "status -8"}, {"ZZZ", "status -8"},
    };
    for (const auto& [key, answer] : cases) EXPECT_EQ(Find(key), answer) << key;
}

TEST_F(FindSymbolTest, ReturnsDatesAsIeeeAndTheDirectoryWithSeparator) {
    const MasterRecord entry = Entry(9, "XYZ", "X CORP", 24, 6, 1100104.0f, 1101231.0f, 'W');
    WriteMaster(Dir(""), {entry});
    MasterRecord r;
    std::string dir;
    ASSERT_EQ(FindSymbol(tmp.str(), "x corp", r, dir), kSuccess);
    EXPECT_EQ(dir, tmp.str() + kPathSeparator);
    EXPECT_EQ(std::pair(r.firstDateIeee(), r.lastDateIeee()), std::pair(1100104.0f, 1101231.0f));
    // Every byte but the two dates comes back as stored.
    MasterRecord undated = r;
    std::memcpy(undated.bytes.data() + kMasterFirstDateOffset,
                entry.bytes.data() + kMasterFirstDateOffset, 8);
    EXPECT_EQ(undated.bytes, entry.bytes);
    // A start directory given with its separator is used as it is; an empty one is the
    // current directory.
    ASSERT_EQ(FindSymbol(tmp.str() + kPathSeparator, "XYZ", r, dir), kSuccess);
    EXPECT_EQ(dir, tmp.str() + kPathSeparator);
    const fs::path old = fs::current_path();
    fs::current_path(tmp.path());
    const DataStatus s = FindSymbol("", "XYZ", r, dir);
    fs::current_path(old);
    EXPECT_EQ(std::tuple(s, dir, r.fileNumber()), std::tuple(kSuccess, "", 9));
}

// The walk goes at most 31 levels below the start, and enters no directory whose path is
// longer than 300 characters.
TEST_F(FindSymbolTest, DepthAndPathLengthAreBounded) {
    // A chain of nested portfolios under `top`, entry <top><n> at level n.
    const auto chain = [&](const std::string& top, const std::string& sub, int levels) {
        std::string rel = top;
        for (int n = 0; n < levels; ++n, rel += "/" + sub) {
            WriteMaster(Dir(rel),
                        {Entry(n + 1, top + std::to_string(n), "N", 28, 7), SubdirEntry(sub)});
        }
        return (tmp.path() / top).string();
    };
    const auto found = [&](const std::string& key, const std::string& start) {
        return Find(key, start).rfind("status", 0) != 0;
    };
    const std::string deep = chain("D", "D", 40);
    EXPECT_TRUE(found("D31", deep));
    EXPECT_FALSE(found("D32", deep));
    const std::string wide = chain("P", "ABCDEFGH", 60);
    // Level n's directory text is wide.size() + 1 + 9 * n characters long.
    const int deepest = static_cast<int>((kMaxDirectoryPath - wide.size() - 1) / 9);
    ASSERT_GT(deepest, 3);
    EXPECT_TRUE(found("P" + std::to_string(deepest), wide));
    EXPECT_FALSE(found("P" + std::to_string(deepest + 1), wide));
}

// ----- rewrites of MASTER -----

class MasterRewriteTest : public ::testing::Test {
protected:
    TempDir tmp;
    fs::path master = tmp.path() / "MASTER";
    void SetUp() override {
        WriteMaster(tmp.path(), {Entry(1, "AAA", "ALPHA", 28, 7, 1100104.0f, 1100105.0f),
                                 Entry(2, "BBB", "BRAVO", 28, 7, 1100104.0f, 1100105.0f),
                                 Entry(1, "CCC", "SAME NUMBER", 28, 7)});
    }
};

TEST_F(MasterRewriteTest, SetMasterDateChangesOnlyTheDateOfThatFileNumber) {
    auto expected = ReadBytes(master);
    const MbfBytes date = DateToMbfReal(MakeDate(2011, 2, 3));
    ASSERT_EQ(SetMasterDate(master, date, 1, 0), kSuccess);
    for (std::size_t rec : {1u, 3u}) std::memcpy(expected.data() + rec * 53 + 25, date.data(), 4);
    const auto afterFirst = expected;
    ASSERT_EQ(SetMasterDate(master, date, 2, 1), kSuccess);
    std::memcpy(expected.data() + 2 * 53 + 29, date.data(), 4);
    EXPECT_EQ(ReadBytes(master), expected);
    // The backup holds MASTER as it was before the last rewrite.
    EXPECT_EQ(ReadBytes(tmp.path() / "MASTER.BAK"), afterFirst);
}

// A rename pads both fields with blanks and refuses a symbol longer than 16; a rewrite keeps
// a trailing partial record; a MASTER that is not there is a failure, not a new file.
TEST_F(MasterRewriteTest, RenamePadsAndRewritesKeepWhatTheyDoNotChange) {
    auto expected = ReadBytes(master);
    ASSERT_EQ(RenameMasterEntry(master, 2, "bb2", "New Name"), kSuccess);
    std::memcpy(expected.data() + 2 * 53 + 7, "New Name        ", 16);
    std::memcpy(expected.data() + 2 * 53 + 36, "bb2             ", 16);
    EXPECT_EQ(ReadBytes(master), expected);
    EXPECT_EQ(RenameMasterEntry(master, 2, "SEVENTEEN-LETTERS", "X"), kInvalidParm);
    EXPECT_EQ(ReadBytes(master), expected);

    expected.insert(expected.end(), {9, 8, 7});
    testing::WriteBytes(master, expected);
    ASSERT_EQ(SetMasterDate(master, DateToMbfReal(MakeDate(2011, 2, 3)), 99, 0), kSuccess);
    EXPECT_EQ(ReadBytes(master), expected);

    EXPECT_EQ(SetMasterDate(tmp.path() / "NOPE", MbfBytes{}, 1, 0), kFileOpen);
    EXPECT_FALSE(fs::exists(tmp.path() / "NOPE"));
}

}  // namespace
}  // namespace barwise
