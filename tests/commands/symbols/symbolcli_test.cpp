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
using testing::Portfolio;
using testing::ReadBytes;
using testing::Series;
using testing::TempDir;

class SymbolCli : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Portfolio(a(), {Series(1, "AAA"), Series(2, "BBB", 10, true)}));
        ASSERT_TRUE(Portfolio(b(), {Series(1, "X1"), Series(3, "X3")}));
    }
    std::string a() const { return (tmp.path() / "a").string(); }
    std::string b() const { return (tmp.path() / "b").string(); }
    std::string master(const std::string& dir) const {
        return testing::ReadText(fs::path(dir) / "MASTER");
    }
    TempDir tmp;
};

TEST_F(SymbolCli, RenameBySymbolOrFileNumber) {
    auto r = Cli({"rename-symbol", a(), "aaa", "NEWA", "New Name"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string m = master(a());
    EXPECT_NE(m.find("NEWA            "), std::string::npos);
    EXPECT_NE(m.find("New Name        "), std::string::npos);
    // Without NEWNAME the name stays.
    r = Cli({"rename-symbol", a(), "--file", "2", "NEWB"});
    ASSERT_EQ(r.status, 0) << r.err;
    m = master(a());
    EXPECT_NE(m.find("NEWB            "), std::string::npos);
    EXPECT_NE(m.find("BBB CORP"), std::string::npos);
}

TEST_F(SymbolCli, RefusalsAndUsageErrorsChangeNothing) {
    const std::string before = master(a());
    struct Row {
        std::vector<std::string> args;
        int status;
    };
    const std::vector<Row> rows = {
        {{"rename-symbol", a(), "AAA", "ABCDEFGHIJKLMNOPQ"}, 1},  // 17 characters
        {{"rename-symbol", a(), "AAA", ""}, 1},
        {{"rename-symbol", a(), "NOPE", "X"}, 1},
        {{"rename-symbol", a(), "AAA"}, 2},
        {{"rename-symbol", a(), "--file", "9", "X"}, 1},
        {{"move-symbol", a(), "AAA"}, 2},
        {{"copy-symbol", a(), "AAA", b(), "extra"}, 2},
        {{"delete-symbol", a()}, 2},
    };
    for (const Row& row : rows) {
        const auto r = Cli(row.args);
        EXPECT_EQ(r.status, row.status) << row.args[0] << " " << row.args.back() << ": " << r.err;
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_EQ(master(a()), before);
    EXPECT_FALSE(fs::exists(fs::path(a()) / "MASTER.BAK"));
}

TEST_F(SymbolCli, DeleteAsksUnlessYes) {
    if (!isatty(0)) {
        const auto r = Cli({"delete-symbol", a(), "BBB"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(FileNumbers(a()), (std::vector<int>{1, 2}));
    }
    const auto r = Cli({"delete-symbol", a(), "BBB", "--yes"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(FileNumbers(a()), (std::vector<int>{1}));
    EXPECT_FALSE(fs::exists(fs::path(a()) / "F2.DAT"));
    EXPECT_FALSE(fs::exists(fs::path(a()) / "F2.DOP"));
}

TEST_F(SymbolCli, MoveAndCopy) {
    auto r = Cli({"copy-symbol", a(), "AAA", b()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(FileNumbers(b()), (std::vector<int>{1, 3, 2}));
    EXPECT_EQ(FileNumbers(a()), (std::vector<int>{1, 2}));
    r = Cli({"copy-symbol", a(), "AAA", b()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Symbol AAA already exists in"), std::string::npos) << r.err;

    const auto dat = ReadBytes(fs::path(a()) / "F2.DAT");
    r = Cli({"move-symbol", a(), "--file", "2", b()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(FileNumbers(a()), (std::vector<int>{1}));
    EXPECT_EQ(FileNumbers(b()), (std::vector<int>{1, 3, 2, 4}));
    EXPECT_EQ(ReadBytes(fs::path(b()) / "F4.DAT"), dat);
    EXPECT_TRUE(fs::exists(fs::path(b()) / "F4.DOP"));
    EXPECT_FALSE(fs::exists(fs::path(a()) / "F2.DAT"));
}

}  // namespace
}  // namespace barwise
