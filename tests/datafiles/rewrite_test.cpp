#include <gtest/gtest.h>

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
        return RewriteSeries(r, tmp.str(), "ABC", master, 10);
    }
    float MasterDate(std::size_t offset) {
        const auto m = ReadBytes(master);
        return MbfToFloat(m.data() + 53 + offset);
    }
};

TEST_F(RewriteTest, ScaleHalvesPricesDoublesVolumeAndKeepsTheRestBitForBit) {
    const auto before = ReadBytes(dat);
    ASSERT_EQ(Run(EditOp::kScale, 0, 65535, {0.5f, 0.5f, 0.5f, 0.5f, 2.0f, 1.0f}), kSuccess);
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
    ASSERT_EQ(Run(EditOp::kScale, 0, 65535, {1, 1, 1, 1, 1, 1}), kSuccess);
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
    EXPECT_EQ(ReadBytes(tmp.path() / "F1.BAK"), before);
}

TEST_F(RewriteTest, ValuesWithoutMbfFormAreRefusedAndNothingChanges) {
    const auto before = ReadBytes(dat);
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(Run(EditOp::kSet, Day(1), Day(1), {1, 1, 1, 1, inf, 1}), kInvalidParm);
    EXPECT_EQ(Run(EditOp::kScale, 0, 65535, {std::numeric_limits<float>::quiet_NaN(), 1, 1, 1, 1, 1}), kInvalidParm);
    // A finite factor whose product leaves the MBF range.
    EXPECT_EQ(Run(EditOp::kScale, 0, 65535, {1, 1, 1, 1, 3.0e38f, 1}), kInvalidParm);
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
    ASSERT_EQ(RewriteSeries(r, tmp.str(), "DEEP", master, 2), kSuccess);
    EXPECT_EQ(ReadBytes(master), topBefore);
    EXPECT_EQ(MbfToFloat(ReadBytes(sub / "MASTER").data() + 53 + 25), dates[1]);
    EXPECT_EQ(ReadBytes(dat).size(), 11u * 28);  // ABC's own file untouched
}

TEST_F(RewriteTest, DeleteOfAMissingDateReportsWithoutChangingData) {
    const auto before = ReadBytes(dat);
    const auto masterBefore = ReadBytes(master);
    const DateCode sunday = static_cast<DateCode>(Day(4) + 2);
    EXPECT_EQ(Run(EditOp::kDelete, sunday, sunday), kDeleteNotFound);
    EXPECT_EQ(ReadBytes(dat), before);
    EXPECT_EQ(ReadBytes(master), masterBefore);
    EXPECT_EQ(kDeleteNotFoundMessage, "failure in delete quote for findrec");
}

TEST_F(RewriteTest, DeleteOfAnIntradayDateLeavesOutOnlyTheFirstQuote) {
    EditRequest r;
    r.op = EditOp::kDelete;
    r.from = r.to = DateFromReal(1000103.0f);
    ASSERT_EQ(RewriteSeries(r, tmp.str(), "TICK", master, 3, RealFileSystem()), kSuccess);
    const QuoteSeries s = Read("TICK");
    ASSERT_EQ(s.count, 2);
    EXPECT_EQ(s.time(0), MakeTime(9, 40, 0));
    EXPECT_EQ(s.close(0), 5.5f);
}

TEST_F(RewriteTest, InsertDatesTheCopyThePreviousWeekday) {
    // Day(0) is a Monday, Day(2) a Wednesday.
    ASSERT_EQ(Run(EditOp::kInsert, Day(2), Day(2)), kSuccess);
    ASSERT_EQ(Run(EditOp::kInsert, Day(5), Day(5)), kSuccess);  // the second Monday
    const QuoteSeries s = Read("ABC");
    ASSERT_EQ(s.count, 12);
    EXPECT_EQ(s.total, 12);
    EXPECT_EQ(FormatDateMdy(s.date(2)), "01/04/00");  // Tuesday copy of Wednesday's quote
    EXPECT_EQ(s.close(2), s.close(3));
    EXPECT_EQ(FormatDateMdy(s.date(3)), "01/05/00");
    EXPECT_EQ(FormatDateMdy(s.date(6)), "01/07/00");  // Friday copy of Monday 10th
    EXPECT_EQ(FormatDateMdy(s.date(7)), "01/10/00");
    EXPECT_EQ(PreviousWeekday(MakeDate(2000, 1, 10)), MakeDate(2000, 1, 7));
    EXPECT_EQ(PreviousWeekday(MakeDate(2000, 1, 5)), MakeDate(2000, 1, 4));
}

TEST_F(RewriteTest, InsertOverSeveralQuotesCountsThemAllInTheHeader) {
    ASSERT_EQ(Run(EditOp::kInsert, Day(1), Day(3)), kSuccess);
    const auto bytes = ReadBytes(dat);
    EXPECT_EQ(GetI16(bytes.data() + 2), 14);
    EXPECT_EQ(bytes.size(), 14u * 28);
}

TEST_F(RewriteTest, FailuresBeforeAnyChange) {
    EXPECT_EQ(RewriteSeries({}, tmp.str(), "NOPE", master, 0), kFileNotFound);
    fs::remove(dat);
    EXPECT_EQ(Run(EditOp::kSet, 0, 65535), kFileOpen);
    EXPECT_FALSE(fs::exists(dat));
    EXPECT_FALSE(fs::exists(tmp.path() / "F1.BAK"));
}

TEST_F(RewriteTest, LeftoverTemporaryFileIsReplaced) {
    testing::WriteText(tmp.path() / "F1.NEW", "debris of an earlier crash");
    ASSERT_EQ(Run(EditOp::kScale, 0, 65535, {2, 2, 2, 2, 1, 1}), kSuccess);
    EXPECT_FALSE(fs::exists(tmp.path() / "F1.NEW"));
    EXPECT_EQ(Read("ABC").open(0), 40.0f);
}

TEST_F(RewriteTest, FindQuoteBinarySearch) {
    DateCode found = 0;
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(FindQuote(tmp.str(), "ABC", Day(i), 0, &found), i);
        EXPECT_EQ(found, Day(i));
    }
    // Before the first quote: index 0 with the first date handed out.
    EXPECT_EQ(FindQuote(tmp.str(), "ABC", static_cast<DateCode>(Day(0) - 3), 0, &found), 0);
    EXPECT_EQ(found, Day(0));
    EXPECT_EQ(FindQuote(tmp.str(), "ABC", static_cast<DateCode>(Day(9) + 1), 0), kRecordNotFound);
    // With times.
    TimeCode time = 0;
    EXPECT_EQ(FindQuote(tmp.str(), "TICK", DateFromReal(1000103.0f), MakeTime(9, 40, 0), &found, &time), 1);
    EXPECT_EQ(time, MakeTime(9, 40, 0));
    // One quote, and none.
    WriteDat(dat, 28, {{1000301.0f, 1, 1, 1, 1, 1, 1}});
    EXPECT_EQ(FindQuote(tmp.str(), "ABC", DateFromReal(1000301.0f), 0), 0);
    EXPECT_EQ(FindQuote(tmp.str(), "ABC", DateFromReal(990101.0f), 0), 0);
    EXPECT_EQ(FindQuote(tmp.str(), "ABC", DateFromReal(1000302.0f), 0), kRecordNotFound);
    WriteDat(dat, 28, {});
    EXPECT_EQ(FindQuote(tmp.str(), "ABC", DateFromReal(1000301.0f), 0), kRecordNotFound);
}

}  // namespace
}  // namespace barwise
