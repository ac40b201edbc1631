// ReadSeries on a fuzzed F1.DAT with a fuzzed MASTER record and an optional fuzzed DOP,
// read twice into the same series (the second read reuses the storage and info block).
//
// Input: see portfolio_input.h; the target parameters are
//        [start: i32] [count: i16] [capacity: u16, taken modulo 3000] [second count: i16]
#include <cstdint>
#include <string>

#include "datafiles/series.h"
#include "fuzz/portfolio_input.h"

namespace {

// loaded: the read asked for quotes and succeeded, so the columns hold what it read (a read
// of no quotes leaves the columns as they were).
void CheckSeries(const barwise::QuoteSeries& s, barwise::DataStatus status, bool loaded) {
    using namespace barwise;
    BARWISE_FUZZ_CHECK(s.count >= 0 && s.count <= s.capacity);
    for (const SeriesColumn& c : s.columns) BARWISE_FUZZ_CHECK(c.count == s.count);
    // Every element held is readable (the sanitizer checks the storage bounds).
    unsigned sum = 0;
    for (int i = 0; i < s.count; ++i) {
        sum += s.date(i) + s.time(i);
        for (int f = kFieldOpen; f <= kFieldOi; ++f) {
            const float v = s.value(f, i);
            sum += v == v ? 1u : 0u;
        }
    }
    (void)sum;
    if (status == kSuccess) {
        BARWISE_FUZZ_CHECK(s.info != nullptr);
        BARWISE_FUZZ_CHECK(s.tag == kSeriesLoadedTag);
        BARWISE_FUZZ_CHECK(s.total >= 0);
    }
    if (status == kSuccess && loaded) {
        // Absent value fields read -1.0 for every quote.
        for (int f = kFieldOpen; f <= kFieldOi; ++f) {
            const int c = s.info->layout.column[static_cast<std::size_t>(f)];
            if (c != 0 && c <= s.info->master.fieldCount()) continue;
            for (int i = 0; i < s.count; ++i) BARWISE_FUZZ_CHECK(s.value(f, i) == -1.0f);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace barwise;
    fuzz::Input in(data, size);
    const fuzz::PortfolioInput p = fuzz::ReadPortfolioHead(in);
    const auto start = static_cast<std::int32_t>(in.u32());
    const auto count = static_cast<std::int16_t>(in.u16());
    const auto capacity = static_cast<std::int16_t>(in.u16() % 3000);
    const auto secondCount = static_cast<std::int16_t>(in.u16());
    (void)fuzz::WritePortfolioFiles(p, in);

    QuoteSeries series;
    if (AllocSeries(series, capacity) != kSuccess) return 0;
    DataStatus s = ReadSeries(series, fuzz::PortfolioDir(), fuzz::kPortfolioKey, start, count);
    CheckSeries(series, s, count != 0);
    s = ReadSeries(series, fuzz::PortfolioDir(), fuzz::kPortfolioKey, -1, secondCount);
    CheckSeries(series, s, secondCount != 0);
    FreeSeries(series);
    BARWISE_FUZZ_CHECK(series.capacity == 0 && series.count == 0 && !series.info);
    return 0;
}
