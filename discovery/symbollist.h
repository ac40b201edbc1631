// How the symbols grid lists a portfolio: one row per MASTER record and per record of a
// sound XMASTER, the row's
// symbol text derived from the 16 symbol bytes, rows in the grid's sort order, and the
// repair that gives every record a symbol. Qt-free: the main view and barwise-cli share it.
#pragma once

#include <string>
#include <vector>

#include "datafiles/fileio.h"
#include "datafiles/master.h"
#include "datafiles/status.h"

namespace barwise {

// Most rows the symbols grid lists.
inline constexpr int kMaxSymbolRows = 255;

// The symbol text a grid row shows: the 16 symbol bytes cut before the first byte <= 0x20
// or >= 0x80 (a blank, a control byte or a byte with its high bit set). Empty when the
// field begins with such a byte.
std::string SymbolText(const MasterRecord& record);

struct SymbolRow {
    std::string symbol;  // the symbol text, or the 16 name bytes when that is empty
    std::string name;    // the 16 name bytes, blanks kept (SecurityName(record) is the whole name)
    // Added for callers that need more than the two grid columns (barwise-cli):
    MasterRecord record;  // the record as it stands in the file (dates still MBF)
    int position = 0;     // 1-based record number in MASTER
    SecurityId id;        // the entry the row stands for: what commands act on
};

struct SymbolListing {
    DataStatus status = kSuccess;  // kFileOpen: MASTER cannot be opened; kFileRead: no header,
                                   // or a read error
    int headerCount = 0;           // the header's record count as stored
    std::vector<SymbolRow> rows;   // at most `limit` MASTER rows and every XMASTER row, in the
                                   // grid's sort order
    int masterRows = 0;            // rows that stand for MASTER records
    int recordsInFile = 0;         // whole records MASTER holds after its header
    std::string masterFile;        // MASTER as named on disk
    bool needsRepair = false;      // some MASTER record had an empty symbol text (listed under
                                   // its name)
    std::string indexWarning;      // EMASTER / XMASTER set aside, as MasterFile says

    // FillSymbolsGrid's count check: the rows read differ from the header's count (cut to
    // the limit). The grid then shows "Failure while filling symbols grid".
    bool countMismatch(int limit = kMaxSymbolRows) const;
    // What disagrees when countMismatch: "<MASTER> holds 26 records, its header says 25".
    std::string countMismatchText() const;
};

// What a MASTER's record count against its header's says: "<MASTER> holds 26 records,
// its header says 25".
std::string MasterCountText(const std::string& masterFile, int recordsInFile, int headerCount);
// The notice of a MASTER whose header counts more records than are listed: "File has 300
// symbols.\nWill only display the first 255 symbols"; empty within the limit.
std::string OverLimitText(int headerCount, int limit = kMaxSymbolRows);

// What a listing comes to, for the window and barwise-cli alike.
struct ListingVerdict {
    // The rows may be shown: MASTER was read and its records agree with its header.
    bool shown = false;
    // Why not, when the files show it (the count mismatch); empty otherwise.
    std::string refusal;
    // Shown beside the rows when the header counts more than the limit.
    std::string overLimit;
    // Shown, and some MASTER record needs its blank symbol repaired.
    bool repair = false;
};
ListingVerdict JudgeListing(const SymbolListing& listing, int limit = kMaxSymbolRows);

// Reads MASTER (found in any letter case in the path's directory) and lists its first
// `limit` records, then every record of a sound XMASTER, as the symbols grid shows them.
// Read-only.
SymbolListing ListSymbols(const fs::path& masterPath, int limit = kMaxSymbolRows);

// Sort order of the symbols grid: ascending symbol text, letter case ignored (ASCII letters
// folded to lower case, as the list view's case-insensitive compare puts '_' before
// letters); equal texts keep MASTER order when used with std::stable_sort.
bool SymbolRowLess(const SymbolRow& a, const SymbolRow& b);

// Rewrites MASTER so no record has an empty symbol text: the 16 name bytes are copied over
// the symbol field of each such record (and, where EMASTER is kept, the name's first 14
// characters over its symbol); every other byte stays as it was. Written as every
// MASTER rewrite is (RewriteMasterFile): the file before the repair is kept as MASTER.BAK.
// Nothing is written when no record needs it. On any failure MASTER is untouched.
// kSuccess, kFileOpen (MASTER unreadable), kFileRead (MASTER shorter than a header) or
// kFileWrite (backup or new file could not be written).
[[nodiscard]] DataStatus RepairMasterSymbols(const fs::path& masterPath,
                                             FileSystem& fs = RealFileSystem());

}  // namespace barwise
