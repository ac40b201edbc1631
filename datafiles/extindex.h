// EMASTER and XMASTER: the two index files that databases written by today's common quote
// software keep beside MASTER. Integers are little-endian; names are found in any letter case.
//
// EMASTER: 192-byte records, record 0 the header, one record per MASTER record paired by
// position (record k describes MASTER record k). File size (count + 1) * 192.
//   header:   0  2  record count (equal to MASTER's)
//             2  2  highest file number (equal to MASTER bytes 2-3)
//            49  4  serial (equal to MASTER bytes 49-52); the rest zero or a vendor text
//   record:   0  2  not interpreted
//             2  1  file number
//             6  1  field count
//             7  1  field bit set (kFieldBit...)
//            11 14  symbol, NUL padded
//            32 16  first 16 characters of the name, NUL padded, no terminator
//            60  1  period letter
//            64  4  first date, IEEE float date real ((year - 1900) * 10000 + month * 100 + day)
//            72  4  last date, IEEE float date real
//           126  4  first date as int32 YYYYMMDD (or 19000101)
//           139 53  the whole name, NUL terminated, when it is longer than 16 characters
//
// XMASTER: 150-byte records, record 0 the header, listing securities numbered 256 and up
// whose quote files are F<n>.MWD (laid out as DAT files). File size (count + 1) * 150.
//   header:   0  4  magic 5D FE 58 4D
//             6  4  serial
//            10  4  record count, int32
//            14  4  the record count again
//            18  4  next free file number (numbers are never given twice; gaps are normal)
//   record:   0  1  0x01
//             1 14  symbol, NUL padded (bytes after a NUL may be anything)
//            16 46  name, NUL terminated (bytes after the NUL may be anything)
//            62  1  period letter
//            65  2  file number n (F<n>.MWD)
//            70  1  field bit set
//           104  4  int32 YYYYMMDD, first date or 19000101
//           108  4  int32 YYYYMMDD first date
//           116  4  int32 YYYYMMDD last date
//
// Every byte not listed here is preserved by every rewrite. Neither file is trusted: a size
// that disagrees with the count, a wrong magic, counts that disagree, or an EMASTER whose
// count or file numbers disagree with MASTER makes the file unusable; MASTER alone is then
// used and the file is never rewritten.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "datafiles/fileio.h"
#include "datafiles/status.h"

