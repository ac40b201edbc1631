// The chart's model: pixel columns against a plain recount of the bars, the bar a click
// hits, the range after each move, the scales, the marks and the time axis, on daily,
// 1928, back-adjusted (negative), intraday and empty series. The real databases are read
// whole by the data-file tests and by the import's round trip over every one of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "chart/chartmodel.h"
#include "chart/timeaxis.h"

using namespace barwise;

namespace {

using Fields = std::array<bool, 6>;
constexpr Fields kAll = {true, true, true, true, true, true};
constexpr Fields kCloseOnly = {false, false, false, true, false, false};
constexpr Fields kNoOpen = {false, true, true, true, true, false};

// 0 on Sundays, 6 on Saturdays: day 1 (1 January 1961) was a Sunday.
const auto Weekday = [](DateCode d) { return ((d - 1) % 7 + 7) % 7; };

// Names a parameterised case after its row.
const auto kCaseName = [](const auto& info) { return std::string(info.param.name); };

// Weekdays from `first`, prices wandering around `base` (high and low 1 either side of
// the close, the open halfway); base may be negative, as in a back-adjusted future.
std::vector<LoadedQuote> Daily(DateCode first, int count, float base = 50) {
    std::vector<LoadedQuote> out;
    DateCode d = first;
    for (int i = 0; i < count; ++i) {
        while (Weekday(d) == 0 || Weekday(d) == 6) ++d;
        LoadedQuote q;
        q.date = d++;
        const float close = base + static_cast<float>((i * 37) % 23) - 11;
        const float volume = static_cast<float>(1000 + (i * 53) % 900);
        q.values = {close - 0.5f, close + 1, close - 1, close, volume, -1};
        out.push_back(q);
    }
    return out;
}

// `perDay` one-minute bars from 09:30 on each of `days` days.
std::vector<LoadedQuote> Intraday(DateCode first, int days, int perDay) {
    std::vector<LoadedQuote> out;
    for (int d = 0; d < days; ++d)
        for (int m = 0; m < perDay; ++m) {
            LoadedQuote q;
            q.date = first + d;
            q.time = MakeTime(9, 30, 0) + m * 60;
            q.values = {10, 11, 9, 10.5f, 100, -1};
            out.push_back(q);
        }
    return out;
}

ChartModel Model(std::vector<LoadedQuote> quotes, int width, const Fields& present = kAll,
                 bool hasTime = false) {
    ChartModel m;
    m.setWidth(width);
    m.setSeries(std::move(quotes), present, hasTime);
    m.fitAll();
    return m;
}

// ----- columns and the bar under a pixel -----

struct ColumnCase {
    const char* name;
    int bars, width, first, count;
    Fields present = kAll;  // the close alone: a line of the closes
};

class ColumnsTest : public ::testing::TestWithParam<ColumnCase> {};

// Every bar in view lies in exactly one column; a column's values are those of its bars;
// a click on any pixel of a column hits a bar of that column, and on a bar wider than a
// pixel, that bar wherever it is clicked.
TEST_P(ColumnsTest, ColumnsGatherTheirBarsAndClicksHitThem) {
    const ColumnCase& c = GetParam();
    ChartModel m = Model(Daily(MakeDate(1999, 1, 4), c.bars), c.width, c.present);
    const bool line = c.present == kCloseOnly;
    EXPECT_EQ(m.shape(), line ? PriceShape::kLine : PriceShape::kBars);
    const std::vector<std::size_t> prices =
        line ? std::vector<std::size_t>{3} : std::vector<std::size_t>{0, 1, 2, 3};
    m.setRange(c.first, c.count);
    ASSERT_EQ(std::make_pair(m.first(), m.visibleCount()), std::make_pair(c.first, c.count));
    // The columns follow each other from the first bar and pixel on, at least a pixel wide.
    int next = c.first;
    int x = 0;
    for (const ChartColumn& col : m.columns()) {
        ASSERT_EQ(std::make_pair(col.firstBar, col.x), std::make_pair(next, x));
        ASSERT_GE(col.width, 1);
        float low = 1e30f, high = -1e30f, volume = 0;
        for (int i = col.firstBar; i <= col.lastBar; ++i) {
            const LoadedQuote& q = m.bar(i);
            for (std::size_t f : prices) {
                low = std::min(low, q.values[f]);
                high = std::max(high, q.values[f]);
            }
            volume = std::max(volume, q.values[4]);
            ASSERT_EQ(m.columnOfBar(i), col.x) << "bar " << i;
        }
        if (col.firstBar == col.lastBar) {
            EXPECT_EQ(m.barSpan(col.firstBar), col.width);
        }
        const float open = m.bar(col.firstBar).values[0], close = m.bar(col.lastBar).values[3];
        EXPECT_EQ(std::tie(col.low, col.high, col.volume, col.open, col.close),
                  std::tie(low, high, volume, open, close));
        for (int px = col.x; px < col.x + col.width; ++px) {
            const int hit = m.barAt(px);
            ASSERT_TRUE(hit >= col.firstBar && hit <= col.lastBar) << "pixel " << px;
        }
        next = col.lastBar + 1;
        x = col.x + col.width;
    }
    // The columns hold the last bar of the range and fill the plot; off it a click hits nothing.
    EXPECT_EQ(std::make_pair(next, x), std::make_pair(c.first + c.count, c.width));
    EXPECT_EQ(std::make_pair(m.barAt(-1), m.barAt(c.width)), std::make_pair(-1, -1));
}

const ColumnCase kColumnCases[] = {
    {"LongestFileZoomedOut", 65534, 1000, 0, 65534},
    {"TwoBarsPerColumn", 400, 200, 0, 400},
    {"JustOverOnePerColumn", 1001, 1000, 0, 1001},
    {"OneBarPerColumn", 300, 300, 0, 300},
    {"WideBars", 300, 997, 120, 37},
    {"FewestBars", 5000, 640, 4990, 10},
    {"MiddleOfTheSeries", 20000, 813, 7321, 4099},
    {"CloseOnlyIsALineOfItsCloses", 8, 4, 0, 8, kCloseOnly},
};
INSTANTIATE_TEST_SUITE_P(Chart, ColumnsTest, ::testing::ValuesIn(kColumnCases), kCaseName);

TEST(ChartColumns, EmptySeriesDrawsNothingAndHitsNothing) {
    ChartModel m = Model({}, 500);
    EXPECT_EQ(m.barCount(), 0);
    EXPECT_TRUE(m.columns().empty());
    EXPECT_EQ(m.barAt(0), -1);
    m.zoomAt(100, 2);
    m.panBars(5);
    m.ensureVisible(0);
    m.showLast();
    EXPECT_EQ(m.visibleCount(), 0);
    EXPECT_TRUE(TimeAxisLabels(m, 60).empty());
    EXPECT_TRUE(m.logScaleRefusal().empty());
    m.setMarks(MarkKind::kSplitCandidate,
               {{MarkKind::kSplitCandidate, MakeDate(2001, 1, 2), std::nullopt, "x"}});
    EXPECT_TRUE(m.marks().empty());
    EXPECT_EQ(m.barText(0) + m.barDateText(0), "");
    // Bars with neither a price nor a volume to draw: no columns either.
    EXPECT_TRUE(Model(Daily(MakeDate(2001, 5, 1), 8), 100, Fields{}).columns().empty());
}

// ----- the range -----

// A move of the range, with the pixel, the bars or the bar it takes.
using Move = void (*)(ChartModel&, int);
const Move kFit = [](ChartModel& m, int) { m.fitAll(); };
const Move kZoomIn = [](ChartModel& m, int x) { m.zoomAt(x, 2); };
const Move kZoomOut = [](ChartModel& m, int x) { m.zoomAt(x, 0.5); };
const Move kPan = [](ChartModel& m, int bars) { m.panBars(bars); };
const Move kFirst = [](ChartModel& m, int) { m.showFirst(); };
const Move kLast = [](ChartModel& m, int) { m.showLast(); };
const Move kEnsure = [](ChartModel& m, int bar) { m.ensureVisible(bar); };
const Move kDrag = [](ChartModel& m, int pixels) { m.panPixels(pixels); };
// New data of that many bars (a quote deleted, fewer than the range reaches or holds).
const Move kNewData = [](ChartModel& m, int bars) {
    m.setSeries(Daily(MakeDate(2010, 1, 4), bars), kAll, false);
};

struct RangeCase {
    const char* name;
    int bars;
    int first, count;  // before
    Move move;
    int arg;
    int wantFirst, wantCount;
};

class RangeTest : public ::testing::TestWithParam<RangeCase> {};

TEST_P(RangeTest, MovesStayInTheSeries) {
    const RangeCase& c = GetParam();
    ChartModel m = Model(Daily(MakeDate(2010, 1, 4), c.bars), 1000);
    m.setRange(c.first, c.count);
    const int under = m.barAt(c.arg);
    c.move(m, c.arg);
    EXPECT_EQ(std::make_pair(m.first(), m.visibleCount()),
              std::make_pair(c.wantFirst, c.wantCount));
    // A zoom that the series' ends do not stop keeps the bar under the pointer there.
    const bool free = m.first() > 0 && m.first() + m.visibleCount() < c.bars;
    if ((c.move == kZoomIn || c.move == kZoomOut) && free) {
        EXPECT_LE(std::abs(m.barAt(c.arg) - under), 1);
    }
}

// Zooming about the middle keeps the middle bar there.
const RangeCase kRangeCases[] = {
    {"FitShowsEveryBar", 5000, 100, 50, kFit, 0, 0, 5000},
    {"ZoomInAboutTheMiddle", 5000, 1000, 1000, kZoomIn, 500, 1250, 500},
    {"ZoomInAboutTheLeftEdge", 5000, 1000, 1000, kZoomIn, 0, 1000, 500},
    {"ZoomOutAboutTheRightEdge", 5000, 3000, 1000, kZoomOut, 999, 2001, 2000},
    {"ZoomOutStopsAtTheWholeSeries", 5000, 0, 4000, kZoomOut, 500, 0, 5000},
    {"ZoomInStopsAtTenBars", 5000, 2000, 12, kZoomIn, 500, 2001, 10},
    {"ShortSeriesShowsAllItHas", 6, 0, 6, kZoomIn, 500, 0, 6},
    {"PanPastTheOldestStops", 5000, 30, 100, kPan, -50, 0, 100},
    {"PanPastTheNewestStops", 5000, 4850, 100, kPan, 80, 4900, 100},
    {"DragRightShowsOlderBars", 5000, 2000, 500, kDrag, 200, 1900, 500},
    {"HomeKeepsTheZoom", 5000, 2000, 300, kFirst, 0, 0, 300},
    {"EndKeepsTheZoom", 5000, 2000, 300, kLast, 0, 4700, 300},
    {"BarLeftOfTheRangeComesIn", 5000, 2000, 300, kEnsure, 1500, 1500, 300},
    {"BarRightOfTheRangeComesIn", 5000, 2000, 300, kEnsure, 2400, 2101, 300},
    {"BarInViewMovesNothing", 5000, 2000, 300, kEnsure, 2299, 2000, 300},
    // New data keeps the range where it fits.
    {"QuoteDeletedKeepsTheRange", 1000, 600, 200, kNewData, 999, 600, 200},
    {"FewerBarsThanTheRangeReaches", 1000, 600, 200, kNewData, 700, 500, 200},
    {"FewerBarsThanTheRangeHolds", 1000, 600, 200, kNewData, 50, 0, 50},
};
INSTANTIATE_TEST_SUITE_P(Chart, RangeTest, ::testing::ValuesIn(kRangeCases), kCaseName);

// ----- scales -----

struct ScaleCase {
    const char* name;
    std::vector<LoadedQuote> quotes;  // intraday bars when the first has a time
    Fields present;
    std::string refusal;  // empty: a logarithmic scale is taken
};

class ScaleTest : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(ScaleTest, LogScaleIsRefusedWhileAPriceIsZeroOrBelow) {
    const ScaleCase& c = GetParam();
    ChartModel m = Model(c.quotes, 600, c.present, c.quotes.front().time != 0);
    EXPECT_EQ(m.logScaleRefusal(), c.refusal);
    EXPECT_EQ(m.setScale(PriceScale::kLog), c.refusal.empty());
    EXPECT_EQ(m.scale(), c.refusal.empty() ? PriceScale::kLog : PriceScale::kLinear);
    // Either scale puts the lowest price in view below the highest, both within the pane.
    const ValueSpan span = m.priceSpan();
    const double yLow = m.priceToY(span.low, 400);
    const double yHigh = m.priceToY(span.high, 400);
    EXPECT_TRUE(0 <= yHigh && yHigh < yLow && yLow <= 400) << yHigh << " " << yLow;
    EXPECT_NEAR(m.yToPrice(yLow, 400), span.low, std::abs(span.low) * 1e-9 + 1e-9);
}

std::vector<LoadedQuote> WithValue(std::vector<LoadedQuote> q, int bar, int field, float v) {
    q[static_cast<std::size_t>(bar)].values[static_cast<std::size_t>(field)] = v;
    return q;
}

const std::string kNeedsAbove0 = "A logarithmic scale needs every price above 0: the ";
// An absent open reads -1: the layout, not the value, says it is not there.
const ScaleCase kScaleCases[] = {
    {"PositivePrices", Daily(MakeDate(1999, 1, 4), 300), kAll, ""},
    {"From1928", Daily(MakeDate(1928, 10, 1), 3000, 20), kAll, ""},
    {"BackAdjustedNegative", Daily(MakeDate(2005, 1, 3), 200, -30), kAll,
     kNeedsAbove0 + "open of 01/03/2005 is -41.5000."},
    {"ZeroClose", WithValue(Daily(MakeDate(2005, 1, 3), 50), 7, 3, 0), kAll,
     kNeedsAbove0 + "close of 01/12/2005 is 0.0000."},
    {"AbsentOpenIsNoPrice", WithValue(Daily(MakeDate(2005, 1, 3), 50), 3, 0, -1), kNoOpen, ""},
    {"IntradayNamesTheBar", WithValue(Intraday(MakeDate(2024, 3, 15), 1, 30), 12, 2, -0.25f), kAll,
     kNeedsAbove0 + "low of 03/15/2024 09:42:00 is -0.2500."},
};
INSTANTIATE_TEST_SUITE_P(Chart, ScaleTest, ::testing::ValuesIn(kScaleCases), kCaseName);

TEST(ChartScale, LogScaleGivesEqualRatiosEqualHeightsUntilTheDataTurnsNegative) {
    ChartModel m = Model(Daily(MakeDate(1999, 1, 4), 100), 600);
    ASSERT_TRUE(m.setScale(PriceScale::kLog));
    const auto y = [&](double price) { return m.priceToY(price, 500); };
    EXPECT_NEAR(y(40) - y(80), y(20) - y(40), 1e-9);
    m.setSeries(Daily(MakeDate(1999, 1, 4), 100, -5), kAll, false);
    EXPECT_EQ(m.scale(), PriceScale::kLinear);
}

struct TickCase {
    const char* name;
    double low, high;
    int wanted;
    PriceScale scale;
    std::vector<double> ticks;
};

class TickTest : public ::testing::TestWithParam<TickCase> {};

TEST_P(TickTest, RoundValuesWithinTheSpan) {
    const TickCase& c = GetParam();
    const std::vector<double> got = PriceTicks(c.low, c.high, c.wanted, c.scale);
    ASSERT_EQ(got.size(), c.ticks.size());
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], c.ticks[i], 1e-9) << i;
}

