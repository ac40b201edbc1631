#include "datafiles/extindex.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "datafiles/encoding.h"

namespace barwise {

namespace {

std::int32_t I32(const std::uint8_t* p) {
    return GetI32(p);
}

int U16(const std::uint8_t* p) {
    return p[0] | (p[1] << 8);
}

ExtIndexFile ReadIndex(std::string_view directory, std::string_view name) {
    ExtIndexFile out;
    const fs::path dir = directory.empty() ? fs::path(".") : fs::path(std::string(directory));
    const fs::path path = FindNoCase(dir, name);
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return out;  // absent (or not a file: nothing to use)
    out.path = path;
    out.state = ExtIndexState::kUnusable;
    const auto bytes = ReadWholeFile(path);
    if (!bytes) {
        out.problem = "cannot be read";
        return out;
    }
    out.bytes = *bytes;
    return out;
}

}  // namespace

int FieldBitCount(std::uint8_t bits) {
    return std::popcount(bits);
}

std::string ZeroPaddedText(const std::uint8_t* p, std::size_t width) {
    std::size_t n = 0;
    while (n < width && p[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

void PutIeeeFloat(std::uint8_t* dst, float value) {
    PutI32(dst, static_cast<std::int32_t>(std::bit_cast<std::uint32_t>(value)));
}

void PutBlankPadded(std::uint8_t* dst, std::size_t width, std::string_view text) {
    std::memset(dst, ' ', width);
    if (!text.empty()) std::memcpy(dst, text.data(), std::min(width, text.size()));
}

void PutZeroPadded(std::uint8_t* dst, std::size_t width, std::string_view text) {
    std::memset(dst, 0, width);
    if (!text.empty()) std::memcpy(dst, text.data(), std::min(width, text.size()));
}

std::string EmasterDisagreement(const std::vector<std::uint8_t>& emaster,
                                const std::vector<std::uint8_t>& master) {
    if (emaster.size() < kEmasterRecordSize) return "is shorter than its header";
    const int count = U16(emaster.data() + kEmasterCountOffset);
    if (emaster.size() != static_cast<std::size_t>(count + 1) * kEmasterRecordSize)
        return "holds " + std::to_string(emaster.size()) + " bytes for " + std::to_string(count) +
               " records";
    if (master.size() < 53) return "has no MASTER header to agree with";
    const int masterCount = static_cast<std::int16_t>(U16(master.data()));
    if (count != masterCount) {
        return "lists " + std::to_string(count) + " securities, MASTER " +
               std::to_string(masterCount);
    }
    for (int k = 1; k <= count; ++k) {
        const std::size_t at = static_cast<std::size_t>(k) * 53;
        if (at + 53 > master.size()) return "lists more securities than MASTER holds";
        const int e =
            emaster[static_cast<std::size_t>(k) * kEmasterRecordSize + kEmasterFileNumberOffset];
        if (e != master[at]) {
            return "gives file number " + std::to_string(e) + " at record " + std::to_string(k) +
                   ", MASTER " + std::to_string(master[at]);
        }
    }
    return {};
}

ExtIndexFile ReadEmasterFile(std::string_view directory, const std::vector<std::uint8_t>& master) {
    ExtIndexFile out = ReadIndex(directory, kEmasterFileName);
    if (out.state == ExtIndexState::kAbsent || !out.problem.empty()) return out;
    out.problem = EmasterDisagreement(out.bytes, master);
    if (out.problem.empty()) {
        out.state = ExtIndexState::kSound;
        out.count = U16(out.bytes.data() + kEmasterCountOffset);
    }
    return out;
}

int XmasterNextNumber(const std::uint8_t* header) {
    return I32(header + kXmasterNextNumberOffset);
}

std::string XmasterProblem(const std::vector<std::uint8_t>& x) {
    if (x.size() < kXmasterRecordSize) return "is shorter than its header";
    if (std::memcmp(x.data(), kXmasterMagic, sizeof kXmasterMagic) != 0)
        return "does not begin as an XMASTER does";
    const std::int32_t count = I32(x.data() + kXmasterCountOffset);
    if (count != I32(x.data() + kXmasterCountCopyOffset))
        return "holds two different record counts";
    if (count < 0 || x.size() != static_cast<std::size_t>(count + 1) * kXmasterRecordSize)
        return "holds " + std::to_string(x.size()) + " bytes for " + std::to_string(count) +
               " records";
    const int next = XmasterNextNumber(x.data());
    for (std::int32_t k = 1; k <= count; ++k) {
        const int n = U16(x.data() + static_cast<std::size_t>(k) * kXmasterRecordSize +
                          kXmasterFileNumberOffset);
        if (n >= next) {
            return "gives file number " + std::to_string(n) + " at record " + std::to_string(k) +
                   ", not below its next free number " + std::to_string(next);
        }
    }
    return {};
}

ExtIndexFile ReadXmasterFile(std::string_view directory) {
    ExtIndexFile out = ReadIndex(directory, kXmasterFileName);
    if (out.state == ExtIndexState::kAbsent || !out.problem.empty()) return out;
    out.problem = XmasterProblem(out.bytes);
    if (out.problem.empty()) {
        out.state = ExtIndexState::kSound;
        out.count = I32(out.bytes.data() + kXmasterCountOffset);
    }
    return out;
}

XmasterFields DecodeXmasterRecord(const std::uint8_t* r) {
    XmasterFields f;
    f.symbol = ZeroPaddedText(r + kXmasterSymbolOffset, kXmasterSymbolSize);
    f.name = ZeroPaddedText(r + kXmasterNameOffset, kLongNameSize);
    f.period = static_cast<char>(r[kXmasterPeriodOffset]);
    f.fileNumber = U16(r + kXmasterFileNumberOffset);
    f.fieldBits = r[kXmasterFieldBitsOffset];
    f.firstDate = I32(r + kXmasterFirstDateOffset);
    f.lastDate = I32(r + kXmasterLastDateOffset);
    return f;
}

std::string EmasterName(const std::uint8_t* r) {
    const std::string shortName = ZeroPaddedText(r + kEmasterNameOffset, kEmasterNameSize);
    const std::string longName = ZeroPaddedText(r + kEmasterLongNameOffset, kLongNameSize);
    // The long name stands only for a name longer than the short one, and begins with it.
    if (longName.size() > shortName.size() && longName.compare(0, shortName.size(), shortName) == 0)
        return longName;
    return shortName;
}

std::int32_t YmdFromDateReal(float dateReal) {
    if (!std::isfinite(dateReal) || dateReal <= 0 || dateReal > 3'000'000.0f) return 0;
    return static_cast<std::int32_t>(std::lround(dateReal)) + 19'000'000;
}

float DateRealFromYmd(std::int32_t ymd) {
    if (ymd <= 19'000'000) return 0;
    return static_cast<float>(ymd - 19'000'000);
}

}  // namespace barwise
