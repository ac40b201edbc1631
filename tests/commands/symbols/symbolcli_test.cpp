// barwise-cli rename-symbol, delete-symbol, move-symbol and copy-symbol: what each changes,
// its refusals (status 1, nothing written) and its usage errors (status 2).
#include <gtest/gtest.h>

#include <unistd.h>

#include "cli/clirun.h"
#include "symboltestdb.h"

namespace barwise {
namespace {

using testing::Cli;
using testing::FileNumbers;

class SymbolCli : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testing::Portfolio(
            a, {testing::Series(1, "AAA"), testing::Series(2, "BBB", 10, true)}));
        ASSERT_TRUE(testing::Portfolio(b, {testing::Series(1, "X1"), testing::Series(3, "X3")}));
    }
    std::string master(const fs::path& dir) const { return testing::ReadText(dir / "MASTER"); }
    testing::TempDir tmp;
    fs::path a = tmp.path() / "a", b = tmp.path() / "b";
};

TEST_F(SymbolCli, EachSubcommandBySymbolOrFileNumber) {
    auto r = Cli({"rename-symbol", a.string(), "aaa", "NEWA", "New Name"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(master(a).find("New Name        "), std::string::npos);
    r = Cli({"rename-symbol", a.string(), "--file", "2", "NEWB"});  // the name stays
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(master(a).find("NEWB            "), std::string::npos);
    EXPECT_NE(master(a).find("BBB CORP"), std::string::npos);

    r = Cli({"copy-symbol", a.string(), "NEWA", b.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(FileNumbers(b), (std::vector<int>{1, 3, 2}));
    EXPECT_EQ(FileNumbers(a), (std::vector<int>{1, 2}));
    const auto dat = testing::ReadBytes(a / "F2.DAT");
    r = Cli({"move-symbol", a.string(), "--file", "2", b.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(FileNumbers(a), (std::vector<int>{1}));
    EXPECT_EQ(testing::ReadBytes(b / "F4.DAT"), dat);
    EXPECT_TRUE(fs::exists(b / "F4.DOP"));

    if (!isatty(0)) {  // not asked without a terminal: refused
        EXPECT_EQ(Cli({"delete-symbol", b.string(), "NEWB"}).status, 1);
        EXPECT_EQ(FileNumbers(b).size(), 4u);
    }
    r = Cli({"delete-symbol", b.string(), "NEWB", "--yes"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(FileNumbers(b), (std::vector<int>{1, 3, 2}));
    EXPECT_FALSE(fs::exists(b / "F4.DAT") || fs::exists(b / "F4.DOP"));
}

TEST_F(SymbolCli, RefusalsAndUsageErrorsChangeNothing) {
    const std::string before = master(a) + master(b);
    const std::string d = a.string();
    const std::vector<std::pair<std::vector<std::string>, int>> rows = {
        {{"rename-symbol", d, "AAA", "ABCDEFGHIJKLMNOPQ"}, 1},  // 17 characters
        {{"rename-symbol", d, "AAA", ""}, 1},
        {{"rename-symbol", d, "NOPE", "X"}, 1},
        {{"rename-symbol", d, "--file", "9", "X"}, 1},
        {{"rename-symbol", d, "AAA"}, 2},
        {{"copy-symbol", d, "BBB", b.string(), "extra"}, 2},
        {{"move-symbol", d, "AAA"}, 2},
        {{"delete-symbol", d}, 2},
    };
    for (const auto& [args, status] : rows) {
        const auto r = Cli(args);
        EXPECT_EQ(r.status, status) << args[0] << " " << args.back() << ": " << r.err;
        EXPECT_FALSE(r.err.empty());
    }
    ASSERT_EQ(Cli({"copy-symbol", d, "AAA", b.string()}).status, 0);
    const auto r = Cli({"move-symbol", d, "aaa", b.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Symbol AAA already exists in"), std::string::npos) << r.err;
    EXPECT_EQ(FileNumbers(a), (std::vector<int>{1, 2}));
    EXPECT_NE(master(a) + master(b), before);  // only the copy changed b
    EXPECT_FALSE(fs::exists(a / "MASTER.BAK"));
}

// A rename that another security would answer to, or to a text the index files cannot show
// and find, is refused with the reason (the character named); nothing is written.
TEST_F(SymbolCli, RenameRefusesDuplicatesAndTextsOutsideTheRule) {
    const std::string before = master(a);
    const std::string d = a.string();
    const struct {
        std::vector<std::string> args;
        const char* said;
    } rows[] = {
        {{"rename-symbol", d, "AAA", "BBB"}, "Symbol BBB is already used by BBB (F2)"},
        {{"rename-symbol", d, "AAA", "bbb"}, "already used by BBB"},
        {{"rename-symbol", d, "AAA", "BBB CORP"}, "already used by BBB"},  // BBB's name
        {{"rename-symbol", d, "AAA", "\xE2\x82\xACUR"}, "cannot hold \"\xE2\x82\xAC\" (U+20AC)"},
        {{"rename-symbol", d, "AAA", " AAA"}, "A symbol cannot begin with a blank"},
        {{"rename-symbol", d, "AAA", "A\x01"}, "control character U+0001"},
        {{"rename-symbol", d, "AAA", "A\xC3\xA9"},
         "cannot hold \"\xC3\xA9\" (U+00E9)"},  // symbols are ASCII
        {{"rename-symbol", d, "AAA", "A\xFF"}, "the byte 0xFF (not UTF-8 text)"},
        {{"rename-symbol", d, "AAA", "AAB", "Caf\xC3\xA9 \xE2\x82\xAC"},
         "name cannot hold \"\xE2\x82\xAC\""},
    };
    for (const auto& row : rows) {
        const auto r = Cli(row.args);
        EXPECT_EQ(r.status, 1) << row.args.back() << ": " << r.err;
        EXPECT_NE(r.err.find(row.said), std::string::npos) << r.err;
    }
    EXPECT_EQ(master(a), before);
    // A name in Latin-1 is stored as Latin-1; the symbol's own letter case may change.
    const auto r = Cli({"rename-symbol", d, "AAA", "aaa", "Caf\xC3\xA9"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(master(a).find("Caf\xE9           "), std::string::npos);
}

// delete-symbol --file N takes that one security, even beside another of the same symbol.
TEST(SymbolCliDuplicates, DeleteByFileNumberRemovesThatSecurityOnly) {
    testing::TempDir tmp;
    const fs::path dir = tmp.path() / "dup";
    ASSERT_TRUE(testing::Portfolio(
        dir, {testing::Series(1, "DUP"), testing::Series(2, "DUP"), testing::Series(3, "ZZZ")}));
    const auto r = Cli({"delete-symbol", dir.string(), "--file", "1", "--yes"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("1 record, F1.DAT"), std::string::npos) << r.err;
    EXPECT_EQ(FileNumbers(dir), (std::vector<int>{2, 3}));
    EXPECT_TRUE(fs::exists(dir / "F2.DAT"));
    EXPECT_FALSE(fs::exists(dir / "F1.DAT"));
}

}  // namespace
}  // namespace barwise
