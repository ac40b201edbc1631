// barwise-cli import and new-portfolio end to end: a day file of many symbols, one file per
// symbol, the options' refusals and exit statuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/clirun.h"
#include "demo/demodb.h"
#include "testsupport/indexcheck.h"
#include "testsupport/tempdir.h"

namespace barwise {
namespace {

using testing::Cli;

TEST(ImportCliTest, DayFileOfManySymbolsIntoANewPortfolio) {
    testing::TempDir dir;
    const std::string db = (dir.path() / "db").string();
    ASSERT_EQ(Cli({"new-portfolio", db, "--extended"}).status, 0);
    testing::WriteText(dir.path() / "day1.txt", "AAA,20200102,1,2,0.5,1.5,100\nBBB,20200102,3,4,2.5,3.5,200\n");
    testing::WriteText(dir.path() / "day2.txt", "AAA,20200103,1,2,0.5,1.6,100\nBBB,20200103,3,4,2.5,3.6,200\n");
    const std::string day1 = (dir.path() / "day1.txt").string(), day2 = (dir.path() / "day2.txt").string();

    const testing::CliRun refused = Cli({"import", db, day1, day2});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.out.find("not in the portfolio"), std::string::npos) << refused.out;

    const testing::CliRun dry = Cli({"import", db, day1, day2, "--create", "--dry-run"});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_NE(dry.out.find("AAA (new security): 2 to add"), std::string::npos) << dry.out;
    EXPECT_TRUE(testing::DecodeIndexFiles(db).securities.empty());

    const testing::CliRun run = Cli({"import", db, day1, day2, "--create"});
    ASSERT_EQ(run.status, 0) << run.err;
    const testing::DecodedIndex index = testing::DecodeIndexFiles(db);
    ASSERT_EQ(index.securities.size(), 2u);
    EXPECT_EQ(index.securities[1].symbol, "BBB");
    EXPECT_EQ(index.securities[1].lastDate, 20200103);
    EXPECT_TRUE(testing::IndexDisagreements(db).empty());

    // Again: every quote is held with the same values.
    const testing::CliRun again = Cli({"import", db, day2});
    EXPECT_EQ(again.status, 0);
    EXPECT_NE(again.out.find("AAA: 0 added, 1 already held"), std::string::npos) << again.out;

    const testing::CliRun listed = Cli({"symbols", db});
    EXPECT_NE(listed.out.find("AAA"), std::string::npos);
}

TEST(ImportCliTest, OneFilePerSymbolAndConflicts) {
    testing::TempDir dir;
    ASSERT_EQ(WriteDemoDatabase(dir.path() / "demo", false).status, kSuccess);
    const std::string stocks = (dir.path() / "demo" / "STOCKS").string();
    const std::string file = (dir.path() / "acme.csv").string();
    // Export ACME, change one close, import it back.
    const testing::CliRun ex = Cli({"export", stocks, "ACME", "--delim", "comma", "--title", "--iso", "-o", file});
    ASSERT_EQ(ex.status, 0) << ex.err;
    std::string text = testing::ReadText(file);
    const std::size_t line3 = text.find('\n', text.find('\n') + 1) + 1;
    const std::size_t close = text.find(',', text.find(',', text.find(',', text.find(',', line3) + 1) + 1) + 1) + 1;
    text.replace(close, text.find(',', close) - close, "999.0000");
    testing::WriteText(file, text);

    const testing::CliRun conflict = Cli({"import", stocks, file, "ACME"});
    EXPECT_EQ(conflict.status, 0) << conflict.err;
    EXPECT_NE(conflict.out.find("1 in conflict"), std::string::npos) << conflict.out;
    EXPECT_NE(conflict.out.find("line 3"), std::string::npos) << conflict.out;
    EXPECT_EQ(Cli({"export", stocks, "ACME", "--delim", "comma", "--title", "--iso"}).out.find("999.0000"),
              std::string::npos);

    const testing::CliRun replaced = Cli({"import", stocks, file, "--file", "1", "--replace"});
    EXPECT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_NE(Cli({"export", stocks, "ACME", "--delim", "comma", "--title", "--iso"}).out.find("999.0000"),
              std::string::npos);
}

TEST(ImportCliTest, RefusalsAndTheirStatuses) {
    testing::TempDir dir;
    const std::string db = dir.str();
    ASSERT_EQ(Cli({"new-portfolio", db}).status, 0);
    testing::WriteText(dir.path() / "amb.csv", "Date,Close\n01/02/2020,1\n03/04/2020,2\n");
    testing::WriteText(dir.path() / "bad.csv", "Date,Close\n2020-01-02,1\n2020-01-03,x\n");
    const std::string amb = (dir.path() / "amb.csv").string(), bad = (dir.path() / "bad.csv").string();
    const struct {
        std::vector<std::string> args;
        int status;
        const char* says;  // in standard output or error
    } rows[] = {
        {{"new-portfolio", db}, 1, "already holds a portfolio"},
        {{"import", db, amb, "NEW", "--create"}, 1, "choose the date form"},
        {{"import", db, amb, "NEW", "--create", "--date-format", "DD/MM/YYYY", "--dry-run"}, 0, "2 to add"},
        {{"import", db, bad, "NEW", "--create"}, 1, "bad.csv, line 3"},
        {{"import", db, bad, "NEW", "--create", "--skip-bad", "--dry-run"}, 0, "1 to add"},
        {{"import", db, amb, "--delim", "pipe"}, 2, "--delim"},
        {{"import", db, amb, "--columns", "date,price"}, 2, "price"},
        {{"import", db, amb, "--date-format", "DMY"}, 2, "--date-format"},
        {{"import", db, amb, "--file", "7"}, 1, "File Not Found"},
    };
    for (const auto& r : rows) {
        const testing::CliRun run = Cli(r.args);
        EXPECT_EQ(run.status, r.status) << r.args[1] << " " << r.args.back() << "\n" << run.out << run.err;
        EXPECT_NE((run.out + run.err).find(r.says), std::string::npos) << r.says << "\n" << run.out << run.err;
    }
    EXPECT_TRUE(testing::DecodeIndexFiles(db).securities.empty());
}

}  // namespace
}  // namespace barwise
