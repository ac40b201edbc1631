// The MASTER file: the list of securities of one portfolio directory.
//
// A sequence of 53-byte records, no trailer. Record 0 is the header:
//   0   2  record count (records after the header), int16 LE
//   2   2  file-number counter, int16 LE (kept by symbol management)
//   4  49  copied unchanged
// Records 1..count:
//   0   1  file number n: the data files are Fn.DAT and Fn.DOP
//   3   1  DAT record length in bytes (int8)
//   4   1  number of 4-byte fields per DAT record (int8)
//   7  16  issue name, blank padded
//  25   4  first date, date real in MBF
//  29   4  last date, date real in MBF
//  33   1  period letter: D I M Q W Y
//  36  16  symbol, blank padded
// Other bytes are not interpreted and are preserved by every rewrite.
// A record whose name bytes 18-22 hold "<DIR>" and whose byte 7 is not a blank names a
// sub-directory (the first 8 name bytes, trailing blanks removed) holding its own MASTER.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "datafiles/encoding.h"
#include "datafiles/extindex.h"
#include "datafiles/fileio.h"
#include "datafiles/status.h"

namespace barwise {

inline constexpr std::size_t kMasterRecordSize = 53;
inline constexpr std::size_t kMasterCountOffset = 0;
inline constexpr std::size_t kMasterCounterOffset = 2;
inline constexpr std::size_t kMasterFileNumberOffset = 0;
inline constexpr std::size_t kMasterRecordLengthOffset = 3;
inline constexpr std::size_t kMasterFieldCountOffset = 4;
inline constexpr std::size_t kMasterNameOffset = 7;
inline constexpr std::size_t kMasterNameSize = 16;
inline constexpr std::size_t kMasterDirMarkOffset = 18;
inline constexpr std::size_t kMasterSubdirNameSize = 8;
inline constexpr std::size_t kMasterFirstDateOffset = 25;
inline constexpr std::size_t kMasterLastDateOffset = 29;
inline constexpr std::size_t kMasterPeriodOffset = 33;
inline constexpr std::size_t kMasterSymbolOffset = 36;
inline constexpr std::size_t kMasterSymbolSize = 16;
// Longest directory path the lookup builds, and deepest sub-directory nesting it follows.
inline constexpr std::size_t kMaxDirectoryPath = 300;
inline constexpr int kMaxSubdirDepth = 32;

inline constexpr std::string_view kMasterFileName = "MASTER";

// One 53-byte record of a MASTER file, kept as its bytes. A security only XMASTER lists is
// handed out in the same form, built from its XMASTER record: byte 0 zero, record length
// 4 x its fields, name (first 16 characters) and symbol blank padded, dates as MBF date
// reals, with its file number and field bits beside the bytes.
struct MasterRecord {
    std::array<std::uint8_t, kMasterRecordSize> bytes{};
    // Beside the bytes, from EMASTER or XMASTER:
    int wideFileNumber = 0;      // an XMASTER security's file number (256 and up); else 0
    std::uint8_t fieldBits = 0;  // an XMASTER security's field bits (its layout without DOP)
    std::string longName;        // the whole name when longer than 16 characters; else empty

