// Crash consistency of every rewrite: a child process runs one rewrite of a fresh portfolio
// and is killed (SIGKILL) after a random delay; the parent then checks that each quote and
// MASTER file is byte for byte either as it was or as the rewrite makes it, never missing,
// cut short or mixed, and that a delete never leaves MASTER updated before its DAT file.
// Where the kill left everything as it was, the same rewrite is run again over whatever
// temporary files the killed one left, and must give the complete result.
//
//   crash_consistency [--trials N] [--seed S] [--realdb DIR] [--verbose]
// Exits 0 when every trial holds, 1 otherwise, 2 on a usage error.
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "datafiles/master.h"
#include "datafiles/portfoliolock.h"
#include "robustness/harnessargs.h"
#include "robustness/portfolio.h"
#include "import/quoteimport.h"
#include "import/quotetext.h"
#include "undo/history.h"

using namespace barwise;
using namespace barwise::robustness;

namespace {

using Clock = std::chrono::steady_clock;

struct CaseRun {
    RewriteCase rewrite;
    DirectoryContent before;  // compared files only
    DirectoryContent after;
    long micros = 0;          // how long a child takes to run the rewrite, fork included
    // Outcomes.
    int trials = 0, unchanged = 0, partial = 0, complete = 0, finished = 0, leftovers = 0, failures = 0;
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
        if (delayMicros > 0) {
            timespec ts{delayMicros / 1000000, (delayMicros % 1000000) * 1000};
            while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
            }
        }
        kill(pid, SIGKILL);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// The real file system, except that the process ends just before its n-th rename (0:
// never; it only counts them).
class StopAtRename final : public FileSystem {
public:
    explicit StopAtRename(int n) : stopAt_(n) {}
    std::unique_ptr<WritableFile> create(const fs::path& p) override { return RealFileSystem().create(p); }
    bool replace(const fs::path& from, const fs::path& to) override {
        if (++seen_ == stopAt_) _exit(9);
        return RealFileSystem().replace(from, to);
    }
    bool remove(const fs::path& p) override { return RealFileSystem().remove(p); }
    bool hardLink(const fs::path& e, const fs::path& l) override { return RealFileSystem().hardLink(e, l); }
    int seen() const { return seen_; }

private:
    int stopAt_;
    int seen_ = 0;
};

// A killed writer leaves no lock behind, and names come back: readers take them from the
// backup of an EMASTER that a stop between the renames left disagreeing, and the next
// writer puts the three index files in agreement again.
std::string LockLeft(const fs::path& dir) {
    const PortfolioLock lock(dir.string());
    return lock.held() ? std::string() : dir.string() + " is still locked after the kill";
}

// Undo of a rewrite: the portfolio starts as the rewrite left it, with the change in a
// history beside it, and the undo must put every file back. The change is recorded anew in
// each run (the history of a killed run is not that of the next).
std::vector<RewriteCase> UndoCases(const fs::path& scratch) {
    std::vector<RewriteCase> out;
    for (RewriteCase& r : RewriteCases(kTestQuotes)) {
        if (r.name != "scale" && r.name != "delete_first") continue;
        WriteDirectory(scratch, r.before);
        if (r.run(scratch, RealFileSystem()) != kSuccess) continue;
        const DirectoryContent done = ReadDirectory(scratch);
        EmptyDirectory(scratch);
        RewriteCase u;
        u.name = "undo_" + r.name;
        u.before = done;
        // Put back last change first: MASTER (a delete's dates), then the quote file.
        u.writes = r.writes;
        std::reverse(u.writes.begin(), u.writes.end());
        const DirectoryContent original = r.before;
        u.run = [original, done](const fs::path& dir, FileSystem& fsys) {
            ChangeList changes;
            for (const auto& [name, bytes] : done) {
                const auto was = original.find(name);
                if (was != original.end() && was->second == bytes) continue;
                FileChange c;
                c.path = fs::absolute(dir / name);
                c.kind = was == original.end() ? FileChange::Kind::kCreated : FileChange::Kind::kReplaced;
                if (was != original.end()) c.before = was->second;
                c.after = bytes;
                changes.push_back(std::move(c));
            }
            const fs::path root = dir.string() + "-history";
            UndoHistory history(dir.string(), root);
            std::error_code ec;
            fs::remove_all(history.folder(), ec);
            if (history.record("crash case", changes) != kSuccess) return kFileWrite;
            return history.undo(fsys).end == UndoOutcome::End::kDone ? kSuccess : kFileWrite;
        };
        out.push_back(std::move(u));
    }
    return out;
}

// A day file of two symbols imported into the made portfolio: a quote added to each of two
// quote files, one security after the other in the order the file names them.
RewriteCase ImportCase() {
    RewriteCase c;
    c.name = "import_day";
    c.writes = {"F1.DAT", "F2.DAT"};
    c.before = MakePortfolio(kTestQuotes);
    const std::string day = FormatDateMdy(QuoteDate(kTestQuotes), true);
    const std::string text = "Symbol,Date,Open,High,Low,Close,Volume\nAAA," + day + ",10,12,9,11,500\nBBB," + day +
                             ",20,22,19,21,700\n";
    c.run = [text](const fs::path& dir, FileSystem& fsys) {
        TextFormat format;
        format.dateForm = DateForm::kMdy;
        const QuoteText quotes = ReadQuoteText(text, format, "day.csv");
        const ImportReport report = ImportQuotes(dir.string(), {quotes}, ImportOptions{}, fsys);
        // Run again after a kill, a quote already written is held, not added.
        return report.failure.empty() && report.added() + report.skipped() == 2 ? report.change.status : kFileWrite;
    };
    return c;
}

bool Trial(CaseRun& c, const fs::path& dir, long delay, bool verbose) {
    ++c.trials;
    EmptyDirectory(dir);
    WriteDirectory(dir, c.rewrite.before);
    const int status = RunChild([&] { return c.rewrite.run(dir, RealFileSystem()); }, delay);
    const bool killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    auto fail = [&](const std::string& what) {
        ++c.failures;
        std::printf("FAIL %s (delay %ld us, %s): %s\n", c.rewrite.name.c_str(), delay,
                    killed ? "killed" : "finished", what.c_str());
        return false;
    };
    if (std::string left = LockLeft(dir); !left.empty()) return fail(left);
    if (!killed) {
        ++c.finished;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return fail("the rewrite failed on its own");
    }

    const DirectoryContent now = Compared(ReadDirectory(dir));
    if (now.size() != c.before.size()) return fail("files missing or added");
    // State of each written file in order: 0 as it was, 1 as the rewrite makes it.
    std::vector<int> states;
    for (const auto& [name, bytes] : now) {
        const auto old = c.before.find(name);
        if (old == c.before.end()) return fail(name + " appeared");
        const bool isOld = bytes == old->second;
        const bool isNew = bytes == c.after.at(name);
        if (!isOld && !isNew) {
            return fail(name + " is neither the old nor the new file (" + std::to_string(bytes.size()) +
                        " bytes; old " + std::to_string(old->second.size()) + ", new " +
                        std::to_string(c.after.at(name).size()) + ")");
        }
    }
    for (const std::string& name : c.rewrite.writes) states.push_back(now.at(name) == c.after.at(name) ? 1 : 0);
    if (!std::is_sorted(states.rbegin(), states.rend())) return fail("a later file was updated before an earlier one");
    const bool allOld = std::none_of(states.begin(), states.end(), [](int s) { return s == 1; });
    const bool allNew = now == c.after;
    const std::vector<std::string> temporary = TemporaryFiles(dir);
    if (!temporary.empty()) ++c.leftovers;
    if (!killed && !allNew) return fail("a finished rewrite did not give the new files");
    if (allNew) {
        ++c.complete;
    } else if (allOld) {
        ++c.unchanged;
    } else {
        ++c.partial;
    }
    if (verbose) {
        std::printf("%-18s delay %6ld us  %-9s %s%s\n", c.rewrite.name.c_str(), delay, killed ? "killed" : "finished",
                    allNew ? "new" : allOld ? "old" : "partial", temporary.empty() ? "" : " (temporary left)");
    }

    if (allOld && !allNew) {
        // The next rewrite copes with whatever the killed one left behind.
        if (c.rewrite.run(dir, RealFileSystem()) != kSuccess) return fail("the rewrite after the kill failed");
        if (Compared(ReadDirectory(dir)) != c.after) return fail("the rewrite after the kill gave other files");
        if (const auto left = TemporaryFiles(dir); !left.empty())
            return fail("the rewrite after the kill left a temporary file: " + left.front());
    }
    return true;
}

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
        const bool hadEmaster = c.before.count((p.empty() ? std::string() : p + "/") + "EMASTER") > 0;
        if (hadEmaster && master.emaster != ExtIndexState::kSound)
            return "after the next writer EMASTER still disagrees with MASTER: " + master.indexWarning;
    }
    return {};
}

