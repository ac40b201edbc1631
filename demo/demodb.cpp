#include "demo/demodb.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
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
    double normal() {
        return (uniform() + uniform() + uniform() + uniform() - 2.0) * 1.7320508075688772;
    }

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

float Cents(double v) {
    return static_cast<float>(std::round(v * 100.0) / 100.0);
}

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
        const double factor =
            (walk.splitAt >= 0 && static_cast<int>(i) < walk.splitAt) ? walk.splitFactor : 1.0;
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
            q.high =
                std::max(q.open, q.close) + tick * static_cast<float>(rnd.next() % b.rangeTicks);
            q.low =
                std::min(q.open, q.close) - tick * static_cast<float>(rnd.next() % b.rangeTicks);
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
        stocks.series.push_back(
            Series(1, "ACME", "ACME CORP", 28, DefaultColumns(28), RandomWalk(days3000, w)));
    }
    {
        WalkSpec w{202, 9.0, 0.02, 0.0001, 650000, 0, 1400, 1.0 / 3.0};
        stocks.series.push_back(Series(2, "BOLT", "BOLT MOTORS", 24, DefaultColumns(24),
                                       RandomWalk(Weekdays(start, 2600), w)));
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
        DemoSeries s =
            Series(6, "GLBX", "GLOBEX TELECOM", 28, DefaultColumns(28),
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
        funds.series.push_back(Series(2, "IRON", "IRONWOOD BOND", 24, DefaultColumns(24),
                                      RandomWalk(Weekdays(start, 900), w)));
    }
    db.portfolios.push_back(std::move(funds));

    DemoPortfolio futures;
    futures.relativeDir = "FUTURES";
    {
        WalkSpec w{909, 71.5, 0.021, 0.0, 310000, 250000};
        futures.series.push_back(Series(1, "CLZ", "CRUDE OIL DEC", 28, DefaultColumns(28),
                                        RandomWalk(Weekdays(MakeDate(2021, 1, 4), 800), w)));
    }
    {
        // Five-minute bars with a TIME column, named by a DOP file.
        DemoSeries s;
        s.fileNumber = 2;
        s.symbol = "ESM";
        s.name = "E-MINI 5 MIN";
        s.period = 'I';
        s.recordLength = 28;
        s.columns = {kFieldDate, kFieldTime,  kFieldOpen, kFieldHigh,
                     kFieldLow,  kFieldClose, kFieldVol};
        s.writeDop = true;
        s.formats = {{0, 0}, {0, 0}, {2, 2}, {2, 2}, {2, 2}, {2, 2}, {0, 0}};
        s.quotes =
            IntradayBars({1010, 78, 9 * 60 + 30, 5, 4120.0, 100.0, 0.0012, 0.25, 5, 800, 9000},
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
        history.series.push_back(
            Series(2, "CLBA", "CRUDE BACK-ADJ", 28, DefaultColumns(28), std::move(q)));
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
        WalkSpec w{static_cast<std::uint64_t>(n) * 7919u, 10.0 + (n % 50) * 2.5, 0.012, 0.0002,
                   100000.0 + n * 1000.0};
        if (n % 50 == 0) {  // a few unrecorded splits for the split search to find
            w.splitAt = 4000 + n;
            w.splitFactor = 2.0;
        }
        large.series.push_back(
            Series(n, symbol, name, 28, DefaultColumns(28), RandomWalk(days, w)));
    }
    db.portfolios.push_back(std::move(large));
    return db;
}

void PutText(std::uint8_t* at, std::string_view text, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
        at[i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ';
}

bool WriteBytes(const fs::path& path, std::string_view text) {
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()),
                                              text.size());
    return WriteFileChecked(RealFileSystem(), path, bytes) == kSuccess;
}

