// Many writers at once: W barwise-cli processes run a mixed list of edits, adds and deletes
// of quotes and renames, deletes, moves and copies of securities on shared portfolios (the
// demo's, portfolios with EMASTER, and with a full MASTER and XMASTER, and a copy of a real
// database with EMASTER and XMASTER). Afterwards every operation that reported success is
// in the files and every one that reported failure is not (a failed move that says the
// security is now in both portfolios must leave it in both); every listed security reads
// whole, untouched quotes are as they were, and MASTER, EMASTER and XMASTER agree.
//
//   concurrency_harness --cli PATH [--ops N] [--workers W] [--seed S] [--realdb DIR]
//                       [--seconds T] [--lock-wait MS] [--verbose]
// Exits 0 when nothing is lost, 1 otherwise, 2 on a usage error.
#include <fcntl.h>
#include <signal.h>
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
#include <vector>

#include "commands/quotes/quoteedits.h"
#include "commands/symbols/symbolops.h"
#include "datafiles/master.h"
#include "datafiles/rewrite.h"
#include "demo/demodb.h"
#include "robustness/harnessargs.h"
#include "robustness/portfolio.h"

extern char** environ;

using namespace barwise;
using namespace barwise::robustness;

namespace {

enum class Kind { kEdit, kDelete, kAdd, kRename, kDeleteSymbol, kMove, kCopy };
// The barwise-cli command of each kind.
const char* KindName(Kind k) {
    static constexpr const char* kNames[] = {"edit-quote",    "delete-quote", "add-quote", "rename-symbol",
                                             "delete-symbol", "move-symbol",  "copy-symbol"};
    return kNames[static_cast<int>(k)];
}

// A series whose quotes the quote operations change: it never moves, so its file number
// names it to the end.
struct QuoteTarget {
    std::string dir;
    int fileNumber = 0;
    std::vector<QuoteRow> original;
};

struct Op {
    Kind kind = Kind::kEdit;
    int target = 0;        // quote operations: index of the QuoteTarget
    DateCode date = 0;     // quote operations
    float value = 0;       // edit: the new close
    std::string dir;       // symbol operations: the source portfolio
    std::string symbol;    // symbol operations: the security
    std::string other;     // rename: the new symbol; move / copy: the destination
    std::vector<std::string> args;
    int exitCode = -1;     // -1: not run
    std::string message;
};

std::string Mdy(DateCode d) {
    const DateParts p = SplitDate(d);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", p.year + 1900, p.month, p.day);
    return text;
}

std::optional<SecurityId> ByFileNumber(const std::string& dir, int number) {
    const MasterFile m = ReadMasterFile(dir);
    for (const barwise::MasterEntry& e : m.entries)
        if (!e.record.isSubdirEntry() && e.record.fileNumber() == number) return e.id;
    return std::nullopt;
}

// The securities a portfolio lists under a symbol (whole symbol text), by identity.
std::vector<SecurityId> Listed(const std::string& dir, const std::string& symbol) {
    std::vector<SecurityId> out;
    const MasterFile m = ReadMasterFile(dir);
    for (const barwise::MasterEntry& e : m.entries)
        if (!e.record.isSubdirEntry() && DisplayText(e.record.symbolField()) == symbol) out.push_back(e.id);
    return out;
}

std::vector<QuoteRow> QuotesOf(const SecurityId& id) {
    SeriesQuotes q;
    if (ReadSeriesQuotes(id, q) != kSuccess) return {};
    return q.quotes;
}

std::string FileText(const fs::path& p) {
    const auto bytes = ReadWholeFile(p);
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

// Runs the operations, at most `workers` processes at a time, until all ran or the time
// is up (then no further one starts).
void RunAll(std::vector<Op>& ops, const std::string& cli, int workers, const fs::path& logs, double seconds,
            bool verbose) {
    const auto stop = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    std::map<pid_t, std::size_t> running;
    std::size_t next = 0;
    while (next < ops.size() || !running.empty()) {
        while (next < ops.size() && static_cast<int>(running.size()) < workers &&
               std::chrono::steady_clock::now() < stop) {
            Op& op = ops[next];
            std::vector<std::string> argv = {cli, KindName(op.kind)};
            argv.insert(argv.end(), op.args.begin(), op.args.end());
            std::vector<char*> raw;
            for (std::string& a : argv) raw.push_back(a.data());
            raw.push_back(nullptr);
            const std::string log = (logs / ("op" + std::to_string(next) + ".txt")).string();
            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
            posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
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
        const pid_t done = waitpid(-1, &status, 0);
        if (done < 0) continue;
        const auto it = running.find(done);
        if (it == running.end()) continue;
        Op& op = ops[it->second];
        op.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        op.message = FileText(logs / ("op" + std::to_string(it->second) + ".txt"));
        if (verbose)
            std::printf("%-14s %-30s exit %d %s", KindName(op.kind), op.args.empty() ? "" : op.args[0].c_str(),
                        op.exitCode, op.message.c_str());
        running.erase(it);
    }
}

// The problems of one portfolio as a whole: unreadable, disagreeing index files, listed
// securities that do not read, file numbers or symbols given twice, temporaries left.
void CheckPortfolio(const std::string& dir, ExtIndexState emaster, ExtIndexState xmaster,
                    std::vector<std::string>& problems) {
    const MasterFile m = ReadMasterFile(dir);
    if (m.status != kSuccess) return problems.push_back(dir + ": MASTER cannot be read");
    if (m.countMismatch()) problems.push_back(dir + ": MASTER's header disagrees with its records");
    if (m.emaster != emaster) problems.push_back(dir + ": EMASTER " + m.indexWarning);
    if (m.xmaster != xmaster) problems.push_back(dir + ": XMASTER " + m.indexWarning);
    std::set<std::pair<bool, int>> numbers;
    std::set<std::string> symbols;
    for (const barwise::MasterEntry& e : m.entries) {
        if (e.record.isSubdirEntry()) continue;
        if (!numbers.insert({e.id.inXmaster(), e.record.fileNumber()}).second)
            problems.push_back(dir + ": file number " + std::to_string(e.record.fileNumber()) + " listed twice");
        const std::string symbol = DisplayText(e.record.symbolField());
        if (!symbols.insert(symbol).second) problems.push_back(dir + ": symbol " + symbol + " listed twice");
        SeriesQuotes q;
        if (ReadSeriesQuotes(e.id, q) != kSuccess)
            problems.push_back(dir + ": " + symbol + " is listed but its quotes cannot be read");
    }
    for (const std::string& t : TemporaryFiles(dir)) problems.push_back(dir + ": temporary file left: " + t);
}

int Usage() {
    std::fprintf(stderr,
                 "usage: concurrency_harness --cli PATH [--ops N] [--workers W] [--seed S] [--realdb DIR] "
                 "[--seconds T] [--lock-wait MS] [--verbose]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    HarnessArgs args(argc, argv, {"--cli", "--ops", "--workers", "--seed", "--seconds", "--lock-wait", "--realdb"},
                     {"--verbose"});
    const std::string cli = args.text("--cli");
    const long opCount = static_cast<long>(args.count("--ops", 300));
    const int workers = static_cast<int>(args.count("--workers", 4));
    const double seconds = args.real("--seconds", 45);
    const unsigned long long seed =
        args.count("--seed", static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count()));
    const fs::path realDb = args.text("--realdb");
    const bool verbose = args.flag("--verbose");
    // How long each process waits for another's lock (milliseconds): 0 makes many of them
    // give up, and each that gave up must have written nothing.
    if (!args.text("--lock-wait").empty())
        setenv("BARWISE_LOCK_WAIT_MS", std::to_string(args.count("--lock-wait", 0)).c_str(), 1);
    if (!args.ok()) return Usage();
    if (cli.empty() || opCount < 1 || workers < 1 || seconds <= 0) return Usage();
    std::mt19937_64 rng(seed);

    // The portfolios.
    ScratchDir scratch("barwise-concurrency");
    const fs::path root = scratch.path();
    if (WriteDemoDatabase(root / "demo", false).status != kSuccess) return std::printf("FAIL: no demo\n"), 1;
    const std::string stocks = (root / "demo" / "STOCKS").string();
    const std::string futures = (root / "demo" / "FUTURES").string();
    const std::string ext = (root / "ext").string();    // MASTER and EMASTER
    const std::string full = (root / "full").string();  // a full MASTER, EMASTER and XMASTER
    if (WriteExtendedPortfolio(ext, 80, 120).status != kSuccess || WriteExtendedPortfolio(full, 256, 5).status != kSuccess)
        return std::printf("FAIL: no extended portfolios\n"), 1;
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
        fs::copy(realDb / "equis-xmaster-mini", real, fs::copy_options::recursive, ec);
        for (const auto& e : fs::directory_iterator(real)) fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add, ec);
        portfolios.push_back(real);
    }
    std::map<std::string, std::pair<ExtIndexState, ExtIndexState>> states;
    for (const std::string& p : portfolios) {
        const MasterFile m = ReadMasterFile(p);
        states[p] = {m.emaster, m.xmaster};
    }

