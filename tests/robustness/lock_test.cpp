// The portfolio writer lock: one thread takes it again, a second writer waits, then gives
// up writing nothing; two portfolios are taken in one order; the lock file is found in
// any letter case; temporaries are new files, never another writer's.
#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "commands/quotes/quoteedits.h"
#include "datafiles/master.h"
#include "datafiles/portfoliolock.h"
#include "datafiles/rewrite.h"
#include "robustness/portfolio.h"
#include "testsupport/testdb.h"

using namespace barwise;
using namespace barwise::robustness;
using namespace std::chrono_literals;

namespace {

class LockTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteDirectory(dir.path(), MakePortfolio(40));
        SetPortfolioLockWait(300ms);
    }
    void TearDown() override { SetPortfolioLockWait(5000ms); }

    DataStatus Edit() {
        return RewriteSeries(
            barwise::testing::MakeEdit(EditOp::kScale, kFirstDay, kLastDay, {2, 2, 2, 2, 2, 2}),
            dir.path().string(), "AAA");
    }
    // Whether another thread gets the lock of `d` within the wait.
    static bool OtherThreadGets(const fs::path& d) {
        bool got = false;
        std::thread([&] { got = PortfolioLock(d.string()).held(); }).join();
        return got;
    }

    ScratchDir dir;
};

// The holder takes the lock again and keeps it until the outer release; a writer in
// another thread meanwhile waits, then gives up writing nothing.
TEST_F(LockTest, TheHolderTakesItAgainAndAnotherWriterWaitsThenFailsWritingNothing) {
    {
        const PortfolioLock outer(dir.path().string());
        ASSERT_TRUE(outer.held());
        // A rewrite takes it again inside, and a delete's date upkeep a third time.
        EXPECT_EQ(Edit(), kSuccess);
        EXPECT_TRUE(PortfolioLock::HeldByThisThread(dir.path()));
        const DirectoryContent before = Compared(ReadDirectory(dir.path()));
        DataStatus other = kSuccess;
        std::thread([&] { other = Edit(); }).join();
        EXPECT_EQ(other, kPortfolioBusy);
        EXPECT_EQ(Compared(ReadDirectory(dir.path())), before);
    }
    EXPECT_FALSE(PortfolioLock::HeldByThisThread(dir.path()));
    EXPECT_TRUE(OtherThreadGets(dir.path()));
}

TEST_F(LockTest, TwoPortfoliosAreTakenInOneOrderAndOneDirectoryOnce) {
    ScratchDir second;
    SetPortfolioLockWait(20000ms);
    // Crossing pairs, many times over: a deadlock would end in a busy result (or hang).
    std::atomic<int> busy{0};
    auto cross = [&](const fs::path& a, const fs::path& b) {
        for (int i = 0; i < 300; ++i)
            if (!PortfolioLock(a.string(), b.string()).held()) ++busy;
    };
    std::thread one(cross, dir.path(), second.path());
    std::thread two(cross, second.path(), dir.path());
    one.join();
    two.join();
    EXPECT_EQ(busy, 0);

    SetPortfolioLockWait(100ms);
    const std::string sameTwice = (dir.path() / ".").string();
    const PortfolioLock both(dir.path().string(), sameTwice);
    EXPECT_TRUE(both.held());
    EXPECT_FALSE(OtherThreadGets(dir.path()));
    EXPECT_TRUE(OtherThreadGets(second.path()));
}

// The lock file stays, found in any letter case: no second one is made. (That another
// process is kept out is the concurrency harness's, whose writers that gave up wrote
// nothing; that a killed holder blocks nothing is checked after every kill of the crash
// harness.)
TEST_F(LockTest, TheLockFileIsFoundInAnyLetterCase) {
    EXPECT_EQ(Edit(), kSuccess);
    fs::rename(dir.path() / std::string(kLockFileName), dir.path() / "barwise.lck");
    EXPECT_EQ(Edit(), kSuccess);
    EXPECT_FALSE(fs::exists(dir.path() / std::string(kLockFileName)));
}

TEST_F(LockTest, TemporariesAreNewFilesNeverAnotherWritersFile) {
    const fs::path taken = dir.path() / "OTHER.NEW";
    WriteDirectory(dir.path(), {{"OTHER.NEW", {1, 2, 3}}});
    EXPECT_EQ(RealFileSystem().create(taken), nullptr);
    EXPECT_EQ(ReadWholeFile(taken), Bytes({1, 2, 3}));
    // Outside a held lock the rewrite takes another name and leaves that file alone.
    ASSERT_EQ(WriteFileChecked(RealFileSystem(), dir.path() / "OTHER", Bytes{7}), kSuccess);
    EXPECT_EQ(ReadWholeFile(taken), Bytes({1, 2, 3}));
    EXPECT_EQ(ReadWholeFile(dir.path() / "OTHER"), Bytes{7});
    // (Under the lock a leftover is what an interrupted change left: it goes, as
    // WriteFailure.LeftoverTemporariesAreOverwritten... holds for every rewrite.)
}

TEST_F(LockTest, AnEditMadeFromAnEarlierReadKeepsAnotherWritersChangesAndMissesNoQuote) {
    MasterRecord record;
    SecurityId id;
    ASSERT_EQ(FindSymbol(dir.path().string(), "AAA", record, id), kSuccess);
    SeriesQuotes shown;
    ASSERT_EQ(ReadSeriesQuotes(id, shown), kSuccess);
    const QuoteRow quote = shown.quotes[5];
    auto texts = [&](std::size_t field, const std::string& text) {
        std::array<std::string, 6> t;
        for (std::size_t i = 0; i < 6; ++i)
            t[i] = QuoteValueText(static_cast<int>(i), quote.values[i], true);
        t[field] = text;
        return t;
    };
    // Two windows show the same quote; one changes the open, the other then the close.
    ASSERT_EQ(RewriteSeries(*EditQuoteRequest(quote, texts(0, "11"), shown.present), id), kSuccess);
    ASSERT_EQ(RewriteSeries(*EditQuoteRequest(quote, texts(3, "33"), shown.present), id), kSuccess);
    SeriesQuotes now;
    ASSERT_EQ(ReadSeriesQuotes(id, now), kSuccess);
    auto both = quote.values;  // the open of one window, the close of the other
    both[0] = 11.0f;
    both[3] = 33.0f;
    EXPECT_EQ(now.quotes[5].values, both);

    // Another writer deleted the quote meanwhile: the edit is refused, nothing written.
    ASSERT_EQ(
        RewriteSeries(barwise::testing::MakeEdit(EditOp::kDelete, quote.date, quote.date), id),
        kSuccess);
    const auto dat = ReadWholeFile(dir.path() / "F1.DAT");
    EXPECT_EQ(RewriteSeries(*EditQuoteRequest(quote, texts(3, "44"), shown.present), id),
              kRecordNotFound);
    EXPECT_EQ(ReadWholeFile(dir.path() / "F1.DAT"), dat);
}

}  // namespace
