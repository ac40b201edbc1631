// The demo database of barwise-cli make-demo, and the portfolios of tests, written with the
// quote-file writers of datafiles/quotefiles.h.
//
// The default demo (deterministic: the same bytes on every run):
//   STOCKS/          ACME (28-byte, 2-for-1 split not recorded), BOLT (24-byte, 1-for-3
//                    reverse split not recorded), CRNE (20-byte OPEN HIGH LOW CLOSE),
//                    DYNA (20-byte HIGH LOW CLOSE VOL), a record with a blank symbol field
//                    (ELMWOOD BANCORP, 24-byte with DOP), GLBX (28-byte with DOP, one
//                    weekday missing), and a <DIR> entry for FUNDS
//   STOCKS/FUNDS/    HRBR (weekly, DOP), IRON (24-byte)
//   FUTURES/         CLZ (28-byte with open interest), ESM (intraday, DOP with TIME)
//   HISTORY/         IDX28 (24-byte, daily from 1 October 1928), CLBA (28-byte, back-adjusted:
//                    negative prices), FIBM (32-byte one-minute bars without a DOP, 40,800)
// --large: one portfolio (DIR itself) of 255 securities of 8,000 quotes each.
// WriteExtendedPortfolio: MASTER, EMASTER and XMASTER with any number of securities (tests
// and benchmarks only; make-demo does not write it).
#pragma once

#include <string>
#include <vector>

#include "datafiles/encoding.h"
#include "datafiles/fileio.h"
#include "datafiles/layout.h"
#include "datafiles/master.h"
#include "datafiles/quotefiles.h"
#include "datafiles/series.h"
#include "datafiles/status.h"

namespace barwise {

using DemoQuote = QuoteBar;

// One security: its MASTER record fields, its DAT layout and its quotes.
struct DemoSeries {
    int fileNumber = 0;
    std::string symbol;  // stored blank padded to 16 bytes (empty = a blank symbol field)
    std::string name;    // stored blank padded to 16 bytes
    char period = 'D';
    int recordLength = 28;
    std::vector<QuoteField> columns;  // the fields in column order, DATE first
    bool writeDop = false;
    std::vector<std::pair<int, int>> formats;  // input/display codes per column (DOP only)
    std::vector<DemoQuote> quotes;
};

struct DemoPortfolio {
    std::string relativeDir;  // below the demo root; empty = the root itself
    std::vector<DemoSeries> series;
    std::vector<std::string> subdirEntries;  // <DIR> records, after the series
};

struct DemoDatabase {
    std::vector<DemoPortfolio> portfolios;
};

// The demo's content, in memory.
DemoDatabase BuildDemoDatabase(bool large);

// The column order of the default layouts (no DOP): 20-byte OPEN..CLOSE or HIGH..VOL,
// 24-byte, 28-byte, 32-byte (DATE TIME OPEN HIGH LOW CLOSE VOL OI).
std::vector<QuoteField> DefaultColumns(int recordLength, bool twentyWithVolume = false);

// The MASTER record of a series (dates from its first and last quote, MBF) and of a
// sub-directory entry.
MasterRecord MakeMasterRecord(const DemoSeries& series);
MasterRecord MakeSubdirRecord(const std::string& name);

// MASTER with these records, and the DAT file of a series (field count recordLength / 4),
// through the writers of datafiles/quotefiles.h; false when the file cannot be written.
bool WriteMasterFile(const fs::path& path, const std::vector<MasterRecord>& records,
                     int fileCounter);
bool WriteDatFile(const fs::path& path, const DemoSeries& series);
// MASTER, F<n>.DAT and F<n>.DOP of one portfolio directory (created when missing).
bool WritePortfolio(const fs::path& dir, const DemoPortfolio& portfolio);

// Name of the file that marks a directory as written by make-demo.
inline constexpr std::string_view kDemoMarkerFile = "BARWISE-DEMO.txt";

struct DemoResult {
    DataStatus status = kSuccess;  // kFileExists: the directory holds data not written by
                                   // make-demo; kFileWrite: a file could not be written
    std::string file;              // the file concerned on failure
    int portfolios = 0;
    int securities = 0;
    long quotes = 0;
};

// Writes the demo database into root. Refuses (kFileExists) a non-empty directory that
// does not carry the demo's marker file, so a user's own database is never overwritten;
// a directory written by make-demo before is written again.
DemoResult WriteDemoDatabase(const fs::path& root, bool large);

// A portfolio as today's common quote software writes it, for tests and benchmarks that
// need more securities than a MASTER holds. Securities 1..min(255, securities) stand in
// MASTER (F1..F255.DAT) and in an EMASTER that mirrors it record by record; the rest, when
// there are more than 255, stand only in an XMASTER, numbered from 256 on (F<n>.MWD, laid
// out as a DAT file). Each holds quotesEach daily 28-byte quotes (DATE OPEN HIGH LOW CLOSE
// VOL OI) of a random walk from 2 January 2015. Every seventh security has a name longer
// than 16 characters (the EMASTER long name, or the XMASTER name). Deterministic; writes
// over what dir holds (created when missing), and never marks it as a make-demo directory.
inline constexpr int kExtendedNameEvery = 7;
inline constexpr std::size_t kExtendedLongNameMax = 45;
// Security `number` (1-based) of such a portfolio: file number, symbol, name and quotes.
DemoSeries ExtendedPortfolioSeries(int number, int quotesEach);
// kInvalidParm (nothing written) for fewer than 1 security, more than XMASTER numbers
// reach (65,535), or more quotes than a file holds; kFileWrite naming the file that could
// not be written.
DemoResult WriteExtendedPortfolio(const fs::path& dir, int securities, int quotesEach);

}  // namespace barwise
