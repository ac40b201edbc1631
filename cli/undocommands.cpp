#include "cli/undocommands.h"

#include <CLI/CLI.hpp>
#include <ctime>
#include <memory>

#include "cli/clicommon.h"
#include "datafiles/portfoliolock.h"
#include "undo/history.h"

namespace barwise {

namespace {

int RunUndo(const CliStreams& io, const std::string& dir, bool redo) {
    UndoHistory history(dir);
    const UndoOutcome out = redo ? history.redo() : history.undo();
    switch (out.end) {
        case UndoOutcome::End::kDone:
            io.err << (redo ? "Redone: " : "Undone: ") << out.label << '\n';
            return kExitOk;
        case UndoOutcome::End::kNothing:
            return Failure(io, dir + ": " + out.message(redo));
        default: {
            std::string text = out.message(redo);
            for (char& c : text)
                if (c == '\n') c = ' ';
            return Failure(io, text);
        }
    }
}

std::string TimeText(std::int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
#ifdef _WIN32
    gmtime_s(&tm, &t);
#else
    gmtime_r(&t, &tm);
#endif
    char out[32];
    std::strftime(out, sizeof out, "%Y-%m-%d %H:%M:%S", &tm);
    return out;
}

struct HistoryArgs {
    std::string dir;
    std::optional<int> levels, megabytes;
    bool clear = false;
};

int RunHistory(const CliStreams& io, const HistoryArgs& a) {
    if (a.levels || a.megabytes) {
        HistoryLimits limits = ReadHistoryLimits();
        if (a.levels) limits.levels = *a.levels;
        if (a.megabytes) limits.megabytes = *a.megabytes;
        if (const DataStatus s = WriteHistoryLimits(limits); s != kSuccess)
            return DataFailure(io, (HistoryRoot() / "limits.ini").string(), s, "undo limits");
        io.err << "Every portfolio keeps at most " << limits.levels << " changes and "
               << limits.megabytes << " MB of undo history\n";
    }
    UndoHistory history(a.dir);
    if (a.clear) {
        const PortfolioLock lock(a.dir);
        if (!lock.held())
            return Failure(
                io, a.dir + ": " + std::string(kPortfolioBusyMessage) + "; nothing was cleared");
        std::error_code ec;
        fs::remove_all(history.folder(), ec);
        if (ec) return Failure(io, history.folder().string() + ": " + ec.message());
        io.err << "Cleared the undo history of " << a.dir << '\n';
        return kExitOk;
    }
    const std::vector<HistoryEntry> entries = history.entries();
    if (entries.empty()) {
        if (!a.levels && !a.megabytes) io.err << "No changes to undo or redo in " << a.dir << '\n';
        return kExitOk;
    }
    // Oldest first; the next undo is the last line without "(undone)".
    for (const HistoryEntry& e : entries)
        io.out << e.number << "  " << TimeText(e.time) << " UTC  " << e.label
               << (e.undone ? "  (undone)" : "") << '\n';
    return kExitOk;
}

}  // namespace

void DefineUndo(CLI::App& c, const CommandSetup& setup) {
    auto dir = std::make_shared<std::string>();
    c.add_option("DIR", *dir, "Portfolio directory")->required();
    c.callback(
        [dir, setup] { setup.run = [dir, &io = setup.io] { return RunUndo(io, *dir, false); }; });
}

void DefineRedo(CLI::App& c, const CommandSetup& setup) {
    auto dir = std::make_shared<std::string>();
    c.add_option("DIR", *dir, "Portfolio directory")->required();
    c.callback(
        [dir, setup] { setup.run = [dir, &io = setup.io] { return RunUndo(io, *dir, true); }; });
}

void DefineHistory(CLI::App& c, const CommandSetup& setup) {
    auto a = std::make_shared<HistoryArgs>();
    c.add_option("DIR", a->dir, "Portfolio directory")->required();
    c.add_option("--levels", a->levels,
                 "Keep at most N changes per portfolio (every portfolio; 1 to 1000)")
        ->check(CLI::Range(1, kMaxUndoLevels));
    c.add_option("--megabytes", a->megabytes,
                 "Keep at most M MB of history per portfolio (every portfolio)")
        ->check(CLI::Range(1, kMaxUndoMegabytes));
    c.add_flag("--clear", a->clear, "Forget every change of DIR that could be undone or redone");
    c.callback([a, setup] { setup.run = [a, &io = setup.io] { return RunHistory(io, *a); }; });
}

}  // namespace barwise
