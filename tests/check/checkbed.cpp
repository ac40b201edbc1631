#include "check/checkbed.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>

#include "datafiles/series.h"
#include "demo/demodb.h"
#include "testsupport/tempdir.h"

namespace barwise::checktest {
namespace {

int Weekday(DateCode d) {
    const int w = (d - 1) % 7;  // 0 Sunday (1 January 1961 was one)
    return w < 0 ? w + 7 : w;
}

// A series without anything the check could name: weekdays in order, prices moving a few
// cents a day, the range holding open and close.
DemoSeries Smooth(int fileNumber, const std::string& symbol, const std::string& name, int recordLength,
                  std::vector<barwise::QuoteField> columns, bool dop, char period, int barsPerDay) {
    DemoSeries s;
    s.fileNumber = fileNumber;
    s.symbol = symbol;
    s.name = name;
    s.period = period;
    s.recordLength = recordLength;
    s.columns = std::move(columns);
    s.writeDop = dop;
    DateCode d = MakeDate(2015, 1, 5);
    for (int i = 0; static_cast<int>(s.quotes.size()) < kPlainQuotes; ++i) {
        for (int bar = 0; bar < barsPerDay && static_cast<int>(s.quotes.size()) < kPlainQuotes; ++bar) {
            DemoQuote q;
            q.date = d;
            q.time = MakeTime(9, 30 + bar * 5, 0);
            const int k = static_cast<int>(s.quotes.size());
            q.close = 20.0f + 0.05f * static_cast<float>(k % 17);
            q.open = q.close - 0.02f;
            q.high = q.close + 0.30f;
            q.low = q.close - 0.30f;
            q.volume = 1000.0f + static_cast<float>(k);
            q.openInterest = 500.0f;
            s.quotes.push_back(q);
        }
        do ++d;
        while (Weekday(d) == 0 || Weekday(d) == 6);
    }
    return s;
}

void WriteBase(Base base, const fs::path& dir) {
    fs::create_directories(dir);
    switch (base) {
        case Base::kPlain: {
            DemoPortfolio p;
            p.series.push_back(Smooth(1, "AAA", "ALPHA CORP", 28, DefaultColumns(28), false, 'D', 1));
            p.series.push_back(Smooth(2, "BBB", "BETA CORP", 24, DefaultColumns(24), true, 'D', 1));
            p.series.push_back(Smooth(3, "CCC", "GAMMA CORP", 32,
                                      {kFieldDate, kFieldTime, kFieldOpen, kFieldHigh, kFieldLow, kFieldClose,
                                       kFieldVol, kFieldOi},
                                      false, 'I', 6));
            WritePortfolio(dir, p);
            break;
        }
        case Base::kExtended: WriteExtendedPortfolio(dir, 3, kPlainQuotes); break;
        case Base::kXmaster: WriteExtendedPortfolio(dir, 257, 20); break;
    }
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
            fs::copy_file(entry.path(), dir / entry.path().filename(), fs::copy_options::overwrite_existing);
}

std::vector<std::uint8_t> Bytes(const fs::path& path) { return barwise::testing::ReadBytes(path); }

void Put(const fs::path& path, std::size_t offset, const std::vector<std::uint8_t>& bytes) {
    auto content = Bytes(path);
    if (content.size() < offset + bytes.size()) content.resize(offset + bytes.size());
    std::copy(bytes.begin(), bytes.end(), content.begin() + static_cast<std::ptrdiff_t>(offset));
    barwise::testing::WriteBytes(path, content);
}

void PutMbf(const fs::path& path, std::size_t offset, float value) {
    const MbfBytes m = FloatToMbf(value);
    Put(path, offset, {m.begin(), m.end()});
}

void PutI16At(const fs::path& path, std::size_t offset, int value) {
    Put(path, offset, {static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>((value >> 8) & 0xFF)});
}

void Truncate(const fs::path& path, std::size_t size) {
    auto content = Bytes(path);
    content.resize(size);
    barwise::testing::WriteBytes(path, content);
}

void Append(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    auto content = Bytes(path);
    content.insert(content.end(), bytes.begin(), bytes.end());
    barwise::testing::WriteBytes(path, content);
}

void CopyQuote(const fs::path& path, int recordLength, int from, int to) {
    auto content = Bytes(path);
    const auto rl = static_cast<std::size_t>(recordLength);
    std::copy_n(content.begin() + static_cast<std::ptrdiff_t>((static_cast<std::size_t>(from) + 1) * rl), rl,
                content.begin() + static_cast<std::ptrdiff_t>((static_cast<std::size_t>(to) + 1) * rl));
    barwise::testing::WriteBytes(path, content);
}

void SwapQuotes(const fs::path& path, int recordLength, int a, int b) {
    auto content = Bytes(path);
    const auto rl = static_cast<std::ptrdiff_t>(recordLength);
    std::swap_ranges(content.begin() + (a + 1) * rl, content.begin() + (a + 2) * rl, content.begin() + (b + 1) * rl);
    barwise::testing::WriteBytes(path, content);
}

void DropQuotes(const fs::path& path, int recordLength, int first, int last) {
    auto content = Bytes(path);
    const auto rl = static_cast<std::size_t>(recordLength);
    content.erase(content.begin() + static_cast<std::ptrdiff_t>((static_cast<std::size_t>(first) + 1) * rl),
                  content.begin() + static_cast<std::ptrdiff_t>((static_cast<std::size_t>(last) + 2) * rl));
    SetDatLastRecord(content.data(), static_cast<int>(content.size() / rl));
    barwise::testing::WriteBytes(path, content);
}

}  // namespace barwise::checktest