namespace barwise {

inline constexpr std::string_view kEmasterFileName = "EMASTER";
inline constexpr std::string_view kXmasterFileName = "XMASTER";
// Extension of the quote files of XMASTER securities.
inline constexpr std::string_view kXmasterDataExtension = "MWD";

inline constexpr std::size_t kEmasterRecordSize = 192;
inline constexpr std::size_t kEmasterCountOffset = 0;
inline constexpr std::size_t kEmasterCounterOffset = 2;
inline constexpr std::size_t kEmasterFileNumberOffset = 2;
inline constexpr std::size_t kEmasterFieldCountOffset = 6;
inline constexpr std::size_t kEmasterFieldBitsOffset = 7;
inline constexpr std::size_t kEmasterSymbolOffset = 11;
inline constexpr std::size_t kEmasterSymbolSize = 14;
inline constexpr std::size_t kEmasterNameOffset = 32;
inline constexpr std::size_t kEmasterNameSize = 16;
inline constexpr std::size_t kEmasterPeriodOffset = 60;
inline constexpr std::size_t kEmasterFirstDateOffset = 64;
inline constexpr std::size_t kEmasterLastDateOffset = 72;
inline constexpr std::size_t kEmasterFirstDateIntOffset = 126;
inline constexpr std::size_t kEmasterLongNameOffset = 139;
inline constexpr std::size_t kEmasterLongNameSize = 53;

inline constexpr std::size_t kXmasterRecordSize = 150;
inline constexpr std::size_t kXmasterCountOffset = 10;
inline constexpr std::size_t kXmasterCountCopyOffset = 14;
inline constexpr std::size_t kXmasterNextNumberOffset = 18;
inline constexpr std::size_t kXmasterSymbolOffset = 1;
inline constexpr std::size_t kXmasterSymbolSize = 14;
inline constexpr std::size_t kXmasterNameOffset = 16;
inline constexpr std::size_t kXmasterNameSize = 46;
inline constexpr std::size_t kXmasterPeriodOffset = 62;
inline constexpr std::size_t kXmasterFileNumberOffset = 65;
inline constexpr std::size_t kXmasterFieldBitsOffset = 70;
inline constexpr std::size_t kXmasterStartDateOffset = 104;
inline constexpr std::size_t kXmasterFirstDateOffset = 108;
inline constexpr std::size_t kXmasterLastDateOffset = 116;
inline constexpr std::uint8_t kXmasterMagic[4] = {0x5D, 0xFE, 0x58, 0x4D};

// Longest name EMASTER and XMASTER hold (MASTER holds 16 characters of it).
inline constexpr std::size_t kLongNameSize = 45;
// Date written where a file has no first date yet.
inline constexpr std::int32_t kNoIndexDate = 19000101;

// Field bits of EMASTER byte 7 and XMASTER byte 70.
inline constexpr std::uint8_t kFieldBitDate = 1;
inline constexpr std::uint8_t kFieldBitHigh = 2;
inline constexpr std::uint8_t kFieldBitLow = 4;
inline constexpr std::uint8_t kFieldBitClose = 8;
inline constexpr std::uint8_t kFieldBitVol = 16;
inline constexpr std::uint8_t kFieldBitOpen = 32;
inline constexpr std::uint8_t kFieldBitOi = 64;
inline constexpr std::uint8_t kFieldBitTime = 128;
int FieldBitCount(std::uint8_t bits);

// What a reader made of an EMASTER or XMASTER.
enum class ExtIndexState : std::uint8_t {
    kAbsent,    // no such file
    kSound,     // read and agreeing: used, and kept up to date by every rewrite
    kUnusable,  // present but broken or disagreeing with MASTER: set aside, never rewritten
};

// One index file read whole. `problem` says why an unusable file is set aside.
struct ExtIndexFile {
    ExtIndexState state = ExtIndexState::kAbsent;
    fs::path path;                    // as named on disk (empty when absent)
    std::vector<std::uint8_t> bytes;  // the whole file (empty when absent or unreadable)
    int count = 0;                    // records after the header (sound files)
    std::string problem;
    bool sound() const { return state == ExtIndexState::kSound; }
    // Record k (1-based) of a sound file.
    const std::uint8_t* record(int k, std::size_t recordSize) const {
        return bytes.data() + static_cast<std::size_t>(k) * recordSize;
    }
};

// Reads the EMASTER of a directory and checks it against that directory's MASTER content
// (header and records as read): sound only when its size fits its count, the count equals
// MASTER's and every record's file number equals that of the MASTER record at its position.
ExtIndexFile ReadEmasterFile(std::string_view directory, const std::vector<std::uint8_t>& master);
// The same check of EMASTER bytes already read; `problem` empty when they agree.
std::string EmasterDisagreement(const std::vector<std::uint8_t>& emaster,
                                const std::vector<std::uint8_t>& master);

// Reads the XMASTER of a directory: sound when the magic is there, both counts agree,
// the size fits the count and no record's file number is above the next free number.
ExtIndexFile ReadXmasterFile(std::string_view directory);
std::string XmasterProblem(const std::vector<std::uint8_t>& xmaster);

// The fields of an XMASTER record, texts read to their first NUL.
struct XmasterFields {
    std::string symbol;
    std::string name;
    char period = 'D';
    int fileNumber = 0;
    std::uint8_t fieldBits = 0;
    std::int32_t firstDate = 0;  // YYYYMMDD
    std::int32_t lastDate = 0;
};
XmasterFields DecodeXmasterRecord(const std::uint8_t* record);
int XmasterNextNumber(const std::uint8_t* header);

// The whole name an EMASTER record holds: the long name when there is one, else the short.
std::string EmasterName(const std::uint8_t* record);

// YYYYMMDD integer and IEEE date real of the MBF date real MASTER stores; 0 when the bytes
// hold no date.
std::int32_t YmdFromDateReal(float dateReal);
float DateRealFromYmd(std::int32_t ymd);

// An IEEE float stored little-endian (EMASTER's dates).
void PutIeeeFloat(std::uint8_t* dst, float value);

// A text written into a NUL-padded field: at most `width` bytes, zero filled.
void PutZeroPadded(std::uint8_t* dst, std::size_t width, std::string_view text);
// A text written into a blank-padded field (MASTER's symbol and name): at most `width` bytes.
void PutBlankPadded(std::uint8_t* dst, std::size_t width, std::string_view text);
// A NUL-terminated or padded field read to its first NUL, at most `width` bytes.
std::string ZeroPaddedText(const std::uint8_t* p, std::size_t width);

}  // namespace barwise
