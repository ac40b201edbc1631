#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>
#include <utility>

#include "datafiles/encoding.h"
#include "testsupport/testdb.h"

namespace barwise {
namespace {

using testing::Ymd;

// A day of YYYYMMDD.
DateCode Day(int ymd) {
    return MakeDate(ymd / 10000, ymd / 100 % 100, ymd % 100);
}

// The last value is 2010-01-04 as a real MASTER stores it.
TEST(MbfTest, GoldenValuesConvertBothWays) {
    const std::pair<float, MbfBytes> cases[] = {
        {1.0f, {0x00, 0x00, 0x00, 0x81}},  {-1.0f, {0x00, 0x00, 0x80, 0x81}},
        {0.5f, {0x00, 0x00, 0x00, 0x80}},  {100.0f, {0x00, 0x00, 0x48, 0x87}},
        {10.0f, {0x00, 0x00, 0x20, 0x84}}, {-0.75f, {0x00, 0x00, 0xC0, 0x80}},
        {-0.0f, {0x00, 0x00, 0x00, 0x00}}, {1100104.0f, {0x40, 0x4A, 0x06, 0x95}},
    };
    for (const auto& [value, mbf] : cases) {
        EXPECT_EQ(FloatToMbf(value), mbf) << value;
        EXPECT_EQ(MbfToFloat(mbf.data()), value) << value;
    }
    for (std::uint8_t exponent : {0, 1, 2}) {
        const float v = MbfToFloat(MbfBytes{0xFF, 0xFF, 0xFF, exponent}.data());
        EXPECT_EQ(v, 0.0f) << int(exponent);
        EXPECT_FALSE(std::signbit(v)) << int(exponent);
    }
}

// What MBF cannot hold is refused and nothing written; what it holds only as 0 (a
// subnormal) is not "held" either.
TEST(MbfTest, ValuesWithoutMbfFormAreRefusedAndNothingWritten) {
    using limits = std::numeric_limits<float>;
    const float nan = limits::quiet_NaN(), inf = limits::infinity(), max = limits::max();
    const float min = limits::min(), tiny = -limits::denorm_min();
    const float big = std::ldexp(1.0f, 127), top = std::ldexp(1.0f, 126);
    const std::tuple<float, bool, bool> cases[] = {
        // the value, has a form, holds it
        {nan, false, false}, {inf, false, false},  {-inf, false, false},    {big, false, false},
        {max, false, false}, {top, true, true},    {0.0f, true, true},      {-0.0f, true, true},
        {min, true, true},   {-12.5f, true, true}, {1.0e-39f, true, false}, {tiny, true, false},
    };
    for (const auto& [value, form, holds] : cases) {
        MbfBytes b = {1, 2, 3, 4};
        EXPECT_EQ(IeeeToMbf(value, b.data()), form ? kSuccess : kInvalidParm) << value;
        if (!form) {
            EXPECT_EQ(b, (MbfBytes{1, 2, 3, 4})) << value;
        }
        EXPECT_EQ(HasMbfForm(value), form) << value;
        EXPECT_EQ(MbfHoldsValue(value), holds) << value;
    }
    EXPECT_EQ(FloatToMbf(-tiny), (MbfBytes{0, 0, 0, 0}));
    EXPECT_EQ(MbfToFloat(FloatToMbf(std::ldexp(1.5f, 126)).data()), std::ldexp(1.5f, 126));
}

// Day 0 (31 December 1960) is a day like any other, not "no date".
TEST(DateTest, DayNumbers) {
    const std::tuple<int, int, int, DateCode> days[] = {
        {61, 1, 1, 1},           {99, 12, 31, 14244},  {100, 1, 1, 14245},
        {2000, 1, 1, 14245},     {100, 2, 29, 14304},  {100, 3, 1, 14305},
        {1964, 12, 31, 1461},    {1960, 1, 1, -365},   {1960, 12, 31, 0},
        {1900, 1, 1, kFirstDay}, {0, 1, 1, kFirstDay}, {2199, 12, 31, kLastDay},
        {100, 13, 1, kNoDate},   {100, 0, 1, kNoDate}, {300, 1, 1, kNoDate},
    };
    for (const auto& [year, month, day, code] : days)
        EXPECT_EQ(MakeDate(year, month, day), code) << year << "-" << month;
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
        ASSERT_TRUE(p.month >= 1 && p.month <= 12 && p.day >= 1 && p.day <= 31) << code;
        ASSERT_EQ(MakeDate(p.year, p.month, p.day), code) << code;
        ASSERT_EQ(DateFromReal(DateToReal(static_cast<DateCode>(code))), code) << code;
        ASSERT_EQ(DateFromReal(MbfToFloat(DateToMbfReal(static_cast<DateCode>(code)).data())),
                  code);
        ASSERT_LT(previous.year * 10000 + previous.month * 100 + previous.day,
                  p.year * 10000 + p.month * 100 + p.day);
        ASSERT_EQ(ParseDate(FormatDateMdy(code), kDateStyleMmDdYy), code) << FormatDateMdy(code);
        previous = p;
    }
}

// Long histories: 1 October 1928 is itself, not a day of 2108. Reals that cannot be dates
// give no date rather than undefined arithmetic.
TEST(DateTest, DateRealsAcrossTheCentury) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, DateCode> reals[] = {
        {990301, 13939},     {1000301, 14305},   {281001, MakeDate(1928, 10, 1)},
        {2991231, kLastDay}, {nan, kNoDate},     {inf, kNoDate},
        {3.0e30f, kNoDate},  {3000101, kNoDate}, {-1.0f, kNoDate},
    };
    for (const auto& [real, code] : reals) EXPECT_EQ(DateFromReal(real), code) << real;
    EXPECT_EQ(DateToReal(14305), 1000301.0f);
    EXPECT_EQ(DateToMbfReal(kNoDate), (MbfBytes{0, 0, 0, 0}));
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

// Odd seconds are kept, the last second of the day included, and go back to the same real.
TEST(TimeTest, EverySecondOfTheDaySurvives) {
    const std::tuple<float, TimeCode, const char*> cases[] = {
        {0.0f, 0, "00:00:00"},
        {93000.0f, 9 * 3600 + 30 * 60, "09:30:00"},
        {93001.0f, 9 * 3600 + 30 * 60 + 1, "09:30:01"},
        {170517.0f, MakeTime(17, 5, 17), "17:05:17"},
        {235959.0f, 86399, "23:59:59"},
    };
    for (const auto& [real, code, text] : cases) {
        EXPECT_EQ(TimeFromReal(real), code) << text;
        EXPECT_EQ(TimeToReal(code), real) << text;
        EXPECT_EQ(FormatTime(code), text);
    }
    const TimeParts t = SplitTime(MakeTime(23, 59, 59));
    EXPECT_EQ(t.hour * 10000 + t.minute * 100 + t.second, 235959);
    // An absent time column reads as -1; that and what no time can be are midnight.
    for (float bad : {-1.0f, -170517.0f, std::numeric_limits<float>::quiet_NaN(), 1.0e9f})
        EXPECT_EQ(TimeFromReal(bad), 0) << bad;
}

TEST(FormatDateTest, EveryStyleForFirstOfMarch2000) {
    const DateCode d = MakeDate(2000, 3, 1);
    const std::tuple<DateStyle, char, const char*> cases[] = {
        {1, '/', "00/03/01"}, {2, '/', "2000/03/01"}, {3, '/', "03/01/00"}, {4, '-', "03-01-2000"},
        {5, '.', "01.03.00"}, {6, '.', "01.03.2000"}, {7, '/', "000301"},   {8, '/', "20000301"},
        {9, '/', "030100"},   {10, '/', "03012000"},  {11, '/', "010300"},  {12, '/', "01032000"},
        {0, '/', ""},         {13, '/', ""},
    };
    for (const auto& [style, sep, text] : cases) EXPECT_EQ(FormatDate(d, style, sep), text);
    EXPECT_EQ(FormatDate(MakeDate(1999, 12, 31), 4, '/'), "12/31/1999");
    EXPECT_EQ(FormatDate(kNoDate, 2, '/'), "0000/00/00");
    // Two digits name a year from 1960 to 2059; any other year is written out.
    const std::pair<int, const char*> mdy[] = {
        {19600104, "01/04/60"},   {20591231, "12/31/59"}, {19591231, "12/31/1959"},
        {20600101, "01/01/2060"}, {0, "00/00/00"},
    };
    for (const auto& [ymd, text] : mdy) EXPECT_EQ(FormatDateMdy(Day(ymd)), text);
}

// Two-digit years, fields after the date, out-of-range months and days, texts too short,
// and days the month does not have, in every style.
TEST(ParseDateTest, TextsAndStyles) {
    const std::pair<const char*, int> mmddyy[] = {
        {"  \"03/01/99", 19990301}, {"03/01/05", 20050301},      {"03/01/61", 19610301},
        {"12-31-59", 20591231},     {"03/01/99,12.5", 19990301}, {"10/01/1928", 19281001},
        {"01/01/2060", 20600101},   {"02/29/12", 20120229},
    };
    for (const auto& [text, ymd] : mmddyy) EXPECT_EQ(Ymd(ParseDate(text, 3)), ymd) << text;
    for (const char* text : {"", "   ", "13/01/99", "00/10/99", "02/32/99", "02/00/99", "3/",
                             "04/31/20", "02/30/2020", "02/29/11"})
        EXPECT_EQ(ParseDate(text, 3), kNoDate) << text;
    const std::tuple<const char*, DateStyle, int> styles[] = {
        // YYYYMMDD, 0 for no date
        {"00/00/00", 1, 0},          {"03/01/99", 0, 0},          {"03/01/99", 13, 0},
        {"03/01/1945", 4, 19450301}, {"03/01/2001", 4, 20010301}, {"20100104", 8, 20100104},
        {"20110229", 8, 0},          {"31/04/20", 5, 0},
    };
    for (const auto& [text, style, ymd] : styles)
        EXPECT_EQ(Ymd(ParseDate(text, style)), ymd) << text;
}

// Whole date texts as they are typed: the three forms, nothing around them, and only days
// that exist (no rolling over into the next month).
TEST(ParseDateTextTest, WholeTextsOfDaysThatExist) {
    const std::pair<const char*, int> days[] = {
        {"03/15/99", 19990315},   {"03/15/05", 20050315},   {"03-15-05", 20050315},
        {"12/31/1959", 19591231}, {"2008-05-07", 20080507}, {"2199-12-31", 21991231},
        {"1900-01-01", 19000101}, {"02/29/2012", 20120229},
    };
    for (const auto& [text, ymd] : days) EXPECT_EQ(Ymd(ParseDateText(text)), ymd) << text;
    for (const char* text : {"04/31/2020", "02/30/2020", "02/29/2011", "2020-04-31", "2011-02-29",
                             "04/31/20",   "13/01/20",   "00/10/20",   "01/00/20",   "1899-12-31",
                             "2200-01-01", "01/01/1899", " 03/15/99",  "03/15/99 ",  "03/15/9x",
                             "03/15-99",   "+3/15/99",   "2008-5-07",  "3/15/99",    ""})
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
