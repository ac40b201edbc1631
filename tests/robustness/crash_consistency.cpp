// Crash consistency of every rewrite: a child process runs one rewrite of a fresh portfolio
// and is killed (SIGKILL) after a random delay, or ends just before one of its renames; the
// parent then checks that each quote and MASTER file is byte for byte either as it was or
// as the rewrite makes it, never missing, cut short or mixed, and that a delete never
// leaves MASTER updated before its DAT file. Index rewrites that add or remove data files
// must leave every index file whole and every listed security readable. Where the kill left
// everything as it was, the same rewrite is run again over whatever temporary files the
// killed one left, and must give the complete result.
//
//   crash_consistency [--trials N] [--seed S] [--realdb DIR]
// Exits 0 when every trial holds, 1 otherwise, 2 on a usage error.
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "datafiles/changes.h"
#include "datafiles/master.h"
#include "datafiles/portfoliolock.h"
#include "import/quoteimport.h"
#include "import/quotetext.h"
#include "robustness/faultyfs.h"
#include "robustness/harnessargs.h"
#include "robustness/portfolio.h"
#include "undo/history.h"

using namespace barwise;
using namespace barwise::robustness;

namespace {

using Clock = std::chrono::steady_clock;

struct CrashCase {
    std::string name;
    PortfolioRun run;
    std::function<std::string(const PortfolioRun&)> problem;  // what does not hold now
    long micros = 1;  // how long a child takes to run it, fork included
    int renames = 0;  // renames of a whole run: it is stopped before each
};

// Runs a rewrite in a child and kills it after delayMicros (< 0: never); returns the
// child's wait status.
int RunChild(const std::function<DataStatus()>& rewrite, long delayMicros) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
        std::exit(1);
    }
    if (pid == 0) _exit(rewrite() == kSuccess ? 0 : 3);
    if (delayMicros >= 0) {
        timespec ts{delayMicros / 1000000, (delayMicros % 1000000) * 1000};
        while (nanosleep(&ts, &ts) != 0 && errno == EINTR) continue;
        kill(pid, SIGKILL);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) continue;
    return status;
}

// A killed writer leaves no lock behind.
std::string LockLeft(const fs::path& dir) {
    const PortfolioLock lock(dir.string());
    return lock.held() ? std::string() : dir.string() + " is still locked after the kill";
}

// Undo of a rewrite: the portfolio starts as the rewrite left it, with the change in a
// history beside it, and the undo must put every file back. The change is recorded anew in
// each run (the history of a killed run is not that of the next).
std::vector<RewriteCase> UndoCases(const fs::path& scratch) {
    std::vector<RewriteCase> out;
    for (const RewriteCase& r : RewriteCases(kTestQuotes)) {
        if (r.name != "scale" && r.name != "delete_first") continue;
        const PortfolioRun run(scratch, r.before, r.run);
        run.reset();
        const ChangeResult done =
            RecordChanges(RealFileSystem(), [&](FileSystem& f) { return run.run(f); });
        if (done.status != kSuccess) continue;
        const Rewrite undo = [changes = done.changes](const fs::path& dir, FileSystem& fsys) {
            UndoHistory history(dir.string(), dir.string() + "-history");
            std::error_code ec;
            fs::remove_all(history.folder(), ec);
            if (history.record("crash case", changes) != kSuccess) return kFileWrite;
            return history.undo(fsys).end == UndoOutcome::End::kDone ? kSuccess : kFileWrite;
        };
        // Put back last change first: MASTER (a delete's dates), then the quote file.
        out.push_back(RewriteCase{
            "undo_" + r.name, ReadDirectory(scratch), undo, {r.writes.rbegin(), r.writes.rend()}});
    }
    return out;
}

// A day file of two symbols imported into the made portfolio: a quote added to each of two
// quote files, one security after the other in the order the file names them.
RewriteCase ImportCase() {
    const std::string day = FormatDateMdy(QuoteDate(kTestQuotes), true);
    const std::string text = "Symbol,Date,Open,High,Low,Close,Volume\nAAA," + day +
                             ",10,12,9,11,500\nBBB," + day + ",20,22,19,21,700\n";
    const Rewrite run = [text](const fs::path& dir, FileSystem& fsys) {
        TextFormat format;
        format.dateForm = DateForm::kMdy;
        const QuoteText quotes = ReadQuoteText(text, format, "day.csv");
        const ImportReport report = ImportQuotes(dir.string(), {quotes}, ImportOptions{}, fsys);
        // Run again after a kill, a quote already written is held, not added.
        return report.failure.empty() && report.added() + report.skipped() == 2
                   ? report.change.status
                   : kFileWrite;
    };
    return RewriteCase{"import_day", MakePortfolio(kTestQuotes), run, {"F1.DAT", "F2.DAT"}};
}