int Usage() {
    std::fprintf(stderr, "usage: crash_consistency [--trials N] [--seed S] [--realdb DIR] [--verbose]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    HarnessArgs args(argc, argv, {"--trials", "--seed", "--realdb"}, {"--verbose"});
    const long trials = static_cast<long>(args.count("--trials", 1000));
    const unsigned long long seed =
        args.count("--seed", static_cast<unsigned long long>(Clock::now().time_since_epoch().count()));
    const fs::path realDb = args.text("--realdb");
    const bool verbose = args.flag("--verbose");
    if (!args.ok()) return Usage();
    if (trials < 1) return Usage();

    // A lock a killed writer left would show at once.
    SetPortfolioLockWait(std::chrono::milliseconds(200));
    ScratchDir scratch("barwise-crash");
    std::vector<CaseRun> runs;
    std::vector<RewriteCase> cases = RewriteCases(kTestQuotes, realDb);
    for (RewriteCase& u : UndoCases(scratch.path())) cases.push_back(std::move(u));
    cases.push_back(ImportCase());
    for (RewriteCase& r : cases) {
        CaseRun c;
        c.rewrite = std::move(r);
        c.before = Compared(c.rewrite.before);
        WriteDirectory(scratch.path(), c.rewrite.before);
        if (c.rewrite.run(scratch.path(), RealFileSystem()) != kSuccess) {
            std::printf("FAIL %s: the rewrite fails without any kill\n", c.rewrite.name.c_str());
            return 1;
        }
        c.after = Compared(ReadDirectory(scratch.path()));
        EmptyDirectory(scratch.path());
        // How long a child takes, so the kills spread over the whole rewrite.
        std::vector<long> times;
        for (int k = 0; k < 7; ++k) {
            WriteDirectory(scratch.path(), c.rewrite.before);
            const auto t0 = Clock::now();
            (void)RunChild([&] { return c.rewrite.run(scratch.path(), RealFileSystem()); }, -1);
            times.push_back(static_cast<long>(
                std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - t0).count()));
            EmptyDirectory(scratch.path());
        }
        std::sort(times.begin(), times.end());
        c.micros = std::max(times[times.size() / 2], 1L);
        runs.push_back(std::move(c));
    }

    std::mt19937_64 rng(seed);
    int indexFailures = 0;
    std::printf("crash consistency: %ld trials over %zu rewrites, seed %llu\n", trials, runs.size(), seed);
    for (long t = 0; t < trials; ++t) {
        CaseRun& c = runs[static_cast<std::size_t>(t) % runs.size()];
        // Within the time a rewrite usually takes; the slower runs also finish.
        std::uniform_int_distribution<long> delay(0, c.micros);
        (void)Trial(c, scratch.path(), delay(rng), verbose);
    }

    // Index rewrites that remove or add data files: whole index files, readable securities.
    // Each is killed at random moments, and stopped just before each of its renames in turn
    // (the stops between the index files' renames among them).
    for (IndexRewriteCase& ic : IndexRewriteCases(realDb)) {
        EmptyDirectory(scratch.path());
        WriteTree(scratch.path(), ic.before);
        StopAtRename counter(0);
        const auto t0 = Clock::now();
        if (ic.run(scratch.path(), counter) != kSuccess) {
            std::printf("FAIL %s: the rewrite fails without any kill\n", ic.name.c_str());
            return 1;
        }
        const long micros = std::max(
            2L * static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - t0).count()), 1L);
        const DirectoryContent after = ReadTree(scratch.path());
        int bad = 0, old = 0, complete = 0, other = 0;
        // Killed after `delay` us, or (delay < 0) stopped before rename `stop`.
        auto trial = [&](long delay, int stop) {
            EmptyDirectory(scratch.path());
            WriteTree(scratch.path(), ic.before);
            const int status = RunChild([&] {
                StopAtRename stopping(stop);
                return ic.run(scratch.path(), stopping);
            }, delay);
            const bool killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
            std::string problem = IndexRewriteProblem(ic, scratch.path(), after);
            if (problem.empty()) problem = AfterKillProblem(ic, scratch.path());
            const DirectoryContent now = Compared(ReadTree(scratch.path()));
            if (problem.empty() && !killed && stop == 0 &&
                (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || now != Compared(after)))
                problem = "a finished rewrite did not give the new files";
            if (problem.empty() && now == Compared(ic.before)) {
                ++old;
                // The next rewrite copes with whatever the killed one left behind.
                if (ic.run(scratch.path(), RealFileSystem()) != kSuccess ||
                    Compared(ReadTree(scratch.path())) != Compared(after))
                    problem = "the rewrite after the kill did not give the new files";
            } else if (now == Compared(after)) {
                ++complete;
            } else {
                ++other;
            }
            if (problem.empty()) return;
            ++bad;
            std::printf("FAIL %s (%s %ld, %s): %s\n", ic.name.c_str(), stop == 0 ? "delay us" : "stopped before rename",
                        stop == 0 ? delay : stop, killed ? "killed" : "finished", problem.c_str());
        };
        const long indexTrials = std::max(20L, trials / 10);
        for (long t = 0; t < indexTrials; ++t) trial(std::uniform_int_distribution<long>(0, micros)(rng), 0);
        for (int n = 1; n <= counter.seen(); ++n) trial(-1, n);
        std::printf("%-18s %6ld %9ld  old %d  partial %d  new %d  failures %d (%d renames stopped before)\n",
                    ic.name.c_str(), indexTrials, micros, old, other, complete, bad, counter.seen());
        indexFailures += bad;
    }

    int failures = indexFailures;
    std::printf("%-18s %6s %9s %6s %8s %7s %8s %9s %8s\n", "rewrite", "trials", "time(us)", "old", "partial", "new",
                "finished", "leftover", "failures");
    for (const CaseRun& c : runs) {
        std::printf("%-18s %6d %9ld %6d %8d %7d %8d %9d %8d\n", c.rewrite.name.c_str(), c.trials, c.micros, c.unchanged,
                    c.partial, c.complete, c.finished, c.leftovers, c.failures);
        failures += c.failures;
    }
    std::printf("%s: %d failing trial(s)\n", failures == 0 ? "PASS" : "FAIL", failures);
    std::error_code ec;
    fs::remove_all(scratch.path().string() + "-history", ec);  // the undo cases' history
    return failures == 0 ? 0 : 1;
}
