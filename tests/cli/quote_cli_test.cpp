// barwise-cli's quote-editing subcommands on a copy of the demo database and of a real
// intraday database: one change per subcommand, the refusals with their messages and exit
// status 1, usage errors with 2, and nothing written by a refusal. What each change does to
// the quotes is the rewrite engine's own test.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "cli/clirun.h"
#include "testsupport/tempdir.h"
#include "testsupport/testdb.h"

namespace barwise {
namespace {

namespace fs = std::filesystem;
using testing::Cli;
using testing::Lines;
using testing::ReadBytes;
using testing::TempDir;

std::string Field(const std::string& line, int i) {
    std::size_t start = 0;
    for (int k = 0; k < i; ++k) start = line.find(' ', start) + 1;
    return line.substr(start, line.find(' ', start) - start);
}

class QuoteCli : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Cli({"make-demo", tmp_.str() + "/demo"}).status, 0);
        dir_ = (tmp_.path() / "demo" / "STOCKS").string();
        dat_ = tmp_.path() / "demo" / "STOCKS" / "F1.DAT";
        const auto q = Quotes();
        ASSERT_GE(q.size(), 10u);
        newest_ = Field(q.front(), 0);
        oldest_ = Field(q.back(), 0);
    }
    // ACME's export lines, newest first.
    std::vector<std::string> Quotes() { return Lines(Cli({"export", dir_, "ACME", "--newest-first"}).out); }

    TempDir tmp_;
    std::string dir_, newest_, oldest_;
    fs::path dat_;
};

TEST_F(QuoteCli, EachSubcommandChangesTheQuoteItNames) {
    const auto before = Quotes();
    const std::string second = Field(before[1], 0), third = Field(before[2], 0);

    // Edit: the given field, the rest as stored; a negative price is a price.
    ASSERT_EQ(Cli({"edit-quote", dir_, "ACME", newest_, "--close", "-2.5"}).status, 0);
    auto q = Quotes();
    EXPECT_EQ(Field(q[0], 4), "-2.5000");
    EXPECT_EQ(Field(q[0], 1), Field(before[0], 1));
    EXPECT_EQ(q[1], before[1]);

    // Split 2:1 on the second newest: older quotes halved, the split day kept.
    ASSERT_EQ(Cli({"split", dir_, "--file", "1", second, "2", "1"}).status, 0);
    q = Quotes();
    EXPECT_EQ(q[1], before[1]);
    EXPECT_DOUBLE_EQ(std::stod(Field(q[2], 4)) * 2, std::stod(Field(before[2], 4)));

    // Adjust one day's volume by 10.
    ASSERT_EQ(Cli({"adjust", dir_, "ACME", third, third, "--vol", "10"}).status, 0);
    const auto adjusted = Quotes();
    EXPECT_DOUBLE_EQ(std::stod(Field(adjusted[2], 5)), std::stod(Field(q[2], 5)) * 10);
    EXPECT_EQ(adjusted[3], q[3]);

    // Delete the second newest, then add it back as a copy of the newest.
    ASSERT_EQ(Cli({"delete-quote", dir_, "ACME", second}).status, 0);
    EXPECT_EQ(Quotes().size(), before.size() - 1);
    const auto added = Cli({"add-quote", dir_, "ACME", newest_});
    ASSERT_EQ(added.status, 0) << added.err;
    q = Quotes();
    ASSERT_EQ(q.size(), before.size());
    EXPECT_EQ(Field(q[1], 0), second);  // the demo's quotes are on consecutive weekdays
    EXPECT_EQ(q[1].substr(q[1].find(' ')), q[0].substr(q[0].find(' ')));
}

TEST_F(QuoteCli, RefusalsWriteNothing) {
    const auto bytes = ReadBytes(dat_);
    const std::string& n = newest_;
    const std::string& o = oldest_;
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;
    } rows[] = {
        {{"edit-quote", dir_, "ACME", n, "--vol", "1e39"}, 1, "Invalid Data Entered\n\n--vol"},
        {{"split", dir_, "ACME", "01/01/1990", "2", "1"}, 1, "Invalid Data Entered"},
        {{"split", dir_, "ACME", n, "-1", "1"}, 1, "Invalid Data Entered\n\nNEW"},
        {{"split", dir_, "ACME", n, "1", "1,5"}, 1, "Invalid Data Entered\n\nOLD"},
        {{"adjust", dir_, "ACME", o, n, "--price", "1e38"}, 1, "Invalid Data Entered"},
        {{"adjust", dir_, "ACME", o, n, "--oi", "-1"}, 1, "--oi"},
        {{"add-quote", dir_, "ACME", n}, 1, "already exists."},
        {{"add-quote", dir_, "ACME", o}, 1, "oldest quote"},
        {{"edit-quote", dir_, "ACME", "01/01/1990", "--close", "9"}, 1, "no quote dated 01/01/90"},
        {{"delete-quote", dir_, "ACME", "01/01/1990"}, 1, "failure in delete quote for findrec"},
        {{"delete-quote", dir_, "ACME", n, "--time", "09:30:00"}, 1, "the series has no times"},
        // Each subcommand reads its dates and numbers whole (how, is the readers' own test).
        // The 31st of June would roll over onto 07/01/24, a quote the demo holds.
        {{"edit-quote", dir_, "ACME", "2024-06-31", "--close", "9"}, 2, "not a date"},
        {{"delete-quote", dir_, "ACME", "04/31/2020"}, 2, "not a date"},
        {{"adjust", dir_, "ACME", o, "2011-02-29"}, 2, "not a date"},
        {{"edit-quote", dir_, "ACME", n, "--close", "1,5"}, 2, "not a number"},
        {{"delete-quote", dir_, "--file", "0x1", n}, 2, "not a whole number"},
        {{"split", dir_, "ACME", n, "2"}, 2, "give DIR"},
    };
    for (const auto& r : rows) {
        const auto run = Cli(r.args);
        EXPECT_EQ(run.status, r.status) << r.args[0] << " " << r.args[3] << ": " << run.err;
        EXPECT_NE(run.err.find(r.message), std::string::npos) << run.err;
        EXPECT_EQ(ReadBytes(dat_), bytes) << r.args[0];
    }
}

