#include "cli/symbolcommands.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define BARWISE_ISATTY _isatty
#define BARWISE_FILENO _fileno
#else
#include <unistd.h>
#define BARWISE_ISATTY isatty
#define BARWISE_FILENO fileno
#endif

#include "commands/symbols/symbolops.h"
#include "datafiles/master.h"
#include "datafiles/portfoliolock.h"
#include "discovery/symbollist.h"

namespace barwise {
namespace {

constexpr std::string_view kProgram = "barwise-cli";

struct SymbolArgs {
    std::string dir;
    std::vector<std::string> rest;  // SYMBOL (unless --file) and what follows it
    std::optional<int> fileNumber;
    bool yes = false;
};

int Usage(std::ostream& err, std::string_view command, std::string_view text) {
    err << kProgram << ": " << command << ": " << text << '\n';
    return kExitUsage;
}

int Refusal(std::ostream& err, std::string_view text) {
    err << kProgram << ": " << text << '\n';
    return kExitDataFailure;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
    return text;
}

// The entry SYMBOL or --file names; the record as in the file. An error message when none.
struct Found {
    SecurityId id;
    MasterRecord record;
    std::string label;  // how messages name it
};

// The portfolio (and a destination) locked for the whole command, so the security looked
// up is the one changed; nothing when another writer keeps it (said, exit status set).
std::unique_ptr<PortfolioLock> LockFor(std::ostream& err, const std::string& dir, const std::string& other,
                                       int& status) {
    auto lock = other.empty() ? std::make_unique<PortfolioLock>(dir) : std::make_unique<PortfolioLock>(dir, other);
    if (lock->held()) return lock;
    err << kProgram << ": " << dir << ": " << kPortfolioBusyMessage << "; nothing was changed\n";
    status = kExitDataFailure;
    return nullptr;
}

std::optional<Found> Resolve(const SymbolArgs& a, const std::string& symbol, std::ostream& err,
                             int& status) {
    Found f;
    status = kExitDataFailure;
    if (a.fileNumber) {
        const MasterFile master = ReadMasterFile(a.dir);
        if (master.status != kSuccess) {
            err << kProgram << ": " << master.path.string() << ": " << DataStatusName(master.status)
                << '\n';
            return std::nullopt;
        }
        for (const MasterEntry& e : master.entries) {
            if (e.record.isSubdirEntry() || e.record.fileNumber() != *a.fileNumber ||
                (!e.id.inXmaster() && e.id.position > master.headerCount))
                continue;
            f.id = e.id;
            f.record = e.record;
            break;
        }
        if (!f.id.valid()) {
            err << kProgram << ": " << master.path.string() << ": no record with file number "
                << *a.fileNumber << '\n';
            return std::nullopt;
        }
    } else {
        MasterRecord lookedUp;
        if (FindSymbol(a.dir, Utf8ToLatin1(symbol), lookedUp, f.id) != kSuccess ||
            ReadMasterEntry(f.id, f.record) != kSuccess) {
            err << kProgram << ": " << MasterPathOf(a.dir).string() << ": symbol " << symbol
                << " not found\n";
            return std::nullopt;
        }
    }
    const std::string text = SymbolText(f.record);
    f.label = (text.empty() ? Trimmed(f.record.nameField()) : text);
    f.label = Latin1ToUtf8(f.label) + " (F" + std::to_string(f.record.fileNumber()) + ")";
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

int RunRename(const SymbolArgs& a, std::ostream& err) {
    std::string symbol;
    std::vector<std::string> v;
    if (!TakeArgs(a, 2, 1, symbol, v))
        return Usage(err, kRenameSymbolCommand.name,
                     "give SYMBOL (or --file N), NEWSYMBOL and optionally NEWNAME");
    int status = 0;
    const auto lock = LockFor(err, a.dir, {}, status);
    if (!lock) return status;
    const auto found = Resolve(a, symbol, err, status);
    if (!found) return status;
    // Without NEWNAME the whole name stays, a long one included.
    const std::u32string symbolChars = CodePointsOfUtf8(v[0]);
    const std::u32string nameChars =
        v.size() > 1 ? CodePointsOfUtf8(v[1]) : CodePointsOfLatin1(SecurityName(found->record));
    if (const std::string problem = CheckRename(found->id, symbolChars, nameChars);
        !problem.empty())
        return Refusal(err, problem + " (not changed)");
    const std::string newSymbol = Latin1OfCodePoints(symbolChars);
    const std::string newName = Latin1OfCodePoints(nameChars);
    const DataStatus s = RenameMasterEntry(found->id, newSymbol, newName);
    if (s != kSuccess) {
        err << kProgram << ": " << MasterPathOf(found->id.directory).string() << ": "
            << DataStatusName(s) << " (not changed)\n";
        return kExitDataFailure;
    }
    err << "Renamed " << found->label << " to " << v[0] << " in "
        << MasterPathOf(found->id.directory).string() << '\n';
    return kExitOk;
}

int RunDelete(const SymbolArgs& a, std::ostream& err) {
    std::string symbol;
    std::vector<std::string> v;
    if (!TakeArgs(a, 0, 0, symbol, v))
        return Usage(err, kDeleteSymbolCommand.name, "give SYMBOL or --file N");
    int status = 0;
    const auto found = Resolve(a, symbol, err, status);
    if (!found) return status;
    if (!a.yes) {
        if (!BARWISE_ISATTY(BARWISE_FILENO(stdin)))
            return Refusal(err,
                           "delete-symbol: not deleted; give --yes to delete without being asked");
        err << "Delete " << found->label << " from " << MasterPathOf(found->id.directory).string()
            << " and its data files? [y/N] " << std::flush;
        std::string answer;
        if (!std::getline(std::cin, answer) || (answer != "y" && answer != "Y" && answer != "yes"))
            return Refusal(err, "delete-symbol: not deleted");
    }
    // Looked up again under the lock: the answer was about this security, wherever its
    // entry stands now. --file N names one security: it goes alone, even where another
    // lists the same symbol.
    const auto lock = LockFor(err, a.dir, {}, status);
    if (!lock) return status;
    const auto current = Resolve(a, symbol, err, status);
    if (!current) return status;
    const DeleteOutcome outcome =
        DeleteSecurity(current->id, RealFileSystem(), a.fileNumber.has_value());
    if (outcome.status != kSuccess) {
        err << kProgram << ": " << MasterPathOf(found->id.directory).string() << ": "
            << DataStatusName(outcome.status) << " (not deleted)\n";
        return kExitDataFailure;
    }
    err << "Deleted " << found->label << ": " << outcome.dropped << " record"
        << (outcome.dropped == 1 ? "" : "s");
    for (const fs::path& p : outcome.removed) err << ", " << p.filename().string();
    err << '\n';
    for (const fs::path& p : outcome.notRemoved)
        err << kProgram << ": " << p.string() << ": could not be removed\n";
    return outcome.notRemoved.empty() ? kExitOk : kExitDataFailure;
}

int RunTransfer(const SymbolArgs& a, bool move, std::ostream& err) {
    const std::string_view command = move ? kMoveSymbolCommand.name : kCopySymbolCommand.name;
    std::string symbol;
    std::vector<std::string> v;
    if (!TakeArgs(a, 1, 0, symbol, v) || v[0].empty())
        return Usage(err, command, "give SYMBOL (or --file N) and DESTDIR");
    int status = 0;
    const auto lock = LockFor(err, a.dir, v[0], status);
    if (!lock) return status;
    const auto found = Resolve(a, symbol, err, status);
    if (!found) return status;
    TransferQuestions questions;
    // Files of an earlier security that the destination no longer lists: said, then replaced.
    questions.replaceStrayFiles = [&](const std::vector<fs::path>& strays) {
        for (const fs::path& p : strays)
            err << kProgram << ": " << p.string() << " is not listed in its MASTER; replaced\n";
        return true;
    };
    const TransferOutcome outcome = TransferSecurity(found->id, v[0], move, questions);
    switch (outcome.end) {
        case TransferEnd::kDone:
            err << (move ? "Moved " : "Copied ") << found->label << " to " << v[0] << " as F"
                << outcome.newFileNumber << '\n';
            return kExitOk;
        case TransferEnd::kNotFound:
            return Refusal(
                err, MasterPathOf(found->id.directory).string() + ": the entry is no longer there");
        case TransferEnd::kDeclined:
            return Refusal(err, "not replaced; nothing changed");
        case TransferEnd::kRefused:
        case TransferEnd::kFailed:
        case TransferEnd::kIncomplete:
            return Refusal(err, Latin1ToUtf8(outcome.message));
    }
    return kExitDataFailure;
}

}  // namespace

void AddSymbolSubcommands(CLI::App& app, std::function<int()>& run, std::ostream&,
                          std::ostream& err) {
    struct Entry {
        CliCommand command;
        const char* rest;
        std::function<int(const SymbolArgs&)> body;
    };
    const std::vector<Entry> entries = {
        {kRenameSymbolCommand, "SYMBOL NEWSYMBOL [NEWNAME] (without SYMBOL when --file is given)",
         [&err](const SymbolArgs& a) { return RunRename(a, err); }},
        {kDeleteSymbolCommand, "SYMBOL (without it when --file is given)",
         [&err](const SymbolArgs& a) { return RunDelete(a, err); }},
        {kMoveSymbolCommand, "SYMBOL DESTDIR (without SYMBOL when --file is given)",
         [&err](const SymbolArgs& a) { return RunTransfer(a, true, err); }},
        {kCopySymbolCommand, "SYMBOL DESTDIR (without SYMBOL when --file is given)",
         [&err](const SymbolArgs& a) { return RunTransfer(a, false, err); }},
    };
    for (const Entry& e : entries) {
        auto args = std::make_shared<SymbolArgs>();
        auto* c = app.add_subcommand(std::string(e.command.name), std::string(e.command.help));
        c->add_option("DIR", args->dir, "Portfolio directory")->required();
        c->add_option("ARGS", args->rest, e.rest);
        c->add_option("--file", args->fileNumber,
                      "The security with file number N (F<N>.DAT) instead of SYMBOL")
            ->check(WholeNumberCheck);
        if (e.command.name == kDeleteSymbolCommand.name)
            c->add_flag("--yes", args->yes, "Delete without asking");
        c->callback([&run, args, body = e.body] { run = [args, body] { return body(*args); }; });
    }
}

}  // namespace barwise
