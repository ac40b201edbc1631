// The rewrite engine: every change of a series' quotes goes through RewriteSeries, which
// copies Fn.DAT record by record into Fn.NEW, changing the quotes dated within a range,
// keeps the previous file as Fn.BAK and renames Fn.NEW over Fn.DAT in one step.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "datafiles/encoding.h"
#include "datafiles/fileio.h"
#include "datafiles/master.h"
#include "datafiles/status.h"

namespace barwise {

enum class EditOp : std::int16_t {
    kSet = 1,     // each present value field := the request's value
    kScale = 3,   // each present value field *= the request's factor
    kDelete = 4,  // the quote of the date (and time) is left out
    kInsert = 5,  // one copy of the quote of the date (and time), dated the previous weekday
};

struct EditRequest {
    // open, high, low, close, volume, open interest: values for Set, factors for Scale.
    std::array<float, 6> values{};
    DateCode from = kFirstDay;
    DateCode to = kLastDay;
    EditOp op = EditOp::kSet;
    // Delete and Insert act on the one quote dated `from`; on a series with a TIME column,
    // `time` (when given) says which of the quotes of that date (without it, the first).
    // A Set with a time changes only the quotes of that date and time.
    std::optional<TimeCode> time;
    // Set: the fields (open .. open interest) the user left as they were shown; each keeps
    // what the file holds when the edit is written, so a change another writer made to it
    // in the meantime stays.
    std::array<bool, 6> keep{};
    // Set: the request names one quote (the edit of a quote); kRecordNotFound, nothing
    // written, when the file no longer holds a quote of that date (and time).
    bool oneQuote = false;
};

// Rewrites the series of the entry `id` names by the request. Everything that can refuse is
// decided before the first byte is written, so a refused or failed edit leaves every file,
// the previous backup included, as it was:
//   kInvalidParm: an unknown operation, an impossible record shape, a value without an MBF
//     form (given, or made by a Scale), a value other than 0 that would be stored as 0
//     (below the MBF range), or an Insert that would take the file beyond its most quotes;
//   kDeleteNotFound (-200): no quote dated `from` (at `time`) to delete (the caller shows
//     kDeleteNotFoundMessage); kRecordNotFound: no such quote to copy for an Insert;
//   kInsertOutOfOrder: the Insert's new quote, dated the weekday before `from` and written
//     before the first quote dated `from`, would follow a quote dated on or after it;
//   kRecordNotFound: a Set of one quote (oneQuote) whose quote is no longer there;
//   kPortfolioBusy: another writer held the portfolio's lock past the wait;
//   the ReadLayout / OpenSeriesFiles statuses (kFileNotFound: the entry `id` names is no
//     longer there); kFileOpen (DAT not readable), kFileRead (DAT shorter than its header
//     record).
// The portfolio's writer lock is held throughout; the entry and the quote file are read
// under it, as they are then.
// Then Fn.DAT is kept as Fn.BAK and the new content renamed over Fn.DAT:
//   kFileWrite: the backup or the new file could not be written (Fn.DAT then unchanged);
//   kDeletedMasterStale: a Delete put the new Fn.DAT in place (the quote is gone) but the
//     first or last date of its MASTER entry could not be updated;
//   kSuccess otherwise. A Delete that removes the first or the last quote updates the
//   entry's dates in the MASTER that holds it (both in one rewrite when it was the only one).
[[nodiscard]] DataStatus RewriteSeries(const EditRequest& request, const SecurityId& id,
                                       FileSystem& fs = RealFileSystem());

// Whether RewriteSeries would refuse the request, and with which status; writes nothing.
// kSuccess when it would go on to write.
[[nodiscard]] DataStatus CheckRewrite(const EditRequest& request, const SecurityId& id);

// The same for the key's series, looked up by text from directory (FindSymbol); for callers
// that have only a typed text.
[[nodiscard]] DataStatus RewriteSeries(const EditRequest& request, std::string_view directory,
                                       std::string_view key, FileSystem& fs = RealFileSystem());

// The weekday before a date (Monday to Friday), as Insert dates its new quote.
DateCode PreviousWeekday(DateCode code);

}  // namespace barwise
