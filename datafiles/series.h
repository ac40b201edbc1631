// Fn.DAT quote files and the QuoteSeries window that readers fill from them.
//
// A DAT file is a sequence of records of the MASTER record length. Record 1 (offset 0) is
// the header:
//   0   2   preserved
//   2   2   last record number = number of quotes + 1, uint16 LE (so at most 65534 quotes;
//           files written by common quote software go beyond the signed range)
//   4   ..  preserved
// Quote i (0-based) is at byte (i + 1) * record length, its fields placed by the layout.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "datafiles/encoding.h"
#include "datafiles/layout.h"
#include "datafiles/master.h"
#include "datafiles/status.h"

namespace barwise {

inline constexpr int kDatLastRecordOffset = 2;
inline constexpr int kMaxQuotesPerFile = 65534;

// The last record number of a DAT header.
inline int DatLastRecord(const std::uint8_t* header) {
    return header[kDatLastRecordOffset] | (header[kDatLastRecordOffset + 1] << 8);
}
inline void SetDatLastRecord(std::uint8_t* header, int lastRecord) {
    header[kDatLastRecordOffset] = static_cast<std::uint8_t>(lastRecord & 0xFF);
    header[kDatLastRecordOffset + 1] = static_cast<std::uint8_t>((lastRecord >> 8) & 0xFF);
}
// Most quotes a read for "as many as possible" returns.
inline constexpr int kMaxQuotesPerRead = 16000;
// Capacities below this use one block of bars.
inline constexpr int kPackedCapacityLimit = 2322;
inline constexpr std::uint16_t kSeriesLoadedTag = 3;

// A strided view of one field of a QuoteSeries. Element i lives at
// base + (stride * i + offset) * elementSize.
struct SeriesColumn {
    std::uint8_t* base = nullptr;
    std::int32_t count = 0;
    std::int16_t stride = 0;
    std::int16_t offset = 0;
    std::int16_t spare = 0;
    std::int16_t elementSize = 0;  // 4: a date, a time (in the low two bytes) or a value

    template <typename T>
    T get(int i) const {
        T v;
        std::memcpy(&v, base + (static_cast<std::ptrdiff_t>(stride) * i + offset) * elementSize,
                    sizeof v);
        return v;
    }
    template <typename T>
    void set(int i, T v) {
        std::memcpy(base + (static_cast<std::ptrdiff_t>(stride) * i + offset) * elementSize, &v,
                    sizeof v);
    }
};

// What ReadSeries learned of the series besides its quotes.
struct SeriesInfo {
    MasterRecord master;  // as FindSymbol returned it (dates already IEEE)
    FieldLayout layout;
    bool dopIgnored = false;  // the DOP file named no date or more fields than the records hold
    std::string dopFile;      // the DOP file looked for
};

// A caller-owned window of one symbol's quotes. Allocate with AllocSeries, fill with
// ReadSeries (repeatable), release with FreeSeries (or let it go out of scope).
struct QuoteSeries {
    std::array<SeriesColumn, kQuoteFieldCount> columns{};
    std::string directory;  // where FindSymbol found the key, with trailing separator
    std::string key;        // the symbol or name the series was looked up by (empty when
                            // it was read by identity)
    SecurityId id;          // the entry the quotes came from
    std::int32_t count = 0;
    std::int32_t capacity = 0;
    std::int32_t total = 0;  // quotes in the DAT file
    std::uint16_t tag = 0;
    std::uint16_t infoSize = 0;
    std::unique_ptr<SeriesInfo> info;
    // Storage behind the columns: capacity bars of 32 bytes (date, time, six floats).
    std::unique_ptr<std::uint8_t[]> storage;

    DateCode date(int i) const { return columns[kFieldDate].get<DateCode>(i); }
    TimeCode time(int i) const { return columns[kFieldTime].get<TimeCode>(i); }
    // Value field kFieldOpen..kFieldOi of quote i; -1.0 where the file has no such field.
    float value(int field, int i) const {
        return columns[static_cast<std::size_t>(field)].get<float>(i);
    }
    float open(int i) const { return value(kFieldOpen, i); }
    float high(int i) const { return value(kFieldHigh, i); }
    float low(int i) const { return value(kFieldLow, i); }
    float close(int i) const { return value(kFieldClose, i); }
    float volume(int i) const { return value(kFieldVol, i); }
    float openInterest(int i) const { return value(kFieldOi, i); }
};

inline constexpr std::size_t kBarSize = 32;

[[nodiscard]] DataStatus AllocSeries(QuoteSeries& series, std::int32_t capacity);
void FreeSeries(QuoteSeries& series);
[[nodiscard]] DataStatus SetSeriesCount(QuoteSeries& series, int n);

// Reads quotes of the key's series into the series:
//   count > 0: up to count quotes (at most the capacity) from quote index start;
//   count = 0: no quotes, only the record, layout, directory, key and total;
//   count < 0: as many as possible, min(total, 16000) (minus start when start > 0);
//   start < 0: the latest quotes, start = max(total - count, 0).
// kRecordNotFound when start lies beyond the last quote; kFileOpen when the DAT file
// cannot be opened; kInvalidParm when the MASTER record's length or field count is
// impossible; FindSymbol and ReadLayout failures passed up.
[[nodiscard]] DataStatus ReadSeries(QuoteSeries& series, std::string_view directory,
                                    std::string_view key, std::int32_t start, std::int32_t count);

// A series ready to be read or rewritten: its entry, its layout and its data file. Every
// reader and rewrite of quotes opens a series through OpenSeriesFiles.
struct SeriesFiles {
    SecurityId id;
    MasterRecord record;      // as in the file (dates in MBF)
    FieldLayout layout;       // as ReadLayout gives it
    bool dopIgnored = false;  // the DOP named no date or columns the record lacks
    FieldLayout columns;      // the layout's columns within the record's fields (the others 0)
    int recordLength = 0;
    int fieldCount = 0;
    fs::path datPath;
    fs::path dopPath;
};

// Opens the series of the entry `id` names, reading its record again (kFileNotFound when
// the entry is no longer there), then its layout (the ReadLayout status) and its shape
// (kFileRead when impossible). `index`, when given, lists id.directory.
[[nodiscard]] DataStatus OpenSeriesFiles(const SecurityId& id, SeriesFiles& out,
                                         const DirectoryIndex* index = nullptr);
// The same for a record the caller has just read from MASTER (a walk of a portfolio).
[[nodiscard]] DataStatus OpenSeriesFiles(const SecurityId& id, const MasterRecord& record,
                                         SeriesFiles& out, const DirectoryIndex* index = nullptr);

// ReadSeries of the entry `id` names (same counts and statuses as the key form; kFileNotFound
// when the entry is no longer there).
[[nodiscard]] DataStatus ReadSeries(QuoteSeries& series, const SecurityId& id, std::int32_t start,
                                    std::int32_t count);

// The layout of an XMASTER security without a DOP: the fields its bits name, in the order
// DATE TIME OPEN HIGH LOW CLOSE VOL OI; kNoLayout when the bits name no date.
[[nodiscard]] DataStatus LayoutFromFieldBits(std::uint8_t bits, FieldLayout& layout);
// The field bits that name the fields a layout has.
std::uint8_t FieldBitsOf(const FieldLayout& columns);

// Checks a MASTER record's record length and field count against what the readers accept
// (record length 1..76, fields 1..19, fields * 4 <= record length).
bool IsPlausibleRecordShape(int recordLength, int fieldCount);

}  // namespace barwise
