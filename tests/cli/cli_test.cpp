// Every subcommand of barwise-cli, run in-process on the demo database, on trees the tests
// build and on copies of the real databases: one run per command on what it reads or
// changes, and one table of what each refuses. What a change does to the quotes is the
// rewrite engine's test; what the lookup of SYMBOL or --file N takes is the selector test.
#include <gtest/gtest.h>

#include <filesystem>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "cli/clirun.h"
#include "commands/symbols/symboltestdb.h"
#include "demo/demodb.h"
#include "discovery/portfoliosearch.h"
#include "discovery/testtree.h"
#include "testsupport/testdb.h"

namespace barwise {
namespace {

namespace fs = std::filesystem;
using testing::Cli;
using testing::FileNumbers;
using testing::FlatSeries;
using testing::Lines;
using testing::ReadBytes;
using testing::ReadText;
using testing::Says;
using testing::Series;
using testing::Snapshot;
using testing::TempDir;

const std::string kRealDb = BARWISE_REALDB_DIR;

// Field i of an export line (fields apart by one blank).
std::string Field(const std::string& line, int i) {
    std::size_t start = 0;
    for (int k = 0; k < i; ++k) start = line.find(' ', start) + 1;
    return line.substr(start, line.find(' ', start) - start);
}

// ACME (F1.DAT, 28-byte records) runs from 01/02/13 to 07/02/24 on consecutive weekdays.
class CliDemo : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Cli({"make-demo", tmp_.str() + "/demo"}).status, 0);
        demo_ = NormalizeSearchRoot(tmp_.str() + "/demo");
        stocks_ = Dir("STOCKS");
        dat_ = fs::path(stocks_) / "F1.DAT";
    }
    std::string Dir(const std::string& sub) const { return demo_ + testing::Native("/" + sub); }
    // ACME's export lines, newest first.
    std::vector<std::string> Acme() const {
        return Lines(Cli({"export", stocks_, "ACME", "--newest-first"}).out);
    }

    TempDir tmp_;
    std::string demo_, stocks_;
    fs::path dat_;
    const std::string newest_ = "07/02/24", oldest_ = "01/02/13";
};

TEST(CliUsage, HelpForEveryCommand) {
    const auto top = Cli({"--help"});
    EXPECT_EQ(top.status, 0);
    for (const CliCommand& c : CliCommands()) {
        const auto r = Cli({std::string(c.name), "--help"});
        EXPECT_EQ(r.status, 0) << c.name;
        EXPECT_NE(r.out.find(std::string(c.help)), std::string::npos) << c.name;
        EXPECT_NE(top.out.find(std::string(c.name)), std::string::npos);
    }
}

