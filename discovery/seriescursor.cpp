#include "discovery/seriescursor.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <vector>

namespace barwise {
namespace {

// DateFromReal is pure; the same few thousand dates recur in every series of a portfolio,
// so remember its results by the bits of the real (open addressing; emptied when half
// full, so the memory stays bounded whatever the files hold).
class DateMemo {
public:
    DateCode get(float real) {
        std::uint32_t bits;
        std::memcpy(&bits, &real, sizeof bits);
        std::size_t i = (bits * 0x9E3779B1u) >> (32 - kBits);
        while (true) {
            Slot& slot = slots_[i];
            if (slot.used && slot.bits == bits) return slot.code;
            if (!slot.used) break;
            i = (i + 1) & (kSlots - 1);
        }
        if (++filled_ > kSlots / 2) {
            std::fill(slots_.begin(), slots_.end(), Slot{});
            filled_ = 1;
            i = (bits * 0x9E3779B1u) >> (32 - kBits);
        }
        Slot& slot = slots_[i];
        slot = {bits, DateFromReal(real), true};
        return slot.code;
    }

private:
    static constexpr int kBits = 15;
    static constexpr std::size_t kSlots = std::size_t{1} << kBits;
    struct Slot {
        std::uint32_t bits = 0;
        DateCode code = 0;
        bool used = false;
    };
    std::vector<Slot> slots_ = std::vector<Slot>(kSlots);
    std::size_t filled_ = 0;
};

DateMemo& ThreadDateMemo() {
    thread_local DateMemo memo;
    return memo;
}

constexpr std::size_t kFileBufferSize = 1 << 16;

}  // namespace

SeriesCursor::SeriesCursor() = default;
SeriesCursor::~SeriesCursor() = default;

DataStatus SeriesCursor::open(std::string_view directory, const MasterRecord& record,
                              const DirectoryIndex* index) {
    SecurityId id;
    id.directory = WithTrailingSeparator(std::string(directory));
    id.fileNumber = record.fileNumber();
    return open(id, record, index);
}

DataStatus SeriesCursor::open(const SecurityId& id, const MasterRecord& record,
                              const DirectoryIndex* index) {
    file_.reset();
    raw_.clear();
    rawStart_ = rawCount_ = 0;
    total_ = 0;
    lastRecord_ = 0;
    position_ = -1;
    record_ = record;
    recordLength_ = record.recordLength();
    fieldCount_ = record.fieldCount();
    directory_ = id.directory;
    SeriesFiles files;
    const DataStatus opened = OpenSeriesFiles(id, record, files, index);
    datPath_ = files.datPath;
    layout_ = files.layout;
    if (opened != kSuccess) return opened;
    file_.reset(OpenRegularFile(datPath_));
    if (!file_) return kFileOpen;
    fileBuffer_.resize(kFileBufferSize);
    std::setvbuf(file_.get(), fileBuffer_.data(), _IOFBF, fileBuffer_.size());
    std::uint8_t header[4];
    if (std::fread(header, 1, sizeof header, file_.get()) != sizeof header) {
        file_.reset();
        return kFileRead;
    }
    position_ = sizeof header;
    lastRecord_ = DatLastRecord(header);
    if (lastRecord_ < 1) {  // a header claiming fewer than no quotes
        file_.reset();
        lastRecord_ = 0;
        return kFileRead;
    }
    total_ = lastRecord_ - 1;
    return kSuccess;
}

DataStatus SeriesCursor::openKey(std::string_view directory, std::string_view key,
                                 std::map<std::string, DirectoryIndex>* indexes) {
    MasterRecord record;
    SecurityId id;
    const DataStatus status = FindSymbol(directory, key, record, id);
    if (status != kSuccess) return status;
    // FindSymbol hands the dates out as IEEE floats; the cursor keeps the record as in the file.
    if (ReadMasterEntry(id, record) != kSuccess) return kFileRead;
    if (indexes == nullptr) return open(id, record);
    auto it = indexes->find(id.directory);
    if (it == indexes->end())
        it = indexes->emplace(id.directory, DirectoryIndex(id.directory)).first;
    return open(id, record, &it->second);
}

DateCode SeriesCursor::blockDate(int i) const {
    const int c = layout_.column[kFieldDate];
    if (i < 0 || i >= rawCount_ || c < 1 || c > fieldCount_) return DateFromReal(-1.0f);
    const std::uint8_t* rec =
        raw_.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(recordLength_);
    return DateFromReal(MbfToFloat(rec + (c - 1) * 4));
}

DataStatus SeriesCursor::read(QuoteSeries& series, int start, int count, unsigned fields) {
    if (!file_) return kFileOpen;
    count = std::min(count, static_cast<int>(series.capacity));
    if (count < 0) count = 0;
    if (start < 0 || start > lastRecord_ - 2) return kRecordNotFound;
    // Records start + 2 .. lastRecord_ exist by the header; the file may hold fewer.
    const int wanted = std::min(count, lastRecord_ - 1 - start);
    const std::size_t len = static_cast<std::size_t>(recordLength_);
    const std::int64_t offset = static_cast<std::int64_t>(start + 1) * recordLength_;
    const std::int64_t rawEnd =
        static_cast<std::int64_t>(rawStart_ + rawCount_ + 1) * recordLength_;

    // Records already in memory from the last block, when the file stands right after it.
    int have = 0;
    if (position_ == rawEnd && start >= rawStart_ && start < rawStart_ + rawCount_) {
        have = std::min(rawStart_ + rawCount_ - start, wanted);
        std::memmove(raw_.data(), raw_.data() + static_cast<std::size_t>(start - rawStart_) * len,
                     static_cast<std::size_t>(have) * len);
    }
    raw_.resize(static_cast<std::size_t>(wanted) * len);
    int got = have;
    if (got < wanted) {
        const std::int64_t next = offset + static_cast<std::int64_t>(got) * recordLength_;
        if (position_ != next) {
            if (std::fseek(file_.get(), static_cast<long>(next), SEEK_SET) != 0) {
                position_ = -1;
                rawCount_ = 0;
                return kFileRead;
            }
        }
        // Whole records only: a file shorter than its header ends the block there.
        const std::size_t bytes =
            std::fread(raw_.data() + static_cast<std::size_t>(got) * len, 1,
                       static_cast<std::size_t>(wanted - got) * len, file_.get());
        if (bytes < static_cast<std::size_t>(wanted - got) * len && std::ferror(file_.get())) {
            // A failed read is not the end of the file.
            std::clearerr(file_.get());
            position_ = -1;
            rawCount_ = 0;
            return kFileRead;
        }
        const int records = static_cast<int>(bytes / len);
        got += records;
        position_ = records * len == bytes ? next + static_cast<std::int64_t>(bytes) : -1;
    }
    rawStart_ = start;
    rawCount_ = got;

    std::array<int, kQuoteFieldCount> column{};
    for (int f = 0; f < kQuoteFieldCount; ++f) {
        const int c = layout_.column[static_cast<std::size_t>(f)];
        // A column beyond the record's fields reads as absent (ReadSeries does the same).
        column[static_cast<std::size_t>(f)] = (c >= 1 && c <= fieldCount_) ? c : 0;
    }
    // Column by column: each is a strided walk over the raw records.
    auto valueColumn = [&](int f) {
        SeriesColumn& out = series.columns[static_cast<std::size_t>(f)];
        const int c = column[static_cast<std::size_t>(f)];
        if (c == 0) {
            for (int i = 0; i < got; ++i) out.set<float>(i, -1.0f);
            return;
        }
        const std::uint8_t* p = raw_.data() + static_cast<std::size_t>(c - 1) * 4;
        for (int i = 0; i < got; ++i, p += len) out.set<float>(i, MbfToFloat(p));
    };
    if (fields & (1u << kFieldDate)) {
        SeriesColumn& out = series.columns[kFieldDate];
        const int c = column[kFieldDate];
        DateMemo& memo = ThreadDateMemo();
        const std::uint8_t* p = raw_.data() + static_cast<std::size_t>(c > 0 ? c - 1 : 0) * 4;
        for (int i = 0; i < got; ++i, p += len) {
            out.set<DateCode>(i, c != 0 ? memo.get(MbfToFloat(p)) : DateFromReal(-1.0f));
        }
    }
    if (fields & (1u << kFieldTime)) {
        SeriesColumn& out = series.columns[kFieldTime];
        const int c = column[kFieldTime];
        const std::uint8_t* p = raw_.data() + static_cast<std::size_t>(c > 0 ? c - 1 : 0) * 4;
        for (int i = 0; i < got; ++i, p += len) {
            out.set<TimeCode>(i, TimeFromReal(c != 0 ? MbfToFloat(p) : -1.0f));
        }
    }
    for (int f = kFieldOpen; f <= kFieldOi; ++f) {
        if (fields & (1u << f)) valueColumn(f);
    }
    series.total = total_;
    series.directory = directory_;
    return SetSeriesCount(series, got);
}

}  // namespace barwise
