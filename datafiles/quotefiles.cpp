#include "datafiles/quotefiles.h"

#include <algorithm>
#include <string>
#include <system_error>

#include "datafiles/series.h"

namespace barwise {

float QuoteFieldValue(const QuoteBar& q, QuoteField field) {
    switch (field) {
        case kFieldDate:
            return DateToReal(q.date);
        case kFieldTime:
            return TimeToReal(q.time);
        case kFieldOpen:
            return q.open;
        case kFieldHigh:
            return q.high;
        case kFieldLow:
            return q.low;
        case kFieldClose:
            return q.close;
        case kFieldVol:
            return q.volume;
        case kFieldOi:
            return q.openInterest;
    }
    return 0;
}

DataStatus WriteMasterFile(FileSystem& fsys, const fs::path& path, int fileCounter,
                           const std::vector<MasterRecord>& records) {
    if (records.size() > 32767 || fileCounter < -32768 || fileCounter > 32767) return kInvalidParm;
    std::vector<std::uint8_t> bytes(kMasterRecordSize * (records.size() + 1), 0);
    PutI16(bytes.data() + kMasterCountOffset, static_cast<std::int16_t>(records.size()));
    PutI16(bytes.data() + kMasterCounterOffset, static_cast<std::int16_t>(fileCounter));
    auto at = bytes.begin() + static_cast<std::ptrdiff_t>(kMasterRecordSize);
    for (const MasterRecord& r : records) at = std::copy(r.bytes.begin(), r.bytes.end(), at);
    return WriteFileChecked(fsys, path, bytes);
}

DataStatus WriteDatFile(FileSystem& fsys, const fs::path& path, int recordLength, int fieldCount,
                        const std::vector<QuoteField>& columns,
                        const std::vector<QuoteBar>& quotes) {
    if (!IsPlausibleRecordShape(recordLength, fieldCount)) return kInvalidParm;
    if (columns.size() > static_cast<std::size_t>(fieldCount)) return kInvalidParm;
    if (quotes.size() > static_cast<std::size_t>(kMaxQuotesPerFile)) return kInvalidParm;
    const auto len = static_cast<std::size_t>(recordLength);
    std::vector<std::uint8_t> bytes(len * (quotes.size() + 1), 0);
    SetDatLastRecord(bytes.data(), static_cast<int>(quotes.size()) + 1);
    std::uint8_t* rec = bytes.data() + len;
    for (const QuoteBar& q : quotes) {
        for (std::size_t c = 0; c < columns.size(); ++c) {
            // Decided before anything is written: a value without an MBF form refuses the file.
            if (IeeeToMbf(QuoteFieldValue(q, columns[c]), rec + c * kMbfSize) != kSuccess)
                return kInvalidParm;
        }
        rec += len;
    }
    return WriteFileChecked(fsys, path, bytes);
}

DataStatus WriteDopFile(FileSystem& fsys, const fs::path& path,
                        const std::vector<QuoteField>& columns,
                        const std::vector<std::pair<int, int>>& formats) {
    std::string text;
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const auto codes = c < formats.size() ? formats[c] : std::pair<int, int>{0, 0};
        text += '"';
        text += kDopFieldNames[static_cast<std::size_t>(columns[c])];
        text += "\",";
        text += std::to_string(codes.first);
        text += ',';
        text += std::to_string(codes.second);
        text += "\r\n";
    }
    return WriteFileChecked(fsys, path,
                            std::span<const std::uint8_t>(
                                reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::int64_t QuotesHeldInDatFile(const fs::path& path, int recordLength) {
    if (recordLength <= 0) return -1;
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec) return -1;
    const auto records =
        static_cast<std::int64_t>(size / static_cast<std::uintmax_t>(recordLength));
    return std::max<std::int64_t>(records - 1, 0);
}

}  // namespace barwise
