// The portfolio check: what is wrong with the index files, the quote files and the quotes
// of one portfolio directory, read the way every reader of the program reads them
// (ReadMasterFile, ReadEmasterFile / ReadXmasterFile, OpenSeriesFiles, the symbols
// listing's text rules, the split search's pair test). Only reads files.
//
// Each finding names the file, the record or quote, what was expected and what was found,
// and its class:
//   damage   the files disagree with each other or cannot be read as they stand;
//   suspect  the quotes can be read but look wrong (never changed automatically);
//   leftover what an interrupted change left behind.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "datafiles/encoding.h"
#include "datafiles/master.h"
#include "datafiles/status.h"

namespace barwise {

enum class FindingClass : std::uint8_t { kDamage, kSuspect, kLeftover };

enum class FindingKind : std::uint8_t {
    // Index files.
    kMasterCount,         // MASTER's header count against the whole records it holds
    kMasterCutRecord,     // MASTER ends in part of a record
    kEmasterDisagrees,    // EMASTER set aside: its size, count or file numbers disagree with MASTER
    kXmasterBroken,       // XMASTER set aside: magic, counts, size or next free number
    kMissingDataFile,     // a record whose quote file is not there
    kUnreadableDataFile,  // a quote file that is there but cannot be read
    kUnlistedDataFile,    // F<n>.DAT / .MWD / .DOP that no record lists
    kSharedFileNumber,    // a second record naming a file number another one names
    kBlankSymbol,         // a record without a symbol text
    kDuplicateSymbol,     // a symbol another record has (any letter case)
    kUnfitText,           // a symbol or name holding a byte the text rule refuses
    // Quote files.
    kDatCount,        // the header's last record number against the file's size
    kNoLayout,        // the record length has no layout (no DOP, no default)
    kRecordShape,     // record length / field count impossible
    kDopIgnored,      // a DOP that the readers set aside
    kOutOfOrder,      // a quote dated before the one ahead of it
    kRepeatedQuote,   // a quote identical to the one ahead of it
    kRepeatedDate,    // the date (and time) of the one ahead of it, other values
    kDateOutOfRange,  // a date real that is no day from 1900 to 2199
    kNoRealForm,      // a field whose bytes are no MBF real any writer makes
    // Index against data.
    kIndexDate,  // an index file's first or last date against the quotes
    // Quote sanity.
    kHighBelowLow,
    kOutsideRange,  // open or close outside [low, high]
    kZeroPrice,
    kNegativeClose,   // in a series otherwise positive
    kNegativeVolume,  // volume or open interest below 0
    kGap,             // more weekdays without a quote than allowed, in a daily series
    kSplitCandidate,  // a jump the split search takes for an unrecorded split
    // Leftovers.
    kTemporaryFile,  // .NEW, .~NU and the like of an interrupted change
    kNewerBackup,    // MASTER.BAK / EMASTER.BAK / XMASTER.BAK newer than its file
};

// The class of a kind, and short names for reports and scripts ("damage", "dat-count").
FindingClass ClassOf(FindingKind kind);
std::string_view ClassName(FindingClass cls);
std::string_view KindName(FindingKind kind);

struct Finding {
    FindingKind kind = FindingKind::kMasterCount;
    FindingClass cls = FindingClass::kDamage;
    std::string directory;  // the portfolio directory, as the check was given it
    std::string file;       // the file concerned, as named on disk (no directory)
    SecurityId id;          // the security concerned, when there is one (id.valid())
    std::string symbol;     // how the security is named (its symbol, else "record N")
    int record = 0;         // the index record (1-based) the finding is about, or 0
    int quote = -1;         // the quote (0-based, oldest first), or -1
    DateCode date = kNoDate;
    TimeCode time = 0;
    bool hasTime = false;  // an intraday quote: time says which bar of the date
    std::string what;      // what is wrong, in a few words
    std::string expected;
    std::string found;
    // False where the mechanical repair of its kind has nothing to work from (a blank
    // symbol in a record whose name gives none either, or in XMASTER).
    bool mendable = true;
};

struct CheckOptions {
    // A daily series may go this many weekdays without a quote before it is named.
    int maxGapWeekdays = 10;
    bool splitCandidates = true;
};

// Called while a check runs; any of them may be empty.
struct CheckObserver {
    // After each security: how many of the portfolio's securities are done.
    std::function<void(int done, int total)> progress;
    // Asked before each security; true ends the check there.
    std::function<bool()> cancelled;
};

struct CheckReport {
    // kSuccess; kFileOpen when the directory has no MASTER or it cannot be read, kFileRead
    // when it is shorter than a header (then there are no findings).
    DataStatus status = kSuccess;
    std::string directory;
    std::string masterFile;  // as named on disk
    bool cancelled = false;
    int securities = 0;  // securities the index files list
    std::vector<Finding> findings;
};

// Checks one portfolio directory.
CheckReport CheckPortfolio(const std::string& directory, const CheckOptions& options = {},
                           const CheckObserver& observer = {});

// Every portfolio (directory holding a MASTER) at or below root, in the portfolio list's
// order, the way the portfolio search finds them.
std::vector<std::string> PortfoliosBelow(const std::string& root);

// ----- texts -----

// Where a finding is: "record 3", "quote 12 (03/04/2020)", "quote 7 (03/04/2020 09:30:00)".
std::string FindingPlace(const Finding& finding);
// One line: "damage  F3.DAT  ACME quote 12 (03/04/2020): <what>: expected X, found Y".
std::string FindingLine(const Finding& finding);
// One JSON object (no line end) with every field of the finding.
std::string FindingJson(const Finding& finding);
// For a quote finding, the arguments of barwise-cli edit-quote that open that quote
// ("edit-quote DIR --file 3 03/04/2020 --time 09:30:00"); empty for any other.
std::string EditQuoteHint(const Finding& finding);

// True for the name of a temporary file a change leaves when it is stopped before its
// rename (any letter case): "F3.NEW", "MASTER.~NU", "EMASTER.NEW-2".
bool IsTemporaryFileName(std::string_view name);
// The number of a data file's name in upper case, "F<n>.DAT", ".MWD" or ".DOP"; -1 for any
// other name. *ext (optional) receives the extension.
int DataFileNumber(const std::string& upperName, std::string* ext = nullptr);

// Weekdays (Monday to Friday) strictly between two days.
int WeekdaysBetween(DateCode earlier, DateCode later);

}  // namespace barwise
