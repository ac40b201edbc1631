// The portfolio check over the 3,000-security portfolio of bench/extended_db.h (MASTER,
// EMASTER and XMASTER), beside reading every file of that portfolio once into one buffer.
// This is the check's own work against bare reads, inside one process, for profiling; the
// target (at most twice `cat` of the same files, both as whole processes) is measured by
// bench/cli_bench.sh.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "check/portfoliocheck.h"
#include "extended_db.h"

namespace fs = std::filesystem;
using namespace barwise;

namespace {

const fs::path& Db() {
    static const fs::path dir = bench::ExtendedBenchDb();
    return dir;
}

double catSeconds = 0, checkSeconds = 0;

void BM_CatAllFiles(benchmark::State& state) {
    if (Db().empty()) return state.SkipWithError("cannot write the portfolio");
    const std::vector<fs::path> files = bench::AllFiles(Db());
    std::vector<char> buffer(128 * 1024);
    std::int64_t bytes = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        bytes = bench::ReadAllLikeCat(files, buffer);
        catSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (bytes < 0) return state.SkipWithError("cannot open a file");
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["files"] = static_cast<double>(files.size());
    state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_CatAllFiles)->Unit(benchmark::kMillisecond);

void BM_CheckPortfolio(benchmark::State& state) {
    if (Db().empty()) return state.SkipWithError("cannot write the portfolio");
    std::size_t findings = 0;
    int securities = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const CheckReport r = CheckPortfolio(Db().string());
        checkSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (r.status != kSuccess)
            return state.SkipWithError("the check could not read the portfolio");
        findings = r.findings.size();
        securities = r.securities;
    }
    state.counters["securities"] = securities;
    state.counters["findings"] = static_cast<double>(findings);
}
BENCHMARK(BM_CheckPortfolio)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (catSeconds > 0 && checkSeconds > 0)
        std::printf("check / cat (last iteration of each): %.2f\n", checkSeconds / catSeconds);
    return 0;
}
