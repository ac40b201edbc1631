// Loads the quotes of one security for a grid or a command: the series is looked up once,
// then its data file is read in blocks through a SeriesCursor.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "datafiles/master.h"
#include "datafiles/series.h"
#include "datafiles/status.h"
#include "discovery/seriescursor.h"

namespace barwise {

// One quote as read: its date, its time of day (0 on a daily series) and its six values
// (open, high, low, close, volume, open interest; -1 where the series has no such field).
struct LoadedQuote {
    DateCode date = 0;
    TimeCode time = 0;
    std::array<float, 6> values{};
};

class QuoteLoader {
public:
    QuoteLoader() = default;
    virtual ~QuoteLoader();
    QuoteLoader(const QuoteLoader&) = delete;
    QuoteLoader& operator=(const QuoteLoader&) = delete;

    // Opens the series of the entry `id` names: its record (read again), its layout and
    // its DAT header. The statuses of ReadSeries: kFileNotFound (the entry is gone),
    // kNoLayout, kFileRead, kFileOpen.
    [[nodiscard]] DataStatus open(const SecurityId& id);

    // Quotes the DAT header announces (never below 0).
    int total() const { return total_; }
    // Which of the six values the series has: the layout's, not a value's sign, tells.
    const std::array<bool, 6>& present() const { return present_; }
    bool hasTime() const { return hasTime_; }
    // The DOP file named no date or more fields than each record holds, so the default
    // layout for the record length was used.
    bool dopIgnored() const { return dopIgnored_; }
    const std::string& dopFile() const { return dopFile_; }

    // Appends `count` quotes from quote index `start`, oldest first; what was read is kept
    // on failure. kRecordNotFound when the file ends before them (shorter than its header),
    // kFileRead when a read fails.
    [[nodiscard]] virtual DataStatus read(int start, int count, std::vector<LoadedQuote>& out);
    // Appends the next block of at most `block` quotes, newest first, going back from the
    // newest quote; done() once every quote announced has been given.
    [[nodiscard]] DataStatus readNewer(int block, std::vector<LoadedQuote>& out);
    bool done() const { return given_ >= total_; }

    // The date of the first and of the last quote the file holds; kNoDate when unreadable.
    DateCode firstDate();
    DateCode lastDate();

private:
    SeriesCursor cursor_;
    QuoteSeries block_;
    std::array<bool, 6> present_{true, true, true, true, true, true};
    bool hasTime_ = false;
    bool dopIgnored_ = false;
    std::string dopFile_;
    int total_ = 0;
    int given_ = 0;
};

// Every quote of the entry's series, oldest first (the DAT file's own count where it holds
// fewer than its header says), and its fields; the statuses of QuoteLoader::open.
struct SeriesQuotesRead {
    std::vector<LoadedQuote> quotes;
    std::array<bool, 6> present{};
    bool hasTime = false;
};
[[nodiscard]] DataStatus ReadAllQuotes(const SecurityId& id, SeriesQuotesRead& out);

}  // namespace barwise
