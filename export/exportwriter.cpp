#include "export/exportwriter.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "datafiles/quotefiles.h"
#include "datafiles/series.h"
#include "discovery/seriescursor.h"

namespace barwise {
namespace {

constexpr std::string_view kNotAvailable = "N/A";
// Every field but the time, which is never exported.
constexpr unsigned kExportedFields = SeriesCursor::kAllFields & ~(1u << kFieldTime);

// "%.<decimals>f" of a float promoted to double. A float times 10^4 (or 10^2) is exact in
// a double (24 + 14 bits), so rounding that product to an integer, half to even as printf
// rounds the exact binary value, gives printf's digits; the integer is then written with
// the decimal point put in. Values too large for that, and anything not finite, go
// through snprintf itself.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

template <int Decimals>
char* FormatFixed(char* p, float value) {
    constexpr double kScale = Decimals == 4 ? 10000.0 : 100.0;
    constexpr std::uint64_t kUnit = Decimals == 4 ? 10000 : 100;
    const double scaled = static_cast<double>(value) * kScale;
    if (!(std::fabs(scaled) < 1e18)) {
        const int n =
            std::snprintf(p, 64, Decimals == 4 ? "%.4f" : "%.2f", static_cast<double>(value));
        return p + (n > 0 ? n : 0);
    }
    if (std::signbit(value)) *p++ = '-';
    const double magnitude = std::fabs(scaled);
    // Round half to even; magnitude, its integer part and the remainder are all exact.
    auto digits = static_cast<std::uint64_t>(magnitude);
    const double rest = magnitude - static_cast<double>(digits);
    if (rest > 0.5 || (rest == 0.5 && (digits & 1u) != 0)) ++digits;
    const std::uint64_t whole = digits / kUnit;
    auto fraction = static_cast<unsigned>(digits % kUnit);
    p = std::to_chars(p, p + 24, whole).ptr;
    *p++ = '.';
    if constexpr (Decimals == 4) {
        std::memcpy(p, kDigitPairs + 2 * (fraction / 100), 2);
        std::memcpy(p + 2, kDigitPairs + 2 * (fraction % 100), 2);
        return p + 4;
    } else {
        std::memcpy(p, kDigitPairs + 2 * fraction, 2);
        return p + 2;
    }
}

inline char* Put2(char* p, int v) {
    std::memcpy(p, kDigitPairs + 2 * (static_cast<unsigned>(v) % 100), 2);
    return p + 2;
}

// FormatDateMdy (MM/DD/YY from 1960 to 2059, MM/DD/YYYY otherwise, 00/00/00 for no date), or
// YYYY-MM-DD.
char* FormatDateText(char* p, DateCode code, ExportDateFormat format) {
    int year = 0, month = 0, day = 0;
    if (code != kNoDate) {
        const DateParts parts = SplitDate(code);
        year = parts.year;
        month = parts.month;
        day = parts.day;
    }
    if (format == ExportDateFormat::kIso) {
        const int full = code != kNoDate ? year + 1900 : 0;
        p = Put2(p, full / 100);
        p = Put2(p, full % 100);
        *p++ = '-';
        p = Put2(p, month);
        *p++ = '-';
        return Put2(p, day);
    }
    p = Put2(p, month);
    *p++ = '/';
    p = Put2(p, day);
    *p++ = '/';
    const int full = year + 1900;
    if (format == ExportDateFormat::kMmDdYyyy)
        p = Put2(p, code != kNoDate ? full / 100 : 0);
    else if (code != kNoDate && (full < kFirstTwoDigitYear || full > kLastTwoDigitYear))
        p = Put2(p, full / 100);
    return Put2(p, year % 100);
}

// Date texts by code, made once per thread: a whole portfolio's quotes share a few
// thousand dates.
char* AppendDateText(char* p, DateCode code, ExportDateFormat format) {
    struct Entry {
        char text[10];
        std::uint8_t size = 0;  // 0 = not made yet
    };
    thread_local std::vector<Entry> cache[3];
    std::vector<Entry>& table = cache[static_cast<int>(format)];
    if (code < kFirstDay || code > kLastDay) return FormatDateText(p, code, format);
    if (table.empty()) table.resize(static_cast<std::size_t>(kLastDay - kFirstDay + 1));
    Entry& e = table[static_cast<std::size_t>(code - kFirstDay)];
    if (e.size == 0)
        e.size = static_cast<std::uint8_t>(FormatDateText(e.text, code, format) - e.text);
    std::memcpy(p, e.text, sizeof e.text);  // a fixed size copies fast; the line has room
    return p + e.size;
}

// The series cursor as a quote source.
class CursorSource final : public QuoteSource {
public:
    explicit CursorSource(SeriesCursor& cursor) : cursor_(cursor) {}
    int total() const override { return cursor_.total(); }
    DataStatus read(QuoteSeries& series, int start, int count, unsigned fields) override {
        return cursor_.read(series, start, count, fields);
    }
    bool hasTime() const override {
        const int column = cursor_.layout().column[kFieldTime];
        return column >= 1 && column <= cursor_.record().fieldCount();
    }
    std::array<bool, kExportValueColumns> present() const override {
        std::array<bool, kExportValueColumns> out{};
        const int fields = cursor_.record().fieldCount();
        for (int c = 0; c < kExportValueColumns; ++c) {
            const int column = cursor_.layout().column[static_cast<std::size_t>(kFieldOpen + c)];
            out[static_cast<std::size_t>(c)] = column >= 1 && column <= fields;
        }
        return out;
    }

private:
    SeriesCursor& cursor_;
};

DataStatus ExportOpened(SeriesCursor& cursor, const ExportOptions& options, std::ostream& out,
                        ExportStats* stats) {
    if (stats != nullptr) {
        stats->datFile = cursor.datPath().string();
        stats->quotesInFile = QuotesHeldInDatFile(cursor.datPath(), cursor.record().recordLength());
    }
    CursorSource source(cursor);
    return ExportQuotes(source, options, out, stats);
}

}  // namespace

DataStatus ExportQuotes(QuoteSource& source, const ExportOptions& options, std::ostream& out,
                        ExportStats* stats) {
    QuoteSeries series;
    constexpr int kBlock = 2000;
    if (AllocSeries(series, kBlock) != kSuccess) return kMalloc;
    const int total = source.total();
    ExportOptions chosen = options;
    if (options.dateFormat == ExportDateFormat::kMmDdYy) {
        // One date form for the whole file: the dates are read first, and any that MM/DD/YY
        // cannot name puts every date in MM/DD/YYYY.
        bool wide = false;
        for (int start = 0; start < total && !wide; start += kBlock) {
            if (source.read(series, start, kBlock, 1u << kFieldDate) != kSuccess)
                break;  // said below
            for (int i = 0; i < series.count && !wide; ++i) wide = !HasTwoDigitYear(series.date(i));
            if (series.count < std::min(kBlock, total - start)) break;
        }
        if (wide) chosen.dateFormat = ExportDateFormat::kMmDdYyyy;
    }
    ExportLineWriter writer(chosen);
    writer.setPresent(source.present());
    writer.setHasTime(source.hasTime());
    const unsigned fields =
        writer.writesTime() ? (kExportedFields | (1u << kFieldTime)) : kExportedFields;
    std::string text;
    text.reserve(static_cast<std::size_t>(kBlock) * 96);
    if (options.title) writer.appendTitle(text);
    if (stats != nullptr) stats->headerQuotes = total;
    std::int64_t written = 0;
    auto emit = [&](int i) {
        writer.appendLine(text, series.date(i), writer.writesTime() ? series.time(i) : 0,
                          {series.open(i), series.high(i), series.low(i), series.close(i),
                           series.volume(i), series.openInterest(i)});
        ++written;
    };
    auto flush = [&]() {
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        text.clear();
        return static_cast<bool>(out);
    };
    DataStatus status = kSuccess;
    if (!options.newestFirst) {
        // Oldest first: blocks from quote 0 on, until the data ends.
        for (int start = 0; start < total && status == kSuccess; start += kBlock) {
            status = source.read(series, start, kBlock, fields);
            if (status != kSuccess) break;
            for (int i = 0; i < series.count; ++i) emit(i);
            if (!flush()) status = kFileWrite;
            if (series.count < std::min(kBlock, total - start))
                break;  // file shorter than its header
        }
    } else {
        // Newest first: the blocks from the end backwards. Quotes the header announces but the
        // file does not hold are not written.
        for (int end = total; end > 0 && status == kSuccess; end -= kBlock) {
            const int start = std::max(end - kBlock, 0);
            status = source.read(series, start, end - start, fields);
            if (status != kSuccess) break;
            for (int i = series.count - 1; i >= 0; --i) emit(i);
            if (!flush()) status = kFileWrite;
        }
    }
    if (status == kSuccess && !flush()) status = kFileWrite;
    FreeSeries(series);
    if (stats != nullptr) stats->quotes = written;
    return status;
}

char ExportDelimiterFor(int choice) {
    if (choice == 1) return ',';
    if (choice == 2) return '\t';
    return ' ';
}

char* FormatFixed4(char* p, float value) {
    return FormatFixed<4>(p, value);
}
char* FormatFixed2(char* p, float value) {
    return FormatFixed<2>(p, value);
}

ExportLineWriter::ExportLineWriter(const ExportOptions& options) : options_(options) {}

void ExportLineWriter::appendTitle(std::string& out) const {
    out += "DATE";
    if (writesTime()) {
        out += options_.delimiter;
        out += "TIME";
    }
    for (int c = 0; c < kExportValueColumns; ++c) {
        if (options_.omit[static_cast<std::size_t>(c)]) continue;
        out += options_.delimiter;
        out += kExportTitles[static_cast<std::size_t>(c)];
    }
    out += kExportLineEnd;
}

void ExportLineWriter::appendLine(std::string& out, DateCode date, TimeCode time,
                                  const std::array<float, kExportValueColumns>& values) const {
    char line[32 + kExportValueColumns * 72];
    char* p = AppendDateText(line, date, options_.dateFormat);
    if (writesTime()) {
        *p++ = options_.delimiter;
        const TimeParts t = SplitTime(time);
        p = Put2(p, t.hour);
        *p++ = ':';
        p = Put2(p, t.minute);
        *p++ = ':';
        p = Put2(p, t.second);
    }
    for (int c = 0; c < kExportValueColumns; ++c) {
        if (options_.omit[static_cast<std::size_t>(c)]) continue;
        *p++ = options_.delimiter;
        const float v = values[static_cast<std::size_t>(c)];
        if (!present_[static_cast<std::size_t>(c)]) {
            std::memcpy(p, kNotAvailable.data(), kNotAvailable.size());
            p += kNotAvailable.size();
        } else if (options_.fullPrecision) {
            // The shortest fixed-point text that reads back to the same float (at most
            // 39 integer digits for the largest float, or 45 fraction digits).
            p = std::to_chars(p, p + 64, v, std::chars_format::fixed).ptr;
        } else if (c < kExportVol) {
            p = FormatFixed4(p, v);
        } else {
            p = FormatFixed2(p, v);
        }
    }
    *p++ = '\r';
    *p++ = '\n';
    out.append(line, static_cast<std::size_t>(p - line));
}

std::string ExportLineWriter::titleText() const {
    std::string out;
    appendTitle(out);
    out.resize(out.size() - kExportLineEnd.size());
    return out;
}

std::string ExportLineWriter::lineText(DateCode date, TimeCode time,
                                       const std::array<float, kExportValueColumns>& values) const {
    std::string out;
    appendLine(out, date, time, values);
    out.resize(out.size() - kExportLineEnd.size());
    return out;
}

DataStatus ExportSymbol(std::string_view directory, std::string_view key,
                        const ExportOptions& options, std::ostream& out, ExportStats* stats) {
    SeriesCursor cursor;
    const DataStatus status = cursor.openKey(directory, key);
    if (stats != nullptr) stats->datFile = cursor.datPath().string();
    if (status != kSuccess) return status;
    return ExportOpened(cursor, options, out, stats);
}

DataStatus ExportRecord(const SecurityId& id, const MasterRecord& record,
                        const ExportOptions& options, std::ostream& out, ExportStats* stats) {
    SeriesCursor cursor;
    const DataStatus status = cursor.open(id, record);
    if (stats != nullptr) stats->datFile = cursor.datPath().string();
    if (status != kSuccess) return status;
    return ExportOpened(cursor, options, out, stats);
}

DataStatus ExportSecurity(const SecurityId& id, const ExportOptions& options, std::ostream& out,
                          ExportStats* stats) {
    SeriesFiles files;
    const DataStatus status = OpenSeriesFiles(id, files);
    if (stats != nullptr) stats->datFile = files.datPath.string();
    if (status != kSuccess) return status;
    return ExportRecord(id, files.record, options, out, stats);
}

}  // namespace barwise
