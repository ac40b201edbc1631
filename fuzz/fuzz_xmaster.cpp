// A fuzzed XMASTER beside a MASTER of one security: which records the listing and the
// lookup take from it, and that the entry rewrites keep it sound and change only the
// fields they own.
//
// Input: [XMASTER: all bytes]
#include <cstdint>
#include <cstring>
#include <string>

#include "datafiles/extindex.h"
#include "datafiles/master.h"
#include "datafiles/series.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace barwise;
    const std::string dir = fuzz::ScratchDir();
    static const std::string master = [] {
        std::string m(2 * kMasterRecordSize, '\0');
        m[0] = 1;
        m[2] = 1;
        m[kMasterRecordSize + kMasterFileNumberOffset] = 1;
        m[kMasterRecordSize + kMasterRecordLengthOffset] = 28;
        m[kMasterRecordSize + kMasterFieldCountOffset] = 7;
        std::memcpy(&m[kMasterRecordSize + kMasterNameOffset], "MASTER ONE      ", 16);
        std::memcpy(&m[kMasterRecordSize + kMasterSymbolOffset], "ONE             ", 16);
        m[kMasterRecordSize + kMasterPeriodOffset] = 'D';
        return m;
    }();
    fuzz::WriteBytes(dir + "MASTER", master);
    fuzz::RemoveFile(dir + "EMASTER");
    fuzz::WriteBytes(dir + "XMASTER", data, size);

    const ExtIndexFile x = ReadXmasterFile(dir);
    const MasterFile listing = ReadMasterFile(dir);
    BARWISE_FUZZ_CHECK(listing.status == kSuccess && listing.masterEntries == 1);
    BARWISE_FUZZ_CHECK(listing.entries.size() ==
                       1 + static_cast<std::size_t>(x.sound() ? x.count : 0));
    BARWISE_FUZZ_CHECK(x.sound() || listing.indexWarning.find("XMASTER") != std::string::npos);
    if (!x.sound()) return 0;
    const int next = XmasterNextNumber(x.bytes.data());
    for (std::size_t i = 1; i < listing.entries.size(); ++i) {
        const MasterEntry& m = listing.entries[i];
        BARWISE_FUZZ_CHECK(m.id.inXmaster() && m.id.position == static_cast<int>(i));
        BARWISE_FUZZ_CHECK(m.id.fileNumber < next && m.record.fileNumber() == m.id.fileNumber);
        BARWISE_FUZZ_CHECK(m.record.recordLength() == 4 * m.record.fieldCount());
        MasterRecord again;
        BARWISE_FUZZ_CHECK(ReadMasterEntry(m.id, again) == kSuccess &&
                           again.bytes == m.record.bytes);
        FieldLayout layout;
        if (LayoutFromFieldBits(m.record.fieldBits, layout) == kSuccess)
            BARWISE_FUZZ_CHECK(layout.column[kFieldDate] == 1);
        if (i > 3) break;  // the first few are enough for the per-entry reads
    }
    if (listing.entries.size() < 2) return 0;

    const SecurityId id = listing.entries[1].id;
    const std::vector<std::uint8_t> before = x.bytes;
    const MbfBytes first = DateToMbfReal(MakeDate(1999, 12, 31)),
                   last = DateToMbfReal(MakeDate(2003, 1, 2));
    const DataStatus dates = SetMasterDates(id, first, last);
    const auto afterDates = ReadWholeFile(dir + "XMASTER");
    BARWISE_FUZZ_CHECK(afterDates && afterDates->size() == before.size());
    const std::size_t rec = static_cast<std::size_t>(id.position) * kXmasterRecordSize;
    for (std::size_t i = 0; i < before.size(); ++i) {
        if ((*afterDates)[i] == before[i]) continue;
        BARWISE_FUZZ_CHECK(dates == kSuccess);
        BARWISE_FUZZ_CHECK(
            i >= rec + kXmasterFirstDateOffset && i < rec + kXmasterLastDateOffset + 4 &&
            !(i >= rec + kXmasterFirstDateOffset + 4 && i < rec + kXmasterLastDateOffset));
    }
    if (dates == kSuccess)
        BARWISE_FUZZ_CHECK(GetI32(afterDates->data() + rec + kXmasterLastDateOffset) == 20030102);

    const std::string name = "AN XMASTER NAME OF FORTY-FIVE CHARACTERS ABCD";
    if (RenameMasterEntry(id, "XSYM", name) == kSuccess) {
        MasterRecord renamed;
        BARWISE_FUZZ_CHECK(ReadMasterEntry(id, renamed) == kSuccess &&
                           SecurityName(renamed) == name);
        BARWISE_FUZZ_CHECK(XmasterProblem(*ReadWholeFile(dir + "XMASTER")).empty());
    }
    // Rewrites that succeeded kept MASTER as it was.
    BARWISE_FUZZ_CHECK(ReadWholeFile(dir + "MASTER")->size() == master.size());
    return 0;
}
