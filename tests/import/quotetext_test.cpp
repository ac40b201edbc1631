// Reading quote text: each date and time form, values read whole, column titles, delimiter
// detection, forms that are ambiguous, and bad lines with their numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "import/quotetext.h"

namespace barwise {
namespace {

using enum DateForm;

TEST(QuoteTextTest, DatesAreReadWholeInTheirFormOrRefused) {
    const struct {
        const char* text;
        DateForm form;
        int day;  // YYYYMMDD, 0: refused
    } rows[] = {
        {"20200102", kYyyymmdd, 20200102},
        {"19000101", kYyyymmdd, 19000101},
        {"21991231", kYyyymmdd, 21991231},
        {"18991231", kYyyymmdd, 0},
        {"22000101", kYyyymmdd, 0},
        {"2020012", kYyyymmdd, 0},
        // A four-digit year is the year itself, not years since 1900.
        {"01200102", kYyyymmdd, 0},
        {"0099-01-02", kIso, 0},
        {"01/02/0020", kMdy, 0},
        {"02.01.0199", kDmyDot, 0},
        {"20200229", kYyyymmdd, 20200229},
        {"20190229", kYyyymmdd, 0},
        {"2020-01-02", kIso, 20200102},
        {"2020-01-02 ", kIso, 0},
        {"2020-1-02", kIso, 0},
        {"2020-04-31", kIso, 0},
        {"01/02/20", kMdy, 20200102},
        {"03/15/60", kMdy, 19600315},
        {"03/15/59", kMdy, 20590315},
        {"10/01/1928", kMdy, 19281001},
        {"13/01/2020", kMdy, 0},
        {"01/02/202", kMdy, 0},
        {"02/01/2020", kDmy, 20200102},
        {"31/12/99", kDmy, 19991231},
        {"02.01.2020", kDmyDot, 20200102},
        {"02.01.20", kDmyDot, 0},
        {"+2.01.2020", kDmyDot, 0},
        {"2020-01-02", kMdy, 0},
        {"", kIso, 0},
    };
    for (const auto& r : rows) {
        const DateCode want =
            r.day == 0 ? kNoDate : MakeDate(r.day / 10000, r.day / 100 % 100, r.day % 100);
        EXPECT_EQ(ParseDateIn(r.text, r.form), want) << r.text << " as " << DateFormName(r.form);
    }
}

TEST(QuoteTextTest, TimesAreReadWholeOrRefused) {
    const std::pair<const char*, int> rows[] = {
        {"093015", 9 * 3600 + 30 * 60 + 15},
        {"000000", 0},
        {"17:45", 17 * 3600 + 45 * 60},
        {"23:59:59", 86399},
        {"24:00", -1},
        {"10:60:00", -1},
        {"105960", -1},
        {"93000", -1},
        {"9:30", -1},
        {"09:30:00Z", -1},
        {"09:30:0", -1},
    };
    for (const auto& [text, seconds] : rows)
        EXPECT_EQ(ParseTimeText(text).value_or(-1), seconds) << text;
}

// Every decimal text reads to the float from_chars gives for it, bit for bit (the quick path
// for plain decimals must agree with it, midpoints of two floats, signed zeros and long
// mantissas included; the random texts hold signed zeros and leading points), and what from_chars
// does not read whole is refused ("1,5", "5abc"). What it reads but a data file cannot hold is
// refused as well, and "N/A" is no value.
TEST(QuoteTextTest, ValuesAreReadAsFromCharsReadsThem) {
    std::vector<std::string> texts = {
        // Midpoints of two floats and long mantissas.
        "16777217", "16777219", "33554435", "4503599627370497.5", "999999999999999",
        "9999999999999999", "0.000000000000001", "123456.789012345",
        // Other forms it reads whole, one beyond a float.
        "5.", "00012", "12.5000", "-3.25", "1e3", "1e39",
        // Forms it does not read whole.
        "-", ".", "1..2", "1,5", "5abc", "0x10", "1e", " 12", "+12", ""};
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
        const auto [end, ec] =
            std::from_chars(t.data(), t.data() + t.size(), want, std::chars_format::general);
        const ValueField v = ParseValueText(t);
        if (ec != std::errc() || end != t.data() + t.size()) {
            EXPECT_FALSE(v.problem.empty()) << t;
            continue;
        }
        ASSERT_TRUE(v.problem.empty()) << t << ": " << v.problem;
        EXPECT_TRUE(v.present) << t;
        EXPECT_EQ(std::bit_cast<std::uint32_t>(v.value), std::bit_cast<std::uint32_t>(want)) << t;
    }
    for (const char* t : {"inf", "nan", "3e38", "1e-40", "n/a"})
        EXPECT_FALSE(ParseValueText(t).problem.empty()) << t;
    EXPECT_TRUE(ParseValueText("N/A").problem.empty());
    EXPECT_FALSE(ParseValueText("N/A").present);
}

// The columns and delimiter of a whole text, from its title row or the shape of its first
// line, or why it cannot be read at all.
TEST(QuoteTextTest, ColumnsComeFromTheTitleRowOrTheFirstLine) {
    const struct {
        const char* text;
        const char* columns;  // as ColumnListText writes them; "": refused
        char delimiter;       // 0: guessed from the first line's shape
        const char* refusal = "";
    } rows[] = {
        {"DATE,OPEN,HIGH,LOW,CLOSE,VOL,OI\r\n01/13/20,1,2,0.5,1.5,100,7\r\n",
         "date,open,high,low,close,vol,oi", ','},
        {"DATE\tTIME\tOPEN\tHIGH\tLOW\tCLOSE\tVOL\tOI\n"
         "2020-01-02\t09:30:00\t1\t2\t0.5\t1.5\t100\tN/A\n",
         "date,time,open,high,low,close,vol,oi", '\t'},
        {"<TICKER>,<PER>,<DATE>,<TIME>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>,<OPENINT>\n"
         "AAPL.US,D,20200102,000000,1,2,0.5,1.5,100,0\n",
         "symbol,skip,date,time,open,high,low,close,vol,oi", ','},
        {"date,open,high,low,close,adj close,volume\n2020-01-02,1,2,0.5,1.5,1.4,100\n",
         "date,open,high,low,close,skip,vol", ','},
        {"Date;Open;High;Low;Close;Volume;Open Interest\n02.01.2020;1;2;0.5;1.5;100;3\n",
         "date,open,high,low,close,vol,oi", ';'},
        {"DATE OPEN HIGH LOW CLOSE\n01/13/2020 1 2 0.5 1.5\n", "date,open,high,low,close", ' '},
        {"Symbol,Name,Date,Close\nACME,\"ACME, INC.\",20200102,1.5\n", "symbol,name,date,close",
         ','},
        {"\uFEFFDate,Close\n20200102,1.5\n", "date,close", ','},
        {"AAA,20200102,1,2,0.5,1.5,100\nBBB,20200102,3,4,2.5,3.5,200\n",
         "symbol,date,open,high,low,close,vol", 0},
        {"LOW,20200102,1,2,0.5,1.5,100\n", "symbol,date,open,high,low,close,vol", 0},
        {"01/13/20 1.0000 2.0000 0.5000 1.5000 100.00 0.00\r\n", "date,open,high,low,close,vol,oi",
         0},
        {"01/13/20,09:30:00,1,2,0.5,1.5\n", "date,time,open,high,low,close", 0},
        {"20200102,1.5,100\n", "", 0, "give the columns"},
        {"AAA,BBB,1,2,3,4\n", "", 0, "give the columns"},
        {"", "", 0, "no quotes"},
        {"20200102\n20200103\n", "", 0, "no delimiter"},
        {"Open,High\n1,2\n", "", 0, "no column holds the date"},
        {"Date,Date,Close\n20200102,20200102,1\n", "", 0, "named twice"},
        {"Date,Symbol\n20200102,AAA\n", "", 0, "no column holds a price"},
        {"Date,Close\n,1\n,2\n", "", 0, "no line holds a date"},
    };
    for (const auto& r : rows) {
        const QuoteText t = ReadQuoteText(r.text, {}, "quotes.txt");
        if (*r.columns == 0) {
            EXPECT_NE(t.refusal.find(r.refusal), std::string::npos)
                << r.text << " -> " << t.refusal;
            EXPECT_TRUE(t.quotes.empty()) << r.text;
            continue;
        }
        ASSERT_TRUE(t.refusal.empty()) << r.text << " -> " << t.refusal;
        const std::string text = r.text;
        const auto lines = std::count(text.begin(), text.end(), '\n') - (r.delimiter == 0 ? 0 : 1);
        EXPECT_EQ(std::make_tuple(ColumnListText(t.columns), t.columnsGuessed,
                                  static_cast<long>(t.quotes.size()), t.bad.size()),
                  std::make_tuple(std::string(r.columns), r.delimiter == 0, lines, 0u))
            << r.text;
        if (r.delimiter != 0) {
            EXPECT_EQ(t.delimiter, r.delimiter) << r.text;
        }
    }
}

TEST(QuoteTextTest, NeverGuessesBetweenMonthAndDayFirst) {
    const struct {
        const char* dates;  // one date per line
        DateForm chosen;
        DateForm expected;  // kDetect: refused
    } rows[] = {
        {"01/02/2020 03/04/2020", kDetect, kDetect}, {"01/02/2020 03/04/2020", kDmy, kDmy},
        {"01/02/2020 03/04/2020", kMdy, kMdy},       {"01/02/2020 01/13/2020", kDetect, kMdy},
        {"01/02/2020 13/01/2020", kDetect, kDmy},    {"01/13/2020 13/01/2020", kDetect, kDetect},
        {"01/01/2020 02/02/2020", kDetect, kMdy},    {"2020-01-02 2020-01-03", kDetect, kIso},
        {"20200102 20200103", kDetect, kYyyymmdd},   {"02.01.2020 03.01.2020", kDetect, kDmyDot},
    };
    for (const auto& r : rows) {
        std::string text = "DATE,CLOSE\n";
        std::istringstream dates(r.dates);
        for (std::string d; dates >> d;) text += d + ",1.5\n";
        TextFormat format;
        format.dateForm = r.chosen;
        const QuoteText t = ReadQuoteText(text, format, "f.csv");
        if (r.expected == kDetect) {
            EXPECT_NE(t.refusal.find("choose the date form"), std::string::npos) << r.dates;
            EXPECT_TRUE(t.quotes.empty()) << r.dates;
        } else {
            EXPECT_TRUE(t.refusal.empty()) << r.dates << ": " << t.refusal;
            EXPECT_EQ(t.dateForm, r.expected) << r.dates;
        }
    }
}

// A bad line is named with its file, number and reason; the other lines are read. A high
// below the low is bad only when asked for.
TEST(QuoteTextTest, BadLinesAreNamedAndTheRestRead) {
    const struct {
        const char* text;
        bool checkHighLow;
        int line;            // the one bad line, 0: none
        const char* reason;  // part of its reason
    } rows[] = {
        {"Date,Open,High,Low,Close\n20200102,1,2,0.5,1.5\n20200103,1,2,0.5,1.5x\n", false, 3,
         "not a number"},
        {"Date,Close\n20200102,1\n\n20200230,1\n20200303,1\n", false, 4, "not a day"},
        {"Date,Close\n20200102,1\n20200103,1,2\n", false, 3, "3 fields"},
        {"Date,Close\n20200102,2e38\n20200103,1\n", false, 2, "no form"},
        {"Date,Time,Close\n20200102,09:30,1\n20200102,25:00,1\n", false, 3, "not a time"},
        {"Date,High,Low\n20200102,2,1\n20200103,1,2\n", true, 3, "high is below the low"},
        {"Date,High,Low\n20200102,2,1\n20200103,1,2\n", false, 0, ""},
        {"Symbol,Date,Close\nAAA,20200102,1\n,20200102,1\n", false, 3, "no symbol"},
    };
    for (const auto& r : rows) {
        TextFormat format;
        format.checkHighLow = r.checkHighLow;
        const QuoteText t = ReadQuoteText(r.text, format, "in.csv");
        ASSERT_TRUE(t.refusal.empty()) << t.refusal;
        ASSERT_EQ(t.bad.size(), r.line > 0 ? 1u : 0u) << r.text;
        EXPECT_EQ(static_cast<int>(t.quotes.size()), t.lines - (r.line > 0 ? 1 : 0)) << r.text;
        if (r.line == 0) continue;
        EXPECT_EQ(std::tie(t.bad[0].file, t.bad[0].line), std::make_tuple("in.csv", r.line));
        EXPECT_NE(t.bad[0].reason.find(r.reason), std::string::npos) << t.bad[0].reason;
    }
}

// Columns the caller gives override the title row; a title row alone without a line end
// holds no quotes; fields in quotes keep their delimiters; column lists and date form names.
TEST(QuoteTextTest, GivenColumnsQuotedFieldsAndNames) {
    TextFormat format;
    format.columns = *ParseColumnList("date,skip,close");
    const QuoteText given = ReadQuoteText("DATE,OPEN,HIGH\n20200102,1,2\n", format, "f");
    ASSERT_TRUE(given.refusal.empty()) << given.refusal;
    ASSERT_EQ(given.quotes.size(), 1u);
    EXPECT_EQ(given.quotes[0].has, (std::array<bool, 6>{false, false, false, true, false, false}));
    EXPECT_EQ(given.quotes[0].values[3], 2.0f);

    TextFormat compact;
    compact.dateForm = kYyyymmdd;
    const QuoteText title = ReadQuoteText("Date,Close", compact, "f");
    EXPECT_EQ(std::tie(title.refusal, title.lines), std::make_tuple("", 0));
    EXPECT_TRUE(title.quotes.empty());

    EXPECT_EQ(SplitFields("A,\"B, C\",\"say \"\"hi\"\"\",", ','),
              (std::vector<std::string>{"A", "B, C", "say \"hi\"", ""}));

    std::string bad;
    EXPECT_FALSE(ParseColumnList("date,opn", &bad).has_value());
    EXPECT_EQ(bad, "opn");
    EXPECT_EQ(ColumnListText(*ParseColumnList("Date,<VOL>,Open Interest,ticker")),
              "date,vol,oi,symbol");
    for (DateForm f : {kYyyymmdd, kIso, kMdy, kDmy, kDmyDot})
        EXPECT_EQ(DateFormOfName(DateFormName(f)), f);
    EXPECT_EQ(DateFormOfName("mm/dd/yy"), kMdy);
    EXPECT_FALSE(DateFormOfName("DD-MM-YYYY").has_value());
}

// A long file is read in two halves at once: every line keeps its number, symbol, name and
// place, wherever the halves meet (in the middle of a run of one symbol here).
TEST(QuoteTextTest, LongFileReadsAsItsLinesSay) {
    constexpr int kLines = 40000;
    const auto lineOf = [](int i) { return 2 + i + (i + 250) / 500; };  // a blank line every 500
    const auto bad = [](int i) { return i % 997 == 3; };
    std::string text = "\xEF\xBB\xBFSymbol,Name,Date,Close\r\n";
    const DateCode first = MakeDate(1990, 1, 1);
    for (int i = 0; i < kLines; ++i) {
        if (i % 500 == 250) text += "\n";
        const DateParts d = SplitDate(first + i);
        char line[80];
        std::snprintf(line, sizeof line, "S%d,Name %d,%04d%02d%02d,%d%s\n", i / 1000, i / 1000,
                      d.year + 1900, d.month, d.day, i, bad(i) ? "x" : "");
        text += line;
    }
    ASSERT_GT(text.size(), 1u << 20);

    const QuoteText t = ReadQuoteText(text, {}, "long.csv");
    ASSERT_TRUE(t.refusal.empty()) << t.refusal;
    EXPECT_EQ(t.lines, kLines);
    std::size_t quoteAt = 0, badAt = 0;
    for (int i = 0; i < kLines; ++i) {
        if (bad(i)) {
            ASSERT_LT(badAt, t.bad.size());
            EXPECT_EQ(std::tie(t.bad[badAt].line, t.bad[badAt].file),
                      std::make_tuple(lineOf(i), "long.csv"));
            ++badAt;
            continue;
        }
        ASSERT_LT(quoteAt, t.quotes.size());
        const TextQuote& q = t.quotes[quoteAt++];
        ASSERT_EQ(
            std::make_tuple(q.line, q.date, q.values[3], t.symbolOf(q), t.nameOf(q)),
            std::make_tuple(lineOf(i), first + i, static_cast<float>(i),
                            "S" + std::to_string(i / 1000), "Name " + std::to_string(i / 1000)));
    }
    EXPECT_EQ(quoteAt, t.quotes.size());
    EXPECT_EQ(badAt, t.bad.size());
}

}  // namespace
}  // namespace barwise
