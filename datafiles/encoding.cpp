#include "datafiles/encoding.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace barwise {

namespace {

// Days before each month in a common year; from March on one more in a leap year.
constexpr int kMonthStart[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

int MonthStart(int monthIndex, bool leap) {
    return kMonthStart[monthIndex] + ((leap && monthIndex >= 2) ? 1 : 0);
}

// Float-to-int conversion that is defined for every input: values outside +-1e9 and
// non-finite values give 0 (they cannot be a date or a time).
// Division rounding towards minus infinity, for day numbers before 1961.
constexpr int FloorDiv(int a, int b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

int TruncToInt(float v) {
    if (!std::isfinite(v) || std::fabs(v) >= 1.0e9f) return 0;
    return static_cast<int>(v);
}

}  // namespace

void MbfToIeee(const std::uint8_t* src, std::uint8_t* dst) {
    std::uint8_t b[4];
    std::memcpy(b, src, 4);
    // Exponent bytes 1 and 2 would need an IEEE exponent below 0: they read as zero.
    if (b[3] <= 2) {
        std::memset(dst, 0, 4);
        return;
    }
    const unsigned e = static_cast<unsigned>(b[3] - 2) & 0xFFu;
    const unsigned s = b[2] & 0x80u;
    const auto byte2 = static_cast<std::uint8_t>((b[2] & 0x7Fu) | ((e & 1u) << 7));
    const auto byte3 = static_cast<std::uint8_t>((e >> 1) | s);
    dst[0] = b[0];
    dst[1] = b[1];
    dst[2] = byte2;
    dst[3] = byte3;
}

bool HasMbfForm(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    const unsigned exponent = (bits >> 23) & 0xFFu;
    return exponent < 254;
}

bool MbfHoldsValue(float value) {
    return HasMbfForm(value) && (value == 0.0f || std::fpclassify(value) != FP_SUBNORMAL);
}

DataStatus IeeeToMbf(float value, std::uint8_t* dst) {
    std::uint8_t b[4];
    std::memcpy(b, &value, 4);
    const unsigned exponent = static_cast<unsigned>(((b[3] << 1) & 0xFF) | (b[2] >> 7));
    if (exponent >= 254) return kInvalidParm;  // NaN, infinities, beyond the MBF range
    if (value == 0.0f || exponent == 0) {      // zero, and subnormals too small for MBF
        std::memset(dst, 0, 4);
        return kSuccess;
    }
    const unsigned s = b[3] & 0x80u;
    dst[0] = b[0];
    dst[1] = b[1];
    dst[2] = static_cast<std::uint8_t>((b[2] & 0x7Fu) + s);
    dst[3] = static_cast<std::uint8_t>((exponent + 2) & 0xFFu);
    return kSuccess;
}

MbfBytes FloatToMbf(float value) {
    MbfBytes out{};
    if (IeeeToMbf(value, out.data()) != kSuccess) out = {};
    return out;
}

DateCode MakeDate(int year, int month, int day) {
    if (month < 1 || month > 12) return kNoDate;
    if (year >= 1900) year -= 1900;
    if (year < 0 || year > 299) return kNoDate;
    const int leapDay = (month > 2 && year % 4 == 0) ? 1 : 0;
    const int days = kMonthStart[month - 1] + FloorDiv((year - 61) * 1461, 4) + day + leapDay;
    return days;
}

DateParts SplitDate(DateCode code) {
    DateParts p;
    if (code == kNoDate) return p;
    const int c = FloorDiv(code * 4 - 1, 1461);
    const int r = code - FloorDiv(c * 1461, 4);
    const int year = c + 61;
    const bool leap = year % 4 == 0;
    int i = 11;
    while (i > 0 && MonthStart(i, leap) >= r) --i;
    p.year = static_cast<std::int16_t>(year);
    p.month = static_cast<std::int16_t>(i + 1);
    p.day = static_cast<std::int16_t>(r - MonthStart(i, leap));
    return p;
}

TimeCode MakeTime(int hour, int minute, int second) {
    return hour * 3600 + minute * 60 + second;
}

TimeParts SplitTime(TimeCode code) {
    TimeParts p;
    p.hour = static_cast<std::int16_t>(code / 3600);
    p.minute = static_cast<std::int16_t>(code % 3600 / 60);
    p.second = static_cast<std::int16_t>(code % 60);
    return p;
}

float TimeToReal(TimeCode code) {
    const TimeParts t = SplitTime(code);
    return static_cast<float>(t.hour * 10000 + t.minute * 100 + t.second);
}

std::string FormatTime(TimeCode code) {
    const TimeParts t = SplitTime(code);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return text;
}

DateCode DateFromReal(float v) {
    if (!std::isfinite(v) || v < 0.0f || v >= 3.0e6f) return kNoDate;
    // The usual case, a whole number: the same parts in integer arithmetic (checked for
    // every whole number of the range).
    const int whole = static_cast<int>(v);
    if (static_cast<float>(whole) == v)
        return MakeDate(whole / 10000, whole / 100 % 100, whole % 100);
    const int yy = TruncToInt(v / 10000.0f);
    const int mm = TruncToInt((v - static_cast<float>(yy) * 10000.0f) / 100.0f);
    const int dd =
        TruncToInt(v - static_cast<float>(yy) * 10000.0f - static_cast<float>(mm) * 100.0f);
    return MakeDate(yy, mm, dd);
}

TimeCode TimeFromReal(float v) {
    // A time column that is absent reads as -1; like any other time before midnight or past
    // the largest hour a real holds exactly, it is midnight.
    if (!std::isfinite(v) || v < 0.0f || v >= 1.0e8f) return 0;
    const int hh = TruncToInt(v / 10000.0f);
    const int mm = TruncToInt((v - static_cast<float>(hh) * 10000.0f) / 100.0f);
    const int ss =
        TruncToInt(v - static_cast<float>(hh) * 10000.0f - static_cast<float>(mm) * 100.0f);
    return MakeTime(hh, mm, ss);
}

float DateToReal(DateCode code) {
    const DateParts p = SplitDate(code);
    return static_cast<float>(p.month * 100 + p.year * 10000 + p.day);
}

MbfBytes DateToMbfReal(DateCode code) {
    return FloatToMbf(DateToReal(code));
}

std::string FormatDate(DateCode code, DateStyle style, char sep) {
    int year = 0, month = 0, day = 0, cc = 0;
    if (code != kNoDate) {
        const DateParts p = SplitDate(code);
        year = p.year;
        month = p.month;
        day = p.day;
        cc = year / 100 + 19;
    }
    const int yy = year % 100;
    char buf[32];
    int n = 0;
    switch (style) {
        case 1:
            n = std::snprintf(buf, sizeof buf, "%.2i%c%.2i%c%.2i", yy, sep, month, sep, day);
            break;
        case 2:
            n = std::snprintf(buf, sizeof buf, "%.2i%.2i%c%.2i%c%.2i", cc, yy, sep, month, sep,
                              day);
            break;
        case 3:
            n = std::snprintf(buf, sizeof buf, "%.2i%c%.2i%c%.2i", month, sep, day, sep, yy);
            break;
        case 4:
            n = std::snprintf(buf, sizeof buf, "%.2i%c%.2i%c%.2i%.2i", month, sep, day, sep, cc,
                              yy);
            break;
        case 5:
            n = std::snprintf(buf, sizeof buf, "%.2i%c%.2i%c%.2i", day, sep, month, sep, yy);
            break;
        case 6:
            n = std::snprintf(buf, sizeof buf, "%.2i%c%.2i%c%.2i%.2i", day, sep, month, sep, cc,
                              yy);
            break;
        case 7:
            n = std::snprintf(buf, sizeof buf, "%.2i%.2i%.2i", yy, month, day);
            break;
        case 8:
            n = std::snprintf(buf, sizeof buf, "%.2i%.2i%.2i%.2i", cc, yy, month, day);
            break;
        case 9:
            n = std::snprintf(buf, sizeof buf, "%.2i%.2i%.2i", month, day, yy);
            break;
        case 10:
            n = std::snprintf(buf, sizeof buf, "%.2i%.2i%.2i%.2i", month, day, cc, yy);
            break;
        case 11:
            n = std::snprintf(buf, sizeof buf, "%.2i%.2i%.2i", day, month, yy);
            break;
        case 12:
            n = std::snprintf(buf, sizeof buf, "%.2i%.2i%.2i%.2i", day, month, cc, yy);
            break;
        default:
            return {};
    }
    if (n < 0) return {};
    return std::string(buf, static_cast<std::size_t>(n));
}

namespace {

struct StylePositions {
    int century, year, month, day;
};
constexpr StylePositions kStylePositions[12] = {
    {-1, 0, 3, 6}, {0, 2, 5, 8}, {-1, 6, 0, 3}, {6, 8, 0, 3}, {-1, 6, 3, 0}, {6, 8, 3, 0},
    {-1, 0, 2, 4}, {0, 2, 4, 6}, {-1, 4, 0, 2}, {4, 6, 0, 2}, {-1, 4, 2, 0}, {4, 6, 2, 0},
};

// Decimal conversion of the two characters at pos: leading blanks, an optional sign,
// then digits; no digits give 0. Characters past the end of the text count as its end.
int TwoDigitsAt(std::string_view text, int pos) {
    if (pos < 0 || static_cast<std::size_t>(pos) >= text.size()) return 0;
    const std::string_view part = text.substr(static_cast<std::size_t>(pos), 2);
    std::size_t i = 0;
    while (i < part.size() && (part[i] == ' ' || part[i] == '\t')) ++i;
    bool negative = false;
    if (i < part.size() && (part[i] == '+' || part[i] == '-')) {
        negative = part[i] == '-';
        ++i;
    }
    int value = 0;
    while (i < part.size() && part[i] >= '0' && part[i] <= '9')
        value = value * 10 + (part[i++] - '0');
    return negative ? -value : value;
}

}  // namespace

DateCode ParseDate(std::string_view text, DateStyle style) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    if (i < text.size() && text[i] == '"') ++i;
    text = text.substr(i);
    if (text.empty() || style < 1 || style > 12) return kNoDate;
    // MM/DD/YYYY: the same date with its century written out.
    if (style == kDateStyleMmDdYy && text.size() >= 10 && text[2] == text[5] && text[6] >= '0' &&
        text[6] <= '9' && text[7] >= '0' && text[7] <= '9' && text[8] >= '0' && text[8] <= '9')
        style = 4;
    const StylePositions& pos = kStylePositions[style - 1];
    int century = 0;
    if (pos.century != -1) century = TwoDigitsAt(text, pos.century) * 100 - 1900;
    const int year = TwoDigitsAt(text, pos.year);
    const int month = TwoDigitsAt(text, pos.month);
    const int day = TwoDigitsAt(text, pos.day);
    if (year == 0 && month == 0 && day == 0) return kNoDate;
    // A month or day out of range is no date (the month would index past the month table).
    if (month < 1 || month > 12 || day < 1 || day > 31 || year < 0) return kNoDate;
    if (pos.century == -1 && year < 60) century = 100;
    return ExistingDate(year + century, month, day);
}

DateCode ExistingDate(int year, int month, int day) {
    const DateCode code = MakeDate(year, month, day);
    if (code == kNoDate) return kNoDate;
    // Every month has its days 1 to 28; only a later day needs the check below.
    if (day >= 1 && day <= 28) return code;
    // A day past the month's end would roll over into the next month: no such date.
    const DateParts back = SplitDate(code);
    if (back.year + 1900 != (year >= 1900 ? year : year + 1900) || back.month != month ||
        back.day != day)
        return kNoDate;
    return code;
}

int DigitsAt(std::string_view text, std::size_t pos, std::size_t count) {
    int value = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

DateCode ParseDateText(std::string_view text) {
    if (text.size() == 10 && text[4] == '-' && text[7] == '-') {
        const int y = DigitsAt(text, 0, 4), m = DigitsAt(text, 5, 2), d = DigitsAt(text, 8, 2);
        if (y < 1900 || m < 0 || d < 0) return kNoDate;
        return ExistingDate(y, m, d);
    }
    if (text.size() != 8 && text.size() != 10) return kNoDate;
    const char sep = text[2];
    if ((sep != '/' && sep != '-') || text[5] != sep) return kNoDate;
    const int m = DigitsAt(text, 0, 2), d = DigitsAt(text, 3, 2),
              y = DigitsAt(text, 6, text.size() - 6);
    if (m < 0 || d < 0 || y < 0) return kNoDate;
    if (text.size() == 10) return y < 1900 ? kNoDate : ExistingDate(y, m, d);
    return ExistingDate(y < kFirstTwoDigitYear - 1900 ? 2000 + y : 1900 + y, m, d);
}

bool HasTwoDigitYear(DateCode code) {
    const int year = 1900 + SplitDate(code).year;
    return code == kNoDate || (year >= kFirstTwoDigitYear && year <= kLastTwoDigitYear);
}

std::string FormatDateMdy(DateCode code) {
    return FormatDateMdy(code, !HasTwoDigitYear(code));
}

std::string FormatDateMdy(DateCode code, bool fourDigitYear) {
    return FormatDate(code, fourDigitYear ? 4 : kDateStyleMmDdYy, '/');
}

}  // namespace barwise
