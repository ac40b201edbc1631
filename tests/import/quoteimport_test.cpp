// Importing quotes into a portfolio: the merge and conflict rules on the demo, where lines
// go, new securities in MASTER and XMASTER as another reader lists them, and failed
// writes that leave every file as it was.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datafiles/changes.h"
#include "datafiles/master.h"
#include "demo/demodb.h"
#include "discovery/quoteloader.h"
#include "export/exportwriter.h"
#include "import/importbed.h"
#include "import/quoteimport.h"
#include "import/quotetext.h"
#include "robustness/failingsteps.h"
#include "robustness/portfolio.h"
#include "testsupport/indexcheck.h"
#include "testsupport/snapshot.h"
#include "testsupport/tempdir.h"

namespace barwise {
namespace {

using robustness::DirectoryContent;

using Held = LoadedQuote;

// Every quote of the security, as the window's reader reads it.
std::vector<Held> ReadAll(const SecurityId& id) {
    QuoteLoader loader;
    std::vector<Held> out;
    EXPECT_EQ(loader.open(id), kSuccess);
    EXPECT_EQ(loader.read(0, loader.total(), out), kSuccess);
    return out;
}

SecurityId Find(const std::string& dir, const std::string& symbol) {
    MasterRecord r;
    SecurityId id;
    EXPECT_EQ(FindSymbol(dir, symbol, r, id), kSuccess) << symbol;
    return id;
}

// A file of held quotes in full precision: a title row and a line per quote, of the columns
// not omitted (open, high, low, close, vol, oi).
std::string FileOf(const std::vector<Held>& quotes, std::array<bool, 6> omit = {}) {
    const ExportLineWriter w({.delimiter = ',',
                              .omit = omit,
                              .dateFormat = ExportDateFormat::kIso,
                              .fullPrecision = true});
    std::string text = w.titleText() + "\n";
    for (const Held& q : quotes) text += w.lineText(q.date, q.values) + "\n";
    return text;
}
constexpr std::array<bool, 6> kEvery = {}, kCloseOnly = {true, true, true, false, true, true};

QuoteText Text(const std::string& text, const std::string& file = "quotes.csv") {
    const QuoteText t = ReadQuoteText(text, {}, file);
    EXPECT_TRUE(t.refusal.empty()) << t.refusal;
    return t;
}

class DemoImportTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(WriteDemoDatabase(root_.path(), false).status, kSuccess);
        stocks_ = (root_.path() / "STOCKS").string();
        acme_ = Find(stocks_, "ACME");
        held_ = ReadAll(acme_);
        ASSERT_GT(held_.size(), 10u);
    }
    ImportReport Import(const std::string& text, ImportOptions o = {},
                        const std::string& file = "quotes.csv") {
        ImportReport rep = ImportQuotes(stocks_, {Text(text, file)}, o);
        EXPECT_EQ(rep.change.status, kSuccess) << rep.failure;
        return rep;
    }
    testing::TempDir root_;
    std::string stocks_;
    SecurityId acme_;
    std::vector<Held> held_;
};

// A line of the file: held quote `quote` (counted from the end when negative), `days` later
// and its values times `factor`.
struct Given {
    int quote;
    int days = 0;
    float factor = 1;
};
// The first held quote the next weekday does not follow (a Friday).
constexpr int kBeforeAGap = 1000;

struct MergeRow {
    const char* name;
    std::vector<Given> given;
    bool replace;
    std::array<int, 4> counts;  // added, skipped, conflicts, replaced
    int quoteDelta;             // quotes the series gains
    bool writes;                // the data file changes
    bool closeOnly = false;     // the file holds the close alone: the held one, or this one
    float close = -1;
};

Held Shifted(Held q, int days, float factor) {
    q.date += days;
    for (float& v : q.values) v *= factor;
    return q;
}

