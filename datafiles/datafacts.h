// The facts of one series: what its MASTER record, its DAT header and its layout say (the
// "About Selected Quote Series" dialog and `barwise-cli facts` label and show them).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "datafiles/layout.h"
#include "datafiles/master.h"

namespace barwise {

struct DataFacts {
    std::string directory;  // the directory the lookup started from, as passed in
    int fileNumber = 0;     // 1..255 in MASTER, 256 and up in XMASTER
    std::int8_t recordLength = 0;
    std::int8_t fieldCount = 0;
    std::int32_t quoteCount = 0;    // DAT header last record number - 1
    std::int32_t quotesInFile = 0;  // whole quote records the DAT file really holds
    bool dopIgnored = false;        // the DOP named no date or columns the record lacks
    std::string dopFile;            // the DOP file looked for
    std::string issueName;          // the 16 name bytes, blanks kept, or the whole long name
    std::string dataFile;           // the quote file's name as found (F<n>.DAT, F<n>.MWD)
    float firstDate = 0;            // date reals
    float lastDate = 0;
    std::string periodText;  // "D Daily", ..., or "ERROR"
    std::string symbol;      // the symbol bytes up to a NUL (at most 16)
    std::array<std::string, kQuoteFieldCount> inputFormatName;
    std::array<std::string, kQuoteFieldCount> displayFormatName;
};

// kSuccess, or why the facts could not be read (the symbol not found, no layout, the data
// file missing or unreadable).
[[nodiscard]] DataStatus ReadDataFacts(std::string_view directory, std::string_view key,
                                       DataFacts& facts);
// The facts of the entry `id` names; the directory shown is the one of its MASTER.
[[nodiscard]] DataStatus ReadDataFacts(const SecurityId& id, DataFacts& facts);

// "D Daily", "I Intra-day", ... for the period letters; "ERROR" for any other.
std::string PeriodText(char letter);

}  // namespace barwise
