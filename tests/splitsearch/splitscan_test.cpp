#include "splitsearch/splitscan.h"

#include <gtest/gtest.h>

#include <tuple>

#include "demo/demodb.h"
#include "testsupport/dailyseries.h"
#include "testsupport/tempdir.h"

namespace barwise {
namespace {

using testing::TempDir;

// Ratios and gaps at and beside their bounds. Ratio 2.2 exactly (as a float it lies just above
// the double bound 2 * 1.1) is no hit, nor is 1.8 (the float 1.8f lies below the double
// 1.8); a gap exactly 0.8 times the close difference is none either (closes 20 and 10 give
// T 8; low 18 and high 10 give G 8). 3 for 4 and 4 for 3 are never tested.
TEST(SplitPair, Table) {
    const std::tuple<SplitDay, SplitDay, const char*> rows[] = {
        // close, high, low of each
        {{50, 51, 49}, {25, 26, 24}, "2 for 1"},       // R 2, T 20, G 23
        {{50, 51, 40}, {25, 26, 24}, "none"},          // gap 14 below 20
        {{10, 10.2f, 9.8f}, {30, 31, 29}, "1 for 3"},  // rising: |10.2 - 29| > 16
        {{10, 10.2f, 9.8f}, {20, 20.5f, 19.5f}, "1 for 2"},
        {{10, 10.2f, 9.8f}, {40, 41, 39}, "1 for 4"},
        {{30, 31, 29.5f}, {10, 10.2f, 9.8f}, "3 for 1"},
        {{40, 41, 39.5f}, {10, 10.2f, 9.8f}, "4 for 1"},
        {{30, 30.2f, 29.9f}, {20, 20.1f, 19.8f}, "3 for 2"},
        {{20, 20.1f, 19.9f}, {30, 30.2f, 29.9f}, "2 for 3"},
        {{30, 30.5f, 29.5f}, {40, 40.5f, 39.5f}, "none"},
        {{40, 40.5f, 39.5f}, {30, 30.5f, 29.5f}, "none"},
        {{0, 1, 0}, {25, 26, 24}, "none"},  // a close of 0
        {{50, 51, 49}, {0, 0, 0}, "none"},
        {{10, 10, 10}, {10, 10, 10}, "none"},
        {{22, 22, 22}, {10, 10, 10}, "none"},
        {{21.9f, 21.9f, 21.9f}, {10, 10, 10}, "2 for 1"},
        {{18, 18, 18}, {10, 10, 10}, "none"},
        {{20, 21, 18}, {10, 10, 9}, "none"},
        {{20, 21, 18.5f}, {10, 10, 9}, "2 for 1"},
    };
    for (const auto& [a, b, expected] : rows) {
        const auto r = TestSplitPair(a, b);
        const std::string hit = r ? std::to_string(r->p) + " for " + std::to_string(r->q) : "none";
        EXPECT_EQ(hit, expected) << a.close << " " << b.close;
    }
}

// A series of n flat quotes at 10.00, with a 2-for-1 jump into quote `jumpAt` (prices
// before it doubled) when jumpAt > 0.
DemoSeries Flat(int fileNumber, const std::string& symbol, int n, int jumpAt = -1) {
    return testing::DailySeries(
        fileNumber, symbol, symbol + " NAME", 24, MakeDate(2001, 1, 1), n, [&](int i) {
            const float f = (jumpAt > 0 && i < jumpAt) ? 2.0f : 1.0f;
            return DemoQuote{0, 0, 10 * f, 10.1f * f, 9.9f * f, 10 * f, 500, 0};
        });
}

struct Collected {
    std::vector<std::string> lines, fewer, unreadable, messages, done, counts;
};

SplitScanObserver Observer(Collected& c) {
    SplitScanObserver o;
    o.result = [&](const std::string& l) { c.lines.push_back(l); };
    o.fewerThanTwo = [&](const std::string& t, const std::string&) { c.fewer.push_back(t); };
    o.unreadable = [&](const std::string& t, const std::string& m) {
        c.unreadable.push_back(t);
        c.messages.push_back(m);
    };
    o.quoteCount = [&](const std::string& t, const std::string&, std::int64_t held, int header) {
        c.counts.push_back(t + " " + std::to_string(held) + "/" + std::to_string(header));
    };
    o.symbolDone = [&](const std::string& t, int, int) { c.done.push_back(t); };
    return o;
}

// Scans the securities the symbols name, in their order; a symbol the portfolio lacks stands
// for an entry whose quote file is missing.
SplitScanResult Scan(const std::string& dir, const std::vector<std::string>& tickers,
                     Collected& c) {
    std::vector<SplitTarget> targets;
    for (const std::string& t : tickers) {
        SplitTarget target{t, {}, {}};
        if (FindSymbol(dir, t, target.record, target.id) != kSuccess) {
            EXPECT_EQ(FindSymbol(dir, tickers.front(), target.record, target.id), kSuccess);
            target.record.bytes[kMasterFileNumberOffset] = 250;
            target.id.fileNumber = 250;
        }
        targets.push_back(std::move(target));
    }
    return ScanForSplits(targets, Observer(c));
}

// Jumps into quote 400 (the pair 399/400 spans the first chunk's end), into quote 1 and into
// the last quote; 801 quotes make chunks 0-399, 399-798, 798-800. SHORT's file ends (430
// quotes, its header claims 1000) before its jump: only the quotes it holds are tested.
TEST(SplitScan, ChunksOverlapSoEveryPairIsTestedOnce) {
    TempDir tmp;
    DemoPortfolio p;
    p.series = {Flat(1, "EDGE", 401, 400), Flat(2, "FIRST", 2, 1),    Flat(3, "LAST", 801, 800),
                Flat(4, "MID", 801, 399),  Flat(5, "NONE", 900),      Flat(6, "ONE", 1),
                Flat(7, "ZERO", 0),        Flat(8, "SHORT", 500, 450)};
    ASSERT_TRUE(WritePortfolio(tmp.path(), p));
    auto bytes = testing::ReadBytes(tmp.path() / "F8.DAT");
    bytes.resize(24 * 431);
    PutI16(bytes.data() + 2, 1001);
    testing::WriteBytes(tmp.path() / "F8.DAT", bytes);
    Collected c;
    const SplitScanResult r = Scan(
        tmp.str(), {"EDGE", "FIRST", "LAST", "MID", "NONE", "ONE", "ZERO", "SHORT", "GONE"}, c);
    EXPECT_EQ(std::tuple(r.end, r.found, r.lines, r.unreadable),
              std::tuple(SplitScanEnd::kDone, true, 4, 1));
    const DateCode d0 = MakeDate(2001, 1, 1);
    EXPECT_EQ(c.lines, (std::vector<std::string>{
                           FormatSplitLine("EDGE", {2, 1}, static_cast<DateCode>(d0 + 400)),
                           FormatSplitLine("FIRST", {2, 1}, static_cast<DateCode>(d0 + 1)),
                           FormatSplitLine("LAST", {2, 1}, static_cast<DateCode>(d0 + 800)),
                           FormatSplitLine("MID", {2, 1}, static_cast<DateCode>(d0 + 399)),
                       }));
    EXPECT_EQ(c.fewer, (std::vector<std::string>{"ONE", "ZERO"}));
    EXPECT_EQ(c.unreadable, (std::vector<std::string>{"GONE"}));
    // The file named is the missing quote file, in the platform's own form.
    EXPECT_NE(c.messages.at(0).find("(" + (tmp.path() / "F250.DAT").string() + ": File Open)"),
              std::string::npos)
        << c.messages.at(0);
    EXPECT_EQ(c.done.size(), 9u);
    EXPECT_EQ(c.counts, (std::vector<std::string>{"SHORT 430/1000"}));
}

}  // namespace
}  // namespace barwise
