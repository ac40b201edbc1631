// Reading quote text: each date and time form, values read whole, column titles, delimiter
// detection, forms that are ambiguous, and bad lines with their numbers.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cstdio>
#include <cstdint>
#include <string>
#include <vector>

#include "import/quotetext.h"

namespace barwise {
namespace {

struct DateRow {
    const char* name;
    const char* text;
    DateForm form;
    int year, month, day;  // 0: no date
};

class DateFormTest : public ::testing::TestWithParam<DateRow> {};

TEST_P(DateFormTest, ReadsTheDayOrRefusesTheText) {
    const DateRow& r = GetParam();
    const DateCode got = ParseDateIn(r.text, r.form);
    const DateCode want = r.year == 0 ? kNoDate : MakeDate(r.year, r.month, r.day);
    EXPECT_EQ(got, want) << r.text;
}

const DateRow kDates[] = {
    {"compact", "20200102", DateForm::kYyyymmdd, 2020, 1, 2},
    {"compact_1900", "19000101", DateForm::kYyyymmdd, 1900, 1, 1},
    {"compact_2199", "21991231", DateForm::kYyyymmdd, 2199, 12, 31},
    {"compact_1899", "18991231", DateForm::kYyyymmdd, 0, 0, 0},
    {"compact_2200", "22000101", DateForm::kYyyymmdd, 0, 0, 0},
    {"compact_short", "2020012", DateForm::kYyyymmdd, 0, 0, 0},
    // A four-digit year is the year itself, not years since 1900.
    {"compact_year_0120", "01200102", DateForm::kYyyymmdd, 0, 0, 0},
    {"iso_year_0099", "0099-01-02", DateForm::kIso, 0, 0, 0},
    {"mdy_year_0020", "01/02/0020", DateForm::kMdy, 0, 0, 0},
    {"dot_year_0199", "02.01.0199", DateForm::kDmyDot, 0, 0, 0},
    {"compact_feb30", "20200230", DateForm::kYyyymmdd, 0, 0, 0},
    {"compact_leap", "20200229", DateForm::kYyyymmdd, 2020, 2, 29},
    {"compact_not_leap", "20190229", DateForm::kYyyymmdd, 0, 0, 0},
    {"iso", "2020-01-02", DateForm::kIso, 2020, 1, 2},
    {"iso_trailing_blank", "2020-01-02 ", DateForm::kIso, 0, 0, 0},
    {"iso_one_digit_month", "2020-1-02", DateForm::kIso, 0, 0, 0},
    {"iso_april31", "2020-04-31", DateForm::kIso, 0, 0, 0},
    {"mdy_short_year", "01/02/20", DateForm::kMdy, 2020, 1, 2},
    {"mdy_short_year_60", "03/15/60", DateForm::kMdy, 1960, 3, 15},
    {"mdy_short_year_59", "03/15/59", DateForm::kMdy, 2059, 3, 15},
    {"mdy_long_year", "10/01/1928", DateForm::kMdy, 1928, 10, 1},
    {"mdy_month13", "13/01/2020", DateForm::kMdy, 0, 0, 0},
    {"mdy_three_digit_year", "01/02/202", DateForm::kMdy, 0, 0, 0},
    {"dmy", "02/01/2020", DateForm::kDmy, 2020, 1, 2},
    {"dmy_day31", "31/12/99", DateForm::kDmy, 1999, 12, 31},
    {"dot", "02.01.2020", DateForm::kDmyDot, 2020, 1, 2},
    {"dot_short_year", "02.01.20", DateForm::kDmyDot, 0, 0, 0},
    {"dot_sign", "+2.01.2020", DateForm::kDmyDot, 0, 0, 0},
    {"wrong_form", "2020-01-02", DateForm::kMdy, 0, 0, 0},
    {"empty", "", DateForm::kIso, 0, 0, 0},
};
INSTANTIATE_TEST_SUITE_P(Forms, DateFormTest, ::testing::ValuesIn(kDates),
                         [](const auto& info) { return std::string(info.param.name); });

struct TimeRow {
    const char* name;
    const char* text;
    int seconds;  // -1: refused
};
class TimeFormTest : public ::testing::TestWithParam<TimeRow> {};

TEST_P(TimeFormTest, ReadsTheTimeOrRefusesTheText) {
    const TimeRow& r = GetParam();
    const auto t = ParseTimeText(r.text);
    if (r.seconds < 0) {
        EXPECT_FALSE(t.has_value()) << r.text;
    } else {
        ASSERT_TRUE(t.has_value()) << r.text;
        EXPECT_EQ(*t, r.seconds);
    }
}

const TimeRow kTimes[] = {
    {"compact", "093015", 9 * 3600 + 30 * 60 + 15}, {"compact_midnight", "000000", 0},
    {"hh_mm", "17:45", 17 * 3600 + 45 * 60},         {"hh_mm_ss", "23:59:59", 86399},
    {"hour24", "24:00", -1},                         {"minute60", "10:60:00", -1},
    {"second60", "105960", -1},                      {"five_digits", "93000", -1},
    {"one_digit_hour", "9:30", -1},                  {"trailing", "09:30:00Z", -1},
    {"seven_chars", "09:30:0", -1},
};
INSTANTIATE_TEST_SUITE_P(Forms, TimeFormTest, ::testing::ValuesIn(kTimes),
                         [](const auto& info) { return std::string(info.param.name); });

struct ValueRow {
    const char* name;
    const char* text;
    bool ok;
    bool present;
    float value;
};
class ValueTextTest : public ::testing::TestWithParam<ValueRow> {};

TEST_P(ValueTextTest, TakesOnlyWholeNumbersWithAnMbfForm) {
    const ValueRow& r = GetParam();
    const ValueField v = ParseValueText(r.text);
    EXPECT_EQ(v.problem.empty(), r.ok) << r.text << ": " << v.problem;
    if (!r.ok) return;
    EXPECT_EQ(v.present, r.present);
    if (r.present) {
        EXPECT_EQ(v.value, r.value);
    }
}

const ValueRow kValues[] = {
    {"decimal", "12.5000", true, true, 12.5f},
    {"negative", "-3.25", true, true, -3.25f},
    {"exponent", "1e3", true, true, 1000.0f},
    {"zero", "0", true, true, 0.0f},
    {"no_value", "N/A", true, false, 0.0f},
    {"shortest_float", "0.1", true, true, 0.1f},
    {"decimal_comma", "1,5", false, false, 0},
    {"trailing_letters", "5abc", false, false, 0},
    {"hex", "0x10", false, false, 0},
    {"dangling_exponent", "1e", false, false, 0},
    {"leading_blank", " 12", false, false, 0},
    {"plus_sign", "+12", false, false, 0},
    {"empty", "", false, false, 0},
    {"infinity", "inf", false, false, 0},
    {"nan", "nan", false, false, 0},
    {"beyond_float", "1e39", false, false, 0},
    {"beyond_mbf", "3e38", false, false, 0},
    {"below_mbf", "1e-40", false, false, 0},
    {"lower_case_na", "n/a", false, false, 0},
};
INSTANTIATE_TEST_SUITE_P(Texts, ValueTextTest, ::testing::ValuesIn(kValues),
                         [](const auto& info) { return std::string(info.param.name); });

// Every decimal text reads to the float from_chars gives for it, bit for bit (the quick path
// for plain decimals must agree with it, midpoints of two floats, signed zeros and long
// mantissas included), and what from_chars does not read whole is refused.
TEST(ValueTextTest, ReadsEveryDecimalAsFromCharsDoes) {
    std::vector<std::string> texts = {"16777217", "16777219", "33554435", "0.1", "-0", "-0.0", "5.", ".5",
                                      "-.5", "-", ".", "1..2", "999999999999999", "9999999999999999",
                                      "0.000000000000001", "123456.789012345", "00012", "4503599627370497.5"};
    std::uint64_t seed = 88172645463325252ull;
    auto next = [&] {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        return seed;
    };
    for (int n = 0; n < 20000; ++n) {
        std::string t = next() % 4 == 0 ? "-" : "";
        const int digits = 1 + static_cast<int>(next() % 17);
        const int point = static_cast<int>(next() % (digits + 2));
        for (int d = 0; d < digits; ++d) {
            if (d == point) t += '.';
            t += static_cast<char>('0' + next() % 10);
        }
        texts.push_back(t);
    }
    for (const std::string& t : texts) {
        float want = 0;
        const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), want, std::chars_format::general);
        const ValueField v = ParseValueText(t);
        if (ec != std::errc() || end != t.data() + t.size()) {
            EXPECT_FALSE(v.problem.empty()) << t;
            continue;
        }
        ASSERT_TRUE(v.problem.empty()) << t << ": " << v.problem;
        EXPECT_EQ(std::bit_cast<std::uint32_t>(v.value), std::bit_cast<std::uint32_t>(want)) << t;
    }
}

