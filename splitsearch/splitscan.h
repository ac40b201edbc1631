// The split search without its window: the pair test that recognises a jump
// between two consecutive quotes that looks like an unrecorded split, and the scan of a
// whole portfolio that the Split Search window and barwise-cli both drive.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "datafiles/encoding.h"
#include "datafiles/master.h"
#include "datafiles/status.h"

namespace barwise {

// A candidate ratio: P for Q (P new shares for Q old ones, so the close falls to Q/P).
struct SplitRatio {
    int p = 0;
    int q = 0;
};

// The eight candidates in the order they are tested: P and Q from 1 to 4, P outer, skipping
// P = Q and P * Q = 8 or 12.
inline constexpr std::array<SplitRatio, 8> kSplitRatios = {
    {{1, 2}, {1, 3}, {1, 4}, {2, 1}, {2, 3}, {3, 1}, {3, 2}, {4, 1}}};

// What the pair test reads of one quote.
struct SplitDay {
    float close = 0;
    float high = 0;
    float low = 0;
};

// The pair test for an earlier quote a and the next quote b. A hit when the close ratio
// a/b lies strictly inside (P/Q) * 0.9 .. (P/Q) * 1.1 and the gap between the two days'
// ranges exceeds 0.8 times the close difference. No hit when either close is 0.
std::optional<SplitRatio> TestSplitPair(const SplitDay& a, const SplitDay& b);

// The result line the window lists: "%s possible %d for %d split on %s", the date of the
// later quote as MM/DD/YY.
std::string FormatSplitLine(std::string_view ticker, SplitRatio ratio, DateCode laterDate);

// Texts of the window.
inline constexpr std::string_view kSplitReadErrorMessage = "Error in SplitSearch bars read";
inline constexpr std::string_view kNoCandidatesMessage = "No candidate splits found";
inline constexpr std::string_view kTooManyBarsMessage = "Too many bars";
inline constexpr std::string_view kDoneSearchStatus = "Done search";
// "For symbol %s\nSplitSearch cannot perform search\nas there are fewer than 2 quotes."
std::string FewerThanTwoQuotesMessage(std::string_view ticker);
// A symbol whose series cannot be looked up or opened is skipped
// with this message: "For symbol %s\nSplitSearch cannot read its quotes\n(%s: %s)"
// with the file and the status name.
std::string UnreadableSymbolMessage(std::string_view ticker, std::string_view file,
                                    DataStatus status);

// Quotes read per chunk; consecutive chunks overlap by one quote.
inline constexpr int kSplitChunk = 400;

// Called while a scan runs; any of them may be empty.
struct SplitScanObserver {
    // One result line, in the order found.
    std::function<void(const std::string& line)> result;
    // A symbol with fewer than 2 quotes; the text is FewerThanTwoQuotesMessage. The scan
    // goes on with the next symbol.
    std::function<void(const std::string& ticker, const std::string& message)> fewerThanTwo;
    // A symbol whose series cannot be looked up or opened; the text is
    // UnreadableSymbolMessage. The scan goes on with the next symbol.
    std::function<void(const std::string& ticker, const std::string& message)> unreadable;
    // A symbol whose DAT file holds another number of whole quotes than its header says
    // (only the quotes both agree on are scanned). The scan goes on.
    std::function<void(const std::string& ticker, const std::string& datFile, std::int64_t held,
                       int header)>
        quoteCount;
    // After each symbol: its ticker (the window's status text), its index and the number
    // of symbols.
    std::function<void(const std::string& ticker, int index, int count)> symbolDone;
    // With each result line: the index of the symbol, the ratio and the later quote's date.
    std::function<void(int index, SplitRatio ratio, DateCode laterDate)> hit;
    // Asked before each symbol; true ends the scan there (kCancelled).
    std::function<bool()> cancelled;
};

enum class SplitScanEnd {
    kDone,       // every symbol scanned: status text "Done search", beep, and when nothing
                 // was found kNoCandidatesMessage
    kReadError,  // a chunk read failed: kSplitReadErrorMessage, the scan ended at once
    kNoStorage,  // the working series could not be allocated: kTooManyBarsMessage
    kCancelled,  // stopped by the observer before a symbol
};

struct SplitScanResult {
    SplitScanEnd end = SplitScanEnd::kDone;
    bool found = false;            // at least one result line
    int lines = 0;                 // result lines reported
    int unreadable = 0;            // symbols skipped because their series could not be read
    DataStatus status = kSuccess;  // the failing status for kReadError / kNoStorage
    std::string failedTicker;      // for kReadError
    std::string failedFile;        // for kReadError: the DAT file
};

// One security to scan by its identity: the entry a symbols-grid row stands for (two entries
// whose symbols read the same are each scanned), and the ticker its lines and messages name.
struct SplitTarget {
    std::string ticker;
    SecurityId id;
    MasterRecord record;  // as in the file
};

// Scans the securities in the given order (the symbols grid's order), each by its identity:
// no symbol is looked up by its text. The quotes of each are read in chunks of 400
// overlapping by one, so every pair of consecutive quotes is tested once. Only reads files.
SplitScanResult ScanForSplits(const std::vector<SplitTarget>& targets,
                              const SplitScanObserver& observer = {});

}  // namespace barwise
