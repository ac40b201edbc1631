// EMASTER beside a fuzzed MASTER: what the listing takes from it, and that the entry
// rewrites keep a sound EMASTER agreeing with MASTER and never write one set aside.
//
// Input: [MASTER: piece][EMASTER: rest]
#include <cstdint>
#include <cstring>
#include <string>

#include "datafiles/extindex.h"
#include "datafiles/master.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace barwise;
    fuzz::Input in(data, size);
    const std::string_view master = in.piece();
    const std::string_view emaster = in.rest();
    const std::string dir = fuzz::ScratchDir();
    fuzz::WriteBytes(dir + "MASTER", master);
    fuzz::WriteBytes(dir + "EMASTER", emaster);
    fuzz::RemoveFile(dir + "XMASTER");
    // The backups an earlier input's rename left: a reader would take names from an
    // EMASTER.BAK that agrees with this MASTER.
    fuzz::RemoveFile(dir + "EMASTER.BAK");
    fuzz::RemoveFile(dir + "MASTER.BAK");

    const MasterFile listing = ReadMasterFile(dir);
    if (listing.status != kSuccess) return 0;
    const std::vector<std::uint8_t> masterBytes(master.begin(), master.end());
    const ExtIndexFile e = ReadEmasterFile(dir, masterBytes);
    BARWISE_FUZZ_CHECK(e.sound() == (listing.emaster == ExtIndexState::kSound));
    BARWISE_FUZZ_CHECK(e.sound() || e.state == ExtIndexState::kAbsent ||
                       !listing.indexWarning.empty());
    if (e.sound()) {
        BARWISE_FUZZ_CHECK(EmasterDisagreement(e.bytes, masterBytes).empty());
        BARWISE_FUZZ_CHECK(e.bytes.size() ==
                           static_cast<std::size_t>(e.count + 1) * kEmasterRecordSize);
    }
    const MasterEntry* target = nullptr;
    for (const MasterEntry& m : listing.entries) {
        BARWISE_FUZZ_CHECK(!m.id.inXmaster());
        BARWISE_FUZZ_CHECK(m.record.longName.size() <= kLongNameSize);
        BARWISE_FUZZ_CHECK(m.record.longName.empty() || e.sound());
        if (!target && !m.record.isSubdirEntry() && m.id.position <= listing.headerCount)
            target = &m;
    }
    if (!target) return 0;

    const std::string name = "A NAME OF MORE THAN SIXTEEN LETTERS";
    const DataStatus s = RenameMasterEntry(target->id, "FZ", name);
    const auto masterAfter = ReadWholeFile(dir + "MASTER");
    const auto emasterAfter = ReadWholeFile(dir + "EMASTER");
    BARWISE_FUZZ_CHECK(masterAfter && emasterAfter);
    const bool emasterSame =
        emasterAfter->size() == emaster.size() &&
        (emaster.empty() || std::memcmp(emasterAfter->data(), emaster.data(), emaster.size()) == 0);
    if (s != kSuccess || !e.sound())
        BARWISE_FUZZ_CHECK(emasterSame);  // set aside or refused: never written
    if (s != kSuccess) {
        BARWISE_FUZZ_CHECK(masterAfter->size() == master.size() &&
                           std::memcmp(masterAfter->data(), master.data(), master.size()) == 0);
        BARWISE_FUZZ_CHECK(e.sound() || s == kInvalidParm || s == kFileNotFound);
        return 0;
    }
    BARWISE_FUZZ_CHECK(e.sound());  // MASTER alone holds no name of 35 characters
    BARWISE_FUZZ_CHECK(EmasterDisagreement(*emasterAfter, *masterAfter).empty());
    MasterRecord record;
    BARWISE_FUZZ_CHECK(ReadMasterEntry(target->id, record) == kSuccess);
    BARWISE_FUZZ_CHECK(SecurityName(record) == name);
    // Only the renamed record's text fields changed, in both files.
    for (std::size_t i = 0; i < emaster.size(); ++i) {
        if ((*emasterAfter)[i] == static_cast<std::uint8_t>(emaster[i])) continue;
        const std::size_t at = i % kEmasterRecordSize;
        BARWISE_FUZZ_CHECK(i / kEmasterRecordSize == static_cast<std::size_t>(target->id.position));
        BARWISE_FUZZ_CHECK(
            (at >= kEmasterSymbolOffset && at < kEmasterSymbolOffset + kEmasterSymbolSize) ||
            (at >= kEmasterNameOffset && at < kEmasterNameOffset + kEmasterNameSize) ||
            at >= kEmasterLongNameOffset);
    }

    // Dates follow into EMASTER, MASTER still agrees.
    const MbfBytes first = DateToMbfReal(MakeDate(2001, 2, 3)),
                   last = DateToMbfReal(MakeDate(2005, 6, 7));
    if (SetMasterDates(target->id, first, last) == kSuccess) {
        const auto m2 = ReadWholeFile(dir + "MASTER");
        const auto e2 = ReadWholeFile(dir + "EMASTER");
        BARWISE_FUZZ_CHECK(m2 && e2 && EmasterDisagreement(*e2, *m2).empty());
        const std::uint8_t* rec =
            e2->data() + static_cast<std::size_t>(target->id.position) * kEmasterRecordSize;
        BARWISE_FUZZ_CHECK(GetI32(rec + kEmasterFirstDateIntOffset) == 20010203);
    }
    return 0;
}
