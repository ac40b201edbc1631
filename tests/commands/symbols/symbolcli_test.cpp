// barwise-cli rename-symbol, delete-symbol, move-symbol and copy-symbol: what each takes
// from its arguments, its refusals (status 1, nothing written) and usage errors (status 2).
// The lookup of SYMBOL or --file N, shared by every subcommand, is the CLI's selector test.
#include <gtest/gtest.h>

#include "cli/clirun.h"
#include "symboltestdb.h"

namespace barwise {
namespace {

using testing::Cli;
using testing::FileNumbers;

class SymbolCli : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testing::Portfolio(a, {testing::Series(1, "AAA"), testing::Series(2, "BBB", 10, true)}));
        ASSERT_TRUE(testing::Portfolio(b, {testing::Series(1, "X1"), testing::Series(3, "X3")}));
    }
    std::string master(const fs::path& dir) const { return testing::ReadText(dir / "MASTER"); }
    testing::TempDir tmp;
    fs::path a = tmp.path() / "a", b = tmp.path() / "b";
};

// The new texts are stored as Latin-1. (That the name stays when none is given is the
// rename of a real database's; that a move takes the layout file is the transfer's own.)
TEST_F(SymbolCli, RenameStoresTheNewTextsAsLatin1) {
    ASSERT_EQ(Cli({"rename-symbol", a.string(), "aaa", "NEWA", "Caf\xC3\xA9"}).status, 0);
    EXPECT_NE(master(a).find("NEWA            "), std::string::npos);
    EXPECT_NE(master(a).find("Caf\xE9           "), std::string::npos);
}

TEST_F(SymbolCli, RefusalsAndUsageErrorsChangeNothing) {
    const std::string before = master(a) + master(b);
    const std::string d = a.string();
    const struct {
        std::vector<std::string> args;
        int status;
        const char* said;
    } rows[] = {
        {{"rename-symbol", d, "AAA", "ABCDEFGHIJKLMNOPQ"}, 1, "A symbol holds at most 16 characters"},
        {{"rename-symbol", d, "AAA", ""}, 1, "You must enter a symbol"},
        {{"rename-symbol", d, "AAA", "BBB"}, 1, "Symbol BBB is already used by BBB (F2)"},
        {{"rename-symbol", d, "AAA", "bbb"}, 1, "already used by BBB"},
        {{"rename-symbol", d, "AAA", "BBB CORP"}, 1, "already used by BBB"},  // BBB's name
        // The text rule (its cases are TextRule's) on the UTF-8 arguments.
        {{"rename-symbol", d, "AAA", "AAB", "Caf\xC3\xA9 \xE2\x82\xAC"}, 1, "name cannot hold \"\xE2\x82\xAC\""},
        {{"delete-symbol", d, "AAA"}, 1, "give --yes"},  // no terminal to ask
        {{"rename-symbol", d, "AAA"}, 2, "NEWSYMBOL"},
        {{"copy-symbol", d, "BBB", b.string(), "extra"}, 2, "DESTDIR"},
        {{"move-symbol", d, "AAA"}, 2, "DESTDIR"},
        {{"delete-symbol", d}, 2, "give SYMBOL"},
    };
    for (const auto& row : rows) {
        const auto r = Cli(row.args);
        EXPECT_EQ(r.status, row.status) << row.args[0] << " " << row.args.back() << ": " << r.err;
        EXPECT_NE(r.err.find(row.said), std::string::npos) << r.err;
    }
    EXPECT_EQ(master(a) + master(b), before);
    EXPECT_FALSE(fs::exists(a / "MASTER.BAK"));
}

// delete-symbol --file N takes that one security, even beside another of the same symbol;
// SYMBOL takes every record of it.
TEST(SymbolCliDelete, ByFileNumberAloneBySymbolAll) {
    testing::TempDir tmp;
    const fs::path dir = tmp.path() / "dup";
    ASSERT_TRUE(testing::Portfolio(dir, {testing::Series(1, "DUP"), testing::Series(2, "DUP"), testing::Series(3, "ZZZ"),
                                         testing::Series(4, "DUP")}));
    auto r = Cli({"delete-symbol", dir.string(), "--file", "1", "--yes"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("1 record, F1.DAT"), std::string::npos) << r.err;
    EXPECT_EQ(FileNumbers(dir), (std::vector<int>{2, 3, 4}));
    r = Cli({"delete-symbol", dir.string(), "DUP", "--yes"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("2 records"), std::string::npos) << r.err;
    EXPECT_EQ(FileNumbers(dir), (std::vector<int>{3}));
}

// A data file that cannot be removed (here a backup name taken by a directory that holds a
// file) is named, and the command fails though the records went.
TEST(SymbolCliDelete, AFileLeftBehindIsAFailure) {
    testing::TempDir tmp;
    const fs::path dir = tmp.path() / "p";
    ASSERT_TRUE(testing::Portfolio(dir, {testing::Series(1, "AAA"), testing::Series(2, "BBB")}));
    testing::WriteText(dir / "F2.BAK" / "kept", "x");
    const auto r = Cli({"delete-symbol", dir.string(), "BBB", "--yes"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find((dir / "F2.BAK").string() + ": could not be removed"), std::string::npos) << r.err;
    EXPECT_EQ(FileNumbers(dir), (std::vector<int>{1}));
    EXPECT_FALSE(fs::exists(dir / "F2.DAT"));
}

}  // namespace
}  // namespace barwise
