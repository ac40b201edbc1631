#include "discovery/quoteloader.h"

#include <algorithm>

namespace barwise {
namespace {

// Quotes read at once by one read() call.
constexpr int kReadChunk = 400;

}  // namespace

QuoteLoader::~QuoteLoader() = default;

DataStatus QuoteLoader::open(const SecurityId& id) {
    total_ = given_ = 0;
    present_ = {true, true, true, true, true, true};
    hasTime_ = dopIgnored_ = false;
    dopFile_.clear();
    SeriesFiles files;
    const DataStatus found = OpenSeriesFiles(id, files);
    if (found != kSuccess) return found;
    dopIgnored_ = files.dopIgnored;
    dopFile_ = files.dopPath.string();
    for (int f = kFieldOpen; f <= kFieldOi; ++f)
        present_[static_cast<std::size_t>(f - kFieldOpen)] = files.columns.has(f);
    hasTime_ = files.columns.has(kFieldTime);
    if (const DataStatus s = cursor_.open(id, files.record); s != kSuccess) return s;
    total_ = std::clamp(cursor_.total(), 0, kMaxQuotesPerFile);
    if (block_.capacity < kReadChunk) return AllocSeries(block_, kReadChunk);
    return kSuccess;
}

DataStatus QuoteLoader::read(int start, int count, std::vector<LoadedQuote>& out) {
    while (count > 0) {
        const int n = std::min(count, kReadChunk);
        if (const DataStatus s = cursor_.read(block_, start, n); s != kSuccess) return s;
        for (int i = 0; i < block_.count; ++i) {
            LoadedQuote q;
            q.date = block_.date(i);
            q.time = block_.time(i);
            for (int f = kFieldOpen; f <= kFieldOi; ++f)
                q.values[static_cast<std::size_t>(f - kFieldOpen)] = block_.value(f, i);
            out.push_back(q);
        }
        if (block_.count < n) return kRecordNotFound;
        start += n;
        count -= n;
    }
    return kSuccess;
}

DataStatus QuoteLoader::readNewer(int block, std::vector<LoadedQuote>& out) {
    const int n = std::min(total_ - given_, std::max(block, 1));
    if (n <= 0) return kSuccess;
    std::vector<LoadedQuote> quotes;
    quotes.reserve(static_cast<std::size_t>(n));
    const DataStatus s = read(total_ - given_ - n, n, quotes);
    if (s != kSuccess) return s;  // a block is given whole or not at all
    out.insert(out.end(), quotes.rbegin(), quotes.rend());
    given_ += n;
    return kSuccess;
}

DateCode QuoteLoader::firstDate() {
    std::vector<LoadedQuote> q;
    return read(0, 1, q) == kSuccess ? q.front().date : kNoDate;
}

DateCode QuoteLoader::lastDate() {
    std::vector<LoadedQuote> q;
    if (total_ <= 0) return kNoDate;
    return read(total_ - 1, 1, q) == kSuccess ? q.front().date : kNoDate;
}

DataStatus ReadAllQuotes(const SecurityId& id, SeriesQuotesRead& out) {
    out = {};
    QuoteLoader loader;
    if (const DataStatus s = loader.open(id); s != kSuccess) return s;
    out.present = loader.present();
    out.hasTime = loader.hasTime();
    out.quotes.reserve(static_cast<std::size_t>(loader.total()));
    // A file shorter than its header gives the quotes it holds.
    const DataStatus s = loader.read(0, loader.total(), out.quotes);
    return s == kRecordNotFound ? kSuccess : s;
}

}  // namespace barwise
