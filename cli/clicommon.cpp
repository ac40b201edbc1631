#include "cli/clicommon.h"

#include <CLI/CLI.hpp>

#include <algorithm>

#include "commands/quotes/quoteedits.h"
#include "commands/symbols/symbolops.h"
#include "discovery/symbollist.h"

namespace barwise {

int Failure(const CliStreams& io, std::string_view text) {
    io.err << kProgram << ": " << text << '\n';
    return kExitDataFailure;
}

int UsageFailure(const CliStreams& io, std::string_view text) {
    io.err << kProgram << ": " << text << '\n';
    return kExitUsage;
}

int DataFailure(const CliStreams& io, std::string_view file, DataStatus status,
                std::string_view what) {
    io.err << kProgram << ": " << file << ": " << DataStatusName(status);
    if (!what.empty()) io.err << " (" << what << ")";
    io.err << '\n';
    return kExitDataFailure;
}

std::string SecurityLabel(const MasterRecord& record, int position) {
    const std::string symbol = SymbolText(record);
    if (!symbol.empty()) return "symbol " + Latin1ToUtf8(symbol);
    std::string label = "record " + std::to_string(position);
    const std::string name = TrimPadding(record.nameField());
    if (!name.empty()) label += " (" + Latin1ToUtf8(name) + ")";
    return label;
}

std::string HistoryName(const MasterRecord& record) {
    std::string name = HistoryNameOf(SymbolText(record), record.nameField());
    return name.empty() ? "F" + std::to_string(record.fileNumber()) : Latin1ToUtf8(name);
}

bool WithinCount(const MasterFile& master, const SecurityId& id) {
    return id.inXmaster() || id.position <= master.headerCount;
}

bool NoteMasterCount(const CliStreams& io, const MasterFile& master, std::string_view leftOut) {
    // EMASTER or XMASTER set aside: said once, a warning (MASTER is used).
    if (master.status == kSuccess && !master.indexWarning.empty()) {
        const std::string dir = master.path.has_parent_path()
                                    ? master.path.parent_path().string() + "/"
                                    : std::string();
        std::string_view text(master.indexWarning);
        while (!text.empty()) {
            const std::size_t nl = text.find('\n');
            io.err << kProgram << ": " << dir << text.substr(0, nl) << '\n';
            text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
        }
    }
    if (master.status != kSuccess || !master.countMismatch()) return false;
    io.err << kProgram << ": "
           << MasterCountText(master.path.string(), master.recordsInFile, master.headerCount)
           << " (Barwise shows \"Failure while filling symbols grid\")";
    const int first = std::max(master.headerCount, 0) + 1;
    if (!leftOut.empty() && master.recordsInFile >= first) {
        io.err << "; record"
               << (master.recordsInFile > first ? "s " + std::to_string(first) + " to " : " ")
               << master.recordsInFile << ' ' << leftOut;
    }
    io.err << '\n';
    return true;
}

std::optional<SelectedSecurity> SelectSecurity(const CliStreams& io, const std::string& dir,
                                               const std::string& symbol,
                                               std::optional<int> fileNumber, int& status,
                                               bool noteCount) {
    status = kExitDataFailure;
    const MasterFile master = ReadMasterFile(dir);
    if (noteCount) NoteMasterCount(io, master);
    SelectedSecurity s;
    std::string what;
    if (fileNumber) {
        if (master.status != kSuccess) {
            DataFailure(io, master.path.string(), master.status);
            return std::nullopt;
        }
        const std::string number = std::to_string(*fileNumber);
        what = "no record with file number " + number;
        int after = 0;  // the first record with that number after the header's count
        for (const MasterEntry& e : master.entries) {
            if (e.record.isSubdirEntry() || e.record.fileNumber() != *fileNumber) continue;
            if (WithinCount(master, e.id)) {
                s.id = e.id;
                break;
            }
            if (after == 0) after = e.id.position;
        }
        if (!s.id.valid() && after > 0) {
            what = "file number " + number + " is record " + std::to_string(after) +
                   ", after the " + std::to_string(master.headerCount) +
                   " its header counts; no lookup reads it";
        }
        if (!s.id.valid()) {
            DataFailure(io, master.path.string(), kFileNotFound, what);
            return std::nullopt;
        }
    } else {
        what = "symbol " + symbol;
        MasterRecord lookedUp;
        if (const DataStatus st = FindSymbol(dir, Utf8ToLatin1(symbol), lookedUp, s.id);
            st != kSuccess) {
            const fs::path masterPath = MasterPathOf(dir);
            // A MASTER that exists but cannot be read: why.
            const std::string problem = st == kFileOpen || st == kFileRead
                                            ? UnreadableFileProblem(masterPath)
                                            : std::string();
            DataFailure(io, masterPath.string(), st,
                        problem.empty() ? what : what + "; " + problem);
            return std::nullopt;
        }
    }
    if (const DataStatus st = ReadMasterEntry(s.id, s.record); st != kSuccess) {
        DataFailure(io, MasterPathOf(s.id.directory).string(), st, what);
        return std::nullopt;
    }
    status = kExitOk;
    return s;
}

void RememberChange(const CliStreams& io, UndoableChange& change, std::string_view label) {
    if (const DataStatus kept = change.commit(label); kept != kSuccess)
        io.err << kProgram << ": " << NotUndoableMessage(kept) << '\n';
}

void AddFileOption(CLI::App& sub, std::optional<int>& fileNumber) {
    sub.add_option("--file", fileNumber,
                   "The security with file number N (F<N>.DAT) instead of SYMBOL")
        ->check(WholeNumberCheck);
}

}  // namespace barwise
