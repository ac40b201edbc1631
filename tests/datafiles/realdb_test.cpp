// Checks against databases written by other quote software.
#include <gtest/gtest.h>

#include <map>

#include "datafiles/layout.h"
#include "datafiles/rewrite.h"
#include "datafiles/series.h"
#include "testsupport/indexcheck.h"
#include "testsupport/testdb.h"

namespace barwise {
namespace {

using testing::ReadBytes;
using testing::MbfValue;
using testing::TempDir;


// The MASTER entries of a database as the independent decoding reads them.
std::vector<testing::DecodedSecurity> RawEntries(const fs::path& dir) {
    std::vector<testing::DecodedSecurity> out;
    for (const auto& s : testing::DecodeIndexFiles(dir).securities)
        if (s.index == testing::IndexKind::kMaster) out.push_back(s);
    return out;
}

// The text that finds an entry: its symbol, or its name when the symbol field is blank.
std::string KeyOf(const testing::DecodedSecurity& e) { return e.symbol.empty() ? e.name : e.symbol; }

class RealDbTest : public ::testing::TestWithParam<const char*> {
protected:
    TempDir tmp;
    fs::path dir;
    void SetUp() override {
        dir = tmp.path() / GetParam();
        if (!testing::CopyRealDb(GetParam(), dir)) GTEST_SKIP() << "real databases not found at " << testing::RealDbDir();
    }
};

TEST_P(RealDbTest, EveryEntryReadsWithTheExpectedStatus) {
    const auto entries = RawEntries(dir);
    ASSERT_FALSE(entries.empty());
    int read = 0;
    for (const auto& e : entries) {
        QuoteSeries s;
        ASSERT_EQ(AllocSeries(s, 16000), kSuccess);
        const DataStatus status = ReadSeries(s, dir.string(), KeyOf(e), 0, -1);
        const bool datExists = fs::exists(SeriesFilePath(dir.string() + kPathSeparator, e.fileNumber, "DAT"));
        const bool hasLayout = fs::exists(SeriesFilePath(dir.string() + kPathSeparator, e.fileNumber, "DOP")) ||
                               e.recordLength == 12 || e.recordLength == 16 || e.recordLength == 18 ||
                               e.recordLength == 20 || e.recordLength == 24 || e.recordLength == 28 ||
                               e.recordLength == 32;
        DataStatus expected = kSuccess;
        if (!hasLayout) expected = kNoLayout;
        else if (!datExists) expected = kFileOpen;
        // Two entries sharing a symbol: the first one is found; only check files that are.
        ASSERT_EQ(status, expected) << GetParam() << " " << KeyOf(e) << " F" << e.fileNumber;
        if (status != kSuccess) continue;
        ++read;
        EXPECT_EQ(s.count, std::min(s.total, kMaxQuotesPerRead)) << KeyOf(e);
        for (int i = 0; i < s.count; ++i) ASSERT_NE(s.date(i), 0) << KeyOf(e) << " quote " << i;
    }
    EXPECT_GT(read, 0);
}

TEST_P(RealDbTest, ScaleByOneLeavesEveryDataFileByteForByte) {
    const auto before = testing::ReadFiles(dir);
    int rewritten = 0;
    for (const auto& e : RawEntries(dir)) {
        EditRequest r;
        r.op = EditOp::kScale;
        r.values = {1, 1, 1, 1, 1, 1};
        r.from = kFirstDay;
        r.to = kLastDay;
        const DataStatus s = RewriteSeries(r, dir.string(), KeyOf(e));
        if (s == kSuccess) ++rewritten;
    }
    EXPECT_GT(rewritten, 0);
    for (const auto& [name, bytes] : before) EXPECT_EQ(ReadBytes(dir / name), bytes) << name;
}

INSTANTIATE_TEST_SUITE_P(Databases, RealDbTest,
                         ::testing::Values("equis-italy", "mininge-dop", "equis-xmaster-mini",
                                           "bbfinance-inconsistent", "stooq-intraday", "equis-italy-intraday"),
                         [](const auto& info) {
                             std::string n = info.param;
                             for (char& c : n) if (c == '-') c = '_';
                             return n;
                         });

class RealDbValuesTest : public ::testing::Test {
protected:
    TempDir tmp;
    bool Copy(const char* name) { return testing::CopyRealDb(name, tmp.path() / name); }
};

TEST_F(RealDbValuesTest, EquisItalyQuotesMatchTheRawBytes) {
    if (!Copy("equis-italy")) GTEST_SKIP() << "real databases not found";
    const fs::path dir = tmp.path() / "equis-italy";
    const auto raw = ReadBytes(dir / "F1.DAT");  // ASR, 28-byte records: D O H L C V OI
    QuoteSeries s;
    ASSERT_EQ(AllocSeries(s, 400), kSuccess);
    ASSERT_EQ(ReadSeries(s, dir.string(), "ASR", 0, -1), kSuccess);
    ASSERT_EQ(s.total, static_cast<int>(raw.size() / 28) - 1);
    for (int i : {0, 1, s.count / 2, s.count - 1}) {
        const std::uint8_t* rec = raw.data() + (i + 1) * 28;
        const double date = MbfValue(rec);
        const int y = static_cast<int>(date / 10000), m = static_cast<int>(date / 100) % 100, d = static_cast<int>(date) % 100;
        EXPECT_EQ(FormatDate(s.date(i), 8, '/'), std::to_string(1900 + y) + (m < 10 ? "0" : "") + std::to_string(m) +
                                                     (d < 10 ? "0" : "") + std::to_string(d));
        for (int f = kFieldOpen; f <= kFieldOi; ++f)
            EXPECT_EQ(s.value(f, i), MbfValue(rec + 4 * (f - kFieldOpen + 1))) << i << " field " << f;
    }
    // The first quote of ASR is 4 January 2010.
    EXPECT_EQ(FormatDateMdy(s.date(0)), "01/04/10");
}

// 64,885 one-minute bars in 32-byte records without a DOP: DATE TIME OPEN HIGH LOW CLOSE VOL
// OI, and a header last record number (64,886) beyond the signed 16-bit range.
TEST_F(RealDbValuesTest, EquisItalyIntradayReadsEveryBar) {
    if (!Copy("equis-italy-intraday")) GTEST_SKIP() << "real databases not found";
    const fs::path dir = tmp.path() / "equis-italy-intraday";
    const auto raw = ReadBytes(dir / "F1.DAT");
    QuoteSeries s;
    ASSERT_EQ(AllocSeries(s, 2), kSuccess);
    ASSERT_EQ(ReadSeries(s, dir.string(), "FIB30", 0, 0), kSuccess);
    ASSERT_EQ(s.total, 64885);
    ASSERT_EQ(static_cast<int>(raw.size() / 32) - 1, 64885);
    for (int i : {0, 1, 40000, 64884}) {
        ASSERT_EQ(ReadSeries(s, dir.string(), "FIB30", i, 1), kSuccess) << i;
        const std::uint8_t* rec = raw.data() + (i + 1) * 32;
        EXPECT_EQ(s.time(0), TimeFromReal(static_cast<float>(MbfValue(rec + 4)))) << i;
        for (int f = kFieldOpen; f <= kFieldOi; ++f)
            EXPECT_EQ(s.value(f, 0), MbfValue(rec + (f) * 4)) << i << " field " << f;
    }
    // First bar 2 January 2003 09:16, last 4 July 2003 17:39.
    ASSERT_EQ(ReadSeries(s, dir.string(), "FIB30", 0, 1), kSuccess);
    EXPECT_EQ(FormatDateMdy(s.date(0)), "01/02/03");
    EXPECT_EQ(s.time(0), MakeTime(9, 16, 0));
    EXPECT_EQ(s.open(0), 23785.0f);
    ASSERT_EQ(ReadSeries(s, dir.string(), "FIB30", 64884, 1), kSuccess);
    EXPECT_EQ(FormatDateMdy(s.date(0)), "07/04/03");
    EXPECT_EQ(s.time(0), MakeTime(17, 39, 0));
    EXPECT_EQ(s.close(0), 24920.0f);
}

TEST_F(RealDbValuesTest, MiningeDopLayoutAndBlankSymbols) {
    if (!Copy("mininge-dop")) GTEST_SKIP() << "real databases not found";
    const fs::path dir = tmp.path() / "mininge-dop";
    const auto raw = ReadBytes(dir / "F1.DAT");  // APX by its name; DOP: D O H L C V
    QuoteSeries s;
    ASSERT_EQ(AllocSeries(s, 16000), kSuccess);
    ASSERT_EQ(ReadSeries(s, dir.string(), "apx", 0, -1), kSuccess);
    ASSERT_EQ(s.info->layout.inputFormat[kFieldVol], 1000);
    ASSERT_GT(s.count, 2);
    for (int i : {0, s.count - 1}) {
        const std::uint8_t* rec = raw.data() + (i + 1) * 24;
        EXPECT_EQ(s.close(i), MbfValue(rec + 16)) << i;
        EXPECT_EQ(s.volume(i), MbfValue(rec + 20)) << i;
        EXPECT_EQ(s.openInterest(i), -1.0f);
    }
}

}  // namespace
}  // namespace barwise
