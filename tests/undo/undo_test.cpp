// Undo and redo: every command done, undone and redone leaves every file of the database
// byte for byte as before and after it; an undo refuses to overwrite what changed since,
// survives a restart, and a failing one leaves the files as they were.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>

#include "cli/clirun.h"
#include "commands/quotes/quoteedits.h"
#include "datafiles/portfoliolock.h"
#include "robustness/failingsteps.h"
#include "robustness/portfolio.h"
#include "testsupport/tempdir.h"
#include "testsupport/testdb.h"
#include "undo/history.h"

using namespace barwise;
using barwise::testing::Cli;
using barwise::testing::TempDir;

namespace {

using Snapshot = std::map<std::string, std::vector<std::uint8_t>>;

// Every file below root but the writer locks, by relative path.
Snapshot Take(const fs::path& root) {
    Snapshot s = robustness::ReadTree(root);
    std::erase_if(s, [](const auto& f) { return fs::path(f.first).filename() == kLockFileName; });
    return s;
}

class Undo : public ::testing::Test {
protected:
    void SetUp() override {
        history_ = tmp_.path() / "history";
        setenv("BARWISE_HISTORY_DIR", history_.c_str(), 1);
        root_ = tmp_.path() / "demo";
        ASSERT_EQ(Cli({"make-demo", root_.string(), "--damaged"}).status, 0);
        std::ofstream(tmp_.path() / "in.csv")
            << "Date,Open,High,Low,Close,Volume\n2024-07-03,10,12,9,11,1000\n";
        names_ = {{"{S}", (root_ / "STOCKS").string()},
                  {"{F}", (root_ / "FUTURES").string()},
                  {"{D}", (root_ / "DAMAGED").string()},
                  {"{N}", (root_ / "NEW").string()},
                  {"{T}", (tmp_.path() / "in.csv").string()}};
    }
    // Runs the CLI with each placeholder argument ("{S}") replaced by its path.
    barwise::testing::CliRun Do(const std::vector<std::string>& args) {
        std::vector<std::string> v;
        for (const std::string& a : args) v.push_back(names_.count(a) ? names_.at(a) : a);
        return Cli(v);
    }
    std::string Dir(const std::string& name) { return names_.at(name); }

