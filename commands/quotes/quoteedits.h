// The quote-editing commands without their dialogs: the texts the dialogs show, how typed
// texts become values, the checks a dialog makes on OK, and the EditRequest each command
// hands to the rewrite engine. Qt-free: the window and barwise-cli share it.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "datafiles/encoding.h"
#include "datafiles/master.h"
#include "datafiles/rewrite.h"
#include "datafiles/status.h"

namespace barwise {

// Messages of the commands.
inline constexpr std::string_view kInvalidDataMessage = "Invalid Data Entered";
inline constexpr std::string_view kEditFailedMessage = "Single Date Edit Failed";
inline constexpr std::string_view kSplitFailedMessage = "Split Edit Failed";
inline constexpr std::string_view kAdjustFailedMessage = "Adjust Edit Failed";
inline constexpr std::string_view kDeleteFailedMessage = "Delete Edit Failed";
inline constexpr std::string_view kAddFailedMessage = "Add Quote Failed";
// A quote file holds at most 65,534 quotes (its header counts them in 16 bits).
inline constexpr std::string_view kSeriesFullMessage =
    "This series already holds 65,534 quotes, the most a quote file can hold.\nNo quote was added.";
inline constexpr std::string_view kDeletedMasterStaleMessage =
    "The quote has been deleted, but the first and last dates of the security's MASTER entry "
    "could not be updated.";

// Why a command on the security `id` failed with `status`, naming the file at fault and
// what is wrong with it ("/p/F3.DAT: missing", "/p/F3.DAT is not a regular file",
// "/p/F3.DAT is read-only", "/p/MASTER is read-only", ...); empty when no file can be named.
std::string QuoteFileProblem(const SecurityId& id, DataStatus status);
// What is wrong with an index or data file that cannot be opened for reading ("missing",
// "is not a regular file", "cannot be read"), after its path; empty when it can be read.
std::string UnreadableFileProblem(const fs::path& path);
// The command's message with the file at fault on a line of its own, when one is known.
std::string QuoteFailureText(std::string_view message, const SecurityId& id, DataStatus status);

// "Date %s already exists." for the date text.
std::string DateExistsMessage(std::string_view dateText);
// Add refused because the new quote would stand out of date order.
std::string OutOfOrderMessage(std::string_view newDateText, std::string_view fromDateText);
// "You are about to delete the data for date\n<date>\nAre you sure?"
std::string DeleteQuestion(std::string_view dateText);

// One quote of a series: value fields open .. oi (field kFieldOpen + i).
struct QuoteRow {
    DateCode date = 0;
    TimeCode time = 0;
    std::array<float, 6> values{};
};

// How a dialog or a message names a quote: its date, and on a series with times (where a
// day holds many quotes) its time as well ("05/01/20 17:05:17").
std::string QuoteWhenText(DateCode date, TimeCode time, bool hasTime);

// A whole series as the commands need it: its quotes oldest first, and which fields its
// layout has.
struct SeriesQuotes {
    std::vector<QuoteRow> quotes;   // oldest first
    std::array<bool, 6> present{};  // open, high, low, close, volume, open interest
    bool hasTime = false;
    int count() const { return static_cast<int>(quotes.size()); }
    // The grid's row r (0 = newest).
    const QuoteRow& row(int r) const {
        return quotes[quotes.size() - 1 - static_cast<std::size_t>(r)];
    }
};

// Reads every quote of the entry's series (the DAT file's own count where it holds fewer
// than its header says). The ReadSeries statuses.
[[nodiscard]] DataStatus ReadSeriesQuotes(const SecurityId& id, SeriesQuotes& out);

// The text a dialog shows for value field i (0 open .. 5 open interest): prices "%.4f",
// volume and open interest "%.0f", "N/A" for a field the series does not have.
std::string QuoteValueText(int field, float value, bool present);

// A number that is the whole text, as "%f" writes numbers: an optional sign, digits with
// at most one point, an optional exponent; independent of the locale. Nothing for any other
// text ("", " 1", "1,5", "5abc", "0x10", "1e", "1.2.3", "inf"). A number beyond what a
// float can hold, either way, reads as a value without an MBF form (refused as a value).
std::optional<float> ReadNumber(std::string_view text);

// The value of a field after editing: the stored value when the text is still the one
// shown for it (the shown text is rounded); else the number the whole text is; nothing when
// it is no number.
std::optional<float> EditedValue(std::string_view text, std::string_view shown, float stored);

// Edit: Set of the quote's own date (and time) to the edited values; fields the series
// lacks keep 0 (the engine leaves them alone); a field whose text is as shown keeps what the
// file holds when the edit is written (another writer's change to it stays), and a quote no
// longer in the file is refused. Nothing when a field's text is no number or a value the
// files cannot hold (too large, or so small that it would be stored as 0); `wrongField`
// (0 open .. 5 open interest), when given, then names the first such field.
std::optional<EditRequest> EditQuoteRequest(const QuoteRow& quote,
                                            const std::array<std::string, 6>& texts,
                                            const std::array<bool, 6>& present,
                                            int* wrongField = nullptr);

// True when every value of a Set or factor of a Scale is stored as an MBF real as it is:
// no overflow, and no value other than 0 that would be stored as 0. `wrongField`, when
// given, is set to the first value that is not.
bool ValuesStorable(const EditRequest& request, int* wrongField = nullptr);

// The message of a refused dialog or command input: "Invalid Data Entered", naming the field.
std::string InvalidFieldMessage(std::string_view field);

// A date text as the date fields hold it: exactly 8 (MM/DD/YY) or 10 (MM/DD/YYYY)
// characters without a blank.
bool IsWholeDateText(std::string_view text);
// The date of a date field: the stored date when the text is still the one shown for it,
// else the date the whole text names (ParseDateText; kNoDate when it is not a date).
DateCode DateFromText(std::string_view text, DateCode shown);
// Whether the date fields of a series take the ten-character form: they do when its first
// or last date lies outside 1960-2059, so every date of the range can be typed.
bool WideDateFields(DateCode first, DateCode last);

struct SplitInput {
    DateCode date = 0;
    float newShares = 1;
    float oldShares = 1;
};
// The Split dialog's checks: a whole date text of a day that exists, within first..last,
// and share counts whose texts are numbers above 0 and whose ratio leaves every value storable.
// `shownDate` is the date the field started with. `wrongField` (0 date, 1 new, 2 old), when
// given, names the first field at fault.
std::optional<SplitInput> CheckSplit(std::string_view dateText, DateCode shownDate,
                                     std::string_view newText, std::string_view oldText,
                                     DateCode first, DateCode last, int* wrongField = nullptr);
// Scale of every quote before the split date: prices by old/new, volume and open interest
// by new/old.
EditRequest SplitRequest(const SplitInput& input);

struct AdjustInput {
    DateCode from = 0;
    DateCode to = 0;
    float price = 1;
    float volume = 1;
    float openInterest = 1;
};
// The Adjust dialog's checks: both dates whole, of days that exist and within first..last
// (from may be later than to), factors whose texts are numbers above 0. `wrongField` (0 from,
// 1 to, 2 price, 3 volume, 4 open interest), when given, names the first field at fault.
std::optional<AdjustInput> CheckAdjust(std::string_view fromText, DateCode shownFrom,
                                       std::string_view toText, DateCode shownTo,
                                       std::string_view priceText, std::string_view volumeText,
                                       std::string_view oiText, DateCode first, DateCode last,
                                       int* wrongField = nullptr);
EditRequest AdjustRequest(const AdjustInput& input);

// Delete of the one quote of its date and time.
EditRequest DeleteQuoteRequest(const QuoteRow& quote);

// Add: a copy of the quote of row `row`, dated the weekday before it.
struct AddPlan {
    enum class Verdict { kOk, kExists, kOutOfOrder, kOldest };
    Verdict verdict = Verdict::kOk;
    DateCode newDate = 0;
    EditRequest request;  // Insert of the selected quote
    int newRow = 0;       // the grid row of the new quote once added
};
AddPlan PlanAdd(const SeriesQuotes& series, int row);

}  // namespace barwise
