// Speed of the quote-data library on the longest series a DAT file can hold.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include <unistd.h>

#include "datafiles/encoding.h"
#include "datafiles/master.h"
#include "datafiles/rewrite.h"
#include "datafiles/series.h"

namespace fs = std::filesystem;
using namespace barwise;

namespace {

constexpr int kQuotes = kMaxQuotesPerFile;  // 32766
constexpr int kRecord = 28;

// A portfolio holding one 28-byte series "BIG" of 32766 weekday quotes.
struct Portfolio {
    fs::path dir;
    Portfolio() {
        dir = fs::temp_directory_path() / ("barwise-bench-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        std::vector<std::uint8_t> master(2 * kMasterRecordSize, 0);
        PutI16(master.data(), 1);
        std::uint8_t* rec = master.data() + kMasterRecordSize;
        rec[0] = 1;
        rec[3] = kRecord;
        rec[4] = 7;
        std::memset(rec + 7, ' ', 16);
        std::memcpy(rec + 7, "BIG SERIES", 10);
        rec[33] = 'D';
        std::memset(rec + 36, ' ', 16);
        std::memcpy(rec + 36, "BIG", 3);
        std::ofstream(dir / "MASTER", std::ios::binary)
            .write(reinterpret_cast<const char*>(master.data()),
                   static_cast<std::streamsize>(master.size()));

        std::vector<std::uint8_t> dat(static_cast<std::size_t>(kQuotes + 1) * kRecord, 0);
        PutI16(dat.data() + 2, static_cast<std::int16_t>(kQuotes + 1));
        DateCode d = MakeDate(1960 + 40, 1, 3);
        for (int i = 0; i < kQuotes; ++i) {
            while ((d - 1) % 7 == 0 || (d - 1) % 7 == 6) ++d;
            std::uint8_t* q = dat.data() + static_cast<std::size_t>(i + 1) * kRecord;
            const float p = 50.0f + static_cast<float>(i % 1000) / 40.0f;
            const float values[7] = {
                DateToReal(d), p, p + 1, p - 1, p + 0.5f, 10000.0f + static_cast<float>(i), 0};
            for (int f = 0; f < 7; ++f) {
                const MbfBytes m = FloatToMbf(values[f]);
                std::memcpy(q + f * 4, m.data(), 4);
            }
            ++d;
        }
        std::ofstream(dir / "F1.DAT", std::ios::binary)
            .write(reinterpret_cast<const char*>(dat.data()),
                   static_cast<std::streamsize>(dat.size()));
    }
    ~Portfolio() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

Portfolio& Data() {
    static Portfolio p;
    return p;
}

void BM_ReadSeriesWhole(benchmark::State& state) {
    const std::string dir = Data().dir.string();
    QuoteSeries s;
    if (AllocSeries(s, kQuotes) != kSuccess) state.SkipWithError("allocation failed");
    for (auto _ : state) {
        if (ReadSeries(s, dir, "BIG", 0, kQuotes) != kSuccess || s.count != kQuotes) {
            state.SkipWithError("read failed");
        }
        benchmark::DoNotOptimize(s.close(s.count - 1));
    }
    state.SetItemsProcessed(state.iterations() * kQuotes);
}
BENCHMARK(BM_ReadSeriesWhole)->Unit(benchmark::kMillisecond);

// As the quotes grid reads: blocks of 400, newest first.
void BM_ReadSeriesBlocksOf400(benchmark::State& state) {
    const std::string dir = Data().dir.string();
    for (auto _ : state) {
        QuoteSeries s;
        if (AllocSeries(s, 400) != kSuccess) state.SkipWithError("allocation failed");
        int rows = 0;
        while (rows != kQuotes) {
            const int n = std::min(kQuotes - rows, 400);
            if (ReadSeries(s, dir, "BIG", kQuotes - rows - n, static_cast<std::int16_t>(n)) !=
                kSuccess) {
                state.SkipWithError("read failed");
                break;
            }
            benchmark::DoNotOptimize(s.close(0));
            rows += n;
        }
    }
    state.SetItemsProcessed(state.iterations() * kQuotes);
}
BENCHMARK(BM_ReadSeriesBlocksOf400)->Unit(benchmark::kMillisecond);

void BM_RewriteSeriesScale(benchmark::State& state) {
    const std::string dir = Data().dir.string();
    bool up = true;
    for (auto _ : state) {
        EditRequest r;
        r.op = EditOp::kScale;
        const float f = up ? 2.0f : 0.5f;
        r.values = {f, f, f, f, 1.0f, 1.0f};
        r.from = kFirstDay;
        r.to = kLastDay;
        up = !up;
        if (RewriteSeries(r, dir, "BIG") != kSuccess) state.SkipWithError("rewrite failed");
    }
    state.SetItemsProcessed(state.iterations() * kQuotes);
}
BENCHMARK(BM_RewriteSeriesScale)->Unit(benchmark::kMillisecond);

// Baseline: a checked, synced copy of the same file.
void BM_CopyFileBaseline(benchmark::State& state) {
    const fs::path from = Data().dir / "F1.DAT";
    const fs::path to = Data().dir / "COPY.DAT";
    for (auto _ : state) {
        if (CopyFileChecked(RealFileSystem(), from, to) != kSuccess)
            state.SkipWithError("copy failed");
    }
    state.SetItemsProcessed(state.iterations() * kQuotes);
}
BENCHMARK(BM_CopyFileBaseline)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
