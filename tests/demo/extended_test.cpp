// The portfolio of MASTER, EMASTER and XMASTER built for tests and benchmarks, read back by
// the independent index decoding.
#include <gtest/gtest.h>

#include "demo/demodb.h"
#include "testsupport/indexcheck.h"
#include "testsupport/testdb.h"

namespace barwise {
namespace {

using testing::DecodedIndex;
using testing::DecodedSecurity;
using testing::IndexKind;
using testing::TempDir;

struct Shape {
    int securities, quotesEach;
};

class ExtendedPortfolio : public ::testing::TestWithParam<Shape> {};

TEST_P(ExtendedPortfolio, IndexFilesAgreeAndListEverySecurity) {
    const Shape shape = GetParam();
    TempDir tmp;
    const DemoResult result =
        WriteExtendedPortfolio(tmp.path(), shape.securities, shape.quotesEach);
    ASSERT_EQ(result.status, kSuccess) << result.file;
    EXPECT_EQ(std::pair(result.securities, result.quotes),
              std::pair(shape.securities, static_cast<long>(shape.securities) * shape.quotesEach));

    EXPECT_EQ(testing::IndexDisagreements(tmp.path()), std::vector<std::string>{});

    const DecodedIndex index = testing::DecodeIndexFiles(tmp.path());
    EXPECT_EQ(std::pair(index.hasEmaster, index.hasXmaster),
              std::pair(true, shape.securities > 255));
    ASSERT_EQ(index.securities.size(), static_cast<std::size_t>(shape.securities));
    bool longInMaster = false, longInXmaster = false;
    for (int i = 1; i <= shape.securities; ++i) {
        const DecodedSecurity& got = index.securities[static_cast<std::size_t>(i - 1)];
        const DemoSeries want = ExtendedPortfolioSeries(i, shape.quotesEach);
        const bool inMaster = i <= 255;
        // Security i is F<i>: F1..F255.DAT, then F256.MWD on; MASTER keeps 16 letters of a name.
        EXPECT_EQ(
            std::tuple(got.index, got.position, got.fileNumber, got.symbol, got.fullName(),
                       got.firstDate, got.lastDate, got.fieldCount, got.period),
            std::tuple(inMaster ? IndexKind::kMaster : IndexKind::kXmaster, inMaster ? i : i - 255,
                       i, want.symbol, want.name, testing::Ymd(want.quotes.front().date),
                       testing::Ymd(want.quotes.back().date), 7, 'D'))
            << i;
        EXPECT_EQ(got.name, inMaster ? want.name.substr(0, 16) : want.name) << i;
        const bool isLong = want.name.size() > 16;
        (inMaster ? longInMaster : longInXmaster) |= isLong;
        const fs::path file = tmp.path() / ("F" + std::to_string(i) + (inMaster ? ".DAT" : ".MWD"));
        EXPECT_EQ(fs::file_size(file), static_cast<std::uintmax_t>(shape.quotesEach + 1) * 28)
            << file;
    }
    EXPECT_EQ(longInMaster, shape.securities >= kExtendedNameEvery);
    EXPECT_EQ(longInXmaster, shape.securities >= 255 + kExtendedNameEvery);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ExtendedPortfolio,
                         ::testing::Values(Shape{1, 5}, Shape{256, 3}, Shape{300, 40}));

// Impossible shapes are refused before anything is written; a smaller portfolio written over
// a larger one leaves no XMASTER behind.
TEST(ExtendedPortfolioWriter, RefusesImpossibleShapesAndLeavesNoStaleXmaster) {
    TempDir tmp;
    for (const Shape s :
         {Shape{0, 5}, Shape{65536, 1}, Shape{5, -1}, Shape{5, kMaxQuotesPerFile + 1}}) {
        EXPECT_EQ(WriteExtendedPortfolio(tmp.path() / "db", s.securities, s.quotesEach).status,
                  kInvalidParm)
            << s.securities << " x " << s.quotesEach;
        EXPECT_FALSE(fs::exists(tmp.path() / "db"));
    }
    ASSERT_EQ(WriteExtendedPortfolio(tmp.path(), 256, 1).status, kSuccess);
    ASSERT_EQ(WriteExtendedPortfolio(tmp.path(), 10, 1).status, kSuccess);
    EXPECT_FALSE(fs::exists(tmp.path() / "XMASTER"));
    EXPECT_TRUE(testing::IndexDisagreements(tmp.path()).empty());
    EXPECT_EQ(testing::DecodeIndexFiles(tmp.path()).securities.size(), 10u);
}

}  // namespace
}  // namespace barwise