const MergeRow kMerges[] = {
    {"new_day_after_the_last", {{-1, 3}}, false, {1, 0, 0, 0}, 1, true},
    {"same_values_skipped", {{5}, {6}}, false, {0, 2, 0, 0}, 0, false},
    {"other_values_a_conflict_not_written", {{5, 0, 2}}, false, {0, 0, 1, 0}, 0, false},
    {"other_values_replaced_on_request", {{5, 0, 2}}, true, {0, 0, 1, 1}, 0, true},
    {"mixed_day_file", {{1}, {2, 0, 0.5f}, {-1, 1}, {-1, 2}}, false, {2, 1, 1, 0}, 2, true},
    // A Saturday between two held weekdays goes in date order.
    {"day_between_held_days", {{kBeforeAGap, 1}}, false, {1, 0, 0, 0}, 1, true},
    {"newest_first_file", {{-1, 4}, {-1, 3}}, false, {2, 0, 0, 0}, 2, true},
    {"only_the_close_given", {{3}}, false, {0, 1, 0, 0}, 0, false, true},
    // Only two zeros are the same value: a zero given for a held close is a conflict.
    {"a_zero_close_a_conflict", {{5}}, false, {0, 0, 1, 0}, 0, false, true, 0.0f},
    // A replaced conflict takes only the values the file gives.
    {"only_the_close_replaced", {{5}}, true, {0, 0, 1, 1}, 0, true, true, 99.5f},
};

class MergeTest : public DemoImportTest, public ::testing::WithParamInterface<MergeRow> {};

TEST_P(MergeTest, AddsSkipsAndListsConflictsByDate) {
    const MergeRow& r = GetParam();
    std::vector<Held> given;
    for (const Given& g : r.given) {
        const int from = g.quote == kBeforeAGap ? 0 : g.quote;
        auto k = static_cast<std::size_t>(from >= 0 ? from : static_cast<int>(held_.size()) + from);
        while (g.quote == kBeforeAGap && held_[k + 1].date - held_[k].date < 3) ++k;
        given.push_back(Shifted(held_[k], g.days, g.factor));
        if (r.close >= 0) given.back().values[3] = r.close;
    }
    const fs::path dat = SeriesFilePath(stocks_, acme_.fileNumber, "DAT");
    const auto before = ReadWholeFile(dat);
    ImportOptions o;
    o.into = acme_;
    o.replace = r.replace;
    const ImportReport rep = Import(FileOf(given, r.closeOnly ? kCloseOnly : kEvery), o);
    ASSERT_EQ(rep.securities.size(), 1u);
    const SecurityImport& s = rep.securities[0];
    EXPECT_EQ((std::array{s.added, s.skipped, s.conflicts, s.replaced}), r.counts);
    EXPECT_EQ(s.conflictList.size(), static_cast<std::size_t>(s.conflicts));
    EXPECT_EQ(ReadWholeFile(dat) != before, r.writes);
    EXPECT_EQ(rep.written, r.writes);

    const std::vector<Held> after = ReadAll(acme_);
    ASSERT_EQ(static_cast<int>(after.size()), static_cast<int>(held_.size()) + r.quoteDelta);
    for (std::size_t i = 1; i < after.size(); ++i)
        EXPECT_LT(after[i - 1].date, after[i].date) << "quote " << i;
    if (r.writes && r.closeOnly) {
        EXPECT_EQ(after[5].values, given[0].values);
    }
    // MASTER's dates follow the data file.
    MasterRecord m;
    ASSERT_EQ(ReadMasterEntry(acme_, m), kSuccess);
    EXPECT_EQ(std::make_pair(DateFromReal(MbfToFloat(&m.bytes[kMasterFirstDateOffset])),
                             DateFromReal(MbfToFloat(&m.bytes[kMasterLastDateOffset]))),
              std::make_pair(after.front().date, after.back().date));
    // Undo takes the whole import back.
    ASSERT_EQ(UndoChanges(rep.change.changes), kSuccess);
    EXPECT_EQ(ReadWholeFile(dat), before);
}
INSTANTIATE_TEST_SUITE_P(Rules, MergeTest, ::testing::ValuesIn(kMerges),
                         [](const auto& info) { return std::string(info.param.name); });

