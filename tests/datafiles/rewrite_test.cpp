#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstring>
#include <limits>

#include "datafiles/rewrite.h"
#include "datafiles/series.h"
#include "robustness/faultyfs.h"
#include "testsupport/testdb.h"

namespace barwise {
namespace {

using testing::Entry;
using testing::ReadBytes;
using testing::TempDir;
using testing::Weekdays;
using testing::WriteDat;
using testing::WriteMaster;

// Ten weekday quotes from Monday 3 January 2000 (file 1, 28-byte records) with distinct
// prices; plus an intraday series (file 2) with a TIME column from its DOP.
class RewriteTest : public ::testing::Test {
protected:
    TempDir tmp;
    fs::path master = tmp.path() / "MASTER";
    fs::path dat = tmp.path() / "F1.DAT";
    std::vector<float> dates = Weekdays(2000, 1, 3, 10);

    void SetUp() override {
        std::vector<std::vector<float>> rows;
        for (int i = 0; i < 10; ++i) {
            const float p = 20.0f + static_cast<float>(i);
            rows.push_back({dates[static_cast<std::size_t>(i)], p, p + 0.5f, p - 0.5f, p + 0.25f, 1000.0f * static_cast<float>(i + 1), 3.0f});
        }
        WriteDat(dat, 28, rows);
        WriteDat(tmp.path() / "F2.DAT", 16,
                 {{1000103.0f, 93000.0f, 5.0f, 100.0f}, {1000103.0f, 94000.0f, 5.5f, 100.0f},
                  {1000104.0f, 93000.0f, 6.0f, 100.0f}});
        testing::WriteText(tmp.path() / "F2.DOP", "\"DATE\",0,0\n\"TIME\",0,0\n\"CLOSE\",2,2\n\"VOL\",0,0\n");
        WriteMaster(tmp.path(), {Entry(1, "ABC", "ABC CORP", 28, 7, dates.front(), dates.back()),
                                 Entry(2, "TICK", "TICKS", 16, 4, 1000103.0f, 1000104.0f, 'I')});
    }
    QuoteSeries Read(const std::string& key) {
        QuoteSeries s;
        EXPECT_EQ(AllocSeries(s, 100), kSuccess);
        EXPECT_EQ(ReadSeries(s, tmp.str(), key, 0, 100), kSuccess);
        return s;
    }
    DateCode Day(int i) const { return DateFromReal(dates[static_cast<std::size_t>(i)]); }
    DataStatus Run(EditOp op, DateCode from, DateCode to, std::array<float, 6> values = {}) {
        EditRequest r;
        r.op = op;
        r.from = from;
        r.to = to;
        r.values = values;
        return RewriteSeries(r, tmp.str(), "ABC");
    }
    float MasterDate(std::size_t offset) {
        const auto m = ReadBytes(master);
        return MbfToFloat(m.data() + 53 + offset);
    }
};

// A Scale of the days from 2 to 4 (both included): their prices halved and volume doubled,
// every other byte (header, dates, open interest at factor 1, other days) as it was.
TEST_F(RewriteTest, ScaleChangesTheFactorsFieldsOfTheDaysInRangeAndNothingElse) {
    const auto before = ReadBytes(dat);
    ASSERT_EQ(Run(EditOp::kScale, Day(2), Day(4), {0.5f, 0.5f, 0.5f, 0.5f, 2.0f, 1.0f}), kSuccess);
    const auto after = ReadBytes(dat);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t at = 0; at < after.size(); ++at) {
        const std::size_t record = at / 28, field = at % 28 / 4;
        if (record >= 3 && record <= 5 && field >= 1 && field <= 5) continue;
        ASSERT_EQ(after[at], before[at]) << "record " << record << " byte " << at % 28;
    }
    for (std::size_t record = 3; record <= 5; ++record) {
        const std::uint8_t* o = before.data() + record * 28;
        const std::uint8_t* n = after.data() + record * 28;
        for (int f = 1; f <= 4; ++f) EXPECT_EQ(MbfToFloat(n + f * 4), MbfToFloat(o + f * 4) * 0.5f) << record;
        EXPECT_EQ(MbfToFloat(n + 20), MbfToFloat(o + 20) * 2.0f) << record;
    }
    EXPECT_EQ(ReadBytes(tmp.path() / "F1.BAK"), before);
    EXPECT_FALSE(fs::exists(tmp.path() / "F1.NEW"));
}

TEST_F(RewriteTest, SetChangesOneDayAndAMissingDayChangesNothing) {
    ASSERT_EQ(Run(EditOp::kSet, Day(3), Day(3), {1, 2, 0.5f, 1.5f, 77, 3}), kSuccess);
    QuoteSeries s = Read("ABC");
    EXPECT_EQ(testing::QuoteValues(s, 3), (std::vector<float>{1, 2, 0.5f, 1.5f, 77, 3}));
    EXPECT_EQ(s.date(3), Day(3));
    EXPECT_EQ(s.open(2), 22.0f);
    const auto before = ReadBytes(dat);
    const DateCode saturday = static_cast<DateCode>(Day(4) + 1);
    fs::remove(tmp.path() / "F1.BAK");
    ASSERT_EQ(Run(EditOp::kSet, saturday, saturday, {1, 1, 1, 1, 1, 1}), kSuccess);
    EXPECT_EQ(ReadBytes(dat), before);
    // Nothing changed, so nothing is written: not even the backup.
    EXPECT_FALSE(fs::exists(tmp.path() / "F1.BAK"));
}

// Delete and Insert of one daily quote (each quote's prices are its number, 1 on): the
// quotes after, and MASTER's first and last date (a Delete that takes the first or the last
// quote moves them; anything else leaves MASTER byte for byte). Insert copies the quote to
// the weekday before it, refused where that would break the date order.
TEST_F(RewriteTest, DeleteAndInsertOfOneQuote) {
    const std::vector<float> w(dates.begin(), dates.end());
    struct Case {
        const char* what;
        std::vector<float> held;  // date reals
        EditOp op;
        float day;
        DataStatus status;
        std::vector<std::pair<float, float>> after;  // date real, close
        float first, last;                           // MASTER's dates after
    } const cases[] = {
        {"delete the first", {w[0], w[1], w[2]}, EditOp::kDelete, w[0], kSuccess, {{w[1], 2}, {w[2], 3}}, w[1], w[2]},
        {"delete the last", {w[0], w[1], w[2]}, EditOp::kDelete, w[2], kSuccess, {{w[0], 1}, {w[1], 2}}, w[0], w[1]},
        {"delete a middle one", {w[0], w[1], w[2]}, EditOp::kDelete, w[1], kSuccess, {{w[0], 1}, {w[2], 3}}, w[0], w[2]},
        {"delete the only one", {1000301}, EditOp::kDelete, 1000301, kSuccess, {}, 1000301, 1000301},
        // A long history: 1908 is not 2008.
        {"delete a first of 1908", {80309, 80310, 1080310}, EditOp::kDelete, 80309, kSuccess, {{80310, 2}, {1080310, 3}},
         80310, 1080310},
        // Monday 3, Wednesday 5 and Monday 10 January 2000.
        {"insert copies to the day before", {1000103, 1000105, 1000110}, EditOp::kInsert, 1000105, kSuccess,
         {{1000103, 1}, {1000104, 2}, {1000105, 2}, {1000110, 3}}, 1000103, 1000110},
        {"insert of a Monday copies to Friday", {1000103, 1000105, 1000110}, EditOp::kInsert, 1000110, kSuccess,
         {{1000103, 1}, {1000105, 2}, {1000107, 3}, {1000110, 3}}, 1000103, 1000110},
        {"insert where the day before is held", {1000103, 1000104, 1000105}, EditOp::kInsert, 1000105,
         kInsertOutOfOrder, {{1000103, 1}, {1000104, 2}, {1000105, 3}}, 1000103, 1000105},
        // Friday 7, Saturday 8, Monday 10: Monday's copy would be dated Friday, after Saturday.
        {"insert behind a Saturday", {1000107, 1000108, 1000110}, EditOp::kInsert, 1000110, kInsertOutOfOrder,
         {{1000107, 1}, {1000108, 2}, {1000110, 3}}, 1000107, 1000110},
        {"insert of a day not held", {1000107, 1000108, 1000110}, EditOp::kInsert, 1000109, kRecordNotFound,
         {{1000107, 1}, {1000108, 2}, {1000110, 3}}, 1000107, 1000110},
        {"insert before every quote", {1000107, 1000108, 1000110}, EditOp::kInsert, 1000107, kSuccess,
         {{1000106, 1}, {1000107, 1}, {1000108, 2}, {1000110, 3}}, 1000107, 1000110},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::vector<float>> rows;
        for (std::size_t i = 0; i < c.held.size(); ++i) {
            const float p = static_cast<float>(i + 1);
            rows.push_back({c.held[i], p, p, p, p, p, p});
        }
        WriteDat(dat, 28, rows);
        WriteMaster(tmp.path(), {Entry(1, "ABC", "ABC CORP", 28, 7, c.held.front(), c.held.back())});
        const auto datBefore = ReadBytes(dat), masterBefore = ReadBytes(master);
        const DateCode day = DateFromReal(c.day);
        ASSERT_EQ(Run(c.op, day, day), c.status);
        if (c.status != kSuccess) {
            EXPECT_EQ(ReadBytes(dat), datBefore);
        }
        EXPECT_EQ(GetI16(ReadBytes(dat).data() + 2), static_cast<int>(c.after.size()) + 1);
        QuoteSeries s;
        ASSERT_EQ(AllocSeries(s, 10), kSuccess);
        const DataStatus read = ReadSeries(s, tmp.str(), "ABC", 0, 10);
        std::vector<std::pair<float, float>> after;
        for (int i = 0; read == kSuccess && i < s.count; ++i) after.push_back({DateToReal(s.date(i)), s.close(i)});
        EXPECT_EQ(after, c.after);
        EXPECT_EQ(MasterDate(25), c.first);
        EXPECT_EQ(MasterDate(29), c.last);
        if (c.first == c.held.front() && c.last == c.held.back()) {
            EXPECT_EQ(ReadBytes(master), masterBefore);
        }
    }
}

// A Set of a quote of 1908 changes that quote, not the one of 2008; a Scale from the first
// quote on covers 1908 too.
TEST_F(RewriteTest, EditsOfAQuoteBefore1961ChangeExactlyThatQuote) {
    WriteDat(dat, 28, {{80309.0f, 1, 1, 1, 1, 10, 0}, {80310.0f, 2, 2, 2, 2, 20, 0}, {1080310.0f, 3, 3, 3, 3, 30, 0}});
    WriteMaster(tmp.path(), {Entry(1, "ABC", "ABC CORP", 28, 7, 80309.0f, 1080310.0f)});
    const DateCode early = MakeDate(1908, 3, 10);
    ASSERT_EQ(Run(EditOp::kSet, early, early, {5, 6, 4, 5.5f, 99, 0}), kSuccess);
    ASSERT_EQ(Run(EditOp::kScale, EditRequest{}.from, EditRequest{}.to, {2, 2, 2, 2, 1, 1}), kSuccess);
    const QuoteSeries s = Read("ABC");
    ASSERT_EQ(s.count, 3);
    EXPECT_EQ(s.close(0), 2.0f);
    EXPECT_EQ(s.close(1), 11.0f);
    EXPECT_EQ(s.close(2), 6.0f);
    EXPECT_EQ(s.date(2), MakeDate(2008, 3, 10));
}

TEST_F(RewriteTest, DeleteInASubdirectoryUpdatesThatMaster) {
    // SUB/F1.DAT belongs to "DEEP"; file number 1 of the portfolio's MASTER is "ABC".
    const fs::path sub = tmp.path() / "SUB";
    fs::create_directories(sub);
    WriteDat(sub / "F1.DAT", 28, {{dates[0], 1, 1, 1, 1, 1, 1}, {dates[1], 2, 2, 2, 2, 2, 2}});
    WriteMaster(sub, {Entry(1, "DEEP", "DEEP", 28, 7, dates[0], dates[1])});
    WriteMaster(tmp.path(), {Entry(1, "ABC", "ABC CORP", 28, 7, dates.front(), dates.back()), testing::SubdirEntry("SUB")});
    const auto topBefore = ReadBytes(master);
    EditRequest r;
    r.op = EditOp::kDelete;
    r.from = r.to = Day(0);
    ASSERT_EQ(RewriteSeries(r, tmp.str(), "DEEP"), kSuccess);
    EXPECT_EQ(ReadBytes(master), topBefore);
    EXPECT_EQ(MbfToFloat(ReadBytes(sub / "MASTER").data() + 53 + 25), dates[1]);
    EXPECT_EQ(ReadBytes(dat).size(), 11u * 28);  // ABC's own file untouched
}

// Every refusal is decided before the first write: the data file, MASTER and both
// backups (made by an earlier scale) stay byte for byte as they were.
TEST_F(RewriteTest, RefusedEditsLeaveEveryFileAndTheBackupsAsTheyWere) {
    ASSERT_EQ(Run(EditOp::kScale, kFirstDay, kLastDay, {2, 2, 2, 2, 1, 1}), kSuccess);
    ASSERT_EQ(Run(EditOp::kDelete, Day(0), Day(0)), kSuccess);  // a MASTER.BAK too
    const fs::path files[] = {dat, tmp.path() / "F1.BAK", master, tmp.path() / "MASTER.BAK"};
    std::vector<std::vector<std::uint8_t>> before;
    for (const fs::path& f : files) before.push_back(ReadBytes(f));

    const float inf = std::numeric_limits<float>::infinity();
    const DateCode sunday = static_cast<DateCode>(Day(4) + 2);
    struct Case {
        const char* what;
        EditOp op;
        DateCode from, to;
        std::array<float, 6> values;
        DataStatus expected;
    } cases[] = {
        {"delete of a date not held", EditOp::kDelete, sunday, sunday, {}, kDeleteNotFound},
        {"set without an MBF form", EditOp::kSet, Day(3), Day(3), {1, 1, 1, 1, inf, 1}, kInvalidParm},
        {"scale out of the MBF range", EditOp::kScale, kFirstDay, kLastDay, {1, 1, 1, 1, 3.0e38f, 1}, kInvalidParm},
        // Below the MBF range a value other than 0 would be stored as 0: refused alike.
        {"scale to below the MBF range", EditOp::kScale, kFirstDay, kLastDay, {1e-40f, 1, 1, 1, 1, 1}, kInvalidParm},
        {"set to a subnormal", EditOp::kSet, Day(3), Day(3), {1, 1, 1, 1e-39f, 1, 1}, kInvalidParm},
        {"unknown operation", static_cast<EditOp>(2), kFirstDay, kLastDay, {}, kInvalidParm},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Run(c.op, c.from, c.to, c.values), c.expected) << c.what;
        for (std::size_t i = 0; i < std::size(files); ++i) EXPECT_EQ(ReadBytes(files[i]), before[i]) << c.what << ": " << files[i];
        EXPECT_FALSE(fs::exists(tmp.path() / "F1.NEW")) << c.what;
    }

