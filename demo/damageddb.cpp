#include "demo/damageddb.h"

#include <chrono>
#include <string>
#include <system_error>
#include <vector>

#include "datafiles/extindex.h"
#include "datafiles/fileio.h"
#include "datafiles/series.h"

namespace barwise {
namespace {

constexpr int kQuotes = 80;
constexpr int kLength = 28;  // DATE OPEN HIGH LOW CLOSE VOL OI
constexpr int kOpen = 2, kHigh = 3, kLow = 4, kClose = 5, kVol = 6;

int Weekday(DateCode d) {
    const int w = (d - 1) % 7;  // 0 Sunday
    return w < 0 ? w + 7 : w;
}

DemoSeries Calm(int fileNumber, const std::string& symbol, const std::string& name,
                int recordLength = kLength) {
    DemoSeries s;
    s.fileNumber = fileNumber;
    s.symbol = symbol;
    s.name = name;
    s.recordLength = recordLength;
    s.columns = DefaultColumns(recordLength);
    DateCode d = MakeDate(2021, 1, 4);
    for (int i = 0; i < kQuotes; ++i) {
        DemoQuote q;
        q.date = d;
        q.close = 40.0f + 0.25f * static_cast<float>((i * 7) % 11);
        q.open = q.close - 0.1f;
        q.high = q.close + 0.5f;
        q.low = q.close - 0.5f;
        q.volume = 20000.0f + 100.0f * static_cast<float>(i % 9);
        q.openInterest = 0;
        s.quotes.push_back(q);
        do ++d;
        while (Weekday(d) == 0 || Weekday(d) == 6);
    }
    return s;
}

class Patcher {
public:
    explicit Patcher(fs::path dir) : dir_(std::move(dir)) {}
    bool ok() const { return ok_; }

    std::vector<std::uint8_t> read(const std::string& name) {
        auto bytes = ReadWholeFile(dir_ / name);
        if (!bytes) ok_ = false;
        return bytes ? *bytes : std::vector<std::uint8_t>{};
    }
    void write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        std::error_code ec;
        fs::remove(dir_ / name, ec);
        if (WriteFileChecked(RealFileSystem(), dir_ / name, bytes) != kSuccess) ok_ = false;
    }
    void put(const std::string& name, std::size_t at, const std::vector<std::uint8_t>& bytes) {
        auto content = read(name);
        if (content.size() < at + bytes.size()) content.resize(at + bytes.size());
        std::copy(bytes.begin(), bytes.end(), content.begin() + static_cast<std::ptrdiff_t>(at));
        write(name, content);
    }
    void putValue(const std::string& name, int quote, int column, float value) {
        const MbfBytes m = FloatToMbf(value);
        put(name, Field(quote, column), {m.begin(), m.end()});
    }
    float value(const std::string& name, int quote, int column) {
        const auto content = read(name);
        return content.size() >= Field(quote, column) + 4
                   ? MbfToFloat(content.data() + Field(quote, column))
                   : 0.0f;
    }
    static std::size_t Field(int quote, int column) {
        return static_cast<std::size_t>(kLength) * static_cast<std::size_t>(quote + 1) +
               static_cast<std::size_t>(column - 1) * 4;
    }
    static std::size_t Record(int quote) {
        return static_cast<std::size_t>(kLength) * static_cast<std::size_t>(quote + 1);
    }

private:
    fs::path dir_;
    bool ok_ = true;
};

}  // namespace

