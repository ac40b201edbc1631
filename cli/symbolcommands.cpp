#include "cli/symbolcommands.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/clicommon.h"
#include "commands/symbols/symbolops.h"
#include "datafiles/master.h"
#include "datafiles/portfoliolock.h"
#include "discovery/symbollist.h"

namespace barwise {
namespace {

struct SymbolArgs {
    std::string dir;
    std::vector<std::string> rest;  // SYMBOL (unless --file) and what follows it
    std::optional<int> fileNumber;
    bool yes = false;
};

int Usage(const CliStreams& io, std::string_view command, std::string_view text) {
    return UsageFailure(io, std::string(command) + ": " + std::string(text));
}

// The entry SYMBOL or --file names, and how messages name it.
struct Found {
    SecurityId id;
    MasterRecord record;
    std::string label;
};

// The portfolio (and a destination) locked for the whole command, so the security looked
// up is the one changed; nothing when another writer keeps it (said, exit status set).
std::unique_ptr<PortfolioLock> LockFor(const CliStreams& io, const std::string& dir,
                                       const std::string& other, int& status) {
    auto lock = other.empty() ? std::make_unique<PortfolioLock>(dir)
                              : std::make_unique<PortfolioLock>(dir, other);
    if (lock->held()) return lock;
    status = Failure(io, dir + ": " + std::string(kPortfolioBusyMessage) + "; nothing was changed");
    return nullptr;
}

std::optional<Found> Resolve(const CliStreams& io, const SymbolArgs& a, const std::string& symbol,
                             int& status, bool noteCount = true) {
    const auto selected = SelectSecurity(io, a.dir, symbol, a.fileNumber, status, noteCount);
    if (!selected) return std::nullopt;
    Found f{selected->id, selected->record, {}};
    const std::string text = SymbolText(f.record);
    f.label = Latin1ToUtf8(text.empty() ? TrimPadding(f.record.nameField()) : text) + " (F" +
              std::to_string(f.record.fileNumber()) + ")";
    return f;
}

// Splits the positional arguments: SYMBOL first unless --file was given, then `wanted`
// further ones of which the last `optional` may be left out.
bool TakeArgs(const SymbolArgs& a, std::size_t wanted, std::size_t optional, std::string& symbol,
              std::vector<std::string>& values) {
    std::vector<std::string> rest = a.rest;
    if (!a.fileNumber) {
        if (rest.empty() || rest.front().empty()) return false;
        symbol = rest.front();
        rest.erase(rest.begin());
    }
    if (rest.size() > wanted || rest.size() + optional < wanted) return false;
    values = rest;
    return true;
}

int RunRename(const SymbolArgs& a, const CliStreams& io) {
    std::string symbol;
    std::vector<std::string> v;
    if (!TakeArgs(a, 2, 1, symbol, v))
        return Usage(io, "rename-symbol",
                     "give SYMBOL (or --file N), NEWSYMBOL and optionally NEWNAME");
    int status = 0;
    const auto lock = LockFor(io, a.dir, {}, status);
    if (!lock) return status;
    const auto found = Resolve(io, a, symbol, status);
    if (!found) return status;
    // Without NEWNAME the whole name stays, a long one included.
    const std::u32string symbolChars = CodePointsOfUtf8(v[0]);
    const std::u32string nameChars =
        v.size() > 1 ? CodePointsOfUtf8(v[1]) : CodePointsOfLatin1(SecurityName(found->record));
    if (const std::string problem = CheckRename(found->id, symbolChars, nameChars);
        !problem.empty())
        return Failure(io, problem + " (not changed)");
    const std::string newSymbol = Latin1OfCodePoints(symbolChars);
    const std::string newName = Latin1OfCodePoints(nameChars);
    UndoableChange change(found->id.directory);
    const DataStatus s = RenameMasterEntry(found->id, newSymbol, newName, change.fs());
    RememberChange(io, change, ChangeLabel("Rename", HistoryName(found->record), "to " + v[0]));
    if (s != kSuccess) {
        io.err << kProgram << ": " << MasterPathOf(found->id.directory).string() << ": "
               << DataStatusName(s) << " (not changed)\n";
        return kExitDataFailure;
    }
    io.err << "Renamed " << found->label << " to " << v[0] << " in "
           << MasterPathOf(found->id.directory).string() << '\n';
    return kExitOk;
}

int RunDelete(const SymbolArgs& a, const CliStreams& io) {
    std::string symbol;
    std::vector<std::string> v;
    if (!TakeArgs(a, 0, 0, symbol, v)) return Usage(io, "delete-symbol", "give SYMBOL or --file N");
    int status = 0;
    const auto found = Resolve(io, a, symbol, status);
    if (!found) return status;
    if (!a.yes) {
        if (!io.inIsTerminal)
            return Failure(io,
                           "delete-symbol: not deleted; give --yes to delete without being asked");
        io.err << "Delete " << found->label << " from "
               << MasterPathOf(found->id.directory).string() << " and its data files? [y/N] "
               << std::flush;
        std::string answer;
        if (!std::getline(io.in, answer) || (answer != "y" && answer != "Y" && answer != "yes"))
            return Failure(io, "delete-symbol: not deleted");
    }
    // Looked up again under the lock: the answer was about this security, wherever its
    // entry stands now. --file N names one security: it goes alone, even where another
    // lists the same symbol.
    const auto lock = LockFor(io, a.dir, {}, status);
    if (!lock) return status;
    const auto current = Resolve(io, a, symbol, status, false);
    if (!current) return status;
    UndoableChange change(current->id.directory);
    const DeleteOutcome outcome =
        DeleteSecurity(current->id, change.fs(), a.fileNumber.has_value());
    RememberChange(io, change, ChangeLabel("Delete", HistoryName(current->record)));
    if (outcome.status != kSuccess) {
        io.err << kProgram << ": " << MasterPathOf(found->id.directory).string() << ": "
               << DataStatusName(outcome.status) << " (not deleted)\n";
        return kExitDataFailure;
    }
    io.err << "Deleted " << found->label << ": " << outcome.dropped << " record"
           << (outcome.dropped == 1 ? "" : "s");
    for (const fs::path& p : outcome.removed) io.err << ", " << p.filename().string();
    io.err << '\n';
    for (const fs::path& p : outcome.notRemoved)
        io.err << kProgram << ": " << p.string() << ": could not be removed\n";
    return outcome.notRemoved.empty() ? kExitOk : kExitDataFailure;
}

int RunTransfer(const SymbolArgs& a, bool move, const CliStreams& io) {
    const std::string_view command = move ? "move-symbol" : "copy-symbol";
    std::string symbol;
    std::vector<std::string> v;
    if (!TakeArgs(a, 1, 0, symbol, v) || v[0].empty())
        return Usage(io, command, "give SYMBOL (or --file N) and DESTDIR");
    int status = 0;
    const auto lock = LockFor(io, a.dir, v[0], status);
    if (!lock) return status;
    const auto found = Resolve(io, a, symbol, status);
    if (!found) return status;
    TransferQuestions questions;
    // Files of an earlier security that the destination no longer lists: said, then replaced.
    questions.replaceStrayFiles = [&](const std::vector<fs::path>& strays) {
        for (const fs::path& p : strays)
            io.err << kProgram << ": " << p.string() << " is not listed in its MASTER; replaced\n";
        return true;
    };
    UndoableChange change(found->id.directory, v[0]);
    const TransferOutcome outcome = TransferSecurity(found->id, v[0], move, questions, change.fs());
    RememberChange(io, change,
                   ChangeLabel(move ? "Move" : "Copy", HistoryName(found->record),
                               "to " + PortfolioName(v[0])));
    switch (outcome.end) {
        case TransferEnd::kDone:
            io.err << (move ? "Moved " : "Copied ") << found->label << " to " << v[0] << " as F"
                   << outcome.newFileNumber << '\n';
            return kExitOk;
        case TransferEnd::kNotFound:
            return Failure(
                io, MasterPathOf(found->id.directory).string() + ": the entry is no longer there");
        case TransferEnd::kDeclined:
            return Failure(io, "not replaced; nothing changed");
        case TransferEnd::kRefused:
        case TransferEnd::kFailed:
        case TransferEnd::kIncomplete:
            return Failure(io, Latin1ToUtf8(outcome.message));
    }
    return kExitDataFailure;
}

}  // namespace

namespace {

// Declares DIR, the positional arguments and --file, and sets the body once parsed.
std::shared_ptr<SymbolArgs> DefineSymbol(CLI::App& c, const CommandSetup& setup, const char* rest,
                                         int (*body)(const SymbolArgs&, const CliStreams&)) {
    auto args = std::make_shared<SymbolArgs>();
    c.add_option("DIR", args->dir, "Portfolio directory")->required();
    c.add_option("ARGS", args->rest, rest);
    AddFileOption(c, args->fileNumber);
    c.callback([args, setup, body] {
        setup.run = [args, &io = setup.io, body] { return body(*args, io); };
    });
    return args;
}

}  // namespace

void DefineRenameSymbol(CLI::App& c, const CommandSetup& setup) {
    DefineSymbol(c, setup, "SYMBOL NEWSYMBOL [NEWNAME] (without SYMBOL when --file is given)",
                 RunRename);
}

void DefineDeleteSymbol(CLI::App& c, const CommandSetup& setup) {
    const auto args = DefineSymbol(c, setup, "SYMBOL (without it when --file is given)", RunDelete);
    c.add_flag("--yes", args->yes, "Delete without asking");
}

void DefineMoveSymbol(CLI::App& c, const CommandSetup& setup) {
    DefineSymbol(
        c, setup, "SYMBOL DESTDIR (without SYMBOL when --file is given)",
        [](const SymbolArgs& a, const CliStreams& io) { return RunTransfer(a, true, io); });
}

void DefineCopySymbol(CLI::App& c, const CommandSetup& setup) {
    DefineSymbol(
        c, setup, "SYMBOL DESTDIR (without SYMBOL when --file is given)",
        [](const SymbolArgs& a, const CliStreams& io) { return RunTransfer(a, false, io); });
}

}  // namespace barwise
