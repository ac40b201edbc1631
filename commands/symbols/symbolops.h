// Symbol management without windows: renaming, deleting, moving and copying a security,
// each acting on the entry it is given by identity. The window's Symbol menu and
// barwise-cli both use these routines.
//
// Every change of a directory's index files goes through their one rewrite
// (RewriteIndexFiles): MASTER, and EMASTER and XMASTER where they are sound, change together;
// each new file is written completely to its name + ".~NU" (".NEW" for a rename) and
// synced, the old ones kept as <name>.BAK, EMASTER and XMASTER renamed into place and MASTER
// last. An EMASTER or XMASTER that is set aside is never written. Every refusal is decided
// before the first write.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "datafiles/extindex.h"
#include "datafiles/fileio.h"
#include "datafiles/master.h"
#include "datafiles/status.h"
#include "datafiles/textrule.h"

namespace barwise {

// File numbers a MASTER can give (F1 .. F255); a header whose record count or file-number
// counter has reached the largest takes no further security.
inline constexpr int kMaxFileNumber = 255;

inline constexpr std::string_view kEnterSymbolMessage = "You must enter a symbol";
inline constexpr std::string_view kMaxSymbolsMessage =
    "The portfolio already has the\nmaximum number of symbols (255).\nChoose a different or new "
    "portfolio.";

// The refusal of a new symbol and name before anything is written: empty when they can
// be stored, else the text to show (an empty symbol, a text longer than the limits).
std::string CheckSymbolTexts(std::string_view symbol, std::string_view name,
                             const TextLimits& limits = {});

// The code points of UTF-8 text, as the command line gives it; a byte that is not part of
// a UTF-8 sequence stands as U+DC80..U+DCFF (the byte's value + 0xDC00), which no field holds.
std::u32string CodePointsOfUtf8(std::string_view text);
// Latin-1 bytes as code points, and back (code points above 0xFF become '?').
std::u32string CodePointsOfLatin1(std::string_view text);
std::string Latin1OfCodePoints(std::u32string_view text);
// The Latin-1 bytes a file holds, as UTF-8.
std::string Latin1ToUtf8(std::string_view text);

// The refusal of a text by the text rule (datafiles/textrule.h), naming the first character
// the field cannot hold ("The symbol cannot hold \"€\" (U+20AC)", "A symbol cannot begin
// with a blank"); empty when the field may hold it all. UTF-8.
std::string TextRuleRefusal(std::u32string_view text, TextField field);

// The refusal of a new symbol and name for a rename, before anything is written; empty when
// they can be stored. A text that is still the stored one passes the text rule as it is;
// then CheckSymbolTexts. `field`, when given, names the text at fault.
std::string CheckRenameTexts(std::u32string_view symbol, std::u32string_view name,
                             std::string_view oldSymbol, std::string_view oldName,
                             const TextLimits& limits, TextField* field = nullptr);
// CheckRenameTexts for the entry `id` names (its stored texts and limits), and a new symbol
// that another security of the same index files already answers to (as FindSymbol matches
// a key: symbol or name, any letter case) is refused too.
std::string CheckRename(const SecurityId& id, std::u32string_view symbol, std::u32string_view name,
                        TextField* field = nullptr);

// The EMASTER record of a security MASTER lists under `number`, made from its MASTER record
// and its layout's field bits, and the XMASTER record of a security XMASTER lists (a copy
// into another portfolio, a security made by an import).
std::array<std::uint8_t, kEmasterRecordSize> EmasterRecordOf(const MasterRecord& record, int number,
                                                             std::uint8_t fieldBits);
std::array<std::uint8_t, kXmasterRecordSize> XmasterRecordOf(const MasterRecord& record, int number,
                                                             std::uint8_t fieldBits);

// ----- delete -----

struct DeleteOutcome {
    DataStatus status = kSuccess;      // kFileNotFound: the entry is no longer there (nothing
                                       // written); others as RewriteMasterFile
    int dropped = 0;                   // records taken out of MASTER
    std::vector<int> fileNumbers;      // their file numbers, in MASTER order
    std::vector<fs::path> removed;     // data files removed
    std::vector<fs::path> notRemoved;  // data files that exist but could not be removed
};

// Takes the security `id` names out of the index file that lists it, together with every
// other record of that same file whose symbol text is the same (the symbol listed more than
// once) unless `alone` is set. A security without a symbol text is dropped alone.
//   MASTER: the records go from MASTER and, when it is sound, the EMASTER records at the
//   same positions; MASTER's record count and file-number counter are each lowered by the
//   records dropped, and EMASTER's header follows (bytes 0-1 and 2-3 as MASTER's).
//   XMASTER: the records go from XMASTER and both copies of its count are lowered; its next
//   free number stays (numbers are never given twice).
// Then removes the data file (F<n>.DAT, or F<n>.MWD for XMASTER), F<n>.DOP and F<n>.BAK of
// each dropped record, unless a record left in that index file still names the number. When
// the index files cannot be rewritten nothing is removed.
DeleteOutcome DeleteSecurity(const SecurityId& id, FileSystem& fs = RealFileSystem(),
                             bool alone = false);

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
// MASTER) and, when `move` is set, takes it out of the source.
//   Into MASTER, while its header count and counter are below 255: under the smallest file
//   number MASTER does not use (F<k>.DAT), as the last record; a sound EMASTER gains the
//   record beside it (the source's EMASTER record when it has one, else one made from the
//   MASTER record and the quote file's layout).
//   Into XMASTER, when MASTER is full and the destination has a sound XMASTER: under
//   XMASTER's next free number (F<n>.MWD), which then goes up by one.
// The order loses nothing wherever it stops: the data files are copied to the destination
// and synced, then the destination's index files gain the record, then (move) the source's
// index file that lists it drops it, and only then are the source's data file, F<n>.DOP and
// F<n>.BAK removed. Copying works across file systems.
// Refused before anything is written: a symbol (or a name equal to it) already in the
// destination, a full destination, a destination whose MASTER holds another number of
// records than its header says, a symbol or name the destination cannot hold whole, an
// unreadable source data file. A security that changes between MASTER and XMASTER must be
// read the same way there; when it would not be (a layout XMASTER's field bits cannot
// describe), its copied data files are removed again and the transfer is refused.
TransferOutcome TransferSecurity(const SecurityId& source, const std::string& destination,
                                 bool move, const TransferQuestions& questions = {},
                                 FileSystem& fs = RealFileSystem());

}  // namespace barwise