struct TitleRow {
    const char* name;
    const char* text;
    const char* columns;  // as ColumnListText writes them
    char delimiter;
};
class TitleRowTest : public ::testing::TestWithParam<TitleRow> {};

TEST_P(TitleRowTest, FindsTheColumnsAndTheDelimiter) {
    const TitleRow& r = GetParam();
    const QuoteText t = ReadQuoteText(r.text, {}, "quotes.txt");
    ASSERT_TRUE(t.refusal.empty()) << t.refusal;
    EXPECT_EQ(t.delimiter, r.delimiter);
    EXPECT_EQ(ColumnListText(t.columns), r.columns);
    EXPECT_TRUE(t.bad.empty()) << (t.bad.empty() ? "" : BadLineText(t.bad[0]));
    EXPECT_EQ(t.quotes.size(), 1u);
}

const TitleRow kTitles[] = {
    {"barwise_export", "DATE,OPEN,HIGH,LOW,CLOSE,VOL,OI\r\n01/13/20,1,2,0.5,1.5,100,7\r\n",
     "date,open,high,low,close,vol,oi", ','},
    {"barwise_export_time_tab", "DATE\tTIME\tOPEN\tHIGH\tLOW\tCLOSE\tVOL\tOI\n2020-01-02\t09:30:00\t1\t2\t0.5\t1.5\t100\tN/A\n",
     "date,time,open,high,low,close,vol,oi", '\t'},
    {"angle_brackets", "<TICKER>,<PER>,<DATE>,<TIME>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>,<OPENINT>\nAAPL.US,D,20200102,000000,1,2,0.5,1.5,100,0\n",
     "symbol,skip,date,time,open,high,low,close,vol,oi", ','},
    {"lower_case_adj_close", "date,open,high,low,close,adj close,volume\n2020-01-02,1,2,0.5,1.5,1.4,100\n",
     "date,open,high,low,close,skip,vol", ','},
    {"mixed_case_semicolon", "Date;Open;High;Low;Close;Volume;Open Interest\n02.01.2020;1;2;0.5;1.5;100;3\n",
     "date,open,high,low,close,vol,oi", ';'},
    {"space_delimited", "DATE OPEN HIGH LOW CLOSE\n01/13/2020 1 2 0.5 1.5\n", "date,open,high,low,close", ' '},
    {"quoted_name", "Symbol,Name,Date,Close\nACME,\"ACME, INC.\",20200102,1.5\n", "symbol,name,date,close", ','},
    {"unknown_title_skipped", "Date,Close,Comment\n20200102,1.5,fine\n", "date,close,skip", ','},
    {"byte_order_mark", "\xEF\xBB\xBF" "Date,Close\n20200102,1.5\n", "date,close", ','},
};
INSTANTIATE_TEST_SUITE_P(Titles, TitleRowTest, ::testing::ValuesIn(kTitles),
                         [](const auto& info) { return std::string(info.param.name); });