    // A header with no room for another quote refuses an Insert the same way.
    std::vector<std::vector<float>> full(kMaxQuotesPerFile, {dates[0], 1, 1, 1, 1, 1, 1});
    WriteDat(dat, 28, full);
    const auto fullBytes = ReadBytes(dat);
    EXPECT_EQ(Run(EditOp::kInsert, Day(0), Day(0)), kInvalidParm);
    EXPECT_EQ(ReadBytes(dat), fullBytes);
    EXPECT_EQ(ReadBytes(tmp.path() / "F1.BAK"), before[1]);
}

TEST_F(RewriteTest, DeleteWhoseMasterUpkeepFailsSaysTheQuoteIsGone) {
    const auto masterBefore = ReadBytes(master);
    // MASTER's temporary cannot be created, after the quote file was replaced.
    robustness::FaultyFileSystem failing(robustness::Step::kCreate, std::string("MASTER"));
    EditRequest r;
    r.op = EditOp::kDelete;
    r.from = r.to = Day(9);
    EXPECT_EQ(RewriteSeries(r, tmp.str(), "ABC", failing), kDeletedMasterStale);
    EXPECT_TRUE(failing.fired());
    EXPECT_EQ(Read("ABC").count, 9);
    EXPECT_EQ(ReadBytes(master), masterBefore);
    // A MASTER temporary that cannot be created is a write failure.
    SecurityId id;
    MasterRecord rec;
    ASSERT_EQ(FindSymbol(tmp.str(), "ABC", rec, id), kSuccess);
    robustness::FaultyFileSystem failFirst(robustness::Step::kCreate, 1);
    EXPECT_EQ(SetMasterDate(id, DateToMbfReal(Day(1)), 0, failFirst), kFileWrite);
    EXPECT_EQ(ReadBytes(master), masterBefore);
}

