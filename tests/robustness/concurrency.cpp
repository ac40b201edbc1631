// Many writers at once: W barwise-cli processes run a mixed list of edits, adds and deletes
// of quotes and renames, deletes, moves and copies of securities on shared portfolios (the
// demo's, portfolios with EMASTER, and with a full MASTER and XMASTER, and a copy of a real
// database with EMASTER and XMASTER). Afterwards every operation that reported success is
// in the files and every one that reported failure is not (a failed move that says the
// security is now in both portfolios must leave it in both); every listed security reads
// whole, untouched quotes are as they were, and MASTER, EMASTER and XMASTER agree.
//
//   concurrency_harness --cli PATH [--ops N] [--workers W] [--seed S] [--realdb DIR]
//                       [--seconds T] [--lock-wait MS]
// Exits 0 when nothing is lost, 1 otherwise, 2 on a usage error.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "commands/quotes/quoteedits.h"
#include "datafiles/master.h"
#include "datafiles/rewrite.h"
#include "demo/demodb.h"
#include "robustness/harnessargs.h"
#include "robustness/portfolio.h"

extern char** environ;

using namespace barwise;
using namespace barwise::robustness;

namespace {

// A series whose quotes the quote operations change: it never moves, so its file number
// names it to the end.
struct QuoteTarget {
    std::string dir;
    int fileNumber = 0;
    std::map<DateCode, QuoteRow> original;
};

struct Op {
    std::vector<std::string> args;  // the barwise-cli command line without the program
    int target = -1;                // quote operations: index of the QuoteTarget
    DateCode date = 0;              // quote operations: the quote changed or added
    float close = 0;                // edit-quote: the new close
    std::string dir, symbol;        // symbol operations: the source portfolio, the security
    std::string other;              // rename: the new symbol; move / copy: the destination
    int exitCode = -1;              // -1: not run
    std::string message;
};

std::optional<SecurityId> ByFileNumber(const std::string& dir, int number) {
    for (const barwise::MasterEntry& e : ReadMasterFile(dir).entries)
        if (!e.record.isSubdirEntry() && e.record.fileNumber() == number) return e.id;
    return std::nullopt;
}

// The securities a portfolio lists under a symbol (whole symbol text), by identity.
std::vector<SecurityId> Listed(const std::string& dir, const std::string& symbol) {
    std::vector<SecurityId> out;
    for (const barwise::MasterEntry& e : ReadMasterFile(dir).entries)
        if (!e.record.isSubdirEntry() && DisplayText(e.record.symbolField()) == symbol)
            out.push_back(e.id);
    return out;
}

std::map<DateCode, QuoteRow> QuotesOf(const SecurityId& id) {
    SeriesQuotes q;
    std::map<DateCode, QuoteRow> out;
    if (ReadSeriesQuotes(id, q) == kSuccess)
        for (const QuoteRow& row : q.quotes) out[row.date] = row;
    return out;
}

bool SameQuotes(const std::map<DateCode, QuoteRow>& a, const std::map<DateCode, QuoteRow>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.first == y.first && x.second.time == y.second.time &&
               x.second.values == y.second.values;
    });
}

// Runs the operations, at most `workers` processes at a time, until all ran or the time
// is up (then no further one starts).
void RunAll(std::vector<Op>& ops, const std::string& cli, int workers, const fs::path& logs,
            long seconds) {
    const auto stop = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    std::map<pid_t, std::size_t> running;
    std::size_t next = 0;
    while (next < ops.size() || !running.empty()) {
        while (next < ops.size() && static_cast<int>(running.size()) < workers &&
               std::chrono::steady_clock::now() < stop) {
            std::vector<std::string> argv = ops[next].args;
            argv.insert(argv.begin(), cli);
            std::vector<char*> raw;
            for (std::string& a : argv) raw.push_back(a.data());
            raw.push_back(nullptr);
            const std::string log = (logs / ("op" + std::to_string(next) + ".txt")).string();
            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
            posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT, 0644);
            pid_t pid = 0;
            const int r = posix_spawn(&pid, cli.c_str(), &actions, nullptr, raw.data(), environ);
            posix_spawn_file_actions_destroy(&actions);
            if (r != 0) {
                std::perror("posix_spawn");
                std::exit(1);
            }
            running[pid] = next++;
        }
        if (running.empty()) break;
        int status = 0;
        const auto it = running.find(waitpid(-1, &status, 0));
        if (it == running.end()) continue;
        Op& op = ops[it->second];
        op.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        const auto text = ReadWholeFile(logs / ("op" + std::to_string(it->second) + ".txt"));
        if (text) op.message.assign(text->begin(), text->end());
        running.erase(it);
    }
}