constexpr PriceScale kLinear = PriceScale::kLinear, kLog = PriceScale::kLog;
const TickCase kTickCases[] = {
    {"Tens", 3, 47, 5, kLinear, {10, 20, 30, 40}},
    {"AcrossZero", -3.7, 2.1, 6, kLinear, {-3, -2, -1, 0, 1, 2}},
    {"Cents", 10.01, 10.09, 4, kLinear, {10.02, 10.04, 10.06, 10.08}},
    {"Fives", 0, 20, 4, kLinear, {0, 5, 10, 15, 20}},
    {"Decades", 1.5, 600, 12, kLog, {2, 5, 10, 20, 50, 100, 200, 500}},
    {"CrowdedDecadesPowersOnly", 0.9, 200000, 8, kLog, {1, 10, 100, 1000, 10000, 100000}},
    {"LogWithinADecadeIsLinear", 20, 60, 4, kLog, {20, 30, 40, 50, 60}},
    {"NoSpan", 5, 5, 4, kLinear, {}},
};
INSTANTIATE_TEST_SUITE_P(Chart, TickTest, ::testing::ValuesIn(kTickCases), kCaseName);

// ----- selection and marks -----

TEST(ChartMarks, MarksFindTheirBarsByDateAndTime) {
    ChartModel m = Model(Intraday(MakeDate(2024, 3, 14), 2, 60), 600, kAll, true);
    const DateCode day = MakeDate(2024, 3, 14);
    const MarkKind split = MarkKind::kSplitCandidate, suspect = MarkKind::kSuspectData;
    m.setMarks(split, {{split, day + 1, std::nullopt, "first bar of the day"},
                       {split, day + 2, {}, "no such day"}});
    m.setMarks(suspect, {{suspect, day, MakeTime(10, 0, 0), "spike"},
                         {suspect, day, MakeTime(10, 0, 30), "no bar"}});
    const auto placed = [&] {
        std::vector<std::tuple<int, MarkKind, std::string>> out;
        for (const PlacedMark& p : m.marks()) out.emplace_back(p.bar, p.kind, p.text);
        return out;
    };
    using Placed = decltype(placed());
    EXPECT_EQ(placed(), (Placed{{30, suspect, "spike"}, {60, split, "first bar of the day"}}));
    // Replacing one kind leaves the other.
    m.setMarks(suspect, {});
    EXPECT_EQ(placed(), (Placed{{60, split, "first bar of the day"}}));
    // 120 bars on 600 pixels: 5 a bar. Near the mark's bar it is found, farther not.
    EXPECT_EQ(m.marksNear(m.columnOfBar(60) + 2, 0).size(), 1u);
    EXPECT_EQ(m.marksNear(m.columnOfBar(60) - 3, 3).size(), 1u);
    EXPECT_TRUE(m.marksNear(m.columnOfBar(60) - 4, 3).empty());
    m.setRange(0, 50);
    EXPECT_TRUE(m.marksNear(m.columnOfBar(60), 1000).empty());  // not in view
}

