// A move killed at a random moment: afterwards the security is complete in the source
// portfolio, or in the destination, or in both; never in neither, and each MASTER is
// either as it was or as the move makes it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <random>

#include "commands/symbols/symbolops.h"
#include "symboltestdb.h"

namespace barwise {
namespace {

using testing::FileNumbers;
using testing::IdOf;
using testing::Portfolio;
using testing::ReadBytes;
using testing::Series;
using testing::TempDir;

long RunMove(const fs::path& src, const fs::path& dst, long killAfterMicros) {
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const TransferOutcome out = TransferSecurity(IdOf(src, 2), dst.string(), true);
        _exit(out.end == TransferEnd::kDone ? 0 : 3);
    }
    if (killAfterMicros >= 0) {
        timespec ts{killAfterMicros / 1000000, (killAfterMicros % 1000000) * 1000};
        while (nanosleep(&ts, &ts) != 0) {
        }
        kill(pid, SIGKILL);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (killAfterMicros < 0) {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0)
            .count());
}

TEST(MoveCrash, AKillAtAnyMomentKeepsTheSecurityWhole) {
    TempDir tmp;
    const fs::path src = tmp.path() / "src", dst = tmp.path() / "dst";
    const auto make = [&] {
        fs::remove_all(src);
        fs::remove_all(dst);
        ASSERT_TRUE(Portfolio(src, {Series(1, "AAA"), Series(2, "BIG", 20000, true)}));
        ASSERT_TRUE(Portfolio(dst, {Series(1, "X1")}));
    };
    make();
    const auto dat = ReadBytes(src / "F2.DAT");
    const auto dop = ReadBytes(src / "F2.DOP");
    const auto srcOld = ReadBytes(src / "MASTER");
    const auto dstOld = ReadBytes(dst / "MASTER");
    long micros = RunMove(src, dst, -1);
    const auto srcNew = ReadBytes(src / "MASTER");
    const auto dstNew = ReadBytes(dst / "MASTER");

    std::mt19937 rng(12345);
    int inSourceOnly = 0, inBoth = 0, inDestOnly = 0;
    for (int trial = 0; trial < 60; ++trial) {
        make();
        RunMove(src, dst, std::uniform_int_distribution<long>(0, micros)(rng));
        const auto s = ReadBytes(src / "MASTER");
        const auto d = ReadBytes(dst / "MASTER");
        ASSERT_TRUE(s == srcOld || s == srcNew) << "trial " << trial;
        ASSERT_TRUE(d == dstOld || d == dstNew) << "trial " << trial;
        const bool inSource =
            s == srcOld && ReadBytes(src / "F2.DAT") == dat && ReadBytes(src / "F2.DOP") == dop;
        const bool inDest =
            d == dstNew && ReadBytes(dst / "F2.DAT") == dat && ReadBytes(dst / "F2.DOP") == dop;
        ASSERT_TRUE(inSource || inDest) << "trial " << trial;
        inSourceOnly += inSource && !inDest;
        inBoth += inSource && inDest;
        inDestOnly += inDest && !inSource;
    }
    // The kills were spread over the whole move.
    EXPECT_GT(inSourceOnly + inBoth, 0);
    EXPECT_GT(inDestOnly, 0);
}

}  // namespace
}  // namespace barwise
