#include "check/checkbed.h"

#include <algorithm>
#include <map>

#include "datafiles/series.h"
#include "demo/demodb.h"
#include "testsupport/dailyseries.h"
#include "testsupport/tempdir.h"
#include "testsupport/testdb.h"

namespace barwise::checktest {
namespace {

// A series without anything the check could name: weekdays in order (`barsPerDay` bars five
// minutes apart on each), prices moving a few cents a day, the range holding open and close.
DemoSeries Smooth(int fileNumber, const char* symbol, const char* name, int recordLength,
                  int barsPerDay = 1) {
    const auto quote = [barsPerDay](int k) {
        DemoQuote q;
        q.time = MakeTime(9, 30 + k % barsPerDay * 5, 0);
        q.close = 20.0f + 0.05f * static_cast<float>(k % 17);
        q.open = q.close - 0.02f;
        q.high = q.close + 0.30f;
        q.low = q.close - 0.30f;
        q.volume = 1000.0f + static_cast<float>(k);
        q.openInterest = 500.0f;
        return q;
    };
    DemoSeries s =
        testing::DailySeries(fileNumber, symbol, name, recordLength, 0, kPlainQuotes, quote);
    for (int k = 0; k < kPlainQuotes; ++k)
        s.quotes[static_cast<std::size_t>(k)].date = PlainDate(k / barsPerDay);
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
Plant Edit(std::string file, std::function<void(std::vector<std::uint8_t>&)> change) {
    return [=](const fs::path& dir) {
        auto content = Bytes(dir / file);
        change(content);
        barwise::testing::WriteBytes(dir / file, content);
    };
}

// Where quote i of a file of that record length begins.
std::ptrdiff_t At(int recordLength, int quote) {
    return static_cast<std::ptrdiff_t>(recordLength) * (quote + 1);
}

}  // namespace

DateCode PlainDate(int i) {
    return DateFromReal(testing::Weekdays(2015, 1, 5, i + 1).back());
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

Plant PutAt(std::string file, std::size_t offset, std::vector<std::uint8_t> bytes) {
    return Edit(std::move(file), [=](auto& c) {
        c.resize(std::max(c.size(), offset + bytes.size()));
        std::copy(bytes.begin(), bytes.end(), c.begin() + static_cast<std::ptrdiff_t>(offset));
    });
}

Plant Number(std::string file, std::size_t offset, std::uint32_t value, int size) {
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < size; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return PutAt(std::move(file), offset, bytes);
}

Plant Mbf(std::string file, std::size_t offset, float value) {
    const MbfBytes m = FloatToMbf(value);
    return PutAt(std::move(file), offset, {m.begin(), m.end()});
}

Plant Resize(std::string file, std::size_t size) {
    return Edit(std::move(file), [=](auto& c) { c.resize(size); });
}

Plant CopyAs(std::string from, std::string to) {
    return [=](const fs::path& d) { fs::copy_file(d / from, d / to); };
}

Plant CopyQuote(std::string file, int recordLength, int from, int to) {
    return Edit(std::move(file), [=](auto& c) {
        std::copy_n(c.begin() + At(recordLength, from), recordLength,
                    c.begin() + At(recordLength, to));
    });
}

Plant SwapQuotes(std::string file, int recordLength, int a, int b) {
    return Edit(std::move(file), [=](auto& c) {
        std::swap_ranges(c.begin() + At(recordLength, a), c.begin() + At(recordLength, a + 1),
                         c.begin() + At(recordLength, b));
    });
}

Plant DropQuotes(std::string file, int recordLength, int first, int last) {
    return Edit(std::move(file), [=](auto& c) {
        c.erase(c.begin() + At(recordLength, first), c.begin() + At(recordLength, last + 1));
        SetDatLastRecord(c.data(), static_cast<int>(c.size()) / recordLength);
    });
}

Plant Both(Plant a, Plant b) {
    return [=](const fs::path& d) {
        a(d);
        b(d);
    };
}

}  // namespace barwise::checktest
