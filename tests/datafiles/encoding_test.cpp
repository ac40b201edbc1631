#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "datafiles/encoding.h"

namespace barwise {
namespace {

MbfBytes Bytes(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) { return {b0, b1, b2, b3}; }

struct MbfCase {
    float value;
    MbfBytes mbf;
};

TEST(MbfTest, GoldenValuesConvertBothWays) {
    const MbfCase cases[] = {
        {1.0f, Bytes(0x00, 0x00, 0x00, 0x81)},   {-1.0f, Bytes(0x00, 0x00, 0x80, 0x81)},
        {0.5f, Bytes(0x00, 0x00, 0x00, 0x80)},   {100.0f, Bytes(0x00, 0x00, 0x48, 0x87)},
        {10.0f, Bytes(0x00, 0x00, 0x20, 0x84)},  {-0.75f, Bytes(0x00, 0x00, 0xC0, 0x80)},
        {1100104.0f, Bytes(0x40, 0x4A, 0x06, 0x95)},  // 2010-01-04 as stored in a real MASTER
    };
    for (const MbfCase& c : cases) {
        EXPECT_EQ(FloatToMbf(c.value), c.mbf) << c.value;
        EXPECT_EQ(MbfToFloat(c.mbf.data()), c.value) << c.value;
    }
}

TEST(MbfTest, ZeroAndTinyExponentsReadAsZero) {
    for (std::uint8_t exponent : {0, 1, 2}) {
        const MbfBytes b = Bytes(0xFF, 0xFF, 0xFF, exponent);
        const float v = MbfToFloat(b.data());
        EXPECT_EQ(v, 0.0f) << int(exponent);
        EXPECT_FALSE(std::signbit(v)) << int(exponent);
    }
    EXPECT_EQ(FloatToMbf(-0.0f), Bytes(0, 0, 0, 0));
    EXPECT_EQ(FloatToMbf(std::numeric_limits<float>::denorm_min()), Bytes(0, 0, 0, 0));
}

// What MBF cannot hold is refused and nothing written; what it holds only as 0 (a
// subnormal) is not "held" either.
TEST(MbfTest, ValuesWithoutMbfFormAreRefusedAndNothingWritten) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const struct {
        float value;
        bool form, holds;
    } cases[] = {
        {nan, false, false}, {inf, false, false}, {-inf, false, false}, {std::ldexp(1.0f, 127), false, false},
        {std::numeric_limits<float>::max(), false, false}, {std::ldexp(1.0f, 126), true, true}, {0.0f, true, true},
        {-0.0f, true, true}, {std::numeric_limits<float>::min(), true, true}, {-12.5f, true, true},
        {1.0e-39f, true, false}, {-std::numeric_limits<float>::denorm_min(), true, false},
    };
    for (const auto& c : cases) {
        MbfBytes b = Bytes(1, 2, 3, 4);
        EXPECT_EQ(IeeeToMbf(c.value, b.data()), c.form ? kSuccess : kInvalidParm) << c.value;
        if (!c.form) {
            EXPECT_EQ(b, Bytes(1, 2, 3, 4)) << c.value;
        }
        EXPECT_EQ(HasMbfForm(c.value), c.form) << c.value;
        EXPECT_EQ(MbfHoldsValue(c.value), c.holds) << c.value;
    }
    EXPECT_EQ(MbfToFloat(FloatToMbf(std::ldexp(1.5f, 126)).data()), std::ldexp(1.5f, 126));
}

TEST(DateTest, DayNumbers) {
    const struct {
        int year, month, day;
        DateCode code;
    } days[] = {
        {61, 1, 1, 1},          {99, 12, 31, 14244},   {100, 1, 1, 14245},        {2000, 1, 1, 14245},
        {100, 2, 29, 14304},    {100, 3, 1, 14305},    {1964, 12, 31, 1461},      {1960, 1, 1, -365},
        {1960, 12, 31, 0},  // a day like any other, not "no date"
        {1900, 1, 1, kFirstDay}, {0, 1, 1, kFirstDay}, {2199, 12, 31, kLastDay},  {100, 13, 1, kNoDate},
        {100, 0, 1, kNoDate},   {300, 1, 1, kNoDate},
    };
    for (const auto& c : days) EXPECT_EQ(MakeDate(c.year, c.month, c.day), c.code) << c.year << "-" << c.month << "-" << c.day;
    for (const auto& [code, ymd] : {std::pair{14304, 1000229}, std::pair{65535, 2400604}}) {
        const DateParts p = SplitDate(static_cast<DateCode>(code));
        EXPECT_EQ(p.year * 10000 + p.month * 100 + p.day, ymd) << code;
    }
}

// Every day a date real can hold, 1 January 1900 to 31 December 2199, goes to its parts,
// its date real and its MBF form and back unchanged, in order.
TEST(DateTest, EveryDayCodeSplitsAndJoinsBack) {
    DateParts previous = SplitDate(kFirstDay - 1);
    for (int code = kFirstDay; code <= kLastDay; ++code) {
        const DateParts p = SplitDate(static_cast<DateCode>(code));
        ASSERT_GE(p.month, 1);
        ASSERT_LE(p.month, 12);
        ASSERT_GE(p.day, 1);
        ASSERT_LE(p.day, 31);
        ASSERT_EQ(MakeDate(p.year, p.month, p.day), code) << code;
        ASSERT_EQ(DateFromReal(DateToReal(static_cast<DateCode>(code))), code) << code;
        ASSERT_EQ(DateFromReal(MbfToFloat(DateToMbfReal(static_cast<DateCode>(code)).data())), code);
        ASSERT_LT(previous.year * 10000 + previous.month * 100 + previous.day, p.year * 10000 + p.month * 100 + p.day);
        ASSERT_EQ(ParseDate(FormatDateMdy(code), kDateStyleMmDdYy), code) << FormatDateMdy(code);
        previous = p;
    }
}

TEST(DateTest, DateRealsAcrossTheCentury) {
    EXPECT_EQ(DateFromReal(990301.0f), 13939);
    EXPECT_EQ(DateFromReal(1000301.0f), 14305);
    EXPECT_EQ(DateToReal(14305), 1000301.0f);
    EXPECT_EQ(DateToMbfReal(kNoDate), (MbfBytes{0, 0, 0, 0}));
    // Long histories: 1 October 1928 is itself, not a day of 2108.
    EXPECT_EQ(DateFromReal(281001.0f), MakeDate(1928, 10, 1));
    EXPECT_LT(DateFromReal(281001.0f), DateFromReal(990301.0f));
    EXPECT_EQ(DateFromReal(2991231.0f), kLastDay);
    // Reals that cannot be dates give no date rather than undefined arithmetic.
    EXPECT_EQ(DateFromReal(std::numeric_limits<float>::quiet_NaN()), kNoDate);
    EXPECT_EQ(DateFromReal(std::numeric_limits<float>::infinity()), kNoDate);
    EXPECT_EQ(DateFromReal(3.0e30f), kNoDate);
    EXPECT_EQ(DateFromReal(3000101.0f), kNoDate);
    EXPECT_EQ(DateFromReal(-1.0f), kNoDate);
}

// The run reader keeps a month between calls: it must give what DateFromReal gives for
// every whole date real in file order, and for any word at all in any order (fractions,
// negatives, exponents of no value, reals past the range) after any other.
TEST(DateTest, DateRunReadsWhatDateFromRealReads) {
    MbfDateRun run;
    for (int whole = 0; whole <= 3000100; ++whole) {
        const std::uint32_t w = MbfWord(FloatToMbf(static_cast<float>(whole)).data());
        ASSERT_EQ(run(w), DateFromReal(static_cast<float>(whole))) << whole;
    }
    MbfDateRun jumbled;
    std::uint32_t x = 12345;
    for (int i = 0; i < 2000000; ++i) {
        x = x * 1664525u + 1013904223u;
        // Half the words near the date reals' exponents, so month changes and days of
        // one month follow each other as in a file.
        const std::uint32_t w = (i % 2 == 0) ? x : (x & 0x00FFFFFFu) | ((147u + (x >> 29)) << 24);
        ASSERT_EQ(jumbled(w), DateFromReal(MbfWordToFloat(w))) << std::hex << w;
    }
}

TEST(TimeTest, EverySecondOfTheDaySurvives) {
    // Odd seconds are kept, the last second of the day included, and go back to the same real.
    struct Case {
        float real;
        TimeCode code;
        const char* text;
    } const cases[] = {
        {0.0f, 0, "00:00:00"},       {93000.0f, 9 * 3600 + 30 * 60, "09:30:00"},
        {93001.0f, 9 * 3600 + 30 * 60 + 1, "09:30:01"}, {170517.0f, MakeTime(17, 5, 17), "17:05:17"},
        {113037.0f, MakeTime(11, 30, 37), "11:30:37"},  {235959.0f, 86399, "23:59:59"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TimeFromReal(c.real), c.code) << c.text;
        EXPECT_EQ(TimeToReal(c.code), c.real) << c.text;
        EXPECT_EQ(FormatTime(c.code), c.text);
    }
    EXPECT_NE(MakeTime(17, 5, 17), MakeTime(17, 5, 16));
    const TimeParts t = SplitTime(MakeTime(23, 59, 59));
    EXPECT_EQ(t.hour * 10000 + t.minute * 100 + t.second, 235959);
    // An absent time column reads as -1; that and what no time can be are midnight.
    for (float bad : {-1.0f, -170517.0f, std::numeric_limits<float>::quiet_NaN(), 1.0e9f})
        EXPECT_EQ(TimeFromReal(bad), 0) << bad;
}

struct FormatCase {
    DateStyle style;
    char sep;
    const char* text;
};

TEST(FormatDateTest, EveryStyleForFirstOfMarch2000) {
    const DateCode d = MakeDate(2000, 3, 1);
    const FormatCase cases[] = {
        {1, '/', "00/03/01"}, {2, '/', "2000/03/01"}, {3, '/', "03/01/00"}, {4, '-', "03-01-2000"},
        {5, '.', "01.03.00"}, {6, '.', "01.03.2000"}, {7, '/', "000301"},   {8, '/', "20000301"},
        {9, '/', "030100"},   {10, '/', "03012000"},  {11, '/', "010300"},  {12, '/', "01032000"},
        {0, '/', ""},         {13, '/', ""},
    };
    for (const FormatCase& c : cases) EXPECT_EQ(FormatDate(d, c.style, c.sep), c.text) << c.style;
    EXPECT_EQ(FormatDate(MakeDate(1999, 12, 31), 4, '/'), "12/31/1999");
    EXPECT_EQ(FormatDate(kNoDate, 2, '/'), "0000/00/00");
    // Two digits name a year from 1960 to 2059; any other year is written out.
    EXPECT_EQ(FormatDateMdy(MakeDate(2010, 1, 4)), "01/04/10");
    EXPECT_EQ(FormatDateMdy(MakeDate(1960, 1, 4)), "01/04/60");
    EXPECT_EQ(FormatDateMdy(MakeDate(2059, 12, 31)), "12/31/59");
    EXPECT_EQ(FormatDateMdy(MakeDate(1959, 12, 31)), "12/31/1959");
    EXPECT_EQ(FormatDateMdy(MakeDate(1928, 10, 1)), "10/01/1928");
    EXPECT_EQ(FormatDateMdy(MakeDate(2060, 1, 1)), "01/01/2060");
    EXPECT_EQ(FormatDateMdy(kNoDate), "00/00/00");
}

struct ParseCase {
    const char* text;
    DateStyle style;
    DateCode expected;
};

TEST(ParseDateTest, TextsAndStyles) {
    const ParseCase cases[] = {
        {"  \"03/01/99", 3, MakeDate(99, 3, 1)},
        {"03/01/05", 3, MakeDate(2005, 3, 1)},
        {"03/01/61", 3, MakeDate(1961, 3, 1)},
        {"12-31-59", 3, MakeDate(2059, 12, 31)},
        {"00/00/00", 1, kNoDate},
        {"", 3, kNoDate},
        {"   ", 3, kNoDate},
        {"03/01/99", 0, kNoDate},
        {"03/01/99", 13, kNoDate},
        {"03/01/1945", 4, MakeDate(1945, 3, 1)},
        {"03/01/99,12.5", 3, MakeDate(1999, 3, 1)},  // the next field of a line after a two-digit year
        {"10/01/1928", 3, MakeDate(1928, 10, 1)},
        {"01/01/2060", 3, MakeDate(2060, 1, 1)},
        {"03/01/2001", 4, MakeDate(2001, 3, 1)},
        {"20100104", 8, MakeDate(2010, 1, 4)},
        {"13/01/99", 3, kNoDate},   // month out of range
        {"00/10/99", 3, kNoDate},
        {"02/32/99", 3, kNoDate},   // day out of range
        {"02/00/99", 3, kNoDate},
        {"3/", 3, kNoDate},         // too short to hold a date
        {"04/31/20", 3, kNoDate},   // days the month does not have, in every style
        {"02/30/2020", 3, kNoDate},
        {"02/29/11", 3, kNoDate},
        {"02/29/12", 3, MakeDate(2012, 2, 29)},
        {"20110229", 8, kNoDate},
        {"31/04/20", 5, kNoDate},
    };
    for (const ParseCase& c : cases) EXPECT_EQ(ParseDate(c.text, c.style), c.expected) << c.text << " style " << c.style;
}

// Whole date texts as they are typed: the three forms, nothing around them, and only days
// that exist (no rolling over into the next month).
TEST(ParseDateTextTest, WholeTextsOfDaysThatExist) {
    const std::pair<const char*, DateCode> days[] = {
        {"03/15/99", MakeDate(1999, 3, 15)}, {"03/15/05", MakeDate(2005, 3, 15)}, {"03-15-05", MakeDate(2005, 3, 15)},
        {"12/31/1959", MakeDate(1959, 12, 31)}, {"2008-05-07", MakeDate(2008, 5, 7)}, {"2199-12-31", kLastDay},
        {"1900-01-01", kFirstDay}, {"02/29/2012", MakeDate(2012, 2, 29)},
    };
    for (const auto& [text, day] : days) EXPECT_EQ(ParseDateText(text), day) << text;
    for (const char* text : {"04/31/2020", "02/30/2020", "02/29/2011", "2020-04-31", "2011-02-29", "04/31/20",
                             "13/01/20", "00/10/20", "01/00/20", "1899-12-31", "2200-01-01", "01/01/1899",
                             " 03/15/99", "03/15/99 ", "03/15/9x", "03/15-99", "+3/15/99", "2008-5-07", "3/15/99", ""})
        EXPECT_EQ(ParseDateText(text), kNoDate) << text;
    // Every day of the range reads back from the texts that name it.
    for (DateCode d = kFirstDay; d <= kLastDay; d += 37) {
        ASSERT_EQ(ParseDateText(FormatDateMdy(d, true)), d);
        if (HasTwoDigitYear(d)) {
            ASSERT_EQ(ParseDateText(FormatDateMdy(d, false)), d);
        }
    }
}

}  // namespace
}  // namespace barwise
