// Small portfolios for the symbol-management tests, written with the demo writers.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "datafiles/master.h"
#include "demo/demodb.h"
#include "testsupport/dailyseries.h"
#include "testsupport/snapshot.h"
#include "testsupport/tempdir.h"

namespace barwise::testing {

// A daily series of `count` quotes from 3 January 2000 whose closes rise slowly.
inline DemoSeries Series(int fileNumber, const std::string& symbol, int count = 5,
                         bool dop = false) {
    const auto quote = [](int i) {
        const float c = 20.0f + static_cast<float>(i % 50) / 8, v = 1000.0f + static_cast<float>(i);
        return DemoQuote{0, 0, c - 0.25f, c + 0.5f, c - 0.5f, c, v, 0};
    };
    DemoSeries s =
        DailySeries(fileNumber, symbol, symbol + " CORP", 28, MakeDate(2000, 1, 3), count, quote);
    s.writeDop = dop;
    return s;
}

inline bool Portfolio(const fs::path& dir, const std::vector<DemoSeries>& series,
                      const std::vector<std::string>& subdirs = {}) {
    return WritePortfolio(dir, {{}, series, subdirs});
}

// The identity of the entry with that file number in dir's MASTER.
inline SecurityId IdOf(const fs::path& dir, int fileNumber) {
    for (const MasterEntry& e : ReadMasterFile(dir.string()).entries)
        if (e.record.fileNumber() == fileNumber && !e.record.isSubdirEntry()) return e.id;
    return {};
}

// The identity of the security the symbol's lookup finds in dir; none when it finds none.
inline SecurityId IdOf(const fs::path& dir, const std::string& symbol) {
    MasterRecord record;
    SecurityId id;
    return FindSymbol(dir.string(), symbol, record, id) == kSuccess ? id : SecurityId{};
}

inline std::vector<int> FileNumbers(const fs::path& dir) {
    std::vector<int> out;
    for (const MasterEntry& e : ReadMasterFile(dir.string()).entries)
        out.push_back(e.record.fileNumber());
    return out;
}

// MASTER's two header words: its count of records and its counter of file numbers.
inline std::pair<int, int> HeaderWords(const fs::path& dir) {
    const auto header = ReadMasterFile(dir.string()).header;
    return {GetI16(header.data() + kMasterCountOffset),
            GetI16(header.data() + kMasterCounterOffset)};
}

}  // namespace barwise::testing
