// The portfolio check: one damage planted into a copy of a clean portfolio is found exactly
// once, with its class; each repair leaves a portfolio the check finds clean, which the
// readers list and read, and which the change list puts back; a repair that fails at any
// write leaves every file as it was; the real databases give the findings they have.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "check/checkbed.h"
#include "check/checkrepair.h"
#include "check/portfoliocheck.h"
#include "datafiles/changes.h"
#include "datafiles/portfoliolock.h"
#include "demo/damageddb.h"
#include "discovery/symbollist.h"
#include "robustness/failingsteps.h"
#include "robustness/portfolio.h"
#include "testsupport/snapshot.h"
#include "testsupport/testdb.h"

namespace barwise {
namespace {

namespace ct = checktest;
using enum checktest::Base;
using enum FindingKind;
using enum FindingClass;
using ct::Both, ct::CopyAs, ct::CopyQuote, ct::Mbf, ct::Number, ct::Plant, ct::PutAt,
    ct::SwapQuotes;

// Column of each field of AAA (28 bytes: DATE OPEN HIGH LOW CLOSE VOL OI).
constexpr int kDate = 1, kOpen = 2, kHigh = 3, kLow = 4, kClose = 5, kVol = 6;
constexpr int kAaa = 28;
constexpr std::size_t kMaster = kMasterRecordSize;

float FieldAt(const fs::path& dat, int quote, int column) {
    return MbfToFloat(ct::Bytes(dat).data() + ct::QuoteField(kAaa, quote, column));
}

// Field `column` of AAA's quote `quote` set to `value`, or to that of `base` plus `value`.
Plant Field(int quote, int column, float value, int base = 0) {
    return [=](const fs::path& d) {
        const float from = base > 0 ? FieldAt(d / "F1.DAT", quote, base) : 0.0f;
        ct::Mbf("F1.DAT", ct::QuoteField(kAaa, quote, column), from + value)(d);
    };
}

struct Planted {
    const char* name;
    Plant plant;
    FindingKind kind;
    FindingClass cls;
    const char* file;  // the file the finding names
    checktest::Base base = kPlain;
    bool mendable = true;  // false where a repair of its kind has nothing to work from
};

const std::vector<Planted>& PlantedCases() {
    const std::vector<std::uint8_t> blank(16, ' ');
    constexpr std::size_t kSymbol = kMasterSymbolOffset, kName = kMasterNameOffset;
    static const std::vector<Planted> cases = {
        {"MasterHeaderCount", Number("MASTER", 0, 2, 2), kMasterCount, kDamage, "MASTER"},
        {"MasterCutRecord", PutAt("MASTER", 4 * kMaster, std::vector<std::uint8_t>(10, 0)),
         kMasterCutRecord, kDamage, "MASTER"},
        {"EmasterFileNumber", PutAt("EMASTER", 2 * kEmasterRecordSize + 2, {9}), kEmasterDisagrees,
         kDamage, "EMASTER", kExtended},
        {"EmasterCount", Number("EMASTER", 0, 2, 2), kEmasterDisagrees, kDamage, "EMASTER",
         kExtended},
        {"XmasterCounts", Number("XMASTER", 14, 7), kXmasterBroken, kDamage, "XMASTER", kXmaster},
        {"MissingDataFile", [](const fs::path& d) { fs::remove(d / "F2.DAT"); }, kMissingDataFile,
         kDamage, "MASTER"},
        {"UnlistedDataFile", CopyAs("F1.DAT", "F9.DAT"), kUnlistedDataFile, kDamage, "F9.DAT"},
        // Beyond XMASTER's next free number: the one it takes next moves past it.
        {"UnlistedMwdFile", CopyAs("F256.MWD", "F300.MWD"), kUnlistedDataFile, kDamage, "F300.MWD",
         kXmaster},
        {"SharedFileNumber",
         [](const fs::path& d) {
             const auto m = ct::Bytes(d / "MASTER");
             PutAt("MASTER", 3 * kMaster, {m.begin() + kMaster, m.begin() + kMaster + kSymbol})(d);
             fs::remove(d / "F3.DAT");
         },
         kSharedFileNumber, kDamage, "MASTER"},
        {"BlankSymbol", PutAt("MASTER", 2 * kMaster + kSymbol, blank), kBlankSymbol, kDamage,
         "MASTER"},
        // Without the name a repair would take a symbol from, nothing is offered.
        {"BlankSymbolWithoutName",
         Both(PutAt("MASTER", kMaster + kSymbol, {blank.begin(), blank.end() - 2}),
              PutAt("MASTER", kMaster + kName, blank)),
         kBlankSymbol, kDamage, "MASTER", kPlain, false},
        {"DuplicateSymbol", PutAt("MASTER", 3 * kMaster + kSymbol, {'a', 'a', 'a', ' '}),
         kDuplicateSymbol, kDamage, "MASTER"},
        {"ControlByteInName", PutAt("MASTER", 2 * kMaster + kName, {7}), kUnfitText, kDamage,
         "MASTER"},
        {"DatHeaderShort", Number("F1.DAT", 2, 59, 2), kDatCount, kDamage, "F1.DAT"},
        {"DatHeaderLong", Number("F1.DAT", 2, 64, 2), kDatCount, kDamage, "F1.DAT"},
        {"DatCutRecord", ct::Resize("F1.DAT", 61 * kAaa - 10), kDatCount, kDamage, "F1.DAT"},
        {"RecordLengthWithoutLayout", PutAt("MASTER", kMaster + 3, {36, 9}), kNoLayout, kDamage,
         "F1.DAT"},
        {"FieldsBeyondRecord", PutAt("MASTER", kMaster + 4, {8}), kRecordShape, kDamage, "MASTER"},
        {"DopWithoutDate",
         [](const fs::path& d) { testing::WriteText(d / "F2.DOP", "\"TIME\",0,0\r\n"); },
         kDopIgnored, kDamage, "F2.DOP"},
        {"QuotesOutOfOrder", SwapQuotes("F1.DAT", kAaa, 10, 11), kOutOfOrder, kDamage, "F1.DAT"},
        // Sorted into order, quote 3 (a copy of quote 1) meets its twin: a repeat to take out too.
        {"SortMeetsARepeat", CopyQuote("F1.DAT", kAaa, 1, 3), kOutOfOrder, kDamage, "F1.DAT"},
        {"IntradayBarsOutOfOrder", SwapQuotes("F3.DAT", 32, 2, 3), kOutOfOrder, kDamage, "F3.DAT"},
        {"MwdQuotesOutOfOrder", SwapQuotes("F256.MWD", 28, 5, 6), kOutOfOrder, kDamage, "F256.MWD",
         kXmaster},
        {"RepeatedQuote", CopyQuote("F1.DAT", kAaa, 20, 21), kRepeatedQuote, kDamage, "F1.DAT"},
        {"RepeatedDateOtherValues",
         Both(CopyQuote("F1.DAT", kAaa, 20, 21), Field(21, kClose, 0.01f, kClose)), kRepeatedDate,
         kDamage, "F1.DAT"},
        {"DateBeyond2199", Field(30, kDate, 3001231.0f), kDateOutOfRange, kDamage, "F1.DAT"},
        {"NoRealForm", PutAt("F1.DAT", ct::QuoteField(kAaa, 30, kClose), {0, 0, 0x80, 0}),
         kNoRealForm, kDamage, "F1.DAT"},
        {"MasterFirstDate",
         Mbf("MASTER", kMaster + kMasterFirstDateOffset, DateToReal(ct::PlainDate(1))), kIndexDate,
         kDamage, "MASTER"},
        {"EmasterLastDate",
         Number("EMASTER", kEmasterRecordSize + kEmasterLastDateOffset,
                std::bit_cast<std::uint32_t>(1150101.0f)),
         kIndexDate, kDamage, "EMASTER", kExtended},
        {"XmasterLastDate",
         Number("XMASTER", kXmasterRecordSize + kXmasterLastDateOffset, 20150101), kIndexDate,
         kDamage, "XMASTER", kXmaster},
        {"HighBelowLow", Field(15, kHigh, -0.1f, kLow), kHighBelowLow, kSuspect, "F1.DAT"},
        {"CloseAboveHigh", Field(15, kClose, 0.2f, kHigh), kOutsideRange, kSuspect, "F1.DAT"},
        {"ZeroOpen", Field(15, kOpen, 0.0f), kZeroPrice, kSuspect, "F1.DAT"},
        {"NegativeClose", Field(15, kClose, -1.0f), kNegativeClose, kSuspect, "F1.DAT"},
        {"NegativeVolume", Field(15, kVol, -5.0f), kNegativeVolume, kSuspect, "F1.DAT"},
        {"ThirteenWeekdaysMissing", ct::DropQuotes("F1.DAT", kAaa, 30, 42), kGap, kSuspect,
         "F1.DAT"},
        {"UnrecordedSplit",
         [](const fs::path& d) {
             for (int q = 0; q < 30; ++q)
                 for (int c : {kOpen, kHigh, kLow, kClose})
                     Mbf("F1.DAT", ct::QuoteField(kAaa, q, c), 2 * FieldAt(d / "F1.DAT", q, c))(d);
         },
         kSplitCandidate, kSuspect, "F1.DAT"},
        {"DatTemporary", CopyAs("F1.DAT", "F1.NEW"), kTemporaryFile, kLeftover, "F1.NEW"},
        {"MasterTemporary", CopyAs("MASTER", "MASTER.~NU"), kTemporaryFile, kLeftover,
         "MASTER.~NU"},
        {"BackupNewerThanMaster",
         [](const fs::path& d) {
             fs::copy_file(d / "MASTER", d / "MASTER.BAK");
             fs::last_write_time(d / "MASTER.BAK",
                                 fs::last_write_time(d / "MASTER") + std::chrono::hours(1));
         },
         kNewerBackup, kLeftover, "MASTER.BAK"},
    };
    return cases;
}

std::string Describe(const std::vector<Finding>& findings) {
    std::string out;
    for (const Finding& f : findings) out += "\n  " + FindingLine(f);
    return out;
}

std::string FirstFailure(const RepairOutcome& outcome) {
    return outcome.failures.empty() ? "" : outcome.failures[0];
}

std::map<std::string, int> Kinds(const std::vector<Finding>& findings) {
    std::map<std::string, int> kinds;
    for (const Finding& f : findings) ++kinds[std::string(KindName(f.kind))];
    return kinds;
}

class PlantedDamage : public ::testing::TestWithParam<Planted> {
protected:
    CheckReport Prepare(const fs::path& dir) {
        ct::CopyPortfolio(GetParam().base, dir);
        GetParam().plant(dir);
        return CheckPortfolio(dir.string());
    }
};

// Each clean portfolio is planted into: a finding of the clean one would be a second one.
// A finding that can be mended is, to a portfolio the check finds clean and the readers read
// whole, and the change list takes the repair back to the very bytes planted; any other is
// left as it is. A repair that fails at any step that puts data on disk (or removes a
// leftover) leaves every file as it was, backups included.
TEST_P(PlantedDamage, IsFoundOnceAndMendedOrLeft) {
    const Planted& c = GetParam();
    testing::TempDir dir;
    const CheckReport report = Prepare(dir.path());
    ASSERT_EQ(report.status, kSuccess);
    EXPECT_GT(report.securities, 0);
    ASSERT_EQ(report.findings.size(), 1u) << Describe(report.findings);
    const Finding& f = report.findings[0];
    EXPECT_EQ(
        std::make_tuple(KindName(f.kind), ClassName(f.cls), f.file, f.directory, f.what.empty()),
        std::make_tuple(KindName(c.kind), ClassName(c.cls), c.file, dir.str(), false));
    ASSERT_EQ(IsRepairable(f), IsRepairable(c.kind) && c.mendable);

    const auto planted = testing::Snapshot(dir.path());
    robustness::FaultyFileSystem counter;
    const RepairOutcome outcome = RepairFindings(report.findings, counter);
    ASSERT_EQ(outcome.result.status, kSuccess) << FirstFailure(outcome);
    EXPECT_TRUE(outcome.failures.empty());
    EXPECT_EQ(outcome.result.changes.empty(), !IsRepairable(f));
    if (!IsRepairable(f)) {
        EXPECT_EQ(testing::Snapshot(dir.path()), planted);
        return;
    }
    EXPECT_EQ(Describe(CheckPortfolio(dir.str()).findings), "");  // clean
    EXPECT_EQ(robustness::PortfolioProblem(dir.path()), "");      // listed and read whole
    ASSERT_EQ(UndoChanges(outcome.result.changes), kSuccess);
    EXPECT_EQ(testing::Snapshot(dir.path()), planted);

    int fired = 0;
    std::vector<robustness::Step> steps(robustness::kWritingSteps.begin(),
                                        robustness::kWritingSteps.end());
    steps.push_back(robustness::Step::kRemove);
    const auto repairFailing = [&](robustness::FaultyFileSystem& faulty) {
        testing::TempDir again;
        const RepairOutcome failed = RepairFindings(Prepare(again.path()).findings, faulty);
        if (!faulty.fired()) return;
        ++fired;
        // A removal that fails may be one the repair does without (a temporary name of its
        // own); a write that fails never is.
        if (faulty.failStep() == robustness::Step::kRemove && failed.result.status == kSuccess)
            return;
        EXPECT_NE(failed.result.status, kSuccess);
        EXPECT_EQ(testing::Snapshot(again.path()), planted) << "at " << faulty.firedPath();
    };
    robustness::ForEachFailingStep(counter, repairFailing, false, steps);
    EXPECT_GT(fired, 0);
}

INSTANTIATE_TEST_SUITE_P(Check, PlantedDamage, ::testing::ValuesIn(PlantedCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Several findings of one quote file are mended by one rewrite, and the dates follow.
TEST(CheckRepair, OrderRepeatsAndCountOfOneFileTogether) {
    testing::TempDir dir;
    ct::CopyPortfolio(kPlain, dir.path());
    const fs::path dat = dir.path() / "F1.DAT";
    SwapQuotes("F1.DAT", kAaa, 0, 1)(dir.path());     // the first quote out of order
    CopyQuote("F1.DAT", kAaa, 40, 41)(dir.path());    // a repeated quote
    ct::Resize("F1.DAT", 61 * kAaa - 5)(dir.path());  // the last record cut
    const CheckReport before = CheckPortfolio(dir.str());
    ASSERT_GE(before.findings.size(), 2u) << Describe(before.findings);
    ASSERT_EQ(RepairFindings(before.findings).result.status, kSuccess);
    EXPECT_EQ(Describe(CheckPortfolio(dir.str()).findings), "");  // clean
    // The cut record is kept aside, not dropped; the quotes are one fewer than whole ones.
    EXPECT_EQ(ct::Bytes(dir.path() / "F1.TRL").size(), static_cast<std::size_t>(kAaa - 5));
    EXPECT_EQ(ct::Bytes(dat).size(), static_cast<std::size_t>(59 * kAaa));
    EXPECT_EQ(DateFromReal(FieldAt(dat, 0, kDate)), ct::PlainDate(0));
}

// A data file MASTER lost its record for is added back under the symbol and name its
// stray EMASTER record still holds, with its dates; one whose size does not fit its header
// is refused and nothing is written.
TEST(CheckRepair, AnUnlistedDataFileComesBackUnderItsEmasterNames) {
    testing::TempDir dir;
    ct::CopyPortfolio(kExtended, dir.path());
    const std::string master = MasterPathOf(dir.str() + "/").string();
    const SymbolListing whole = ListSymbols(master);
    ASSERT_GE(whole.rows.size(), 2u);
    const SymbolRow lost = whole.rows.back();
    // Its stray EMASTER name holds a Latin-1 letter, offered as UTF-8 and stored as Latin-1.
    const std::size_t stray = static_cast<std::size_t>(lost.position) * kEmasterRecordSize;
    PutAt("EMASTER", stray + kEmasterNameOffset, {'C', 'A', 'F', 0xC9, 0})(dir.path());
    PutAt("EMASTER", stray + kEmasterLongNameOffset,
          std::vector<std::uint8_t>(kEmasterLongNameSize, 0))(dir.path());
    Number("MASTER", 0, static_cast<std::uint32_t>(whole.rows.size() - 1), 2)(dir.path());
    ct::Resize("MASTER", whole.rows.size() * kMaster)(dir.path());

    const CheckReport before = CheckPortfolio(dir.str());
    auto unlisted = std::find_if(before.findings.begin(), before.findings.end(),
                                 [](const Finding& f) { return f.kind == kUnlistedDataFile; });
    ASSERT_NE(unlisted, before.findings.end()) << Describe(before.findings);
    const SecurityNames offered = SuggestedNames(*unlisted);
    EXPECT_EQ(std::tie(offered.symbol, offered.name),
              std::make_tuple(TrimPadding(lost.symbol), "CAF\xC3\x89"));
    const RepairOutcome outcome = RepairFindings(before.findings);
    ASSERT_EQ(outcome.result.status, kSuccess) << FirstFailure(outcome);
    EXPECT_EQ(Describe(CheckPortfolio(dir.str()).findings), "");  // clean
    const SymbolListing after = ListSymbols(master);
    ASSERT_EQ(after.rows.size(), whole.rows.size());
    const MasterRecord& back = after.rows.back().record;
    EXPECT_EQ(std::make_tuple(after.rows.back().symbol, SecurityName(back), back.fileNumber()),
              std::make_tuple(lost.symbol, "CAF\xC9", lost.record.fileNumber()));
    EXPECT_EQ(std::memcmp(back.bytes.data() + kMasterFirstDateOffset,
                          lost.record.bytes.data() + kMasterFirstDateOffset, 8),
              0);

    // A file whose size is no whole number of the records its header counts, and a symbol
    // the index files cannot hold, are refused before anything is written.
    ct::Resize("F1.DAT", ct::Bytes(dir.path() / "F1.DAT").size() + 3)(dir.path());
    const struct {
        const char* from;
        SecurityNames names;
        const char* refusal;
    } refused[] = {{"F1.DAT", {"NEW", "NEW"}, "record length"}, {"F2.DAT", {"", "NO SYMBOL"}, ""}};
    for (const auto& r : refused) {
        fs::copy_file(dir.path() / r.from, dir.path() / "F9.DAT",
                      fs::copy_options::overwrite_existing);
        const auto kept = testing::Snapshot(dir.path());
        std::string refusal;
        EXPECT_EQ(AdoptDataFile(dir.str(), "F9.DAT", r.names, RealFileSystem(), &refusal),
                  kInvalidParm);
        EXPECT_NE(refusal.find(r.refusal), std::string::npos) << refusal;
        EXPECT_EQ(testing::Snapshot(dir.path()), kept) << r.from;
    }
}

// ----- the real databases -----

struct RealDb {
    const char* name;
    std::map<std::string, int> kinds;  // findings by kind
};

class RealDatabase : public ::testing::TestWithParam<RealDb> {};

TEST_P(RealDatabase, GivesTheFindingsItHas) {
    const fs::path dir = fs::path(BARWISE_REALDB_DIR) / GetParam().name;
    if (!fs::exists(dir)) GTEST_SKIP() << "no " << dir;
    const CheckReport report = CheckPortfolio(dir.string());
    ASSERT_EQ(report.status, kSuccess);
    EXPECT_EQ(Kinds(report.findings), GetParam().kinds);
}

const RealDb kRealDbs[] = {
    {"bbfinance-inconsistent",
     {{"emaster-disagrees", 1}, {"xmaster-broken", 1}, {"index-date", 44}, {"zero-price", 1}}},
    {"equis-italy-intraday", {}},
    // Quotes as its vendor wrote them: opens outside the day's range on a few days, sporadic
    // zero prices, thin series with gaps and warrants whose closes jump.
    {"equis-italy",
     {{"outside-range", 90}, {"gap", 22}, {"zero-price", 260}, {"split-candidate", 22}}},
    {"mininge-dop",
     {{"master-count", 1},
      {"blank-symbol", 25},
      {"repeated-quote", 35},
      {"index-date", 37},
      {"gap", 405},
      {"split-candidate", 116},
      {"repeated-date", 19},
      {"no-real-form", 2},
      {"out-of-order", 8},
      {"outside-range", 14},
      {"high-below-low", 13},
      {"missing-data-file", 1}}},
    {"equis-xmaster-mini", {{"index-date", 6}}},
    {"stooq-intraday", {{"index-date", 1}}},
};
INSTANTIATE_TEST_SUITE_P(Check, RealDatabase, ::testing::ValuesIn(kRealDbs),
                         [](const auto& info) { return testing::CaseName(info.param.name); });

TEST(RealDatabaseRepair, BbfinanceKeepsOnlyWhatIsNotMechanical) {
    testing::TempDir dir;
    if (!testing::CopyRealDb("bbfinance-inconsistent", dir.path())) GTEST_SKIP();
    const RepairOutcome outcome = RepairFindings(CheckPortfolio(dir.str()).findings);
    EXPECT_EQ(outcome.result.status, kSuccess) << FirstFailure(outcome);
    EXPECT_EQ(Kinds(CheckPortfolio(dir.str()).findings),
              (std::map<std::string, int>{{"xmaster-broken", 1}, {"zero-price", 1}}));
    // The rebuilt EMASTER agrees with MASTER and keeps the long names it had.
    EXPECT_EQ(ReadMasterFile(dir.str()).emaster, ExtIndexState::kSound);
}

// ----- the demo's DAMAGED portfolio -----

TEST(DamagedDemo, HoldsOneCaseOfEveryFindingAndRepairsToTheRest) {
    testing::TempDir root;
    const fs::path dir = root.path() / std::string(kDamagedPortfolioName);
    ASSERT_EQ(WriteDamagedPortfolio(dir).status, kSuccess);
    std::map<std::string, int> expected, left;
    for (int k = 0; k <= static_cast<int>(kNewerBackup); ++k) {
        const auto kind = static_cast<FindingKind>(k);
        if (kind == kUnreadableDataFile) continue;  // every file can be read here
        expected[std::string(KindName(kind))] = 1;
        if (!IsRepairable(kind)) left[std::string(KindName(kind))] = 1;
    }
    EXPECT_EQ(Kinds(CheckPortfolio(dir.string()).findings), expected);

    const RepairOutcome outcome = RepairFindings(CheckPortfolio(dir.string()).findings);
    EXPECT_EQ(outcome.result.status, kSuccess) << FirstFailure(outcome);
    // The repairs' MASTER rewrites keep MASTER as it was as a new MASTER.BAK, older than MASTER.
    left.erase(std::string(KindName(kNewerBackup)));
    EXPECT_EQ(Kinds(CheckPortfolio(dir.string()).findings), left);
}

// ----- texts and counting -----

TEST(CheckTexts, WeekdaysBetweenAndTemporaryNames) {
    const auto day = [](int ymd) { return MakeDate(ymd / 10000, ymd / 100 % 100, ymd % 100); };
    const struct {
        int from, to;  // YYYYMMDD
        int weekdays;
    } spans[] = {
        {20150109, 20150112, 0},  // Friday to Monday
        {20150105, 20150107, 1},  // Monday to Wednesday
        {20150105, 20150112, 4},  // Monday to the next Monday
        {20150110, 20150112, 0},  // Saturday to Monday
        {19281001, 19281008, 4},  // before 1961
        {20160226, 20160301, 1},  // across a leap day
    };
    for (const auto& c : spans)
        EXPECT_EQ(WeekdaysBetween(day(c.from), day(c.to)), c.weekdays) << c.from << " to " << c.to;
    const std::pair<const char*, bool> names[] = {
        {"F3.NEW", true},  {"master.~nu", true}, {"EMASTER.NEW-2", true}, {"F3.DAT.NEW", true},
        {"F3.BAK", false}, {".NEW", false},      {"F3.NEW-x", false},     {"F3.DAT", false},
    };
    for (const auto& [file, temporary] : names)
        EXPECT_EQ(IsTemporaryFileName(file), temporary) << file;
}

TEST(CheckTexts, QuoteFindingNamesItsQuoteAndTheEditToMakeIt) {
    testing::TempDir dir;
    ct::CopyPortfolio(kPlain, dir.path());
    Mbf("F3.DAT", ct::QuoteField(32, 8, 7), -3.0f)(dir.path());  // VOL of an intraday bar
    const auto findings = CheckPortfolio(dir.str()).findings;
    ASSERT_EQ(findings.size(), 1u) << Describe(findings);
    const Finding& f = findings[0];
    EXPECT_EQ(f.symbol, "CCC");
    EXPECT_EQ(FindingPlace(f), "quote 9 (01/06/2015 09:40:00)");
    EXPECT_EQ(EditQuoteHint(f), "edit-quote " + dir.str() + " --file 3 01/06/2015 --time 09:40:00");
    const std::string json = FindingJson(f);
    EXPECT_NE(json.find("\"class\":\"suspect\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"date\":\"2015-01-06\",\"time\":\"09:40:00\""), std::string::npos)
        << json;
}

}  // namespace
}  // namespace barwise