// Two entries whose symbols read the same to a lookup by text ("BRK A" and "BRK B" are both
// found as "BRK"): by identity each is its own security, and an identity whose entry has
// changed since it was taken is refused before anything is written.
TEST_F(RewriteTest, IdentityNamesTheEntryNotItsText) {
    WriteDat(tmp.path() / "F3.DAT", 28, {{dates[0], 7, 7, 7, 7, 70, 0}});
    WriteMaster(tmp.path(), {Entry(1, "BRK A", "BERKSHIRE A", 28, 7, dates.front(), dates.back()),
                             Entry(3, "BRK B", "BERKSHIRE B", 28, 7, dates.front(), dates.front())});
    SecurityId first, second{IndexFile::kMaster, WithTrailingSeparator(tmp.str()), 2, 3};
    MasterRecord rec;
    ASSERT_EQ(FindSymbol(tmp.str(), "BRK", rec, first), kSuccess);
    EXPECT_EQ(first.position, 1);
    EXPECT_EQ(first.fileNumber, 1);

    EditRequest r;
    r.op = EditOp::kScale;
    r.from = kFirstDay;
    r.to = kLastDay;
    r.values = {2, 2, 2, 2, 1, 1};
    const auto firstBefore = ReadBytes(dat);
    ASSERT_EQ(RewriteSeries(r, second, RealFileSystem()), kSuccess);
    EXPECT_EQ(ReadBytes(dat), firstBefore);
    QuoteSeries s;
    ASSERT_EQ(AllocSeries(s, 10), kSuccess);
    ASSERT_EQ(ReadSeries(s, second, 0, 10), kSuccess);
    EXPECT_EQ(s.close(0), 14.0f);
    EXPECT_EQ(s.id, second);

    const auto secondBefore = ReadBytes(tmp.path() / "F3.DAT");
    for (SecurityId stale : {SecurityId{IndexFile::kMaster, second.directory, 2, 4},
                             SecurityId{IndexFile::kMaster, second.directory, 3, 3},
                             SecurityId{IndexFile::kMaster, second.directory, 0, 3}}) {
        EXPECT_EQ(RewriteSeries(r, stale, RealFileSystem()), kFileNotFound);
        EXPECT_EQ(ReadSeries(s, stale, 0, 10), kFileNotFound);
    }
    EXPECT_EQ(ReadBytes(tmp.path() / "F3.DAT"), secondBefore);
}

