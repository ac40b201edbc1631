// barwise-cli's quote-editing subcommands on a copy of the demo database and of a real
// intraday database: each change as the window makes it, the dialogs' refusals with their
// messages and exit status 1, usage errors with 2, and nothing written by a refusal.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "cli/clirun.h"
#include "testsupport/indexcheck.h"
#include "testsupport/tempdir.h"

namespace barwise {
namespace {

using testing::Cli;
using testing::Lines;
using testing::ReadBytes;
using testing::TempDir;

class QuoteCli : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Cli({"make-demo", tmp_.str() + "/demo"}).status, 0);
        dir_ = (tmp_.path() / "demo" / "STOCKS").string();
        dat_ = tmp_.path() / "demo" / "STOCKS" / "F1.DAT";
    }
    // ACME's export lines, newest first.
    std::vector<std::string> Quotes(const std::string& symbol = "ACME") {
        return Lines(Cli({"export", dir_, symbol, "--newest-first"}).out);
    }
    TempDir tmp_;
    std::string dir_;
    std::filesystem::path dat_;
};

std::string Field(const std::string& line, int i) {
    std::size_t start = 0;
    for (int k = 0; k < i; ++k) start = line.find(' ', start) + 1;
    return line.substr(start, line.find(' ', start) - start);
}

TEST_F(QuoteCli, EditSplitAdjustAddDelete) {
    const auto before = Quotes();
    ASSERT_GE(before.size(), 10u);
    const std::string newest = Field(before[0], 0), second = Field(before[1], 0), third = Field(before[2], 0);

    // Edit: the given field, the rest as stored; a negative price is a price.
    ASSERT_EQ(Cli({"edit-quote", dir_, "ACME", newest, "--close", "-2.5"}).status, 0);
    auto q = Quotes();
    EXPECT_EQ(Field(q[0], 4), "-2.5000");
    EXPECT_EQ(Field(q[0], 1), Field(before[0], 1));
    EXPECT_EQ(Field(q[0], 5), Field(before[0], 5));
    EXPECT_EQ(q[1], before[1]);

    // Split 2:1 on the second newest: older quotes halved, the split day and later kept.
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
    const auto added = Cli({"add-quote", dir_, "ACME", newest});
    ASSERT_EQ(added.status, 0) << added.err;
    q = Quotes();
    ASSERT_EQ(q.size(), before.size());
    EXPECT_EQ(Field(q[1], 0), second);  // the demo's quotes are on consecutive weekdays
    EXPECT_EQ(q[1].substr(q[1].find(' ')), q[0].substr(q[0].find(' ')));
}

TEST_F(QuoteCli, RefusalsWriteNothing) {
    const std::string newest = Field(Quotes()[0], 0), oldest = Field(Quotes().back(), 0);
    const auto bytes = ReadBytes(dat_);
    struct Row {
        std::vector<std::string> args;
        int status;
        const char* message;
    } rows[] = {
        {{"edit-quote", dir_, "ACME", newest, "--vol", "1e39"}, 1, "Invalid Data Entered"},
        {{"split", dir_, "ACME", "01/01/1990", "2", "1"}, 1, "Invalid Data Entered"},
        {{"adjust", dir_, "ACME", oldest, newest, "--price", "1e38"}, 1, "Invalid Data Entered"},
        {{"add-quote", dir_, "ACME", newest}, 1, "already exists."},
        {{"add-quote", dir_, "ACME", oldest}, 1, "oldest quote"},
        {{"delete-quote", dir_, "ACME", "01/01/1990"}, 1, "failure in delete quote for findrec"},
        {{"delete-quote", dir_, "ACME", "13/45/99"}, 2, "not a date"},
        {{"split", dir_, "ACME", newest, "2"}, 2, "give DIR"},
        {{"edit-quote", dir_, "ACME", newest, "--close", "abc"}, 2, "not a number"},
        {{"delete-quote", dir_, "ACME", newest, "--time", "09:30:00"}, 1, "the series has no times"},
        // Only whole texts: a day that exists, a number that is the whole argument (the forms
        // refused are listed where the texts are read).
        {{"delete-quote", dir_, "ACME", "04/31/2020"}, 2, "not a date"},
        {{"adjust", dir_, "ACME", oldest, "2011-02-29"}, 2, "not a date"},
        {{"edit-quote", dir_, "ACME", newest, "--close", "1,5"}, 2, "not a number"},
        {{"delete-quote", dir_, "--file", "0x1", newest}, 2, "not a whole number"},
        // Factors above 0, and no value other than 0 stored as 0.
        {{"edit-quote", dir_, "ACME", newest, "--close", "1e-39"}, 1, "Invalid Data Entered\n\n--close"},
        {{"split", dir_, "ACME", newest, "-1", "1"}, 1, "Invalid Data Entered\n\nNEW"},
        {{"split", dir_, "ACME", newest, "1", "1,5"}, 1, "Invalid Data Entered\n\nOLD"},
        {{"adjust", dir_, "ACME", oldest, newest, "--oi", "-1"}, 1, "--oi"},
    };
    for (const Row& r : rows) {
        const auto run = Cli(r.args);
        EXPECT_EQ(run.status, r.status) << r.args[0] << " " << r.args.back() << ": " << run.err;
        EXPECT_NE(run.err.find(r.message), std::string::npos) << run.err;
        EXPECT_EQ(ReadBytes(dat_), bytes) << r.args[0];
    }
}