// Which security each line goes to: a symbol the portfolio lacks is listed with its lines
// and not created; a file without a symbol column goes to the security named like the file;
// a column the security's layout lacks is named (BOLT's 24-byte records have no open
// interest).
TEST_F(DemoImportTest, LinesGoToTheirSecurityOrAreListed) {
    const ImportReport rep =
        Import("SYMBOL,DATE,CLOSE\nACME,2030-01-02,5\nZZZ,2030-01-02,6\nZZZ,2030-01-03,6\n");
    ASSERT_EQ(rep.securities.size(), 2u);
    EXPECT_EQ(rep.securities[0].added, 1);
    EXPECT_NE(rep.securities[1].refusal.find("not in the portfolio"), std::string::npos);
    EXPECT_EQ(rep.securities[1].lines, (std::vector<int>{3, 4}));
    MasterRecord r;
    SecurityId id;
    EXPECT_EQ(FindSymbol(stocks_, "ZZZ", r, id), kFileNotFound);

    const ImportReport named = Import("DATE,CLOSE\n2030-01-03,5\n", {}, "/tmp/acme.csv");
    ASSERT_EQ(named.securities.size(), 1u);
    EXPECT_EQ(std::tie(named.securities[0].id, named.securities[0].added),
              std::make_tuple(acme_, 1));

    ImportOptions o;
    o.into = Find(stocks_, "BOLT");
    const ImportReport bolt =
        Import(FileOf({{MakeDate(2030, 1, 2), 0, {1, 2, 0.5f, 1.5f, 100, 7}}}), o);
    ASSERT_EQ(bolt.securities.size(), 1u);
    EXPECT_EQ(bolt.securities[0].added, 1);
    ASSERT_EQ(bolt.securities[0].notes.size(), 1u);
    EXPECT_NE(bolt.securities[0].notes[0].find("OI"), std::string::npos);
}

// A new security of each column set reads back as written, through the readers.
TEST(NewSecurityTest, LandsInMasterThenXmasterAndAnotherReaderListsIt) {
    testing::TempDir dir;
    // 257 symbols: 255 fill MASTER, two go to XMASTER; every seventh has a name column value
    // longer than MASTER holds.
    const auto nameOf = [](int i) {
        return i % 7 == 0 ? "A RATHER LONG COMPANY NAME NUMBER " + std::to_string(i)
                          : "CO S" + std::to_string(i);
    };
    std::string text = "SYMBOL,NAME,DATE,OPEN,HIGH,LOW,CLOSE,VOL\n";
    for (int i = 1; i <= 257; ++i) {
        const std::string s = "S" + std::to_string(i) + "," + nameOf(i);
        text += s + ",20200102,1,2,0.5,1.5,100\n" + s + ",20200103,1,2,0.5," + std::to_string(i) +
                ",100\n";
    }
    const ImportReport rep = importtest::ImportIntoNew(dir.path(), true, {Text(text)});
    ASSERT_EQ(rep.securities.size(), 257u);

    const testing::DecodedIndex index = testing::DecodeIndexFiles(dir.path());
    EXPECT_TRUE(testing::IndexDisagreements(dir.path()).empty());
    ASSERT_EQ(index.securities.size(), 257u);
    for (int i = 0; i < 257; ++i) {
        const testing::DecodedSecurity& d = index.securities[static_cast<std::size_t>(i)];
        const auto kind = i < 255 ? testing::IndexKind::kMaster : testing::IndexKind::kXmaster;
        EXPECT_EQ(
            std::tie(d.symbol, d.index, d.firstDate, d.lastDate, d.fullName()),
            std::make_tuple("S" + std::to_string(i + 1), kind, 20200102, 20200103, nameOf(i + 1)));
    }
    EXPECT_EQ(index.securities[255].fileNumber, 256);
    const MasterFile m = ReadMasterFile(dir.str());
    ASSERT_EQ(m.entries.size(), 257u);
    for (int i : {0, 100, 254, 255, 256}) {
        const std::vector<Held> q = ReadAll(m.entries[static_cast<std::size_t>(i)].id);
        ASSERT_EQ(q.size(), 2u);
        EXPECT_EQ(q[1].values[3], static_cast<float>(i + 1));
        EXPECT_EQ(q[1].values[5], -1.0f);  // no OI column: the reader says so
    }
}

TEST(NewSecurityTest, AFullMasterWithoutXmasterTakesNoMore) {
    testing::TempDir dir;
    std::string text = "SYMBOL,DATE,CLOSE\n";
    for (int i = 1; i <= 256; ++i) text += "S" + std::to_string(i) + ",20200102,1\n";
    const ImportReport rep = importtest::ImportIntoNew(dir.path(), false, {Text(text)});
    ASSERT_FALSE(rep.securities.empty());
    EXPECT_NE(rep.securities.back().refusal.find("no room"), std::string::npos);
    EXPECT_EQ(ReadMasterFile(dir.str()).entries.size(), 255u);
}

