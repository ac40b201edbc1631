// The demo database: what make-demo writes, the library reads back exactly.
#include "demo/demodb.h"

#include <gtest/gtest.h>

#include <limits>
#include <set>

#include "datafiles/layout.h"
#include "datafiles/quotefiles.h"
#include "datafiles/series.h"
#include "discovery/symbollist.h"
#include "testsupport/tempdir.h"

namespace barwise {
namespace {

using testing::TempDir;

void ExpectReadBack(const fs::path& dir, const DemoSeries& s) {
    const std::string key = s.symbol.empty() ? s.name : s.symbol;
    QuoteSeries q;
    const int n = static_cast<int>(s.quotes.size());
    ASSERT_EQ(AllocSeries(q, n), kSuccess);
    ASSERT_EQ(ReadSeries(q, dir.string(), key, 0, n), kSuccess) << key;
    ASSERT_EQ(std::pair(q.total, q.count), std::pair(n, n)) << key;
    const FieldLayout& layout = q.info->layout;
    std::set<int> present(s.columns.begin(), s.columns.end());
    for (int f = 0; f < kQuoteFieldCount; ++f)
        EXPECT_EQ(layout.has(f), present.count(f) == 1) << key << " field " << f;
    for (std::size_t i = 0; i < s.quotes.size(); ++i) {
        const DemoQuote& w = s.quotes[i];
        const int n = static_cast<int>(i);
        ASSERT_EQ(q.date(n), w.date) << key << " " << i;
        if (present.count(kFieldTime)) {
            ASSERT_EQ(q.time(n), w.time) << key << " " << i;
        }
        const float want[6] = {w.open, w.high, w.low, w.close, w.volume, w.openInterest};
        for (int f = kFieldOpen; f <= kFieldOi; ++f) {
            const float expected = present.count(f) ? want[f - kFieldOpen] : -1.0f;
            ASSERT_EQ(q.value(f, n), expected) << key << " " << i << " field " << f;
        }
    }
    // The MASTER dates are the first and last quote's.
    const MasterRecord& m = q.info->master;
    EXPECT_EQ(
        std::tuple(DateFromReal(m.firstDateIeee()), DateFromReal(m.lastDateIeee()), m.period()),
        std::tuple(s.quotes.front().date, s.quotes.back().date, s.period));
}

TEST(DemoDatabase, LibraryReadsBackExactlyWhatWasWritten) {
    TempDir tmp;
    const DemoResult result = WriteDemoDatabase(tmp.path(), false);
    ASSERT_EQ(result.status, kSuccess);
    const DemoDatabase db = BuildDemoDatabase(false);
    EXPECT_EQ(result.portfolios, 4);
    std::set<int> lengths;
    bool twentyPrices = false, twentyVolume = false, timeColumn = false, blankSymbol = false,
         subdir = false, missingDay = false;
    bool before1961 = false, negativePrice = false, beyondSigned = false;
    for (const DemoPortfolio& p : db.portfolios) {
        const fs::path dir = tmp.path() / p.relativeDir;
        for (const DemoSeries& s : p.series) {
            ExpectReadBack(dir, s);
            lengths.insert(s.recordLength);
            if (s.recordLength == 20)
                (s.columns[4] == kFieldVol ? twentyVolume : twentyPrices) = true;
            timeColumn |=
                s.writeDop && std::count(s.columns.begin(), s.columns.end(), kFieldTime) == 1;
            blankSymbol |= s.symbol.empty();
            before1961 |= s.quotes.front().date < MakeDate(1961, 1, 1);
            beyondSigned |= s.quotes.size() > 32767 && !s.writeDop;
            for (const DemoQuote& q : s.quotes) negativePrice |= q.close < 0.0f;
            for (std::size_t i = 1; i < s.quotes.size() && s.period == 'D'; ++i) {
                // a weekday gap: more than one day between quotes that are not Friday-Monday
                const int gap = s.quotes[i].date - s.quotes[i - 1].date;
                missingDay |=
                    gap > 1 && !(gap == 3 && ((s.quotes[i - 1].date - 1) % 7 + 7) % 7 == 5);
            }
        }
        subdir |= !p.subdirEntries.empty();
    }
    EXPECT_EQ(lengths, (std::set<int>{20, 24, 28, 32}));
    EXPECT_TRUE(twentyPrices && twentyVolume && timeColumn && blankSymbol && subdir && missingDay);
    EXPECT_TRUE(before1961 && negativePrice && beyondSigned);
    // The blank symbol field lists under its name.
    EXPECT_TRUE(ListSymbols(tmp.path() / "STOCKS" / "MASTER").needsRepair);
}

// Every refusal of the DAT writer is decided before the file is created.
TEST(QuoteFileWriters, RefuseBeforeWriting) {
    const std::vector<QuoteField> columns = DefaultColumns(24);
    const QuoteBar good{MakeDate(2020, 1, 2), 0, 1, 2, 0.5f, 1.5f, 100, 0};
    const QuoteBar nan{good.date, 0, 1, 2, 0.5f, std::numeric_limits<float>::quiet_NaN(), 100, 0};
    const QuoteBar huge{good.date, 0, 1, 2, 0.5f, 1.5f, std::numeric_limits<float>::infinity(), 0};
    struct Row {
        const char* name;
        int recordLength, fieldCount;
        std::vector<QuoteField> columns;
        std::vector<QuoteBar> quotes;
        DataStatus expected;
    } rows[] = {
        {"fine", 24, 6, columns, {good, good}, kSuccess},
        {"no MBF form", 24, 6, columns, {good, nan}, kInvalidParm},
        {"infinite", 24, 6, columns, {huge}, kInvalidParm},
        {"more columns than fields", 20, 5, columns, {good}, kInvalidParm},
        {"record too long", 80, 20, columns, {good}, kInvalidParm},
        {"too many quotes", 24, 6, columns, std::vector<QuoteBar>(kMaxQuotesPerFile + 1, good),
         kInvalidParm},
    };
    for (const Row& row : rows) {
        TempDir tmp;
        const fs::path dat = tmp.path() / "F1.DAT";
        EXPECT_EQ(WriteDatFile(RealFileSystem(), dat, row.recordLength, row.fieldCount, row.columns,
                               row.quotes),
                  row.expected)
            << row.name;
        EXPECT_EQ(fs::exists(dat), row.expected == kSuccess) << row.name;
        EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path()), fs::directory_iterator()),
                  row.expected == kSuccess ? 1 : 0)
            << row.name;  // no temporary file left either
    }
}

}  // namespace
}  // namespace barwise
