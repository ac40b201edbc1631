#include "datafiles/rewrite.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "datafiles/layout.h"
#include "datafiles/master.h"
#include "datafiles/portfoliolock.h"
#include "datafiles/series.h"

namespace barwise {

DateCode PreviousWeekday(DateCode code) {
    if (code == kNoDate) return kNoDate;
    // Day 1 (1 January 1961) was a Sunday: (d - 1) mod 7 is 0 on Sundays, 6 on Saturdays.
    const auto weekday = [](int d) {
        const int w = (d - 1) % 7;
        return w < 0 ? w + 7 : w;
    };
    int d = code - 1;
    while (d > kFirstDay && (weekday(d) == 0 || weekday(d) == 6)) --d;
    return d;
}

namespace {

DateCode RecordDate(const std::uint8_t* rec, const FieldLayout& layout) {
    const int c = layout.column[kFieldDate];
    return DateFromReal(c == 0 ? -1.0f : MbfToFloat(rec + (c - 1) * 4));
}

// Applies Set or Scale to one record in place. Only fields whose value changes are
// rewritten; every other byte stays as it was. kInvalidParm when a new value has no MBF form
// or would be stored as 0 although it is not.
DataStatus ChangeValues(std::uint8_t* rec, const FieldLayout& layout, const EditRequest& request) {
    for (int f = kFieldOpen; f <= kFieldOi; ++f) {
        const int c = layout.column[static_cast<std::size_t>(f)];
        if (c == 0) continue;
        std::uint8_t* field = rec + (c - 1) * 4;
        const float old = MbfToFloat(field);
        if (request.op == EditOp::kSet && request.keep[static_cast<std::size_t>(f - kFieldOpen)])
            continue;
        const float given = request.values[static_cast<std::size_t>(f - kFieldOpen)];
        const float now = request.op == EditOp::kSet ? given : old * given;
        if (now == old && std::signbit(now) == std::signbit(old)) continue;
        if (now == 0.0f && old == 0.0f) continue;
        // A value other than 0 that would be stored as 0 (below the MBF range) is refused
        // like one above it; a Set to 0 or a Scale by 0 is meant.
        const bool meantZero =
            request.op == EditOp::kSet ? given == 0.0f : given == 0.0f || old == 0.0f;
        if (!meantZero && (now == 0.0f || !MbfHoldsValue(now))) return kInvalidParm;
        if (IeeeToMbf(now, field) != kSuccess) return kInvalidParm;
    }
    return kSuccess;
}

bool RequestIsStorable(const EditRequest& request) {
    if (request.op != EditOp::kSet && request.op != EditOp::kScale) return true;
    for (float v : request.values) {
        if (!HasMbfForm(v)) return false;
    }
    return true;
}

// Decides the rewrite and, unless only asked whether it would be refused, writes it.
DataStatus Rewrite(const EditRequest& request, const SecurityId& id, FileSystem& fsys, bool write) {
    switch (request.op) {
        case EditOp::kSet:
        case EditOp::kScale:
        case EditOp::kDelete:
        case EditOp::kInsert:
            break;
        default:
            return kInvalidParm;
    }
    // Everything is read under the lock: the entry and the quotes as they are now.
    std::optional<PortfolioLock> lock;
    if (write) {
        lock.emplace(id.directory);
        if (!lock->held()) return kPortfolioBusy;
    }
    SeriesFiles files;
    if (DataStatus s = OpenSeriesFiles(id, files); s != kSuccess) return s;
    if (!RequestIsStorable(request)) return kInvalidParm;

    // Only the quotes the header counts are read: whatever the file holds past them is
    // copied to the new file as it is, block by block, so memory stays bounded by the
    // header whatever the file's size.
    InputFile dat(files.datPath);
    if (!dat.isOpen()) return kFileOpen;
    const std::size_t len = static_cast<std::size_t>(files.recordLength);
    const std::int64_t fileSize = dat.size();
    if (fileSize < static_cast<std::int64_t>(len)) return kFileRead;
    std::vector<std::uint8_t> header(len);
    if (!dat.read(header.data(), len)) return kFileRead;
    const int last = DatLastRecord(header.data());
    const auto wholeRecords = static_cast<std::size_t>((fileSize - static_cast<std::int64_t>(len)) /
                                                       static_cast<std::int64_t>(len));
    // The quotes: the records the header counts that the file holds.
    const std::size_t records =
        std::min(wholeRecords, static_cast<std::size_t>(std::max(last - 1, 0)));
    std::vector<std::uint8_t> head((records + 1) * len);
    std::memcpy(head.data(), header.data(), len);
    if (records > 0 && !dat.read(head.data() + len, records * len)) return kFileRead;
    const std::vector<std::uint8_t>* old = &head;
    auto quoteAt = [&](std::size_t i) { return old->data() + (i + 1) * len; };

    // Everything that can refuse is decided here, before the first byte is written.
    // Delete and Insert act on one quote: the one dated `from` (at `time`, when the series
    // has times and the caller names one). The file is at hand, so it is searched through
    // rather than trusted to be in order.
    const int timeColumn = files.columns.column[kFieldTime];
    auto matches = [&](std::size_t i, bool byTime) {
        const std::uint8_t* rec = quoteAt(i);
        if (RecordDate(rec, files.columns) != request.from) return false;
        if (!byTime || !request.time || timeColumn == 0) return true;
        return TimeFromReal(MbfToFloat(rec + (timeColumn - 1) * 4)) == *request.time;
    };
    auto firstMatch = [&](bool byTime) -> std::int64_t {
        for (std::size_t i = 0; i < records; ++i)
            if (matches(i, byTime)) return static_cast<std::int64_t>(i);
        return -1;
    };

    // Delete: which quote goes; which MASTER dates change (0 none, 1 first, 2 last, 3 both)
    // and to what.
    std::int64_t target = -1;   // the quote left out (Delete) or copied (Insert)
    std::int64_t placeAt = -1;  // Insert: the copy goes before this quote
    int datesToSet = 0;
    MbfBytes newFirst{}, newLast{};
    if (request.op == EditOp::kDelete) {
        target = firstMatch(true);
        if (target < 0) return kDeleteNotFound;
        const int k = static_cast<int>(target);
        const int n = std::min<int>(last - 1, static_cast<int>(records));
        auto dateOf = [&](int i) {
            return DateToMbfReal(RecordDate(quoteAt(static_cast<std::size_t>(i)), files.columns));
        };
        if (k == 0 && n > 1) {
            datesToSet = 1;
            newFirst = dateOf(1);
        } else if (k == n - 1 && n > 1) {
            datesToSet = 2;
            newLast = dateOf(n - 2);
        } else if (k == 0 && n == 1) {
            datesToSet = 3;
            newFirst = newLast = dateOf(0);
        }
    }
    const DateCode insertDate = PreviousWeekday(request.from);
    if (request.op == EditOp::kInsert) {
        if (files.columns.column[kFieldDate] == 0) return kInvalidParm;
        target = firstMatch(true);
        placeAt = firstMatch(false);
        if (target < 0 || placeAt < 0) return kRecordNotFound;
        // The new quote must stand in date order: nothing before it dated on or after it.
        if (placeAt > 0 &&
            RecordDate(quoteAt(static_cast<std::size_t>(placeAt - 1)), files.columns) >= insertDate)
            return kInsertOutOfOrder;
    }

    std::vector<std::uint8_t> out;
    int inserted = 0;
    if (request.op == EditOp::kSet || request.op == EditOp::kScale) {
        // Same records in the same places: change the copy in place.
        out = *old;
        bool any = false;
        for (std::size_t i = 0; i < records; ++i) {
            std::uint8_t* rec = out.data() + (i + 1) * len;
            const DateCode d = RecordDate(rec, files.columns);
            if (d < request.from || d > request.to) continue;
            // An edit of one intraday quote names its time; the other quotes of the day stay.
            if (request.op == EditOp::kSet && request.time && timeColumn != 0 &&
                TimeFromReal(MbfToFloat(rec + (timeColumn - 1) * 4)) != *request.time)
                continue;
            any = true;
            if (DataStatus s = ChangeValues(rec, files.columns, request); s != kSuccess) return s;
        }
        if (request.op == EditOp::kSet && request.oneQuote && !any) return kRecordNotFound;
    } else {
        out.reserve(old->size() + len);
        out.insert(out.end(), header.begin(), header.end());
        for (std::size_t i = 0; i < records; ++i) {
            const std::uint8_t* rec = quoteAt(i);
            const auto at = static_cast<std::int64_t>(i);
            if (request.op == EditOp::kDelete && at == target) continue;
            if (request.op == EditOp::kInsert && at == placeAt) {
                const std::uint8_t* source = quoteAt(static_cast<std::size_t>(target));
                const std::size_t copyAt = out.size();
                out.insert(out.end(), source, source + len);
                const int c = files.columns.column[kFieldDate];
                const MbfBytes prev = DateToMbfReal(insertDate);
                std::memcpy(out.data() + copyAt + static_cast<std::size_t>(c - 1) * 4, prev.data(),
                            4);
                ++inserted;
            }
            out.insert(out.end(), rec, rec + len);
        }
    }

    // The header counts exactly the quotes added or left out.
    int lastRecord = last;
    if (request.op == EditOp::kDelete) lastRecord = last - 1;
    if (request.op == EditOp::kInsert) lastRecord = last + inserted;
    if (lastRecord > kMaxQuotesPerFile + 1) return kInvalidParm;  // no room for more quotes
    if (lastRecord != last) SetDatLastRecord(out.data(), lastRecord);

    if (!write) return kSuccess;
    // An edit that changes no byte writes nothing: the previous backup stays the backup.
    if (out == *old) return kSuccess;

    // A Delete that changes the entry's dates rewrites the index files too: they must be
    // able to take it before the data file is replaced, or the quote would be gone with
    // the dates stale. On Windows the backup is a copy of the old file, so its room counts
    // too; elsewhere the old file itself becomes the backup through a hard link.
    const auto newSize = static_cast<std::uintmax_t>(fileSize) + out.size() - old->size();
#ifdef _WIN32
    const auto backupSize = static_cast<std::uintmax_t>(fileSize);
#else
    const std::uintmax_t backupSize = 0;
#endif
    if (datesToSet != 0) {
        if (DataStatus s =
                CheckIndexRewrite(id.directory, id.inXmaster(), newSize + backupSize, fsys);
            s != kSuccess)
            return s;
    }

    // Decided: the new file goes in place, the previous data kept as the backup; what the
    // file holds past its quotes follows them unchanged.
    const int f = files.record.fileNumber();
    if (DataStatus s =
            ReplaceKeepingBackup(fsys, files.datPath, SeriesFilePath(id.directory, f, "NEW"),
                                 SeriesFilePath(id.directory, f, "BAK"), out, dat);
        s != kSuccess) {
        return s == kReadOnly ? kReadOnly : kFileWrite;
    }

    // The dates belong to the entry the series was opened through, in the MASTER that
    // holds it. The quote is gone by now: a failure here has its own result.
    DataStatus s = kSuccess;
    if (datesToSet == 1) s = SetMasterDate(id, newFirst, 0, fsys);
    if (datesToSet == 2) s = SetMasterDate(id, newLast, 1, fsys);
    if (datesToSet == 3) s = SetMasterDates(id, newFirst, newLast, fsys);
    return s == kSuccess ? kSuccess : kDeletedMasterStale;
}

}  // namespace

DataStatus RewriteSeries(const EditRequest& request, const SecurityId& id, FileSystem& fsys) {
    return Rewrite(request, id, fsys, true);
}

DataStatus CheckRewrite(const EditRequest& request, const SecurityId& id) {
    return Rewrite(request, id, RealFileSystem(), false);
}

DataStatus RewriteSeries(const EditRequest& request, std::string_view directory,
                         std::string_view key, FileSystem& fsys) {
    MasterRecord record;
    SecurityId id;
    if (DataStatus s = FindSymbol(directory, key, record, id); s != kSuccess) return s;
    return RewriteSeries(request, id, fsys);
}

}  // namespace barwise
