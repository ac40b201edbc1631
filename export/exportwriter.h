// The export without its dialog: the text lines written for a symbol's quotes,
// and the export of a whole series to a stream. Qt-free: the Export command and
// barwise-cli share it.
//
// Line: DATE, then for each of OPEN HIGH LOW CLOSE VOL OI not omitted, the delimiter and
// the value: prices "%.4f", volume and open interest "%.2f" (negative values too: back-
// adjusted futures hold them), "N/A" for a field the series' layout does not have. Lines end
// in CR LF. On request, for a series that has times, a TIME column (HH:MM:SS) follows the
// date; and every value may be written in full precision instead, as the shortest text
// that reads back to the same float.
#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "datafiles/encoding.h"
#include "datafiles/master.h"
#include "datafiles/series.h"
#include "datafiles/status.h"

namespace barwise {

// Value columns of an export line, in their fixed order.
enum ExportColumn : int {
    kExportOpen = 0,
    kExportHigh,
    kExportLow,
    kExportClose,
    kExportVol,
    kExportOi
};
inline constexpr int kExportValueColumns = 6;
inline constexpr std::array<std::string_view, kExportValueColumns> kExportTitles = {
    "OPEN", "HIGH", "LOW", "CLOSE", "VOL", "OI"};

enum class ExportDateFormat {
    kMmDdYy,    // FormatDateMdy: 03/15/99 (Barwise's own form; 10/01/1928 outside 1960-2059).
                // ExportQuotes writes a whole file in one form: kMmDdYyyy when any of its
                // dates lies outside 1960-2059.
    kIso,       // YYYY-MM-DD (barwise-cli --iso)
    kMmDdYyyy,  // MM/DD/YYYY for every date
};

struct ExportOptions {
    char delimiter = ' ';
    std::array<bool, kExportValueColumns> omit{};  // open, high, low, close, vol, oi
    bool newestFirst = false;
    bool title = false;
    ExportDateFormat dateFormat = ExportDateFormat::kMmDdYy;
    bool time = false;           // a TIME column after the date, when the series has times
    bool fullPrecision = false;  // shortest round-trip text instead of "%.4f" / "%.2f"
};

// The delimiter of the stored choice: 1 comma, 2 tab, anything else one blank.
char ExportDelimiterFor(int choice);

inline constexpr std::string_view kExportLineEnd = "\r\n";

// Exact "%.4f" / "%.2f" text of a float (promoted to double), written at p; returns the end.
// The buffer needs room for 64 characters.
char* FormatFixed4(char* p, float value);
char* FormatFixed2(char* p, float value);

// Builds export lines into a growing text buffer.
class ExportLineWriter {
public:
    explicit ExportLineWriter(const ExportOptions& options);
    // Which of open .. oi the series has; the others are written "N/A". All by default.
    void setPresent(const std::array<bool, kExportValueColumns>& present) { present_ = present; }
    // Whether the series has times: only then does options.time add the TIME column.
    void setHasTime(bool hasTime) { hasTime_ = hasTime; }
    bool writesTime() const { return options_.time && hasTime_; }

    // "DATE" and the titles of the columns not omitted, then the line end.
    void appendTitle(std::string& out) const;
    // One quote's line and the line end. values: open, high, low, close, vol, oi.
    void appendLine(std::string& out, DateCode date,
                    const std::array<float, kExportValueColumns>& values) const {
        appendLine(out, date, 0, values);
    }
    void appendLine(std::string& out, DateCode date, TimeCode time,
                    const std::array<float, kExportValueColumns>& values) const;

    // The same, as one line without its line end (for tests and the dialog's preview).
    std::string titleText() const;
    std::string lineText(DateCode date,
                         const std::array<float, kExportValueColumns>& values) const {
        return lineText(date, 0, values);
    }
    std::string lineText(DateCode date, TimeCode time,
                         const std::array<float, kExportValueColumns>& values) const;

private:
    ExportOptions options_;
    std::array<bool, kExportValueColumns> present_ = {true, true, true, true, true, true};
    bool hasTime_ = false;
};

struct ExportStats {
    std::int64_t quotes = 0;         // lines written, the title not counted
    std::string datFile;             // the DAT file read
    int headerQuotes = 0;            // the quotes the DAT header announces
    std::int64_t quotesInFile = -1;  // the whole quote records the DAT file holds (-1 unknown)
};

// What the export reads quotes from: an open series (SeriesCursor), or a test's reader.
class QuoteSource {
public:
    virtual ~QuoteSource() = default;
    // Quotes the DAT header announces.
    virtual int total() const = 0;
    // As SeriesCursor::read: up to count quotes from index start; fewer at the end of a file
    // shorter than its header; kFileRead when a read fails.
    [[nodiscard]] virtual DataStatus read(QuoteSeries& series, int start, int count,
                                          unsigned fields) = 0;
    // Which of open .. oi the series' layout has.
    virtual std::array<bool, kExportValueColumns> present() const {
        return {true, true, true, true, true, true};
    }
    // Whether the series has a TIME column.
    virtual bool hasTime() const { return false; }
};

// Exports every quote the source holds. kSuccess; kFileWrite when the stream fails; the
// source's status when a read fails (a read error is never taken for the end of the data:
// the caller drops what was written); kMalloc.
[[nodiscard]] DataStatus ExportQuotes(QuoteSource& source, const ExportOptions& options,
                                      std::ostream& out, ExportStats* stats = nullptr);

// Exports the series of the key, looked up as FindSymbol looks up a key from directory.
// kSuccess; the FindSymbol / ReadLayout status; kFileOpen when the DAT file cannot be
// opened; kFileRead when a read fails; kFileWrite when the stream fails (the only status
// that concerns the output). Writes nothing when the series cannot be opened.
[[nodiscard]] DataStatus ExportSymbol(std::string_view directory, std::string_view key,
                                      const ExportOptions& options, std::ostream& out,
                                      ExportStats* stats = nullptr);

// Exports the series of one entry, with its record as just read (no lookup by key, so
// records with equal or blank symbols are each their own series).
[[nodiscard]] DataStatus ExportRecord(const SecurityId& id, const MasterRecord& record,
                                      const ExportOptions& options, std::ostream& out,
                                      ExportStats* stats = nullptr);

// Exports the series of the entry `id` names (the security selected in the window).
[[nodiscard]] DataStatus ExportSecurity(const SecurityId& id, const ExportOptions& options,
                                        std::ostream& out, ExportStats* stats = nullptr);

}  // namespace barwise
