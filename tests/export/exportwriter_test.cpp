// Export text: numbers as printf writes them, the columns and dates of each choice, whole
// series in either order with read errors reported, and the output file (-o) names refused
// and a FIFO without a reader.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>
#include <tuple>
#include <utility>

#include "demo/demodb.h"
#include "export/exportwriter.h"
#include "export/outputfile.h"
#include "testsupport/dailyseries.h"
#include "testsupport/tempdir.h"

namespace barwise {
namespace {

using testing::Lines;
using testing::TempDir;

// A value with four and with two decimals, as the export writes it and as printf does.
std::pair<std::string, std::string> Fixed(float v) {
    char four[72], two[72];
    return {std::string(four, FormatFixed4(four, v)), std::string(two, FormatFixed2(two, v))};
}
std::pair<std::string, std::string> Printf(float v) {
    char four[128], two[128];
    std::snprintf(four, sizeof four, "%.4f", static_cast<double>(v));
    std::snprintf(two, sizeof two, "%.2f", static_cast<double>(v));
    return {four, two};
}

TEST(ExportNumbers, SameTextAsPrintf) {
    const float samples[] = {0.0f,         -0.0f,         12.5f,         1500.0f,   1234.6f,
                             0.00005f,     0.00015f,      0.000049999f,  0.125f,    0.005f,
                             0.015f,       0.025f,        2.675f,        99999.99f, 1e7f,
                             123456789.0f, 3.4e38f,       1e-30f,        1e14f,     1e15f,
                             1e16f,        9.2233720e18f, 1.8446744e19f, 0.99995f,  9.99995f};
    for (float v : samples) EXPECT_EQ(Fixed(v), Printf(v)) << v;
    // Random bit patterns over the whole range of positive finite floats, and prices in
    // cents, where ties of the decimal rounding live.
    std::mt19937 gen(12345);
    for (int i = 0; i < 200000; ++i) {
        std::uint32_t bits = gen() & 0x7FFFFFFFu;
        if ((bits >> 23) == 0xFF) continue;
        float v;
        std::memcpy(&v, &bits, sizeof v);
        ASSERT_EQ(Fixed(v), Printf(v)) << bits;
        const float price = static_cast<float>(gen() % 10000000) / 1000.0f;
        ASSERT_EQ(Fixed(price), Printf(price));
        const float half = static_cast<float>(gen() % 100000) / 8.0f + 0.00005f;
        ASSERT_EQ(Fixed(half).first, Printf(half).first);
    }
}

// The columns left out ("OHLCVI"), the delimiters, ISO dates, "N/A" for a field the series
// lacks, a negative value (back-adjusted futures) as a number, the time column only when
// asked for and the series has times, and full precision as the shortest text that reads
// back to the same float.
TEST(ExportLines, ColumnsDelimitersDatesAndTimes) {
    const std::array<float, 6> values = {-6.352f, 13.0f, 12.25f, 0.00084f, 14.28571f, 3.0f};
    struct Row {
        int delimiter;  // the dialog's choice
        const char* omit;
        bool iso, time, seriesHasTime, full, hasOi;
        const char* title;
        const char* line;
    } const rows[] = {
        {1, "VI", false, false, false, false, true, "DATE,OPEN,HIGH,LOW,CLOSE",
         "03/15/99,-6.3520,13.0000,12.2500,0.0008"},
        {0, "", false, false, false, false, false, "DATE OPEN HIGH LOW CLOSE VOL OI",
         "03/15/99 -6.3520 13.0000 12.2500 0.0008 14.29 N/A"},
        {2, "", true, false, false, false, true, "DATE\tOPEN\tHIGH\tLOW\tCLOSE\tVOL\tOI",
         "1999-03-15\t-6.3520\t13.0000\t12.2500\t0.0008\t14.29\t3.00"},
        {1, "HL", false, false, true, false, true, "DATE,OPEN,CLOSE,VOL,OI",
         "03/15/99,-6.3520,0.0008,14.29,3.00"},
        {1, "HL", false, true, false, false, true, "DATE,OPEN,CLOSE,VOL,OI",
         "03/15/99,-6.3520,0.0008,14.29,3.00"},
        {1, "HL", false, true, true, false, true, "DATE,TIME,OPEN,CLOSE,VOL,OI",
         "03/15/99,09:05:07,-6.3520,0.0008,14.29,3.00"},
        {1, "HL", false, false, true, true, true, "DATE,OPEN,CLOSE,VOL,OI",
         "03/15/99,-6.352,0.00084,14.28571,3"},
    };
    for (const Row& r : rows) {
        ExportOptions o;
        o.delimiter = ExportDelimiterFor(r.delimiter);
        for (std::size_t c = 0; c < o.omit.size(); ++c)
            o.omit[c] = std::strchr(r.omit, "OHLCVI"[c]) != nullptr;
        if (r.iso) o.dateFormat = ExportDateFormat::kIso;
        o.time = r.time;
        o.fullPrecision = r.full;
        ExportLineWriter w(o);
        w.setHasTime(r.seriesHasTime);
        w.setPresent({true, true, true, true, true, r.hasOi});
        EXPECT_EQ(w.titleText(), r.title) << r.line;
        // An odd second is written as it is.
        EXPECT_EQ(w.lineText(MakeDate(1999, 3, 15), MakeTime(9, 5, 7), values), r.line);
    }
    for (int choice : {0, 7, -1}) EXPECT_EQ(ExportDelimiterFor(choice), ' ') << choice;
    // Full precision reads back bit for bit, over the whole float range.
    ExportLineWriter w({.omit = {false, true, true, true, true, true}, .fullPrecision = true});
    const DateCode date = MakeDate(2013, 11, 15);
    std::mt19937 gen(7);
    for (int i = 0; i < 20000; ++i) {
        std::uint32_t bits = gen();
        if (((bits >> 23) & 0xFF) == 0xFF) continue;
        float v;
        std::memcpy(&v, &bits, sizeof v);
        const std::string line = w.lineText(date, {v, 0, 0, 0, 0, 0});
        const float back = std::strtof(line.c_str() + line.find(' ') + 1, nullptr);
        ASSERT_EQ(std::memcmp(&back, &v, sizeof v) == 0 || (v == 0 && back == 0), true) << line;
    }
}

TEST(ExportLines, DateTextIsTheProgramsDateForEveryDay) {
    const ExportOptions all{.omit = {true, true, true, true, true, true}};
    ExportLineWriter writer(all);
    ExportLineWriter iso({.omit = all.omit, .dateFormat = ExportDateFormat::kIso});
    for (DateCode code = kFirstDay; code <= kLastDay; ++code) {
        ASSERT_EQ(writer.lineText(code, {}), FormatDateMdy(code)) << code;
        ASSERT_EQ(iso.lineText(code, {}),
                  FormatDate(code, 8, '-').insert(4, "-").insert(7, "-").erase(10))
            << code;
    }
    EXPECT_EQ(writer.lineText(kNoDate, {}), "00/00/00");
    EXPECT_EQ(writer.titleText(), "DATE");
    EXPECT_EQ(iso.lineText(MakeDate(1928, 10, 1), {}), "1928-10-01");
}

DemoSeries MakeSeries(int fileNumber, const std::string& symbol, int recordLength, int n) {
    const auto quote = [](int i) {
        const float b = 10.0f + static_cast<float>(i) * 0.25f,
                    volume = 1000.0f + static_cast<float>(i);
        return DemoQuote{0, 0, b, b + 1.0f, b - 0.5f, b + 0.5f, volume, 7.0f};
    };
    return testing::DailySeries(fileNumber, symbol, "TEST SERIES", recordLength,
                                MakeDate(2020, 1, 6), n, quote);
}

// TST: 2,500 quotes in 24-byte records (no open interest), found by symbol or name; ONE: a
// single quote in 28-byte records. (Export by record: the import tests' real-database
// round trip exports every entry of every real database so.)
TEST(ExportSeries, OldestOrNewestFirstByKey) {
    TempDir tmp;
    DemoPortfolio p;
    p.series = {MakeSeries(1, "TST", 24, 2500), MakeSeries(2, "ONE", 28, 1)};
    ASSERT_TRUE(WritePortfolio(tmp.path(), p));

    std::ostringstream out;
    ExportStats stats;
    ASSERT_EQ(ExportSymbol(tmp.str(), "tst", ExportOptions{}, out, &stats), kSuccess);
    const std::string text = out.str();
    EXPECT_EQ(text.substr(0, 53), "01/06/20 10.0000 11.0000 9.5000 10.5000 1000.00 N/A\r\n");
    EXPECT_EQ(std::tuple(stats.quotes, std::count(text.begin(), text.end(), '\n'),
                         std::count(text.begin(), text.end(), '\r')),
              std::tuple(2500, 2500, 2500));

    // The same lines in the opposite order, after the title.
    const ExportOptions newest{.newestFirst = true, .title = true};
    std::ostringstream back;
    ASSERT_EQ(ExportSymbol(tmp.str(), "TEST SERIES", newest, back), kSuccess);
    std::vector<std::string> a = Lines(text), b = Lines(back.str());
    ASSERT_EQ(b.size(), a.size() + 1);
    EXPECT_EQ(b[0], "DATE OPEN HIGH LOW CLOSE VOL OI\r");
    std::reverse(a.begin(), a.end());
    EXPECT_EQ(std::vector<std::string>(b.begin() + 1, b.end()), a);

    for (bool newestFirst : {false, true}) {
        std::ostringstream one;
        ASSERT_EQ(ExportSymbol(tmp.str(), "ONE", ExportOptions{.newestFirst = newestFirst}, one),
                  kSuccess);
        EXPECT_EQ(one.str(), "01/06/20 10.0000 11.0000 9.5000 10.5000 1000.00 7.00\r\n");
    }

    std::ostringstream none;
    EXPECT_EQ(ExportSymbol(tmp.str(), "NOSUCH", ExportOptions{}, none), kFileNotFound);
    EXPECT_TRUE(none.str().empty());
}

// Quotes 0..total-1, dated from 2 January 2020; every read from quote failAt on fails.
class FailingSource final : public QuoteSource {
public:
    FailingSource(int total, int failAt) : total_(total), failAt_(failAt) {}
    int total() const override { return total_; }
    DataStatus read(QuoteSeries& series, int start, int count, unsigned) override {
        const int n = std::min({count, static_cast<int>(series.capacity), total_ - start});
        if (start + n > failAt_) return kFileRead;
        for (int i = 0; i < n; ++i) {
            series.columns[kFieldDate].set<DateCode>(
                i, static_cast<DateCode>(MakeDate(2020, 1, 2) + start + i));
            for (int f = kFieldOpen; f <= kFieldOi; ++f)
                series.columns[static_cast<std::size_t>(f)].set<float>(i, 1.0f);
        }
        return SetSeriesCount(series, n);
    }

private:
    int total_;
    int failAt_;
};

TEST(ExportSeries, AReadErrorIsAFailureNotTheEndOfTheData) {
    const std::tuple<int, int, bool, DataStatus> rows[] = {
        // total, failAt, newest first
        {5000, 1, false, kFileRead},     // in the first block
        {5000, 4500, false, kFileRead},  // in the last block, after two were written
        {5000, 4500, true, kFileRead},   // newest first: the first block read
        {5000, 10, true, kFileRead},     // newest first: the last block read
        {5000, 5000, false, kSuccess},  {5000, 5000, true, kSuccess},
    };
    for (const auto& [total, failAt, newestFirst, expected] : rows) {
        FailingSource source(total, failAt);
        std::ostringstream out;
        ExportStats stats;
        EXPECT_EQ(ExportQuotes(source, {.newestFirst = newestFirst}, out, &stats), expected)
            << failAt << " " << newestFirst;
        EXPECT_EQ(stats.quotes == total, expected == kSuccess) << stats.quotes;
    }
}

TEST(OutputFileNames, EveryIndexAndDataFileWithItsBackupsAndTemporariesIsRefused) {
    for (const char* name :
         {"MASTER", "emaster", "XMASTER", "MASTER.BAK", "EMASTER.BAK", "xmaster.bak", "MASTER.~NU",
          "EMASTER.NEW", "MASTER.BAK.NEW", "barwise.lck", "F3.DAT", "F3.BAK", "f12.mwd", "F3.DOP",
          "F3.NEW", "F3.DAT.NEW", "F3.BAK.NEW", "F255.DOP.NEW"}) {
        EXPECT_TRUE(IsQuoteDataFileName(fs::path("/some/dir") / name)) << name;
    }
    for (const char* name : {"MASTER.csv", "master.txt", "F3.txt", "F3.DAT.csv", "FX.DAT", "F.DAT",
                             "report.BAK", "F3", "MASTERS", "out.NEW"}) {
        EXPECT_FALSE(IsQuoteDataFileName(fs::path("/some/dir") / name)) << name;
    }
}

#ifndef _WIN32
// A FIFO no program reads from is refused after a short wait, not waited on forever (a
// wait for ever hangs the test); with a reader it is written through.
TEST(OutputFileFifo, WithoutAReaderTheOpenFails) {
    testing::TempDir tmp;
    const fs::path fifo = tmp.path() / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    {
        OutputFile out(fifo);
        EXPECT_EQ(out.open(), kFileOpen);
    }

    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    OutputFile out(fifo);
    ASSERT_EQ(out.open(), kSuccess);
    out.stream() << "quotes";
    ASSERT_EQ(out.commit(), kSuccess);
    char got[16] = {};
    EXPECT_EQ(::read(reader, got, sizeof got), 6);
    EXPECT_STREQ(got, "quotes");
    ::close(reader);
    EXPECT_TRUE(fs::is_fifo(fifo));
}
#endif

}  // namespace
}  // namespace barwise
