#include "datafiles/series.h"

#include <algorithm>
#include <new>

namespace barwise {

namespace {

void SetColumn(SeriesColumn& c, std::uint8_t* base, int count, int stride, int offset, int size) {
    c.base = base;
    c.count = count;
    c.stride = static_cast<std::int16_t>(stride);
    c.offset = static_cast<std::int16_t>(offset);
    c.spare = 0;
    c.elementSize = static_cast<std::int16_t>(size);
}

}  // namespace

bool IsPlausibleRecordShape(int recordLength, int fieldCount) {
    return recordLength >= 4 && recordLength <= kMaxRecordLength && fieldCount >= 1 &&
           fieldCount <= kMaxFieldsPerRecord && fieldCount * 4 <= recordLength;
}

DataStatus AllocSeries(QuoteSeries& series, std::int32_t capacity) {
    FreeSeries(series);
    if (capacity < 0) return kInvalidParm;
    const std::size_t n = static_cast<std::size_t>(capacity);
    series.storage.reset(new (std::nothrow) std::uint8_t[n * kBarSize + 1]());
    if (!series.storage) {
        series.capacity = 0;
        return kMalloc;
    }
    series.count = series.capacity = capacity;
    std::uint8_t* base = series.storage.get();
    auto& col = series.columns;
    if (capacity < kPackedCapacityLimit) {
        // Packed: bars of 32 bytes: date (32-bit), time (16-bit, in a 4-byte slot), open ..
        // open interest (floats).
        SetColumn(col[kFieldDate], base, capacity, 8, 0, 4);
        SetColumn(col[kFieldTime], base, capacity, 8, 1, 4);
        for (int f = kFieldOpen; f <= kFieldOi; ++f) {
            SetColumn(col[static_cast<std::size_t>(f)], base, capacity, 8, f, 4);
        }
    } else {
        // Split: seven arrays; the first holds date and time interleaved (4 bytes each), the
        // others one value field each.
        SetColumn(col[kFieldDate], base, capacity, 2, 0, 4);
        SetColumn(col[kFieldTime], base, capacity, 2, 1, 4);
        for (int f = kFieldOpen; f <= kFieldOi; ++f) {
            SetColumn(col[static_cast<std::size_t>(f)],
                      base + n * 8 + static_cast<std::size_t>(f - kFieldOpen) * n * 4, capacity, 1,
                      0, 4);
        }
    }
    return kSuccess;
}

void FreeSeries(QuoteSeries& series) {
    series = QuoteSeries{};
}

DataStatus SetSeriesCount(QuoteSeries& series, int n) {
    if (n > series.capacity) return kMalloc;
    if (n < 0) return kInvalidParm;
    series.count = n;
    for (auto& c : series.columns) c.count = n;
    return kSuccess;
}

namespace {

// The fields of the index files' field bits, in the column order they stand for.
constexpr std::pair<std::uint8_t, QuoteField> kFieldBitOrder[] = {
    {kFieldBitDate, kFieldDate}, {kFieldBitTime, kFieldTime}, {kFieldBitOpen, kFieldOpen},
    {kFieldBitHigh, kFieldHigh}, {kFieldBitLow, kFieldLow},   {kFieldBitClose, kFieldClose},
    {kFieldBitVol, kFieldVol},   {kFieldBitOi, kFieldOi}};

}  // namespace

DataStatus LayoutFromFieldBits(std::uint8_t bits, FieldLayout& layout) {
    layout = FieldLayout{};
    if ((bits & kFieldBitDate) == 0) return kNoLayout;
    int column = 1;
    for (const auto& [bit, field] : kFieldBitOrder) {
        if (bits & bit)
            layout.column[static_cast<std::size_t>(field)] = static_cast<std::int16_t>(column++);
    }
    return kSuccess;
}

std::uint8_t FieldBitsOf(const FieldLayout& columns) {
    std::uint8_t bits = 0;
    for (const auto& [bit, field] : kFieldBitOrder)
        if (columns.has(field)) bits = static_cast<std::uint8_t>(bits | bit);
    return bits;
}

DataStatus OpenSeriesFiles(const SecurityId& id, const MasterRecord& record, SeriesFiles& out,
                           const DirectoryIndex* index) {
    out = SeriesFiles{};
    out.id = id;
    out.record = record;
    const std::string base = "F" + std::to_string(record.fileNumber());
    const std::string dataExtension(DataExtensionOf(id));
    out.datPath = index ? index->find(base + "." + dataExtension)
                        : SeriesFilePath(id.directory, record.fileNumber(), dataExtension);
    out.dopPath = index ? index->find(base + ".DOP")
                        : SeriesFilePath(id.directory, record.fileNumber(), "DOP");
    // Layout first, then the record's shape. An XMASTER security without a DOP has the
    // columns its field bits name, in the order DATE TIME OPEN HIGH LOW CLOSE VOL OI.
    // A listing of the directory already says whether there is a DOP.
    const bool dopListed = !index || index->has(base + ".DOP");
    std::error_code ec;
    if (id.inXmaster() && (!dopListed || !fs::exists(out.dopPath, ec))) {
        if (DataStatus s = LayoutFromFieldBits(record.fieldBits, out.layout); s != kSuccess)
            return s;
    } else if (DataStatus s = ReadLayout(out.dopPath, record.recordLength(), record.fieldCount(),
                                         record.period(), out.layout, &out.dopIgnored, dopListed);
               s != kSuccess) {
        return s;
    }
    out.recordLength = record.recordLength();
    out.fieldCount = record.fieldCount();
    if (!IsPlausibleRecordShape(out.recordLength, out.fieldCount)) return kFileRead;
    out.columns = ColumnsWithin(out.layout, out.fieldCount);
    return kSuccess;
}

DataStatus OpenSeriesFiles(const SecurityId& id, SeriesFiles& out, const DirectoryIndex* index) {
    MasterRecord record;
    if (DataStatus s = ReadMasterEntry(id, record); s != kSuccess) return s;
    return OpenSeriesFiles(id, record, out, index);
}

namespace {

DataStatus ReadOpenedSeries(QuoteSeries& series, const SeriesFiles& files, std::string_view key,
                            std::int32_t start, std::int32_t count) {
    const int recordLength = files.recordLength;
    const int fieldCount = files.fieldCount;
    const std::string& found = files.id.directory;
    const MasterRecord record = WithIeeeDates(files.record);
    const FieldLayout& layout = files.layout;
    InputFile dat(files.datPath);
    if (!dat.isOpen()) return kFileOpen;
    std::uint8_t header[4];
    if (!dat.read(header, sizeof header)) return kFileRead;
    const int last = DatLastRecord(header);
    if (last < 1) return kFileRead;  // a header claiming fewer than no quotes

    const bool asManyAsPossible = count < 0;
    if (asManyAsPossible) {
        const int most = std::min(last - 1, kMaxQuotesPerRead);
        const int settled = start > 0 ? most - start : most;
        count = std::max(settled, 0);
    }

    if (series.infoSize < sizeof(SeriesInfo) || !series.info) {
        series.info.reset(new (std::nothrow) SeriesInfo{});
        if (!series.info) {
            FreeSeries(series);
            return kMalloc;
        }
        series.infoSize = 101;
    }
    series.tag = kSeriesLoadedTag;
    series.total = last - 1;
    series.directory = found;
    series.key = std::string(key);
    series.id = files.id;
    series.info->master = record;
    series.info->layout = layout;
    series.info->dopIgnored = files.dopIgnored;
    series.info->dopFile = files.dopPath.string();

    if (count == 0) {
        // Nothing asked for; a request for "all" of an empty file leaves the series empty.
        if (asManyAsPossible) return SetSeriesCount(series, 0);
        return kSuccess;
    }
    count = std::min(count, series.capacity);
    if (start < 0) start = std::max(series.total - count, 0);
    if (start > last - 2) return kRecordNotFound;

    const FieldLayout& use = files.columns;
    if (!dat.seek(static_cast<std::int64_t>(start + 1) * recordLength)) return kFileRead;
    std::uint8_t buffer[kMaxRecordLength];
    float fields[kMaxFieldsPerRecord];
    int i = 0;
    for (int r = start + 2; i < count && r <= last; ++r, ++i) {
        if (!dat.read(buffer, static_cast<std::size_t>(recordLength))) {
            // A file shorter than its header ends the read; a failed read is an error.
            if (dat.failed()) return kFileRead;
            break;
        }
        for (int f = 0; f < fieldCount; ++f) fields[f] = MbfToFloat(buffer + f * 4);
        auto at = [&](int field) -> float {
            const int c = use.column[static_cast<std::size_t>(field)];
            return c == 0 ? -1.0f : fields[c - 1];
        };
        series.columns[kFieldDate].set<DateCode>(i, DateFromReal(at(kFieldDate)));
        series.columns[kFieldTime].set<TimeCode>(i, TimeFromReal(at(kFieldTime)));
        for (int f = kFieldOpen; f <= kFieldOi; ++f) {
            series.columns[static_cast<std::size_t>(f)].set<float>(i, at(f));
        }
    }
    return SetSeriesCount(series, i);
}

}  // namespace

DataStatus ReadSeries(QuoteSeries& series, const SecurityId& id, std::int32_t start,
                      std::int32_t count) {
    SeriesFiles files;
    if (DataStatus s = OpenSeriesFiles(id, files); s != kSuccess) return s;
    return ReadOpenedSeries(series, files, {}, start, count);
}

DataStatus ReadSeries(QuoteSeries& series, std::string_view directory, std::string_view key,
                      std::int32_t start, std::int32_t count) {
    MasterRecord record;
    SecurityId id;
    if (DataStatus s = FindSymbol(directory, key, record, id); s != kSuccess) return s;
    SeriesFiles files;
    if (DataStatus s = OpenSeriesFiles(id, files); s != kSuccess) return s;
    return ReadOpenedSeries(series, files, key, start, count);
}

}  // namespace barwise
