// Small portfolios for the symbol-management tests, written with the demo writers.
#pragma once

#include <string>
#include <vector>

#include "datafiles/master.h"
#include "demo/demodb.h"
#include "testsupport/tempdir.h"

namespace barwise::testing {

// A daily series of `count` quotes from 3 January 2000 whose closes rise slowly.
inline DemoSeries Series(int fileNumber, const std::string& symbol, int count = 5,
                         bool dop = false) {
    DemoSeries s;
    s.fileNumber = fileNumber;
    s.symbol = symbol;
    s.name = symbol + " CORP";
    s.recordLength = 28;
    s.columns = DefaultColumns(28);
    s.writeDop = dop;
    const DateCode first = MakeDate(2000, 1, 3);
    for (int i = 0; i < count; ++i) {
        DemoQuote q;
        q.date = first + i;
        q.close = 20.0f + static_cast<float>(i % 50) / 8;
        q.open = q.close - 0.25f;
        q.high = q.close + 0.5f;
        q.low = q.close - 0.5f;
        q.volume = 1000.0f + static_cast<float>(i);
        s.quotes.push_back(q);
    }
    return s;
}

inline bool Portfolio(const fs::path& dir, const std::vector<DemoSeries>& series,
                      const std::vector<std::string>& subdirs = {}) {
    DemoPortfolio p;
    p.series = series;
    p.subdirEntries = subdirs;
    return WritePortfolio(dir, p);
}

// The identity of the entry with that file number in dir's MASTER.
inline SecurityId IdOf(const fs::path& dir, int fileNumber) {
    for (const MasterEntry& e : ReadMasterFile(dir.string()).entries)
        if (e.record.fileNumber() == fileNumber && !e.record.isSubdirEntry()) return e.id;
    return {};
}

inline std::vector<int> FileNumbers(const fs::path& dir) {
    std::vector<int> out;
    for (const MasterEntry& e : ReadMasterFile(dir.string()).entries)
        out.push_back(e.record.fileNumber());
    return out;
}

inline int HeaderWord(const fs::path& dir, std::size_t offset) {
    return GetI16(ReadMasterFile(dir.string()).header.data() + offset);
}

}  // namespace barwise::testing
