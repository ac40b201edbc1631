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

}  // namespace
}  // namespace barwise
