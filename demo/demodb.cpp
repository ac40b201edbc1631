#include "demo/demodb.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>
#include <system_error>

namespace barwise {
namespace {

// splitmix64: the same numbers on every platform, and only exact integer arithmetic.
class DemoRandom {
public:
    explicit DemoRandom(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    // Roughly normal, mean 0 and deviation 1 (sum of four uniforms).
    double normal() { return (uniform() + uniform() + uniform() + uniform() - 2.0) * 1.7320508075688772; }

private:
    std::uint64_t state_;
};

// 0 Sunday .. 6 Saturday (day 1, 1 January 1961, was a Sunday; earlier days count back).
int Weekday(DateCode code) {
    const int w = (code - 1) % 7;
    return w < 0 ? w + 7 : w;
}

bool IsWeekday(DateCode code) {
    const int w = Weekday(code);
    return w >= 1 && w <= 5;
}

float Cents(double v) { return static_cast<float>(std::round(v * 100.0) / 100.0); }

// The dates of n weekday quotes from a first day on; `skip` (a day, or kNoDate) is left out.
std::vector<DateCode> Weekdays(DateCode first, int n, DateCode skip = kNoDate) {
    std::vector<DateCode> dates;
    for (DateCode d = first; static_cast<int>(dates.size()) < n; ++d) {
        if (IsWeekday(d) && d != skip) dates.push_back(d);
    }
    return dates;
}

struct WalkSpec {
    std::uint64_t seed = 1;
    double startPrice = 40.0;
    double dailyMove = 0.015;  // deviation of the daily return
    double drift = 0.0003;
    double volume = 250000;
    double openInterest = 0;   // 0: no open interest
    int splitAt = -1;          // first quote after an unrecorded split
    double splitFactor = 1.0;  // prices before splitAt are multiplied by this
};

// Daily bars of a random walk: open near the previous close, the day's range around open
// and close, volumes in round lots.
std::vector<DemoQuote> RandomWalk(const std::vector<DateCode>& dates, const WalkSpec& walk) {
    DemoRandom rnd(walk.seed);
    std::vector<DemoQuote> quotes;
    quotes.reserve(dates.size());
    double close = walk.startPrice;
    double oi = walk.openInterest;
    for (std::size_t i = 0; i < dates.size(); ++i) {
        const double gapMove = rnd.normal() * walk.dailyMove * 0.25;
        double move = walk.drift + rnd.normal() * walk.dailyMove;
        move = std::clamp(move, -0.09, 0.09);
        if (static_cast<int>(i) == walk.splitAt) move = 0.004;  // a quiet day for the split
        const double open = close * (1.0 + gapMove);
        const double next = std::max(open * (1.0 + move), 0.5);
        const double high = std::max(open, next) * (1.0 + rnd.uniform() * walk.dailyMove * 0.8);
        const double low = std::min(open, next) * (1.0 - rnd.uniform() * walk.dailyMove * 0.8);
        const double factor = (walk.splitAt >= 0 && static_cast<int>(i) < walk.splitAt) ? walk.splitFactor : 1.0;
        DemoQuote q;
        q.date = dates[i];
        q.open = Cents(open * factor);
        q.close = Cents(next * factor);
        q.high = std::max({Cents(high * factor), q.open, q.close});
        q.low = std::min({Cents(low * factor), q.open, q.close});
        const double lots = std::round(walk.volume * (0.4 + 1.2 * rnd.uniform()) / factor / 100.0);
        q.volume = static_cast<float>(std::max(lots, 1.0) * 100.0);
        if (walk.openInterest > 0) {
            oi = std::max(1000.0, oi + std::round(rnd.normal() * walk.openInterest * 0.02));
            q.openInterest = static_cast<float>(oi);
        }
        quotes.push_back(q);
        close = next;
    }
    return quotes;
}

// Weekly bars (one per Friday) from daily ones.
std::vector<DemoQuote> Weekly(const std::vector<DemoQuote>& daily) {
    std::vector<DemoQuote> weeks;
    DemoQuote cur;
    bool open = false;
    for (const DemoQuote& d : daily) {
        if (!open) {
            cur = d;
            cur.volume = 0;
            open = true;
        }
        cur.high = std::max(cur.high, d.high);
        cur.low = std::min(cur.low, d.low);
        cur.close = d.close;
        cur.volume += d.volume;
        cur.date = d.date;
        if (Weekday(d.date) == 5) {  // Friday
            weeks.push_back(cur);
            open = false;
        }
    }
    return weeks;
}

struct BarSpec {
    std::uint64_t seed;
    int barsPerDay;
    int firstMinute;  // minutes after midnight
    int stepMinutes;
    double startPrice;
    double lowestPrice;
    double move;  // deviation of a bar's return
    double tick;  // prices are whole ticks
    unsigned rangeTicks;
    unsigned volumeBase, volumeSpread;
};

// Intraday bars of a random walk, barsPerDay on each day.
std::vector<DemoQuote> IntradayBars(const BarSpec& b, const std::vector<DateCode>& days) {
    DemoRandom rnd(b.seed);
    std::vector<DemoQuote> quotes;
    double price = b.startPrice;
    const auto tick = static_cast<float>(b.tick);
    for (DateCode day : days) {
        for (int bar = 0; bar < b.barsPerDay; ++bar) {
            const int minutes = b.firstMinute + bar * b.stepMinutes;
            DemoQuote q;
            q.date = day;
            q.time = MakeTime(minutes / 60, minutes % 60, 0);
            const double open = price;
            price = std::max(b.lowestPrice, price * (1.0 + rnd.normal() * b.move));
            q.open = static_cast<float>(std::round(open / b.tick) * b.tick);
            q.close = static_cast<float>(std::round(price / b.tick) * b.tick);
            q.high = std::max(q.open, q.close) + tick * static_cast<float>(rnd.next() % b.rangeTicks);
            q.low = std::min(q.open, q.close) - tick * static_cast<float>(rnd.next() % b.rangeTicks);
            q.volume = static_cast<float>(b.volumeBase + rnd.next() % b.volumeSpread);
            quotes.push_back(q);
        }
    }
    return quotes;
}

DemoSeries Series(int fileNumber, std::string symbol, std::string name, int recordLength,
                  std::vector<QuoteField> columns, std::vector<DemoQuote> quotes) {
    DemoSeries s;
    s.fileNumber = fileNumber;
    s.symbol = std::move(symbol);
    s.name = std::move(name);
    s.recordLength = recordLength;
    s.columns = std::move(columns);
    s.quotes = std::move(quotes);
    return s;
}

DemoDatabase DefaultDemo() {
    DemoDatabase db;
    const DateCode start = MakeDate(2013, 1, 2);
    const std::vector<DateCode> days3000 = Weekdays(start, 3000);

    DemoPortfolio stocks;
    stocks.relativeDir = "STOCKS";
    {
        WalkSpec w{101, 38.0, 0.016, 0.0004, 1800000, 0, 1850, 2.0};
        stocks.series.push_back(Series(1, "ACME", "ACME CORP", 28, DefaultColumns(28), RandomWalk(days3000, w)));
    }
    {
        WalkSpec w{202, 9.0, 0.02, 0.0001, 650000, 0, 1400, 1.0 / 3.0};
        stocks.series.push_back(
            Series(2, "BOLT", "BOLT MOTORS", 24, DefaultColumns(24), RandomWalk(Weekdays(start, 2600), w)));
    }
    {
        // 20-byte records, fifth field a price: DATE OPEN HIGH LOW CLOSE.
        WalkSpec w{303, 22.5, 0.012, 0.0002, 0};
        stocks.series.push_back(Series(3, "CRNE", "CRANE SHIPPING", 20, DefaultColumns(20, false),
                                       RandomWalk(Weekdays(MakeDate(2016, 1, 4), 1500), w)));
    }
    {
        // 20-byte records, fifth field a volume: DATE HIGH LOW CLOSE VOL.
        WalkSpec w{404, 61.0, 0.014, 0.0003, 420000};
        stocks.series.push_back(Series(4, "DYNA", "DYNAMO MINING", 20, DefaultColumns(20, true),
                                       RandomWalk(Weekdays(MakeDate(2016, 1, 4), 1500), w)));
    }
    {
        // A blank symbol field: the grid lists it under its name and offers to repair it.
        WalkSpec w{505, 27.0, 0.009, 0.0002, 90000};
        DemoSeries s = Series(5, "", "ELMWOOD BANCORP", 24, DefaultColumns(24),
                              RandomWalk(Weekdays(MakeDate(2018, 1, 2), 1200), w));
        s.writeDop = true;
        s.formats = {{0, 0}, {2, 2}, {2, 2}, {2, 2}, {2, 2}, {100, 100}};
        stocks.series.push_back(std::move(s));
    }
    {
        // Wednesday 16 March 2022 is missing.
        WalkSpec w{606, 112.0, 0.013, 0.0002, 3200000};
        DemoSeries s = Series(6, "GLBX", "GLOBEX TELECOM", 28, DefaultColumns(28),
                              RandomWalk(Weekdays(MakeDate(2019, 1, 2), 1400, MakeDate(2022, 3, 16)), w));
        for (DemoQuote& q : s.quotes) q.openInterest = 0;
        s.writeDop = true;
        s.formats = {{0, 0}, {3, 2}, {3, 2}, {3, 2}, {3, 2}, {1000, 1000}, {0, 0}};
        stocks.series.push_back(std::move(s));
    }
    stocks.subdirEntries = {"FUNDS"};
    db.portfolios.push_back(std::move(stocks));

    DemoPortfolio funds;
    funds.relativeDir = "STOCKS/FUNDS";
    {
        WalkSpec w{707, 15.0, 0.007, 0.0003, 40000};
        DemoSeries s = Series(1, "HRBR", "HARBOR INDEX", 24, DefaultColumns(24),
                              Weekly(RandomWalk(Weekdays(MakeDate(2010, 1, 4), 3000), w)));
        s.period = 'W';
        s.writeDop = true;
        s.formats = {{0, 0}, {2, 2}, {2, 2}, {2, 2}, {2, 2}, {0, 0}};
        funds.series.push_back(std::move(s));
    }
    {
        WalkSpec w{808, 101.0, 0.003, 0.00005, 12000};
        funds.series.push_back(
            Series(2, "IRON", "IRONWOOD BOND", 24, DefaultColumns(24), RandomWalk(Weekdays(start, 900), w)));
    }
    db.portfolios.push_back(std::move(funds));

    DemoPortfolio futures;
    futures.relativeDir = "FUTURES";
    {
        WalkSpec w{909, 71.5, 0.021, 0.0, 310000, 250000};
        futures.series.push_back(
            Series(1, "CLZ", "CRUDE OIL DEC", 28, DefaultColumns(28), RandomWalk(Weekdays(MakeDate(2021, 1, 4), 800), w)));
    }
    {
        // Five-minute bars with a TIME column, named by a DOP file.
        DemoSeries s;
        s.fileNumber = 2;
        s.symbol = "ESM";
        s.name = "E-MINI 5 MIN";
        s.period = 'I';
        s.recordLength = 28;
        s.columns = {kFieldDate, kFieldTime, kFieldOpen, kFieldHigh, kFieldLow, kFieldClose, kFieldVol};
        s.writeDop = true;
        s.formats = {{0, 0}, {0, 0}, {2, 2}, {2, 2}, {2, 2}, {2, 2}, {0, 0}};
        s.quotes = IntradayBars({1010, 78, 9 * 60 + 30, 5, 4120.0, 100.0, 0.0012, 0.25, 5, 800, 9000},
                                Weekdays(MakeDate(2023, 6, 5), 10));
        futures.series.push_back(std::move(s));
    }
    db.portfolios.push_back(std::move(futures));

    // What real databases hold beyond the usual: a history from 1928, a back-adjusted
    // contract with negative prices, and one-minute bars without a DOP, more of them than a
    // signed 16-bit count holds.
    DemoPortfolio history;
    history.relativeDir = "HISTORY";
    {
        WalkSpec w{1111, 20.0, 0.011, 0.0003, 800000};
        const DateCode first = MakeDate(1928, 10, 1);
        const int days = static_cast<int>((MakeDate(2026, 11, 30) - first) / 7 * 5);
        history.series.push_back(Series(1, "IDX28", "INDEX SINCE 1928", 24, DefaultColumns(24),
                                        RandomWalk(Weekdays(first, days), w)));
    }
    {
        // Each roll of the contract shifted the older prices down; before the third roll
        // they lie below zero.
        WalkSpec w{1212, 18.0, 0.018, 0.0001, 150000, 90000};
        std::vector<DemoQuote> q = RandomWalk(Weekdays(MakeDate(2015, 1, 2), 2000), w);
        for (std::size_t i = 0; i < q.size(); ++i) {
            const float shift = -9.5f * static_cast<float>(3 - std::min<std::size_t>(i / 500, 3));
            q[i].open += shift;
            q[i].high += shift;
            q[i].low += shift;
            q[i].close += shift;
        }
        history.series.push_back(Series(2, "CLBA", "CRUDE BACK-ADJ", 28, DefaultColumns(28), std::move(q)));
    }
    {
        DemoSeries s;
        s.fileNumber = 3;
        s.symbol = "FIBM";
        s.name = "MIB 1 MINUTE";
        s.period = 'I';
        s.recordLength = 32;
        s.columns = DefaultColumns(32);
        s.quotes = IntradayBars({1313, 510, 9 * 60, 1, 24500.0, 1000.0, 0.0004, 5.0, 3, 1, 120},
                                Weekdays(MakeDate(2024, 1, 2), 80));
        history.series.push_back(std::move(s));
    }
    db.portfolios.push_back(std::move(history));
    return db;
}

DemoDatabase LargeDemo() {
    DemoDatabase db;
    DemoPortfolio large;
    const std::vector<DateCode> days = Weekdays(MakeDate(1990, 1, 2), 8000);
    for (int n = 1; n <= 255; ++n) {
        char symbol[8];
        std::snprintf(symbol, sizeof symbol, "L%03d", n);
        char name[17];
        std::snprintf(name, sizeof name, "LARGE SERIES %03d", n);
        WalkSpec w{static_cast<std::uint64_t>(n) * 7919u, 10.0 + (n % 50) * 2.5, 0.012, 0.0002, 100000.0 + n * 1000.0};
        if (n % 50 == 0) {  // a few unrecorded splits for the split search to find
            w.splitAt = 4000 + n;
            w.splitFactor = 2.0;
        }
        large.series.push_back(Series(n, symbol, name, 28, DefaultColumns(28), RandomWalk(days, w)));
    }
    db.portfolios.push_back(std::move(large));
    return db;
}

void PutText(std::uint8_t* at, std::string_view text, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) at[i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ';
}

bool WriteBytes(const fs::path& path, std::string_view text) {
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    return WriteFileChecked(RealFileSystem(), path, bytes) == kSuccess;
}

}  // namespace

std::vector<QuoteField> DefaultColumns(int recordLength, bool twentyWithVolume) {
    switch (recordLength) {
        case 20:
            return twentyWithVolume ? std::vector<QuoteField>{kFieldDate, kFieldHigh, kFieldLow, kFieldClose, kFieldVol}
                                    : std::vector<QuoteField>{kFieldDate, kFieldOpen, kFieldHigh, kFieldLow, kFieldClose};
        case 24: return {kFieldDate, kFieldOpen, kFieldHigh, kFieldLow, kFieldClose, kFieldVol};
        case 28: return {kFieldDate, kFieldOpen, kFieldHigh, kFieldLow, kFieldClose, kFieldVol, kFieldOi};
        case 32: return {kFieldDate, kFieldTime, kFieldOpen, kFieldHigh, kFieldLow, kFieldClose, kFieldVol, kFieldOi};
        default: return {};
    }
}

DemoDatabase BuildDemoDatabase(bool large) { return large ? LargeDemo() : DefaultDemo(); }

MasterRecord MakeMasterRecord(const DemoSeries& series) {
    MasterRecord r;
    r.bytes[kMasterFileNumberOffset] = static_cast<std::uint8_t>(series.fileNumber);
    r.bytes[kMasterRecordLengthOffset] = static_cast<std::uint8_t>(series.recordLength);
    r.bytes[kMasterFieldCountOffset] = static_cast<std::uint8_t>(series.recordLength / 4);
    PutText(&r.bytes[kMasterNameOffset], series.name, kMasterNameSize);
    if (!series.quotes.empty()) {
        const MbfBytes first = DateToMbfReal(series.quotes.front().date);
        const MbfBytes last = DateToMbfReal(series.quotes.back().date);
        std::copy(first.begin(), first.end(), &r.bytes[kMasterFirstDateOffset]);
        std::copy(last.begin(), last.end(), &r.bytes[kMasterLastDateOffset]);
    }
    r.bytes[kMasterPeriodOffset] = static_cast<std::uint8_t>(series.period);
    PutText(&r.bytes[kMasterSymbolOffset], series.symbol, kMasterSymbolSize);
    return r;
}

MasterRecord MakeSubdirRecord(const std::string& name) {
    MasterRecord r;
    std::string field = name.substr(0, kMasterSubdirNameSize);
    field.resize(kMasterDirMarkOffset - kMasterNameOffset, ' ');
    field += "<DIR>";
    PutText(&r.bytes[kMasterNameOffset], field, kMasterNameSize);
    r.bytes[kMasterPeriodOffset] = 'D';
    // The directory's name stands in the symbol field too, so the symbols grid lists the
    // entry under it instead of asking to repair a blank symbol.
    PutText(&r.bytes[kMasterSymbolOffset], name, kMasterSymbolSize);
    return r;
}

bool WriteMasterFile(const fs::path& path, const std::vector<MasterRecord>& records, int fileCounter) {
    return WriteMasterFile(RealFileSystem(), path, fileCounter, records) == kSuccess;
}

bool WriteDatFile(const fs::path& path, const DemoSeries& series) {
    return WriteDatFile(RealFileSystem(), path, series.recordLength, series.recordLength / 4, series.columns,
                        series.quotes) == kSuccess;
}

bool WritePortfolio(const fs::path& dir, const DemoPortfolio& portfolio) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    std::vector<MasterRecord> records;
    int counter = 0;
    for (const DemoSeries& s : portfolio.series) {
        records.push_back(MakeMasterRecord(s));
        counter = std::max(counter, s.fileNumber);
        std::string base = "F";
        base += std::to_string(s.fileNumber);
        if (!WriteDatFile(dir / (base + ".DAT"), s)) return false;
        if (s.writeDop && WriteDopFile(RealFileSystem(), dir / (base + ".DOP"), s.columns, s.formats) != kSuccess) {
            return false;
        }
    }
    for (const std::string& sub : portfolio.subdirEntries) records.push_back(MakeSubdirRecord(sub));
    return WriteMasterFile(dir / "MASTER", records, counter);
}

DemoResult WriteDemoDatabase(const fs::path& rootArg, bool large) {
    DemoResult result;
    std::error_code ec;
    fs::path root = rootArg;
    // A bare drive ("P:") means its root, not the current directory of that drive.
    if (root.has_root_name() && !root.has_root_directory() && root.relative_path().empty()) root /= "\\";
    const fs::path marker = root / std::string(kDemoMarkerFile);
    if (fs::exists(root, ec)) {
        if (!fs::is_directory(root, ec)) {
            result.status = kFileExists;
            result.file = root.string();
            return result;
        }
        const bool empty = fs::directory_iterator(root, ec) == fs::directory_iterator();
        if (!empty && !fs::exists(marker, ec)) {
            result.status = kFileExists;
            result.file = root.string();
            return result;
        }
    }
    fs::create_directories(root, ec);
    const std::string note =
        "This directory was written by barwise-cli make-demo. Running make-demo on it again\r\n"
        "writes the demo database afresh; it refuses any other non-empty directory.\r\n";
    if (!WriteBytes(marker, note)) {
        result.status = kFileWrite;
        result.file = marker.string();
        return result;
    }
    const DemoDatabase db = BuildDemoDatabase(large);
    for (const DemoPortfolio& p : db.portfolios) {
        const fs::path dir = p.relativeDir.empty() ? root : root / p.relativeDir;
        if (!WritePortfolio(dir, p)) {
            result.status = kFileWrite;
            result.file = dir.string();
            return result;
        }
        ++result.portfolios;
        result.securities += static_cast<int>(p.series.size());
        for (const DemoSeries& s : p.series) result.quotes += static_cast<long>(s.quotes.size());
    }
    return result;
}

}  // namespace barwise
