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

constexpr std::array<bool, 6> kAll = {true, true, true, true, true, true};
constexpr std::array<bool, 6> kCloseOnly = {false, false, false, true, false, false};

// 0 on Sundays, 6 on Saturdays: day 1 (1 January 1961) was a Sunday.
int Weekday(DateCode d) { return ((d - 1) % 7 + 7) % 7; }

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
        q.values = {close - 0.5f, close + 1, close - 1, close, static_cast<float>(1000 + (i * 53) % 900), -1};
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

ChartModel Model(std::vector<LoadedQuote> quotes, int width, const std::array<bool, 6>& present = kAll,
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
    int bars;
    int width;
    int first;
    int count;
};

class ColumnsTest : public ::testing::TestWithParam<ColumnCase> {};

// Every bar in view lies in exactly one column; a column's values are those of its bars;
// a click on any pixel of a column hits a bar of that column, and on a bar wider than a
// pixel, that bar wherever it is clicked.
TEST_P(ColumnsTest, ColumnsGatherTheirBarsAndClicksHitThem) {
    const ColumnCase& c = GetParam();
    ChartModel m = Model(Daily(MakeDate(1999, 1, 4), c.bars), c.width);
    m.setRange(c.first, c.count);
    ASSERT_EQ(m.first(), c.first);
    ASSERT_EQ(m.visibleCount(), c.count);
    const std::vector<ChartColumn>& cols = m.columns();
    ASSERT_FALSE(cols.empty());
    EXPECT_EQ(cols.front().firstBar, c.first);
    EXPECT_EQ(cols.back().lastBar, c.first + c.count - 1);
    EXPECT_LE(static_cast<int>(cols.size()), c.width);
    int next = c.first;
    int x = 0;
    for (const ChartColumn& col : cols) {
        ASSERT_EQ(col.firstBar, next);
        ASSERT_EQ(col.x, x);
        ASSERT_LT(col.x, c.width);
        ASSERT_GE(col.width, 1);
        float low = 1e30f, high = -1e30f, volume = 0;
        for (int i = col.firstBar; i <= col.lastBar; ++i) {
            const LoadedQuote& q = m.bar(i);
            low = std::min({low, q.values[0], q.values[1], q.values[2], q.values[3]});
            high = std::max({high, q.values[0], q.values[1], q.values[2], q.values[3]});
            volume = std::max(volume, q.values[4]);
            ASSERT_EQ(m.columnOfBar(i), col.x) << "bar " << i;
        }
        if (col.firstBar == col.lastBar) {
            EXPECT_EQ(m.barSpan(col.firstBar), col.width);
        }
        EXPECT_EQ(col.low, low);
        EXPECT_EQ(col.high, high);
        EXPECT_EQ(col.volume, volume);
        EXPECT_EQ(col.open, m.bar(col.firstBar).values[0]);
        EXPECT_EQ(col.close, m.bar(col.lastBar).values[3]);
        for (int px = col.x; px < col.x + col.width; ++px) {
            const int hit = m.barAt(px);
            ASSERT_GE(hit, col.firstBar) << "pixel " << px;
            ASSERT_LE(hit, col.lastBar) << "pixel " << px;
        }
        next = col.lastBar + 1;
        x = col.x + col.width;
    }
    EXPECT_EQ(x, c.width);  // the columns fill the plot
    EXPECT_EQ(m.barAt(-1), -1);
    EXPECT_EQ(m.barAt(c.width), -1);
}

INSTANTIATE_TEST_SUITE_P(
    Chart, ColumnsTest,
    ::testing::Values(ColumnCase{"LongestFileZoomedOut", 65534, 1000, 0, 65534},
                      ColumnCase{"TwoBarsPerColumn", 400, 200, 0, 400},
                      ColumnCase{"JustOverOnePerColumn", 1001, 1000, 0, 1001},
                      ColumnCase{"OneBarPerColumn", 300, 300, 0, 300},
                      ColumnCase{"WideBars", 300, 997, 120, 37},
                      ColumnCase{"FewestBars", 5000, 640, 4990, 10},
                      ColumnCase{"MiddleOfTheSeries", 20000, 813, 7321, 4099}),
    [](const ::testing::TestParamInfo<ColumnCase>& info) { return std::string(info.param.name); });

