// ReadLayout on a fuzzed F1.DOP, or, without one, on the record length alone (the 20-byte
// case then reads the first quote of a fuzzed F1.DAT).
//
// Input: [record length: 1 byte] [flags: 1 byte, bit 0 = DOP present] [DOP or DAT: the rest]
#include <cstdint>
#include <string>

#include "datafiles/layout.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace barwise;
    fuzz::Input in(data, size);
    const int recordLength = static_cast<std::int8_t>(in.byte());
    const bool withDop = (in.byte() & 1) != 0;
    const std::string dir = fuzz::ScratchDir();
    const std::string dop = dir + "F1.DOP";
    const std::string dat = dir + "F1.DAT";
    if (withDop) {
        fuzz::WriteBytes(dop, in.rest());
        fuzz::RemoveFile(dat);
    } else {
        fuzz::RemoveFile(dop);
        fuzz::WriteBytes(dat, in.rest());
    }

    FieldLayout layout;
    const DataStatus s = ReadLayout(dop, recordLength, layout);
    BARWISE_FUZZ_CHECK(s == kSuccess || s == kNoLayout);
    if (withDop) BARWISE_FUZZ_CHECK(s == kSuccess);
    for (int f = 0; f < kQuoteFieldCount; ++f) {
        const auto i = static_cast<std::size_t>(f);
        BARWISE_FUZZ_CHECK(layout.column[i] >= 0);
        if (s != kSuccess || !withDop) {
            BARWISE_FUZZ_CHECK(layout.inputFormat[i] == 0 && layout.displayFormat[i] == 0);
        }
        // Names of any code, in or out of the table, are safe to look up.
        (void)FormatCodeName(layout.inputFormat[i]);
        (void)FormatCodeName(layout.displayFormat[i]);
    }
    // Every column the readers keep lies inside the record.
    for (int fields = 0; fields <= kMaxFieldsPerRecord; ++fields) {
        const FieldLayout within = ColumnsWithin(layout, fields);
        for (auto c : within.column) BARWISE_FUZZ_CHECK(c >= 0 && c <= fields);
    }
    return 0;
}
