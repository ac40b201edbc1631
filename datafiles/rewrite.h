// The rewrite engine: every change of a series' quotes goes through RewriteSeries, which
// copies Fn.DAT record by record into Fn.NEW, changing the quotes dated within a range,
// keeps the previous file as Fn.BAK and renames Fn.NEW over Fn.DAT in one step.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "datafiles/encoding.h"
#include "datafiles/fileio.h"
#include "datafiles/status.h"

namespace barwise {

enum class EditOp : std::int16_t {
    kSet = 1,     // each present value field := the request's value
    kScale = 3,   // each present value field *= the request's factor
    kDelete = 4,  // the first quote of the date is left out
    kInsert = 5,  // before each quote of the range, a copy dated the previous weekday
};

struct EditRequest {
    // open, high, low, close, volume, open interest: values for Set, factors for Scale.
    std::array<float, 6> values{};
    DateCode from = 0;
    DateCode to = 0;
    EditOp op = EditOp::kSet;
};

// Rewrites the key's series by the request. masterPath (the open portfolio's MASTER) and
// quoteCount (the number of quotes the caller shows) are what the caller knows; the upkeep
// of the MASTER dates on Delete goes to the MASTER that holds the series' entry and uses
// the file's own quote count. Never shows a message: kDeleteNotFound (-200) when the quote
// to delete is not found, and the caller shows kDeleteNotFoundMessage.
// Other results: 0, the FindSymbol / ReadLayout status, kFileOpen (DAT not readable),
// kInvalidParm (impossible record shape, or a value without an MBF form), kFileWrite
// (the backup or the new file could not be written; Fn.DAT then unchanged).
[[nodiscard]] DataStatus RewriteSeries(const EditRequest& request, std::string_view directory,
                                       std::string_view key, const fs::path& masterPath,
                                       int quoteCount, FileSystem& fs = RealFileSystem());

// Binary search by date (and time, when the series has one) over quotes in ascending
// order. Returns the 0-based index where the search settled, or a negative status:
// kRecordNotFound when the target lies after the last quote or the file has no quotes.
// outDate / outTime (optional) receive the date and time of the last record read.
[[nodiscard]] std::int32_t FindQuote(std::string_view directory, std::string_view key, DateCode date,
                                     TimeCode time, DateCode* outDate = nullptr,
                                     TimeCode* outTime = nullptr);

// The weekday before a date (Monday to Friday), as Insert dates its new quote.
DateCode PreviousWeekday(DateCode code);

}  // namespace barwise
