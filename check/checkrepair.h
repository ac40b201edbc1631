// The mechanical repairs of the portfolio check. Each is asked for by the user (the
// window's Repair Selected, barwise-cli check --repair) and none guesses at data:
//   master-count       MASTER's header count set to the whole records the file holds;
//   emaster-disagrees  EMASTER rebuilt from MASTER, keeping each record's long name and
//                      other bytes where the old record has the same file number;
//   dat-count          the quote file's last record number set to its whole records; a cut
//                      last record is kept aside in F<n>.TRL, never dropped;
//   out-of-order,      the quotes sorted by date and time (stable) and identical repeated
//   repeated-quote     quotes reduced to one; a repeated date with other values stays;
//   index-date         the entry's first and last dates set from its quotes (in MASTER and
//                      EMASTER, or XMASTER);
//   blank-symbol       the name copied into the empty symbol field (RepairMasterSymbols);
//   temporary-file     an interrupted index rewrite finished, then the temporaries that are
//                      left removed;
//   unlisted-data-file a data file no record lists (F<n>.DAT, or F<n>.MWD where XMASTER
//                      is kept) added as a new security of that file number, under a symbol
//                      and name the user gives (by default those of a stray EMASTER record
//                      of that number, else "F<n>"); its layout follows from its size and
//                      header (and its DOP), its dates from its quotes.
// A repair rewrites a quote file in the same step as the index dates it changes, so it
// leaves no index-date finding behind.
//
// Every repair holds the portfolio's writer lock from its first read to its last rename,
// reads the files again under it and decides everything before writing: what it writes
// follows from the files as they are then, not from the finding. Each file is replaced
// through the safe rewrites (complete temporary, synced, atomic rename) keeping the old
// content as its .BAK. The changes are returned (RecordChanges) so they can be undone.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "check/portfoliocheck.h"
#include "datafiles/changes.h"
#include "datafiles/fileio.h"

namespace barwise {

// Whether the check can mend a finding of this kind (and this finding: an unlisted DOP
// file alone is not a security).
bool IsRepairable(FindingKind kind);
bool IsRepairable(const Finding& f);

// The symbol and name (UTF-8) an unlisted data file is added under.
struct SecurityNames {
    std::string symbol;
    std::string name;
};
// What to offer for it: a stray EMASTER record's symbol and name when EMASTER has one of
// the file's number in a place MASTER does not list it, else "F<n>" and the file's name.
SecurityNames SuggestedNames(const Finding& unlisted);
// Asked for each unlisted data file to be added: the names to use, or nothing to leave the
// file as it is.
using NamesForFile = std::function<std::optional<SecurityNames>(const Finding& unlisted)>;

struct RepairOutcome {
    // kSuccess when every repair asked for was made (or found nothing left to do); the
    // first failing status otherwise (kPortfolioBusy, kReadOnly, kFileWrite, ...).
    ChangeResult result;
    int repaired = 0;  // repairs that changed files
    // One line per repair that could not be made, with why.
    std::vector<std::string> failures;
};

// Makes the repairs the findings ask for (findings that cannot be repaired are passed
// over). Findings of one file are mended by one rewrite; repairs run in the order that
// lets each build on the one before (leftovers, index counts, EMASTER, quote files, dates).
// A repair that fails leaves its files as they were and does not stop the others.
// Unlisted data files get the names `names` gives (SuggestedNames when it is empty).
// How the undo history names a repair: "Repair of 1 finding", "Repair of 12 findings".
std::string RepairLabel(std::size_t findings);

RepairOutcome RepairFindings(const std::vector<Finding>& findings,
                             FileSystem& fs = RealFileSystem(), const NamesForFile& names = {});

// The repairs one by one, each holding the lock of `directory`.
[[nodiscard]] DataStatus RepairMasterCount(const std::string& directory, FileSystem& fs);
[[nodiscard]] DataStatus RebuildEmaster(const std::string& directory, FileSystem& fs);
// The quote file of `id`: count, order and repeats, then the index dates.
[[nodiscard]] DataStatus RepairQuoteFile(const SecurityId& id, bool count, bool order,
                                         FileSystem& fs);
[[nodiscard]] DataStatus RepairIndexDates(const SecurityId& id, FileSystem& fs);
[[nodiscard]] DataStatus RemoveLeftovers(const std::string& directory, FileSystem& fs);
// Adds the data file `fileName` of `directory` as a new security; kFileExists when a record
// lists its number by now, kInvalidParm when its layout cannot be told or the index file
// that would list it is full or absent, the RewriteIndexFiles statuses otherwise.
// *refusal (optional) says why in words.
[[nodiscard]] DataStatus AdoptDataFile(const std::string& directory, const std::string& fileName,
                                       const SecurityNames& names, FileSystem& fs,
                                       std::string* refusal = nullptr);

}  // namespace barwise
