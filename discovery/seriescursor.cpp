#include "discovery/seriescursor.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace barwise {
namespace {

// MBF to IEEE on a 32-bit word (byte 0 lowest): exponent bytes 0, 1 and 2 give +0.0.
inline float MbfWordToFloat(std::uint32_t w) {
    const std::uint32_t exponent = w >> 24;
    const std::uint32_t sign = (w >> 23) & 1u;
    const std::uint32_t ieee = exponent <= 2 ? 0u : (sign << 31) | ((exponent - 2) << 23) | (w & 0x7FFFFFu);
    float f;
    std::memcpy(&f, &ieee, sizeof f);
    return f;
}

inline std::uint32_t LoadLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// DateFromReal is pure; the same few thousand dates recur in every series of a portfolio,
// so remember recent results by the bits of the real.
class DateMemo {
public:
    DateCode get(float real) {
        std::uint32_t bits;
        std::memcpy(&bits, &real, sizeof bits);
        Slot& slot = slots_[(bits ^ (bits >> 13)) & (kSlots - 1)];
        if (!slot.used || slot.bits != bits) {
            slot.bits = bits;
            slot.code = DateFromReal(real);
            slot.used = true;
        }
        return slot.code;
    }

private:
    static constexpr std::size_t kSlots = 1 << 14;
    struct Slot {
        std::uint32_t bits = 0;
        DateCode code = 0;
        bool used = false;
    };
    std::vector<Slot> slots_ = std::vector<Slot>(kSlots);
};

DateMemo& ThreadDateMemo() {
    thread_local DateMemo memo;
    return memo;
}

}  // namespace

DataStatus SeriesCursor::open(std::string_view directory, const MasterRecord& record) {
    file_ = InputFile();
    total_ = 0;
    lastRecord_ = 0;
    position_ = -1;
    record_ = record;
    recordLength_ = record.recordLength();
    fieldCount_ = record.fieldCount();
    directory_ = WithTrailingSeparator(std::string(directory));
    const int fileNumber = record.fileNumber();
    // The same steps and statuses as ReadSeries: layout first, then the record's shape.
    datPath_ = SeriesFilePath(directory_, fileNumber, "DAT");
    const DataStatus layoutStatus = ReadLayout(SeriesFilePath(directory_, fileNumber, "DOP"), recordLength_, layout_);
    if (layoutStatus != kSuccess) return layoutStatus;
    if (!IsPlausibleRecordShape(recordLength_, fieldCount_)) return kFileRead;
    file_ = InputFile(datPath_);
    if (!file_.isOpen()) return kFileOpen;
    std::uint8_t header[4];
    if (!file_.read(header, sizeof header)) {
        file_ = InputFile();
        return kFileRead;
    }
    position_ = sizeof header;
    lastRecord_ = GetI16(header + kDatLastRecordOffset);
    if (lastRecord_ < 1) {  // a header claiming fewer than no quotes
        file_ = InputFile();
        lastRecord_ = 0;
        return kFileRead;
    }
    total_ = lastRecord_ - 1;
    return kSuccess;
}

DataStatus SeriesCursor::openKey(std::string_view directory, std::string_view key) {
    MasterRecord record;
    std::string found;
    const DataStatus status = FindSymbol(directory, key, record, found);
    if (status != kSuccess) return status;
    return open(found, record);
}

DataStatus SeriesCursor::read(QuoteSeries& series, int start, int count) {
    if (!file_.isOpen()) return kFileOpen;
    count = std::min(count, static_cast<int>(series.capacity));
    if (count < 0) count = 0;
    if (start < 0 || start > lastRecord_ - 2) return kRecordNotFound;
    // Records start + 2 .. lastRecord_ exist by the header; the file may hold fewer.
    const int wanted = std::min(count, lastRecord_ - 1 - start);
    const std::int64_t offset = static_cast<std::int64_t>(start + 1) * recordLength_;
    if (position_ != offset) {
        if (!file_.seek(offset)) return kFileRead;
        position_ = offset;
    }
    thread_local std::vector<std::uint8_t> buffer;
    buffer.resize(static_cast<std::size_t>(wanted) * static_cast<std::size_t>(recordLength_));
    int got = 0;
    // One read for the whole block; at the end of a short file, whole records one by one.
    if (wanted > 0 && file_.read(buffer.data(), buffer.size())) {
        got = wanted;
    } else {
        if (!file_.seek(offset)) return kFileRead;
        while (got < wanted && file_.read(buffer.data() + static_cast<std::size_t>(got) * recordLength_,
                                         static_cast<std::size_t>(recordLength_))) {
            ++got;
        }
    }
    position_ = got == wanted ? offset + static_cast<std::int64_t>(got) * recordLength_ : -1;

    std::array<int, kQuoteFieldCount> column{};
    for (int f = 0; f < kQuoteFieldCount; ++f) {
        const int c = layout_.column[static_cast<std::size_t>(f)];
        // A column beyond the record's fields reads as absent.
        column[static_cast<std::size_t>(f)] = (c >= 1 && c <= fieldCount_) ? c : 0;
    }
    DateMemo& memo = ThreadDateMemo();
    for (int i = 0; i < got; ++i) {
        const std::uint8_t* rec = buffer.data() + static_cast<std::size_t>(i) * recordLength_;
        auto fieldAt = [&](int f) { return MbfWordToFloat(LoadLe32(rec + (column[static_cast<std::size_t>(f)] - 1) * 4)); };
        const float dateReal = column[kFieldDate] ? fieldAt(kFieldDate) : -1.0f;
        series.columns[kFieldDate].set<DateCode>(i, column[kFieldDate] ? memo.get(dateReal) : DateCode{0});
        series.columns[kFieldTime].set<TimeCode>(i, column[kFieldTime] ? TimeFromReal(fieldAt(kFieldTime)) : TimeCode{0});
        for (int f = kFieldOpen; f <= kFieldOi; ++f) {
            series.columns[static_cast<std::size_t>(f)].set<float>(i, column[static_cast<std::size_t>(f)] ? fieldAt(f) : -1.0f);
        }
    }
    series.total = total_;
    series.directory = directory_;
    return SetSeriesCount(series, got);
}

}  // namespace barwise
