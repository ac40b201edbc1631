// barwise-cli import and new-portfolio end to end: day files of many symbols, and the options
// with their refusals and exit statuses. The merge rules are the import's own test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/clirun.h"
#include "testsupport/indexcheck.h"
#include "testsupport/tempdir.h"

namespace barwise {
namespace {

using testing::Cli;

// The rows run in order on one portfolio: refusals, dry runs and a conflict write nothing.
TEST(ImportCliTest, OptionsAndTheirStatuses) {
    testing::TempDir dir;
    const std::string db = dir.str();
    ASSERT_EQ(Cli({"new-portfolio", db, "--extended"}).status, 0);
    const auto file = [&](const char* name, const char* text) {
        testing::WriteText(dir.path() / name, text);
        return (dir.path() / name).string();
    };
    const std::string amb = file("amb.csv", "Date,Close\n01/02/2020,1\n03/04/2020,2\n");
    const std::string bad = file("bad.csv", "Date,Close\n2020-01-02,1\n2020-01-03,x\n");
    const std::string day1 =
        file("day1.txt", "AAA,20200102,1,2,0.5,1.5,100\nBBB,20200102,3,4,2.5,3.5,200\n");
    const std::string day2 =
        file("day2.txt", "AAA,20200103,1,2,0.5,1.6,100\nBBB,20200103,3,4,2.5,3.6,200\n");
    const std::string one = file("one.csv", "Date,Close\n2020-01-02,1\n2020-01-03,2\n");
    const std::string two = file("two.csv", "Date,Close\n2020-01-03,5\n");
    const struct {
        std::vector<std::string> args;
        int status;
        const char* says;  // in standard output or error
    } rows[] = {
        {{"new-portfolio", db}, 1, "already holds a portfolio"},
        {{"import", db, day1}, 1, "not in the portfolio"},
        {{"import", db, day1, "--create", "--dry-run"}, 0, "AAA (new security): 1 to add"},
        {{"import", db, day1, day2, "--create"}, 0, "BBB (new security, F2 in MASTER): 2 added"},
        // Again: every quote is held with the same values.
        {{"import", db, day2}, 0, "AAA: 0 added, 1 already held"},
        {{"import", db, amb, "NEW", "--create", "--date-format", "DD/MM/YYYY", "--dry-run"},
         0,
         "2 to add"},
        {{"import", db, bad, "NEW", "--create"}, 1, "bad.csv, line 3"},
        {{"import", db, bad, "NEW", "--create", "--skip-bad", "--dry-run"}, 0, "1 to add"},
        {{"import", db, amb, "--delim", "pipe"}, 2, "--delim"},
        {{"import", db, amb, "--columns", "date,price"}, 2, "price"},
        {{"import", db, amb, "--date-format", "DMY"}, 2, "--date-format"},
        {{"import", db, amb, "--file", "7"}, 1, "File Not Found"},
        {{"import", db, one, "NEW", "--create"}, 0, "NEW (new security, F3 in MASTER): 2 added"},
        {{"import", db, two, "NEW"}, 0, "two.csv, line 2, 01/03/2020: CLOSE held 2, file 5"},
        {{"import", db, two, "--file", "3", "--replace"},
         0,
         "0 already held, 1 in conflict, 1 replaced"},
    };
    for (const auto& r : rows) {
        const testing::CliRun run = Cli(r.args);
        EXPECT_EQ(run.status, r.status) << r.args[1] << " " << r.args.back() << "\n"
                                        << run.out << run.err;
        EXPECT_NE((run.out + run.err).find(r.says), std::string::npos) << r.says << "\n"
                                                                       << run.out << run.err;
    }
    const testing::DecodedIndex index = testing::DecodeIndexFiles(db);
    ASSERT_EQ(index.securities.size(), 3u);
    EXPECT_EQ(std::tie(index.securities[1].symbol, index.securities[1].lastDate,
                       index.securities[2].symbol),
              std::make_tuple("BBB", 20200103, "NEW"));
    EXPECT_TRUE(testing::IndexDisagreements(db).empty());
}

}  // namespace
}  // namespace barwise
