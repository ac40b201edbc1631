// RewriteSeries on a fuzzed series: whatever the files hold, a failed rewrite leaves F1.DAT
// and MASTER byte for byte as they were, a successful one changes the DAT size only by the
// records a Delete or an Insert accounts for, and no F1.NEW is left behind.
//
// Input: see portfolio_input.h; the target parameters are
//        [op: 1 byte] [from: u16] [to: u16] [6 floats: 24 bytes]
#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "datafiles/fileio.h"
#include "datafiles/rewrite.h"
#include "fuzz/portfolio_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace barwise;
    fuzz::Input in(data, size);
    const fuzz::PortfolioInput p = fuzz::ReadPortfolioHead(in);
    EditRequest request;
    static constexpr EditOp kOps[] = {EditOp::kSet, EditOp::kScale, EditOp::kDelete,
                                      EditOp::kInsert};
    request.op = kOps[in.byte() % 4];
    request.from = static_cast<DateCode>(kFirstDay + static_cast<int>(in.u16()) * 2);
    request.to = static_cast<DateCode>(kFirstDay + static_cast<int>(in.u16()) * 2);
    if (request.op == EditOp::kDelete) request.to = request.from;
    for (float& v : request.values) {
        const std::uint32_t bits = in.u32();
        std::memcpy(&v, &bits, 4);
    }
    const std::string dat = fuzz::WritePortfolioFiles(p, in);
    const std::string dir = fuzz::PortfolioDir();
    const auto masterBefore = ReadWholeFile(dir + "/MASTER");

    const DataStatus s = RewriteSeries(request, dir, fuzz::kPortfolioKey);
    std::error_code ec;
    BARWISE_FUZZ_CHECK(!std::filesystem::exists(dir + "/F1.NEW", ec));
    const auto datAfter = ReadWholeFile(dir + "/F1.DAT");
    const auto masterAfter = ReadWholeFile(dir + "/MASTER");
    BARWISE_FUZZ_CHECK(masterAfter.has_value());
    if (!p.withDat) {
        BARWISE_FUZZ_CHECK(s != kSuccess && !datAfter);
        return 0;
    }
    BARWISE_FUZZ_CHECK(datAfter.has_value());
    const std::string after(datAfter->begin(), datAfter->end());
    if (s != kSuccess) {
        BARWISE_FUZZ_CHECK(after == dat);
        BARWISE_FUZZ_CHECK(*masterAfter == *masterBefore);
        return 0;
    }
    const std::size_t len = static_cast<std::size_t>(p.record.recordLength());
    switch (request.op) {
        case EditOp::kSet:
        case EditOp::kScale:
            BARWISE_FUZZ_CHECK(after.size() == dat.size());
            BARWISE_FUZZ_CHECK(*masterAfter == *masterBefore);
            break;
        case EditOp::kDelete:
            BARWISE_FUZZ_CHECK(after.size() + len == dat.size());
            break;
        case EditOp::kInsert:
            BARWISE_FUZZ_CHECK(after.size() >= dat.size() &&
                               (after.size() - dat.size()) % len == 0);
            BARWISE_FUZZ_CHECK(*masterAfter == *masterBefore);
            break;
    }
    // The backup holds the file as it was; an edit that changed no byte wrote nothing, not
    // even the backup.
    if (after == dat) return 0;
    const auto backup = ReadWholeFile(dir + "/F1.BAK");
    BARWISE_FUZZ_CHECK(backup && std::string(backup->begin(), backup->end()) == dat);
    return 0;
}