// Whether the files hold what a symbol operation reported.
bool SymbolOpHolds(const Op& op, const std::map<DateCode, QuoteRow>& original) {
    const bool ok = op.exitCode == 0;
    const auto inSource = Listed(op.dir, op.symbol);
    const std::string command = op.args.front();
    if (command == "rename-symbol") {
        const auto renamed = Listed(op.dir, op.other);
        return ok ? inSource.empty() && renamed.size() == 1
                  : inSource.size() == 1 && renamed.empty();
    }
    if (command == "delete-symbol") return inSource.size() == (ok ? 0u : 1u);
    // A move that failed half-way says the security is in both portfolios.
    const bool bothSaid = op.message.find("now in both portfolios") != std::string::npos;
    const bool stays = command == "copy-symbol" || !ok || bothSaid;
    const bool arrives = ok || bothSaid;
    const auto there = Listed(op.other, op.symbol);
    if (inSource.size() != (stays ? 1u : 0u) || there.size() != (arrives ? 1u : 0u)) return false;
    return (!arrives || SameQuotes(QuotesOf(there.front()), original)) &&
           (!stays || SameQuotes(QuotesOf(inSource.front()), original));
}

}  // namespace

int main(int argc, char** argv) {
    HarnessArgs args(
        argc, argv,
        {"--cli", "--ops", "--workers", "--seed", "--seconds", "--lock-wait", "--realdb"});
    const std::string cli = args.text("--cli");
    const auto opCount = static_cast<std::size_t>(args.count("--ops", 300));
    const int workers = static_cast<int>(args.count("--workers", 4));
    const long seconds = static_cast<long>(args.count("--seconds", 45));
    const unsigned long long seed =
        args.count("--seed", static_cast<unsigned long long>(
                                 std::chrono::steady_clock::now().time_since_epoch().count()));
    const fs::path realDb = args.text("--realdb");
    // How long each process waits for another's lock (milliseconds): 0 makes many of them
    // give up, and each that gave up must have written nothing.
    if (!args.text("--lock-wait").empty())
        setenv("BARWISE_LOCK_WAIT_MS", std::to_string(args.count("--lock-wait", 0)).c_str(), 1);
    if (!args.ok() || cli.empty() || opCount < 1 || workers < 1 || seconds < 1) {
        std::fprintf(stderr,
                     "usage: concurrency_harness --cli PATH [--ops N] [--workers W] [--seed S] "
                     "[--realdb DIR] [--seconds T] [--lock-wait MS]\n");
        return 2;
    }
    std::mt19937_64 rng(seed);

    // The portfolios.
    ScratchDir scratch("barwise-concurrency");
    const fs::path root = scratch.path();
    const std::string stocks = (root / "demo" / "STOCKS").string();
    const std::string futures = (root / "demo" / "FUTURES").string();
    const std::string ext = (root / "ext").string();    // MASTER and EMASTER
    const std::string full = (root / "full").string();  // a full MASTER, EMASTER and XMASTER
    if (WriteDemoDatabase(root / "demo", false).status != kSuccess ||
        WriteExtendedPortfolio(ext, 80, 120).status != kSuccess ||
        WriteExtendedPortfolio(full, 256, 5).status != kSuccess)
        return std::printf("FAIL: the portfolios cannot be written\n"), 1;
    // The full portfolio's symbols of its own, so securities of `ext` can be copied in.
    for (int n = 1; n <= 256; ++n) {
        const auto id = ByFileNumber(full, n);
        MasterRecord r;
        if (!id || ReadMasterEntry(*id, r) != kSuccess ||
            RenameMasterEntry(*id, "F" + std::to_string(n), SecurityName(r)) != kSuccess)
            return std::printf("FAIL: cannot prepare %s\n", full.c_str()), 1;
    }
    std::vector<std::string> portfolios = {stocks, futures, ext, full};
    std::string real;
    std::error_code ec;
    if (!realDb.empty() && fs::exists(realDb / "equis-xmaster-mini" / "XMASTER", ec)) {
        real = (root / "real").string();
        fs::create_directories(real);
        WriteDirectory(real, ReadDirectory(realDb / "equis-xmaster-mini"));
        portfolios.push_back(real);
    }
    std::map<std::string, std::pair<ExtIndexState, ExtIndexState>> states;
    for (const std::string& p : portfolios) {
        const MasterFile m = ReadMasterFile(p);
        states[p] = {m.emaster, m.xmaster};
    }

    // The series the quote operations change, and the dates each may take: each series as
    // often as the others, each date once.
    std::vector<QuoteTarget> targets;
    const std::vector<std::pair<std::string, int>> picked = {
        {stocks, 1}, {stocks, 2}, {ext, 1}, {ext, 2}, {full, 256}, {real, 2}, {real, 256}};
    std::vector<std::vector<DateCode>> free;
    for (const auto& [dir, number] : picked) {
        const auto id = dir.empty() ? std::nullopt : ByFileNumber(dir, number);
        if (!id) continue;
        targets.push_back({dir, number, QuotesOf(*id)});
        free.emplace_back();
        // The first quote stays.
        for (const auto& [date, quote] : targets.back().original)
            if (date != targets.back().original.begin()->first) free.back().push_back(date);
        std::shuffle(free.back().begin(), free.back().end(), rng);
    }
    std::vector<std::pair<int, DateCode>> dates;
    for (std::size_t round = 0, taken = 1; taken > 0; ++round) {
        taken = 0;
        for (std::size_t t = 0; t < targets.size(); ++t) {
            if (round >= free[t].size()) continue;
            dates.push_back({static_cast<int>(t), free[t][round]});
            ++taken;
        }
    }

    // Securities for the symbol operations, each used once: those of `ext` from 10 on, and
    // three of the demo's that cross over into `ext` while others come the other way.
    std::vector<std::pair<std::string, std::string>> movable;
    for (int n = 10; n <= 80; ++n) {
        char symbol[16];
        std::snprintf(symbol, sizeof symbol, "X%04d", n);
        movable.push_back({ext, symbol});
    }
    std::shuffle(movable.begin(), movable.end(), rng);
    for (const char* s : {"CRNE", "DYNA", "GLBX"}) movable.insert(movable.begin(), {stocks, s});
    std::vector<std::string> destinations = {stocks, futures, full};
    if (!real.empty()) destinations.push_back(real);
    std::vector<Op> ops;
    for (std::size_t i = 0; i < movable.size(); ++i) {
        Op op;
        std::tie(op.dir, op.symbol) = movable[i];
        const std::size_t pick = i < 3 ? 4 : i % 4;
        if (pick == 0) {
            op.other = "RN" + std::to_string(i);
            op.args = {"rename-symbol", op.dir, op.symbol, op.other};
        } else if (pick == 1) {
            op.args = {"delete-symbol", op.dir, op.symbol, "--yes"};
        } else {
            op.other = i < 3 ? ext : destinations[i % destinations.size()];
            op.args = {pick == 2 ? "copy-symbol" : "move-symbol", op.dir, op.symbol, op.other};
        }
        ops.push_back(std::move(op));
    }
    // Originals of the securities the symbol operations act on.
    std::map<std::string, std::map<DateCode, QuoteRow>> originals;
    for (const Op& op : ops) {
        const auto ids = Listed(op.dir, op.symbol);
        if (ids.size() != 1)
            return std::printf("FAIL: %s is not listed once in %s\n", op.symbol.c_str(),
                               op.dir.c_str()),
                   1;
        originals[op.symbol] = QuotesOf(ids.front());
    }

    // The quote operations, the symbol operations spread among them.
    std::set<std::pair<int, DateCode>> added;
    std::uniform_int_distribution<int> percent(0, 99);
    const std::size_t quoteOps = opCount > ops.size() ? opCount - ops.size() : 0;
    for (std::size_t i = 0; i < quoteOps && i < dates.size(); ++i) {
        Op op;
        op.target = dates[i].first;
        op.date = dates[i].second;
        const QuoteTarget& t = targets[static_cast<std::size_t>(op.target)];
        const std::vector<std::string> which = {t.dir, FormatDateMdy(op.date, true), "--file",
                                                std::to_string(t.fileNumber)};
        const int p = percent(rng);
        const DateCode before = PreviousWeekday(op.date);
        if (p < 12 && !t.original.count(before) && added.insert({op.target, before}).second) {
            op.date = before;
            op.args = {"add-quote"};
        } else if (p < 35) {
            op.args = {"delete-quote"};
        } else {
            op.close = static_cast<float>(100000 + i);
            op.args = {"edit-quote", "--close", std::to_string(100000 + i)};
        }
        op.args.insert(op.args.begin() + 1, which.begin(), which.end());
        const auto at = std::uniform_int_distribution<std::size_t>(0, ops.size())(rng);
        ops.insert(ops.begin() + static_cast<std::ptrdiff_t>(at), std::move(op));
    }

    fs::create_directories(root / "logs");
    const auto t0 = std::chrono::steady_clock::now();
    RunAll(ops, cli, workers, root / "logs", seconds);
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

    // What the quotes must be now: each series' original quotes, changed by the
    // operations that reported success only (an added quote's values are not known).
    std::vector<std::string> problems;
    std::vector<std::map<DateCode, std::optional<QuoteRow>>> expected(targets.size());
    for (std::size_t t = 0; t < targets.size(); ++t)
        expected[t].insert(targets[t].original.begin(), targets[t].original.end());
    int run = 0, succeeded = 0;
    for (const Op& op : ops) {
        if (op.exitCode < 0) continue;
        ++run;
        const bool ok = op.exitCode == 0;
        succeeded += ok ? 1 : 0;
        if (op.target < 0) {
            if (!SymbolOpHolds(op, originals[op.symbol]))
                problems.push_back("LOST " + op.args.front() + " " + op.dir + " " + op.symbol +
                                   ": exit " + std::to_string(op.exitCode) + ", " + op.message);
        } else if (ok) {
            auto& quotes = expected[static_cast<std::size_t>(op.target)];
            if (op.args.front() == "add-quote") quotes[op.date] = std::nullopt;
            if (op.args.front() == "delete-quote") quotes.erase(op.date);
            if (op.args.front() == "edit-quote") quotes[op.date]->values[3] = op.close;
        }
    }
    for (std::size_t t = 0; t < targets.size(); ++t) {
        const std::string what = targets[t].dir + " F" + std::to_string(targets[t].fileNumber);
        const auto id = ByFileNumber(targets[t].dir, targets[t].fileNumber);
        const std::map<DateCode, QuoteRow> now =
            id ? QuotesOf(*id) : std::map<DateCode, QuoteRow>{};
        for (const auto& [date, quote] : expected[t]) {
            const auto at = now.find(date);
            if (at == now.end() || (quote && at->second.values != quote->values))
                problems.push_back(what + ": the quote of " + FormatDateMdy(date, true) +
                                   " is lost or other");
        }
        for (const auto& [date, quote] : now)
            if (!expected[t].count(date))
                problems.push_back(what + ": " + FormatDateMdy(date, true) + " is back or new");
    }
    // Each portfolio whole, its index files in the state they started in, no temporaries.
    for (const std::string& p : portfolios) {
        if (std::string problem = PortfolioProblem(p); !problem.empty())
            problems.push_back(problem);
        const MasterFile m = ReadMasterFile(p);
        if (std::pair{m.emaster, m.xmaster} != states[p])
            problems.push_back(p + ": " + m.indexWarning);
        for (const std::string& t : TemporaryFiles(p)) problems.push_back(p + ": " + t + " left");
    }

    for (const std::string& p : problems) std::printf("PROBLEM %s\n", p.c_str());
    std::printf(
        "concurrency: seed %llu, %d workers, %d of %zu operations run in %.1f s: %d succeeded\n",
        seed, workers, run, ops.size(), took, succeeded);
    std::printf("%s: %zu problem(s)\n", problems.empty() ? "PASS" : "FAIL", problems.size());
    return problems.empty() ? 0 : 1;
}
