#include "check/checkbed.h"

#include <algorithm>
#include <map>

#include "datafiles/series.h"
#include "demo/demodb.h"
#include "testsupport/tempdir.h"

namespace barwise::checktest {
namespace {

int Weekday(DateCode d) {
    const int w = (d - 1) % 7;  // 0 Sunday (1 January 1961 was one)
    return w < 0 ? w + 7 : w;
}

// A series without anything the check could name: weekdays in order (`barsPerDay` bars five
// minutes apart on each), prices moving a few cents a day, the range holding open and close.
DemoSeries Smooth(int fileNumber, const char* symbol, const char* name, int recordLength,
                  int barsPerDay = 1) {
    DemoSeries s;
    s.fileNumber = fileNumber;
    s.symbol = symbol;
    s.name = name;
    s.recordLength = recordLength;
    s.columns = DefaultColumns(recordLength);
    for (int k = 0; k < kPlainQuotes; ++k) {
        DemoQuote q;
        q.date = PlainDate(k / barsPerDay);
        q.time = MakeTime(9, 30 + k % barsPerDay * 5, 0);
        q.close = 20.0f + 0.05f * static_cast<float>(k % 17);
        q.open = q.close - 0.02f;
        q.high = q.close + 0.30f;
        q.low = q.close - 0.30f;
        q.volume = 1000.0f + static_cast<float>(k);
        q.openInterest = 500.0f;
        s.quotes.push_back(q);
    }
    return s;
}

void WriteBase(Base base, const fs::path& dir) {
    fs::create_directories(dir);
    if (base == Base::kPlain) {
        DemoPortfolio p;
        p.series = {Smooth(1, "AAA", "ALPHA CORP", 28), Smooth(2, "BBB", "BETA CORP", 24),
                    Smooth(3, "CCC", "GAMMA CORP", 32, 6)};
        p.series[1].writeDop = true;
        p.series[2].period = 'I';
        p.series[2].columns = {kFieldDate, kFieldTime,  kFieldOpen, kFieldHigh,
                               kFieldLow,  kFieldClose, kFieldVol,  kFieldOi};
        WritePortfolio(dir, p);
    } else {
        WriteExtendedPortfolio(dir, base == Base::kExtended ? 3 : 257,
                               base == Base::kExtended ? kPlainQuotes : 20);
    }
}

// Reads a file, lets `change` change its bytes and writes them back.
void Edit(const fs::path& path, const std::function<void(std::vector<std::uint8_t>&)>& change) {
    auto content = Bytes(path);
    change(content);
    barwise::testing::WriteBytes(path, content);
}

// Where quote i of a file of that record length begins.
std::ptrdiff_t At(int recordLength, int quote) {
    return static_cast<std::ptrdiff_t>(recordLength) * (quote + 1);
}

}  // namespace

DateCode PlainDate(int i) {
    DateCode d = MakeDate(2015, 1, 5);
    for (int k = 0; k < i; ++k) {
        do ++d;
        while (Weekday(d) == 0 || Weekday(d) == 6);
    }
    return d;
}

const fs::path& CleanPortfolio(Base base) {
    static barwise::testing::TempDir root;
    static std::map<Base, fs::path> made;
    auto it = made.find(base);
    if (it == made.end()) {
        const fs::path dir = root.path() / std::to_string(static_cast<int>(base));
        WriteBase(base, dir);
        it = made.emplace(base, dir).first;
    }
    return it->second;
}

void CopyPortfolio(Base base, const fs::path& dir) {
    fs::create_directories(dir);
    for (const auto& entry : fs::directory_iterator(CleanPortfolio(base)))
        if (entry.is_regular_file() && entry.path().filename() != "BARWISE.LCK")
            fs::copy_file(entry.path(), dir / entry.path().filename(),
                          fs::copy_options::overwrite_existing);
}

std::vector<std::uint8_t> Bytes(const fs::path& path) {
    return barwise::testing::ReadBytes(path);
}

void Put(const fs::path& path, std::size_t offset, const std::vector<std::uint8_t>& bytes) {
    Edit(path, [&](auto& c) {
        c.resize(std::max(c.size(), offset + bytes.size()));
        std::copy(bytes.begin(), bytes.end(), c.begin() + static_cast<std::ptrdiff_t>(offset));
    });
}

void PutMbf(const fs::path& path, std::size_t offset, float value) {
    const MbfBytes m = FloatToMbf(value);
    Put(path, offset, {m.begin(), m.end()});
}

void Resize(const fs::path& path, std::size_t size) {
    Edit(path, [&](auto& c) { c.resize(size); });
}

void CopyQuote(const fs::path& path, int recordLength, int from, int to) {
    Edit(path, [&](auto& c) {
        std::copy_n(c.begin() + At(recordLength, from), recordLength,
                    c.begin() + At(recordLength, to));
    });
}

void SwapQuotes(const fs::path& path, int recordLength, int a, int b) {
    Edit(path, [&](auto& c) {
        std::swap_ranges(c.begin() + At(recordLength, a), c.begin() + At(recordLength, a + 1),
                         c.begin() + At(recordLength, b));
    });
}

void DropQuotes(const fs::path& path, int recordLength, int first, int last) {
    Edit(path, [&](auto& c) {
        c.erase(c.begin() + At(recordLength, first), c.begin() + At(recordLength, last + 1));
        SetDatLastRecord(c.data(), static_cast<int>(c.size()) / recordLength);
    });
}

}  // namespace barwise::checktest
