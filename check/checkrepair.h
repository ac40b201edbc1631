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
//                      left removed.
// A repair rewrites a quote file in the same step as the index dates it changes, so it
// leaves no index-date finding behind.
//
// Every repair holds the portfolio's writer lock from its first read to its last rename,
// reads the files again under it and decides everything before writing: what it writes
// follows from the files as they are then, not from the finding. Each file is replaced
// through the safe rewrites (complete temporary, synced, atomic rename) keeping the old
// content as its .BAK. The changes are returned (RecordChanges) so they can be undone.
#pragma once

#include <string>
#include <vector>

#include "check/portfoliocheck.h"
#include "datafiles/changes.h"
#include "datafiles/fileio.h"

namespace barwise {

// Whether the check can mend a finding of this kind.
bool IsRepairable(FindingKind kind);
inline bool IsRepairable(const Finding& f) { return IsRepairable(f.kind); }

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
RepairOutcome RepairFindings(const std::vector<Finding>& findings, FileSystem& fs = RealFileSystem());

// The repairs one by one, each holding the lock of `directory`.
[[nodiscard]] DataStatus RepairMasterCount(const std::string& directory, FileSystem& fs);
[[nodiscard]] DataStatus RebuildEmaster(const std::string& directory, FileSystem& fs);
// The quote file of `id`: count, order and repeats, then the index dates.
[[nodiscard]] DataStatus RepairQuoteFile(const SecurityId& id, bool count, bool order, FileSystem& fs);
[[nodiscard]] DataStatus RepairIndexDates(const SecurityId& id, FileSystem& fs);
[[nodiscard]] DataStatus RemoveLeftovers(const std::string& directory, FileSystem& fs);

}  // namespace barwise