    // The series the quote operations change, and the dates each may take (each date once).
    std::vector<QuoteTarget> targets;
    const std::vector<std::pair<std::string, int>> picked = {{stocks, 1}, {stocks, 2}, {ext, 1},    {ext, 2},
                                                              {full, 256},  {real, 2},   {real, 256}};
    for (const auto& [dir, number] : picked)
        if (const auto id = dir.empty() ? std::nullopt : ByFileNumber(dir, number)) targets.push_back({dir, number, QuotesOf(*id)});
    // Each series as often as the others, each date once.
    std::vector<std::vector<DateCode>> free(targets.size());
    for (std::size_t t = 0; t < targets.size(); ++t) {
        for (std::size_t i = 1; i < targets[t].original.size(); ++i) free[t].push_back(targets[t].original[i].date);
        std::shuffle(free[t].begin(), free[t].end(), rng);
    }
    std::vector<std::pair<int, DateCode>> dates;
    for (bool more = true; more;) {
        more = false;
        for (std::size_t t = 0; t < targets.size(); ++t) {
            if (free[t].empty()) continue;
            dates.push_back({static_cast<int>(t), free[t].back()});
            free[t].pop_back();
            more = true;
        }
    }

    // Securities for the symbol operations, each used once: those of `ext` from 10 on, and
    // three of the demo's that cross over into `ext` while others come the other way.
    std::vector<Op> symbolOps;
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
    int renamed = 0;
    for (std::size_t i = 0; i < movable.size(); ++i) {
        Op op;
        op.dir = movable[i].first;
        op.symbol = movable[i].second;
        const int pick = i < 3 ? 4 : static_cast<int>(i % 4);
        if (pick == 0) {
            op.kind = Kind::kRename;
            op.other = "RN" + std::to_string(++renamed);
            op.args = {op.dir, op.symbol, op.other};
        } else if (pick == 1) {
            op.kind = Kind::kDeleteSymbol;
            op.args = {op.dir, op.symbol, "--yes"};
        } else {
            op.kind = pick == 2 ? Kind::kCopy : Kind::kMove;
            op.other = i < 3 ? ext : destinations[i % destinations.size()];
            op.args = {op.dir, op.symbol, op.other};
        }
        symbolOps.push_back(std::move(op));
    }

