// Every subcommand of barwise-cli, run in-process on the demo database and on trees the
// tests build.
#include <gtest/gtest.h>

#include "cli/clirun.h"
#include "demo/demodb.h"
#include "discovery/portfoliosearch.h"
#include "discovery/testtree.h"

namespace barwise {
namespace {

using testing::Cli;
using testing::Lines;
using testing::ReadText;
using testing::TempDir;

class CliDemo : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Cli({"make-demo", tmp_.str() + "/demo"}).status, 0);
        demo_ = NormalizeSearchRoot(tmp_.str() + "/demo");
    }
    std::string Dir(const std::string& sub) const { return demo_ + testing::Native("/" + sub); }

    TempDir tmp_;
    std::string demo_;
};

TEST(CliUsage, HelpForEveryCommandAndUsageErrors) {
    const auto top = Cli({"--help"});
    EXPECT_EQ(top.status, 0);
    for (const CliCommand& c : CliCommands()) {
        const auto r = Cli({std::string(c.name), "--help"});
        EXPECT_EQ(r.status, 0) << c.name;
        EXPECT_NE(r.out.find(std::string(c.help)), std::string::npos) << c.name;
        EXPECT_NE(top.out.find(std::string(c.name)), std::string::npos);
    }
    const struct {
        std::vector<std::string> args;
        const char* said;
    } rows[] = {
        {{}, ""},
        {{"frobnicate"}, ""},
        {{"symbols"}, ""},
        {{"facts", "dir"}, ""},
        {{"facts", "dir", ""}, ""},
        {{"portfolios", "/", "--bogus"}, ""},
        {{"export", "dir"}, ""},                            // none of SYMBOL, --file, --all
        {{"export", "dir", "SYM", "--all", "-o", "x"}, ""},  // two of them
        {{"export", "dir", "--all"}, ""},                   // --all without -o
        {{"export", "dir", "SYM", "--delim", "semicolon"}, ""},
        {{"export", "dir", "SYM", "--omit", "open,volume"}, "volume"},
        {{"export", "dir", "--file", "x"}, ""},
    };
    for (const auto& r : rows) {
        const auto run = Cli(r.args);
        EXPECT_EQ(run.status, 2) << (r.args.empty() ? "" : r.args[0]) << run.err;
        EXPECT_NE(run.err.find(r.said), std::string::npos) << run.err;
    }
}

// What is not there: status 1, the reason, nothing on standard output.
TEST_F(CliDemo, WhatIsNotThereFails) {
    const struct {
        std::vector<std::string> args;
        const char* said;
    } rows[] = {
        {{"portfolios", demo_ + "/nonexistent"}, "File Not Found"},
        {{"symbols", demo_}, "MASTER: File Open"},
        {{"facts", Dir("STOCKS"), "NOSUCH"}, "File Not Found"},
        {{"export", Dir("STOCKS"), "NOSUCH"}, "File Not Found"},
    };
    for (const auto& r : rows) {
        const auto run = Cli(r.args);
        EXPECT_EQ(run.status, 1) << r.args[0];
        EXPECT_EQ(run.out, "") << r.args[0];
        EXPECT_NE(run.err.find(r.said), std::string::npos) << run.err;
    }
}

TEST_F(CliDemo, Portfolios) {
    const auto r = Cli({"portfolios", demo_});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, Dir("FUTURES") + "\n" + Dir("HISTORY") + "\n" + Dir("STOCKS") + "\n" + Dir("STOCKS/FUNDS") + "\n");
    EXPECT_EQ(Cli({"portfolios", demo_ + "/"}).out, r.out);
    // The filter reaches the search (its rules are the portfolio search's own tests).
    EXPECT_EQ(Cli({"portfolios", demo_, "--filter", Dir("FUTURES")}).out, Dir("FUTURES") + "\n");
    const auto none = Cli({"portfolios", demo_, "--filter", "/nowhere"});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "");
    EXPECT_NE(none.err.find("No master files found"), std::string::npos);
}