// Readers take names from the backup of an EMASTER that a stop between the renames left
// disagreeing, and the next writer puts the three index files in agreement again.
std::string AfterKillProblem(const IndexRewriteCase& c, const fs::path& dir) {
    for (const std::string& p : c.portfolios) {
        const fs::path portfolio = p.empty() ? dir : dir / p;
        const MasterFile read = ReadMasterFile(portfolio.string());
        if (read.indexWarning.find("EMASTER") != std::string::npos)
            return "a reader sets EMASTER aside: " + read.indexWarning;
        if (std::string left = LockLeft(portfolio); !left.empty()) return left;
        const PortfolioLock lock(portfolio.string());
        FinishInterruptedIndexRewrite(portfolio.string());
        const MasterFile master = ReadMasterFile(portfolio.string());
        const bool hadEmaster =
            c.before.count((p.empty() ? std::string() : p + "/") + "EMASTER") > 0;
        if (hadEmaster && master.emaster != ExtIndexState::kSound)
            return "after the next writer EMASTER still disagrees with MASTER: " +
                   master.indexWarning;
    }
    return {};
}

// Killed after `delay` us (< 0: never), or (stop > 0) ended before rename `stop`.
std::string Trial(const CrashCase& c, long delay, int stop) {
    c.run.reset();
    const int status = RunChild(
        [&] {
            FaultyFileSystem stopping(Step::kReplace, stop);
            stopping.onFire = [] { _exit(9); };
            return c.run.run(stopping);
        },
        delay);
    const bool killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    std::string problem = c.problem(c.run);
    const bool finished = !killed && stop == 0;
    if (problem.empty() && finished &&
        (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || c.run.now() != c.run.after()))
        problem = "a finished rewrite did not give the new files";
    if (problem.empty() && c.run.now() == c.run.before()) problem = c.run.rerunProblem();
    return problem;
}

}  // namespace

int main(int argc, char** argv) {
    HarnessArgs args(argc, argv, {"--trials", "--seed", "--realdb"});
    const long trials = static_cast<long>(args.count("--trials", 1000));
    const unsigned long long seed = args.count(
        "--seed", static_cast<unsigned long long>(Clock::now().time_since_epoch().count()));
    const fs::path realDb = args.text("--realdb");
    if (!args.ok() || trials < 1) {
        std::fprintf(stderr, "usage: crash_consistency [--trials N] [--seed S] [--realdb DIR]\n");
        return 2;
    }

    // A lock a killed writer left would show at once.
    SetPortfolioLockWait(std::chrono::milliseconds(200));
    ScratchDir scratch("barwise-crash");
    const fs::path dir = scratch.path();
    std::vector<CrashCase> cases;
    std::vector<RewriteCase> rewrites = RewriteCases(kTestQuotes, realDb);
    for (RewriteCase& u : UndoCases(dir)) rewrites.push_back(std::move(u));
    rewrites.push_back(ImportCase());
    for (const RewriteCase& r : rewrites) {
        const auto problem = [r, dir](const PortfolioRun& run) {
            const std::string left = LockLeft(dir);
            return left.empty() ? OldOrNewInOrder(r, run) : left;
        };
        cases.push_back(CrashCase{r.name, PortfolioRun(dir, r.before, r.run), problem});
    }
    for (const IndexRewriteCase& ic : IndexRewriteCases(realDb)) {
        const auto problem = [ic, dir](const PortfolioRun& run) {
            const std::string whole = IndexRewriteProblem(ic, dir, run.after());
            return whole.empty() ? AfterKillProblem(ic, dir) : whole;
        };
        cases.push_back(CrashCase{ic.name, PortfolioRun(dir, ic.before, ic.run), problem});
    }
    for (CrashCase& c : cases) {
        FaultyFileSystem counter;
        if (c.run.finish(counter) != kSuccess) {
            std::printf("FAIL %s: the rewrite fails without any kill\n", c.name.c_str());
            return 1;
        }
        c.renames = counter.count(Step::kReplace);
        // How long a child takes, so the kills spread over the whole rewrite.
        std::vector<long> times;
        for (int k = 0; k < 5; ++k) {
            c.run.reset();
            const auto t0 = Clock::now();
            (void)RunChild([&] { return c.run.run(RealFileSystem()); }, -1);
            times.push_back(static_cast<long>(
                std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - t0).count()));
        }
        std::sort(times.begin(), times.end());
        c.micros = std::max(times[times.size() / 2], 1L);
    }

    std::mt19937_64 rng(seed);
    int failures = 0;
    auto report = [&](const CrashCase& c, const std::string& problem, const std::string& when) {
        if (problem.empty()) return;
        ++failures;
        std::printf("FAIL %s (%s): %s\n", c.name.c_str(), when.c_str(), problem.c_str());
    };
    std::printf("crash consistency: %ld trials over %zu rewrites, seed %llu\n", trials,
                cases.size(), seed);
    for (long t = 0; t < trials; ++t) {
        const CrashCase& c = cases[static_cast<std::size_t>(t) % cases.size()];
        // Within the time a rewrite usually takes; the slower runs also finish.
        const long delay = std::uniform_int_distribution<long>(0, c.micros)(rng);
        report(c, Trial(c, delay, 0), "killed after " + std::to_string(delay) + " us");
    }
    // Each rewrite ended just before each of its renames in turn (the stops between the
    // index files' renames among them).
    for (const CrashCase& c : cases) {
        for (int n = 1; n <= c.renames; ++n)
            report(c, Trial(c, -1, n), "ended before rename " + std::to_string(n));
    }
    std::printf("%s: %d failing trial(s)\n", failures == 0 ? "PASS" : "FAIL", failures);
    std::error_code ec;
    fs::remove_all(dir.string() + "-history", ec);  // the undo cases' history
    return failures == 0 ? 0 : 1;
}
