// A one-security portfolio built from fuzz input, for the targets that read a series:
// MASTER (header + one record for the key "FUZZ"), an optional F1.DOP and an optional F1.DAT,
// all in the per-process scratch directory.
//
// Input: [flags: 1 byte, bit 0 = DOP present, bit 1 = DAT absent] [MASTER record: 53 bytes]
//        [target parameters, read by the caller] [DOP: u16 length + bytes, when present]
//        [DAT: the rest]
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "datafiles/master.h"
#include "fuzz/fuzz_support.h"

namespace barwise::fuzz {

inline constexpr std::string_view kPortfolioKey = "FUZZ";

struct PortfolioInput {
    bool withDop = false;
    bool withDat = true;
    MasterRecord record;
};

// Reads the flags and the MASTER record; the file number is forced to 1 and the symbol to
// the key, so the lookup finds the record and the fuzzing goes into the record's shape,
// the layout and the quotes.
inline PortfolioInput ReadPortfolioHead(Input& in) {
    PortfolioInput p;
    const std::uint8_t flags = in.byte();
    p.withDop = (flags & 1) != 0;
    p.withDat = (flags & 2) == 0;
    for (auto& b : p.record.bytes) b = in.byte();
    p.record.bytes[kMasterFileNumberOffset] = 1;
    std::memset(p.record.bytes.data() + kMasterSymbolOffset, ' ', kMasterSymbolSize);
    std::memcpy(p.record.bytes.data() + kMasterSymbolOffset, kPortfolioKey.data(),
                kPortfolioKey.size());
    if (p.record.isSubdirEntry()) p.record.bytes[kMasterNameOffset] = ' ';
    return p;
}

inline std::string PortfolioDir() {
    return ScratchDir() + "series";
}

// Writes MASTER, F1.DOP and F1.DAT from the rest of the input. Returns the DAT bytes written.
inline std::string WritePortfolioFiles(const PortfolioInput& p, Input& in) {
    const std::string dir = PortfolioDir();
    static const bool made = [&] {
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        return true;
    }();
    (void)made;
    std::array<std::uint8_t, 2 * kMasterRecordSize> master{};
    master[0] = 1;  // one record after the header
    std::memcpy(master.data() + kMasterRecordSize, p.record.bytes.data(), kMasterRecordSize);
    WriteBytes(dir + "/MASTER", master.data(), master.size());
    if (p.withDop) {
        WriteBytes(dir + "/F1.DOP", in.piece());
    } else {
        RemoveFile(dir + "/F1.DOP");
    }
    std::string dat(in.rest());
    if (p.withDat) {
        WriteBytes(dir + "/F1.DAT", dat);
    } else {
        RemoveFile(dir + "/F1.DAT");
        dat.clear();
    }
    RemoveFile(dir + "/F1.NEW");
    RemoveFile(dir + "/F1.BAK");
    return dat;
}

}  // namespace barwise::fuzz