#ifndef _WIN32
// A quote command that cannot read or change a file names that file and why, and what it
// could not change is left as it was.
TEST_F(QuoteCli, TheFileAtFaultIsNamed) {
    namespace fs = std::filesystem;
    const std::string newest = Field(Quotes()[0], 0), oldest = Field(Quotes().back(), 0);
    const fs::path master = fs::path(dir_) / "MASTER";
    const auto datBytes = ReadBytes(dat_), masterBytes = ReadBytes(master);
    const auto restore = [&] {
        fs::remove_all(dat_);
        testing::WriteBytes(dat_, datBytes);
        fs::permissions(master, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
    };
    struct Row {
        const char* name;
        std::function<void()> damage;
        std::vector<std::string> args;
        std::string said;
    };
    const std::vector<Row> rows = {
        {"directory", [&] {
             fs::remove(dat_);
             fs::create_directory(dat_);
         }, {"split", dir_, "ACME", newest, "2", "1"},
         dat_.string() + " is not a regular file"},
        {"fifo", [&] {
             fs::remove(dat_);
             ::mkfifo(dat_.c_str(), 0600);
         }, {"delete-quote", dir_, "--file", "1", newest},
         dat_.string() + " is not a regular file"},
        {"read-only MASTER", [&] { fs::permissions(master, fs::perms::owner_read); },
         {"delete-quote", dir_, "ACME", oldest}, master.string() + " is read-only"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        r.damage();
        const auto run = Cli(r.args);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find(r.said), std::string::npos) << run.err;
        EXPECT_EQ(ReadBytes(master), masterBytes);
        if (fs::is_regular_file(dat_)) {
            EXPECT_EQ(ReadBytes(dat_), datBytes);
        }
        restore();
    }
}
#endif

// An intraday series: delete-quote removes the first quote of the date, not every one, or
// the one --time names; the messages name a bar by its time.
TEST(QuoteCliRealDb, IntradayDeleteKeepsTheOtherQuotesOfTheDay) {
    TempDir tmp;
    const std::filesystem::path from = std::filesystem::path(BARWISE_REALDB_DIR) / "stooq-intraday";
    std::error_code ec;
    if (!std::filesystem::is_directory(from, ec)) GTEST_SKIP() << "no real databases";
    std::filesystem::copy(from, tmp.path(), std::filesystem::copy_options::recursive, ec);
    for (auto& e : std::filesystem::directory_iterator(tmp.path()))
        std::filesystem::permissions(e.path(), std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    const auto before = Lines(Cli({"export", tmp.str(), "--file", "1", "--time"}).out);
    ASSERT_EQ(before.size(), 2u);
    ASSERT_EQ(Field(before[0], 1), "09:05:00");
    ASSERT_EQ(Field(before[1], 1), "09:15:00");
    const auto bytes = ReadBytes(tmp.path() / "F1.DAT");
    struct Row {
        std::vector<std::string> args;
        int status;
        const char* message;
    } refused[] = {
        {{"delete-quote", tmp.str(), "--file", "1", "2013-11-15", "--time", "09:05:01"}, 1, "failure in delete quote"},
        {{"edit-quote", tmp.str(), "--file", "1", "2013-11-15", "--time", "09:10", "--close", "9"}, 1,
         "no quote dated 11/15/13 at 09:10:00"},
        {{"add-quote", tmp.str(), "--file", "1", "2013-11-15", "--time", "09:05:00"}, 1,
         "11/15/13 09:05:00 is the oldest quote"},
        {{"delete-quote", tmp.str(), "--file", "1", "2013-11-15", "--time", "9:05"}, 2, "not a time"},
        {{"delete-quote", tmp.str(), "--file", "1", "2013-11-15", "--time", "24:00:00"}, 2, "not a time"},
    };
    for (const Row& r : refused) {
        const auto run = Cli(r.args);
        EXPECT_EQ(run.status, r.status) << r.args.back() << ": " << run.err;
        EXPECT_NE(run.err.find(r.message), std::string::npos) << run.err;
        EXPECT_EQ(ReadBytes(tmp.path() / "F1.DAT"), bytes);
    }
    const auto deleted = Cli({"delete-quote", tmp.str(), "--file", "1", "2013-11-15", "--time", "09:15:00"});
    ASSERT_EQ(deleted.status, 0) << deleted.err;
    EXPECT_NE(deleted.err.find("Deleted 11/15/13 09:15:00"), std::string::npos) << deleted.err;
    EXPECT_EQ(Lines(Cli({"export", tmp.str(), "--file", "1", "--time"}).out), std::vector<std::string>{before[0]});
    ASSERT_EQ(Cli({"delete-quote", tmp.str(), "--file", "1", "2013-11-15"}).status, 0);
    EXPECT_TRUE(Lines(Cli({"export", tmp.str(), "--file", "1", "--time"}).out).empty());
}

// Securities only XMASTER lists are edited like any other, by symbol or by file number, and
// the three index files agree afterwards.
TEST(QuoteCliRealDb, XmasterSecuritiesAreEditedAndTheIndexFilesFollow) {
    TempDir tmp;
    const std::filesystem::path from = std::filesystem::path(BARWISE_REALDB_DIR) / "equis-italy";
    std::error_code ec;
    if (!std::filesystem::is_directory(from, ec)) GTEST_SKIP() << "no real databases";
    std::filesystem::copy(from, tmp.path(), std::filesystem::copy_options::recursive, ec);
    for (auto& e : std::filesystem::directory_iterator(tmp.path()))
        std::filesystem::permissions(e.path(), std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    const std::string dir = tmp.str();
    const auto row = [&] {
        for (const std::string& l : Lines(Cli({"symbols", dir}).out))
            if (l.rfind("AUTME,", 0) == 0) return l;
        return std::string();
    };
    EXPECT_EQ(row(), "AUTME,AUTOSTRADE MERIDIONALI,334,28,7,01/04/10,07/09/10,D,XMASTER");
    ASSERT_EQ(Cli({"delete-quote", dir, "--file", "334", "07/09/10"}).status, 0);
    EXPECT_EQ(row(), "AUTME,AUTOSTRADE MERIDIONALI,334,28,7,01/04/10,07/08/10,D,XMASTER");
    ASSERT_EQ(Cli({"edit-quote", dir, "AUTME", "07/08/10", "--close", "9.99"}).status, 0);
    const auto last = Lines(Cli({"export", dir, "AUTME", "--newest-first"}).out).at(0);
    EXPECT_EQ(Field(last, 0), "07/08/10");
    EXPECT_EQ(Field(last, 4), "9.9900");
    EXPECT_TRUE(std::filesystem::exists(tmp.path() / "F334.BAK"));
    const auto disagreements = testing::IndexDisagreements(tmp.path());
    EXPECT_TRUE(disagreements.empty()) << disagreements.front();
}

}  // namespace
}  // namespace barwise