#ifndef _WIN32
// A quote command that cannot read or change a file names that file and why, and what it
// could not change is left as it was.
TEST_F(QuoteCli, TheFileAtFaultIsNamed) {
    const fs::path master = fs::path(dir_) / "MASTER";
    const auto datBytes = ReadBytes(dat_), masterBytes = ReadBytes(master);
    const struct {
        const char* name;
        std::function<void()> damage;
        std::vector<std::string> args;
        std::string said;
    } rows[] = {
        {"directory", [&] { fs::remove(dat_), fs::create_directory(dat_); }, {"split", dir_, "ACME", newest_, "2", "1"},
         dat_.string() + " is not a regular file"},
        {"fifo", [&] { fs::remove(dat_), ::mkfifo(dat_.c_str(), 0600); }, {"delete-quote", dir_, "--file", "1", newest_},
         dat_.string() + " is not a regular file"},
        {"read-only MASTER", [&] { fs::permissions(master, fs::perms::owner_read); },
         {"delete-quote", dir_, "ACME", oldest_}, master.string() + " is read-only"},
        {"read-only data", [&] { fs::permissions(dat_, fs::perms::owner_read); },
         {"delete-quote", dir_, "ACME", oldest_}, dat_.string() + " is read-only"},
        {"missing data", [&] { fs::remove(dat_); }, {"edit-quote", dir_, "ACME", newest_, "--close", "9"},
         dat_.string() + ": missing"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        r.damage();
        const auto run = Cli(r.args);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find(r.said), std::string::npos) << run.err;
        EXPECT_EQ(ReadBytes(master), masterBytes);
        if (fs::is_regular_file(dat_)) {
            EXPECT_EQ(ReadBytes(dat_), datBytes);
        }
        fs::remove_all(dat_);
        testing::WriteBytes(dat_, datBytes);
        fs::permissions(master, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
    }
}
#endif

// An intraday series (bars at 09:05 and 09:15 of one day): --time picks a bar, the date
// alone the first bar of the day, and the messages name a bar by its time.
TEST(QuoteCliRealDb, TimeNamesTheBarOfTheDay) {
    TempDir tmp;
    if (!testing::CopyRealDb("stooq-intraday", tmp.path())) GTEST_SKIP() << "no real databases";
    const std::string d = tmp.str();
    const auto bars = [&] { return Lines(Cli({"export", d, "--file", "1", "--time"}).out); };
    const auto before = bars();
    ASSERT_EQ(before.size(), 2u);
    ASSERT_EQ(Field(before[0], 1), "09:05:00");
    const auto bytes = ReadBytes(tmp.path() / "F1.DAT");
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;
    } refused[] = {
        {{"delete-quote", d, "--file", "1", "2013-11-15", "--time", "09:05:01"}, 1, "failure in delete quote"},
        {{"edit-quote", d, "--file", "1", "2013-11-15", "--time", "09:10", "--close", "9"}, 1,
         "no quote dated 11/15/13 at 09:10:00"},
        {{"add-quote", d, "--file", "1", "2013-11-15", "--time", "09:05:00"}, 1, "11/15/13 09:05:00 is the oldest quote"},
        {{"delete-quote", d, "--file", "1", "2013-11-15", "--time", "9:05"}, 2, "not a time"},
        {{"delete-quote", d, "--file", "1", "2013-11-15", "--time", "24:00:00"}, 2, "not a time"},
        {{"delete-quote", d, "--file", "1", "2013-11-15", "--time", "09:60"}, 2, "not a time"},
    };
    for (const auto& r : refused) {
        const auto run = Cli(r.args);
        EXPECT_EQ(run.status, r.status) << r.args.back() << ": " << run.err;
        EXPECT_NE(run.err.find(r.message), std::string::npos) << run.err;
        EXPECT_EQ(ReadBytes(tmp.path() / "F1.DAT"), bytes);
    }
    const auto deleted = Cli({"delete-quote", d, "--file", "1", "2013-11-15", "--time", "09:15:00"});
    ASSERT_EQ(deleted.status, 0) << deleted.err;
    EXPECT_NE(deleted.err.find("Deleted 11/15/13 09:15:00"), std::string::npos) << deleted.err;
    EXPECT_EQ(bars(), std::vector<std::string>{before[0]});
    ASSERT_EQ(Cli({"delete-quote", d, "--file", "1", "2013-11-15"}).status, 0);
    EXPECT_TRUE(bars().empty());
}

}  // namespace
}  // namespace barwise