DemoResult WriteDamagedPortfolio(const fs::path& dir) {
    DemoResult result;
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir, ec);

    DemoPortfolio p;
    p.series.push_back(Calm(1, "ORDR", "OUT OF ORDER"));    // two quotes swapped
    p.series.push_back(Calm(2, "RPTQ", "REPEATED QUOTE"));  // a quote twice
    p.series.push_back(Calm(3, "RPTD", "REPEATED DATE"));   // a date twice, other values
    p.series.push_back(Calm(4, "DT2200", "DATE IN 2200"));  // a date outside 1900-2199
    p.series.push_back(Calm(5, "NOMBF", "NOT A REAL"));     // a field no MBF writer makes
    p.series.push_back(Calm(6, "IDXD", "INDEX DATE"));      // MASTER's first date wrong
    p.series.push_back(Calm(7, "CUTR", "CUT RECORD"));      // the quote file cut short
    p.series.push_back(Calm(8, "HILO", "HIGH BELOW LOW"));
    p.series.push_back(Calm(9, "RNGE", "CLOSE ABOVE HIGH"));
    p.series.push_back(Calm(10, "ZERO", "ZERO OPEN"));
    p.series.push_back(Calm(11, "NEGC", "NEGATIVE CLOSE"));
    p.series.push_back(Calm(12, "NEGV", "NEGATIVE VOLUME"));
    p.series.push_back(Calm(13, "GAPS", "THREE WEEKS GONE"));
    p.series.push_back(Calm(14, "SPLT", "UNRECORDED SPLIT"));
    p.series.push_back(Calm(15, "LAYO", "NO LAYOUT"));      // a record length with no layout
    p.series.push_back(Calm(16, "SHAP", "FIELDS BEYOND"));  // more fields than the record holds
    {
        DemoSeries s = Calm(17, "DOPX", "DOP WITHOUT DATE", 24);  // its DOP is set aside
        s.writeDop = true;
        p.series.push_back(std::move(s));
    }
    p.series.push_back(Calm(18, "MISS", "MISSING FILE"));  // F18.DAT removed
    p.series.push_back(Calm(19, "", "BLANK SYMBOL INC"));  // no symbol
    p.series.push_back(Calm(20, "ORDR", "SECOND ORDR"));   // a symbol twice
    p.series.push_back(Calm(21, "CTRL", "BELL\aNAME"));    // a control byte in its name
    p.series.push_back(Calm(22, "CLEN", "CLEAN CO"));
    p.series.push_back(Calm(23, "SHRD", "SHARES F22"));  // names F22.DAT too
    if (!WritePortfolio(dir, p)) {
        result.status = kFileWrite;
        result.file = dir.string();
        return result;
    }
    Patcher f(dir);
    const auto rec = [](int k) { return static_cast<std::size_t>(k) * kMasterRecordSize; };

    // Quote files.
    {
        auto b = f.read("F1.DAT");
        std::swap_ranges(b.begin() + static_cast<std::ptrdiff_t>(Patcher::Record(10)),
                         b.begin() + static_cast<std::ptrdiff_t>(Patcher::Record(11)),
                         b.begin() + static_cast<std::ptrdiff_t>(Patcher::Record(11)));
        f.write("F1.DAT", b);
    }
    for (const char* name : {"F2.DAT", "F3.DAT"}) {
        auto b = f.read(name);
        std::copy_n(b.begin() + static_cast<std::ptrdiff_t>(Patcher::Record(20)), kLength,
                    b.begin() + static_cast<std::ptrdiff_t>(Patcher::Record(21)));
        f.write(name, b);
    }
    f.putValue("F3.DAT", 21, kClose, f.value("F3.DAT", 21, kClose) + 0.25f);
    f.putValue("F4.DAT", 30, 1, 3001231.0f);
    f.put("F5.DAT", Patcher::Field(30, kClose), {0x00, 0x00, 0x80, 0x00});
    f.putValue("F8.DAT", 15, kHigh, f.value("F8.DAT", 15, kLow) - 0.25f);
    f.putValue("F9.DAT", 15, kClose, f.value("F9.DAT", 15, kHigh) + 0.75f);
    f.putValue("F10.DAT", 15, kOpen, 0.0f);
    f.putValue("F11.DAT", 15, kClose, -1.0f);
    f.putValue("F12.DAT", 15, kVol, -500.0f);
    {
        auto b = f.read("F13.DAT");
        b.erase(b.begin() + static_cast<std::ptrdiff_t>(Patcher::Record(30)),
                b.begin() + static_cast<std::ptrdiff_t>(Patcher::Record(45)));
        SetDatLastRecord(b.data(), static_cast<int>(b.size() / kLength));
        f.write("F13.DAT", b);
    }
    for (int q = 0; q < 40; ++q)
        for (int c : {kOpen, kHigh, kLow, kClose})
            f.putValue("F14.DAT", q, c, 3.0f * f.value("F14.DAT", q, c));
    {
        auto b = f.read("F7.DAT");
        b.resize(b.size() - 9);
        f.write("F7.DAT", b);
    }
    f.write("F17.DOP", {'"', 'T', 'I', 'M', 'E', '"', ',', '0', ',', '0', '\r', '\n'});
    fs::remove(dir / "F18.DAT", ec);

    // MASTER: one count short, records with impossible shapes, a wrong date, a file number
    // named twice, and a cut record at its end.
    auto master = f.read("MASTER");
    const int records = static_cast<int>(master.size() / kMasterRecordSize) - 1;
    PutI16(master.data() + kMasterCountOffset, static_cast<std::int16_t>(records - 1));
    master[rec(15) + kMasterRecordLengthOffset] = 36;
    master[rec(15) + kMasterFieldCountOffset] = 9;
    master[rec(16) + kMasterFieldCountOffset] = 8;
    const MbfBytes later = DateToMbfReal(MakeDate(2021, 1, 8));
    std::copy(later.begin(), later.end(),
              master.begin() + static_cast<std::ptrdiff_t>(rec(6) + kMasterFirstDateOffset));
    master[rec(23) + kMasterFileNumberOffset] = 22;
    master.insert(master.end(), 11, 0);
    f.write("MASTER", master);
    fs::remove(dir / "F23.DAT", ec);

    // Index files beside MASTER that disagree with it, files nothing lists, leftovers.
    std::vector<std::uint8_t> emaster(kEmasterRecordSize, 0);
    f.write("EMASTER", emaster);
    f.write("XMASTER", {0x5D, 0xFE, 0x58, 0x4D, 0, 0, 0, 0, 0, 0, 0, 0});
    f.write("F99.DAT", f.read("F22.DAT"));
    f.write("F22.NEW", f.read("F22.DAT"));
    f.write("MASTER.BAK", master);
    fs::last_write_time(dir / "MASTER.BAK",
                        fs::last_write_time(dir / "MASTER", ec) + std::chrono::hours(24), ec);

    if (!f.ok()) {
        result.status = kFileWrite;
        result.file = dir.string();
        return result;
    }
    result.portfolios = 1;
    result.securities = static_cast<int>(p.series.size());
    for (const DemoSeries& s : p.series) result.quotes += static_cast<long>(s.quotes.size());
    return result;
}

}  // namespace barwise