TEST(ChartColumns, CloseOnlySeriesIsALineOfItsCloses) {
    std::vector<LoadedQuote> q = Daily(MakeDate(2001, 5, 1), 8);
    ChartModel m = Model(q, 4, kCloseOnly);
    EXPECT_EQ(m.shape(), PriceShape::kLine);
    ASSERT_EQ(m.columns().size(), 4u);
    for (const ChartColumn& c : m.columns()) {
        EXPECT_EQ(c.low, std::min(q[c.firstBar].values[3], q[c.lastBar].values[3]));
        EXPECT_EQ(c.high, std::max(q[c.firstBar].values[3], q[c.lastBar].values[3]));
    }
}

TEST(ChartColumns, EmptySeriesDrawsNothingAndHitsNothing) {
    ChartModel m = Model({}, 500);
    EXPECT_EQ(m.barCount(), 0);
    EXPECT_TRUE(m.columns().empty());
    EXPECT_EQ(m.barAt(0), -1);
    EXPECT_EQ(m.barAt(250), -1);
    m.zoomAt(100, 2);
    m.panBars(5);
    m.ensureVisible(0);
    m.showLast();
    EXPECT_EQ(m.visibleCount(), 0);
    EXPECT_TRUE(TimeAxisLabels(m, 60).empty());
    EXPECT_TRUE(m.logScaleRefusal().empty());
    m.setMarks(MarkKind::kSplitCandidate, {{MarkKind::kSplitCandidate, MakeDate(2001, 1, 2), std::nullopt, "x"}});
    EXPECT_TRUE(m.marks().empty());
    EXPECT_EQ(m.barText(0), "");
    EXPECT_EQ(m.barDateText(0), "");
    // Bars with neither a price nor a volume to draw: no columns either.
    EXPECT_TRUE(Model(Daily(MakeDate(2001, 5, 1), 8), 100, {false, false, false, false, false, false}).columns().empty());
}

// ----- the range -----

enum class Move { kFit, kZoomIn, kZoomOut, kPanLeft, kPanRight, kFirst, kLast, kEnsure, kDrag };

struct RangeCase {
    const char* name;
    int bars;
    int first, count;  // before
    Move move;
    int arg;            // the pixel, bars or bar the move takes
    int wantFirst, wantCount;
};

class RangeTest : public ::testing::TestWithParam<RangeCase> {};