TEST(ChartMarks, FileOutOfDateOrderStillFindsItsBars) {
    std::vector<LoadedQuote> q = Daily(MakeDate(2003, 6, 2), 40);
    std::swap(q[10], q[30]);
    ChartModel m = Model(q, 400);
    for (const int bar : {10, 30, 20}) EXPECT_EQ(m.findBar(q[bar].date, std::nullopt), bar);
}

// The position holds the quote, the quote moved on, the position is past the end; nothing.
TEST(ChartMarks, SelectedQuoteIsItsBar) {
    const struct {
        int position;
        int dateOf;  // the bar whose date and time are told; -1: no date
        int want;
    } rows[] = {{25, 25, 25}, {24, 25, 25}, {600, 59, 59}, {-1, -1, -1}};
    for (const auto& c : rows) {
        ChartModel m = Model(Intraday(MakeDate(2024, 3, 14), 3, 20), 600, kAll, true);
        const DateCode date = c.dateOf >= 0 ? m.bar(c.dateOf).date : kNoDate;
        const TimeCode time = c.dateOf >= 0 ? m.bar(c.dateOf).time : 0;
        m.setSelected(c.position, date, time);
        EXPECT_EQ(m.selectedBar(), c.want) << c.position;
    }
}

TEST(ChartText, BarTextShowsTheFieldsTheSeriesHas) {
    std::vector<LoadedQuote> q = Daily(MakeDate(1928, 10, 1), 3, 20);
    ChartModel m = Model(q, 100, kNoOpen);
    EXPECT_EQ(m.barText(0), "10/01/1928  H 10.0000  L 8.0000  C 9.0000  V 1000");
    const Fields prices = {true, true, true, true, false, false};
    ChartModel intraday = Model(Intraday(MakeDate(2024, 3, 14), 1, 2), 100, prices, true);
    EXPECT_EQ(intraday.barText(1),
              "03/14/2024 09:31:00  O 10.0000  H 11.0000  L 9.0000  C 10.5000");
    // The crosshair's axis label: the date (and time) alone; nothing off the series.
    EXPECT_EQ(m.barDateText(2), "10/03/1928");
    EXPECT_EQ(intraday.barDateText(1), "03/14/2024 09:31:00");
    EXPECT_EQ(m.barDateText(3) + m.barDateText(-1), "");
}

