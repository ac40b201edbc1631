// Every subcommand that takes `SYMBOL | --file N` answers alike: the same security by its
// symbol or by its file number, in MASTER or in XMASTER; the same refusal, with nothing
// changed, for a security that is not there, a record after MASTER's header count, or a
// portfolio another writer keeps.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "cli/clirun.h"
#include "commands/symbols/symboltestdb.h"
#include "datafiles/portfoliolock.h"
#include "demo/demodb.h"
#include "testsupport/tempdir.h"

namespace barwise {
namespace {

namespace fs = std::filesystem;
using testing::Cli;
using testing::Lines;
using testing::ReadBytes;
using testing::TempDir;

using Snapshot = std::map<std::string, std::vector<std::uint8_t>>;

// The index files and the data files of the securities the table names (and of their
// neighbours); a missing one is left out.
Snapshot Files(const fs::path& dir) {
    Snapshot s;
    for (const char* name : {"MASTER", "EMASTER", "XMASTER", "F1.DAT", "F2.DAT", "F3.DAT",
                             "F254.DAT", "F255.DAT", "F256.MWD", "F257.MWD"})
        if (fs::exists(dir / name)) s[name] = ReadBytes(dir / name);
    return s;
}

// The files whose bytes changed or that went.
std::vector<std::string> Changed(const Snapshot& before, const Snapshot& after) {
    std::vector<std::string> changed;
    for (const auto& [name, bytes] : before) {
        const auto it = after.find(name);
        if (it == after.end() || it->second != bytes) changed.push_back(name);
    }
    return changed;
}

// The symbols rows that list file number n.
std::vector<std::string> RowsOf(const fs::path& dir, int n) {
    std::vector<std::string> rows;
    for (const std::string& l : Lines(Cli({"symbols", dir.string()}).out))
        if (l.find("," + std::to_string(n) + ",") != std::string::npos) rows.push_back(l);
    return rows;
}

// 255 securities in MASTER (X0001..X0255, F1..F255.DAT) and two in XMASTER (X0256, X0257,
// F256/F257.MWD), three weekday quotes each (01/02/15, 01/05/15, 01/06/15); and a portfolio
// to move and copy into.
class Selector : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(WriteExtendedPortfolio(dir(), 257, 3).status, kSuccess);
        original_ = Files(dir());
    }
    // Every file a run of the table may change or remove as it was written.
    void Fresh(bool lyingHeader) {
        for (const auto& [name, bytes] : original_) testing::WriteBytes(dir() / name, bytes);
        fs::remove_all(dest());
        ASSERT_TRUE(testing::Portfolio(dest(), {ExtendedPortfolioSeries(1, 3)}));
        if (lyingHeader) {  // one below the 255 records
            auto bytes = ReadBytes(dir() / "MASTER");
            PutI16(bytes.data(), 254);
            testing::WriteBytes(dir() / "MASTER", bytes);
        }
    }
    fs::path dir() const { return tmp_.path() / "p"; }
    fs::path dest() const { return tmp_.path() / "dest"; }

    TempDir tmp_;
    Snapshot original_;
};

std::string DataFile(int n) {
    return "F" + std::to_string(n) + (n > 255 ? ".MWD" : ".DAT");
}

// What a run left: its result, the portfolio and the one it moves or copies into, and the
// files of the table's securities that changed or went.
struct Outcome {
    testing::CliRun run;
    fs::path dir, dest;
    std::vector<std::string> changed;
};

// The security went into the destination, beside the one it held.
bool IntoDest(const Outcome& o) {
    return o.run.status == 0 && Lines(Cli({"symbols", o.dest.string()}).out).size() == 3;
}

