#include "testsupport/testdb.h"

#include <cstring>

#include "datafiles/encoding.h"
#include "datafiles/series.h"

namespace barwise::testing {

namespace {
void PutText(std::uint8_t* dst, const std::string& text, std::size_t width) {
    std::memset(dst, ' ', width);
    std::memcpy(dst, text.data(), std::min(width, text.size()));
}
}  // namespace

MasterRecord Entry(int fileNumber, const std::string& symbol, const std::string& name,
                   int recordLength, int fieldCount, float firstDate, float lastDate, char period) {
    MasterRecord r;
    r.bytes[kMasterFileNumberOffset] = static_cast<std::uint8_t>(fileNumber);
    r.bytes[1] = 0x65;  // bytes the program does not interpret but must keep
    r.bytes[kMasterRecordLengthOffset] = static_cast<std::uint8_t>(recordLength);
    r.bytes[kMasterFieldCountOffset] = static_cast<std::uint8_t>(fieldCount);
    PutText(r.bytes.data() + kMasterNameOffset, name, kMasterNameSize);
    const MbfBytes first = FloatToMbf(firstDate), last = FloatToMbf(lastDate);
    std::memcpy(r.bytes.data() + kMasterFirstDateOffset, first.data(), 4);
    std::memcpy(r.bytes.data() + kMasterLastDateOffset, last.data(), 4);
    r.bytes[kMasterPeriodOffset] = static_cast<std::uint8_t>(period);
    PutText(r.bytes.data() + kMasterSymbolOffset, symbol, kMasterSymbolSize);
    r.bytes[52] = 0x7E;
    return r;
}

MasterRecord SubdirEntry(const std::string& name) {
    MasterRecord r;
    std::string field = name;
    field.resize(11, ' ');
    field += "<DIR>";
    PutText(r.bytes.data() + kMasterNameOffset, field, kMasterNameSize);
    PutText(r.bytes.data() + kMasterSymbolOffset, "", kMasterSymbolSize);
    return r;
}

std::vector<std::uint8_t> MasterBytes(const std::vector<MasterRecord>& records, int headerCount) {
    std::vector<std::uint8_t> bytes(kMasterRecordSize, 0);
    const int count =
        headerCount == kCountOfRecords ? static_cast<int>(records.size()) : headerCount;
    PutI16(bytes.data(), static_cast<std::int16_t>(count));
    PutI16(bytes.data() + 2, static_cast<std::int16_t>(records.size()));
    bytes[10] = 0x42;
    for (const MasterRecord& r : records) bytes.insert(bytes.end(), r.bytes.begin(), r.bytes.end());
    return bytes;
}

void WriteMaster(const fs::path& dir, const std::vector<MasterRecord>& records, int headerCount,
                 const std::string& fileName) {
    WriteBytes(dir / fileName, MasterBytes(records, headerCount));
}

std::vector<std::uint8_t> DatBytes(int recordLength, const std::vector<std::vector<float>>& rows,
                                   int lastRecord) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(recordLength), 0);
    PutI16(bytes.data() + 2, static_cast<std::int16_t>(
                                 lastRecord < 0 ? static_cast<int>(rows.size()) + 1 : lastRecord));
    bytes[0] = 0x11;  // preserved header bytes
    if (recordLength > 5) bytes[5] = 0x22;
    for (const auto& row : rows) {
        std::vector<std::uint8_t> rec(static_cast<std::size_t>(recordLength), 0);
        for (std::size_t f = 0; f < row.size() && (f + 1) * 4 <= rec.size(); ++f) {
            const MbfBytes m = FloatToMbf(row[f]);
            std::memcpy(rec.data() + f * 4, m.data(), 4);
        }
        bytes.insert(bytes.end(), rec.begin(), rec.end());
    }
    return bytes;
}

void WriteDat(const fs::path& file, int recordLength, const std::vector<std::vector<float>>& rows,
              int lastRecord) {
    WriteBytes(file, DatBytes(recordLength, rows, lastRecord));
}

std::vector<float> Weekdays(int year, int month, int day, int count) {
    std::vector<float> out;
    DateCode d = MakeDate(year, month, day);
    while (static_cast<int>(out.size()) < count) {
        const int w = (d - 1) % 7;
        if (w != 0 && w != 6) out.push_back(DateToReal(d));
        ++d;
    }
    return out;
}

std::string RealDbDir() {
    return BARWISE_REALDB_DIR;
}

bool CopyRealDb(const std::string& name, const fs::path& dir) {
    const fs::path from = fs::path(RealDbDir()) / name;
    std::error_code ec;
    if (!fs::is_directory(from, ec)) return false;
    fs::copy(from, dir, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    if (ec) return false;
    for (auto& e : fs::recursive_directory_iterator(dir)) {
        fs::permissions(e.path(), fs::perms::owner_read | fs::perms::owner_write,
                        fs::perm_options::add, ec);
    }
    return true;
}

}  // namespace barwise::testing