TEST(NewSecurityTest, LayoutsFollowTheColumnsPresent) {
    const struct {
        const char* text;
        int recordLength;
        char period;
        bool dop;
    } rows[] = {
        {"DATE,OPEN,HIGH,LOW,CLOSE,VOL,OI\n20200102,1,2,0.5,1.5,100,3\n", 28, 'D', false},
        {"DATE,OPEN,HIGH,LOW,CLOSE,VOL\n20200102,1,2,0.5,1.5,100\n", 24, 'D', false},
        {"DATE,TIME,OPEN,HIGH,LOW,CLOSE,VOL\n20200102,09:30,1,2,0.5,1.5,100\n", 28, 'I', false},
        {"DATE,TIME,OPEN,HIGH,LOW,CLOSE,VOL,OI\n20200102,09:30,1,2,0.5,1.5,100,4\n", 32, 'I',
         false},
        {"DATE,HIGH,LOW,CLOSE\n20200102,2,0.5,1.5\n", 16, 'D', true},
        {"DATE,CLOSE,VOL,OI\n20200102,1.5,N/A,3\n", 12, 'D', true},
    };
    for (const auto& r : rows) {
        testing::TempDir dir;
        const QuoteText given = Text(r.text);
        importtest::ImportIntoNew(dir.path(), false, {given}, "NEW");
        const MasterFile m = ReadMasterFile(dir.str());
        ASSERT_EQ(m.entries.size(), 1u) << r.text;
        EXPECT_EQ(std::make_tuple(m.entries[0].record.recordLength(), m.entries[0].record.period(),
                                  fs::exists(dir.path() / "F1.DOP")),
                  std::make_tuple(r.recordLength, r.period, r.dop))
            << r.text;
        // The quote reads back through the readers' layout.
        const std::vector<Held> q = ReadAll(m.entries[0].id);
        ASSERT_EQ(q.size(), 1u);
        for (std::size_t v = 0; v < kImportValues; ++v) {
            const bool has = given.quotes[0].has[v];
            EXPECT_EQ(q[0].values[v], has ? given.quotes[0].values[v] : -1.0f)
                << r.text << " value " << v;
        }
    }
}

TEST(NewPortfolioTest, RefusesAFolderThatHoldsAPortfolio) {
    testing::TempDir dir;
    testing::WriteText(dir.path() / "Master", "x");
    const ChangeResult r = WriteNewPortfolio(dir.path(), true);
    EXPECT_EQ(r.status, kFileExists);
    EXPECT_EQ(testing::ReadText(dir.path() / "Master"), "x");
    EXPECT_FALSE(fs::exists(dir.path() / "XMASTER"));
}

// Every step of an import that writes fails once in turn: each failure leaves every file as
// it was (backups included), and the same import then succeeds.
TEST(ImportWriteFailureTest, EveryFailingStepLeavesThePortfolioAsItWas) {
    testing::TempDir root;
    ASSERT_EQ(WriteDemoDatabase(root.path(), false).status, kSuccess);
    const std::string stocks = (root.path() / "STOCKS").string();
    const DirectoryContent original = testing::Snapshot(stocks);
    ImportOptions o;
    o.create = true;
    // ACME and BOLT, which the demo holds, and NEWCO, which it does not.
    const QuoteText quotes =
        Text("SYMBOL,DATE,CLOSE\nACME,2030-01-02,5\nBOLT,2030-01-02,6\nNEWCO,2030-01-02,7\n");
    robustness::FaultyFileSystem counter;
    ASSERT_EQ(ImportQuotes(stocks, {quotes}, o, counter).change.status, kSuccess);
    const DirectoryContent done = testing::Snapshot(stocks);
    int runs = 0;
    const auto importFailing = [&](robustness::FaultyFileSystem& faulty) {
        robustness::EmptyDirectory(stocks);
        robustness::WriteDirectory(stocks, original);
        const ImportReport rep = ImportQuotes(stocks, {quotes}, o, faulty);
        if (!faulty.fired()) return;
        ++runs;
        const DirectoryContent after = testing::Snapshot(stocks);
        if (rep.change.status == kSuccess) {
            // A failure the rewrite could work around (a link the copy replaced).
            EXPECT_EQ(robustness::Compared(after), robustness::Compared(done));
            return;
        }
        EXPECT_EQ(after, original) << rep.failure;
        EXPECT_TRUE(rep.change.changes.empty());
        EXPECT_TRUE(robustness::TemporaryFiles(stocks).empty());
    };
    robustness::ForEachFailingStep(counter, importFailing, false);
    EXPECT_GT(runs, 10);
}

}  // namespace
}  // namespace barwise
