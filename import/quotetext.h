// Reading quotes from delimited text: the files data vendors publish and Barwise's own
// export. Qt-free: the Import dialog and barwise-cli share it.
//
// A file is lines (LF or CR LF, a UTF-8 byte-order mark at the start skipped, blank lines
// skipped) of fields split by one delimiter: comma, semicolon, tab or one blank, detected
// from the first lines unless given. A field wholly inside double quotes loses them (a
// delimiter inside stays part of the field; "" stands for one quote).
//
// Columns come from a title row (a first line naming at least one known column, in any
// letter case, with or without angle brackets: DATE, TIME, OPEN, HIGH, LOW, CLOSE,
// VOLUME/VOL, OPEN INTEREST/OPENINT/OI, SYMBOL/TICKER, NAME; other titles such as
// "Adj Close" or <PER> are columns left out), from the caller, or, without either, from the
// first line's shape: [SYMBOL] DATE [TIME] and then OPEN HIGH LOW CLOSE [VOL [OI]].
//
// Dates: YYYYMMDD, YYYY-MM-DD, MM/DD/YY, MM/DD/YYYY, DD/MM/YY, DD/MM/YYYY, DD.MM.YYYY (two-
// digit years stand for 1960-2059), one form for the whole file. A file whose slash dates
// read as both MM/DD and DD/MM, giving different days, is refused until the caller names the
// form. Times: HHMMSS, HH:MM, HH:MM:SS. Values: a whole decimal number ("N/A" for none, as the
// export writes a field a series lacks) that has an MBF form and is not a value other than 0
// that the file would store as 0. Every field is read whole or its line is bad.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "datafiles/encoding.h"
#include "datafiles/fileio.h"

namespace barwise {

enum class ImportColumn : std::uint8_t {
    kSkip,
    kSymbol,
    kName,
    kDate,
    kTime,
    kOpen,
    kHigh,
    kLow,
    kClose,
    kVol,
    kOi,
};
// Value columns, in the order of QuoteValues.
inline constexpr int kImportValues = 6;

// The name of a column as --columns takes it and the preview shows it ("date", "oi", "skip").
std::string_view ImportColumnName(ImportColumn column);
// The column a title or a --columns word names (any letter case, angle brackets, blanks
// and underscores ignored); nothing for a title no column has.
std::optional<ImportColumn> ImportColumnOfTitle(std::string_view title);
// A comma list of column names ("date,open,high,low,close,vol"); nothing when a word names
// no column (*bad then holds it).
std::optional<std::vector<ImportColumn>> ParseColumnList(std::string_view list,
                                                         std::string* bad = nullptr);
std::string ColumnListText(const std::vector<ImportColumn>& columns);

enum class DateForm : std::uint8_t {
    kDetect,
    kYyyymmdd,  // 20200102
    kIso,       // 2020-01-02
    kMdy,       // 01/02/20, 01/02/2020
    kDmy,       // 02/01/20, 02/01/2020
    kDmyDot,    // 02.01.2020
};
// "YYYYMMDD", "YYYY-MM-DD", "MM/DD/YYYY", "DD/MM/YYYY", "DD.MM.YYYY" (and "detect").
std::string_view DateFormName(DateForm form);
// The form a --date-format text names, in any letter case; MM/DD/YY and DD/MM/YY name the
// slash forms too.
std::optional<DateForm> DateFormOfName(std::string_view name);

// The day a whole date text names in one form; kNoDate for any other text and for a day
// that does not exist or lies outside 1900-2199.
DateCode ParseDateIn(std::string_view text, DateForm form);
// The time of day of a whole HHMMSS, HH:MM or HH:MM:SS text; nothing for any other text.
std::optional<TimeCode> ParseTimeText(std::string_view text);

// What a value field holds: a number, no value ("N/A"), or a refusal.
struct ValueField {
    bool present = false;
    float value = 0;
    std::string problem;  // empty when the field reads
};
ValueField ParseValueText(std::string_view text);

struct TextFormat {
    char delimiter = 0;                 // 0: detect
    std::vector<ImportColumn> columns;  // empty: from the title row or the first line
    DateForm dateForm = DateForm::kDetect;
    bool checkHighLow = false;  // a line whose high is below its low is bad
};

// One quote line read from a file. Its symbol and name are kept once per file, in the
// QuoteText's `texts` (a run of lines of one symbol shares one entry): a line is small.
struct TextQuote {
    int line = 0;              // 1-based line number in the file
    std::uint32_t symbol = 0;  // index into QuoteText::texts; 0 is the empty text
    std::uint32_t name = 0;    // likewise
    DateCode date = kNoDate;
    TimeCode time = 0;
    bool hasTime = false;
    std::array<float, kImportValues> values{};  // open, high, low, close, vol, oi
    std::array<bool, kImportValues> has{};      // false: no such column, or "N/A"
};

struct BadLine {
    std::string file;
    int line = 0;
    std::string reason;
};
// "<file>, line <n>: <reason>".
std::string BadLineText(const BadLine& bad);

struct QuoteText {
    std::string file;     // as the messages name it
    std::string refusal;  // the file as a whole cannot be read: nothing taken
    char delimiter = 0;
    bool titleRow = false;
    bool columnsGuessed = false;        // from the first line's shape, not a title or the caller
    std::vector<ImportColumn> columns;  // one per field
    std::vector<std::string> titles;    // the title row's fields (empty without one)
    DateForm dateForm = DateForm::kDetect;  // the form the dates were read in
    std::vector<TextQuote> quotes;          // the good lines, in file order
    std::vector<std::string> texts{""};     // the lines' symbols and names
    std::vector<BadLine> bad;               // the bad lines, in file order
    int lines = 0;                          // lines of data (not blank, not the title)

    bool has(ImportColumn c) const;
    const std::string& symbolOf(const TextQuote& q) const { return texts[q.symbol]; }
    const std::string& nameOf(const TextQuote& q) const { return texts[q.name]; }
};

// Splits one line into its fields by the delimiter (quotes as above).
std::vector<std::string> SplitFields(std::string_view line, char delimiter);
// The delimiter of a text, from its first lines; 0 when none splits them alike.
char DetectDelimiter(std::string_view text);

// Reads a whole text. `file` is how messages name it.
// A text with at least `halvedFrom` bytes of data is read in two halves at once, which gives
// what reading it whole gives. By default: half a megabyte, where the machine has two cores.
std::size_t DefaultHalvedFrom();
QuoteText ReadQuoteText(std::string_view text, const TextFormat& format, std::string file,
                        std::size_t halvedFrom = DefaultHalvedFrom());
// Reads a file (kFileOpen / kFileRead in the refusal when it cannot be read).
QuoteText ReadQuoteFile(const fs::path& path, const TextFormat& format);

// The first `rows` lines of a text split into fields (the title row included), for a
// preview.
std::vector<std::vector<std::string>> PreviewRows(std::string_view text, char delimiter, int rows);

}  // namespace barwise
