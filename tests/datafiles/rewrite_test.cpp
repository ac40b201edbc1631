#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstring>
#include <limits>

#include "datafiles/rewrite.h"
#include "datafiles/series.h"
#include "testdb.h"

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

TEST_F(RewriteTest, ScaleHalvesPricesDoublesVolumeAndKeepsTheRestBitForBit) {
    const auto before = ReadBytes(dat);
    ASSERT_EQ(Run(EditOp::kScale, kFirstDay, kLastDay, {0.5f, 0.5f, 0.5f, 0.5f, 2.0f, 1.0f}), kSuccess);
    const auto after = ReadBytes(dat);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(std::memcmp(after.data(), before.data(), 28), 0);  // header
    for (std::size_t i = 0; i < 10; ++i) {
        const std::uint8_t* o = before.data() + (i + 1) * 28;
        const std::uint8_t* n = after.data() + (i + 1) * 28;
        EXPECT_EQ(std::memcmp(o, n, 4), 0);            // date bytes
        EXPECT_EQ(std::memcmp(o + 24, n + 24, 4), 0);  // open interest, factor 1
        for (int f = 1; f <= 4; ++f) EXPECT_EQ(MbfToFloat(n + f * 4), MbfToFloat(o + f * 4) * 0.5f);
        EXPECT_EQ(MbfToFloat(n + 20), MbfToFloat(o + 20) * 2.0f);
    }
    EXPECT_EQ(ReadBytes(tmp.path() / "F1.BAK"), before);
    EXPECT_FALSE(fs::exists(tmp.path() / "F1.NEW"));
}

TEST_F(RewriteTest, ScaleRangeIsInclusiveAndFactorOneIsByteIdentical) {
    const auto before = ReadBytes(dat);
    ASSERT_EQ(Run(EditOp::kScale, kFirstDay, kLastDay, {1, 1, 1, 1, 1, 1}), kSuccess);
    EXPECT_EQ(ReadBytes(dat), before);
    ASSERT_EQ(Run(EditOp::kScale, Day(2), Day(4), {2, 2, 2, 2, 1, 1}), kSuccess);
    const QuoteSeries s = Read("ABC");
    for (int i = 0; i < 10; ++i) {
        const float p = 20.0f + static_cast<float>(i);
        EXPECT_EQ(s.open(i), (i >= 2 && i <= 4) ? 2 * p : p) << i;
        EXPECT_EQ(s.volume(i), 1000.0f * static_cast<float>(i + 1)) << i;
    }
}

