// The portfolio check: one damage planted into a copy of a clean portfolio is found exactly
// once, with its class; each repair leaves a portfolio the check finds clean, which the
// readers list and read, and which the change list puts back; a repair that fails at any
// write leaves every file as it was; the real databases give the findings they have.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "check/checkbed.h"
#include "check/checkrepair.h"
#include "check/portfoliocheck.h"
#include "datafiles/changes.h"
#include "datafiles/portfoliolock.h"
#include "datafiles/series.h"
#include "demo/damageddb.h"
#include "discovery/seriescursor.h"
#include "discovery/symbollist.h"
#include "robustness/faultyfs.h"
#include "robustness/portfolio.h"
#include "testsupport/testdb.h"

namespace barwise {
namespace {

using checktest::Base;
using checktest::QuoteField;
using checktest::SwapQuotes;
using K = FindingKind;
using C = FindingClass;

// Column of each field of AAA (28 bytes: DATE OPEN HIGH LOW CLOSE VOL OI).
constexpr int kOpen = 2, kHigh = 3, kLow = 4, kClose = 5, kVol = 6;
constexpr int kAaaLength = 28;

float FieldAt(const fs::path& dat, int quote, int column) {
    const auto bytes = checktest::Bytes(dat);
    return MbfToFloat(bytes.data() + QuoteField(kAaaLength, quote, column));
}

struct Planted {
    const char* name;
    Base base;
    std::function<void(const fs::path& dir)> plant;
    FindingKind kind;
    FindingClass cls;
    const char* file;  // the file the finding names
};

const std::vector<Planted>& PlantedCases() {
    static const std::vector<Planted> cases = {
        {"MasterHeaderCount", Base::kPlain, [](const fs::path& d) { checktest::PutI16At(d / "MASTER", 0, 2); },
         K::kMasterCount, C::kDamage, "MASTER"},
        {"MasterCutRecord", Base::kPlain,
         [](const fs::path& d) { checktest::Append(d / "MASTER", std::vector<std::uint8_t>(10, 0)); },
         K::kMasterCutRecord, C::kDamage, "MASTER"},
        {"EmasterFileNumber", Base::kExtended,
         [](const fs::path& d) { checktest::Put(d / "EMASTER", 2 * kEmasterRecordSize + 2, {9}); },
         K::kEmasterDisagrees, C::kDamage, "EMASTER"},
        {"EmasterCount", Base::kExtended, [](const fs::path& d) { checktest::PutI16At(d / "EMASTER", 0, 2); },
         K::kEmasterDisagrees, C::kDamage, "EMASTER"},
        {"XmasterCounts", Base::kXmaster, [](const fs::path& d) { checktest::Put(d / "XMASTER", 14, {7, 0, 0, 0}); },
         K::kXmasterBroken, C::kDamage, "XMASTER"},
        {"MissingDataFile", Base::kPlain, [](const fs::path& d) { fs::remove(d / "F2.DAT"); }, K::kMissingDataFile,
         C::kDamage, "MASTER"},
        {"UnlistedDataFile", Base::kPlain, [](const fs::path& d) { fs::copy_file(d / "F1.DAT", d / "F9.DAT"); },
         K::kUnlistedDataFile, C::kDamage, "F9.DAT"},
        // Beyond XMASTER's next free number: the one it takes next moves past it.
        {"UnlistedMwdFile", Base::kXmaster, [](const fs::path& d) { fs::copy_file(d / "F256.MWD", d / "F300.MWD"); },
         K::kUnlistedDataFile, C::kDamage, "F300.MWD"},
        {"SharedFileNumber", Base::kPlain,
         [](const fs::path& d) {
             const auto m = checktest::Bytes(d / "MASTER");
             checktest::Put(d / "MASTER", 3 * kMasterRecordSize,
                            {m.begin() + kMasterRecordSize, m.begin() + kMasterRecordSize + kMasterSymbolOffset});
             fs::remove(d / "F3.DAT");
         },
         K::kSharedFileNumber, C::kDamage, "MASTER"},
        {"BlankSymbol", Base::kPlain,
         [](const fs::path& d) {
             checktest::Put(d / "MASTER", 2 * kMasterRecordSize + kMasterSymbolOffset,
                            std::vector<std::uint8_t>(16, ' '));
         },
         K::kBlankSymbol, C::kDamage, "MASTER"},
        {"DuplicateSymbol", Base::kPlain,
         [](const fs::path& d) {
             checktest::Put(d / "MASTER", 3 * kMasterRecordSize + kMasterSymbolOffset, {'a', 'a', 'a', ' '});
         },
         K::kDuplicateSymbol, C::kDamage, "MASTER"},
        {"ControlByteInName", Base::kPlain,
         [](const fs::path& d) { checktest::Put(d / "MASTER", 2 * kMasterRecordSize + kMasterNameOffset, {7}); },
         K::kUnfitText, C::kDamage, "MASTER"},
        {"DatHeaderShort", Base::kPlain, [](const fs::path& d) { checktest::PutI16At(d / "F1.DAT", 2, 59); },
         K::kDatCount, C::kDamage, "F1.DAT"},
        {"DatHeaderLong", Base::kPlain, [](const fs::path& d) { checktest::PutI16At(d / "F1.DAT", 2, 64); },
         K::kDatCount, C::kDamage, "F1.DAT"},
        {"DatCutRecord", Base::kPlain,
         [](const fs::path& d) { checktest::Truncate(d / "F1.DAT", 61 * kAaaLength - 10); }, K::kDatCount,
         C::kDamage, "F1.DAT"},
        {"RecordLengthWithoutLayout", Base::kPlain,
         [](const fs::path& d) { checktest::Put(d / "MASTER", kMasterRecordSize + 3, {36, 9}); }, K::kNoLayout,
         C::kDamage, "F1.DAT"},
        {"FieldsBeyondRecord", Base::kPlain,
         [](const fs::path& d) { checktest::Put(d / "MASTER", kMasterRecordSize + 4, {8}); }, K::kRecordShape,
         C::kDamage, "MASTER"},
        {"DopWithoutDate", Base::kPlain, [](const fs::path& d) { testing::WriteText(d / "F2.DOP", "\"TIME\",0,0\r\n"); },
         K::kDopIgnored, C::kDamage, "F2.DOP"},
        {"QuotesOutOfOrder", Base::kPlain, [](const fs::path& d) { SwapQuotes(d / "F1.DAT", kAaaLength, 10, 11); },
         K::kOutOfOrder, C::kDamage, "F1.DAT"},
        {"IntradayBarsOutOfOrder", Base::kPlain, [](const fs::path& d) { SwapQuotes(d / "F3.DAT", 32, 2, 3); },
         K::kOutOfOrder, C::kDamage, "F3.DAT"},
        {"MwdQuotesOutOfOrder", Base::kXmaster, [](const fs::path& d) { SwapQuotes(d / "F256.MWD", 28, 5, 6); },
         K::kOutOfOrder, C::kDamage, "F256.MWD"},
        {"RepeatedQuote", Base::kPlain,
         [](const fs::path& d) { checktest::CopyQuote(d / "F1.DAT", kAaaLength, 20, 21); }, K::kRepeatedQuote,
         C::kDamage, "F1.DAT"},
        {"RepeatedDateOtherValues", Base::kPlain,
         [](const fs::path& d) {
             checktest::CopyQuote(d / "F1.DAT", kAaaLength, 20, 21);
             checktest::PutMbf(d / "F1.DAT", QuoteField(kAaaLength, 21, kClose), FieldAt(d / "F1.DAT", 21, kClose) + 0.01f);
         },
         K::kRepeatedDate, C::kDamage, "F1.DAT"},
        {"DateBeyond2199", Base::kPlain,
         [](const fs::path& d) { checktest::PutMbf(d / "F1.DAT", QuoteField(kAaaLength, 30, 1), 3001231.0f); },
         K::kDateOutOfRange, C::kDamage, "F1.DAT"},
        {"NoRealForm", Base::kPlain,
         [](const fs::path& d) { checktest::Put(d / "F1.DAT", QuoteField(kAaaLength, 30, kClose), {0, 0, 0x80, 0}); },
         K::kNoRealForm, C::kDamage, "F1.DAT"},
        {"MasterFirstDate", Base::kPlain,
         [](const fs::path& d) {
             checktest::PutMbf(d / "MASTER", kMasterRecordSize + kMasterFirstDateOffset, DateToReal(checktest::PlainDate(1)));
         },
         K::kIndexDate, C::kDamage, "MASTER"},
        {"EmasterLastDate", Base::kExtended,
         [](const fs::path& d) {
             std::vector<std::uint8_t> b(4);
             PutIeeeFloat(b.data(), 1150101.0f);
             checktest::Put(d / "EMASTER", kEmasterRecordSize + kEmasterLastDateOffset, b);
         },
         K::kIndexDate, C::kDamage, "EMASTER"},
        {"XmasterLastDate", Base::kXmaster,
         [](const fs::path& d) {
             std::vector<std::uint8_t> b(4);
             PutI32(b.data(), 20150101);
             checktest::Put(d / "XMASTER", kXmasterRecordSize + kXmasterLastDateOffset, b);
         },
         K::kIndexDate, C::kDamage, "XMASTER"},
        {"HighBelowLow", Base::kPlain,
         [](const fs::path& d) {
             checktest::PutMbf(d / "F1.DAT", QuoteField(kAaaLength, 15, kHigh), FieldAt(d / "F1.DAT", 15, kLow) - 0.1f);
         },
         K::kHighBelowLow, C::kSuspect, "F1.DAT"},
        {"CloseAboveHigh", Base::kPlain,
         [](const fs::path& d) {
             checktest::PutMbf(d / "F1.DAT", QuoteField(kAaaLength, 15, kClose), FieldAt(d / "F1.DAT", 15, kHigh) + 0.2f);
         },
         K::kOutsideRange, C::kSuspect, "F1.DAT"},
        {"ZeroOpen", Base::kPlain,
         [](const fs::path& d) { checktest::PutMbf(d / "F1.DAT", QuoteField(kAaaLength, 15, kOpen), 0.0f); },
         K::kZeroPrice, C::kSuspect, "F1.DAT"},
        {"NegativeClose", Base::kPlain,
         [](const fs::path& d) { checktest::PutMbf(d / "F1.DAT", QuoteField(kAaaLength, 15, kClose), -1.0f); },
         K::kNegativeClose, C::kSuspect, "F1.DAT"},
        {"NegativeVolume", Base::kPlain,
         [](const fs::path& d) { checktest::PutMbf(d / "F1.DAT", QuoteField(kAaaLength, 15, kVol), -5.0f); },
         K::kNegativeVolume, C::kSuspect, "F1.DAT"},
        {"ThirteenWeekdaysMissing", Base::kPlain,
         [](const fs::path& d) { checktest::DropQuotes(d / "F1.DAT", kAaaLength, 30, 42); }, K::kGap, C::kSuspect,
         "F1.DAT"},
        {"UnrecordedSplit", Base::kPlain,
         [](const fs::path& d) {
             for (int q = 0; q < 30; ++q)
                 for (int c : {kOpen, kHigh, kLow, kClose})
                     checktest::PutMbf(d / "F1.DAT", QuoteField(kAaaLength, q, c), 2 * FieldAt(d / "F1.DAT", q, c));
         },
         K::kSplitCandidate, C::kSuspect, "F1.DAT"},
        {"DatTemporary", Base::kPlain, [](const fs::path& d) { fs::copy_file(d / "F1.DAT", d / "F1.NEW"); },
         K::kTemporaryFile, C::kLeftover, "F1.NEW"},
        {"MasterTemporary", Base::kPlain, [](const fs::path& d) { fs::copy_file(d / "MASTER", d / "MASTER.~NU"); },
         K::kTemporaryFile, C::kLeftover, "MASTER.~NU"},
        {"BackupNewerThanMaster", Base::kPlain,
         [](const fs::path& d) {
             fs::copy_file(d / "MASTER", d / "MASTER.BAK");
             fs::last_write_time(d / "MASTER.BAK", fs::last_write_time(d / "MASTER") + std::chrono::hours(1));
         },
         K::kNewerBackup, C::kLeftover, "MASTER.BAK"},
    };
    return cases;
}

std::string Describe(const std::vector<Finding>& findings) {
    std::string out;
    for (const Finding& f : findings) out += "\n  " + FindingLine(f);
    return out;
}

robustness::DirectoryContent Content(const fs::path& dir) {
    auto content = robustness::ReadDirectory(dir);
    content.erase(std::string(kLockFileName));
    return content;
}

class PlantedDamage : public ::testing::TestWithParam<Planted> {
protected:
    void SetUp() override {
        checktest::CopyPortfolio(GetParam().base, dir.path());
        GetParam().plant(dir.path());
    }
    testing::TempDir dir;
};

// Each clean portfolio is planted into: a finding of the clean one would be a second one.
TEST_P(PlantedDamage, IsFoundOnceWithItsClass) {
    const Planted& c = GetParam();
    const CheckReport report = CheckPortfolio(dir.str());
    ASSERT_EQ(report.status, kSuccess);
    EXPECT_GT(report.securities, 0);
    ASSERT_EQ(report.findings.size(), 1u) << Describe(report.findings);
    const Finding& f = report.findings[0];
    EXPECT_EQ(KindName(f.kind), KindName(c.kind));
    EXPECT_EQ(ClassName(f.cls), ClassName(c.cls));
    EXPECT_EQ(f.file, c.file);
    EXPECT_EQ(f.directory, dir.str());
    EXPECT_FALSE(f.what.empty());
}

class PlantedRepair : public PlantedDamage {};

TEST_P(PlantedRepair, LeavesACleanPortfolioThatUndoPutsBack) {
    const Planted& c = GetParam();
    const CheckReport before = CheckPortfolio(dir.str());
    ASSERT_EQ(before.findings.size(), 1u) << Describe(before.findings);
    ASSERT_TRUE(IsRepairable(before.findings[0]));
    const auto planted = Content(dir.path());

    const RepairOutcome outcome = RepairFindings(before.findings);
    ASSERT_EQ(outcome.result.status, kSuccess) << (outcome.failures.empty() ? "" : outcome.failures[0]);
    EXPECT_TRUE(outcome.failures.empty());
    EXPECT_FALSE(outcome.result.changes.empty());

    const CheckReport after = CheckPortfolio(dir.str());
    EXPECT_TRUE(after.findings.empty()) << c.name << Describe(after.findings);

    // The readers list the portfolio and read every quote of every security.
    const SymbolListing listing = ListSymbols(MasterPathOf(dir.str()));
    EXPECT_TRUE(JudgeListing(listing).shown) << JudgeListing(listing).refusal;
    for (const SymbolRow& row : listing.rows) {
        SeriesCursor cursor;
        ASSERT_EQ(cursor.open(row.id, row.record), kSuccess) << row.symbol;
        QuoteSeries series;
        ASSERT_EQ(AllocSeries(series, std::max(cursor.total(), 1)), kSuccess);
        if (cursor.total() > 0) {
            ASSERT_EQ(cursor.read(series, 0, cursor.total()), kSuccess) << row.symbol;
            EXPECT_EQ(series.count, cursor.total()) << row.symbol;
        }
    }

    // The change list takes the repair back to the very bytes planted.
    ASSERT_EQ(UndoChanges(outcome.result.changes), kSuccess);
    EXPECT_EQ(Content(dir.path()), planted);
}


// A repair that fails at any step that puts data on disk leaves every file as it was,
// backups included.
class RepairWriteFailure : public ::testing::TestWithParam<Planted> {};

TEST_P(RepairWriteFailure, LeavesEveryFileAsItWas) {
    const Planted& c = GetParam();
    auto prepare = [&](const fs::path& dir) {
        checktest::CopyPortfolio(c.base, dir);
        c.plant(dir);
        return CheckPortfolio(dir.string()).findings;
    };
    testing::TempDir probe;
    const auto findings = prepare(probe.path());
    ASSERT_EQ(findings.size(), 1u);
    ASSERT_TRUE(IsRepairable(findings[0]));
    robustness::FaultyFileSystem counter;
    ASSERT_EQ(RepairFindings(findings, counter).result.status, kSuccess);

    int fired = 0;
    // The steps that put data on disk, and the removal of a leftover.
    std::vector<robustness::Step> steps(robustness::kWritingSteps.begin(), robustness::kWritingSteps.end());
    steps.push_back(robustness::Step::kRemove);
    for (robustness::Step step : steps) {
        for (int n = 1; n <= counter.count(step); ++n) {
            testing::TempDir dir;
            const auto planted = prepare(dir.path());
            const auto before = Content(dir.path());
            robustness::FaultyFileSystem faulty(step, n);
            const RepairOutcome outcome = RepairFindings(planted, faulty);
            if (!faulty.fired()) continue;
            ++fired;
            // A removal that fails may be one the repair does without (a temporary name of
            // its own); a write that fails never is.
            if (step == robustness::Step::kRemove && outcome.result.status == kSuccess) continue;
            EXPECT_NE(outcome.result.status, kSuccess) << robustness::StepName(step) << " " << n;
            EXPECT_EQ(Content(dir.path()), before) << robustness::StepName(step) << " " << n << " at "
                                                   << faulty.firedPath();
        }
    }
    EXPECT_GT(fired, 0);
}

std::vector<Planted> RepairableCases() {
    std::vector<Planted> out;
    for (const Planted& c : PlantedCases())
        if (IsRepairable(c.kind)) out.push_back(c);
    return out;
}

INSTANTIATE_TEST_SUITE_P(Check, PlantedDamage, ::testing::ValuesIn(PlantedCases()),
                         [](const auto& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(Check, PlantedRepair, ::testing::ValuesIn(RepairableCases()),
                         [](const auto& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(Check, RepairWriteFailure, ::testing::ValuesIn(RepairableCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Several findings of one quote file are mended by one rewrite, and the dates follow.
TEST(CheckRepair, OrderRepeatsAndCountOfOneFileTogether) {
    testing::TempDir dir;
    checktest::CopyPortfolio(Base::kPlain, dir.path());
    const fs::path dat = dir.path() / "F1.DAT";
    SwapQuotes(dat, kAaaLength, 0, 1);                    // the first quote out of order
    checktest::CopyQuote(dat, kAaaLength, 40, 41);        // a repeated quote
    checktest::Truncate(dat, 61 * kAaaLength - 5);        // the last record cut
    const CheckReport before = CheckPortfolio(dir.str());
    ASSERT_GE(before.findings.size(), 2u) << Describe(before.findings);
    const RepairOutcome outcome = RepairFindings(before.findings);
    ASSERT_EQ(outcome.result.status, kSuccess);
    EXPECT_TRUE(CheckPortfolio(dir.str()).findings.empty()) << Describe(CheckPortfolio(dir.str()).findings);
    // The cut record is kept aside, not dropped; the quotes are one fewer than whole ones.
    EXPECT_EQ(checktest::Bytes(dir.path() / "F1.TRL").size(), static_cast<std::size_t>(kAaaLength - 5));
    EXPECT_EQ(checktest::Bytes(dat).size(), static_cast<std::size_t>(59 * kAaaLength));
    EXPECT_EQ(DateFromReal(FieldAt(dat, 0, 1)), checktest::PlainDate(0));
}

// A data file MASTER lost its record for is added back under the symbol and name its
// stray EMASTER record still holds, with its dates; one whose size does not fit its header
// is refused and nothing is written.
TEST(CheckRepair, AnUnlistedDataFileComesBackUnderItsEmasterNames) {
    testing::TempDir dir;
    checktest::CopyPortfolio(Base::kExtended, dir.path());
    const std::string master = MasterPathOf(dir.str() + "/").string();
    const SymbolListing whole = ListSymbols(master);
    ASSERT_GE(whole.rows.size(), 2u);
    const SymbolRow lost = whole.rows.back();
    // Its stray EMASTER name holds a Latin-1 letter, offered as UTF-8 and stored as Latin-1.
    const std::size_t stray = static_cast<std::size_t>(lost.position) * kEmasterRecordSize;
    checktest::Put(dir.path() / "EMASTER", stray + kEmasterNameOffset, {'C', 'A', 'F', 0xC9, 0});
    checktest::Put(dir.path() / "EMASTER", stray + kEmasterLongNameOffset, std::vector<std::uint8_t>(kEmasterLongNameSize, 0));
    checktest::PutI16At(dir.path() / "MASTER", 0, static_cast<std::int16_t>(whole.rows.size() - 1));
    checktest::Truncate(dir.path() / "MASTER", whole.rows.size() * kMasterRecordSize);

    const CheckReport before = CheckPortfolio(dir.str());
    auto unlisted = std::find_if(before.findings.begin(), before.findings.end(),
                                 [](const Finding& f) { return f.kind == K::kUnlistedDataFile; });
    ASSERT_NE(unlisted, before.findings.end()) << Describe(before.findings);
    EXPECT_EQ(SuggestedNames(*unlisted).symbol, TrimPadding(lost.symbol));
    EXPECT_EQ(SuggestedNames(*unlisted).name, "CAF\xC3\x89");
    const RepairOutcome outcome = RepairFindings(before.findings);
    ASSERT_EQ(outcome.result.status, kSuccess) << (outcome.failures.empty() ? "" : outcome.failures[0]);
    EXPECT_TRUE(CheckPortfolio(dir.str()).findings.empty()) << Describe(CheckPortfolio(dir.str()).findings);
    const SymbolListing after = ListSymbols(master);
    ASSERT_EQ(after.rows.size(), whole.rows.size());
    EXPECT_EQ(after.rows.back().symbol, lost.symbol);
    EXPECT_EQ(SecurityName(after.rows.back().record), "CAF\xC9");
    EXPECT_EQ(after.rows.back().record.fileNumber(), lost.record.fileNumber());
    EXPECT_EQ(std::memcmp(after.rows.back().record.bytes.data() + kMasterFirstDateOffset,
                          lost.record.bytes.data() + kMasterFirstDateOffset, 8), 0);

    // A file whose size is no whole number of the records its header counts.
    checktest::Append(dir.path() / "F1.DAT", std::vector<std::uint8_t>(3, 0));
    fs::copy_file(dir.path() / "F1.DAT", dir.path() / "F9.DAT");
    const auto kept = Content(dir.path());
    std::string refusal;
    EXPECT_EQ(AdoptDataFile(dir.str(), "F9.DAT", {"NEW", "NEW"}, RealFileSystem(), &refusal), kInvalidParm);
    EXPECT_NE(refusal.find("record length"), std::string::npos) << refusal;
    EXPECT_EQ(Content(dir.path()), kept);
    // A symbol the index files cannot hold is refused the same way.
    fs::remove(dir.path() / "F9.DAT");
    fs::copy_file(dir.path() / "F2.DAT", dir.path() / "F9.DAT");
    const auto kept2 = Content(dir.path());
    EXPECT_EQ(AdoptDataFile(dir.str(), "F9.DAT", {"", "NO SYMBOL"}, RealFileSystem(), &refusal), kInvalidParm);
    EXPECT_EQ(Content(dir.path()), kept2);
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
    std::map<std::string, int> kinds;
    for (const Finding& f : report.findings) ++kinds[std::string(KindName(f.kind))];
    EXPECT_EQ(kinds, GetParam().kinds);
}

INSTANTIATE_TEST_SUITE_P(Check, RealDatabase,
                         ::testing::Values(
                             RealDb{"bbfinance-inconsistent",
                                    {{"emaster-disagrees", 1}, {"xmaster-broken", 1}, {"index-date", 44},
                                     {"zero-price", 1}}},
                             RealDb{"equis-italy-intraday", {}},
                             // Quotes as its vendor wrote them: opens outside the day's range on
                             // a few days, sporadic zero prices, thin series with gaps and warrants
                             // whose closes jump.
                             RealDb{"equis-italy",
                                    {{"outside-range", 90}, {"gap", 22}, {"zero-price", 260},
                                     {"split-candidate", 22}}},
                             RealDb{"mininge-dop",
                                    {{"master-count", 1}, {"blank-symbol", 25}, {"repeated-quote", 35},
                                     {"index-date", 37}, {"gap", 405}, {"split-candidate", 116},
                                     {"repeated-date", 19}, {"no-real-form", 2}, {"out-of-order", 8},
                                     {"outside-range", 14}, {"high-below-low", 13}, {"missing-data-file", 1}}},
                             RealDb{"equis-xmaster-mini", {{"index-date", 6}}},
                             RealDb{"stooq-intraday", {{"index-date", 1}}}),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             std::replace(n.begin(), n.end(), '-', '_');
                             return n;
                         });

TEST(RealDatabaseRepair, BbfinanceKeepsOnlyWhatIsNotMechanical) {
    testing::TempDir dir;
    if (!testing::CopyRealDb("bbfinance-inconsistent", dir.path())) GTEST_SKIP();
    const RepairOutcome outcome = RepairFindings(CheckPortfolio(dir.str()).findings);
    EXPECT_EQ(outcome.result.status, kSuccess) << (outcome.failures.empty() ? "" : outcome.failures[0]);
    std::map<std::string, int> kinds;
    for (const Finding& f : CheckPortfolio(dir.str()).findings) ++kinds[std::string(KindName(f.kind))];
    EXPECT_EQ(kinds, (std::map<std::string, int>{{"xmaster-broken", 1}, {"zero-price", 1}}));
    // The rebuilt EMASTER agrees with MASTER and keeps the long names it had.
    const MasterFile master = ReadMasterFile(dir.str());
    EXPECT_EQ(master.emaster, ExtIndexState::kSound);
}

// ----- the demo's DAMAGED portfolio -----

TEST(DamagedDemo, HoldsOneCaseOfEveryFindingAndRepairsToTheRest) {
    testing::TempDir root;
    const fs::path dir = root.path() / std::string(kDamagedPortfolioName);
    ASSERT_EQ(WriteDamagedPortfolio(dir).status, kSuccess);
    std::map<std::string, int> kinds, expected, left;
    for (const Finding& f : CheckPortfolio(dir.string()).findings) ++kinds[std::string(KindName(f.kind))];
    for (int k = 0; k <= static_cast<int>(K::kNewerBackup); ++k) {
        const auto kind = static_cast<FindingKind>(k);
        if (kind == K::kUnreadableDataFile) continue;  // every file can be read here
        expected[std::string(KindName(kind))] = 1;
        if (!IsRepairable(kind)) left[std::string(KindName(kind))] = 1;
    }
    EXPECT_EQ(kinds, expected);

    const RepairOutcome outcome = RepairFindings(CheckPortfolio(dir.string()).findings);
    EXPECT_EQ(outcome.result.status, kSuccess) << (outcome.failures.empty() ? "" : outcome.failures[0]);
    // The repairs' MASTER rewrites keep MASTER as it was as a new MASTER.BAK, older than MASTER.
    left.erase(std::string(KindName(K::kNewerBackup)));
    kinds.clear();
    for (const Finding& f : CheckPortfolio(dir.string()).findings) ++kinds[std::string(KindName(f.kind))];
    EXPECT_EQ(kinds, left);
}

// ----- texts and counting -----

TEST(CheckTexts, WeekdaysBetweenAndTemporaryNames) {
    const struct {
        int y1, m1, d1, y2, m2, d2;
        int weekdays;
    } spans[] = {
        {2015, 1, 9, 2015, 1, 12, 0},   // Friday to Monday
        {2015, 1, 5, 2015, 1, 6, 0},    // Monday to Tuesday
        {2015, 1, 5, 2015, 1, 7, 1},    // Monday to Wednesday
        {2015, 1, 5, 2015, 1, 12, 4},   // Monday to the next Monday
        {2015, 1, 10, 2015, 1, 12, 0},  // Saturday to Monday
        {2015, 1, 5, 2015, 1, 26, 14},  // three weeks
        {1928, 10, 1, 1928, 10, 8, 4},  // before 1961
        {2016, 2, 26, 2016, 3, 1, 1},   // across a leap day
    };
    for (const auto& c : spans)
        EXPECT_EQ(WeekdaysBetween(MakeDate(c.y1, c.m1, c.d1), MakeDate(c.y2, c.m2, c.d2)), c.weekdays)
            << c.y1 << "-" << c.m1 << "-" << c.d1 << " to " << c.y2 << "-" << c.m2 << "-" << c.d2;
    const std::pair<const char*, bool> names[] = {
        {"F3.NEW", true},  {"master.~nu", true}, {"EMASTER.NEW-2", true}, {"F3.DAT.NEW", true},
        {"F3.BAK", false}, {".NEW", false},      {"F3.NEW-x", false},     {"F3.DAT", false},
    };
    for (const auto& [file, temporary] : names) EXPECT_EQ(IsTemporaryFileName(file), temporary) << file;
}

TEST(CheckTexts, QuoteFindingNamesItsQuoteAndTheEditToMakeIt) {
    testing::TempDir dir;
    checktest::CopyPortfolio(Base::kPlain, dir.path());
    checktest::PutMbf(dir.path() / "F3.DAT", QuoteField(32, 8, 7), -3.0f);  // VOL of an intraday bar
    const auto findings = CheckPortfolio(dir.str()).findings;
    ASSERT_EQ(findings.size(), 1u) << Describe(findings);
    const Finding& f = findings[0];
    EXPECT_EQ(f.symbol, "CCC");
    EXPECT_EQ(FindingPlace(f), "quote 9 (01/06/2015 09:40:00)");
    EXPECT_EQ(EditQuoteHint(f), "edit-quote " + dir.str() + " --file 3 01/06/2015 --time 09:40:00");
    const std::string json = FindingJson(f);
    EXPECT_NE(json.find("\"class\":\"suspect\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"date\":\"2015-01-06\",\"time\":\"09:40:00\""), std::string::npos) << json;
}

}  // namespace
}  // namespace barwise
