// A series for the demo writers (WritePortfolio, WriteDatFile) to put on disk: one quote a
// day from a first day on. Header-only: the suites that use it link the demo library.
#pragma once

#include <functional>
#include <string>

#include "demo/demodb.h"

namespace barwise::testing {

// `count` quotes on the days first, first + 1, ...; quote(i) gives quote i's values (its
// date is set here). The default columns of the record length.
inline DemoSeries DailySeries(int fileNumber, std::string symbol, std::string name,
                              int recordLength, DateCode first, int count,
                              const std::function<DemoQuote(int)>& quote) {
    DemoSeries s;
    s.fileNumber = fileNumber;
    s.symbol = std::move(symbol);
    s.name = std::move(name);
    s.recordLength = recordLength;
    s.columns = DefaultColumns(recordLength);
    for (int i = 0; i < count; ++i) {
        s.quotes.push_back(quote(i));
        s.quotes.back().date = static_cast<DateCode>(first + i);
    }
    return s;
}

}  // namespace barwise::testing
