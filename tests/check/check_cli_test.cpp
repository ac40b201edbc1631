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

using checktest::Base;
using testing::Cli;
using testing::Lines;

void Swap(const fs::path& dir) {
    checktest::SwapQuotes(dir / "F1.DAT", 28, 0, 1);
}
void NegVol(const fs::path& dir) {
    checktest::PutMbf(dir / "F1.DAT", checktest::QuoteField(28, 15, 6), -5);
}
void Gap6(const fs::path& dir) {
    checktest::DropQuotes(dir / "F1.DAT", 28, 30, 35);
}
void Unlisted(const fs::path& dir) {
    fs::copy_file(dir / "F1.DAT", dir / "F9.DAT");
}
void NoMaster(const fs::path& dir) {
    fs::remove(dir / "MASTER");
}
void None(const fs::path&) {}
// Two portfolios below the folder's own, the second with a suspect quote.
void TwoBelow(const fs::path& dir) {
    for (const char* sub : {"ONE", "TWO"}) checktest::CopyPortfolio(Base::kPlain, dir / sub);
    NegVol(dir / "TWO");
}

struct CliCase {
    const char* name;
    void (*plant)(const fs::path&);
    const char* options;  // after DIR, split at blanks
    const char* typed;    // the answer typed at a terminal (nullptr: not a terminal)
    int status;
    const char* says;  // a text standard output or error holds ("" for none)
    int outLines;      // lines on standard output, -1 when not counted
    bool changed;      // whether F1.DAT changed
};

const CliCase kCliCases[] = {
    {"Clean", None, "", nullptr, 0, "", 0, false},
    {"SuspectSaysHowToEdit", NegVol, "", nullptr, 1, "to edit: barwise-cli edit-quote", 2, false},
    {"DamageMarkedRepairable", Swap, "", nullptr, 1, "[repairable]", -1, false},
    {"JsonOneObjectPerFinding", Swap, "--json", nullptr, 1, "\"kind\":\"out-of-order\"", 2, false},
    {"RepairNeedsYesOffTerminal", Swap, "--repair", nullptr, 2, "", -1, false},
    {"RepairMendsAndEndsClean", Swap, "--repair --yes", nullptr, 0, "after repair:", -1, true},
    {"RepairJsonStaysJson", Swap, "--repair --yes --json", nullptr, 0, "", -1, true},
    {"RepairAnsweredYes", Swap, "--repair", "yes\n", 0, "after repair:", -1, true},
    {"RepairAnsweredNo", Swap, "--repair", "n\n", 1, "", -1, false},
    {"RepairNotAnswered", Swap, "--repair", "", 1, "", -1, false},
    {"SuspectDataIsNeverRepaired", NegVol, "--repair --yes", nullptr, 1, "to edit:", -1, false},
    // Said to be added once the portfolio lists it, under its name.
    {"UnlistedFileAdded", Unlisted, "--repair --yes", nullptr, 0,
     "F9.DAT is added as F9 (F9.DAT)\n", -1, false},
    {"YesWithoutRepair", None, "--yes", nullptr, 2, "", 0, false},
    {"GapOption", Gap6, "--max-gap 5", nullptr, 1, "6 weekdays", 2, false},
    {"GapWithinDefault", Gap6, "", nullptr, 0, "", 0, false},
    {"NoPortfolio", NoMaster, "", nullptr, 2, "", 0, false},
    {"EveryPortfolioBelow", TwoBelow, "--below --json", nullptr, 1, "ONE: clean", 1, false},
    {"NoPortfolioBelow", NoMaster, "--below", nullptr, 2, "", 0, false},
};

class CheckCli : public ::testing::TestWithParam<CliCase> {};

TEST_P(CheckCli, StatusAndOutput) {
    const CliCase& c = GetParam();
    testing::TempDir dir;
    checktest::CopyPortfolio(Base::kPlain, dir.path());
    c.plant(dir.path());
    const auto before = checktest::Bytes(dir.path() / "F1.DAT");
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
    EXPECT_EQ(checktest::Bytes(dir.path() / "F1.DAT") != before, c.changed);
}

INSTANTIATE_TEST_SUITE_P(Check, CheckCli, ::testing::ValuesIn(kCliCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace barwise
