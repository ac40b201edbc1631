// The 3,000-security portfolio (MASTER, EMASTER and XMASTER) the benchmarks run on, written
// once by demo/demodb.h into the temporary directory and kept there for later runs: its
// thousands of synced files take far longer to write than any one measurement.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "demo/demodb.h"

namespace barwise::bench {

inline constexpr int kExtendedSecurities = 3000;
inline constexpr int kExtendedQuotesEach = 1000;

// The portfolio directory, or empty when it cannot be written. BARWISE_BENCH_DB names
// another place for it.
inline std::filesystem::path ExtendedBenchDb() {
    namespace fs = std::filesystem;
    const char* env = std::getenv("BARWISE_BENCH_DB");
    const fs::path dir =
        env && *env ? fs::path(env)
                    : fs::temp_directory_path() /
                          ("barwise-bench-extended-" + std::to_string(kExtendedSecurities) + "x" +
                           std::to_string(kExtendedQuotesEach));
    const fs::path done = dir / "WRITTEN.txt";  // written last: the portfolio is whole
    std::error_code ec;
    if (fs::exists(done, ec)) return dir;
    if (WriteExtendedPortfolio(dir, kExtendedSecurities, kExtendedQuotesEach).status != kSuccess)
        return {};
    std::ofstream(done) << "WriteExtendedPortfolio " << kExtendedSecurities << " x "
                        << kExtendedQuotesEach << "\n";
    return dir;
}

// Every regular file of a directory.
inline std::vector<std::filesystem::path> AllFiles(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.is_regular_file()) files.push_back(e.path());
    return files;
}

// Reads every file once into one buffer, as `cat` of them does: the bytes read, or -1 when
// a file cannot be opened.
inline std::int64_t ReadAllLikeCat(const std::vector<std::filesystem::path>& files,
                                   std::vector<char>& buffer) {
    std::int64_t bytes = 0;
    for (const std::filesystem::path& f : files) {
        const int fd = ::open(f.c_str(), O_RDONLY);
        if (fd < 0) return -1;
        for (ssize_t n; (n = ::read(fd, buffer.data(), buffer.size())) > 0;) bytes += n;
        ::close(fd);
    }
    return bytes;
}

}  // namespace barwise::bench