// Where the two extra index files keep what the demo writes.
namespace ix {
// EMASTER: 192-byte records after a header of the same size.
constexpr std::size_t kEmasterRecordSize = 192;
constexpr std::size_t kEmasterFileNumber = 2, kEmasterFieldCount = 6, kEmasterFieldSet = 7,
                      kEmasterFlag = 9;
constexpr std::size_t kEmasterSymbol = 11, kEmasterSymbolSize = 14;
constexpr std::size_t kEmasterName = 32, kEmasterNameSize = 16;
constexpr std::size_t kEmasterPeriod = 60, kEmasterFirstDate = 64, kEmasterLastDate = 72;
constexpr std::size_t kEmasterFirstDateInt = 126, kEmasterLongName = 139;
// XMASTER: 150-byte records after a header of the same size.
constexpr std::size_t kXmasterRecordSize = 150;
constexpr std::size_t kXmasterCount = 10, kXmasterCountCopy = 14, kXmasterNextNumber = 18;
constexpr std::size_t kXmasterSymbol = 1, kXmasterSymbolSize = 14, kXmasterName = 16;
constexpr std::size_t kXmasterPeriod = 62, kXmasterFileNumber = 65, kXmasterFieldSet = 70;
constexpr std::size_t kXmasterFirstDateOrNone = 104, kXmasterFirstDate = 108,
                      kXmasterLastDate = 116;
constexpr std::uint8_t kXmasterMagic[4] = {0x5D, 0xFE, 0x58, 0x4D};
constexpr int kFirstXmasterNumber = 256;
constexpr int kMasterRecordsMax = 255;  // file numbers of MASTER are one byte
// The date written where a series has no first date.
constexpr std::int32_t kNoFirstDateInt = 19000101;
}  // namespace ix

// Copies text and leaves the rest of the field as it is (zero): NUL padding.
void PutZeroPadded(std::uint8_t* at, std::string_view text, std::size_t width) {
    std::copy_n(text.begin(), std::min(text.size(), width), at);
}

std::int32_t YyyymmddOf(DateCode code) {
    const DateParts p = SplitDate(code);
    return (p.year + 1900) * 10000 + p.month * 100 + p.day;
}

void PutFloat(std::uint8_t* at, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    PutI32(at, static_cast<std::int32_t>(bits));
}

// Bit set of the fields a series' columns hold: date 1, high 2, low 4, close 8, volume 16,
// open 32, open interest 64, time 128.
std::uint8_t FieldSet(const std::vector<QuoteField>& columns) {
    std::uint8_t set = 0;
    for (QuoteField f : columns) {
        switch (f) {
            case kFieldDate:
                set |= 1;
                break;
            case kFieldHigh:
                set |= 2;
                break;
            case kFieldLow:
                set |= 4;
                break;
            case kFieldClose:
                set |= 8;
                break;
            case kFieldVol:
                set |= 16;
                break;
            case kFieldOpen:
                set |= 32;
                break;
            case kFieldOi:
                set |= 64;
                break;
            case kFieldTime:
                set |= 128;
                break;
            default:
                break;
        }
    }
    return set;
}

// The EMASTER twin of a MASTER record.
void PutEmasterRecord(std::uint8_t* r, const DemoSeries& s) {
    r[0] = '6';
    r[1] = '6';
    r[ix::kEmasterFileNumber] = static_cast<std::uint8_t>(s.fileNumber);
    r[ix::kEmasterFieldCount] = static_cast<std::uint8_t>(s.recordLength / 4);
    r[ix::kEmasterFieldSet] = FieldSet(s.columns);
    r[ix::kEmasterFlag] = ' ';
    PutZeroPadded(r + ix::kEmasterSymbol, s.symbol, ix::kEmasterSymbolSize);
    PutZeroPadded(r + ix::kEmasterName, s.name, ix::kEmasterNameSize);
    r[ix::kEmasterPeriod] = static_cast<std::uint8_t>(s.period);
    std::int32_t firstInt = ix::kNoFirstDateInt;
    if (!s.quotes.empty()) {
        PutFloat(r + ix::kEmasterFirstDate, DateToReal(s.quotes.front().date));
        PutFloat(r + ix::kEmasterLastDate, DateToReal(s.quotes.back().date));
        firstInt = YyyymmddOf(s.quotes.front().date);
    }
    PutI32(r + ix::kEmasterFirstDateInt, firstInt);
    if (s.name.size() > ix::kEmasterNameSize) {
        PutZeroPadded(r + ix::kEmasterLongName, s.name, kExtendedLongNameMax);  // NUL follows
    }
}