TEST_F(CliDemo, Symbols) {
    const auto r = Cli({"symbols", Dir("STOCKS")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "SYMBOL,NAME,FILE,RECLEN,FIELDS,FIRST,LAST,PERIOD,INDEX\n"
              "ACME,ACME CORP,1,28,7,01/02/13,07/02/24,D,MASTER\n"
              "BOLT,BOLT MOTORS,2,24,6,01/02/13,12/20/22,D,MASTER\n"
              "CRNE,CRANE SHIPPING,3,20,5,01/04/16,10/01/21,D,MASTER\n"
              "DYNA,DYNAMO MINING,4,20,5,01/04/16,10/01/21,D,MASTER\n"
              "ELMWOOD BANCORP,ELMWOOD BANCORP,5,24,6,01/02/18,08/08/22,D,MASTER\n"
              "FUNDS,FUNDS      <DIR>,0,0,0,00/00/00,00/00/00,D,MASTER\n"
              "GLBX,GLOBEX TELECOM,6,28,7,01/02/19,05/15/24,D,MASTER\n");
    // Read-only: the blank symbol field stays blank.
    const std::string before = ReadText(Dir("STOCKS") + "/MASTER");
    Cli({"symbols", Dir("STOCKS")});
    EXPECT_EQ(ReadText(Dir("STOCKS") + "/MASTER"), before);
}

TEST_F(CliDemo, SymbolsQuotesCommas) {
    DemoPortfolio p;
    p.series = {testing::FlatSeries(1, "X,Y", "SMITH, JONES", 0)};
    ASSERT_TRUE(WritePortfolio(tmp_.path() / "odd", p));
    const auto r = Cli({"symbols", tmp_.str() + "/odd"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Lines(r.out).at(1), "\"X,Y\",\"SMITH, JONES\",1,24,6,00/00/00,00/00/00,D,MASTER");
}

TEST_F(CliDemo, Facts) {
    const auto r = Cli({"facts", Dir("STOCKS"), "glbx"});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 28u);
    EXPECT_EQ(lines[0], "Path: " + Dir("STOCKS"));
    EXPECT_EQ(lines[27], "Listed in: MASTER");
    // Found through the sub-directory entry; the path stays the one passed in.
    const auto sub = Cli({"facts", Dir("STOCKS"), "HRBR"});
    EXPECT_EQ(sub.status, 0);
    EXPECT_NE(sub.out.find("Data format: W Weekly\n"), std::string::npos);
}

TEST_F(CliDemo, ExportOptions) {
    const auto plain = Cli({"export", Dir("STOCKS"), "ACME"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.err, "");  // a file that agrees with its header is no warning
    const auto lines = Lines(plain.out);
    ASSERT_EQ(lines.size(), 3000u);
    EXPECT_EQ(lines[0].substr(0, 9), "01/02/13 ");
    EXPECT_EQ(lines[0].back(), '\r');

    const auto r = Cli({"export", Dir("STOCKS"), "--file", "2", "--delim", "comma", "--omit", "vol,open",
                        "--newest-first", "--title", "--iso"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto l = Lines(r.out);
    ASSERT_EQ(l.size(), 2601u);
    EXPECT_EQ(l[0], "DATE,HIGH,LOW,CLOSE,OI\r");
    EXPECT_EQ(l[1].substr(0, 11), "2022-12-20,");
    EXPECT_NE(l[1].find(",N/A\r"), std::string::npos);  // 24-byte records: no open interest
    EXPECT_EQ(l[2600].substr(0, 11), "2013-01-02,");

    // To a file, tab-delimited; "-o -" is standard output.
    const std::string file = tmp_.str() + "/out.txt";
    EXPECT_EQ(Cli({"export", Dir("STOCKS"), "ACME", "-o", file}).status, 0);
    EXPECT_EQ(ReadText(file), plain.out);
    EXPECT_EQ(Cli({"export", Dir("STOCKS"), "ACME", "-o", "-"}).out, plain.out);
    const auto tab = Cli({"export", Dir("STOCKS"), "ACME", "--delim", "tab"});
    EXPECT_EQ(Lines(tab.out)[0].find(' '), std::string::npos);

    // Never over a quote-data file.
    const std::string dat = Dir("STOCKS") + "/F1.DAT";
    const std::string before = ReadText(dat);
    EXPECT_EQ(Cli({"export", Dir("STOCKS"), "BOLT", "-o", dat}).status, 2);
    EXPECT_EQ(ReadText(dat), before);
}

TEST_F(CliDemo, ExportAll) {
    const std::string out = tmp_.str() + "/all";
    const auto r = Cli({"export", Dir("STOCKS"), "--all", "-o", out});
    ASSERT_EQ(r.status, 0) << r.err;
    for (int n = 1; n <= 6; ++n) {
        const auto single = Cli({"export", Dir("STOCKS"), "--file", std::to_string(n)});
        EXPECT_EQ(ReadText(out + "/F" + std::to_string(n) + ".txt"), single.out) << n;
    }
    EXPECT_FALSE(std::filesystem::exists(out + "/F0.txt"));  // the <DIR> entry holds no quotes
}

TEST_F(CliDemo, SplitSearch) {
    const auto r = Cli({"split-search", Dir("STOCKS")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "ACME possible 2 for 1 split on 02/05/20\nBOLT possible 1 for 3 split on 05/16/18\n");
    EXPECT_EQ(r.err, "");

    const std::string file = tmp_.str() + "/result.txt";
    EXPECT_EQ(Cli({"split-search", Dir("STOCKS"), "-o", file}).status, 0);
    EXPECT_EQ(ReadText(file), "ACME possible 2 for 1 split on 02/05/20\r\nBOLT possible 1 for 3 split on 05/16/18\r\n");

    const auto none = Cli({"split-search", Dir("FUTURES")});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, "No candidate splits found\n");
}

TEST_F(CliDemo, SplitSearchMessages) {
    DemoPortfolio p;
    p.series = {testing::FlatSeries(1, "ONE", "ONE QUOTE", 1), testing::FlatSeries(2, "GONE", "ONE QUOTE", 1)};
    ASSERT_TRUE(WritePortfolio(tmp_.path() / "msg", p));
    std::filesystem::remove(tmp_.path() / "msg" / "F2.DAT");
    const auto r = Cli({"split-search", tmp_.str() + "/msg"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("For symbol ONE\nSplitSearch cannot perform search\nas there are fewer than 2 quotes.\n"), std::string::npos);
    EXPECT_NE(r.err.find("For symbol GONE\nSplitSearch cannot read its quotes\n"), std::string::npos);
    EXPECT_NE(r.err.find("File Open"), std::string::npos);
    EXPECT_NE(r.err.find("No candidate splits found"), std::string::npos);
}

TEST_F(CliDemo, MakeDemoRefusesOtherDataAndRewritesItsOwn) {
    // Written again over itself: the same bytes.
    const std::string master = ReadText(Dir("STOCKS") + "/MASTER");
    const std::string dat = ReadText(Dir("STOCKS") + "/F1.DAT");
    EXPECT_EQ(Cli({"make-demo", demo_}).status, 0);
    EXPECT_EQ(ReadText(Dir("STOCKS") + "/MASTER"), master);
    EXPECT_EQ(ReadText(Dir("STOCKS") + "/F1.DAT"), dat);
    // --damaged adds a portfolio beside them in which check finds something.
    ASSERT_EQ(Cli({"make-demo", demo_, "--damaged"}).status, 0);
    EXPECT_EQ(Cli({"check", Dir("DAMAGED")}).status, 1);

    // A directory holding anything else is left alone.
    const std::string other = tmp_.str() + "/userdata";
    testing::WriteText(other + "/MASTER", "precious");
    const auto r = Cli({"make-demo", other});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("File Exists"), std::string::npos);
    EXPECT_EQ(ReadText(other + "/MASTER"), "precious");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(other), std::filesystem::directory_iterator()), 1);
}

}  // namespace
}  // namespace barwise