TEST_P(RangeTest, MovesStayInTheSeries) {
    const RangeCase& c = GetParam();
    ChartModel m = Model(Daily(MakeDate(2010, 1, 4), c.bars), 1000);
    m.setRange(c.first, c.count);
    const int under = m.barAt(c.arg);
    switch (c.move) {
        case Move::kFit: m.fitAll(); break;
        case Move::kZoomIn: m.zoomAt(c.arg, 2); break;
        case Move::kZoomOut: m.zoomAt(c.arg, 0.5); break;
        case Move::kPanLeft: m.panBars(-c.arg); break;
        case Move::kPanRight: m.panBars(c.arg); break;
        case Move::kFirst: m.showFirst(); break;
        case Move::kLast: m.showLast(); break;
        case Move::kEnsure: m.ensureVisible(c.arg); break;
        case Move::kDrag: m.panPixels(c.arg); break;
    }
    EXPECT_EQ(m.first(), c.wantFirst);
    EXPECT_EQ(m.visibleCount(), c.wantCount);
    // A zoom that the series' ends do not stop keeps the bar under the pointer there.
    const bool free = m.first() > 0 && m.first() + m.visibleCount() < c.bars;
    if ((c.move == Move::kZoomIn || c.move == Move::kZoomOut) && free) {
        EXPECT_LE(std::abs(m.barAt(c.arg) - under), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Chart, RangeTest,
    ::testing::Values(RangeCase{"FitShowsEveryBar", 5000, 100, 50, Move::kFit, 0, 0, 5000},
                      // Zooming about the middle keeps the middle bar there.
                      RangeCase{"ZoomInAboutTheMiddle", 5000, 1000, 1000, Move::kZoomIn, 500, 1250, 500},
                      RangeCase{"ZoomInAboutTheLeftEdge", 5000, 1000, 1000, Move::kZoomIn, 0, 1000, 500},
                      RangeCase{"ZoomOutAboutTheRightEdge", 5000, 3000, 1000, Move::kZoomOut, 999, 2001, 2000},
                      RangeCase{"ZoomOutStopsAtTheWholeSeries", 5000, 0, 4000, Move::kZoomOut, 500, 0, 5000},
                      RangeCase{"ZoomInStopsAtTenBars", 5000, 2000, 12, Move::kZoomIn, 500, 2001, 10},
                      RangeCase{"ShortSeriesShowsAllItHas", 6, 0, 6, Move::kZoomIn, 500, 0, 6},
                      RangeCase{"PanPastTheOldestStops", 5000, 30, 100, Move::kPanLeft, 50, 0, 100},
                      RangeCase{"PanPastTheNewestStops", 5000, 4850, 100, Move::kPanRight, 80, 4900, 100},
                      RangeCase{"DragRightShowsOlderBars", 5000, 2000, 500, Move::kDrag, 200, 1900, 500},
                      RangeCase{"HomeKeepsTheZoom", 5000, 2000, 300, Move::kFirst, 0, 0, 300},
                      RangeCase{"EndKeepsTheZoom", 5000, 2000, 300, Move::kLast, 0, 4700, 300},
                      RangeCase{"BarLeftOfTheRangeComesIn", 5000, 2000, 300, Move::kEnsure, 1500, 1500, 300},
                      RangeCase{"BarRightOfTheRangeComesIn", 5000, 2000, 300, Move::kEnsure, 2400, 2101, 300},
                      RangeCase{"BarInViewMovesNothing", 5000, 2000, 300, Move::kEnsure, 2299, 2000, 300}),
    [](const ::testing::TestParamInfo<RangeCase>& info) { return std::string(info.param.name); });

TEST(ChartRange, NewDataKeepsTheRangeWhereItFits) {
    ChartModel m = Model(Daily(MakeDate(2010, 1, 4), 1000), 800);
    m.setRange(600, 200);
    m.setSeries(Daily(MakeDate(2010, 1, 4), 999), kAll, false);  // a quote deleted
    EXPECT_EQ(m.first(), 600);
    EXPECT_EQ(m.visibleCount(), 200);
    m.setSeries(Daily(MakeDate(2010, 1, 4), 700), kAll, false);  // fewer than the range reaches
    EXPECT_EQ(m.first(), 500);
    EXPECT_EQ(m.visibleCount(), 200);
    m.setSeries(Daily(MakeDate(2010, 1, 4), 50), kAll, false);
    EXPECT_EQ(m.first(), 0);
    EXPECT_EQ(m.visibleCount(), 50);
}

// ----- scales -----

struct ScaleCase {
    const char* name;
    std::vector<LoadedQuote> quotes;
    std::array<bool, 6> present;
    bool hasTime;
    std::string refusal;  // empty: a logarithmic scale is taken
};

class ScaleTest : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(ScaleTest, LogScaleIsRefusedWhileAPriceIsZeroOrBelow) {
    const ScaleCase& c = GetParam();
    ChartModel m = Model(c.quotes, 600, c.present, c.hasTime);
    EXPECT_EQ(m.logScaleRefusal(), c.refusal);
    EXPECT_EQ(m.setScale(PriceScale::kLog), c.refusal.empty());
    EXPECT_EQ(m.scale(), c.refusal.empty() ? PriceScale::kLog : PriceScale::kLinear);
    // Either scale puts the lowest price in view below the highest, both within the pane.
    const ValueSpan span = m.priceSpan();
    const double yLow = m.priceToY(span.low, 400);
    const double yHigh = m.priceToY(span.high, 400);
    EXPECT_GT(yLow, yHigh);
    EXPECT_GE(yHigh, 0);
    EXPECT_LE(yLow, 400);
    EXPECT_NEAR(m.yToPrice(yLow, 400), span.low, std::abs(span.low) * 1e-9 + 1e-9);
}

std::vector<LoadedQuote> WithValue(std::vector<LoadedQuote> q, int bar, int field, float v) {
    q[static_cast<std::size_t>(bar)].values[static_cast<std::size_t>(field)] = v;
    return q;
}

INSTANTIATE_TEST_SUITE_P(
    Chart, ScaleTest,
    ::testing::Values(
        ScaleCase{"PositivePrices", Daily(MakeDate(1999, 1, 4), 300), kAll, false, ""},
        ScaleCase{"From1928", Daily(MakeDate(1928, 10, 1), 3000, 20), kAll, false, ""},
        ScaleCase{"BackAdjustedNegative", Daily(MakeDate(2005, 1, 3), 200, -30), kAll, false,
                  "A logarithmic scale needs every price above 0: the open of 01/03/2005 is -41.5000."},
        ScaleCase{"ZeroClose", WithValue(Daily(MakeDate(2005, 1, 3), 50), 7, 3, 0), kAll, false,
                  "A logarithmic scale needs every price above 0: the close of 01/12/2005 is 0.0000."},
        // An absent open reads -1: the layout, not the value, says it is not there.
        ScaleCase{"AbsentOpenIsNoPrice", WithValue(Daily(MakeDate(2005, 1, 3), 50), 3, 0, -1),
                  {false, true, true, true, true, false}, false, ""},
        ScaleCase{"IntradayNamesTheBar", WithValue(Intraday(MakeDate(2024, 3, 15), 1, 30), 12, 2, -0.25f), kAll, true,
                  "A logarithmic scale needs every price above 0: the low of 03/15/2024 09:42:00 is -0.2500."}),
    [](const ::testing::TestParamInfo<ScaleCase>& info) { return std::string(info.param.name); });

TEST(ChartScale, LogScaleGivesEqualRatiosEqualHeightsUntilTheDataTurnsNegative) {
    ChartModel m = Model(Daily(MakeDate(1999, 1, 4), 100), 600);
    ASSERT_TRUE(m.setScale(PriceScale::kLog));
    EXPECT_NEAR(m.priceToY(40, 500) - m.priceToY(80, 500), m.priceToY(20, 500) - m.priceToY(40, 500), 1e-9);
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

INSTANTIATE_TEST_SUITE_P(
    Chart, TickTest,
    ::testing::Values(TickCase{"Tens", 3, 47, 5, PriceScale::kLinear, {10, 20, 30, 40}},
                      TickCase{"AcrossZero", -3.7, 2.1, 6, PriceScale::kLinear, {-3, -2, -1, 0, 1, 2}},
                      TickCase{"Cents", 10.01, 10.09, 4, PriceScale::kLinear, {10.02, 10.04, 10.06, 10.08}},
                      TickCase{"Fives", 0, 20, 4, PriceScale::kLinear, {0, 5, 10, 15, 20}},
                      TickCase{"Decades", 1.5, 600, 12, PriceScale::kLog, {2, 5, 10, 20, 50, 100, 200, 500}},
                      TickCase{"CrowdedDecadesPowersOnly", 0.9, 200000, 8, PriceScale::kLog, {1, 10, 100, 1000, 10000, 100000}},
                      TickCase{"LogWithinADecadeIsLinear", 20, 60, 4, PriceScale::kLog, {20, 30, 40, 50, 60}},
                      TickCase{"NoSpan", 5, 5, 4, PriceScale::kLinear, {}}),
    [](const ::testing::TestParamInfo<TickCase>& info) { return std::string(info.param.name); });

// ----- selection and marks -----

TEST(ChartMarks, MarksFindTheirBarsByDateAndTime) {
    ChartModel m = Model(Intraday(MakeDate(2024, 3, 14), 2, 60), 600, kAll, true);
    m.setMarks(MarkKind::kSplitCandidate,
               {{MarkKind::kSplitCandidate, MakeDate(2024, 3, 15), std::nullopt, "first bar of the day"},
                {MarkKind::kSplitCandidate, MakeDate(2024, 3, 16), std::nullopt, "no such day"}});
    m.setMarks(MarkKind::kSuspectData,
               {{MarkKind::kSuspectData, MakeDate(2024, 3, 14), MakeTime(10, 0, 0), "spike"},
                {MarkKind::kSuspectData, MakeDate(2024, 3, 14), MakeTime(10, 0, 30), "not a bar's second"}});
    ASSERT_EQ(m.marks().size(), 2u);
    EXPECT_EQ(m.marks()[0].bar, 30);
    EXPECT_EQ(m.marks()[0].text, "spike");
    EXPECT_EQ(m.marks()[1].bar, 60);
    EXPECT_EQ(m.marks()[1].kind, MarkKind::kSplitCandidate);
    // Replacing one kind leaves the other.
    m.setMarks(MarkKind::kSuspectData, {});
    ASSERT_EQ(m.marks().size(), 1u);
    EXPECT_EQ(m.marks()[0].bar, 60);
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
    EXPECT_EQ(m.findBar(q[10].date, std::nullopt), 10);
    EXPECT_EQ(m.findBar(q[30].date, std::nullopt), 30);
    EXPECT_EQ(m.findBar(q[20].date, std::nullopt), 20);
}

TEST(ChartMarks, SelectedQuoteIsItsBar) {
    const struct {
        int position;
        int dateOf;  // the bar whose date and time are told; -1: no date
        int want;
    } rows[] = {
        {25, 25, 25},    // the position holds it
        {24, 25, 25},    // the position moved on
        {600, 59, 59},   // the position past the end
        {-1, -1, -1},    // nothing
    };
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
    ChartModel m = Model(q, 100, {false, true, true, true, true, false});
    EXPECT_EQ(m.barText(0), "10/01/1928  H 10.0000  L 8.0000  C 9.0000  V 1000");
    ChartModel intraday = Model(Intraday(MakeDate(2024, 3, 14), 1, 2), 100, {true, true, true, true, false, false}, true);
    EXPECT_EQ(intraday.barText(1), "03/14/2024 09:31:00  O 10.0000  H 11.0000  L 9.0000  C 10.5000");
    // The crosshair's axis label: the date (and time) alone; nothing off the series.
    EXPECT_EQ(m.barDateText(2), "10/03/1928");
    EXPECT_EQ(intraday.barDateText(1), "03/14/2024 09:31:00");
    EXPECT_EQ(m.barDateText(3), "");
    EXPECT_EQ(m.barDateText(-1), "");
}

// ----- time axis -----

struct AxisCase {
    const char* name;
    std::vector<LoadedQuote> quotes;
    bool hasTime;
    int width;
    int first, count;  // count 0: every bar
    std::vector<std::string> some;  // texts among the labels
    int lowestRank;                 // the finest unit labelled
};

class AxisTest : public ::testing::TestWithParam<AxisCase> {};

// Labels stand at the first bar of their unit, name it, keep their distance, and the
// finest unit is the one the zoom allows.
TEST_P(AxisTest, LabelsStandAtTheStartOfTheirPeriod) {
    const AxisCase& c = GetParam();
    ChartModel m = Model(c.quotes, c.width, kAll, c.hasTime);
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
        ASSERT_GT(l.bar, m.first());
        ASSERT_LT(l.bar, m.first() + m.visibleCount());
        if (i > 0) {
            EXPECT_GE(l.x - labels[i - 1].x, spacing) << l.text;
        }
        const DateParts now = SplitDate(m.bar(l.bar).date);
        const DateParts before = SplitDate(m.bar(l.bar - 1).date);
        switch (l.rank) {
            case 4:
                EXPECT_NE(now.year, before.year);
                EXPECT_EQ(l.text, std::to_string(1900 + now.year));
                break;
            case 3: EXPECT_NE(now.month, before.month) << l.text; break;
            case 2: EXPECT_NE(m.bar(l.bar).date, m.bar(l.bar - 1).date) << l.text; break;
            default: EXPECT_EQ(m.bar(l.bar).date, m.bar(l.bar - 1).date) << l.text; break;
        }
    }
    for (const std::string& want : c.some)
        EXPECT_NE(std::find(texts.begin(), texts.end(), want), texts.end()) << want;
    EXPECT_EQ(lowest, c.lowestRank);
}

INSTANTIATE_TEST_SUITE_P(
    Chart, AxisTest,
    ::testing::Values(
        AxisCase{"From1928ByYears", Daily(MakeDate(1928, 10, 1), 3000, 20), false, 900, 0, 0, {"1929", "1935"}, 4},
        AxisCase{"LongestFileSpansCenturies", Daily(MakeDate(1900, 1, 1), 65534), false, 1000, 0, 0, {"2000", "2100"}, 4},
        AxisCase{"OneQuarterByWeeks", Daily(MakeDate(2024, 1, 2), 200), false, 1000, 40, 60, {"Apr", "Mar 4"}, 2},
        AxisCase{"AYearByMonths", Daily(MakeDate(2023, 1, 2), 400), false, 1000, 0, 280, {"2024", "Jun"}, 3},
        AxisCase{"IntradayByHours", Intraday(MakeDate(2024, 3, 14), 2, 390), true, 800, 0, 0, {"Mar 15", "12:00"}, 1},
        AxisCase{"IntradayManyDays", Intraday(MakeDate(2024, 3, 14), 40, 390), true, 800, 0, 0, {"Apr"}, 2}),
    [](const ::testing::TestParamInfo<AxisCase>& info) { return std::string(info.param.name); });

}  // namespace
