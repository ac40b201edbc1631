// barwise-cli while another writer holds the portfolio: every writing command waits, then
// says so and writes nothing; the portfolio free again, the same command goes through.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "cli/clirun.h"
#include "datafiles/portfoliolock.h"
#include "testsupport/tempdir.h"

namespace barwise {
namespace {

using namespace std::chrono_literals;
using testing::Cli;
using testing::TempDir;

// Every file below a directory but the lock file, by path.
std::map<std::string, std::vector<std::uint8_t>> Files(const fs::path& dir) {
    std::map<std::string, std::vector<std::uint8_t>> out;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file() && e.path().filename() != kLockFileName) out[e.path().string()] = *ReadWholeFile(e.path());
    return out;
}

TEST(LockCli, EveryWriterSaysAnotherProgramIsChangingThePortfolio) {
    TempDir tmp;
    ASSERT_EQ(Cli({"make-demo", tmp.str() + "/demo"}).status, 0);
    const std::string stocks = tmp.str() + "/demo/STOCKS";
    const std::string futures = tmp.str() + "/demo/FUTURES";
    const std::string newest = "07/02/2024";
    const std::vector<std::vector<std::string>> writers = {
        {"edit-quote", stocks, "ACME", newest, "--close", "9"},
        {"split", stocks, "ACME", newest, "2", "1"},
        {"adjust", stocks, "ACME", "01/02/2020", newest, "--vol", "2"},
        {"delete-quote", stocks, "ACME", "07/01/2024"},
        {"add-quote", stocks, "ACME", newest},  // the day before again, a copy of the newest
        {"rename-symbol", stocks, "ACME", "ACMX"},
        {"delete-symbol", stocks, "BOLT", "--yes"},
        {"copy-symbol", futures, "--file", "1", stocks},
        {"move-symbol", stocks, "CRNE", futures},
    };
    SetPortfolioLockWait(100ms);
    const auto before = Files(tmp.path());
    std::atomic<bool> holding{false}, done{false};
    std::thread other([&] {
        const PortfolioLock lock(stocks);
        holding = true;
        while (!done) std::this_thread::sleep_for(1ms);
    });
    while (!holding) std::this_thread::sleep_for(1ms);
    for (const auto& args : writers) {
        const auto run = Cli(args);
        EXPECT_EQ(run.status, 1) << args[0];
        EXPECT_NE(run.err.find("another program is changing this portfolio"), std::string::npos) << args[0] << ": " << run.err;
    }
    EXPECT_EQ(Files(tmp.path()), before);
    done = true;
    other.join();
    SetPortfolioLockWait(5000ms);
    for (const auto& args : writers) {
        const auto run = Cli(args);
        EXPECT_EQ(run.status, 0) << args[0] << ": " << run.err;
    }
}

}  // namespace
}  // namespace barwise