// Status 2 for what is not understood, 1 for what is refused: the reason on standard error,
// nothing on standard output, and no file of the portfolios written.
TEST_F(CliDemo, RefusalsSayWhyAndChangeNothing) {
    const std::string s = stocks_, n = newest_, o = oldest_;
    const struct {
        std::vector<std::string> args;
        int status;
        const char* said;
    } rows[] = {
        {{}, 2, ""},
        {{"frobnicate"}, 2, ""},
        {{"symbols"}, 2, ""},
        {{"facts", s}, 2, ""},
        {{"facts", s, ""}, 2, "must not be empty"},
        {{"portfolios", "/", "--bogus"}, 2, ""},
        {{"export", s}, 2, "exactly one of"},  // none of SYMBOL, --file, --all
        {{"export", s, "ACME", "--all", "-o", "x"}, 2, "exactly one of"},  // two of them
        {{"export", s, "--all"}, 2, "-o DIRECTORY"},
        {{"export", s, "ACME", "--delim", "semicolon"}, 2, ""},
        {{"export", s, "ACME", "--omit", "open,volume"}, 2, "volume"},
        {{"export", s, "--file", "x"}, 2, ""},
        {{"export", s, "BOLT", "-o", dat_.string()}, 2, "refusing to write over a quote-data file"},
        {{"split", s, "ACME", n, "2"}, 2, "give DIR"},
        {{"rename-symbol", s, "ACME"}, 2, "NEWSYMBOL"},
        {{"copy-symbol", s, "BOLT", Dir("FUTURES"), "extra"}, 2, "DESTDIR"},
        {{"move-symbol", s, "ACME"}, 2, "DESTDIR"},
        {{"delete-symbol", s}, 2, "give SYMBOL"},
        // Dates and numbers are read whole. The 31st of June would roll over onto 07/01/24,
        // a quote the demo holds.
        {{"edit-quote", s, "ACME", "2024-06-31", "--close", "9"}, 2, "not a date"},
        {{"delete-quote", s, "ACME", "04/31/2020"}, 2, "not a date"},
        {{"adjust", s, "ACME", o, "2011-02-29"}, 2, "not a date"},
        {{"edit-quote", s, "ACME", n, "--close", "1,5"}, 2, "not a number"},
        {{"delete-quote", s, "--file", "0x1", n}, 2, "not a whole number"},
        // What is not there.
        {{"portfolios", demo_ + "/nonexistent"}, 1, "File Not Found"},
        {{"symbols", demo_}, 1, "MASTER: File Open"},
        {{"facts", s, "NOSUCH"}, 1, "File Not Found"},
        {{"edit-quote", s, "ACME", "01/01/1990", "--close", "9"}, 1, "no quote dated 01/01/90"},
        {{"delete-quote", s, "ACME", "01/01/1990"}, 1, "failure in delete quote for findrec"},
        {{"delete-quote", s, "ACME", n, "--time", "09:30:00"}, 1, "the series has no times"},
        // Values the files cannot hold, and texts MASTER cannot.
        {{"edit-quote", s, "ACME", n, "--vol", "1e39"}, 1, "Invalid Data Entered\n\n--vol"},
        {{"split", s, "ACME", n, "-1", "1"}, 1, "Invalid Data Entered\n\nNEW"},
        {{"split", s, "ACME", n, "1", "1,5"}, 1, "Invalid Data Entered\n\nOLD"},
        {{"adjust", s, "ACME", o, n, "--price", "1e38"}, 1, "Invalid Data Entered"},
        {{"adjust", s, "ACME", o, n, "--oi", "-1"}, 1, "--oi"},
        {{"rename-symbol", s, "ACME", "BOLT"}, 1, "Symbol BOLT is already used by BOLT (F2)"},
        {{"rename-symbol", s, "ACME", "bolt"}, 1, "already used by BOLT"},
        {{"rename-symbol", s, "ACME", "BOLT MOTORS"}, 1, "already used by BOLT"},  // BOLT's name
        {{"rename-symbol", s, "ACME", "AAB", "\xE2\x82\xAC"},
         1,
         "name cannot hold \"\xE2\x82\xAC\""},
        {{"delete-symbol", s, "ACME"}, 1, "give --yes"},  // no terminal to ask
    };
    const auto files = [&] { return std::pair{Snapshot(s), Snapshot(Dir("FUTURES"))}; };
    const auto before = files();
    for (const auto& r : rows) {
        const auto run = Cli(r.args);
        const std::string what =
            r.args.empty() ? "no arguments" : r.args[0] + " ... " + r.args.back();
        EXPECT_TRUE(Says(run, r.status, r.said)) << what << ": " << run.status << " " << run.err;
        EXPECT_EQ(run.out, "") << what;
        EXPECT_EQ(files(), before) << what;
    }
}