struct GuessRow {
    const char* name;
    const char* text;
    const char* columns;  // empty: refused
};
class GuessedColumnsTest : public ::testing::TestWithParam<GuessRow> {};

TEST_P(GuessedColumnsTest, TakesTheShapeOfTheFirstLine) {
    const GuessRow& r = GetParam();
    const QuoteText t = ReadQuoteText(r.text, {}, "day.txt");
    if (*r.columns == 0) {
        EXPECT_FALSE(t.refusal.empty());
        return;
    }
    ASSERT_TRUE(t.refusal.empty()) << t.refusal;
    EXPECT_TRUE(t.columnsGuessed);
    EXPECT_EQ(ColumnListText(t.columns), r.columns);
}

const GuessRow kGuesses[] = {
    {"day_file", "AAA,20200102,1,2,0.5,1.5,100\nBBB,20200102,3,4,2.5,3.5,200\n", "symbol,date,open,high,low,close,vol"},
    {"ticker_named_like_a_column", "LOW,20200102,1,2,0.5,1.5,100\n", "symbol,date,open,high,low,close,vol"},
    {"export_without_title", "01/13/20 1.0000 2.0000 0.5000 1.5000 100.00 0.00\r\n", "date,open,high,low,close,vol,oi"},
    {"export_with_time", "01/13/20,09:30:00,1,2,0.5,1.5\n", "date,time,open,high,low,close"},
    {"too_few_values", "20200102,1.5,100\n", ""},
    {"no_date", "AAA,BBB,1,2,3,4\n", ""},
};
INSTANTIATE_TEST_SUITE_P(Shapes, GuessedColumnsTest, ::testing::ValuesIn(kGuesses),
                         [](const auto& info) { return std::string(info.param.name); });

