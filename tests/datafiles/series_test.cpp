#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "datafiles/datafacts.h"
#include "datafiles/series.h"
#include "testsupport/testdb.h"

namespace barwise {
namespace {

using testing::Entry;
using testing::TempDir;
using testing::Weekdays;
using testing::WriteDat;
using testing::WriteMaster;

// A portfolio with one 28-byte series "SER" (file 1) of n weekday quotes whose close is
// 10 + i / 100 and volume 1000 + i, and a 12-byte series "TWELVE" (file 2).
class SeriesTest : public ::testing::Test {
protected:
    TempDir tmp;
    std::vector<float> dates;
    void Build(int n) {
        dates = Weekdays(2000, 1, 3, n);
        std::vector<std::vector<float>> rows;
        for (int i = 0; i < n; ++i) {
            const float c = 10.0f + static_cast<float>(i) / 100.0f;
            rows.push_back({dates[static_cast<std::size_t>(i)], c - 0.5f, c + 1.0f, c - 1.0f, c,
                            1000.0f + static_cast<float>(i), 7.0f});
        }
        WriteDat(tmp.path() / "F1.DAT", 28, rows);
        WriteDat(tmp.path() / "F2.DAT", 12,
                 {{1000104.0f, 5.5f, 300.0f}, {1000105.0f, 5.75f, 0.0f}});
        WriteMaster(tmp.path(), {Entry(1, "SER", "SERIES", 28, 7), Entry(2, "TWELVE", "T", 12, 3)});
    }
    float Close(int i) const { return 10.0f + static_cast<float>(i) / 100.0f; }
};

TEST_F(SeriesTest, WindowShapes) {
    Build(500);
    // Start, count, capacity, status, the file index of series quote 0, the quotes read.
    const std::tuple<std::int32_t, std::int16_t, std::int16_t, DataStatus, int, int> cases[] = {
        {0, 10, 400, kSuccess, 0, 10},
        {499, 10, 400, kSuccess, 499, 1},  // last quote: exactly one
        {500, 1, 400, kRecordNotFound, 0, 0},
        {-1, -1, 1000, kSuccess, 0, 500},  // all, latest first window = everything
        {100, -1, 1000, kSuccess, 100, 400},
        {-1, 30, 400, kSuccess, 470, 30},  // the newest 30
        {-1, 1, 1, kSuccess, 499, 1},      // the newest quote alone
        {0, 1000, 400, kSuccess, 0, 400},  // cut to the capacity
        {-1, 1000, 400, kSuccess, 100, 400},
    };
    for (const auto& [start, count, capacity, status, firstIndex, read] : cases) {
        SCOPED_TRACE(std::to_string(start) + "/" + std::to_string(count));
        QuoteSeries s;
        ASSERT_EQ(AllocSeries(s, capacity), kSuccess);
        EXPECT_EQ(ReadSeries(s, tmp.str(), "SER", start, count), status);
        if (status != kSuccess) continue;
        ASSERT_EQ(std::tuple(s.count, s.total, s.tag), std::tuple(read, 500, kSeriesLoadedTag));
        for (int i = 0; i < s.count; ++i) {
            const int k = firstIndex + i;
            ASSERT_EQ(std::tuple(s.date(i), s.close(i), s.volume(i), s.openInterest(i), s.time(i)),
                      std::tuple(DateFromReal(dates[static_cast<std::size_t>(k)]), Close(k),
                                 1000.0f + static_cast<float>(k), 7.0f, 0));
        }
        for (const SeriesColumn& col : s.columns) EXPECT_EQ(col.count, s.count);
    }
}

// A count of 0 loads the series' facts only; a field the records do not hold reads -1; a
// count beyond the capacity is refused, as is a negative capacity.
TEST_F(SeriesTest, CountZeroLoadsFactsOnlyAndAbsentFieldsReadMinusOne) {
    Build(5);
    QuoteSeries s;
    ASSERT_EQ(AllocSeries(s, 3), kSuccess);
    ASSERT_EQ(ReadSeries(s, tmp.str(), "series", 0, 0), kSuccess);
    ASSERT_TRUE(s.info);
    // The count is left as allocated.
    EXPECT_EQ(std::tuple(s.total, s.count, s.info->master.fileNumber(),
                         s.info->layout.column[kFieldOi], s.directory, s.key),
              std::tuple(5, 3, 1, 7, tmp.str() + kPathSeparator, "series"));

    ASSERT_EQ(ReadSeries(s, tmp.str(), "TWELVE", 0, 3), kSuccess);
    ASSERT_EQ(s.count, 2);
    EXPECT_EQ(testing::QuoteValues(s, 0), (std::vector<float>{-1, -1, -1, 5.5f, 300, -1}));
    EXPECT_EQ(testing::QuoteValues(s, 1), (std::vector<float>{-1, -1, -1, 5.75f, 0, -1}));
    EXPECT_EQ(s.time(1), 0);
    EXPECT_EQ(SetSeriesCount(s, 4), kMalloc);
    EXPECT_EQ(SetSeriesCount(s, 1), kSuccess);
    EXPECT_EQ(s.columns[kFieldClose].count, 1);
    EXPECT_EQ(AllocSeries(s, -1), kInvalidParm);
}

TEST_F(SeriesTest, PackedAndSplitStorageHoldTheSameQuotes) {
    Build(3000);
    QuoteSeries packed, split;
    ASSERT_EQ(AllocSeries(packed, 2321), kSuccess);
    ASSERT_EQ(AllocSeries(split, 2322), kSuccess);
    ASSERT_EQ(ReadSeries(packed, tmp.str(), "SER", 100, 2321), kSuccess);
    ASSERT_EQ(ReadSeries(split, tmp.str(), "SER", 100, 2321), kSuccess);
    ASSERT_EQ(packed.count, split.count);
    for (int i = 0; i < packed.count; ++i) {
        ASSERT_EQ(std::tuple(packed.date(i), packed.time(i), testing::QuoteValues(packed, i)),
                  std::tuple(split.date(i), split.time(i), testing::QuoteValues(split, i)));
    }
    FreeSeries(split);
    EXPECT_TRUE(split.capacity == 0 && split.columns[kFieldDate].base == nullptr);
}

// Files that do not hold what MASTER or their header says: the read stops at whichever
// ends first, and what cannot be read is refused with its status.
TEST_F(SeriesTest, OddFilesAndLookupsGiveTheirStatus) {
    const auto setHeader = [&](int lastRecord) {
        auto bytes = testing::ReadBytes(tmp.path() / "F1.DAT");
        PutI16(bytes.data() + 2, static_cast<std::int16_t>(lastRecord));
        testing::WriteBytes(tmp.path() / "F1.DAT", bytes);
    };
    const auto none = [] {};
    struct Case {
        const char* what;
        int quotes;
        std::function<void()> change;
        const char* key;
        std::int32_t start;
        std::int16_t count;
        DataStatus status;
        int read = 0, total = 0;
    } const cases[] = {
        {"header says 4 of 10", 10, [&] { setHeader(5); }, "SER", 0, 100, kSuccess, 4, 4},
        {"header says 50 of 10", 10, [&] { setHeader(51); }, "SER", 0, 100, kSuccess, 10, 50},
        {"empty: a quote", 0, none, "SER", 0, 5, kRecordNotFound, 0, 0},
        {"empty: facts only", 0, none, "SER", 0, 0, kSuccess, 100, 0},  // count as allocated
        {"empty: all", 0, none, "SER", -1, -1, kSuccess, 0, 0},
        {"no such key", 3, none, "NOPE", 0, 10, kFileNotFound, 0, 0},
        {"no data file", 3, [&] { fs::remove(tmp.path() / "F2.DAT"); }, "TWELVE", 0, 10, kFileOpen},
        {"no layout", 3, [&] { WriteMaster(tmp.path(), {Entry(1, "SER", "S", 36, 9)}); }, "SER", 0,
         10, kNoLayout},
    };
    for (const Case& c : cases) {
        Build(c.quotes);
        c.change();
        QuoteSeries s;
        ASSERT_EQ(AllocSeries(s, 100), kSuccess);
        ASSERT_EQ(ReadSeries(s, tmp.str(), c.key, c.start, c.count), c.status) << c.what;
        if (c.status != kSuccess) continue;
        EXPECT_EQ(s.count, c.read) << c.what;
        EXPECT_EQ(s.total, c.total) << c.what;
    }
    // Record shapes no file can have, even with a DOP that fits them; the longest a file
    // can have is 76 bytes of 19 fields.
    EXPECT_TRUE(IsPlausibleRecordShape(76, 19));
    Build(3);
    testing::WriteText(tmp.path() / "F1.DOP", "\"DATE\",0,0\n\"CLOSE\",0,0\n");
    for (const auto& [length, fields] :
         {std::pair{80, 7}, {28, 20}, {24, 7}, {28, 0}, {-56, 7}, {2, 1}, {77, 19}}) {
        WriteMaster(tmp.path(), {Entry(1, "SER", "SERIES", length, fields)});
        QuoteSeries s;
        ASSERT_EQ(AllocSeries(s, 100), kSuccess);
        EXPECT_EQ(ReadSeries(s, tmp.str(), "SER", 0, 10), kFileRead) << length << " " << fields;
    }
}

// Every reader on a small database in which one file at a time is cut short.
TEST(TruncatedFilesTest, EveryFileCutAtEveryLengthGivesACleanStatus) {
    TempDir tmp;
    const fs::path sub = tmp.path() / "SUB";
    fs::create_directories(sub);
    WriteDat(tmp.path() / "F1.DAT", 24,
             {{1000103.0f, 1, 2, 0.5f, 1.5f, 100}, {1000104.0f, 1, 2, 0.5f, 1.5f, 100}});
    testing::WriteText(tmp.path() / "F1.DOP",
                       "\"DATE\",0,0\r\n\"OPEN\",2,2\r\n\"HIGH\",2,2\r\n\"LOW\",2,2\r\n\"CLOSE\",2,"
                       "2\r\n\"VOL\",0,0\r\n");
    WriteDat(sub / "F2.DAT", 20, {{1000103.0f, 2, 1, 1.5f, 900}, {1000104.0f, 2, 1, 1.5f, 800}});
    WriteMaster(tmp.path(), {Entry(1, "ONE", "FIRST", 24, 6), testing::SubdirEntry("SUB")});
    WriteMaster(sub, {Entry(2, "TWO", "SECOND", 20, 5)});
    const std::vector<fs::path> files = {tmp.path() / "MASTER", tmp.path() / "F1.DAT",
                                         tmp.path() / "F1.DOP", sub / "MASTER", sub / "F2.DAT"};
    for (const fs::path& file : files) {
        const auto full = testing::ReadBytes(file);
        for (std::ptrdiff_t len = 0; len < std::ssize(full); ++len) {
            testing::WriteBytes(file, {full.begin(), full.begin() + len});
            for (const char* key : {"ONE", "TWO"}) {
                QuoteSeries s;
                ASSERT_EQ(AllocSeries(s, 5), kSuccess);
                const DataStatus read = ReadSeries(s, tmp.str(), key, 0, 5);
                ASSERT_TRUE(read == kSuccess || read == kFileNotFound || read == kFileRead ||
                            read == kFileOpen || read == kRecordNotFound)
                    << file << " " << len << " " << key << " " << read;
                if (read == kSuccess) {
                    ASSERT_LE(s.count, 2);
                }
                DataFacts facts;
                (void)ReadDataFacts(tmp.str(), key, facts);
            }
        }
        testing::WriteBytes(file, full);
    }
}

// A reader going through a portfolio reads every file into one buffer: each read gives
// exactly that file, a longer or a shorter one after another; what is no regular file
// gives nothing. (That readers find files in any letter case is FindSymbolTest's.)
TEST(ReadWholeFileTest, EachFileReadIntoOneBufferIsExact) {
    TempDir tmp;
    const std::vector<std::uint8_t> longer(70000, 0xAB), shorter = {1, 2, 3};
    testing::WriteBytes(tmp.path() / "LONG.DAT", longer);
    testing::WriteBytes(tmp.path() / "short.dat", shorter);
    std::vector<std::uint8_t> buffer;
    ASSERT_TRUE(ReadWholeFileInto(tmp.path() / "LONG.DAT", buffer));
    EXPECT_EQ(buffer, longer);
    ASSERT_TRUE(ReadWholeFileInto(tmp.path() / "short.dat", buffer));
    EXPECT_EQ(buffer, shorter);
    EXPECT_FALSE(ReadWholeFileInto(tmp.path() / "NONE", buffer));
    EXPECT_FALSE(ReadWholeFileInto(tmp.path(), buffer));
    EXPECT_TRUE(buffer.empty());
}

#ifndef _WIN32
// Readers open regular files only: a FIFO named like a data file or MASTER would block a
// reader for ever, a directory would be taken for an empty file.
TEST_F(SeriesTest, OnlyRegularFilesAreRead) {
    Build(3);
    QuoteSeries s;
    ASSERT_EQ(AllocSeries(s, 10), kSuccess);
    fs::remove(tmp.path() / "F1.DAT");
    ASSERT_EQ(::mkfifo((tmp.path() / "F1.DAT").c_str(), 0600), 0);
    EXPECT_EQ(ReadSeries(s, tmp.str(), "SER", 0, 10), kFileOpen);
    EXPECT_TRUE(InputFile(tmp.path() / "F1.DAT").notRegular());
    fs::remove(tmp.path() / "F1.DAT");
    fs::create_directory(tmp.path() / "F1.DAT");
    EXPECT_EQ(ReadSeries(s, tmp.str(), "SER", 0, 10), kFileOpen);

    fs::remove(tmp.path() / "MASTER");
    ASSERT_EQ(::mkfifo((tmp.path() / "MASTER").c_str(), 0600), 0);
    MasterRecord r;
    std::string dir;
    EXPECT_EQ(FindSymbol(tmp.str(), "SER", r, dir), kFileNotFound);
    EXPECT_EQ(ReadMasterFile(tmp.str()).status, kFileOpen);
}
#endif

}  // namespace
}  // namespace barwise
