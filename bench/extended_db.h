// The 3,000-security portfolio (MASTER, EMASTER and XMASTER) the benchmarks run on, written
// once by demo/demodb.h into the temporary directory and kept there for later runs: its
// thousands of synced files take far longer to write than any one measurement.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "demo/demodb.h"

namespace barwise::bench {

inline constexpr int kExtendedSecurities = 3000;
inline constexpr int kExtendedQuotesEach = 1000;

// The portfolio directory, or empty when it cannot be written. BARWISE_BENCH_DB names
// another place for it.
inline std::filesystem::path ExtendedBenchDb() {
    namespace fs = std::filesystem;
    const char* env = std::getenv("BARWISE_BENCH_DB");
    const fs::path dir = env && *env ? fs::path(env)
                                     : fs::temp_directory_path() /
                                           ("barwise-bench-extended-" + std::to_string(kExtendedSecurities) + "x" +
                                            std::to_string(kExtendedQuotesEach));
    const fs::path done = dir / "WRITTEN.txt";  // written last: the portfolio is whole
    std::error_code ec;
    if (fs::exists(done, ec)) return dir;
    if (WriteExtendedPortfolio(dir, kExtendedSecurities, kExtendedQuotesEach).status != kSuccess) return {};
    std::ofstream(done) << "WriteExtendedPortfolio " << kExtendedSecurities << " x " << kExtendedQuotesEach << "\n";
    return dir;
}

}  // namespace barwise::bench
