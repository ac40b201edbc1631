// Numbers, dates and times as they appear in MASTER and DAT files.
//
// MBF real, 4 bytes little-endian (Microsoft Binary Format):
//   byte 3      exponent (IEEE biased exponent + 2); 0 means the value 0
//   byte 2 b7   sign
//   23 bits     mantissa (byte 2 bits 0-6, bytes 1, 0), laid out as in an IEEE single
// Date real: (year - 1900) * 10000 + month * 100 + day   (1 March 2000 = 1000301)
// Time real: hour * 10000 + minute * 100 + second        (09:30:00 = 93000)
// DateCode:  signed day number, 1 = 1 January 1961 (0 = 31 December 1960, negative before);
//            every year divisible by 4 is a leap year (as the files' writers assume);
//            65535 = 4 June 2140. Dates are read from 1 January 1900 (first group 0) to
//            31 December 2199 (first group 299); kNoDate, far below them, stands for none.
// TimeCode:  seconds since midnight, hour * 3600 + minute * 60 + second, so every second a
//            time real names is kept; a negative or unreadable time real is midnight.
#pragma once

#include <array>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "datafiles/status.h"

namespace barwise {

using DateCode = std::int32_t;
using TimeCode = std::int32_t;

// No date: a date real that cannot be a day of the range, a missing date column, a text
// that is no date. It sorts before every day.
inline constexpr DateCode kNoDate = INT32_MIN;
// The first and last day a date real can hold: 1 January 1900 and 31 December 2199. An
// edit "from the first quote" starts at kFirstDay, "to the last" ends at kLastDay.
inline constexpr DateCode kFirstDay = -22280;
inline constexpr DateCode kLastDay = 87294;
using MbfBytes = std::array<std::uint8_t, 4>;

inline constexpr std::size_t kMbfSize = 4;

// Converts 4 MBF bytes to the 4 bytes of an IEEE single; src and dst may be the same place.
// Exponent bytes 0, 1 and 2 give +0.0 (1 and 2 have no IEEE form). Every MBF value has an
// IEEE form, so nothing can fail.
void MbfToIeee(const std::uint8_t* src, std::uint8_t* dst);

// Converts an IEEE single to its 4 MBF bytes; dst may hold the source's bytes.
// Zero (either sign) and subnormals give four zero bytes. A value without an MBF form
// (NaN, infinities, IEEE biased exponents 254 and 255) gives kInvalidParm and leaves dst
// untouched.
DataStatus IeeeToMbf(float value, std::uint8_t* dst);

// True when IeeeToMbf can store the value.
bool HasMbfForm(float value);
// True when IeeeToMbf stores the value as it is: it has an MBF form and is not a value other
// than 0 that becomes 0 (a subnormal, below the MBF range).
bool MbfHoldsValue(float value);

// Convenience forms of the two conversions. MbfToFloat is what every reader runs for every
// field, so it is here to be inlined; it gives exactly what MbfToIeee gives.
//
// The 4 bytes of a field as one little-endian word (a single load on this machine).
inline std::uint32_t MbfWord(const std::uint8_t* src) {
    std::uint32_t w;
    std::memcpy(&w, src, sizeof w);
    if constexpr (std::endian::native == std::endian::big)
        w = (w >> 24) | ((w >> 8) & 0xFF00u) | ((w << 8) & 0xFF0000u) | (w << 24);
    return w;
}
inline float MbfWordToFloat(std::uint32_t w) {
    const std::uint32_t exponent = w >> 24;
    const std::uint32_t ieee =
        exponent <= 2 ? 0u : (((w >> 23) & 1u) << 31) | ((exponent - 2) << 23) | (w & 0x7FFFFFu);
    float f;
    std::memcpy(&f, &ieee, sizeof f);
    return f;
}
inline float MbfToFloat(const std::uint8_t* src) {
    return MbfWordToFloat(MbfWord(src));
}
MbfBytes FloatToMbf(float value);  // value must have an MBF form (zero bytes otherwise)

DateCode DateFromReal(float dateReal);
TimeCode TimeFromReal(float timeReal);
// The time real of a time of day (hour * 10000 + minute * 100 + second), as files store it.
float TimeToReal(TimeCode code);

// The date real of a day, already in MBF form, ready to be written to a file.
MbfBytes DateToMbfReal(DateCode code);
// The date real of a day as an IEEE float.
float DateToReal(DateCode code);

struct DateParts {
    std::int16_t year = 0;  // years since 1900
    std::int16_t month = 0;
    std::int16_t day = 0;
};
struct TimeParts {
    std::int16_t hour = 0;
    std::int16_t minute = 0;
    std::int16_t second = 0;
};

DateParts SplitDate(DateCode code);
// year from 1900 on is a full year, otherwise years since 1900. kNoDate for a month outside
// 1..12 or a year outside 1900..2199.
DateCode MakeDate(int year, int month, int day);
TimeParts SplitTime(TimeCode code);
TimeCode MakeTime(int hour, int minute, int second);

// DateFromReal(MbfWordToFloat(w)) for the date fields of a series read in turn, most of
// which lie in the month of the one before. A whole number is taken from the MBF bits
// themselves (no float conversions) and the day number of its month's day 0 is kept, so a
// day of the same month costs a subtraction and an addition; anything else goes to
// DateFromReal.
class MbfDateRun {
public:
    DateCode operator()(std::uint32_t w) {
        // The value is (0x800000 | mantissa) * 2^-shift: a whole number below 2^24 when
        // the shift is 0..23 and no bit below it is set; negative with the sign bit.
        const std::uint32_t shift = 152u - (w >> 24);
        const std::uint32_t m = (w & 0x7FFFFFu) | 0x800000u;
        if (shift < 24u && (w & 0x800000u) == 0 && (m & ((1u << shift) - 1u)) == 0) {
            const int whole = static_cast<int>(m >> shift);
            if (whole < 3000000) {
                const unsigned day = static_cast<unsigned>(whole - monthReal_);
                if (day < 100u)
                    return dayZero_ == kNoDate ? kNoDate : dayZero_ + static_cast<int>(day);
                const int month = whole / 100;
                monthReal_ = month * 100;
                dayZero_ = MakeDate(month / 100, month % 100, 0);
                return dayZero_ == kNoDate ? kNoDate : dayZero_ + whole % 100;
            }
        }
        return DateFromReal(MbfWordToFloat(w));
    }

private:
    int monthReal_ = -1000;  // yymm00 of the month of dayZero_
    DateCode dayZero_ = kNoDate;
};
// HH:MM:SS.
std::string FormatTime(TimeCode code);

// Date text styles 1..12; every caller uses kDateStyleMmDdYy with '/'.
using DateStyle = int;
inline constexpr DateStyle kDateStyleMmDdYy = 3;

// The text of a date in a style; an unknown style gives an empty text. kNoDate shows as
// zeros ("00/00/00").
std::string FormatDate(DateCode code, DateStyle style, char separator);
// The date of a text in a style; kNoDate when the text cannot be a date (empty, unknown
// style, all parts zero, month outside 1..12, a day the month does not have). Style 3 also
// reads the ten-character MM/DD/YYYY form.
DateCode ParseDate(std::string_view text, DateStyle style);
// The day of a full year (or years since 1900), month and day; kNoDate when that day does
// not exist (04/31, 02/30, 02/29 of a year not divisible by 4) or lies outside 1900-2199.
DateCode ExistingDate(int year, int month, int day);
// The number of exactly `count` digits at pos; -1 when any of them is not a digit.
int DigitsAt(std::string_view text, std::size_t pos, std::size_t count);
// A whole date text as it is typed: MM/DD/YY, MM/DD/YYYY (either with '/' or '-') or
// YYYY-MM-DD, digits where the form has them, nothing before or after; kNoDate for any
// other text and for a day that does not exist.
DateCode ParseDateText(std::string_view text);

// Two-digit years stand for 1960 to 2059.
inline constexpr int kFirstTwoDigitYear = 1960;
inline constexpr int kLastTwoDigitYear = 2059;
// The date as the program shows and takes it: MM/DD/YY from 1960 to 2059, MM/DD/YYYY for
// any other day, so no text names a day in the wrong century.
std::string FormatDateMdy(DateCode code);
// The date in MM/DD/YYYY (fourDigitYear) or MM/DD/YY, as a field of that width shows it.
std::string FormatDateMdy(DateCode code, bool fourDigitYear);
// True for a day from 1960 to 2059 (and kNoDate): MM/DD/YY names it.
bool HasTwoDigitYear(DateCode code);

}  // namespace barwise
