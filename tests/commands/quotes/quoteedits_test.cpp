// The quote commands' input checks, shared by the dialogs and barwise-cli: how a typed
// text becomes a value, which field a refused Split or Adjust names, and where Add puts
// its copy.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "commands/quotes/quoteedits.h"

namespace barwise {
namespace {

// Whole texts only; a number the files cannot hold is read, then refused by MbfHoldsValue. A
// field edited back to the text it showed keeps the value stored, not the one shown.
TEST(QuoteEdits, ReadNumberTakesWholeTextsAndAFieldAsShownKeepsTheStoredValue) {
    const std::pair<const char*, float> values[] = {
        {"12", 12.0f}, {"12.25", 12.25f},  {".5", 0.5f}, {"5.", 5.0f},   {"-2.5", -2.5f},
        {"+3", 3.0f},  {"1.5e3", 1500.0f}, {"0", 0.0f},  {"0e-99", 0.0f}};
    for (const auto& [text, value] : values)
        EXPECT_EQ(ReadNumber(text).value_or(-99.0f), value) << text;
    for (const char* text : {"", " 1", "1 ", "1,5", "5abc", "0x10", "1e", "1e+", "1.2.3", "abc",
                             ".", "-", "+", "--1", "+-1", "inf", "nan", "1\n"})
        EXPECT_FALSE(ReadNumber(text).has_value()) << text;
    for (const char* text : {"1e40", "-1e39", "1e-39", "1e-45", "1e-400", "1e400"}) {
        const std::optional<float> v = ReadNumber(text);
        EXPECT_TRUE(v && !MbfHoldsValue(*v)) << text;
    }

    const float refused = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float stored;
        int field;
        const char* text;
        float expected;  // NaN: refused, never read in part
    } rows[] = {
        {0.00084f, 3, "0.0008", 0.00084f},  // a price as shown keeps what is stored
        {14.28571f, 4, "14", 14.28571f},    // so does a volume
        {5.5f, 3, "12.25", 12.25f},        {5.5f, 0, "-2.5", -2.5f}, {5.5f, 3, "", refused},
        {-1.0f, 3, "N/A", refused},        {5.5f, 3, ".", refused},  {5.5f, 3, "7.5abc", refused},
    };
    for (const auto& r : rows) {
        const std::optional<float> value =
            EditedValue(r.text, QuoteValueText(r.field, r.stored, true), r.stored);
        EXPECT_TRUE(value ? *value == r.expected : std::isnan(r.expected))
            << r.text << ": " << value.value_or(-1);
    }
}

// A series from Monday 3 to Tuesday 11 January 2000; -1: taken, else the field at fault.
TEST(QuoteEdits, SplitAndAdjustNameTheFirstFieldAtFault) {
    const DateCode first = MakeDate(2000, 1, 3), last = MakeDate(2000, 1, 11);
    const struct {
        const char *date, *newShares, *oldShares;  // the texts typed
        int wrong;                                 // 0 date, 1 new, 2 old
        int day;                                   // of January, when taken
    } splits[] = {
        {"01/03/00", "2", "1", -1, 3},
        {"01/11/00", "2", "1", -1, 11},
        {"01/05/2000", "2", "1", -1, 5},
        {"12/31/99", "2", "1", 0, 0},
        {"01/12/00", "2", "1", 0, 0},  // outside the series
        {"1/5/00", "2", "1", 0, 0},    // no whole date
        {"01/05/00", "0", "1", 1, 0},
        {"01/05/00", "2", "", 2, 0},
        {"12/31/99", "0", "", 0, 0},
        {"01/05/00", "1e-30", "1e30", 1, 0},  // each storable, their ratio not
    };
    for (const auto& r : splits) {
        int wrong = -1;
        const auto in = CheckSplit(r.date, last, r.newShares, r.oldShares, first, last, &wrong);
        const DateCode taken = r.wrong < 0 ? MakeDate(2000, 1, r.day) : kNoDate;
        EXPECT_EQ(std::pair(wrong, in ? in->date : kNoDate), std::pair(r.wrong, taken))
            << r.date << " " << r.newShares << " " << r.oldShares;
    }
    const struct {
        const char *from, *to, *price, *vol, *oi;  // the texts typed
        int wrong;  // 0 from, 1 to, 2 price, 3 volume, 4 open interest
    } adjusts[] = {
        {"01/03/00", "01/11/00", "1", "1", "1", -1}, {"01/10/00", "01/04/00", "1", "1", "1", -1},
        {"01/03/00", "01/11/00", "1", "0", "1", 3},  {"01/03/00", "01/11/00", "1", "1", "x", 4},
        {"01/03/00", "01/12/00", "1", "1", "1", 1},  {"01/03/00", "01/32/00", "1", "1", "1", 1},
        {"12/31/99", "01/11/00", "1", "1", "1", 0},  {"01/03/00", "01/11/00", "1", "1", "-1", 4},
        {"01/03/00", "01/11/00", "-2", "1", "1", 2}, {"01/03/00", "01/11/00", "1e-45", "1", "1", 2},
    };
    for (const auto& r : adjusts) {
        int wrong = -1;
        const auto in =
            CheckAdjust(r.from, first, r.to, last, r.price, r.vol, r.oi, first, last, &wrong);
        const std::string what =
            std::string(r.from) + " " + r.to + " " + r.price + " " + r.vol + " " + r.oi;
        EXPECT_EQ(std::pair(in.has_value(), wrong), std::pair(r.wrong < 0, r.wrong)) << what;
    }
}

// Add copies the selected quote to the weekday before it, ahead of every quote of its day.
TEST(QuoteEdits, AddPlansTheWeekdayBeforeOrRefuses) {
    using V = AddPlan::Verdict;
    const auto day = [](int d) { return MakeDate(2000, 1, d); };
    const struct {
        const char* what;
        std::vector<std::pair<int, int>> held;  // day of January, hour; oldest first
        int row;                                // 0: the newest
        V verdict;
        int newDay, newRow;
    } rows[] = {
        {"a missing Monday", {{7, 0}, {11, 0}}, 0, V::kOk, 10, 1},
        {"a Monday copies to Friday", {{5, 0}, {10, 0}}, 0, V::kOk, 7, 1},
        {"before the first bar of the day", {{7, 9}, {11, 9}, {11, 10}}, 0, V::kOk, 10, 2},
        {"the day before is held", {{10, 0}, {11, 0}}, 0, V::kExists, 10, 0},
        {"behind a Saturday", {{6, 0}, {8, 0}, {10, 0}}, 0, V::kOutOfOrder, 7, 0},
        {"the oldest", {{7, 0}, {11, 0}}, 1, V::kOldest, 0, 0},
    };
    for (const auto& r : rows) {
        SeriesQuotes series;
        for (const auto& [d, hour] : r.held)
            series.quotes.push_back({day(d), MakeTime(hour, 0, 0), {}});
        const AddPlan plan = PlanAdd(series, r.row);
        EXPECT_EQ(plan.verdict, r.verdict) << r.what;
        if (r.verdict == V::kOldest) continue;
        EXPECT_EQ(plan.newDate, day(r.newDay)) << r.what;
        if (r.verdict != V::kOk) continue;
        EXPECT_EQ(
            std::tuple(plan.newRow, plan.request.op, plan.request.from, plan.request.time),
            std::tuple(r.newRow, EditOp::kInsert, series.row(r.row).date, series.row(r.row).time))
            << r.what;
    }
}

}  // namespace
}  // namespace barwise