    int fileNumber() const {
        return wideFileNumber != 0 ? wideFileNumber : bytes[kMasterFileNumberOffset];
    }
    int recordLength() const { return static_cast<std::int8_t>(bytes[kMasterRecordLengthOffset]); }
    int fieldCount() const { return static_cast<std::int8_t>(bytes[kMasterFieldCountOffset]); }
    char period() const { return static_cast<char>(bytes[kMasterPeriodOffset]); }
    // The 16 name bytes as they stand (blanks kept).
    std::string nameField() const;
    // The 16 symbol bytes as they stand.
    std::string symbolField() const;
    // After FindSymbol the two date fields hold IEEE floats; these read them so.
    float firstDateIeee() const;
    float lastDateIeee() const;
    bool isSubdirEntry() const;
    // Sub-directory name of a sub-directory entry.
    std::string subdirName() const;
};

// Where one security's entry stands: the index file that lists it, the directory of that
// file (with a trailing separator), the entry's 1-based record number in it and its file
// number. Commands act on a security through this identity, never by looking its texts up
// again: two entries whose symbols read the same stay apart.
enum class IndexFile : std::uint8_t { kMaster, kXMaster };

struct SecurityId {
    IndexFile index = IndexFile::kMaster;
    std::string directory;
    int position = 0;
    int fileNumber = 0;
    bool valid() const { return position > 0; }
    bool inXmaster() const { return index == IndexFile::kXMaster; }
    friend bool operator==(const SecurityId&, const SecurityId&) = default;
};

// One record of a MASTER file with where it came from; the record as it stands in the file
// (dates in MBF).
struct MasterEntry {
    SecurityId id;
    MasterRecord record;
};

// The records of one directory's MASTER file.
struct MasterFile {
    DataStatus status = kSuccess;  // kFileOpen: no MASTER / not readable; kFileRead: no header
    fs::path path;                 // the file as named on disk
    std::array<std::uint8_t, kMasterRecordSize> header{};
    int headerCount = 0;               // the header's record count as stored
    std::vector<MasterEntry> entries;  // the whole records present, at most `limit`
    // Whole records the file holds after its header (may differ from headerCount).
    int recordsInFile = 0;
    bool countMismatch() const { return recordsInFile != headerCount; }
    // Entries taken from MASTER: the first masterEntries of `entries`; XMASTER's follow.
    int masterEntries = 0;
    // What was made of EMASTER and XMASTER (kAbsent when the directory has none).
    ExtIndexState emaster = ExtIndexState::kAbsent;
    ExtIndexState xmaster = ExtIndexState::kAbsent;
    // One line naming each index file set aside and why; empty when none is.
    std::string indexWarning;
};

// Reads the MASTER of a directory (found in any letter case): its header and its first
// `limit` records (negative: all), each tagged with its identity, the long names a sound
// EMASTER holds for them, and then (unless limit is 0) every record of a sound XMASTER.
// EMASTER and XMASTER are checked as extindex.h says; one set aside is named in
// indexWarning and MASTER alone is used. Read-only.
MasterFile ReadMasterFile(std::string_view directory, int limit = -1);

// The record of a security as it stands in the file now (dates in MBF). kFileNotFound when
// the entry is no longer there: the position lies beyond the file or its count, or the
// record there has another file number or is a sub-directory entry. kFileOpen / kFileRead
// when MASTER cannot be read.
[[nodiscard]] DataStatus ReadMasterEntry(const SecurityId& id, MasterRecord& record);

// The index files of one directory as a rewrite changes them in memory. EMASTER and
// XMASTER are present only when sound: a file set aside is never written.
struct IndexContents {
    std::vector<std::uint8_t> master;
    std::vector<std::uint8_t> emaster;  // empty: none kept up to date
    std::vector<std::uint8_t> xmaster;  // empty: none kept up to date
};

// Completes an index rewrite that was stopped between its renames (EMASTER or XMASTER
// already in place, MASTER not yet): when MASTER + a temporary suffix is left, every
// temporary of that rewrite was complete (MASTER.BAK already holds MASTER as it stands), no
// other index file waits for its rename, and the new MASTER agrees with EMASTER, the new
// MASTER is renamed into place, so the three files agree again. A writer calls it holding
// the portfolio's lock; anything else is left for the rewrite to clear.
void FinishInterruptedIndexRewrite(std::string_view directory, FileSystem& fs = RealFileSystem());

// The one rewrite of a directory's index files. `change` edits them in memory and returns
// kSuccess, or a refusal passed back with nothing written; a change that leaves EMASTER
// disagreeing with MASTER, or XMASTER unsound, is refused (kInvalidParm). Then every file
// that changed is written to its name + temporarySuffix, checked and synced; then each is
// kept as <name>.BAK; then EMASTER and XMASTER are renamed into place and MASTER last, so a
// stop between the renames leaves MASTER whole and authoritative (and the next rewrite
// finishes it, FinishInterruptedIndexRewrite). When a rename fails, the files already
// renamed get their old content back. The portfolio's writer lock is held from the first
// read to the last rename (kPortfolioBusy, nothing written, when another writer keeps it).
// Statuses as RewriteMasterFile.
[[nodiscard]] DataStatus RewriteIndexFiles(const fs::path& masterPath,
                                           const std::function<DataStatus(IndexContents&)>& change,
                                           FileSystem& fs = RealFileSystem(),
                                           std::string_view temporarySuffix = ".NEW");

// Whether the index files of `directory` that a change of a MASTER entry (MASTER and
// EMASTER) or of an XMASTER entry (XMASTER) rewrites can take it after `alsoWritten` more
// bytes have gone to the same disk: kReadOnly when one of them is read-only, kFileWrite when
// the directory takes no new files, kNoSpace when the disk lacks room for both (each index
// file counted twice, new and as a backup copy); kSuccess otherwise. *atFault (optional)
// names the file concerned. Writes nothing.
[[nodiscard]] DataStatus CheckIndexRewrite(const std::string& directory, bool xmaster,
                                           std::uintmax_t alsoWritten,
                                           FileSystem& fs = RealFileSystem(),
                                           fs::path* atFault = nullptr);

// The one rewrite of a MASTER file (through RewriteIndexFiles, EMASTER and XMASTER
// untouched). `change` edits the whole content in memory (header and
// records) and returns kSuccess, or a refusal that is passed back with nothing written.
// Then MASTER is kept as MASTER.BAK (the previous backup replaced only now) and the new
// content goes to MASTER + temporarySuffix, checked, synced and renamed over MASTER in
// one step. 0 on success; kFileOpen when MASTER cannot be read; kFileWrite when the backup
// or the new file cannot be written (MASTER then unchanged); kReadOnly when an index file
// to be rewritten is read-only (nothing written); kFileWrite too when a rename failed (the
// files renamed before it get their old content back); kIndexFilesDisagree when one of
// them could not be (each file whole, but they may disagree).
inline constexpr std::string_view kMasterNewSuffix = ".NEW";
inline constexpr std::string_view kMasterTempSuffix = ".~NU";
inline constexpr std::string_view kMasterBackupSuffix = ".BAK";
[[nodiscard]] DataStatus RewriteMasterFile(
    const fs::path& masterPath, const std::function<DataStatus(std::vector<std::uint8_t>&)>& change,
    FileSystem& fs = RealFileSystem(), std::string_view temporarySuffix = kMasterNewSuffix);

// The record as FindSymbol hands it out: both date fields as IEEE floats.
MasterRecord WithIeeeDates(MasterRecord record);

// FindSymbol that also gives the entry's identity (the record as in FindSymbol, dates IEEE).
[[nodiscard]] DataStatus FindSymbol(std::string_view startDir, std::string_view key,
                                    MasterRecord& record, SecurityId& id);

// Sets both dates of the one entry `id` names; the statuses of RewriteMasterFile, and
// kFileNotFound (nothing written) when the entry is no longer there.
[[nodiscard]] DataStatus SetMasterDates(const SecurityId& id, const MbfBytes& firstDate,
                                        const MbfBytes& lastDate,
                                        FileSystem& fs = RealFileSystem());
// Sets both dates of the entry `id` names in index contents held in memory, as SetMasterDates
// writes them (MASTER and its EMASTER twin, or XMASTER), for a rewrite that changes several
// entries at once; kFileNotFound when the entry is not there.
[[nodiscard]] DataStatus SetEntryDatesIn(IndexContents& contents, const SecurityId& id,
                                         const MbfBytes& firstDate, const MbfBytes& lastDate);
// Sets the first (which = 0) or last date of the entry `id` names, as SetMasterDates.
[[nodiscard]] DataStatus SetMasterDate(const SecurityId& id, const MbfBytes& dateReal, int which,
                                       FileSystem& fs = RealFileSystem());
// Whether a symbol and name can be stored in the entry `id` names: MASTER alone holds 16
// characters of each; where EMASTER or XMASTER holds the entry, symbols of up to 14
// characters and names of up to 45 (MASTER keeps the first 16). kInvalidParm when not.
[[nodiscard]] DataStatus CheckEntryTexts(const SecurityId& id, std::string_view symbol,
                                         std::string_view name);
// The longest symbol and name an entry can hold: 16 each where MASTER alone holds it; 14 and
// 45 where EMASTER or XMASTER holds it too (MASTER then keeps the first 16 name characters).
struct TextLimits {
    std::size_t symbol = kMasterSymbolSize;
    std::size_t name = kMasterNameSize;
};
// The limits of an entry held by EMASTER or XMASTER (extended) or by MASTER alone.
inline TextLimits TextLimitsFor(bool extended) {
    return extended ? TextLimits{kEmasterSymbolSize, kLongNameSize} : TextLimits{};
}
// The limits of the entry `id` names, as CheckEntryTexts decides them.
TextLimits EntryTextLimits(const SecurityId& id);
// Stores a new symbol and name in the entry `id` names, in every index file that holds it
// (MASTER and EMASTER, or XMASTER); kInvalidParm as CheckEntryTexts; kFileNotFound when the
// entry is no longer there.
[[nodiscard]] DataStatus RenameMasterEntry(const SecurityId& id, std::string_view symbol,
                                           std::string_view name,
                                           FileSystem& fs = RealFileSystem());

// The MASTER file of a directory (found in any letter case).
fs::path MasterPathOf(std::string_view directory);

// Header record count of a MASTER header.
inline int MasterCount(const std::uint8_t* header) {
    return GetI16(header + kMasterCountOffset);
}

// Looks the key up as the symbol or the name of an entry, first in startDir's MASTER, then
// in the records of its XMASTER (when sound), then depth-first through its sub-directory
// entries (each directory: MASTER, XMASTER, sub-directories). An XMASTER record matches by
// its symbol, by the first 16 characters of its name or by its whole name. On success the record
// (its two date fields converted to IEEE floats) and the directory holding it (with a trailing
// separator). kFileNotFound when no reachable entry matches; kFileRead on a read failure
// while resuming a directory's scan.
[[nodiscard]] DataStatus FindSymbol(std::string_view startDir, std::string_view key,
                                    MasterRecord& record, std::string& directory);

// True when an ordinary entry matches the key (name or the key's number of words of the
// symbol field, compared without regard to letter case).
bool MasterRecordMatches(const MasterRecord& record, std::string_view key);

// Sets the first (which = 0) or last (which != 0) date of every entry with file number
// fileNumber. Keeps MASTER.BAK; writes MASTER.NEW and renames it over MASTER.
// 0 on success; kFileOpen when MASTER cannot be read, kFileWrite when the new file cannot
// be written (MASTER then unchanged), 1 when the final rename fails.
[[nodiscard]] DataStatus SetMasterDate(const fs::path& masterPath, const MbfBytes& dateReal,
                                       int fileNumber, int which,
                                       FileSystem& fs = RealFileSystem());

// Sets both dates of every entry with file number fileNumber in one rewrite, with the same
// steps and results as SetMasterDate.
[[nodiscard]] DataStatus SetMasterDates(const fs::path& masterPath, const MbfBytes& firstDate,
                                        const MbfBytes& lastDate, int fileNumber,
                                        FileSystem& fs = RealFileSystem());

// Stores a new symbol and name (each at most 16 characters, blank padded) in every entry
// with file number fileNumber, with the same steps and results as SetMasterDate.
// kInvalidParm for a text longer than 16 characters.
[[nodiscard]] DataStatus RenameMasterEntry(const fs::path& masterPath, int fileNumber,
                                           std::string_view symbol, std::string_view name,
                                           FileSystem& fs = RealFileSystem());

// An XMASTER record in the form of a MASTER record (see MasterRecord).
MasterRecord MasterFormOfXmaster(const std::uint8_t* xmasterRecord);

// The name of a security as shown: the long name when there is one, else the 16 name bytes
// as DisplayText shows them.
std::string SecurityName(const MasterRecord& record);

// The quote file of a security: F<n>.DAT, or F<n>.MWD for one XMASTER lists.
std::string_view DataExtensionOf(const SecurityId& id);

// A MASTER text field as it is shown: without its trailing NUL, control and blank bytes
// (real files pad names with NULs); the stored bytes are not changed by showing them.
std::string DisplayText(std::string_view field);

// A fixed-width text field without the blanks and NULs that pad it at its end.
std::string TrimPadding(std::string_view field);

std::int16_t CountChar(std::string_view text, char c);
// Index of the n-th (1-based) occurrence of c, or -1 when there are fewer.
int FindNthChar(std::string_view text, char c, int n);

}  // namespace barwise
