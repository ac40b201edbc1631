#include "cli/checkcommand.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "check/checkrepair.h"
#include "check/portfoliocheck.h"
#include "cli/clicommon.h"
#include "commands/symbols/symbolops.h"
#include "datafiles/changes.h"

namespace barwise {
namespace {

struct CheckArgs {
    std::string dir;
    bool below = false;
    bool repair = false;
    bool yes = false;
    bool json = false;
    int maxGap = CheckOptions{}.maxGapWeekdays;
};

constexpr int kExitFindings = 1;
constexpr int kRepairRounds = 4;
constexpr int kExitError = 2;

void PrintFindings(const CliStreams& io, const std::vector<Finding>& findings, bool json) {
    for (const Finding& f : findings) {
        const std::string hint = EditQuoteHint(f);
        if (json) {
            std::string obj = FindingJson(f);
            obj.pop_back();
            obj += std::string(",\"repairable\":") + (IsRepairable(f) ? "true" : "false");
            if (!hint.empty() && !IsRepairable(f)) obj += ",\"editQuote\":\"" + hint + "\"";
            io.out << obj << "}\n";
            continue;
        }
        io.out << Latin1ToUtf8(FindingLine(f)) << (IsRepairable(f) ? " [repairable]" : "") << '\n';
        // Quotes are never changed by the check: it says how to open the quote instead.
        if (!hint.empty() && !IsRepairable(f))
            io.out << "    to edit: " << kProgram << " " << hint << '\n';
    }
}

std::string Summary(const std::vector<Finding>& findings) {
    if (findings.empty()) return "clean";
    int counts[3] = {0, 0, 0};
    int repairable = 0;
    for (const Finding& f : findings) {
        ++counts[static_cast<int>(f.cls)];
        if (IsRepairable(f)) ++repairable;
    }
    return std::to_string(findings.size()) + (findings.size() == 1 ? " finding" : " findings") +
           " (" + std::to_string(counts[0]) + " damage, " + std::to_string(counts[1]) +
           " suspect, " + std::to_string(counts[2]) + " leftover; " + std::to_string(repairable) +
           " repairable)";
}

const char* ChangeVerb(FileChange::Kind kind) {
    switch (kind) {
        case FileChange::Kind::kCreated:
            return "created";
        case FileChange::Kind::kReplaced:
            return "replaced";
        case FileChange::Kind::kRemoved:
            return "removed";
    }
    return "changed";
}

int RunCheck(const CheckArgs& a, const CliStreams& io) {
    if (a.maxGap < 1) return UsageFailure(io, "check: --max-gap must be 1 or more");
    if (a.yes && !a.repair) return UsageFailure(io, "check: --yes goes with --repair");
    std::vector<std::string> dirs;
    if (a.below) {
        dirs = PortfoliosBelow(a.dir);
        if (dirs.empty()) {
            io.err << kProgram << ": check: no portfolio at or below " << a.dir << '\n';
            return kExitError;
        }
    } else {
        dirs.push_back(a.dir);
    }
    CheckOptions options;
    options.maxGapWeekdays = a.maxGap;
    bool ioError = false;
    bool remain = false;
    for (const std::string& dir : dirs) {
        CheckReport report = CheckPortfolio(dir, options);
        if (report.status != kSuccess) {
            io.err << kProgram << ": " << (report.masterFile.empty() ? dir : report.masterFile)
                   << ": " << DataStatusName(report.status) << " (no portfolio can be checked)\n";
            ioError = true;
            continue;
        }
        if (a.repair) {
            std::vector<Finding> repairable;
            for (const Finding& f : report.findings)
                if (IsRepairable(f)) repairable.push_back(f);
            if (!repairable.empty()) {
                if (!a.json) PrintFindings(io, report.findings, false);
                if (!a.yes) {
                    if (!io.inIsTerminal) {
                        io.err << kProgram
                               << ": check: nothing repaired; give --yes to repair without being "
                                  "asked\n";
                        return kExitError;
                    }
                    io.err << "Repair " << repairable.size() << " finding"
                           << (repairable.size() == 1 ? "" : "s") << " in " << dir << "? [y/N] "
                           << std::flush;
                    std::string answer;
                    if (!std::getline(io.in, answer) ||
                        (answer != "y" && answer != "Y" && answer != "yes")) {
                        io.err << kProgram << ": check: nothing repaired\n";
                        remain = true;
                        continue;
                    }
                }
                // A data file no record lists becomes a security under the names a stray
                // EMASTER record gives, else F<n>; rename-symbol changes them later. A repair
                // can lay bare another (quotes sorted into order put repeated ones side by
                // side), so rounds follow while one mends something, a few at most.
                std::vector<std::pair<std::string, SecurityNames>> adopted;
                UndoableChange change(dir);
                const std::string label = RepairLabel(repairable.size());
                for (int round = 0; round < kRepairRounds && !repairable.empty(); ++round) {
                    const RepairOutcome outcome =
                        RepairFindings(repairable, change.fs(), [&](const Finding& f) {
                            const SecurityNames names = SuggestedNames(f);
                            if (std::none_of(adopted.begin(), adopted.end(),
                                             [&](const auto& e) { return e.first == f.file; }))
                                adopted.emplace_back(f.file, names);
                            return std::optional<SecurityNames>(names);
                        });
                    for (const FileChange& c : outcome.result.changes)
                        io.err << kProgram << ": " << ChangeVerb(c.kind) << " " << c.path.string()
                               << '\n';
                    for (const std::string& failure : outcome.failures)
                        io.err << kProgram << ": not repaired: " << failure << '\n';
                    report = CheckPortfolio(dir, options);
                    repairable.clear();
                    if (report.status != kSuccess || outcome.repaired == 0) break;
                    for (const Finding& f : report.findings)
                        if (IsRepairable(f)) repairable.push_back(f);
                }
                RememberChange(io, change, label);
                if (report.status != kSuccess) {
                    io.err << kProgram << ": " << dir << ": " << DataStatusName(report.status)
                           << " (the portfolio cannot be checked after the repair)\n";
                    ioError = true;
                    continue;
                }
                // Said of the files the portfolio now lists, not of those asked for.
                for (const auto& entry : adopted) {
                    const std::string& file =
                        entry.first;  // named, not bound: the lambda captures it
                    const bool stillUnlisted = std::any_of(
                        report.findings.begin(), report.findings.end(), [&](const Finding& f) {
                            return f.kind == FindingKind::kUnlistedDataFile && f.file == file;
                        });
                    if (!stillUnlisted)
                        io.err << kProgram << ": " << file << " is added as " << entry.second.symbol
                               << " (" << entry.second.name << ")\n";
                }
                if (!a.json) io.out << "after repair:\n";
            }
        }
        PrintFindings(io, report.findings, a.json);
        io.err << kProgram << ": " << dir << ": " << Summary(report.findings) << '\n';
        if (!report.findings.empty()) remain = true;
    }
    if (ioError) return kExitError;
    return remain ? kExitFindings : kExitOk;
}

}  // namespace

void DefineCheck(CLI::App& c, const CommandSetup& setup) {
    auto a = std::make_shared<CheckArgs>();
    c.add_option("DIR", a->dir, "Portfolio directory (with --below: where to start)")->required();
    c.add_flag("--below", a->below, "Check every portfolio at or below DIR");
    c.add_flag("--repair", a->repair, "Mend what is mechanical (asks first, unless --yes)");
    c.add_flag("--yes", a->yes, "Repair without asking");
    c.add_flag("--json", a->json, "One JSON object per finding, one per line");
    c.add_option("--max-gap", a->maxGap,
                 "Weekdays a daily series may go without a quote (default 10)");
    c.callback([a, setup] { setup.run = [a, &io = setup.io] { return RunCheck(*a, io); }; });
}

}  // namespace barwise