void PutXmasterRecord(std::uint8_t* r, const DemoSeries& s) {
    r[0] = 0x01;
    PutZeroPadded(r + ix::kXmasterSymbol, s.symbol, ix::kXmasterSymbolSize);
    PutZeroPadded(r + ix::kXmasterName, s.name, kExtendedLongNameMax);  // NUL follows
    r[ix::kXmasterPeriod] = static_cast<std::uint8_t>(s.period);
    PutI16(r + ix::kXmasterFileNumber,
           static_cast<std::int16_t>(static_cast<std::uint16_t>(s.fileNumber)));
    r[ix::kXmasterFieldSet] = FieldSet(s.columns);
    if (s.quotes.empty()) {
        PutI32(r + ix::kXmasterFirstDateOrNone, ix::kNoFirstDateInt);
    } else {
        const std::int32_t first = YyyymmddOf(s.quotes.front().date);
        PutI32(r + ix::kXmasterFirstDateOrNone, first);
        PutI32(r + ix::kXmasterFirstDate, first);
        PutI32(r + ix::kXmasterLastDate, YyyymmddOf(s.quotes.back().date));
    }
}

}  // namespace

std::vector<QuoteField> DefaultColumns(int recordLength, bool twentyWithVolume) {
    switch (recordLength) {
        case 20:
            return twentyWithVolume ? std::vector<QuoteField>{kFieldDate, kFieldHigh, kFieldLow,
                                                              kFieldClose, kFieldVol}
                                    : std::vector<QuoteField>{kFieldDate, kFieldOpen, kFieldHigh,
                                                              kFieldLow, kFieldClose};
        case 24:
            return {kFieldDate, kFieldOpen, kFieldHigh, kFieldLow, kFieldClose, kFieldVol};
        case 28:
            return {kFieldDate,  kFieldOpen, kFieldHigh, kFieldLow,
                    kFieldClose, kFieldVol,  kFieldOi};
        case 32:
            return {kFieldDate, kFieldTime,  kFieldOpen, kFieldHigh,
                    kFieldLow,  kFieldClose, kFieldVol,  kFieldOi};
        default:
            return {};
    }
}

DemoDatabase BuildDemoDatabase(bool large) {
    return large ? LargeDemo() : DefaultDemo();
}

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

bool WriteMasterFile(const fs::path& path, const std::vector<MasterRecord>& records,
                     int fileCounter) {
    return WriteMasterFile(RealFileSystem(), path, fileCounter, records) == kSuccess;
}