    std::vector<Op> ops;
    std::set<std::pair<int, DateCode>> added;
    const std::size_t quoteOps = opCount > static_cast<long>(symbolOps.size()) ? static_cast<std::size_t>(opCount) - symbolOps.size() : 0;
    std::uniform_int_distribution<int> percent(0, 99);
    for (std::size_t i = 0; i < quoteOps && i < dates.size(); ++i) {
        Op op;
        op.target = dates[i].first;
        op.date = dates[i].second;
        const QuoteTarget& t = targets[static_cast<std::size_t>(op.target)];
        const std::vector<std::string> which = {t.dir, Mdy(op.date), "--file", std::to_string(t.fileNumber)};
        const int p = percent(rng);
        const DateCode before = PreviousWeekday(op.date);
        const bool gap = std::none_of(t.original.begin(), t.original.end(), [&](const QuoteRow& q) { return q.date == before; });
        if (p < 12 && gap && added.insert({op.target, before}).second) {
            op.kind = Kind::kAdd;
            op.args = which;
        } else if (p < 35) {
            op.kind = Kind::kDelete;
            op.args = which;
        } else {
            op.kind = Kind::kEdit;
            op.value = static_cast<float>(100000 + ops.size());
            op.args = which;
            op.args.push_back("--close");
            op.args.push_back(std::to_string(100000 + ops.size()));
        }
        ops.push_back(std::move(op));
    }
    // The symbol operations spread among the others.
    for (Op& s : symbolOps) {
        const std::size_t at = std::uniform_int_distribution<std::size_t>(0, ops.size())(rng);
        ops.insert(ops.begin() + static_cast<std::ptrdiff_t>(at), std::move(s));
    }
    // Originals of the securities the symbol operations act on.
    std::map<std::string, std::vector<QuoteRow>> originals;
    for (const Op& op : ops) {
        if (op.symbol.empty()) continue;
        const auto ids = Listed(op.dir, op.symbol);
        if (ids.size() != 1) return std::printf("FAIL: %s is not listed once in %s\n", op.symbol.c_str(), op.dir.c_str()), 1;
        originals[op.symbol] = QuotesOf(ids.front());
    }

