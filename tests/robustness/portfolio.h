// A small portfolio made for the robustness tests, and the table of every rewrite the
// program performs on a portfolio. The write-failure tests and the crash driver both run
// each rewrite of the table against fresh copies of the portfolio.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "datafiles/encoding.h"
#include "datafiles/fileio.h"
#include "datafiles/status.h"
#include "testsupport/tempdir.h"

namespace barwise::robustness {

// A scratch directory, removed with its content.
using ScratchDir = testing::TempDir;

using Bytes = std::vector<std::uint8_t>;
// Every regular file of a directory (not its sub-directories) by name.
using DirectoryContent = std::map<std::string, Bytes>;
// Runs a rewrite on the portfolio in dir through fs; returns its status.
using Rewrite = std::function<DataStatus(const fs::path& dir, FileSystem& fs)>;

inline DirectoryContent ReadDirectory(const fs::path& dir) {
    return testing::ReadFiles(dir);
}
void WriteDirectory(const fs::path& dir, const DirectoryContent& content);
// Removes every entry of a directory, keeping the directory.
void EmptyDirectory(const fs::path& dir);

// Portfolio content: MASTER with three entries
//   F1 "AAA"  28-byte records (DATE OPEN HIGH LOW CLOSE VOL OI), no DOP
//   F2 "BBB"  24-byte records with an F2.DOP (DATE HIGH LOW CLOSE VOL, one spare field)
//   F3        28-byte records, blank symbol field (found by its name "THIRD CORP", and
//             given a symbol by the repair), one quote only, stored as "f3.dat" to
//             exercise names in another letter case
// F1 and F2 hold `quotes` weekday quotes from Monday 2 January 2006 on.
DirectoryContent MakePortfolio(int quotes);

// The date of quote i of the made portfolio.
DateCode QuoteDate(int i);

struct RewriteCase {
    std::string name;
    // The portfolio the rewrite starts from.
    DirectoryContent before;
    Rewrite run;
    // Data files written in order; a failure while the later ones are written leaves the
    // earlier ones in their new state (a delete updates the MASTER dates after the DAT). An
    // index file's name (MASTER, XMASTER) stands for the one rewrite of all index files.
    std::vector<std::string> writes;
};

// Every rewrite of a portfolio: RewriteSeries Set, Scale (with and without DOP), Delete
// (first, middle, last and only quote), Insert, SetMasterDate, RenameMasterEntry and the
// symbol repair, on the made portfolio; with realDb (a folder of real databases, may be
// empty) also Scale and Delete on a copy of its "mininge-dop" portfolio.
std::vector<RewriteCase> RewriteCases(int quotes, const fs::path& realDb = {});

// The files whose content is compared: every file but backups, temporaries and the lock's.
DirectoryContent Compared(const DirectoryContent& content);

// Rewrites of a database's index files that also remove or add data files (a delete of a
// security, a move), on made portfolios and copies of real databases. Files come and
// go, so they are checked by what must hold wherever they stop (IndexRewriteProblem).
// Content paths are relative to the directory the case runs in ("dst/XMASTER").
struct IndexRewriteCase {
    std::string name;
    DirectoryContent before;
    std::vector<std::string> portfolios;  // directories holding index files ("" = the root)
    std::string symbol;                   // the security concerned
    bool removes = false;                 // a delete: the security may be gone
    Rewrite run;
};

// A move of a security of the made portfolio into a portfolio of MASTER alone; with realDb
// also a delete of an XMASTER security and of a MASTER security whose EMASTER is kept
// (equis-xmaster-mini), and a move of one of its MASTER securities into a portfolio whose
// MASTER is full and that has an XMASTER.
std::vector<IndexRewriteCase> IndexRewriteCases(const fs::path& realDb);

// Every regular file below dir, by path relative to it ('/' separated).
DirectoryContent ReadTree(const fs::path& dir);
void WriteTree(const fs::path& dir, const DirectoryContent& content);

// What is wrong with a portfolio as a whole: MASTER unreadable or disagreeing with its
// header, a listed security whose quotes do not read, a symbol or file number listed
// twice. Empty when nothing is.
std::string PortfolioProblem(const fs::path& dir);

// What must hold after a failed or interrupted index rewrite, given the content it makes
// when it finishes: every MASTER, EMASTER and XMASTER is whole as it was or as it becomes,
// every security listed reads, and the security concerned (unless deleted) is listed in a
// portfolio. Empty when it holds, else what does not.
std::string IndexRewriteProblem(const IndexRewriteCase& c, const fs::path& dir,
                                const DirectoryContent& after);

// Number of quotes of the portfolio the tests use.
inline constexpr int kTestQuotes = 400;

// Names of leftover temporary files in a directory (".NEW", ".~NU"), any letter case.
std::vector<std::string> TemporaryFiles(const fs::path& dir);

// One rewrite run again and again in one scratch directory: each run starts from the same
// files, and what a run left is told from what the rewrite makes when it runs to its end.
class PortfolioRun {
public:
    PortfolioRun(fs::path dir, DirectoryContent start, Rewrite rewrite);
    // Puts the directory (sub-directories included) back to the start, `extra` beside it.
    void reset(const DirectoryContent& extra = {}) const;
    // Runs the rewrite on the directory as it stands.
    DataStatus run(FileSystem& fs) const { return rewrite_(dir_, fs); }
    // Runs from the start through fs and keeps what the run made as the result.
    DataStatus finish(FileSystem& fs);

    const fs::path& dir() const { return dir_; }
    const DirectoryContent& start() const { return start_; }
    // The compared files at the start, after finish() and now.
    const DirectoryContent& before() const { return before_; }
    const DirectoryContent& after() const { return after_; }
    DirectoryContent now() const { return Compared(ReadTree(dir_)); }
    // Temporary files left anywhere in the directory, by relative path.
    std::vector<std::string> temporaries() const;
    // The same rewrite run again over what an interrupted or failed one left must give the
    // result and leave no temporary: empty when it does, else what went wrong.
    std::string rerunProblem() const;

private:
    fs::path dir_;
    DirectoryContent start_, before_, after_;
    Rewrite rewrite_;
};

// What must hold wherever a rewrite case stops: every compared file as it was or as the
// rewrite makes it, none missing or added, and no file of `writes` updated before an
// earlier one. Empty when it holds.
std::string OldOrNewInOrder(const RewriteCase& c, const PortfolioRun& r);

}  // namespace barwise::robustness