struct AmbiguityRow {
    const char* name;
    const char* dates;  // one date per line
    DateForm chosen;
    DateForm expected;  // kDetect: refused
};
class DateDetectionTest : public ::testing::TestWithParam<AmbiguityRow> {};

TEST_P(DateDetectionTest, NeverGuessesBetweenMonthAndDayFirst) {
    const AmbiguityRow& r = GetParam();
    std::string text = "DATE,CLOSE\n";
    std::string dates = r.dates;
    std::size_t at = 0;
    while (at < dates.size()) {
        const std::size_t bar = dates.find('|', at);
        text += dates.substr(at, bar == std::string::npos ? std::string::npos : bar - at) + ",1.5\n";
        if (bar == std::string::npos) break;
        at = bar + 1;
    }
    TextFormat format;
    format.dateForm = r.chosen;
    const QuoteText t = ReadQuoteText(text, format, "f.csv");
    if (r.expected == DateForm::kDetect) {
        EXPECT_NE(t.refusal.find("choose the date form"), std::string::npos) << t.refusal;
        EXPECT_TRUE(t.quotes.empty());
        return;
    }
    ASSERT_TRUE(t.refusal.empty()) << t.refusal;
    EXPECT_EQ(t.dateForm, r.expected);
}

const AmbiguityRow kAmbiguities[] = {
    {"ambiguous", "01/02/2020|03/04/2020", DateForm::kDetect, DateForm::kDetect},
    {"ambiguous_chosen_dmy", "01/02/2020|03/04/2020", DateForm::kDmy, DateForm::kDmy},
    {"ambiguous_chosen_mdy", "01/02/2020|03/04/2020", DateForm::kMdy, DateForm::kMdy},
    {"later_line_settles_mdy", "01/02/2020|01/13/2020", DateForm::kDetect, DateForm::kMdy},
    {"later_line_settles_dmy", "01/02/2020|13/01/2020", DateForm::kDetect, DateForm::kDmy},
    {"both_orders", "01/13/2020|13/01/2020", DateForm::kDetect, DateForm::kDetect},
    {"same_either_way", "01/01/2020|02/02/2020", DateForm::kDetect, DateForm::kMdy},
    {"iso", "2020-01-02|2020-01-03", DateForm::kDetect, DateForm::kIso},
    {"compact", "20200102|20200103", DateForm::kDetect, DateForm::kYyyymmdd},
    {"dotted", "02.01.2020|03.01.2020", DateForm::kDetect, DateForm::kDmyDot},
};
INSTANTIATE_TEST_SUITE_P(Files, DateDetectionTest, ::testing::ValuesIn(kAmbiguities),
                         [](const auto& info) { return std::string(info.param.name); });

