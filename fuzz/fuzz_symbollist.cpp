// The symbols grid's reading of a fuzzed MASTER (ListSymbols) and the symbol repair that
// rewrites it (RepairMasterSymbols): the repair changes nothing but the symbol fields of
// records without a symbol text, and those only to the record's name bytes.
//
// Input: [MASTER: all bytes]
#include <cstdint>
#include <cstring>
#include <string>

#include "discovery/symbollist.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace barwise;
    const std::string dir = fuzz::ScratchDir();
    const std::string master = dir + "MASTER";
    fuzz::WriteBytes(master, data, size);
    fuzz::RemoveFile(master + ".bak");

    const SymbolListing listing = ListSymbols(master);
    BARWISE_FUZZ_CHECK(listing.rows.size() <= static_cast<std::size_t>(kMaxSymbolRows));
    if (size < kMasterRecordSize) BARWISE_FUZZ_CHECK(listing.status != kSuccess);
    for (const SymbolRow& row : listing.rows) {
        BARWISE_FUZZ_CHECK(row.position >= 1);
        BARWISE_FUZZ_CHECK(static_cast<std::size_t>(row.position + 1) * kMasterRecordSize <= size);
        BARWISE_FUZZ_CHECK(row.symbol.size() <= kMasterSymbolSize);
        (void)listing.countMismatch();
    }

    const DataStatus s = RepairMasterSymbols(master);
    const auto after = ReadWholeFile(master);
    BARWISE_FUZZ_CHECK(after.has_value());
    if (s != kSuccess) {
        BARWISE_FUZZ_CHECK(after->size() == size &&
                           (size == 0 || std::memcmp(after->data(), data, size) == 0));
        return 0;
    }
    BARWISE_FUZZ_CHECK(after->size() == size);
    for (std::size_t i = 0; i < size; ++i) {
        if ((*after)[i] == data[i]) continue;
        // Only symbol bytes of whole records after the header change, to the name bytes.
        const std::size_t record = i / kMasterRecordSize, at = i % kMasterRecordSize;
        BARWISE_FUZZ_CHECK(record >= 1 && (record + 1) * kMasterRecordSize <= size);
        BARWISE_FUZZ_CHECK(at >= kMasterSymbolOffset &&
                           at < kMasterSymbolOffset + kMasterSymbolSize);
        BARWISE_FUZZ_CHECK(
            (*after)[i] ==
            data[record * kMasterRecordSize + kMasterNameOffset + at - kMasterSymbolOffset]);
    }
    return 0;
}
