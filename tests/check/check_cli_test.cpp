// barwise-cli check: what it prints and the exit status of a file-system checker.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "check/checkbed.h"
#include "check/portfoliocheck.h"
#include "cli/clirun.h"
#include "datafiles/master.h"
#include "testsupport/tempdir.h"

namespace barwise {
namespace {

using checktest::Base;
using testing::Cli;
using testing::Lines;

void SwapFirstQuotes(const fs::path& dir) { checktest::SwapQuotes(dir / "F1.DAT", 28, 0, 1); }
void NegativeVolume(const fs::path& dir) { checktest::PutMbf(dir / "F1.DAT", checktest::QuoteField(28, 15, 6), -5); }
void Nothing(const fs::path&) {}
// MASTER's first record without a symbol and without the name a repair would take one from.
void NamelessBlankSymbol(const fs::path& dir) {
    checktest::Put(dir / "MASTER", kMasterRecordSize + kMasterNameOffset, std::vector<std::uint8_t>(16, ' '));
    checktest::Put(dir / "MASTER", kMasterRecordSize + kMasterSymbolOffset, std::vector<std::uint8_t>(14, ' '));
}

struct CliCase {
    const char* name;
    std::function<void(const fs::path&)> plant;
    std::vector<std::string> options;  // after DIR
    int status;
    const char* out;  // a text standard output holds ("" for none)
    int outLines;     // lines on standard output, -1 when not counted
    bool changed;     // whether the portfolio's files changed
    const char* typed = nullptr;  // the answer typed at a terminal, if asked
};

class CheckCli : public ::testing::TestWithParam<CliCase> {};

TEST_P(CheckCli, StatusAndOutput) {
    const CliCase& c = GetParam();
    testing::TempDir dir;
    checktest::CopyPortfolio(Base::kPlain, dir.path());
    c.plant(dir.path());
    const auto before = checktest::Bytes(dir.path() / "F1.DAT");
    std::vector<std::string> args = {"check", dir.str()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const auto r = Cli(args, c.typed);
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    if (std::find(args.begin(), args.end(), "--json") != args.end()) {
        for (const std::string& line : Lines(r.out)) EXPECT_TRUE(line.rfind('{', 0) == 0) << r.out;
    }
    if (*c.out) {
        EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
    }
    if (c.outLines >= 0) {
        EXPECT_EQ(static_cast<int>(Lines(r.out).size()), c.outLines) << r.out;
    }
    EXPECT_EQ(checktest::Bytes(dir.path() / "F1.DAT") != before, c.changed);
}

INSTANTIATE_TEST_SUITE_P(
    Check, CheckCli,
    ::testing::Values(
        CliCase{"Clean", Nothing, {}, 0, "", 0, false},
        CliCase{"SuspectSaysHowToEdit", NegativeVolume, {}, 1, "to edit: barwise-cli edit-quote", 2, false},
        CliCase{"DamageMarkedRepairable", SwapFirstQuotes, {}, 1, "[repairable]", -1, false},
        CliCase{"JsonOneObjectPerFinding", SwapFirstQuotes, {"--json"}, 1, "\"kind\":\"out-of-order\"", 2, false},
        CliCase{"RepairNeedsYesOffTerminal", SwapFirstQuotes, {"--repair"}, 2, "", -1, false},
        CliCase{"RepairMendsAndEndsClean", SwapFirstQuotes, {"--repair", "--yes"}, 0, "after repair:", -1, true},
        // Quote 3 a copy of quote 1: sorted into order, the two stand side by side, a repeat
        // the repair takes out as well.
        CliCase{"RepairOfASortThatMeetsARepeatEndsClean", [](const fs::path& d) { checktest::CopyQuote(d / "F1.DAT", 28, 1, 3); },
                {"--repair", "--yes"}, 0, "after repair:", 2, true},
        CliCase{"RepairJsonStaysJson", SwapFirstQuotes, {"--repair", "--yes", "--json"}, 0, "", -1, true},
        CliCase{"RepairAnsweredYes", SwapFirstQuotes, {"--repair"}, 0, "after repair:", -1, true, "yes\n"},
        CliCase{"RepairAnsweredNo", SwapFirstQuotes, {"--repair"}, 1, "", -1, false, "n\n"},
        CliCase{"RepairNotAnswered", SwapFirstQuotes, {"--repair"}, 1, "", -1, false, ""},
        // Nothing offered that the repair cannot do: the finding stays, unmarked.
        CliCase{"BlankSymbolWithoutANameIsNotOffered", NamelessBlankSymbol, {"--repair", "--yes"}, 1,
                "no name to take one from), found \"\"\n", -1, false},
        CliCase{"SuspectDataIsNeverRepaired", NegativeVolume, {"--repair", "--yes"}, 1, "to edit:", -1, false},
        CliCase{"YesWithoutRepair", Nothing, {"--yes"}, 2, "", 0, false},
        CliCase{"GapOption", [](const fs::path& d) { checktest::DropQuotes(d / "F1.DAT", 28, 30, 35); },
                {"--max-gap", "5"}, 1, "6 weekdays", 2, false},
        CliCase{"GapWithinDefault", [](const fs::path& d) { checktest::DropQuotes(d / "F1.DAT", 28, 30, 35); }, {},
                0, "", 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CheckCliErrors, NoPortfolioIsAnIoError) {
    testing::TempDir dir;
    const auto r = Cli({"check", (dir.path() / "none").string()});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(Cli({"check", dir.str(), "--below"}).status, 2);
}

TEST(CheckCliBelow, ChecksEveryPortfolioBelowTheRoot) {
    testing::TempDir root;
    checktest::CopyPortfolio(Base::kPlain, root.path() / "ONE");
    checktest::CopyPortfolio(Base::kPlain, root.path() / "TWO");
    NegativeVolume(root.path() / "TWO");
    const auto r = Cli({"check", root.str(), "--below", "--json"});
    EXPECT_EQ(r.status, 1) << r.err;
    ASSERT_EQ(Lines(r.out).size(), 1u) << r.out;
    EXPECT_NE(r.out.find((root.path() / "TWO").string()), std::string::npos);
    EXPECT_NE(r.err.find((root.path() / "ONE").string() + ": clean"), std::string::npos) << r.err;
}

// A file no record lists is said to be added once the portfolio lists it, under its name.
TEST(CheckCliRepair, AnUnlistedFileIsSaidToBeAddedOnceListed) {
    testing::TempDir dir;
    checktest::CopyPortfolio(Base::kPlain, dir.path());
    fs::copy_file(dir.path() / "F1.DAT", dir.path() / "F9.DAT");
    const auto r = Cli({"check", dir.str(), "--repair", "--yes"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.err.find("F9.DAT is added as F9 (F9.DAT)\n"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace barwise
