// The import tests' one way into a new portfolio.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "import/quoteimport.h"
#include "import/quotetext.h"

namespace barwise::importtest {

// Imports the texts into a new portfolio in dir (with EMASTER and XMASTER when extended),
// creating the securities they name, or `symbol`; the import is expected to succeed.
inline ImportReport ImportIntoNew(const fs::path& dir, bool extended,
                                  const std::vector<QuoteText>& texts,
                                  const std::string& symbol = {}) {
    EXPECT_EQ(WriteNewPortfolio(dir, extended).status, kSuccess);
    ImportOptions o;
    o.create = true;
    o.symbol = symbol;
    ImportReport report = ImportQuotes(dir.string(), texts, o);
    EXPECT_EQ(report.change.status, kSuccess) << report.failure;
    return report;
}

}  // namespace barwise::importtest