TEST_F(Selector, EverySubcommandTakesTheSameSecurityOrRefusesAlike) {
    // Whether the run acted on security n.
    using Acted = bool (*)(const Outcome&, int n);
    // Its data file changed (and perhaps the index files' dates), no other.
    const Acted onlyItsData = [](const Outcome& o, int n) {
        std::vector<std::string> data;
        for (const std::string& f : o.changed)
            if (f[0] == 'F') data.push_back(f);
        return o.run.status == 0 && data == std::vector<std::string>{DataFile(n)};
    };
    const struct {
        const char* name;
        std::vector<std::string> tail;  // after DIR and the selector; "DEST": the other portfolio
        Acted acted;
    } commands[] = {
        {"export",
         {"--newest-first"},
         [](const Outcome& o, int n) {
             return o.run.status == 0 && Lines(o.run.out).size() == 3 &&
                    o.run.out == Cli({"export", o.dir.string(), "--file", std::to_string(n),
                                      "--newest-first"})
                                     .out;
         }},
        {"edit-quote", {"01/06/15", "--close", "99"}, onlyItsData},
        {"split", {"01/06/15", "2", "1"}, onlyItsData},
        {"adjust", {"01/02/15", "01/06/15", "--price", "2"}, onlyItsData},
        {"delete-quote", {"01/06/15"}, onlyItsData},
        // The quotes were read: the refusal is the command's own (the day before exists).
        {"add-quote",
         {"01/06/15"},
         [](const Outcome& o, int) {
             return o.run.status == 1 && o.run.err.find("already exists.") != std::string::npos &&
                    o.changed.empty();
         }},
        {"rename-symbol",
         {"NEWSYM"},
         [](const Outcome& o, int n) {
             const auto rows = RowsOf(o.dir, n);
             return o.run.status == 0 && rows.size() == 1 && rows[0].rfind("NEWSYM,", 0) == 0;
         }},
        {"delete-symbol",
         {"--yes"},
         [](const Outcome& o, int n) {
             return o.run.status == 0 && !fs::exists(o.dir / DataFile(n)) &&
                    RowsOf(o.dir, n).empty();
         }},
        {"move-symbol",
         {"DEST"},
         [](const Outcome& o, int n) { return IntoDest(o) && !fs::exists(o.dir / DataFile(n)); }},
        {"copy-symbol",
         {"DEST"},
         [](const Outcome& o, int n) { return IntoDest(o) && fs::exists(o.dir / DataFile(n)); }},
    };
    enum Held { kFree, kPortfolio, kDestination };  // what another writer keeps locked
    struct Selection {
        const char* name;
        std::vector<std::string> select;
        bool lyingHeader;
        int acts;          // the file number acted on; 0: refused
        const char* said;  // on standard error, where refused or nothing is locked
        Held held = kFree;
    };
    const char* kLying = "MASTER holds 255 records, its header says 254";
    const char* kBusy = "another program is changing this portfolio; nothing was changed";
    const std::vector<Selection> selections = {
        {"master/symbol", {"x0002"}, false, 2, ""},
        {"master/file", {"--file", "2"}, false, 2, ""},
        {"xmaster/symbol", {"X0257"}, false, 257, ""},
        {"xmaster/file", {"--file", "257"}, false, 257, ""},
        {"missing/symbol", {"NOSUCH"}, false, 0, "File Not Found (symbol NOSUCH)"},
        {"missing/file",
         {"--file", "999"},
         false,
         0,
         "File Not Found (no record with file number 999)"},
        // A header one below its records: a warning where the security is within its count,
        // the same refusal everywhere for the record after it, which no lookup reads.
        {"lying/within", {"--file", "2"}, true, 2, kLying},
        {"lying/after-file",
         {"--file", "255"},
         true,
         0,
         "is record 255, after the 254 its header counts"},
        {"lying/after-symbol", {"X0255"}, true, 0, "File Not Found (symbol X0255)"},
        // Another writer keeps the portfolio (or the destination): each command that would
        // write there waits, says so and writes nothing; the others go through.
        {"locked/portfolio", {"--file", "2"}, false, 2, kBusy, kPortfolio},
        {"locked/destination", {"--file", "2"}, false, 2, kBusy, kDestination},
    };
    SetPortfolioLockWait(std::chrono::milliseconds(100));
    // A copy is made afresh only after a run changed it: a refusal leaves it as it was.
    bool fresh = false, lying = false;
    for (const Selection& s : selections) {
        for (const auto& c : commands) {
            SCOPED_TRACE(std::string(c.name) + " " + s.name);
            if (!fresh || lying != s.lyingHeader) Fresh(s.lyingHeader);
            fresh = true;
            lying = s.lyingHeader;
            std::vector<std::string> args{c.name, dir().string()};
            args.insert(args.end(), s.select.begin(), s.select.end());
            for (const std::string& t : c.tail) args.push_back(t == "DEST" ? dest().string() : t);
            const bool toDest = c.tail.front() == "DEST";
            const bool refused = s.acts == 0 ||
                                 (s.held == kPortfolio && std::string(c.name) != "export") ||
                                 (s.held == kDestination && toDest);
            const Snapshot before = Files(dir());
            std::atomic<bool> holding{false}, done{false};
            std::thread other;
            if (s.held != kFree) {
                other = std::thread([&] {
                    const PortfolioLock lock((s.held == kPortfolio ? dir() : dest()).string());
                    holding = true;
                    while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                });
                while (!holding) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            Outcome o{Cli(args), dir(), dest(), {}};
            done = true;
            if (other.joinable()) other.join();
            const Snapshot after = Files(dir());
            o.changed = Changed(before, after);
            fresh = after == before && Lines(Cli({"symbols", dest().string()}).out).size() == 2;
            if (refused || s.held == kFree) {
                EXPECT_NE(o.run.err.find(s.said), std::string::npos) << o.run.err;
            }
            if (refused) {
                EXPECT_EQ(o.run.status, 1) << o.run.err;
                EXPECT_TRUE(fresh)
                    << "changed: " << (o.changed.empty() ? "the destination" : o.changed.front());
            } else {
                EXPECT_TRUE(c.acted(o, s.acts)) << o.run.status << ' ' << o.run.err;
            }
        }
    }
}

}  // namespace
}  // namespace barwise