TEST_F(RewriteTest, SetChangesOneDayAndAMissingDayChangesNothing) {
    ASSERT_EQ(Run(EditOp::kSet, Day(3), Day(3), {1, 2, 0.5f, 1.5f, 77, 3}), kSuccess);
    QuoteSeries s = Read("ABC");
    EXPECT_EQ(s.open(3), 1.0f);
    EXPECT_EQ(s.high(3), 2.0f);
    EXPECT_EQ(s.low(3), 0.5f);
    EXPECT_EQ(s.close(3), 1.5f);
    EXPECT_EQ(s.volume(3), 77.0f);
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

TEST_F(RewriteTest, ValuesWithoutMbfFormAreRefusedAndNothingChanges) {
    const auto before = ReadBytes(dat);
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(Run(EditOp::kSet, Day(1), Day(1), {1, 1, 1, 1, inf, 1}), kInvalidParm);
    EXPECT_EQ(Run(EditOp::kScale, kFirstDay, kLastDay, {std::numeric_limits<float>::quiet_NaN(), 1, 1, 1, 1, 1}), kInvalidParm);
    // A finite factor whose product leaves the MBF range.
    EXPECT_EQ(Run(EditOp::kScale, kFirstDay, kLastDay, {1, 1, 1, 1, 3.0e38f, 1}), kInvalidParm);
    EXPECT_EQ(ReadBytes(dat), before);
    EXPECT_FALSE(fs::exists(tmp.path() / "F1.NEW"));
}

TEST_F(RewriteTest, DeleteKeepsMasterDatesRight) {
    struct Case {
        int index;
        std::size_t offset;  // MASTER field expected to change, 0 for none
        float expected;
    };
    const Case cases[] = {{0, 25, dates[1]}, {9, 29, dates[8]}, {4, 0, 0}};
    for (const Case& c : cases) {
        SetUp();
        const auto masterBefore = ReadBytes(master);
        ASSERT_EQ(Run(EditOp::kDelete, Day(c.index), Day(c.index)), kSuccess) << c.index;
        const QuoteSeries s = Read("ABC");
        ASSERT_EQ(s.count, 9);
        EXPECT_EQ(s.total, 9);
        for (int i = 0; i < 9; ++i) EXPECT_NE(s.date(i), Day(c.index));
        if (c.offset == 0) {
            EXPECT_EQ(ReadBytes(master), masterBefore);
        } else {
            EXPECT_EQ(MasterDate(c.offset), c.expected) << c.index;
            EXPECT_EQ(ReadBytes(tmp.path() / "MASTER.BAK"), masterBefore);
        }
    }
}

TEST_F(RewriteTest, DeleteOfTheOnlyQuoteSetsBothDates) {
    WriteDat(dat, 28, {{1000301.0f, 1, 1, 1, 1, 1, 1}});
    ASSERT_EQ(Run(EditOp::kDelete, DateFromReal(1000301.0f), DateFromReal(1000301.0f)), kSuccess);
    EXPECT_EQ(MasterDate(25), 1000301.0f);
    EXPECT_EQ(MasterDate(29), 1000301.0f);
    EXPECT_EQ(GetI16(ReadBytes(dat).data() + 2), 1);
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
    EXPECT_EQ(kDeleteNotFoundMessage, "failure in delete quote for findrec");

    // A header with no room for another quote refuses an Insert the same way.
    std::vector<std::vector<float>> full(kMaxQuotesPerFile, {dates[0], 1, 1, 1, 1, 1, 1});
    WriteDat(dat, 28, full);
    const auto fullBytes = ReadBytes(dat);
    EXPECT_EQ(Run(EditOp::kInsert, Day(0), Day(0)), kInvalidParm);
    EXPECT_EQ(ReadBytes(dat), fullBytes);
    EXPECT_EQ(ReadBytes(tmp.path() / "F1.BAK"), before[1]);
}

// A file system whose writes of MASTER files (and their temporaries) fail.
class MasterWritesFail final : public FileSystem {
public:
    std::unique_ptr<WritableFile> create(const fs::path& p) override {
        if (p.filename().string().rfind("MASTER", 0) == 0) return nullptr;
        return RealFileSystem().create(p);
    }
    bool replace(const fs::path& a, const fs::path& b) override { return RealFileSystem().replace(a, b); }
    bool remove(const fs::path& p) override { return RealFileSystem().remove(p); }
    bool hardLink(const fs::path& a, const fs::path& b) override { return RealFileSystem().hardLink(a, b); }
};

TEST_F(RewriteTest, DeleteWhoseMasterUpkeepFailsSaysTheQuoteIsGone) {
    const auto masterBefore = ReadBytes(master);
    MasterWritesFail failing;
    EditRequest r;
    r.op = EditOp::kDelete;
    r.from = r.to = Day(9);
    EXPECT_EQ(RewriteSeries(r, tmp.str(), "ABC", failing), kDeletedMasterStale);
    EXPECT_EQ(DataStatusName(kDeletedMasterStale), "Quote Deleted, MASTER Dates Not Updated");
    EXPECT_EQ(Read("ABC").count, 9);
    EXPECT_EQ(ReadBytes(master), masterBefore);
    // A MASTER temporary that cannot be created is a write failure.
    SecurityId id;
    MasterRecord rec;
    ASSERT_EQ(FindSymbol(tmp.str(), "ABC", rec, id), kSuccess);
    EXPECT_EQ(SetMasterDate(id, DateToMbfReal(Day(1)), 0, failing), kFileWrite);
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

// A long history: a quote of 1908 and one of 2008 that a two-digit year would confuse.
TEST_F(RewriteTest, EditsOfAQuoteBefore1961ChangeExactlyThatQuote) {
    WriteDat(dat, 28, {{80309.0f, 1, 1, 1, 1, 10, 0}, {80310.0f, 2, 2, 2, 2, 20, 0}, {1080310.0f, 3, 3, 3, 3, 30, 0}});
    WriteMaster(tmp.path(), {Entry(1, "ABC", "ABC CORP", 28, 7, 80309.0f, 1080310.0f)});
    const DateCode early = MakeDate(1908, 3, 10);
    ASSERT_EQ(Run(EditOp::kSet, early, early, {5, 6, 4, 5.5f, 99, 0}), kSuccess);
    QuoteSeries s = Read("ABC");
    ASSERT_EQ(s.count, 3);
    EXPECT_EQ(s.date(1), early);
    EXPECT_EQ(s.close(1), 5.5f);
    EXPECT_EQ(s.close(0), 1.0f);
    EXPECT_EQ(s.close(2), 3.0f);
    EXPECT_EQ(s.date(2), MakeDate(2008, 3, 10));
    // Deleting the first quote moves MASTER's first date to the next day of 1908.
    ASSERT_EQ(Run(EditOp::kDelete, MakeDate(1908, 3, 9), MakeDate(1908, 3, 9)), kSuccess);
    EXPECT_EQ(MasterDate(25), 80310.0f);
    s = Read("ABC");
    ASSERT_EQ(s.count, 2);
    EXPECT_EQ(s.close(0), 5.5f);
    // A scale "from the first quote" covers 1908 too.
    ASSERT_EQ(Run(EditOp::kScale, EditRequest{}.from, EditRequest{}.to, {2, 2, 2, 2, 1, 1}), kSuccess);
    EXPECT_EQ(Read("ABC").close(0), 11.0f);
}

TEST_F(RewriteTest, InsertDatesTheCopyThePreviousWeekday) {
    // Monday 3, Wednesday 5 and Monday 10 January 2000.
    WriteDat(dat, 28, {{1000103.0f, 1, 1, 1, 1, 1, 1}, {1000105.0f, 2, 2, 2, 2, 2, 2}, {1000110.0f, 3, 3, 3, 3, 3, 3}});
    ASSERT_EQ(Run(EditOp::kInsert, MakeDate(2000, 1, 5), MakeDate(2000, 1, 5)), kSuccess);
    ASSERT_EQ(Run(EditOp::kInsert, MakeDate(2000, 1, 10), MakeDate(2000, 1, 10)), kSuccess);
    const QuoteSeries s = Read("ABC");
    ASSERT_EQ(s.count, 5);
    EXPECT_EQ(s.total, 5);
    EXPECT_EQ(FormatDateMdy(s.date(1)), "01/04/00");  // Tuesday copy of Wednesday's quote
    EXPECT_EQ(s.close(1), 2.0f);
    EXPECT_EQ(FormatDateMdy(s.date(3)), "01/07/00");  // Friday copy of Monday 10th
    EXPECT_EQ(s.close(3), 3.0f);
    EXPECT_EQ(FormatDateMdy(s.date(4)), "01/10/00");
    // The day before is already held: refused as out of order, nothing written.
    const auto before = ReadBytes(dat);
    EXPECT_EQ(Run(EditOp::kInsert, MakeDate(2000, 1, 5), MakeDate(2000, 1, 5)), kInsertOutOfOrder);
    EXPECT_EQ(ReadBytes(dat), before);
}

// Intraday: quotes share a date. Insert writes one copy (of the quote named by its time)
// before the first quote of the date; Delete removes the quote of that date and time.
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

TEST_F(RewriteTest, InsertOutOfDateOrderIsRefused) {
    // A Saturday quote between Friday and Monday: Monday's copy would be dated Friday and
    // land after the Saturday.
    WriteDat(dat, 28, {{1000107.0f, 1, 1, 1, 1, 1, 1}, {1000108.0f, 2, 2, 2, 2, 2, 2}, {1000110.0f, 3, 3, 3, 3, 3, 3}});
    const auto before = ReadBytes(dat);
    EXPECT_EQ(Run(EditOp::kInsert, MakeDate(2000, 1, 10), MakeDate(2000, 1, 10)), kInsertOutOfOrder);
    EXPECT_EQ(ReadBytes(dat), before);
    EXPECT_EQ(Run(EditOp::kInsert, MakeDate(2000, 1, 9), MakeDate(2000, 1, 9)), kRecordNotFound);
    EXPECT_EQ(ReadBytes(dat), before);
    // Friday's copy goes to Thursday, before every quote: accepted, one quote more.
    ASSERT_EQ(Run(EditOp::kInsert, MakeDate(2000, 1, 7), MakeDate(2000, 1, 7)), kSuccess);
    EXPECT_EQ(GetI16(ReadBytes(dat).data() + 2), 5);
    EXPECT_EQ(Read("ABC").date(0), MakeDate(2000, 1, 6));
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

TEST_F(RewriteTest, LeftoverTemporaryFileIsReplaced) {
    testing::WriteText(tmp.path() / "F1.NEW", "debris of an earlier crash");
    ASSERT_EQ(Run(EditOp::kScale, kFirstDay, kLastDay, {2, 2, 2, 2, 1, 1}), kSuccess);
    EXPECT_FALSE(fs::exists(tmp.path() / "F1.NEW"));
    EXPECT_EQ(Read("ABC").open(0), 40.0f);
}

}  // namespace
}  // namespace barwise
