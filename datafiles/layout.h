// Field layout of a DAT record, and the optional Fn.DOP file that names the fields.
//
// A DAT record is a row of 4-byte MBF fields; column c is the field at byte (c - 1) * 4.
// Fn.DOP is a text file; only lines starting with a double quote are read, each
//   "NAME",input code,display code
// naming the fields in column order. Without a DOP the columns follow from the record
// length (12, 16, 18, 20, 24, 28, 32) and, for 28 bytes, the period (intraday bars keep
// their time in column 2); 20-byte records are told apart by their first quote.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "datafiles/fileio.h"
#include "datafiles/status.h"

namespace barwise {

enum QuoteField : int {
    kFieldDate = 0,
    kFieldTime,
    kFieldOpen,
    kFieldHigh,
    kFieldLow,
    kFieldClose,
    kFieldVol,
    kFieldOi,
};
inline constexpr int kQuoteFieldCount = 8;
inline constexpr std::array<std::string_view, kQuoteFieldCount> kDopFieldNames = {
    "DATE", "TIME", "OPEN", "HIGH", "LOW", "CLOSE", "VOL", "OI"};

// Largest DAT record the program reads: 19 fields of 4 bytes.
inline constexpr int kMaxFieldsPerRecord = 19;
inline constexpr int kMaxRecordLength = kMaxFieldsPerRecord * 4;
inline constexpr int kMaxDopLine = 299;

struct FieldLayout {
    std::array<std::int16_t, kQuoteFieldCount> column{};  // 1-based; 0 = absent
    std::array<std::int16_t, kQuoteFieldCount> inputFormat{};
    std::array<std::int16_t, kQuoteFieldCount> displayFormat{};

    bool has(int field) const { return column[static_cast<std::size_t>(field)] != 0; }
};

// The layout of a series from its DOP file, or from the record length when there is none
// (the DAT file, dopPath with the extension DAT, decides the 20-byte case).
// kNoLayout when there is no DOP and no default layout for the record length.
[[nodiscard]] DataStatus ReadLayout(const fs::path& dopPath, int recordLength, FieldLayout& layout);
// The layout of a series as the readers take it: a DOP that names no DATE field, or a
// column beyond the record's fieldCount fields, is not trusted and the default layout for
// the record length is used instead (*dopIgnored then true); a DOP is kept when there is no
// default. Without a DOP, an intraday series (period 'I') of 28 bytes has DATE, TIME, OPEN,
// HIGH, LOW, CLOSE, VOL, and every 32-byte series DATE, TIME, OPEN, HIGH, LOW, CLOSE, VOL, OI.
// dopListed false says a listing of the directory holds no DOP: it is not looked for.
[[nodiscard]] DataStatus ReadLayout(const fs::path& dopPath, int recordLength, int fieldCount,
                                    char period, FieldLayout& layout, bool* dopIgnored,
                                    bool dopListed = true);

// The layout with every column that lies beyond a record of fieldCount fields made absent:
// readers and the rewrite never touch bytes outside the record.
FieldLayout ColumnsWithin(const FieldLayout& layout, int fieldCount);

// The name of a format code ("128ths" .. "100,000ths", "100s", "1,000s"); empty for a
// code outside the table.
std::string_view FormatCodeName(int code);

}  // namespace barwise
