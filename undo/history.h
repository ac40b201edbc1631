// The undo history of a portfolio: the changes made to it, each with the bytes of every file
// it changed as they were before and after, so that an undo puts back exactly what was there
// and a redo exactly what the change wrote.
//
// The history is kept outside the portfolio, which other quote programs read and list, in
// the user's data directory (HistoryRoot()), one folder per portfolio named after a hash of
// its resolved path. Each change is one file there, "<number>.undo" while it can be undone
// and "<number>.redo" once undone; a new change drops every ".redo". The window and the
// command line share it, and it lasts from one run to the next.
//
// Every reading and writing of a portfolio's history happens under that portfolio's writer
// lock, as the change it records does.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "datafiles/changes.h"
#include "datafiles/fileio.h"
#include "datafiles/status.h"

namespace barwise {

// Where every portfolio's history is kept: $BARWISE_HISTORY_DIR when set; else
// %LOCALAPPDATA%\Kestrelwick Software\Barwise\history on Windows, and
// $XDG_DATA_HOME (or ~/.local/share)/Kestrelwick Software/Barwise/history elsewhere.
fs::path HistoryRoot();

// How much history a portfolio keeps: at most `levels` changes and `megabytes` of stored
// bytes, the oldest dropped first (the newest change is kept whatever its size). Read from
// "limits.ini" in the history root ("Undo levels=50", "Undo history size (MB)=256"), which
// both the window and the command line use; the defaults where it is missing or unreadable.
struct HistoryLimits {
    int levels = 50;
    int megabytes = 256;
};
inline constexpr int kMaxUndoLevels = 1000;
inline constexpr int kMaxUndoMegabytes = 65536;
HistoryLimits ReadHistoryLimits(const fs::path& root = HistoryRoot());
[[nodiscard]] DataStatus WriteHistoryLimits(const HistoryLimits& limits,
                                            const fs::path& root = HistoryRoot());

// One change held in a history.
struct HistoryEntry {
    std::uint64_t number = 0;  // in the order the changes were made
    std::string label;         // what the change was: "Split of ACME from 02/05/20"
    std::int64_t time = 0;     // when it was made, seconds since 1970 (UTC)
    bool undone = false;       // true: it can be redone
    std::uintmax_t bytes = 0;  // what it takes in the history
    fs::path file;
};

// What an undo or redo did.
struct UndoOutcome {
    enum class End : std::uint8_t {
        kDone,       // every file is as it was before (undo) or after (redo) the change
        kNothing,    // there is nothing to undo (redo)
        kRefused,    // a file was changed since by something else: nothing written
        kBusy,       // another writer holds the portfolio: nothing written
        kFailed,     // a file could not be read or written; every file is as it was
        kIncomplete  // a file could not be put in place after others were: done again
                     // later, the undo (redo) finishes what it began
    };
    End end = End::kNothing;
    std::string label;  // the change undone (redone)
    fs::path file;      // the file at fault for kRefused, kFailed, kIncomplete
    DataStatus status = kSuccess;
    // The message the window and the command line show for anything but kDone.
    std::string message(bool redo) const;
};

class UndoHistory {
public:
    // The history of the portfolio `directory`.
    explicit UndoHistory(std::string_view directory, fs::path root = HistoryRoot());

    // The folder the history is kept in.
    const fs::path& folder() const { return folder_; }

    // Every change held, oldest first.
    std::vector<HistoryEntry> entries() const;
    // The change an undo (redo) would take back (do again).
    std::optional<HistoryEntry> nextUndo() const;
    std::optional<HistoryEntry> nextRedo() const;

    // Adds a change just made (nothing when `changes` is empty), drops what could be redone,
    // and drops the oldest changes beyond the limits. The caller holds the portfolio's lock
    // from before the change until this returns.
    [[nodiscard]] DataStatus record(std::string_view label, const ChangeList& changes,
                                    FileSystem& fs = RealFileSystem());

    // Takes back the newest change not undone / does again the oldest undone one, under the
    // writer lock of every portfolio it touched.
    UndoOutcome undo(FileSystem& fs = RealFileSystem());
    UndoOutcome redo(FileSystem& fs = RealFileSystem());

private:
    UndoOutcome apply(bool redo, FileSystem& fs);
    void prune(const HistoryLimits& limits, FileSystem& fs);

    std::string directory_;
    fs::path root_;
    fs::path folder_;
};

// Reads a change's file of a history; nothing when it is not whole.
struct StoredChange {
    std::string label;
    std::int64_t time = 0;
    ChangeList changes;
};
std::optional<StoredChange> ReadStoredChange(const fs::path& file);

// Puts every file of `changes` in its state before the change (toAfter false) or after it
// (true): a file already in that state is left alone, one in the other state is rewritten,
// and one in neither refuses the whole (nothing written; `file` names it). Every new content
// is first written complete and synced beside its file, and only then are they all renamed
// in place, so a failure while writing leaves every file as it was. The caller holds the
// lock of each directory concerned.
UndoOutcome PutFilesBack(const ChangeList& changes, bool toAfter, FileSystem& fs);

}  // namespace barwise
