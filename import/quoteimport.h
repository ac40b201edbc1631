// Bringing quotes read from text (quotetext.h) into a portfolio. Qt-free: the Import dialog
// and barwise-cli share it.
//
// The quotes of the files go to securities: all to the one security the caller names, or
// each line to the security its symbol column names, or (a file without one) to the
// security named like the file (AAPL.csv: AAPL). A symbol is looked up in the portfolio's
// own MASTER and XMASTER, as its symbol and then as its name, in any letter case.
//
// Into an existing security the quotes are merged by date and time (by date alone where
// its layout has no TIME column): a quote whose date and time the series does not hold is
// added, in date order among the quotes held (quotes of the file after the last one held
// are appended in the file's order, so a whole history brought into an empty security
// keeps its records as they were, out-of-order and repeated days included); one the series
// holds with the same values is skipped; one held with other values is a conflict, listed
// and written (its values over the held ones) only on request. A file written newest
// first is read from its end. Values are compared and written as the data file stores
// them; a field the file has and the layout lacks is named in the security's notes, a field
// the layout has and the file lacks keeps what is held (0 in an added quote).
//
// A symbol the portfolio does not hold becomes a new security on request: in MASTER while
// its header count and file-number counter are below 255 (the smallest unused file number
// whose data files do not exist), else in a sound XMASTER (its next free number), with a
// sound EMASTER kept in step; its layout from the columns the file has (DATE [TIME] OPEN
// HIGH LOW CLOSE VOL OI, those present), a DOP file where the record length's default
// layout is another, period 'I' where the file has times, else 'D'; its name from a NAME
// column, else its symbol.
//
// Writing: everything is decided first (bad lines, conflicts, refusals, read-only files,
// disk room), then, under the portfolio's writer lock, each data file is replaced through
// the safe rewrite (its old content kept as F<n>.BAK), new data files are written, and one
// rewrite of the index files sets the dates that changed and lists the new securities. The
// directory is synced once after the data files, before the index rewrite, rather than
// after every rename: each data file is whole and synced before its rename, so a stop at
// any moment leaves every series old or new. A failure (or a stop asked for through the
// progress callback) puts back every file already changed, so an import is written whole or
// not at all; the change list of the whole import is returned for undo.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "datafiles/changes.h"
#include "datafiles/fileio.h"
#include "datafiles/master.h"
#include "datafiles/status.h"
#include "import/quotetext.h"

namespace barwise {

struct ImportOptions {
    bool replace = false;  // conflicts take the file's values
    bool create = false;   // symbols the portfolio lacks become new securities
    bool skipBad = false;  // write the good lines when some are bad (else nothing)
    bool dryRun = false;   // decide and report; write nothing
    // Every quote goes to this security (the window's selection, SYMBOL | --file N).
    std::optional<SecurityId> into;
    // Or every quote goes to the security of this symbol (made with `create` when missing).
    std::string symbol;
};

// A quote of the file whose date (and time) the series holds with other values.
struct ImportConflict {
    std::string file;
    int line = 0;
    DateCode date = kNoDate;
    TimeCode time = 0;
    bool hasTime = false;
    std::array<float, kImportValues> held{};
    std::array<float, kImportValues> given{};
    std::array<bool, kImportValues> differs{};
};

// What the import does (or would do) with one security.
struct SecurityImport {
    std::string symbol;    // as the file or the caller names it
    SecurityId id;         // the entry (for a new security, where it is listed)
    bool created = false;  // a new security
    std::string dataFile;  // its data file
    int added = 0;         // quotes added
    int skipped = 0;       // quotes already held with the same values
    int conflicts = 0;     // quotes held with other values
    int replaced = 0;      // conflicts written (replace)
    int quotesAfter = 0;   // quotes the data file holds after the import
    std::vector<ImportConflict> conflictList;
    std::vector<std::string> notes;  // columns not written, a name cut short, ...
    std::string refusal;             // why nothing goes into this security (its lines listed)
    std::string file;                // the first file with its lines, and the lines concerned
    std::vector<int> lines;
    bool changes() const { return refusal.empty() && (added > 0 || replaced > 0 || created); }
};

struct ImportReport {
    ChangeResult change;                     // status and every file changed (for undo)
    std::vector<std::string> fileRefusals;   // "<file>: <why>", files taken as a whole
    std::vector<BadLine> bad;                // every bad line of every file
    std::vector<SecurityImport> securities;  // in the order the files name them
    bool written = false;                    // something was written
    std::string failure;                     // why nothing was written; empty when all went
    // Totals over the securities.
    int added() const;
    int skipped() const;
    int conflicts() const;
    int replaced() const;
};

// Called before each security is written (done of total); false stops the import, which
// then puts back what it wrote.
using ImportProgress = std::function<bool(int done, int total)>;

// Imports the quotes of the files into the portfolio `directory` (or, with dryRun, says what
// it would do). change.status: kSuccess when the import was written whole (or there was
// nothing to write), kInvalidParm when bad lines or files stopped it, kFileNotFound when the
// security named is not there, kPortfolioBusy, kReadOnly, kNoSpace, kFileOpen/kFileRead for
// what could not be read, kFileWrite when a write failed (every file then put back).
ImportReport ImportQuotes(const std::string& directory, const std::vector<QuoteText>& files,
                          const ImportOptions& options, FileSystem& fs = RealFileSystem(),
                          const ImportProgress& progress = {});

// A summary for people: per security what was added, skipped, in conflict and replaced,
// the conflicts and bad lines with their files and line numbers, and what was not written.
std::string ImportSummaryText(const ImportReport& report, bool dryRun);

// An empty portfolio: MASTER (header only) and, when extended, EMASTER and XMASTER as today's
// common quote software writes them, so both MASTER and XMASTER take new securities. The
// directory is made when missing. kFileExists (nothing written) when it already holds a
// MASTER, EMASTER or XMASTER; kFileWrite when a file cannot be written.
// How the undo history names an import: "Import of day.csv", "Import of 3 files".
std::string ImportLabel(const std::vector<QuoteText>& files);

ChangeResult WriteNewPortfolio(const fs::path& directory, bool extended,
                               FileSystem& fs = RealFileSystem());

}  // namespace barwise
