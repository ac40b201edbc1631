// What the price chart draws, without any widget: one security's quotes (oldest first, as
// the data file holds them), the range of bars in view, the bars gathered into pixel
// columns, the price and volume scales, the marks, and the bar under a pixel.
//
// Bars are laid out by their position, not by their date: a daily series shows its
// weekdays side by side with no gap for weekends, an intraday series its bars one after the
// other. Bar i of the `count` bars in view starting at `first` begins at pixel column
// floor((i - first) * width / count), so with more bars than columns every column gathers
// several bars (their lowest low, highest high, the first open and the last close) and with
// fewer every bar spans several columns. BarAt answers with the bar drawn in a column, the
// same bar a click there hits, however far the chart is zoomed.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "datafiles/encoding.h"
#include "discovery/quoteloader.h"

namespace barwise {

// The six values of a quote as LoadedQuote holds them.
enum ChartField : int {
    kChartOpen = 0,
    kChartHigh,
    kChartLow,
    kChartClose,
    kChartVolume,
    kChartOpenInterest
};

// What the price pane can show of a series, from the fields its layout has.
enum class PriceShape {
    kNone,  // neither a close nor a high and a low: nothing to draw
    kBars,  // high and low (with open and close ticks where present)
    kLine,  // a close line (no high and low)
};

// How a series with highs and lows is drawn; candles need an open and a close.
enum class BarStyle { kBars, kCandles };

enum class PriceScale { kLinear, kLog };

// Something to point out on a bar: a split-search candidate, a finding of a check. A mark
// names its bar by date (and time, for an intraday series); a mark whose bar is not in the
// series is not shown.
enum class MarkKind : int { kSplitCandidate = 0, kSuspectData = 1 };
inline constexpr int kMarkKinds = 2;

struct ChartMark {
    MarkKind kind = MarkKind::kSplitCandidate;
    DateCode date = kNoDate;
    std::optional<TimeCode> time;  // empty: the first bar of that date
    std::string text;              // what hovering the mark says
};

// A mark found in the series.
struct PlacedMark {
    int bar = 0;
    MarkKind kind = MarkKind::kSplitCandidate;
    std::string text;
};

// One pixel column of the visible range.
struct ChartColumn {
    int x = 0;         // the column's pixel, 0 = the left edge of the plot
    int width = 1;     // pixels until the next bar's column (1 when bars share columns)
    int firstBar = 0;  // the bars drawn in it
    int lastBar = 0;
    float low = 0;     // lowest price of its bars (the close where there are no lows)
    float high = 0;    // highest price
    float open = 0;    // of the first bar (when the series has opens)
    float close = 0;   // of the last bar (when the series has closes)
    float volume = 0;  // highest volume of its bars
};

struct ValueSpan {
    double low = 0;
    double high = 0;
};

class ChartModel {
public:
    // Fewest bars a zoom shows (all of them when the series holds fewer).
    static constexpr int kMinVisibleBars = 10;

    // Takes a series: its quotes oldest first and which of the six values its layout has.
    // The range is kept where it still fits, else the whole series is shown.
    void setSeries(std::vector<LoadedQuote> quotes, const std::array<bool, 6>& present,
                   bool hasTime);
    void clear();

    int barCount() const { return static_cast<int>(m_quotes.size()); }
    const LoadedQuote& bar(int i) const { return m_quotes[static_cast<std::size_t>(i)]; }
    // Bar i's year, month and day, worked out once per series.
    const DateParts& dateParts(int i) const { return m_parts[static_cast<std::size_t>(i)]; }
    bool hasTime() const { return m_hasTime; }
    bool has(ChartField field) const { return m_present[field]; }
    PriceShape shape() const;
    bool hasVolume() const { return m_present[kChartVolume] && !m_quotes.empty(); }

