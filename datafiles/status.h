// Result codes of every quote-data function.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string_view>

namespace barwise {

// The result of every quote-data function: kSuccess, or the first failure, passed up
// unchanged. A closed set: no integer converts to it silently, and every value has a name.
enum class DataStatus : std::int16_t {
    kSuccess = 0,
    kInvalidParm = -1,
    kFileOpen = -2,
    kMalloc = -3,
    kFileRead = -4,
    kFileWrite = -5,
    kFileSeek = -6,
    kFileExists = -7,
    kFileNotFound = -8,
    kRecordNotFound = -9,
    // -10 to -14 name the drawing failures of the old status table; no function here
    // returns them, but they keep their names.
    kNoGraphicsFound = -10,
    kNoFontsFound = -11,
    kChartsUninitialized = -12,
    kMaxLinesExceeded = -13,
    kMaxGridsExceeded = -14,
    kUnknown = -15,
    // Outside the name table: no DOP file and a record length without a default layout.
    kNoLayout = -100,
    // Outside the name table: the quote chosen for deletion was not found.
    kDeleteNotFound = -200,
    // A Delete took the quote out of the data file, but the first or last date of the
    // security's MASTER entry could not be updated. Not a failure to retry: the quote is gone.
    kDeletedMasterStale = -201,
    // The quote an Insert would add would not stand in date order (a quote dated on or after
    // the new date lies before the quote it is copied from).
    kInsertOutOfOrder = -202,
    // Another writer held the portfolio's writer lock for longer than a writer waits
    // (PortfolioLock); nothing was written.
    kPortfolioBusy = -203,
    // The file a rewrite would replace is read-only (its mode gives no one write permission,
    // or its read-only attribute is set), as the user made it. Nothing was written.
    kReadOnly = -204,
    // The disk holding the file has too little free space for the rewrite to finish, so it
    // was not started. Nothing was written.
    kNoSpace = -205,
    // An index rewrite failed after renaming some of the index files, and one of them could
    // not be given its old content back, so MASTER, EMASTER and XMASTER may disagree (each is
    // whole; its .BAK holds the old content).
    kIndexFilesDisagree = -206,
};
using enum DataStatus;

// The status's number, as messages show it ("status -8").
constexpr int StatusCode(DataStatus status) {
    return static_cast<int>(status);
}

// For test failure messages: the name and the number.
std::ostream& operator<<(std::ostream& out, DataStatus status);

// The name of a status: the 16-entry table for 0..-15 ("Sucessfull", "Invalid Parm", ...),
// "No Layout" for -100, "Quote Not Found" for -200,
// "Quote Deleted, MASTER Dates Not Updated" for -201, "New Quote Out Of Date Order" for -202,
// kPortfolioBusyMessage for -203, "File Read-Only" for -204, "Not Enough Disk Space" for -205,
// "Index Files Disagree" for -206.
std::string_view DataStatusName(DataStatus status);

// What a writer that found the portfolio locked tells the user.
inline constexpr std::string_view kPortfolioBusyMessage =
    "another program is changing this portfolio";

// The message the caller shows when a delete finds no quote of the date asked for.
inline constexpr std::string_view kDeleteNotFoundMessage = "failure in delete quote for findrec";

}  // namespace barwise