// ----- time axis -----

struct AxisCase {
    const char* name;
    std::vector<LoadedQuote> quotes;  // intraday bars when the first has a time
    int width;
    int first, count;               // count 0: every bar
    std::vector<std::string> some;  // texts among the labels
    int lowestRank;                 // the finest unit labelled
};

class AxisTest : public ::testing::TestWithParam<AxisCase> {};

// Labels stand at the first bar of their unit, name it, keep their distance, and the
// finest unit is the one the zoom allows.
TEST_P(AxisTest, LabelsStandAtTheStartOfTheirPeriod) {
    const AxisCase& c = GetParam();
    ChartModel m = Model(c.quotes, c.width, kAll, c.quotes.front().time != 0);
    if (c.count > 0) m.setRange(c.first, c.count);
    const int spacing = 60;
    const std::vector<AxisLabel> labels = TimeAxisLabels(m, spacing);
    ASSERT_FALSE(labels.empty());
    int lowest = 5;
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const AxisLabel& l = labels[i];
        texts.push_back(l.text);
        lowest = std::min(lowest, l.rank);
        ASSERT_TRUE(l.bar > m.first() && l.bar < m.first() + m.visibleCount()) << l.text;
        if (i > 0) {
            EXPECT_GE(l.x - labels[i - 1].x, spacing) << l.text;
        }
        // A year's label names its year, a month's starts a month; a week's or a day's starts a
        // day, an hour's or a minute's stays within one.
        const DateParts now = SplitDate(m.bar(l.bar).date);
        const DateParts before = SplitDate(m.bar(l.bar - 1).date);
        const bool newYear = now.year != before.year, newMonth = now.month != before.month;
        EXPECT_TRUE(l.rank != 4 || (newYear && l.text == std::to_string(1900 + now.year)))
            << l.text;
        EXPECT_TRUE(l.rank != 3 || newMonth) << l.text;
        EXPECT_EQ(l.rank >= 2, m.bar(l.bar).date != m.bar(l.bar - 1).date) << l.text;
    }
    for (const std::string& want : c.some)
        EXPECT_NE(std::find(texts.begin(), texts.end(), want), texts.end()) << want;
    EXPECT_EQ(lowest, c.lowestRank);
}

const AxisCase kAxisCases[] = {
    {"From1928ByYears", Daily(MakeDate(1928, 10, 1), 3000, 20), 900, 0, 0, {"1929", "1935"}, 4},
    {"LongestFile", Daily(MakeDate(1900, 1, 1), 65534), 1000, 0, 0, {"2000", "2100"}, 4},
    {"OneQuarterByWeeks", Daily(MakeDate(2024, 1, 2), 200), 1000, 40, 60, {"Apr", "Mar 4"}, 2},
    {"AYearByMonths", Daily(MakeDate(2023, 1, 2), 400), 1000, 0, 280, {"2024", "Jun"}, 3},
    {"IntradayByHours", Intraday(MakeDate(2024, 3, 14), 2, 390), 800, 0, 0, {"Mar 15", "12:00"}, 1},
    {"IntradayManyDays", Intraday(MakeDate(2024, 3, 14), 40, 390), 800, 0, 0, {"Apr"}, 2},
};
INSTANTIATE_TEST_SUITE_P(Chart, AxisTest, ::testing::ValuesIn(kAxisCases), kCaseName);

}  // namespace
