#include "chart/timeaxis.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace barwise {

namespace {

enum class Unit { kMinute, kDay, kWeek, kMonth, kYear };

struct Period {
    Unit unit;
    int step;
    bool intradayOnly;
};

// Finest first.
constexpr Period kPeriods[] = {
    {Unit::kMinute, 1, true},   {Unit::kMinute, 5, true},  {Unit::kMinute, 15, true},
    {Unit::kMinute, 30, true},  {Unit::kMinute, 60, true}, {Unit::kMinute, 120, true},
    {Unit::kMinute, 240, true}, {Unit::kDay, 1, false},    {Unit::kWeek, 1, false},
    {Unit::kMonth, 1, false},   {Unit::kMonth, 3, false},  {Unit::kYear, 1, false},
    {Unit::kYear, 2, false},    {Unit::kYear, 5, false},   {Unit::kYear, 10, false},
    {Unit::kYear, 25, false},   {Unit::kYear, 50, false},  {Unit::kYear, 100, false},
};

constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if (a % b != 0 && (a < 0) != (b < 0)) --q;
    return q;
}

// The period of a period kind a quote falls in.
std::int64_t PeriodKey(const Period& p, const LoadedQuote& q, const DateParts& d) {
    switch (p.unit) {
        case Unit::kMinute:
            return static_cast<std::int64_t>(q.date) * 1440 + q.time / 60 / p.step;
        // Day 2 (2 January 1961) was a Monday.
        case Unit::kWeek:
            return FloorDiv(static_cast<std::int64_t>(q.date) - 2, 7);
        case Unit::kDay:
            return q.date;
        case Unit::kMonth:
            return (d.year * 12 + d.month - 1) / p.step;
        case Unit::kYear:
            return d.year / p.step;
    }
    return 0;
}

// The largest unit that changed from quote a to quote b, and its label.
AxisLabel LabelBetween(const LoadedQuote& a, const DateParts& pa, const LoadedQuote& b,
                       const DateParts& pb) {
    AxisLabel label;
    char text[32];
    if (pa.year != pb.year) {
        label.rank = 4;
        std::snprintf(text, sizeof text, "%d", 1900 + pb.year);
    } else if (pa.month != pb.month) {
        label.rank = 3;
        std::snprintf(text, sizeof text, "%s", kMonths[std::clamp(pb.month - 1, 0, 11)]);
    } else if (a.date != b.date) {
        label.rank = 2;
        std::snprintf(text, sizeof text, "%s %d", kMonths[std::clamp(pb.month - 1, 0, 11)], pb.day);
    } else {
        label.rank = 1;
        std::snprintf(text, sizeof text, "%02d:%02d", b.time / 3600, b.time / 60 % 60);
    }
    label.text = text;
    return label;
}

}  // namespace

std::vector<AxisLabel> TimeAxisLabels(const ChartModel& model, int minSpacing) {
    std::vector<AxisLabel> out;
    const int first = model.first();
    const int end = first + model.visibleCount();
    if (model.visibleCount() < 2) return out;
    minSpacing = std::max(minSpacing, 1);
    const int room = std::max(model.width() / minSpacing, 1);

    // The finest period with no more period starts in view than labels fit.
    const Period* chosen = &kPeriods[std::size(kPeriods) - 1];
    for (const Period& p : kPeriods) {
        if (p.intradayOnly && !model.hasTime()) continue;
        int starts = 0;
        std::int64_t key = PeriodKey(p, model.bar(first), model.dateParts(first));
        for (int i = first + 1; i < end && starts <= room; ++i) {
            const std::int64_t k = PeriodKey(p, model.bar(i), model.dateParts(i));
            if (k != key) ++starts;
            key = k;
        }
        if (starts <= room) {
            chosen = &p;
            break;
        }
    }

    std::vector<AxisLabel> starts;
    std::int64_t key = PeriodKey(*chosen, model.bar(first), model.dateParts(first));
    for (int i = first + 1; i < end; ++i) {
        const std::int64_t k = PeriodKey(*chosen, model.bar(i), model.dateParts(i));
        if (k == key) continue;
        key = k;
        AxisLabel label = LabelBetween(model.bar(i - 1), model.dateParts(i - 1), model.bar(i),
                                       model.dateParts(i));
        label.bar = i;
        label.x = model.columnOfBar(i) + std::max(model.barSpan(i), 1) / 2;
        starts.push_back(std::move(label));
    }
    // Larger units first; a label too near one kept is dropped.
    std::stable_sort(starts.begin(), starts.end(),
                     [](const AxisLabel& a, const AxisLabel& b) { return a.rank > b.rank; });
    for (AxisLabel& label : starts) {
        const bool crowded = std::any_of(out.begin(), out.end(), [&](const AxisLabel& kept) {
            return std::abs(kept.x - label.x) < minSpacing;
        });
        if (!crowded) out.push_back(std::move(label));
    }
    std::sort(out.begin(), out.end(),
              [](const AxisLabel& a, const AxisLabel& b) { return a.x < b.x; });
    return out;
}

}  // namespace barwise