TEST_F(CliDemo, PortfoliosSymbolsAndFacts) {
    const auto r = Cli({"portfolios", demo_});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, Dir("FUTURES") + "\n" + Dir("HISTORY") + "\n" + Dir("STOCKS") + "\n" +
                         Dir("STOCKS/FUNDS") + "\n");
    EXPECT_EQ(Cli({"portfolios", demo_ + "/"}).out, r.out);
    // The filter reaches the search (its rules are the portfolio search's own tests).
    EXPECT_EQ(Cli({"portfolios", demo_, "--filter", Dir("FUTURES")}).out, Dir("FUTURES") + "\n");
    const auto none = Cli({"portfolios", demo_, "--filter", "/nowhere"});
    EXPECT_EQ(std::tie(none.status, none.out), std::tuple(0, ""));
    EXPECT_NE(none.err.find("No master files found"), std::string::npos);

    const std::string master = ReadText(Dir("STOCKS") + "/MASTER");
    const auto symbols = Cli({"symbols", stocks_});
    EXPECT_EQ(symbols.status, 0) << symbols.err;
    // A heading and one row to an entry (what each entry holds is the symbol list's test).
    const auto rows = Lines(symbols.out);
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[0], "SYMBOL,NAME,FILE,RECLEN,FIELDS,FIRST,LAST,PERIOD,INDEX");
    EXPECT_EQ(rows[1], "ACME,ACME CORP,1,28,7,01/02/13,07/02/24,D,MASTER");
    EXPECT_EQ(rows[6], "FUNDS,FUNDS      <DIR>,0,0,0,00/00/00,00/00/00,D,MASTER");
    EXPECT_EQ(ReadText(Dir("STOCKS") + "/MASTER"), master);  // the blank symbol field stays blank
    ASSERT_TRUE(testing::Portfolio(tmp_.path() / "odd", {FlatSeries(1, "X,Y", "SMITH, JONES", 0)}));
    EXPECT_EQ(Lines(Cli({"symbols", tmp_.str() + "/odd"}).out).at(1),
              "\"X,Y\",\"SMITH, JONES\",1,24,6,00/00/00,00/00/00,D,MASTER");
}

