#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "demo/demodb.h"
#include "discovery/quoteloader.h"
#include "discovery/seriescursor.h"
#include "discovery/symbollist.h"
#include "testsupport/dailyseries.h"
#include "testsupport/tempdir.h"

namespace barwise {
namespace {

using testing::TempDir;

// Every quote of the series read through the cursor in blocks equals what ReadSeries gives
// for the same block, bit for bit.
void ExpectSameAsReadSeries(const std::string& dir, const std::string& key, int block) {
    SeriesCursor cursor;
    ASSERT_EQ(cursor.openKey(dir, key), kSuccess) << dir << " " << key;
    QuoteSeries a, b;
    ASSERT_EQ(AllocSeries(a, static_cast<std::int16_t>(block)), kSuccess);
    ASSERT_EQ(AllocSeries(b, static_cast<std::int16_t>(block)), kSuccess);
    ASSERT_EQ(ReadSeries(b, dir, key, 0, 0), kSuccess);
    EXPECT_EQ(cursor.total(), b.total);
    for (int start = 0; start < cursor.total(); start += block) {
        const DataStatus sa = cursor.read(a, start, block);
        ASSERT_EQ(sa, ReadSeries(b, dir, key, start, static_cast<std::int16_t>(block))) << start;
        ASSERT_EQ(a.count, b.count) << key << " at " << start;
        for (int i = 0; i < a.count; ++i) {
            ASSERT_EQ(std::pair(a.date(i), a.time(i)), std::pair(b.date(i), b.time(i)))
                << key << " " << start + i;
            for (int f = kFieldOpen; f <= kFieldOi; ++f) {
                const float x = a.value(f, i), y = b.value(f, i);
                ASSERT_EQ(std::memcmp(&x, &y, sizeof x), 0) << key << " " << start + i << " " << f;
            }
        }
        if (a.count < block) break;
    }
    EXPECT_EQ(cursor.read(a, cursor.total(), 1), kRecordNotFound);
}

// The loader gives every quote ReadAllQuotes reads, newest first block by block, and the
// first and last dates.
void ExpectLoaderGivesAllQuotes(const SecurityId& id) {
    SeriesQuotesRead all;
    ASSERT_EQ(ReadAllQuotes(id, all), kSuccess);
    QuoteLoader loader;
    ASSERT_EQ(loader.open(id), kSuccess);
    ASSERT_EQ(loader.total(), static_cast<int>(all.quotes.size()));
    EXPECT_EQ(loader.present(), all.present);
    std::vector<LoadedQuote> newest;
    while (!loader.done()) ASSERT_EQ(loader.readNewer(150, newest), kSuccess);
    std::reverse(newest.begin(), newest.end());
    ASSERT_EQ(newest.size(), all.quotes.size());
    for (std::size_t i = 0; i < newest.size(); ++i)
        ASSERT_EQ(std::memcmp(&newest[i], &all.quotes[i], sizeof newest[i]), 0) << i;
    if (!all.quotes.empty()) {
        EXPECT_EQ(std::pair(loader.firstDate(), loader.lastDate()),
                  std::pair(all.quotes.front().date, all.quotes.back().date));
    }
}

// Every record length and layout of the demo, and securities XMASTER lists.
TEST(SeriesCursor, CursorAndLoaderReadWhatReadSeriesReadsOnTheDemo) {
    TempDir tmp;
    ASSERT_EQ(WriteDemoDatabase(tmp.path(), false).status, kSuccess);
    ASSERT_EQ(WriteExtendedPortfolio(tmp.path() / "EXT", 258, 30).status, kSuccess);
    int loaded = 0;
    for (const char* sub : {"STOCKS", "STOCKS/FUNDS", "FUTURES", "EXT"}) {
        const std::string dir = (tmp.path() / sub).string();
        for (const SymbolRow& row : ListSymbols(tmp.path() / sub / "MASTER").rows) {
            if (row.record.isSubdirEntry()) continue;
            SCOPED_TRACE(row.symbol);
            const std::string key = TrimPadding(row.symbol);
            ExpectSameAsReadSeries(dir, key, 400);
            ExpectSameAsReadSeries(dir, key, 2500);  // the split storage mode
            ExpectLoaderGivesAllQuotes(row.id);
            ++loaded;
        }
    }
    EXPECT_GT(loaded, 3);
}

// A series whose DAT file holds the quotes of days 10000..10009 and whose header claims 20:
// the cursor's reads end with the file, the loader's newest block lies beyond it, and a
// whole read gives what the file holds. Headers that cannot be and missing files fail.
TEST(SeriesCursor, AFileShorterThanItsHeaderEndsTheRead) {
    TempDir tmp;
    DemoPortfolio p;
    p.series = {testing::DailySeries(1, "SHORT", "SHORT FILE", 24, 10000, 10, [](int) {
        return DemoQuote{0, 0, 1, 2, 0.5f, 1.5f, 100, 0};
    })};
    ASSERT_TRUE(WritePortfolio(tmp.path(), p));
    auto bytes = testing::ReadBytes(tmp.path() / "F1.DAT");
    PutI16(bytes.data() + 2, 21);
    testing::WriteBytes(tmp.path() / "F1.DAT", bytes);
    const SecurityId id = ListSymbols(tmp.path() / "MASTER").rows.at(0).id;
    {
        SeriesCursor cursor;
        ASSERT_EQ(cursor.openKey(tmp.str(), "SHORT"), kSuccess);
        EXPECT_EQ(cursor.total(), 20);
        QuoteSeries q;
        ASSERT_EQ(AllocSeries(q, 400), kSuccess);
        ASSERT_EQ(cursor.read(q, 5, 400), kSuccess);
        EXPECT_EQ(std::pair(q.count, q.date(0)), std::pair(5, 10005));
        ASSERT_EQ(cursor.read(q, 12, 400), kSuccess);
        EXPECT_EQ(q.count, 0);
        EXPECT_EQ(cursor.read(q, 20, 1), kRecordNotFound);

        QuoteLoader loader;
        ASSERT_EQ(loader.open(id), kSuccess);
        EXPECT_EQ(loader.total(), 20);
        std::vector<LoadedQuote> got;
        EXPECT_EQ(loader.readNewer(400, got), kRecordNotFound);
        EXPECT_EQ(std::tuple(got.empty(), loader.done(), loader.firstDate(), loader.lastDate()),
                  std::tuple(true, false, 10000, kNoDate));
    }  // the readers let go of the file: Windows removes no file that is open
    SeriesQuotesRead all;
    ASSERT_EQ(ReadAllQuotes(id, all), kSuccess);
    ASSERT_EQ(all.quotes.size(), 10u);
    EXPECT_EQ(all.quotes.back().date, 10009);

    SeriesCursor cursor;
    PutI16(bytes.data() + 2, 0);
    testing::WriteBytes(tmp.path() / "F1.DAT", bytes);
    EXPECT_EQ(cursor.openKey(tmp.str(), "SHORT"), kFileRead);
    std::filesystem::remove(tmp.path() / "F1.DAT");
    EXPECT_EQ(cursor.openKey(tmp.str(), "SHORT"), kFileOpen);
    EXPECT_EQ(cursor.openKey(tmp.str(), "NOSUCH"), kFileNotFound);
    QuoteLoader loader;
    EXPECT_EQ(loader.open(id), kFileOpen);
    EXPECT_EQ(ReadAllQuotes(id, all), kFileOpen);
}

}  // namespace
}  // namespace barwise