    fs::create_directories(root / "logs");
    const auto t0 = std::chrono::steady_clock::now();
    RunAll(ops, cli, workers, root / "logs", seconds, verbose);
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

    // What the files hold now.
    std::vector<std::string> problems;
    for (const std::string& p : portfolios) CheckPortfolio(p, states[p].first, states[p].second, problems);
    std::vector<std::map<DateCode, QuoteRow>> now(targets.size());
    for (std::size_t t = 0; t < targets.size(); ++t) {
        const auto id = ByFileNumber(targets[t].dir, targets[t].fileNumber);
        if (!id) {
            problems.push_back(targets[t].dir + ": F" + std::to_string(targets[t].fileNumber) + " is gone");
            continue;
        }
        for (const QuoteRow& q : QuotesOf(*id)) now[t][q.date] = q;
    }
    auto same = [](const std::vector<QuoteRow>& a, const std::vector<QuoteRow>& b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const QuoteRow& x, const QuoteRow& y) {
                   return x.date == y.date && x.time == y.time && x.values == y.values;
               });
    };

    int run = 0, succeeded = 0, failed = 0, lost = 0;
    std::map<std::string, int> failures;  // by message
    std::vector<std::set<DateCode>> touched(targets.size());
    std::vector<long> expectedCount(targets.size());
    for (std::size_t t = 0; t < targets.size(); ++t) expectedCount[t] = static_cast<long>(targets[t].original.size());
    for (const Op& op : ops) {
        if (op.exitCode < 0) continue;
        ++run;
        const bool ok = op.exitCode == 0;
        ok ? ++succeeded : ++failed;
        if (!ok) {
            // Counted by message, without the paths, dates and numbers that vary.
            std::string key = op.message.substr(0, op.message.find('\n'));
            for (std::size_t at; (at = key.find(root.string())) != std::string::npos;) key.erase(at, root.string().size());
            for (char& c : key)
                if (c >= '0' && c <= '9') c = '#';
            ++failures[std::string(KindName(op.kind)) + ": " + key];
        }
        bool holds = true;
        std::string what;
        if (op.symbol.empty()) {
            const auto t = static_cast<std::size_t>(op.target);
            const auto& q = now[t];
            touched[t].insert(op.date);
            const auto at = q.find(op.date);
            if (op.kind == Kind::kEdit) {
                const bool present = at != q.end() && at->second.values[3] == op.value;
                holds = present == ok;
                // The other fields of an edited quote stay as they were.
                if (present) {
                    const auto orig = std::find_if(targets[t].original.begin(), targets[t].original.end(),
                                                   [&](const QuoteRow& r) { return r.date == op.date; });
                    for (int f : {0, 1, 2, 4, 5})
                        if (orig->values[static_cast<std::size_t>(f)] != at->second.values[static_cast<std::size_t>(f)]) holds = false;
                }
            } else if (op.kind == Kind::kDelete) {
                holds = (at == q.end()) == ok;
                if (ok) --expectedCount[t];
            } else {
                const DateCode d = PreviousWeekday(op.date);
                touched[t].insert(d);
                holds = q.count(d) == (ok ? 1u : 0u);
                if (ok) ++expectedCount[t];
            }
            what = targets[t].dir + " F" + std::to_string(targets[t].fileNumber) + " " + Mdy(op.date);
        } else {
            const auto inSource = Listed(op.dir, op.symbol);
            what = op.dir + " " + op.symbol;
            const bool bothSaid = op.message.find("now in both portfolios") != std::string::npos;
            if (op.kind == Kind::kRename) {
                const auto renamedTo = Listed(op.dir, op.other);
                holds = ok ? inSource.empty() && renamedTo.size() == 1 : inSource.size() == 1 && renamedTo.empty();
            } else if (op.kind == Kind::kDeleteSymbol) {
                holds = ok ? inSource.empty() : inSource.size() == 1;
            } else {
                const auto there = Listed(op.other, op.symbol);
                const bool stays = op.kind == Kind::kCopy || (!ok && !bothSaid) || bothSaid;
                const bool arrives = ok || bothSaid;
                holds = (inSource.size() == 1) == stays && there.size() == (arrives ? 1u : 0u);
                if (holds && arrives && !same(QuotesOf(there.front()), originals[op.symbol])) {
                    holds = false;
                    what += " (its quotes differ in " + op.other + ")";
                }
                if (holds && stays && !same(QuotesOf(inSource.front()), originals[op.symbol])) {
                    holds = false;
                    what += " (its quotes differ in " + op.dir + ")";
                }
            }
        }
        if (!holds) {
            ++lost;
            std::printf("LOST %s %s: exit %d, %s", KindName(op.kind), what.c_str(), op.exitCode,
                        op.message.empty() ? "no message\n" : op.message.c_str());
        }
    }
    // No quote lost, none gained, and those no operation touched as they were.
    for (std::size_t t = 0; t < targets.size(); ++t) {
        if (static_cast<long>(now[t].size()) != expectedCount[t])
            problems.push_back(targets[t].dir + " F" + std::to_string(targets[t].fileNumber) + " holds " +
                               std::to_string(now[t].size()) + " quotes, not " + std::to_string(expectedCount[t]));
        for (const QuoteRow& q : targets[t].original) {
            if (touched[t].count(q.date)) continue;
            const auto at = now[t].find(q.date);
            if (at == now[t].end() || at->second.values != q.values)
                problems.push_back(targets[t].dir + " F" + std::to_string(targets[t].fileNumber) + ": the quote of " +
                                   Mdy(q.date) + ", touched by no operation, changed");
        }
    }

    for (const std::string& p : problems) std::printf("PROBLEM %s\n", p.c_str());
    std::printf("concurrency: seed %llu, %d workers, %d of %zu operations run in %.1f s: %d succeeded, %d failed\n",
                seed, workers, run, ops.size(), took, succeeded, failed);
    for (const auto& [message, n] : failures) std::printf("  %5d x %s\n", n, message.c_str());
    std::printf("%s: %d lost, %zu other problem(s)\n", lost == 0 && problems.empty() ? "PASS" : "FAIL", lost,
                problems.size());
    return lost == 0 && problems.empty() ? 0 : 1;
}