TEST_F(CliDemo, ExportAndSplitSearch) {
    const auto plain = Cli({"export", stocks_, "ACME"});
    // A file that agrees with its header is no warning.
    ASSERT_EQ(std::tie(plain.status, plain.err), std::tuple(0, ""));
    const auto lines = Lines(plain.out);
    ASSERT_EQ(lines.size(), 3000u);
    EXPECT_EQ(lines[0].substr(0, 9), "01/02/13 ");

    const auto r = Cli({"export", stocks_, "--file", "2", "--delim", "comma", "--omit", "vol,open",
                        "--newest-first", "--title", "--iso"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto l = Lines(r.out);
    ASSERT_EQ(l.size(), 2601u);
    EXPECT_EQ(l[0], "DATE,HIGH,LOW,CLOSE,OI\r");
    EXPECT_EQ(l[1].substr(0, 11), "2022-12-20,");
    EXPECT_EQ(Lines(Cli({"export", stocks_, "ACME", "--delim", "tab"}).out)[0].find(' '),
              std::string::npos);

    // To a file; "-o -" is standard output.
    const std::string file = tmp_.str() + "/out.txt";
    EXPECT_EQ(Cli({"export", stocks_, "ACME", "-o", file}).status, 0);
    EXPECT_EQ(ReadText(file), plain.out);
    EXPECT_EQ(Cli({"export", stocks_, "ACME", "-o", "-"}).out, plain.out);

    // --all: one file per security, each as its own export; the <DIR> entry holds no quotes.
    const std::string all = tmp_.str() + "/all";
    ASSERT_EQ(Cli({"export", stocks_, "--all", "-o", all}).status, 0);
    for (int f = 1; f <= 6; ++f) {
        const auto single = Cli({"export", stocks_, "--file", std::to_string(f)});
        EXPECT_EQ(ReadText(all + "/F" + std::to_string(f) + ".txt"), single.out) << f;
    }
    EXPECT_FALSE(fs::exists(all + "/F0.txt"));

    // The split search: to standard output and to a file, each with its own line ends.
    const auto found = Cli({"split-search", stocks_});
    const std::string acme = "ACME possible 2 for 1 split on 02/05/20";
    const std::string bolt = "BOLT possible 1 for 3 split on 05/16/18";
    EXPECT_EQ(std::tie(found.status, found.out, found.err),
              std::tuple(0, acme + "\n" + bolt + "\n", ""));
    EXPECT_EQ(Cli({"split-search", stocks_, "-o", file}).status, 0);
    EXPECT_EQ(ReadText(file), acme + "\r\n" + bolt + "\r\n");
    const auto none = Cli({"split-search", Dir("FUTURES")});
    EXPECT_EQ(std::tie(none.status, none.out, none.err),
              std::tuple(0, "", "No candidate splits found\n"));

    // A series too short to search and one that cannot be read are each named.
    ASSERT_TRUE(testing::Portfolio(tmp_.path() / "msg", {FlatSeries(1, "ONE", "ONE QUOTE", 1),
                                                         FlatSeries(2, "GONE", "ONE QUOTE", 1)}));
    fs::remove(tmp_.path() / "msg" / "F2.DAT");
    const auto failed = Cli({"split-search", tmp_.str() + "/msg"});
    EXPECT_EQ(std::tie(failed.status, failed.out), std::tuple(1, ""));
    for (const char* said :
         {"For symbol ONE\nSplitSearch cannot perform search\nas there are fewer than 2 quotes.\n",
          "For symbol GONE\nSplitSearch cannot read its quotes\n", "File Open",
          "No candidate splits found"})
        EXPECT_NE(failed.err.find(said), std::string::npos) << failed.err;
}

TEST_F(CliDemo, MakeDemoRefusesOtherDataAndRewritesItsOwn) {
    // Written again over itself: the same bytes.
    const auto stocks = Snapshot(stocks_);
    EXPECT_EQ(Cli({"make-demo", demo_}).status, 0);
    EXPECT_EQ(Snapshot(stocks_), stocks);

    // A directory holding anything else is left alone.
    const std::string other = tmp_.str() + "/userdata";
    testing::WriteText(other + "/MASTER", "precious");
    const auto r = Cli({"make-demo", other});
    EXPECT_TRUE(Says(r, 1, "File Exists")) << r.err;
    EXPECT_EQ(ReadText(other + "/MASTER"), "precious");
    EXPECT_EQ(std::distance(fs::directory_iterator(other), fs::directory_iterator()), 1);
}

// Each subcommand changes the field and the quotes it names. (Edits, deletes and adds of
// quotes by many processes at once, and what each left, are the concurrency harness's.)
TEST_F(CliDemo, EachChangeTakesWhatItNames) {
    const auto before = Acme();
    const std::string second = Field(before[1], 0), third = Field(before[2], 0);
    ASSERT_EQ(Field(before[0], 0), newest_);

    // Edit: the given field, the rest as stored; a negative price is a price.
    ASSERT_EQ(Cli({"edit-quote", stocks_, "ACME", newest_, "--close", "-2.5"}).status, 0);
    auto q = Acme();
    EXPECT_EQ(Field(q[0], 4), "-2.5000");
    EXPECT_EQ(Field(q[0], 1), Field(before[0], 1));
    EXPECT_EQ(q[1], before[1]);

    // Split 2:1 on the second newest: older quotes halved, the split day kept.
    ASSERT_EQ(Cli({"split", stocks_, "--file", "1", second, "2", "1"}).status, 0);
    q = Acme();
    EXPECT_EQ(q[1], before[1]);
    EXPECT_DOUBLE_EQ(std::stod(Field(q[2], 4)) * 2, std::stod(Field(before[2], 4)));

    // Adjust one day's volume by 10.
    ASSERT_EQ(Cli({"adjust", stocks_, "ACME", third, third, "--vol", "10"}).status, 0);
    const auto adjusted = Acme();
    EXPECT_DOUBLE_EQ(std::stod(Field(adjusted[2], 5)), std::stod(Field(q[2], 5)) * 10);
    EXPECT_EQ(adjusted[3], q[3]);

    // A rename stores the new texts as Latin-1. (That the name stays when none is given is
    // the rename of a real database's; that a move takes the layout file is the transfer's.)
    ASSERT_EQ(Cli({"rename-symbol", stocks_, "acme", "NEWA", "Caf\xC3\xA9"}).status, 0);
    const std::string master = ReadText(fs::path(stocks_) / "MASTER");
    EXPECT_NE(master.find("NEWA            "), std::string::npos);
    EXPECT_NE(master.find("Caf\xE9            "), std::string::npos);
}

#ifndef _WIN32
// A quote command that cannot read or change a file names that file and why, and what it
// could not change is left as it was.
TEST_F(CliDemo, TheFileAtFaultIsNamed) {
    enum Damage { kDirectory, kFifo, kMasterReadOnly, kDataReadOnly, kDataMissing };
    const fs::path master = fs::path(stocks_) / "MASTER";
    const std::string dat = dat_.string(), s = stocks_, n = newest_, o = oldest_;
    const auto datBytes = ReadBytes(dat_), masterBytes = ReadBytes(master);
    const struct {
        Damage damage;
        std::vector<std::string> args;
        std::string said;
    } rows[] = {
        {kDirectory, {"split", s, "ACME", n, "2", "1"}, dat + " is not a regular file"},
        {kFifo, {"delete-quote", s, "--file", "1", n}, dat + " is not a regular file"},
        {kMasterReadOnly, {"delete-quote", s, "ACME", o}, master.string() + " is read-only"},
        {kDataReadOnly, {"delete-quote", s, "ACME", o}, dat + " is read-only"},
        {kDataMissing, {"edit-quote", s, "ACME", n, "--close", "9"}, dat + ": missing"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.said);
        if (r.damage == kDirectory || r.damage == kFifo || r.damage == kDataMissing)
            fs::remove(dat_);
        if (r.damage == kDirectory) fs::create_directory(dat_);
        if (r.damage == kFifo) ::mkfifo(dat_.c_str(), 0600);
        if (r.damage == kMasterReadOnly) fs::permissions(master, fs::perms::owner_read);
        if (r.damage == kDataReadOnly) fs::permissions(dat_, fs::perms::owner_read);
        const auto run = Cli(r.args);
        EXPECT_TRUE(Says(run, 1, r.said)) << run.status << " " << run.err;
        EXPECT_EQ(ReadBytes(master), masterBytes);
        if (fs::is_regular_file(dat_)) {
            EXPECT_EQ(ReadBytes(dat_), datBytes);
        }
        fs::remove_all(dat_);
        testing::WriteBytes(dat_, datBytes);
        const auto rw = fs::perms::owner_read | fs::perms::owner_write;
        fs::permissions(master, rw, fs::perm_options::add);
    }
}
#endif

// An intraday series (bars at 09:05 and 09:15 of one day): --time picks a bar, the date
// alone the first bar of the day, and the messages name a bar by its time.
TEST(CliRealDb, TimeNamesTheBarOfTheDay) {
    TempDir tmp;
    if (!testing::CopyRealDb("stooq-intraday", tmp.path())) GTEST_SKIP() << "no real databases";
    const std::string d = tmp.str();
    const auto bars = [&] { return Lines(Cli({"export", d, "--file", "1", "--time"}).out); };
    const auto before = bars();
    ASSERT_EQ(before.size(), 2u);
    ASSERT_EQ(Field(before[0], 1), "09:05:00");
    const auto bytes = ReadBytes(tmp.path() / "F1.DAT");
    const struct {
        std::vector<std::string> args;  // after "DIR --file 1 2013-11-15"
        int status;
        const char* message;
    } refused[] = {
        {{"delete-quote", "--time", "09:05:01"}, 1, "failure in delete quote"},
        {{"delete-quote", "--time", "23:59:59"}, 1, "failure in delete quote"},  // the last second
        {{"edit-quote", "--time", "09:10", "--close", "9"}, 1, "11/15/13 at 09:10:00"},
        {{"add-quote", "--time", "09:05:00"}, 1, "11/15/13 09:05:00 is the oldest quote"},
        {{"delete-quote", "--time", "9:05"}, 2, "not a time"},
        {{"delete-quote", "--time", "24:00:00"}, 2, "not a time"},
        {{"delete-quote", "--time", "09:60"}, 2, "not a time"},
    };
    for (const auto& r : refused) {
        std::vector<std::string> args{r.args[0], d, "--file", "1", "2013-11-15"};
        args.insert(args.end(), r.args.begin() + 1, r.args.end());
        const auto run = Cli(args);
        EXPECT_TRUE(Says(run, r.status, r.message)) << r.args.back() << ": " << run.err;
        EXPECT_EQ(ReadBytes(tmp.path() / "F1.DAT"), bytes);
    }
    const auto deleted =
        Cli({"delete-quote", d, "--file", "1", "2013-11-15", "--time", "09:15:00"});
    ASSERT_TRUE(Says(deleted, 0, "Deleted 11/15/13 09:15:00")) << deleted.err;
    EXPECT_EQ(bars(), std::vector<std::string>{before[0]});
    ASSERT_EQ(Cli({"delete-quote", d, "--file", "1", "2013-11-15"}).status, 0);
    EXPECT_TRUE(bars().empty());
}

// delete-symbol --file N takes that one record, even beside another of its symbol; SYMBOL
// takes every record of it. A data file it cannot remove (here a backup name taken by a
// directory that holds a file) is named and makes it fail, though the records went.
TEST(CliDeleteSymbol, ByFileNumberOneBySymbolAllAndAFileLeftBehindFails) {
    TempDir tmp;
    const fs::path dir = tmp.path() / "dup";
    ASSERT_TRUE(testing::Portfolio(
        dir, {Series(1, "DUP"), Series(2, "DUP"), Series(3, "ZZZ"), Series(4, "DUP")}));
    testing::WriteText(dir / "F2.BAK" / "kept", "x");
    auto r = Cli({"delete-symbol", dir.string(), "--file", "1", "--yes"});
    ASSERT_TRUE(Says(r, 0, "1 record, F1.DAT")) << r.err;
    EXPECT_EQ(FileNumbers(dir), (std::vector<int>{2, 3, 4}));
    r = Cli({"delete-symbol", dir.string(), "DUP", "--yes"});
    EXPECT_TRUE(Says(r, 1, (dir / "F2.BAK").string() + ": could not be removed")) << r.err;
    EXPECT_EQ(FileNumbers(dir), (std::vector<int>{3}));
    EXPECT_FALSE(fs::exists(dir / "F2.DAT") || fs::exists(dir / "F4.DAT"));
}

// export --all where MASTER's header miscounts or XMASTER lists securities.
TEST(CliRealDb, EveryListedSecurityIsExportedAndListed) {
    if (!fs::is_directory(kRealDb)) GTEST_SKIP() << "no real databases at " << kRealDb;
    const struct {
        const char* db;
        int status;
        int files;
        std::vector<std::string> said;
    } cases[] = {
        // A record after its header's count: the 25 records it counts, and a failure.
        {"mininge-dop",
         1,
         25,
         {"MASTER holds 26 records, its header says 25", "; record 26 not exported\n"}},
        {"equis-italy", 0, 462, {}},  // 255 in MASTER, 207 only in XMASTER
    };
    for (const auto& c : cases) {
        TempDir out;
        const auto r = Cli({"export", kRealDb + "/" + c.db, "--all", "-o", out.str()});
        EXPECT_EQ(r.status, c.status) << c.db << "\n" << r.err;
        EXPECT_EQ(std::distance(fs::directory_iterator(out.path()), {}), c.files) << c.db;
        for (const std::string& said : c.said)
            EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
    }

    // A security only XMASTER lists is listed and described.
    const std::string italy = kRealDb + "/equis-italy";
    const auto sym = Cli({"symbols", italy});
    EXPECT_EQ(sym.status, 0);
    EXPECT_EQ(Lines(sym.out).size(), 463u);  // a heading and 462 securities
    for (const char* row : {"\nRCF,RCF GROUP,256,28,7,01/05/10,07/09/10,D,XMASTER\n",
                            ",FERROVIE NORD MILANO,151,28,7,01/04/10,07/09/10,D,MASTER\n"})
        EXPECT_NE(sym.out.find(row), std::string::npos) << row;
    const auto facts = Cli({"facts", italy, "AUTME"});
    EXPECT_EQ(facts.status, 0) << facts.err;
    for (const char* line : {"\nFile number: 334\n", "\nName of issue: AUTOSTRADE MERIDIONALI\n",
                             "\nData file: F334.MWD\n", "\nListed in: XMASTER\n"})
        EXPECT_NE(facts.out.find(line), std::string::npos) << line << facts.out;
}

}  // namespace
}  // namespace barwise
