#include "chart/chartmodel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <tuple>

namespace barwise {

namespace {

// Room left above and below the prices in view, as a share of their span.
constexpr double kMargin = 0.05;

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string DateTimeText(const LoadedQuote& q, bool hasTime) {
    std::string text = FormatDateMdy(q.date, true);
    if (hasTime) text += ' ' + FormatTime(q.time);
    return text;
}

}  // namespace

std::vector<double> PriceTicks(double low, double high, int wanted, PriceScale scale) {
    std::vector<double> out;
    if (!(high > low) || wanted < 1 || !std::isfinite(low) || !std::isfinite(high)) return out;
    if (scale == PriceScale::kLog && low > 0 && high / low >= 10) {
        static constexpr double kSteps[] = {1, 2, 5};
        // 1, 2 and 5 times each power; where those crowd, the powers alone.
        for (const std::size_t multiples : {std::size(kSteps), std::size_t{1}}) {
            out.clear();
            for (int e = static_cast<int>(std::floor(std::log10(low)));
                 e <= std::ceil(std::log10(high)); ++e)
                for (std::size_t i = 0; i < multiples; ++i) {
                    const double v = kSteps[i] * std::pow(10.0, e);
                    if (v >= low && v <= high) out.push_back(v);
                }
            if (static_cast<int>(out.size()) <= wanted) return out;
        }
        return out;
    }
    const double rough = (high - low) / wanted;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power * 10;
    for (const double m : {1.0, 2.0, 5.0})
        if (m * power >= rough * (1 - 1e-9)) {
            step = m * power;
            break;
        }
    // Counted in steps, so the values do not drift from the round ones.
    const auto firstStep = static_cast<std::int64_t>(std::ceil(low / step - 1e-9));
    for (std::int64_t k = firstStep; k * step <= high + step * 1e-9; ++k)
        out.push_back(static_cast<double>(k) * step);
    return out;
}

std::string ChartPriceText(double price) {
    return Format("%.4f", price);
}
std::string ChartVolumeText(double volume) {
    return Format("%.0f", volume);
}

// ----- the series -----

void ChartModel::setSeries(std::vector<LoadedQuote> quotes, const std::array<bool, 6>& present,
                           bool hasTime) {
    m_quotes = std::move(quotes);
    m_parts.clear();
    m_parts.reserve(m_quotes.size());
    for (const LoadedQuote& q : m_quotes) m_parts.push_back(SplitDate(q.date));
    m_present = present;
    m_hasTime = hasTime;
    if (m_scale == PriceScale::kLog && !logScaleRefusal().empty()) m_scale = PriceScale::kLinear;
    if (m_count <= 0 || m_count > barCount()) m_count = barCount();
    clampRange();
    if (m_selected >= barCount()) m_selected = -1;
    placeMarks();
    m_columnsValid = false;
}

void ChartModel::clear() {
    m_quotes.clear();
    m_parts.clear();
    m_present = {};
    m_hasTime = false;
    m_first = m_count = 0;
    m_selected = -1;
    for (auto& list : m_marks) list.clear();
    m_placed.clear();
    m_columnsValid = false;
}

PriceShape ChartModel::shape() const {
    if (m_present[kChartHigh] && m_present[kChartLow]) return PriceShape::kBars;
    if (m_present[kChartClose]) return PriceShape::kLine;
    return PriceShape::kNone;
}

float ChartModel::lowOf(const LoadedQuote& q) const {
    // Every price the bar has: a close below its low is bad data the chart should show.
    float low = std::numeric_limits<float>::max();
    for (int f = kChartOpen; f <= kChartClose; ++f)
        if (m_present[f]) low = std::min(low, q.values[f]);
    return low;
}

float ChartModel::highOf(const LoadedQuote& q) const {
    float high = std::numeric_limits<float>::lowest();
    for (int f = kChartOpen; f <= kChartClose; ++f)
        if (m_present[f]) high = std::max(high, q.values[f]);
    return high;
}

// ----- the range -----

void ChartModel::setWidth(int pixels) {
    const int w = std::max(1, pixels);
    if (w == m_width) return;
    m_width = w;
    m_columnsValid = false;
}

void ChartModel::clampRange() {
    const int n = barCount();
    const int fewest = std::min(n, kMinVisibleBars);
    m_count = std::clamp(m_count, fewest, n);
    m_first = std::clamp(m_first, 0, n - m_count);
    m_columnsValid = false;
}

void ChartModel::setRange(int first, int count) {
    m_first = first;
    m_count = count;
    clampRange();
}

void ChartModel::fitAll() {
    setRange(0, barCount());
}
void ChartModel::showFirst() {
    setRange(0, m_count);
}
void ChartModel::showLast() {
    setRange(barCount() - m_count, m_count);
}
void ChartModel::panBars(int bars) {
    setRange(m_first + bars, m_count);
}

void ChartModel::panPixels(int dx) {
    const double bars = static_cast<double>(dx) * m_count / m_width;
    panBars(-static_cast<int>(std::lround(bars)));
}

void ChartModel::zoomAt(int x, double factor) {
    if (barCount() == 0 || factor <= 0) return;
    const double at = (x + 0.5) / m_width;
    const double anchor = m_first + at * m_count;
    int count = static_cast<int>(std::lround(m_count / factor));
    // Every step changes the range while it can.
    if (factor > 1 && count >= m_count) count = m_count - 1;
    if (factor < 1 && count <= m_count) count = m_count + 1;
    const int fewest = std::min(barCount(), kMinVisibleBars);
    count = std::clamp(count, fewest, barCount());
    setRange(static_cast<int>(std::lround(anchor - at * count)), count);
}

void ChartModel::ensureVisible(int bar) {
    if (bar < 0 || bar >= barCount()) return;
    if (bar < m_first)
        setRange(bar, m_count);
    else if (bar >= m_first + m_count)
        setRange(bar - m_count + 1, m_count);
}

// ----- pixels -----

int ChartModel::columnOfBar(int bar) const {
    if (m_count <= 0) return 0;
    const std::int64_t offset = static_cast<std::int64_t>(bar - m_first) * m_width;
    // Floor, for bars left of the range too.
    std::int64_t column = offset / m_count;
    if (offset % m_count != 0 && offset < 0) --column;
    return static_cast<int>(column);
}

int ChartModel::barSpan(int bar) const {
    return columnOfBar(bar + 1) - columnOfBar(bar);
}

int ChartModel::barAt(int x) const {
    if (m_count <= 0 || x < 0 || x >= m_width) return -1;
    // The last bar whose column is at or left of x: the one drawn there.
    const std::int64_t i = (static_cast<std::int64_t>(x + 1) * m_count - 1) / m_width;
    return m_first + static_cast<int>(std::min<std::int64_t>(i, m_count - 1));
}

const std::vector<ChartColumn>& ChartModel::columns() const {
    if (m_columnsValid) return m_columns;
    m_columns.clear();
    m_columnsValid = true;
    // A series of volumes alone still has its columns, for the volume pane.
    if (m_count <= 0 || (shape() == PriceShape::kNone && !hasVolume())) return m_columns;
    m_columns.reserve(static_cast<std::size_t>(std::min(m_count, m_width)));
    const bool line = shape() == PriceShape::kLine;
    const int end = m_first + m_count;
    int i = m_first;
    while (i < end) {
        ChartColumn c;
        c.x = columnOfBar(i);
        c.firstBar = i;
        const LoadedQuote& q0 = bar(i);
        c.open = q0.values[kChartOpen];
        c.low = line ? q0.values[kChartClose] : lowOf(q0);
        c.high = line ? q0.values[kChartClose] : highOf(q0);
        c.volume = q0.values[kChartVolume];
        int j = i + 1;
        // Bars up to the next column's first.
        const std::int64_t limit = static_cast<std::int64_t>(c.x + 1) * m_count;
        while (j < end && static_cast<std::int64_t>(j - m_first) * m_width < limit) {
            const LoadedQuote& q = bar(j);
            c.low = std::min(c.low, line ? q.values[kChartClose] : lowOf(q));
            c.high = std::max(c.high, line ? q.values[kChartClose] : highOf(q));
            c.volume = std::max(c.volume, q.values[kChartVolume]);
            ++j;
        }
        c.lastBar = j - 1;
        c.close = bar(c.lastBar).values[kChartClose];
        c.width = (j < end ? columnOfBar(j) : m_width) - c.x;
        m_columns.push_back(c);
        i = j;
    }
    return m_columns;
}

// ----- scales -----

ValueSpan ChartModel::priceSpan() const {
    ValueSpan span;
    bool any = false;
    if (shape() == PriceShape::kNone) return span;
    for (const ChartColumn& c : columns()) {
        if (!any) {
            span = {c.low, c.high};
            any = true;
        }
        span.low = std::min<double>(span.low, c.low);
        span.high = std::max<double>(span.high, c.high);
    }
    return span;
}

ValueSpan ChartModel::volumeSpan() const {
    ValueSpan span;
    if (!hasVolume()) return span;
    for (const ChartColumn& c : columns()) span.high = std::max<double>(span.high, c.volume);
    return span;
}

std::string ChartModel::logScaleRefusal() const {
    static constexpr const char* kNames[] = {"open", "high", "low", "close"};
    for (const LoadedQuote& q : m_quotes) {
        for (int f = kChartOpen; f <= kChartClose; ++f) {
            if (!m_present[f] || q.values[f] > 0) continue;
            return "A logarithmic scale needs every price above 0: the " + std::string(kNames[f]) +
                   " of " + DateTimeText(q, m_hasTime) + " is " + ChartPriceText(q.values[f]) + ".";
        }
    }
    return {};
}

bool ChartModel::setScale(PriceScale scale) {
    if (scale == PriceScale::kLog && !logScaleRefusal().empty()) return false;
    m_scale = scale;
    return true;
}

ValueSpan ChartModel::paddedSpan() const {
    ValueSpan s = priceSpan();
    if (m_scale == PriceScale::kLog) {
        s.low = std::log10(std::max(s.low, std::numeric_limits<double>::min()));
        s.high = std::log10(std::max(s.high, std::numeric_limits<double>::min()));
    }
    double range = s.high - s.low;
    if (range <= 0) range = std::max(std::abs(s.high) * 0.1, 1e-3);
    return {s.low - range * kMargin, s.high + range * kMargin};
}

double ChartModel::priceToY(double price, int height) const {
    const ValueSpan s = paddedSpan();
    const double v = m_scale == PriceScale::kLog
                         ? std::log10(std::max(price, std::numeric_limits<double>::min()))
                         : price;
    return (s.high - v) / (s.high - s.low) * height;
}

double ChartModel::yToPrice(double y, int height) const {
    const ValueSpan s = paddedSpan();
    const double v = s.high - y / std::max(height, 1) * (s.high - s.low);
    return m_scale == PriceScale::kLog ? std::pow(10.0, v) : v;
}

// ----- selection and marks -----

int ChartModel::findBar(DateCode date, std::optional<TimeCode> time) const {
    // Quotes stand in date order in a sound file; a file out of order is searched whole.
    const auto key = [&](const LoadedQuote& q) { return std::make_tuple(q.date, q.time); };
    const auto matches = [&](const LoadedQuote& q) {
        return q.date == date && (!time || q.time == *time);
    };
    const auto it =
        std::lower_bound(m_quotes.begin(), m_quotes.end(), std::make_tuple(date, time.value_or(0)),
                         [&](const LoadedQuote& q, const auto& k) { return key(q) < k; });
    if (it != m_quotes.end() && matches(*it)) return static_cast<int>(it - m_quotes.begin());
    for (int i = 0; i < barCount(); ++i)
        if (matches(bar(i))) return i;
    return -1;
}

void ChartModel::setSelected(int position, DateCode date, TimeCode time) {
    if (position >= 0 && position < barCount() && bar(position).date == date &&
        bar(position).time == time) {
        m_selected = position;
        return;
    }
    m_selected = date == kNoDate ? -1 : findBar(date, time);
}

void ChartModel::setMarks(MarkKind kind, std::vector<ChartMark> marks) {
    m_marks[static_cast<std::size_t>(kind)] = std::move(marks);
    placeMarks();
}

void ChartModel::placeMarks() {
    m_placed.clear();
    for (const auto& list : m_marks) {
        for (const ChartMark& m : list) {
            const int bar = findBar(m.date, m.time);
            if (bar >= 0) m_placed.push_back({bar, m.kind, m.text});
        }
    }
    std::stable_sort(m_placed.begin(), m_placed.end(),
                     [](const PlacedMark& a, const PlacedMark& b) { return a.bar < b.bar; });
}

std::vector<PlacedMark> ChartModel::marksNear(int x, int tolerance) const {
    std::vector<PlacedMark> out;
    for (const PlacedMark& m : m_placed) {
        if (m.bar < m_first || m.bar >= m_first + m_count) continue;
        const int left = columnOfBar(m.bar);
        const int right = left + std::max(barSpan(m.bar), 1) - 1;
        if (x >= left - tolerance && x <= right + tolerance) out.push_back(m);
    }
    return out;
}

std::string ChartModel::barDateText(int i) const {
    if (i < 0 || i >= barCount()) return {};
    return DateTimeText(bar(i), m_hasTime);
}

std::string ChartModel::barText(int i) const {
    if (i < 0 || i >= barCount()) return {};
    const LoadedQuote& q = bar(i);
    std::string text = DateTimeText(q, m_hasTime);
    static constexpr const char* kLetters[] = {"O", "H", "L", "C", "V", "OI"};
    for (int f = kChartOpen; f <= kChartOpenInterest; ++f) {
        if (!m_present[f]) continue;
        text += "  ";
        text += kLetters[f];
        text += ' ';
        text += f <= kChartClose ? ChartPriceText(q.values[f]) : ChartVolumeText(q.values[f]);
    }
    return text;
}

}  // namespace barwise