bool WriteDatFile(const fs::path& path, const DemoSeries& series) {
    return WriteDatFile(RealFileSystem(), path, series.recordLength, series.recordLength / 4,
                        series.columns, series.quotes) == kSuccess;
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
        if (s.writeDop && WriteDopFile(RealFileSystem(), dir / (base + ".DOP"), s.columns,
                                       s.formats) != kSuccess) {
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
    if (root.has_root_name() && !root.has_root_directory() && root.relative_path().empty())
        root /= "\\";
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

DemoSeries ExtendedPortfolioSeries(int number, int quotesEach) {
    char symbol[16];
    std::snprintf(symbol, sizeof symbol, "X%04d", number);
    char name[64];
    if (number % kExtendedNameEvery == 0) {
        std::snprintf(name, sizeof name, "EXTENDED HOLDINGS GROUP NO %04d", number);
    } else {
        std::snprintf(name, sizeof name, "SECURITY %04d", number);
    }
    WalkSpec w{static_cast<std::uint64_t>(number) * 104729u + 17u, 5.0 + (number % 80) * 1.5, 0.014,
               0.0002, 50000.0 + (number % 40) * 5000.0};
    if (number % 60 == 0 && quotesEach > 20) {  // a few unrecorded splits for the split search
        w.splitAt = quotesEach / 2;
        w.splitFactor = 2.0;
    }
    return Series(number, symbol, name, 28, DefaultColumns(28),
                  RandomWalk(Weekdays(MakeDate(2015, 1, 2), std::max(quotesEach, 0)), w));
}

DemoResult WriteExtendedPortfolio(const fs::path& dir, int securities, int quotesEach) {
    DemoResult result;
    if (securities < 1 ||
        securities > ix::kMasterRecordsMax + 65535 - ix::kFirstXmasterNumber + 1 ||
        quotesEach < 0 || quotesEach > kMaxQuotesPerFile) {
        result.status = kInvalidParm;
        return result;
    }
    std::error_code ec;
    fs::create_directories(dir, ec);
    const auto fail = [&](const fs::path& file) {
        result.status = kFileWrite;
        result.file = file.string();
        return result;
    };
    const int inMaster = std::min(securities, ix::kMasterRecordsMax);
    const int inXmaster = securities - inMaster;
    std::vector<MasterRecord> master;
    std::vector<std::uint8_t> emaster(
        ix::kEmasterRecordSize * static_cast<std::size_t>(inMaster + 1), 0);
    std::vector<std::uint8_t> xmaster(
        ix::kXmasterRecordSize * static_cast<std::size_t>(inXmaster + 1), 0);
    // Security i has file number i: MASTER's 1..255, XMASTER's from 256 on.
    for (int i = 1; i <= securities; ++i) {
        const DemoSeries s = ExtendedPortfolioSeries(i, quotesEach);
        const bool listedInMaster = i <= inMaster;
        std::string base =
            "F";  // piecewise: GCC 12 warns falsely (-Wrestrict) on one concatenation
        base += std::to_string(s.fileNumber);
        base += listedInMaster ? ".DAT" : ".MWD";
        const fs::path dat = dir / base;
        if (!WriteDatFile(dat, s)) return fail(dat);
        if (listedInMaster) {
            master.push_back(MakeMasterRecord(s));
            PutEmasterRecord(emaster.data() + ix::kEmasterRecordSize * static_cast<std::size_t>(i),
                             s);
        } else {
            PutXmasterRecord(
                xmaster.data() + ix::kXmasterRecordSize * static_cast<std::size_t>(i - inMaster),
                s);
        }
        result.quotes += static_cast<long>(s.quotes.size());
    }
    // The EMASTER header repeats MASTER's count and highest file number; the serial (MASTER
    // bytes 49-52) is zero in both.
    PutI16(emaster.data(), static_cast<std::int16_t>(inMaster));
    PutI16(emaster.data() + 2, static_cast<std::int16_t>(inMaster));
    if (!WriteMasterFile(dir / "MASTER", master, inMaster)) return fail(dir / "MASTER");
    if (WriteFileChecked(RealFileSystem(), dir / "EMASTER", emaster) != kSuccess)
        return fail(dir / "EMASTER");
    if (inXmaster > 0) {
        std::copy(std::begin(ix::kXmasterMagic), std::end(ix::kXmasterMagic), xmaster.begin());
        PutI32(xmaster.data() + ix::kXmasterCount, inXmaster);
        PutI32(xmaster.data() + ix::kXmasterCountCopy, inXmaster);
        PutI32(xmaster.data() + ix::kXmasterNextNumber, ix::kFirstXmasterNumber + inXmaster);
        if (WriteFileChecked(RealFileSystem(), dir / "XMASTER", xmaster) != kSuccess)
            return fail(dir / "XMASTER");
    } else {
        fs::remove(dir / "XMASTER", ec);  // left by an earlier, larger portfolio
    }
    result.portfolios = 1;
    result.securities = securities;
    return result;
}

}  // namespace barwise