    TempDir tmp_;
    fs::path history_, root_;
    std::map<std::string, std::string> names_;
};

struct CommandCase {
    const char* name;
    std::vector<std::string> prepare;  // run first, not undone (empty: nothing)
    std::vector<std::string> command;  // its DIR is the portfolio undone
};

const CommandCase kCommands[] = {
    {"edit", {}, {"edit-quote", "{S}", "ACME", "07/02/24", "--close", "99.5"}},
    {"split", {}, {"split", "{S}", "ACME", "01/03/22", "2", "1"}},
    {"adjust", {}, {"adjust", "{S}", "ACME", "01/03/22", "06/01/22", "--price", "2"}},
    {"add", {"delete-quote", "{S}", "ACME", "07/01/24"}, {"add-quote", "{S}", "ACME", "07/02/24"}},
    {"delete_quote", {}, {"delete-quote", "{S}", "ACME", "07/02/24"}},
    {"rename", {}, {"rename-symbol", "{S}", "ACME", "ACMX", "ACME X"}},
    {"delete_symbol", {}, {"delete-symbol", "{S}", "BOLT", "--yes"}},
    {"move", {}, {"move-symbol", "{S}", "BOLT", "{F}"}},
    {"copy", {}, {"copy-symbol", "{S}", "BOLT", "{F}"}},
    {"check_repair", {}, {"check", "{D}", "--repair", "--yes"}},
    {"import", {}, {"import", "{S}", "{T}", "ACME"}},
    {"import_create", {}, {"import", "{S}", "{T}", "NEWSYM", "--create"}},
    {"new_portfolio", {}, {"new-portfolio", "{N}", "--extended"}},
};

class EveryCommand : public Undo, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(EveryCommand, UndoneAndRedoneGivesEveryFileBack) {
    const CommandCase& c = GetParam();
    if (!c.prepare.empty()) {
        ASSERT_EQ(Do(c.prepare).status, 0);
    }
    const Snapshot before = Take(root_);
    const barwise::testing::CliRun done = Do(c.command);
    const Snapshot after = Take(root_);
    ASSERT_NE(after, before) << done.err;
    const std::string dir = Dir(c.command[1]);
    // Undone, redone and undone again; nothing is left to undo but what the preparation did.
    for (const auto& [verb, files] :
         {std::pair{"undo", &before}, {"redo", &after}, {"undo", &before}}) {
        const barwise::testing::CliRun r = Cli({verb, dir});
        ASSERT_EQ(r.status, 0) << verb << ": " << r.err;
        EXPECT_EQ(Take(root_), *files) << verb;
    }
    EXPECT_EQ(UndoHistory(dir).entries().size(), c.prepare.empty() ? 1u : 2u);
}

INSTANTIATE_TEST_SUITE_P(Commands, EveryCommand, ::testing::ValuesIn(kCommands),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Undo, AFileChangedSinceRefusesTheUndoAndWritesNothing) {
    ASSERT_EQ(Do({"split", "{S}", "ACME", "01/03/22", "2", "1"}).status, 0);
    std::ofstream(fs::path(Dir("{S}")) / "F1.DAT", std::ios::app)
        << "x";  // another program's change
    const Snapshot changed = Take(root_);
    const barwise::testing::CliRun r = Cli({"undo", Dir("{S}")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("F1.DAT was changed since"), std::string::npos) << r.err;
    EXPECT_EQ(Take(root_), changed);
    EXPECT_TRUE(UndoHistory(Dir("{S}")).nextUndo().has_value());  // still offered
}

TEST_F(Undo, AChangeMadeByAnotherProcessIsUndoneHere) {
    const Snapshot before = Take(root_);
    const std::string command =
        std::string(BARWISE_CLI) + " delete-symbol " + Dir("{S}") + " BOLT --yes 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const auto history = UndoHistory(Dir("{S}")).entries();
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].label, "Delete of BOLT");
    EXPECT_NE(Do({"history", "{S}"}).out.find("Delete of BOLT"), std::string::npos);
    ASSERT_EQ(Cli({"undo", Dir("{S}")}).status, 0);
    EXPECT_EQ(Take(root_), before);
    EXPECT_EQ(Cli({"undo", Dir("{S}")}).status, 1);  // nothing more
}

TEST_F(Undo, OldestChangesGoBeyondTheLevelsAndANewChangeEndsTheRedos) {
    ASSERT_EQ(Cli({"history", Dir("{S}"), "--levels", "3"}).status, 0);
    EXPECT_EQ(ReadHistoryLimits(history_).levels, 3);
    for (const char* close : {"1", "2", "3", "4", "5"})
        ASSERT_EQ(Do({"edit-quote", "{S}", "ACME", "07/02/24", "--close", close}).status, 0);
    UndoHistory history(Dir("{S}"));
    ASSERT_EQ(history.entries().size(), 3u);
    EXPECT_EQ(history.entries().front().number, 3u);
    ASSERT_EQ(history.undo().end, UndoOutcome::End::kDone);
    ASSERT_TRUE(history.nextRedo().has_value());
    ASSERT_EQ(Do({"split", "{S}", "ACME", "01/03/22", "2", "1"}).status, 0);
    EXPECT_FALSE(history.nextRedo().has_value());
    EXPECT_EQ(history.nextUndo()->label, "Split of ACME from 01/03/22");
    ASSERT_EQ(Cli({"history", Dir("{S}"), "--clear"}).status, 0);
    EXPECT_TRUE(history.entries().empty());
}

