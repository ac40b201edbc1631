// Symbol management without windows: renaming, deleting, moving and copying a security,
// each acting on the entry it is given by identity. The window's Symbol menu and
// barwise-cli both use these routines.
//
// Every MASTER change goes through the one MASTER rewrite (RewriteMasterFile): the new
// content is written completely to MASTER + ".~NU" (".NEW" for a rename), synced, the old
// file kept as MASTER.BAK and the new one renamed over MASTER in one step. Every refusal is
// decided before the first write.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "datafiles/fileio.h"
#include "datafiles/master.h"
#include "datafiles/status.h"

namespace barwise {

// File numbers a MASTER can give (F1 .. F255); a header whose record count or file-number
// counter has reached the largest takes no further security.
inline constexpr int kMaxFileNumber = 255;

inline constexpr std::string_view kEnterSymbolMessage = "You must enter a symbol";
inline constexpr std::string_view kMaxSymbolsMessage =
    "The portfolio already has the\nmaximum number of symbols (255).\nChoose a different or new "
    "portfolio.";

// The refusal of a new symbol and name before anything is written: empty when they can
// be stored, else the text to show (an empty symbol, a text longer than 16 characters).
std::string CheckSymbolTexts(std::string_view symbol, std::string_view name);

// ----- delete -----

struct DeleteOutcome {
    DataStatus status = kSuccess;      // kFileNotFound: the entry is no longer there (nothing
                                       // written); others as RewriteMasterFile
    int dropped = 0;                   // records taken out of MASTER
    std::vector<int> fileNumbers;      // their file numbers, in MASTER order
    std::vector<fs::path> removed;     // data files removed
    std::vector<fs::path> notRemoved;  // data files that exist but could not be removed
};

// Takes the security `id` names out of its MASTER, together with every other counted
// record whose symbol text is the same (the symbol listed more than once), and lowers the
// header's record count and file-number counter each by the records dropped. A security
// without a symbol text is dropped alone. Then removes F<n>.DAT, F<n>.DOP and F<n>.BAK of
// each dropped record from the directory of that MASTER, unless a record left in MASTER
// still names the same file number. When MASTER cannot be rewritten nothing is removed.
DeleteOutcome DeleteSecurity(const SecurityId& id, FileSystem& fs = RealFileSystem());

// ----- move and copy -----

struct TransferQuestions {
    // The destination holds data files under the new file number that its MASTER does not
    // list; true lets them be replaced. Without it they are never replaced.
    std::function<bool(const std::vector<fs::path>& strayFiles)> replaceStrayFiles;
};

enum class TransferEnd {
    kDone,        // the security is in the destination (and, for a move, no longer in the source)
    kNotFound,    // the source entry is no longer there: nothing changed, nothing to say
    kRefused,     // a refusal (duplicate, full portfolio, ...): message; nothing changed
    kDeclined,    // the user kept the stray files: nothing changed
    kFailed,      // a file could not be read or written: message; nothing changed
    kIncomplete,  // a move copied the security but could not take it out of the source:
                  // message; it is now in both portfolios, complete in each
};

struct TransferOutcome {
    TransferEnd end = TransferEnd::kDone;
    std::string message;    // what to show for kRefused, kFailed and kIncomplete
    int newFileNumber = 0;  // the number it has in the destination
    fs::path failedFile;    // the file concerned by kFailed / kIncomplete
    DataStatus status = kSuccess;
};

// "The Symbol addition failed.\n\nReason: Symbol %s already exists in\n%s"
std::string SymbolExistsMessage(std::string_view symbol, std::string_view destination);

// Puts the security `source` names into the portfolio `destination` (a directory holding a
// MASTER) under the smallest file number its MASTER does not use, as the last record, and,
// when `move` is set, takes it out of the source. The order loses nothing wherever it
// stops: the data files are copied to the destination and synced, then the destination
// MASTER gains the record, then (move) the source MASTER drops it, and only then are the
// source's F<n>.DAT, F<n>.DOP and F<n>.BAK removed. Copying works across file systems.
// Refused before anything is written: a symbol (or a name equal to it) already in the
// destination, a destination whose header count or counter has reached 255 or whose
// MASTER holds another number of records than its header says, an unreadable source DAT.
TransferOutcome TransferSecurity(const SecurityId& source, const std::string& destination,
                                 bool move, const TransferQuestions& questions = {},
                                 FileSystem& fs = RealFileSystem());

}  // namespace barwise
