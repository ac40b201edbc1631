// Result codes of every quote-data function.
#pragma once

#include <cstdint>
#include <string_view>

namespace barwise {

// Signed 16-bit result: 0 is success, negative is failure. A failing function passes the
// first failing code up unchanged.
using DataStatus = std::int16_t;

inline constexpr DataStatus kSuccess = 0;
inline constexpr DataStatus kInvalidParm = -1;
inline constexpr DataStatus kFileOpen = -2;
inline constexpr DataStatus kMalloc = -3;
inline constexpr DataStatus kFileRead = -4;
inline constexpr DataStatus kFileWrite = -5;
inline constexpr DataStatus kFileSeek = -6;
inline constexpr DataStatus kFileExists = -7;
inline constexpr DataStatus kFileNotFound = -8;
inline constexpr DataStatus kRecordNotFound = -9;
inline constexpr DataStatus kUnknown = -15;
// Outside the name table: no DOP file and a record length without a default layout.
inline constexpr DataStatus kNoLayout = -100;
// Outside the name table: the quote chosen for deletion was not found.
inline constexpr DataStatus kDeleteNotFound = -200;

// Outside the name table: a Delete took the quote out of the data file, but the first or
// last date of the security's MASTER entry could not be updated. Not a failure to retry:
// the quote is gone.
inline constexpr DataStatus kDeletedMasterStale = -201;

// Outside the name table: the quote an Insert would add would not stand in date order (a
// quote dated on or after the new date lies before the quote it is copied from).
inline constexpr DataStatus kInsertOutOfOrder = -202;

// Outside the name table: another writer held the portfolio's writer lock for longer than a
// writer waits (PortfolioLock); nothing was written.
inline constexpr DataStatus kPortfolioBusy = -203;

// Outside the name table: the file a rewrite would replace is read-only (its mode gives no
// one write permission, or its read-only attribute is set), as the user made it. Nothing
// was written.
inline constexpr DataStatus kReadOnly = -204;

// Outside the name table: the disk holding the file has too little free space for the
// rewrite to finish, so it was not started. Nothing was written.
inline constexpr DataStatus kNoSpace = -205;

// Outside the name table: an index rewrite failed after renaming some of the index files,
// and one of them could not be given its old content back, so MASTER, EMASTER and XMASTER
// may disagree (each is whole; its .BAK holds the old content).
inline constexpr DataStatus kIndexFilesDisagree = -206;

// The name of a status: the 16-entry table for 0..-15 ("Sucessfull", "Invalid Parm", ...),
// "No Layout" for -100, "Quote Not Found" for -200,
// "Quote Deleted, MASTER Dates Not Updated" for -201, "New Quote Out Of Date Order" for -202,
// kPortfolioBusyMessage for -203, "File Read-Only" for -204, "Not Enough Disk Space" for -205,
// "Index Files Disagree" for -206 and "Unknown" for anything else.
std::string_view DataStatusName(DataStatus status);

// What a writer that found the portfolio locked tells the user.
inline constexpr std::string_view kPortfolioBusyMessage = "another program is changing this portfolio";

// The message the caller shows when a delete finds no quote of the date asked for.
inline constexpr std::string_view kDeleteNotFoundMessage = "failure in delete quote for findrec";

}  // namespace barwise
