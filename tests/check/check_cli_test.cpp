// barwise-cli check: what it prints and the exit status of a file-system checker. What each
// finding is and how it is mended is the check's own test.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "check/checkbed.h"
#include "check/portfoliocheck.h"
#include "cli/clirun.h"
#include "datafiles/master.h"
#include "testsupport/tempdir.h"

namespace barwise {
namespace {

namespace ct = checktest;
using ct::Base;
using testing::Cli;
using testing::Lines;

const ct::Plant kSwap = ct::SwapQuotes("F1.DAT", 28, 0, 1);
const ct::Plant kNegVol = ct::Mbf("F1.DAT", ct::QuoteField(28, 15, 6), -5);
const ct::Plant kGap6 = ct::DropQuotes("F1.DAT", 28, 30, 35);
const ct::Plant kUnlisted = ct::CopyAs("F1.DAT", "F9.DAT");
const ct::Plant kNone = [](const fs::path&) {};
const ct::Plant kNoMaster = [](const fs::path& dir) { fs::remove(dir / "MASTER"); };
// Two portfolios below the folder's own, the second with a suspect quote.
const ct::Plant kTwoBelow = [](const fs::path& dir) {
    for (const char* sub : {"ONE", "TWO"}) ct::CopyPortfolio(Base::kPlain, dir / sub);
    kNegVol(dir / "TWO");
};

struct CliCase {
    const char* name;
    ct::Plant plant;
    const char* options;  // after DIR, split at blanks
    const char* typed;    // the answer typed at a terminal (nullptr: not a terminal)
    int status;
    const char* says;  // a text standard output or error holds ("" for none)
    int outLines;      // lines on standard output, -1 when not counted
    bool changed;      // whether F1.DAT changed
};

const CliCase kCliCases[] = {
    {"Clean", kNone, "", nullptr, 0, "", 0, false},
    {"SuspectSaysHowToEdit", kNegVol, "", nullptr, 1, "to edit: barwise-cli edit-quote", 2, false},
    {"DamageMarkedRepairable", kSwap, "", nullptr, 1, "[repairable]", -1, false},
    {"JsonOneObjectPerFinding", kSwap, "--json", nullptr, 1, "\"kind\":\"out-of-order\"", 2, false},
    {"RepairNeedsYesOffTerminal", kSwap, "--repair", nullptr, 2, "", -1, false},
    {"RepairMendsAndEndsClean", kSwap, "--repair --yes", nullptr, 0, "after repair:", -1, true},
    {"RepairJsonStaysJson", kSwap, "--repair --yes --json", nullptr, 0, "", -1, true},
    {"RepairAnsweredYes", kSwap, "--repair", "yes\n", 0, "after repair:", -1, true},
    {"RepairAnsweredNo", kSwap, "--repair", "n\n", 1, "", -1, false},
    {"RepairNotAnswered", kSwap, "--repair", "", 1, "", -1, false},
    {"SuspectDataIsNeverRepaired", kNegVol, "--repair --yes", nullptr, 1, "to edit:", -1, false},
    // Said to be added once the portfolio lists it, under its name.
    {"UnlistedFileAdded", kUnlisted, "--repair --yes", nullptr, 0,
     "F9.DAT is added as F9 (F9.DAT)\n", -1, false},
    {"YesWithoutRepair", kNone, "--yes", nullptr, 2, "", 0, false},
    {"GapOption", kGap6, "--max-gap 5", nullptr, 1, "6 weekdays", 2, false},
    {"GapWithinDefault", kGap6, "", nullptr, 0, "", 0, false},
    {"NoPortfolio", kNoMaster, "", nullptr, 2, "", 0, false},
    {"EveryPortfolioBelow", kTwoBelow, "--below --json", nullptr, 1, "ONE: clean", 1, false},
    {"NoPortfolioBelow", kNoMaster, "--below", nullptr, 2, "", 0, false},
};

class CheckCli : public ::testing::TestWithParam<CliCase> {};

TEST_P(CheckCli, StatusAndOutput) {
    const CliCase& c = GetParam();
    testing::TempDir dir;
    ct::CopyPortfolio(Base::kPlain, dir.path());
    c.plant(dir.path());
    const auto before = ct::Bytes(dir.path() / "F1.DAT");
    std::vector<std::string> args = {"check", dir.str()};
    std::istringstream options(c.options);
    for (std::string o; options >> o;) args.push_back(o);
    const auto r = Cli(args, c.typed);
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    if (std::find(args.begin(), args.end(), "--json") != args.end()) {
        for (const std::string& line : Lines(r.out)) EXPECT_TRUE(line.rfind('{', 0) == 0) << r.out;
    }
    EXPECT_NE((r.out + r.err).find(c.says), std::string::npos) << r.out << r.err;
    if (c.outLines >= 0) {
        EXPECT_EQ(static_cast<int>(Lines(r.out).size()), c.outLines) << r.out;
    }
    EXPECT_EQ(ct::Bytes(dir.path() / "F1.DAT") != before, c.changed);
}

INSTANTIATE_TEST_SUITE_P(Check, CheckCli, ::testing::ValuesIn(kCliCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace barwise
