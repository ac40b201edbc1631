#include "splitsearch/splitscan.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <map>

#include "datafiles/quotefiles.h"
#include "datafiles/series.h"
#include "discovery/seriescursor.h"

namespace barwise {
namespace {

// The window of each candidate, (P/Q) * 0.9 .. (P/Q) * 1.1, in double precision.
struct RatioWindow {
    SplitRatio ratio;
    double lower;
    double upper;
};

constexpr std::array<RatioWindow, 8> MakeWindows() {
    std::array<RatioWindow, 8> w{};
    for (std::size_t i = 0; i < kSplitRatios.size(); ++i) {
        const double r =
            static_cast<double>(kSplitRatios[i].p) / static_cast<double>(kSplitRatios[i].q);
        w[i] = {kSplitRatios[i], r * 0.9, r * 1.1};
    }
    return w;
}
constexpr std::array<RatioWindow, 8> kWindows = MakeWindows();
// No window reaches outside kLowestBound .. kHighestBound, and none covers the gap between
// the 2-for-3 and 3-for-2 windows, where the ratio of almost every pair of days lies; so
// most pairs are settled by two comparisons.
constexpr double kLowestBound = 0.25 * 0.9;
constexpr double kHighestBound = 4.0 * 1.1;
constexpr double kGapLow = (2.0 / 3.0) * 1.1;
constexpr double kGapHigh = (3.0 / 2.0) * 0.9;
static_assert(kGapLow < kGapHigh);

}  // namespace

std::optional<SplitRatio> TestSplitPair(const SplitDay& a, const SplitDay& b) {
    const float c0 = a.close;
    const float c1 = b.close;
    if (c0 == 0.0f || c1 == 0.0f) return std::nullopt;
    const float r = c0 / c1;
    const double rd = r;
    if (!(rd > kLowestBound && rd < kHighestBound) || (rd >= kGapLow && rd <= kGapHigh))
        return std::nullopt;
    std::optional<SplitRatio> hit;
    for (const RatioWindow& w : kWindows) {
        if (!(w.lower < rd && rd < w.upper)) continue;
        const float difference = c0 - c1;
        const float threshold = std::fabs(difference) * 0.8f;
        const float gap = std::fabs(c0 > c1 ? a.low - b.high : a.high - b.low);
        if (gap > threshold) hit = w.ratio;
    }
    return hit;
}

std::string FormatSplitLine(std::string_view ticker, SplitRatio ratio, DateCode laterDate) {
    std::string line(ticker);
    line += " possible ";
    line += std::to_string(ratio.p);
    line += " for ";
    line += std::to_string(ratio.q);
    line += " split on ";
    line += FormatDateMdy(laterDate);
    return line;
}

std::string FewerThanTwoQuotesMessage(std::string_view ticker) {
    std::string text = "For symbol ";
    text += ticker;
    text += "\nSplitSearch cannot perform search\nas there are fewer than 2 quotes.";
    return text;
}

std::string UnreadableSymbolMessage(std::string_view ticker, std::string_view file,
                                    DataStatus status) {
    std::string text = "For symbol ";
    text += ticker;
    text += "\nSplitSearch cannot read its quotes\n(";
    text += file;
    text += ": ";
    text += DataStatusName(status);
    text += ")";
    return text;
}

namespace {

// The scan of `count` symbols; open(i, cursor) opens symbol i and returns its status, and
// the file to name when it failed.
SplitScanResult Scan(int symbolCount, const std::function<std::string(int)>& tickerOf,
                     const std::function<DataStatus(int, SeriesCursor&, std::string&)>& open,
                     const SplitScanObserver& observer) {
    SplitScanResult result;
    QuoteSeries series;
    if (AllocSeries(series, kSplitChunk) != kSuccess) {
        result.end = SplitScanEnd::kNoStorage;
        result.status = kMalloc;
        return result;
    }
    for (int i = 0; i < symbolCount; ++i) {
        if (observer.cancelled && observer.cancelled()) {
            result.end = SplitScanEnd::kCancelled;
            break;
        }
        const std::string ticker = tickerOf(i);
        // The one opening of this symbol in this scan; the chunks are read from the open file.
        SeriesCursor cursor;
        std::string failedFile;
        const DataStatus opened = open(i, cursor, failedFile);
        if (opened != kSuccess) {
            ++result.unreadable;
            if (observer.unreadable)
                observer.unreadable(ticker, UnreadableSymbolMessage(ticker, failedFile, opened));
            if (observer.symbolDone) observer.symbolDone(ticker, i, symbolCount);
            continue;
        }
        const std::int64_t held =
            QuotesHeldInDatFile(cursor.datPath(), cursor.record().recordLength());
        if (held >= 0 && held != cursor.total() && observer.quoteCount) {
            observer.quoteCount(ticker, cursor.datPath().string(), held, cursor.total());
        }
        // The gap test needs each day's range; a series whose layout has no high or low
        // can show no split (its absent fields are not prices, whatever they read).
        const FieldLayout& layout = cursor.layout();
        const int fields = cursor.record().fieldCount();
        const auto has = [&](int f) {
            const int c = layout.column[static_cast<std::size_t>(f)];
            return c >= 1 && c <= fields;
        };
        const bool hasRange = has(kFieldHigh) && has(kFieldLow) && has(kFieldClose);
        if (cursor.total() < 2) {
            if (observer.fewerThanTwo)
                observer.fewerThanTwo(ticker, FewerThanTwoQuotesMessage(ticker));
        } else if (hasRange) {
            const int n = cursor.total();
            int j = 0;
            while (j != n - 1) {
                const int chunk = n - j < kSplitChunk ? n - j : kSplitChunk;
                // High, low and close; the date only for the rare hit.
                const DataStatus status = cursor.read(
                    series, j, chunk, (1u << kFieldHigh) | (1u << kFieldLow) | (1u << kFieldClose));
                if (status != kSuccess) {
                    result.end = SplitScanEnd::kReadError;
                    result.status = status;
                    result.failedTicker = ticker;
                    result.failedFile = cursor.datPath().string();
                    FreeSeries(series);
                    return result;
                }
                // Pairs of the quotes actually read: a file shorter than its header ends here.
                const int got = series.count;
                SplitDay b{got > 0 ? series.close(0) : 0.0f, got > 0 ? series.high(0) : 0.0f,
                           got > 0 ? series.low(0) : 0.0f};
                for (int k = 0; k + 1 < got; ++k) {
                    const SplitDay a = b;
                    b = {series.close(k + 1), series.high(k + 1), series.low(k + 1)};
                    if (const auto hit = TestSplitPair(a, b)) {
                        result.found = true;
                        ++result.lines;
                        const DateCode date = cursor.blockDate(k + 1);
                        if (observer.result) observer.result(FormatSplitLine(ticker, *hit, date));
                        if (observer.hit) observer.hit(i, *hit, date);
                    }
                }
                if (got < chunk) break;
                j += chunk - 1;
            }
        }
        if (observer.symbolDone) observer.symbolDone(ticker, i, symbolCount);
    }
    FreeSeries(series);
    return result;
}

}  // namespace

SplitScanResult ScanForSplits(const std::vector<SplitTarget>& targets,
                              const SplitScanObserver& observer) {
    std::map<std::string, DirectoryIndex> indexes;
    return Scan(
        static_cast<int>(targets.size()),
        [&](int i) { return targets[static_cast<std::size_t>(i)].ticker; },
        [&](int i, SeriesCursor& cursor, std::string& file) {
            const SplitTarget& t = targets[static_cast<std::size_t>(i)];
            auto it = indexes.find(t.id.directory);
            if (it == indexes.end())
                it = indexes.emplace(t.id.directory, DirectoryIndex(t.id.directory)).first;
            const DataStatus status = cursor.open(t.id, t.record, &it->second);
            file = cursor.datPath().empty() ? MasterPathOf(t.id.directory).string()
                                            : cursor.datPath().string();
            return status;
        },
        observer);
}

}  // namespace barwise