struct BadRow {
    const char* name;
    const char* text;
    bool checkHighLow;
    int line;            // the one bad line
    const char* reason;  // part of its reason
};
class BadLineTest : public ::testing::TestWithParam<BadRow> {};

TEST_P(BadLineTest, NamesTheFileLineAndReason) {
    const BadRow& r = GetParam();
    TextFormat format;
    format.checkHighLow = r.checkHighLow;
    const QuoteText t = ReadQuoteText(r.text, format, "in.csv");
    ASSERT_TRUE(t.refusal.empty()) << t.refusal;
    ASSERT_EQ(t.bad.size(), 1u);
    EXPECT_EQ(t.bad[0].file, "in.csv");
    EXPECT_EQ(t.bad[0].line, r.line);
    EXPECT_NE(t.bad[0].reason.find(r.reason), std::string::npos) << t.bad[0].reason;
    // The other lines are read.
    EXPECT_EQ(static_cast<int>(t.quotes.size()), t.lines - 1);
}

const BadRow kBad[] = {
    {"not_a_number", "Date,Open,High,Low,Close\n20200102,1,2,0.5,1.5\n20200103,1,2,0.5,1.5x\n", false, 3, "not a number"},
    {"day_that_does_not_exist", "Date,Close\n20200102,1\n\n20200230,1\n20200303,1\n", false, 4, "not a day"},
    {"too_many_fields", "Date,Close\n20200102,1\n20200103,1,2\n", false, 3, "3 fields"},
    {"no_mbf_form", "Date,Close\n20200102,2e38\n20200103,1\n", false, 2, "no form"},
    {"bad_time", "Date,Time,Close\n20200102,09:30,1\n20200102,25:00,1\n", false, 3, "not a time"},
    {"high_below_low", "Date,High,Low\n20200102,2,1\n20200103,1,2\n", true, 3, "high is below the low"},
    {"empty_symbol", "Symbol,Date,Close\nAAA,20200102,1\n,20200102,1\n", false, 3, "no symbol"},
};
INSTANTIATE_TEST_SUITE_P(Lines, BadLineTest, ::testing::ValuesIn(kBad),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(QuoteTextTest, HighBelowLowIsReadUnlessChecked) {
    const QuoteText t = ReadQuoteText("Date,High,Low\n20200102,1,2\n", {}, "f");
    EXPECT_TRUE(t.bad.empty());
    ASSERT_EQ(t.quotes.size(), 1u);
    EXPECT_EQ(t.quotes[0].values[1], 1.0f);
}

TEST(QuoteTextTest, RefusesWholeFilesThatCannotBeRead) {
    const struct {
        const char* text;
        TextFormat format;
        const char* reason;
    } rows[] = {
        {"", {}, "no quotes"},
        {"20200102\n20200103\n", {}, "no delimiter"},
        {"Open,High\n1,2\n", {}, "no column holds the date"},
        {"Date,Date,Close\n20200102,20200102,1\n", {}, "named twice"},
        {"Date,Symbol\n20200102,AAA\n", {}, "no column holds a price"},
        {"Date,Close\n,1\n,2\n", {}, "no line holds a date"},
    };
    for (const auto& r : rows) {
        const QuoteText t = ReadQuoteText(r.text, r.format, "f");
        EXPECT_NE(t.refusal.find(r.reason), std::string::npos) << r.text << " -> " << t.refusal;
    }
}

TEST(QuoteTextTest, ATitleRowAloneWithoutALineEndHoldsNoQuotes) {
    TextFormat format;
    format.dateForm = DateForm::kYyyymmdd;
    const QuoteText t = ReadQuoteText("Date,Close", format, "f");
    EXPECT_TRUE(t.refusal.empty()) << t.refusal;
    EXPECT_TRUE(t.quotes.empty());
    EXPECT_EQ(t.lines, 0);
}

TEST(QuoteTextTest, ColumnsGivenByTheCallerOverrideTheTitleRow) {
    TextFormat format;
    format.columns = *ParseColumnList("date,skip,close");
    const QuoteText t = ReadQuoteText("DATE,OPEN,HIGH\n20200102,1,2\n", format, "f");
    ASSERT_TRUE(t.refusal.empty()) << t.refusal;
    ASSERT_EQ(t.quotes.size(), 1u);
    EXPECT_FALSE(t.quotes[0].has[0]);
    EXPECT_TRUE(t.quotes[0].has[3]);
    EXPECT_EQ(t.quotes[0].values[3], 2.0f);
}

TEST(QuoteTextTest, ColumnListsAndDateFormNames) {
    std::string bad;
    EXPECT_FALSE(ParseColumnList("date,opn", &bad).has_value());
    EXPECT_EQ(bad, "opn");
    EXPECT_EQ(ColumnListText(*ParseColumnList("Date,<VOL>,Open Interest,ticker")), "date,vol,oi,symbol");
    for (DateForm f : {DateForm::kYyyymmdd, DateForm::kIso, DateForm::kMdy, DateForm::kDmy, DateForm::kDmyDot})
        EXPECT_EQ(DateFormOfName(DateFormName(f)), f);
    EXPECT_EQ(DateFormOfName("mm/dd/yy"), DateForm::kMdy);
    EXPECT_FALSE(DateFormOfName("DD-MM-YYYY").has_value());
}

// A long file is read in two halves at once: every line keeps its number, symbol, name and
// place, wherever the halves meet (in the middle of a run of one symbol here).
TEST(QuoteTextTest, LongFileReadsAsItsLinesSay) {
    struct Line {
        int data = -1;  // the data line's index, or -1 for a blank line
        bool bad = false;
    };
    std::string text = "\xEF\xBB\xBFSymbol,Name,Date,Close\r\n";
    std::vector<Line> lines(2);  // line numbers from 1; the title is line 1
    const DateCode first = MakeDate(1990, 1, 1);
    for (int i = 0; i < 40000; ++i) {
        if (i % 500 == 250) {
            text += "\n";
            lines.push_back({});
        }
        const DateParts d = SplitDate(first + i);
        char line[80];
        const bool bad = i % 997 == 3;
        std::snprintf(line, sizeof line, "S%d,Name %d,%04d%02d%02d,%d%s\n", i / 1000, i / 1000, d.year + 1900, d.month,
                      d.day, i, bad ? "x" : "");
        text += line;
        lines.push_back({i, bad});
    }
    ASSERT_GT(text.size(), 1u << 20);

    const QuoteText t = ReadQuoteText(text, {}, "long.csv");
    ASSERT_TRUE(t.refusal.empty()) << t.refusal;
    EXPECT_EQ(t.lines, 40000);
    std::size_t quoteAt = 0, badAt = 0;
    for (std::size_t n = 2; n < lines.size(); ++n) {
        const Line& l = lines[n];
        if (l.data < 0) continue;
        if (l.bad) {
            ASSERT_LT(badAt, t.bad.size());
            EXPECT_EQ(t.bad[badAt].line, static_cast<int>(n));
            EXPECT_EQ(t.bad[badAt++].file, "long.csv");
            continue;
        }
        ASSERT_LT(quoteAt, t.quotes.size());
        const TextQuote& q = t.quotes[quoteAt++];
        ASSERT_EQ(q.line, static_cast<int>(n));
        EXPECT_EQ(q.date, first + l.data);
        EXPECT_EQ(q.values[3], static_cast<float>(l.data));
        EXPECT_EQ(t.symbolOf(q), "S" + std::to_string(l.data / 1000));
        EXPECT_EQ(t.nameOf(q), "Name " + std::to_string(l.data / 1000));
    }
    EXPECT_EQ(quoteAt, t.quotes.size());
    EXPECT_EQ(badAt, t.bad.size());
}

TEST(QuoteTextTest, SplitsQuotedFields) {
    const std::vector<std::string> want = {"A", "B, C", "say \"hi\"", ""};
    EXPECT_EQ(SplitFields("A,\"B, C\",\"say \"\"hi\"\"\",", ','), want);
}

}  // namespace
}  // namespace barwise