// Every failing step of an undo's writing leaves every file as it was (the change still
// undoable); a failure among the renames leaves each file whole, and undo again finishes.
TEST_F(Undo, AFailingUndoLeavesTheFilesAsTheyAre) {
    ASSERT_EQ(Do({"delete-quote", "{S}", "ACME", "01/02/13"}).status,
              0);  // F1.DAT, F1.BAK and MASTER
    const Snapshot after = Take(root_);
    UndoHistory history(Dir("{S}"));
    robustness::FaultyFileSystem counting;
    ASSERT_EQ(history.undo(counting).end, UndoOutcome::End::kDone);
    const Snapshot before = Take(root_);
    ASSERT_EQ(history.redo().end, UndoOutcome::End::kDone);
    const auto undoFailing = [&](robustness::FaultyFileSystem& faulty) {
        const UndoOutcome out = history.undo(faulty);
        if (out.end == UndoOutcome::End::kFailed) {
            EXPECT_EQ(Take(root_), after);
            EXPECT_NE(out.message(false).find("Nothing was changed."), std::string::npos);
            return;
        }
        ASSERT_EQ(out.end, UndoOutcome::End::kIncomplete);
        ASSERT_EQ(history.undo().end, UndoOutcome::End::kDone);
        EXPECT_EQ(Take(root_), before);
        ASSERT_EQ(history.redo().end, UndoOutcome::End::kDone);
    };
    EXPECT_GE(robustness::ForEachFailingStep(counting, undoFailing, false), 5);
    robustness::FaultyFileSystem full = robustness::FaultyFileSystem::FullAfter(100);
    EXPECT_EQ(history.undo(full).end, UndoOutcome::End::kFailed);
    EXPECT_EQ(Take(root_), after);
}

// On a copy of every real database: a split, a rename and a delete of its first security,
// each undone, give every file back.
TEST(UndoRealDb, EveryRealDatabaseComesBackExactly) {
    const fs::path real = barwise::testing::RealDbDir();
    if (!fs::is_directory(real)) GTEST_SKIP() << "no real databases";
    TempDir tmp;
    setenv("BARWISE_HISTORY_DIR", (tmp.path() / "history").c_str(), 1);
    int portfolios = 0, splitsLeft = 0;
    for (const auto& db : fs::directory_iterator(real)) {
        if (!db.is_directory()) continue;
        const fs::path copy = tmp.path() / db.path().filename();
        ASSERT_TRUE(barwise::testing::CopyRealDb(db.path().filename().string(), copy));
        std::vector<fs::path> dirs{copy};
        for (const auto& e : fs::recursive_directory_iterator(copy))
            if (e.is_directory()) dirs.push_back(e.path());
        for (const fs::path& d : dirs) {
            if (!fs::exists(MasterPathOf(d.string()))) continue;
            const std::string dir = d.string();
            // The first security with quotes; the split goes on the date of its newest quote.
            SeriesQuotes series;
            std::string number;
            for (const MasterEntry& e : ReadMasterFile(dir).entries)
                if (number.empty() && !e.record.isSubdirEntry() &&
                    ReadSeriesQuotes(e.id, series) == kSuccess && series.count() > 0)
                    number = std::to_string(e.record.fileNumber());
            if (number.empty()) continue;
            const std::string last = FormatDateMdy(series.quotes.back().date);
            const Snapshot before = Take(copy);
            for (const std::vector<std::string>& command :
                 {std::vector<std::string>{"split", dir, "--file", number, last, "2", "1"},
                  std::vector<std::string>{"rename-symbol", dir, "--file", number, "UNDOTEST"},
                  std::vector<std::string>{"delete-symbol", dir, "--file", number, "--yes"}}) {
                SCOPED_TRACE(dir + " " + command[0]);
                const barwise::testing::CliRun done = Cli(command);
                // A split where the series has no quote before its newest date scales nothing.
                if (command[0] == "split" && (done.status != 0 || Take(copy) == before)) {
                    ++splitsLeft;
                    continue;
                }
                ASSERT_EQ(done.status, 0) << done.err;
                ASSERT_NE(Take(copy), before);
                ASSERT_EQ(Cli({"undo", dir}).status, 0);
                EXPECT_EQ(Take(copy), before);
            }
            ++portfolios;
        }
    }
    EXPECT_GT(portfolios, 3);
    EXPECT_LE(splitsLeft, 2);
}

}  // namespace