    // ----- the range in view -----
    // The plot's width in pixels (at least 1).
    void setWidth(int pixels);
    int width() const { return m_width; }
    int first() const { return m_first; }
    int visibleCount() const { return m_count; }
    // Shows `count` bars from `first`, clamped to the series.
    void setRange(int first, int count);
    void fitAll();
    void showFirst();  // the oldest bars, same zoom
    void showLast();   // the newest bars, same zoom
    void panBars(int bars);
    // A drag of dx pixels to the right shows older bars.
    void panPixels(int dx);
    // factor > 1 zooms in (fewer bars); the bar under pixel x stays under it.
    void zoomAt(int x, double factor);
    // Moves the range the least so that bar i is in view.
    void ensureVisible(int bar);

    // ----- pixels -----
    // The columns of the visible range, left to right (recomputed when the range, the
    // width or the series changes).
    const std::vector<ChartColumn>& columns() const;
    // The first pixel column of bar i (may lie outside 0..width-1 for a bar not in view).
    int columnOfBar(int bar) const;
    // Pixels from bar i's column to the next bar's (0 when they share a column).
    int barSpan(int bar) const;
    // The bar drawn in pixel column x; -1 outside the plot or with no bars.
    int barAt(int x) const;

    // ----- scales -----
    // Lowest and highest price of the bars in view, and highest volume (0 .. max).
    ValueSpan priceSpan() const;
    ValueSpan volumeSpan() const;
    PriceScale scale() const { return m_scale; }
    // Why a logarithmic scale cannot show this series (a price at or below 0); empty when it
    // can.
    std::string logScaleRefusal() const;
    // Takes the scale; a logarithmic one is refused (false, the scale stays as it was)
    // while logScaleRefusal() says why.
    bool setScale(PriceScale scale);
    // Where a price lies in a pane `height` pixels high whose top is 0, on the current
    // scale, with the span's margins; and the price at a pixel row.
    double priceToY(double price, int height) const;
    double yToPrice(double y, int height) const;

    // ----- selection and marks -----
    // The selected quote by its position in the file (0 = oldest), checked against its
    // date and time; when the position no longer holds that quote it is looked up by date
    // and time. -1: none.
    void setSelected(int position, DateCode date, TimeCode time);
    int selectedBar() const { return m_selected; }
    // Replaces the marks of one kind.
    void setMarks(MarkKind kind, std::vector<ChartMark> marks);
    const std::vector<PlacedMark>& marks() const { return m_placed; }
    // The marks whose bar is drawn within `tolerance` pixels of column x.
    std::vector<PlacedMark> marksNear(int x, int tolerance) const;
    // The bar with that date (and time); the first bar of the date when time is empty; -1
    // when the series has none.
    int findBar(DateCode date, std::optional<TimeCode> time) const;

    // "MM/DD/YYYY" (and " HH:MM:SS" on an intraday series) of bar i, then its values.
    std::string barText(int bar) const;
    // The date (and time) alone, as the crosshair's label on the time axis shows it.
    std::string barDateText(int bar) const;

private:
    void clampRange();
    void placeMarks();
    float lowOf(const LoadedQuote& q) const;
    float highOf(const LoadedQuote& q) const;
    // Margins above and below the prices in view, as the scale measures them.
    ValueSpan paddedSpan() const;

    std::vector<LoadedQuote> m_quotes;
    std::vector<DateParts> m_parts;
    std::array<bool, 6> m_present{};
    bool m_hasTime = false;
    int m_width = 1;
    int m_first = 0;
    int m_count = 0;
    PriceScale m_scale = PriceScale::kLinear;
    int m_selected = -1;
    std::array<std::vector<ChartMark>, kMarkKinds> m_marks;
    std::vector<PlacedMark> m_placed;
    mutable std::vector<ChartColumn> m_columns;
    mutable bool m_columnsValid = false;
};

// Round values from low to high for about `wanted` lines of the price scale: steps of 1, 2
// or 5 times a power of ten; on a logarithmic scale spanning a decade or more, 1, 2 and 5
// times the powers of ten (or the powers alone where those crowd).
std::vector<double> PriceTicks(double low, double high, int wanted, PriceScale scale);

// A price as the quotes grid shows it ("%.4f") and a volume ("%.0f").
std::string ChartPriceText(double price);
std::string ChartVolumeText(double volume);

}  // namespace barwise