TEST_F(RewriteTest, DeleteOfAnIntradayDateLeavesOutOnlyTheFirstQuote) {
    EditRequest r;
    r.op = EditOp::kDelete;
    r.from = r.to = DateFromReal(1000103.0f);
    ASSERT_EQ(RewriteSeries(r, tmp.str(), "TICK", RealFileSystem()), kSuccess);
    const QuoteSeries s = Read("TICK");
    ASSERT_EQ(s.count, 2);
    EXPECT_EQ(s.time(0), MakeTime(9, 40, 0));
    EXPECT_EQ(s.close(0), 5.5f);
}

TEST_F(RewriteTest, IntradayInsertAndDeleteActOnTheQuoteOfThatTime) {
    const DateCode tue = DateFromReal(1000104.0f);
    EditRequest r;
    r.op = EditOp::kInsert;
    r.from = r.to = DateFromReal(1000103.0f);
    r.time = MakeTime(9, 40, 0);
    // Monday 3 January: the weekday before is Friday 31 December 1999.
    ASSERT_EQ(RewriteSeries(r, tmp.str(), "TICK"), kSuccess);
    QuoteSeries s = Read("TICK");
    ASSERT_EQ(s.count, 4);
    EXPECT_EQ(GetI16(ReadBytes(tmp.path() / "F2.DAT").data() + 2), 5);
    EXPECT_EQ(s.date(0), MakeDate(1999, 12, 31));
    EXPECT_EQ(s.time(0), MakeTime(9, 40, 0));
    EXPECT_EQ(s.close(0), 5.5f);
    EXPECT_EQ(s.close(1), 5.0f);

    r.op = EditOp::kDelete;
    r.from = r.to = DateFromReal(1000103.0f);
    ASSERT_EQ(RewriteSeries(r, tmp.str(), "TICK"), kSuccess);
    s = Read("TICK");
    ASSERT_EQ(s.count, 3);
    EXPECT_EQ(s.time(1), MakeTime(9, 30, 0));
    EXPECT_EQ(s.close(1), 5.0f);
    EXPECT_EQ(s.date(2), tue);
    // A time the date does not hold deletes nothing.
    r.time = MakeTime(10, 0, 0);
    EXPECT_EQ(RewriteSeries(r, tmp.str(), "TICK"), kDeleteNotFound);
    EXPECT_EQ(Read("TICK").count, 3);
}

TEST_F(RewriteTest, FailuresBeforeAnyChange) {
    EXPECT_EQ(RewriteSeries({}, tmp.str(), "NOPE"), kFileNotFound);
    fs::remove(dat);
    EXPECT_EQ(Run(EditOp::kSet, kFirstDay, kLastDay), kFileOpen);
    EXPECT_FALSE(fs::exists(dat));
    EXPECT_FALSE(fs::exists(tmp.path() / "F1.BAK"));
}

#ifndef _WIN32
// Where the file system has hard links, the old file itself becomes the backup.
TEST_F(RewriteTest, TheOldFileIsKeptAsTheBackupWithoutACopy) {
    struct stat before {}, backup {};
    ASSERT_EQ(::stat(dat.c_str(), &before), 0);
    ASSERT_EQ(Run(EditOp::kScale, kFirstDay, kLastDay, {2, 2, 2, 2, 1, 1}), kSuccess);
    ASSERT_EQ(::stat((tmp.path() / "F1.BAK").c_str(), &backup), 0);
    EXPECT_EQ(backup.st_ino, before.st_ino);
    EXPECT_FALSE(fs::exists(tmp.path() / "F1.BAK.NEW"));
}
#endif

}  // namespace
}  // namespace barwise
