// The real databases of ../shared/data/realdb through the command line: export --all where
// XMASTER lists securities or MASTER's header miscounts, and a security only XMASTER lists.
// That every security of every database reads is the readers' own test.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/clirun.h"
#include "testsupport/tempdir.h"

namespace barwise {
namespace {

using testing::Cli;
using testing::Lines;
using testing::TempDir;

const std::string kRealDb = BARWISE_REALDB_DIR;

TEST(CliRealDb, ExportAllTakesEveryListedSecurity) {
    if (!std::filesystem::is_directory(kRealDb)) GTEST_SKIP() << "no real databases at " << kRealDb;
    const struct {
        const char* db;
        int status;
        int files;
    } cases[] = {
        // A record after its header's count: the 25 records it counts, and a failure.
        {"mininge-dop", 1, 25},
        {"equis-italy", 0, 462},  // 255 in MASTER, 207 only in XMASTER
    };
    for (const auto& c : cases) {
        TempDir out;
        const auto r = Cli({"export", kRealDb + "/" + c.db, "--all", "-o", out.str()});
        EXPECT_EQ(r.status, c.status) << c.db << "\n" << r.err;
        const auto count = std::distance(std::filesystem::directory_iterator(out.path()), std::filesystem::directory_iterator());
        EXPECT_EQ(count, c.files) << c.db;
        if (c.status != 0) {
            EXPECT_NE(r.err.find("MASTER holds 26 records, its header says 25"), std::string::npos) << r.err;
            EXPECT_NE(r.err.find("; record 26 not exported\n"), std::string::npos) << r.err;
        }
    }
}

TEST(CliRealDb, AnXmasterSecurityIsListedAndDescribed) {
    if (!std::filesystem::is_directory(kRealDb)) GTEST_SKIP() << "no real databases at " << kRealDb;
    const std::string italy = kRealDb + "/equis-italy";
    const auto sym = Cli({"symbols", italy});
    EXPECT_EQ(sym.status, 0);
    EXPECT_EQ(Lines(sym.out).size(), 463u);  // a heading and 462 securities
    EXPECT_NE(sym.out.find("\nRCF,RCF GROUP,256,28,7,01/05/10,07/09/10,D,XMASTER\n"), std::string::npos);
    EXPECT_NE(sym.out.find(",FERROVIE NORD MILANO,151,28,7,01/04/10,07/09/10,D,MASTER\n"), std::string::npos);
    const auto facts = Cli({"facts", italy, "AUTME"});
    EXPECT_EQ(facts.status, 0) << facts.err;
    for (const char* line : {"\nFile number: 334\n", "\nName of issue: AUTOSTRADE MERIDIONALI\n",
                             "\nData file: F334.MWD\n", "\nListed in: XMASTER\n"})
        EXPECT_NE(facts.out.find(line), std::string::npos) << line << facts.out;
}

}  // namespace
}  // namespace barwise
