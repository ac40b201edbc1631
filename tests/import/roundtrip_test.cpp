// Exports read back: every security of every real database, exported in full precision and
// imported into a new portfolio, has the same data records byte for byte; and every
// combination of the export's options on the demo reads back to the same quotes (the same
// text when exported again).
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "datafiles/master.h"
#include "datafiles/quotefiles.h"
#include "datafiles/series.h"
#include "demo/demodb.h"
#include "export/exportwriter.h"
#include "import/importbed.h"
#include "import/quoteimport.h"
#include "import/quotetext.h"
#include "testsupport/testdb.h"

namespace barwise {
namespace {

// The quote records of a data file as its header counts them (those the file holds).
std::vector<std::uint8_t> QuoteRecords(const fs::path& dat, int recordLength) {
    const auto bytes = ReadWholeFile(dat);
    if (!bytes || bytes->size() < static_cast<std::size_t>(recordLength)) return {};
    const auto len = static_cast<std::size_t>(recordLength);
    const std::size_t counted =
        static_cast<std::size_t>(std::max(DatLastRecord(bytes->data()) - 1, 0));
    const std::size_t n = std::min(counted, bytes->size() / len - 1);
    return std::vector<std::uint8_t>(bytes->begin() + static_cast<std::ptrdiff_t>(len),
                                     bytes->begin() + static_cast<std::ptrdiff_t>(len * (n + 1)));
}

class RealDbRoundTripTest : public ::testing::TestWithParam<std::string> {};

TEST_P(RealDbRoundTripTest, FullPrecisionExportImportsToTheSameRecords) {
    const fs::path source = fs::path(BARWISE_REALDB_DIR) / GetParam();
    if (!fs::is_directory(source)) GTEST_SKIP() << source << " is missing";
    const MasterFile master = ReadMasterFile(source.string());
    ASSERT_EQ(master.status, kSuccess);

    const ExportOptions o{.delimiter = ',',
                          .title = true,
                          .dateFormat = ExportDateFormat::kIso,
                          .time = true,
                          .fullPrecision = true};
    // Security i is exported to R<i+1>.txt, imported as R<i+1>; its data file and record
    // length are kept beside.
    std::vector<std::pair<fs::path, int>> exported;
    std::vector<QuoteText> texts;
    for (const MasterEntry& e : master.entries) {
        if (e.record.isSubdirEntry() || (!e.id.inXmaster() && e.id.position > master.headerCount))
            continue;
        std::ostringstream text;
        ASSERT_EQ(ExportRecord(e.id, e.record, o, text), kSuccess) << e.record.fileNumber();
        SeriesFiles files;
        ASSERT_EQ(OpenSeriesFiles(e.id, e.record, files), kSuccess);
        exported.emplace_back(files.datPath, e.record.recordLength());
        texts.push_back(
            ReadQuoteText(text.str(), {}, "R" + std::to_string(texts.size() + 1) + ".txt"));
        ASSERT_TRUE(texts.back().refusal.empty() || texts.back().quotes.empty())
            << texts.back().refusal;
        ASSERT_TRUE(texts.back().bad.empty()) << BadLineText(texts.back().bad[0]);
    }
    ASSERT_FALSE(exported.empty());

    testing::TempDir dest;
    importtest::ImportIntoNew(dest.path(), true, texts);

    int compared = 0;
    for (std::size_t i = 0; i < exported.size(); ++i) {
        const auto& [dat, recordLength] = exported[i];
        std::vector<std::uint8_t> before = QuoteRecords(dat, recordLength);
        MasterRecord r;
        SecurityId id;
        const std::string symbol = "R" + std::to_string(i + 1);
        const DataStatus found = FindSymbol(dest.str(), symbol, r, id);
        if (before.empty()) {
            EXPECT_NE(found, kSuccess) << symbol << " has no quotes";
            continue;
        }
        ASSERT_EQ(found, kSuccess) << symbol;
        EXPECT_EQ(r.recordLength(), recordLength) << dat;
        // Byte for byte; the one freedom is an MBF zero stored with stray mantissa bits
        // (exponent byte 0), which every reader reads as 0 and which is written as four
        // zero bytes.
        for (std::size_t w = 3; w < before.size(); w += 4)
            if (before[w] == 0)
                std::fill_n(before.begin() + static_cast<std::ptrdiff_t>(w - 3), 3, 0);
        const std::vector<std::uint8_t> after = QuoteRecords(
            SeriesFilePath(id.directory, id.fileNumber, DataExtensionOf(id)), r.recordLength());
        const auto [b, a] = std::mismatch(before.begin(), before.end(), after.begin(), after.end());
        EXPECT_TRUE(b == before.end() && a == after.end())
            << dat << ": the quote records differ from byte " << b - before.begin() << " on";
        ++compared;
    }
    EXPECT_GT(compared, 0);
}

INSTANTIATE_TEST_SUITE_P(RealDatabases, RealDbRoundTripTest,
                         ::testing::Values("equis-italy", "equis-italy-intraday", "mininge-dop",
                                           "equis-xmaster-mini", "bbfinance-inconsistent",
                                           "stooq-intraday"),
                         [](const auto& info) { return testing::CaseName(info.param); });

// Every combination of the export's options: the export of the imported security, with the
// same options, is the same text.
// The options with their names in the tests' names.
const std::pair<char, const char*> kDelimiters[] = {{' ', "space"}, {',', "comma"}, {'\t', "tab"}};
const std::pair<std::array<bool, 6>, const char*> kOmits[] = {
    {{}, "all"},
    {{true, false, false, false, true, true}, "ohlc"},
    {{false, true, true, false, false, false}, "oclv"}};
const std::pair<ExportDateFormat, const char*> kDates[] = {{ExportDateFormat::kMmDdYy, "mdyy"},
                                                           {ExportDateFormat::kIso, "iso"},
                                                           {ExportDateFormat::kMmDdYyyy, "mdyyyy"}};
// A demo security, its delimiter, columns and date form (places in the tables above), and
// the flags title (1), newest first (2) and full precision (4).
using OptionRow = std::tuple<std::string, int, int, int, int>;

ExportOptions OptionsOf(const OptionRow& row) {
    const auto& [symbol, delimiter, omit, date, flags] = row;
    return {.delimiter = kDelimiters[delimiter].first,
            .omit = kOmits[omit].first,
            .newestFirst = (flags & 2) != 0,
            .title = (flags & 1) != 0,
            .dateFormat = kDates[date].first,
            .time = symbol == "ESM",
            .fullPrecision = (flags & 4) != 0};
}

class ExportOptionsRoundTripTest : public ::testing::TestWithParam<OptionRow> {};

TEST_P(ExportOptionsRoundTripTest, ReadsBackToTheSameQuotes) {
    const std::string& symbol = std::get<0>(GetParam());
    const ExportOptions options = OptionsOf(GetParam());
    static const testing::TempDir demo;
    static const DataStatus written = WriteDemoDatabase(demo.path(), false).status;
    ASSERT_EQ(written, kSuccess);
    const std::string dir = (demo.path() / (symbol == "ESM" ? "FUTURES" : "STOCKS")).string();
    std::ostringstream first;
    ASSERT_EQ(ExportSymbol(dir, symbol, options, first), kSuccess);

    TextFormat format;
    format.delimiter = options.delimiter;
    if (!options.title) {
        // Without a title row the omitted columns cannot be told: they are given.
        std::string columns = options.time ? "date,time" : "date";
        const char* values[] = {"open", "high", "low", "close", "vol", "oi"};
        for (std::size_t c = 0; c < 6; ++c)
            if (!options.omit[c]) columns += std::string(",") + values[c];
        format.columns = *ParseColumnList(columns);
    }
    const QuoteText text = ReadQuoteText(first.str(), format, "export.txt");
    ASSERT_TRUE(text.refusal.empty()) << text.refusal;
    ASSERT_TRUE(text.bad.empty()) << BadLineText(text.bad[0]);

    testing::TempDir dest;
    importtest::ImportIntoNew(dest.path(), false, {text}, symbol);
    std::ostringstream second;
    ASSERT_EQ(ExportSymbol(dest.str(), symbol, options, second), kSuccess);
    EXPECT_EQ(second.str(), first.str());
}

std::string OptionName(const ::testing::TestParamInfo<OptionRow>& info) {
    const auto& [symbol, delimiter, omit, date, flags] = info.param;
    return symbol + "_" + kDelimiters[delimiter].second + "_" + kOmits[omit].second + "_" +
           kDates[date].second + (flags & 1 ? "_title" : "") + (flags & 2 ? "_newest" : "") +
           (flags & 4 ? "_full" : "");
}

INSTANTIATE_TEST_SUITE_P(Combinations, ExportOptionsRoundTripTest,
                         ::testing::Combine(::testing::Values("ACME", "ESM"),
                                            ::testing::Range(0, 3), ::testing::Range(0, 3),
                                            ::testing::Range(0, 3), ::testing::Range(0, 8)),
                         OptionName);

}  // namespace
}  // namespace barwise
