// The split search over the 3,000-security portfolio of bench/extended_db.h, beside reading
// every file of that portfolio once (what `cat` of them does). The search covers the
// securities the library lists for the portfolio, as barwise-cli split-search builds them;
// the number listed is printed and given as a counter, so the figures can be read against
// the 3,000 the portfolio holds.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "datafiles/master.h"
#include "discovery/symbollist.h"
#include "extended_db.h"
#include "splitsearch/splitscan.h"

namespace fs = std::filesystem;
using namespace barwise;

namespace {

const fs::path& Db() {
    static const fs::path dir = bench::ExtendedBenchDb();
    return dir;
}

// As barwise-cli split-search: every listed row within the header's count, by identity.
std::vector<SplitTarget> ListedTargets(const fs::path& dir) {
    std::vector<SplitTarget> targets;
    const SymbolListing listing = ListSymbols(MasterPathOf(dir.string()), 1 << 30);
    if (listing.status != kSuccess) return targets;
    for (const SymbolRow& row : listing.rows) {
        if (row.record.isSubdirEntry()) continue;
        targets.push_back({row.symbol, row.id, row.record});
    }
    return targets;
}

void BM_ReadAllFilesLikeCat(benchmark::State& state) {
    if (Db().empty()) return state.SkipWithError("cannot write the portfolio");
    const std::vector<fs::path> files = bench::AllFiles(Db());
    std::vector<char> buffer(128 * 1024);
    std::int64_t bytes = 0;
    for (auto _ : state) {
        bytes = bench::ReadAllLikeCat(files, buffer);
        if (bytes < 0) return state.SkipWithError("cannot open a file");
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["files"] = static_cast<double>(files.size());
    state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_ReadAllFilesLikeCat)->Unit(benchmark::kMillisecond);

void BM_SplitSearchListed(benchmark::State& state) {
    if (Db().empty()) return state.SkipWithError("cannot write the portfolio");
    const std::vector<SplitTarget> targets = ListedTargets(Db());
    if (targets.empty()) return state.SkipWithError("the library lists no securities");
    int lines = 0;
    for (auto _ : state) {
        const SplitScanResult r = ScanForSplits(targets);
        if (r.end != SplitScanEnd::kDone) return state.SkipWithError("the search did not finish");
        lines = r.lines;
    }
    state.counters["listed"] = static_cast<double>(targets.size());
    state.counters["lines"] = lines;
}
BENCHMARK(BM_SplitSearchListed)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (Db().empty()) {
        std::fprintf(stderr, "cannot write the benchmark portfolio\n");
        return 1;
    }
    std::printf("portfolio %s: %d securities written, %zu listed by the library\n", Db().c_str(),
                bench::kExtendedSecurities, ListedTargets(Db()).size());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
