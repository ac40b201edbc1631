#include "testsupport/indexcheck.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>

namespace barwise::testing {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kMasterSize = 53;
constexpr std::size_t kEmasterSize = 192;
constexpr std::size_t kXmasterSize = 150;
constexpr std::int32_t kNoFirstDate = 19000101;

// The file of dir whose name reads `upper` in any letter case; the first in name order when
// several do.
std::optional<fs::path> FindFile(const fs::path& dir, std::string_view upper) {
    std::error_code ec;
    std::vector<fs::path> hits;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        if (name == upper && it->is_regular_file(ec)) hits.push_back(it->path());
    }
    if (hits.empty()) return std::nullopt;
    std::sort(hits.begin(), hits.end());
    return hits.front();
}

std::optional<Bytes> ReadFile(const fs::path& dir, std::string_view upper) {
    const std::optional<fs::path> path = FindFile(dir, upper);
    if (!path) return std::nullopt;
    std::ifstream in(*path, std::ios::binary);
    if (!in) return std::nullopt;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int U8(const std::uint8_t* p) {
    return p[0];
}
int U16(const std::uint8_t* p) {
    return p[0] | (p[1] << 8);
}
std::uint32_t U32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::int32_t I32(const std::uint8_t* p) {
    return static_cast<std::int32_t>(U32(p));
}

double Ieee(const std::uint8_t* p) {
    return static_cast<double>(std::bit_cast<float>(U32(p)));
}

// A fixed-width text field without its trailing blanks and NULs.
std::string Trimmed(const std::uint8_t* p, std::size_t width) {
    std::string s(reinterpret_cast<const char*>(p), width);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
    return s;
}

// A NUL-terminated field (what follows the NUL is not part of it), trailing blanks removed.
std::string UpToNul(const std::uint8_t* p, std::size_t width) {
    std::size_t n = 0;
    while (n < width && p[n] != 0) ++n;
    return Trimmed(p, n);
}

// A date real ((year - 1900) * 10000 + month * 100 + day) as YYYYMMDD; 0 stays 0.
int DateInt(double v) {
    return v == 0 ? 0 : static_cast<int>(std::llround(v)) + 19000000;
}

std::string Num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}

bool IsDirectoryEntry(const std::uint8_t* rec) {
    return rec[7] != ' ' && std::string_view(reinterpret_cast<const char*>(rec + 18), 5) == "<DIR>";
}

// Whole records after the header, at most the header's count.
std::size_t RecordsOf(const Bytes& file, std::size_t recordSize, long headerCount) {
    const std::size_t whole = file.size() / recordSize;
    if (whole == 0 || headerCount <= 0) return 0;
    return std::min(whole - 1, static_cast<std::size_t>(headerCount));
}

struct Files {
    std::optional<Bytes> master, emaster, xmaster;
    std::size_t masterRecords = 0, emasterRecords = 0, xmasterRecords = 0;
    bool xmasterReadable = false;  // header present and the magic right
};

Files Load(const fs::path& dir) {
    Files f;
    f.master = ReadFile(dir, "MASTER");
    f.emaster = ReadFile(dir, "EMASTER");
    f.xmaster = ReadFile(dir, "XMASTER");
    if (f.master && f.master->size() >= kMasterSize)
        f.masterRecords = RecordsOf(*f.master, kMasterSize, U16(f.master->data()));
    if (f.emaster && f.emaster->size() >= kEmasterSize)
        f.emasterRecords = RecordsOf(*f.emaster, kEmasterSize, U16(f.emaster->data()));
    if (f.xmaster && f.xmaster->size() >= kXmasterSize) {
        const std::uint8_t* h = f.xmaster->data();
        f.xmasterReadable = h[0] == 0x5D && h[1] == 0xFE && h[2] == 0x58 && h[3] == 0x4D;
        if (f.xmasterReadable) f.xmasterRecords = RecordsOf(*f.xmaster, kXmasterSize, I32(h + 10));
    }
    return f;
}

const std::uint8_t* Record(const Bytes& file, std::size_t recordSize, std::size_t k) {
    return file.data() + k * recordSize;
}

// The checks of one MASTER record against its EMASTER twin.
void CompareTwins(std::size_t k, const std::uint8_t* m, const std::uint8_t* e,
                  std::vector<std::string>& out) {
    const std::string at = "record " + std::to_string(k) + ": ";
    auto differ = [&](const std::string& what, const std::string& inMaster,
                      const std::string& inEmaster) {
        out.push_back(at + what + ": MASTER " + inMaster + ", EMASTER " + inEmaster);
    };
    if (U8(m + 0) != U8(e + 2))
        differ("file number", std::to_string(U8(m + 0)), std::to_string(U8(e + 2)));
    if (U8(m + 4) != U8(e + 6))
        differ("field count", std::to_string(U8(m + 4)), std::to_string(U8(e + 6)));
    if (m[33] != e[60])
        differ("period", std::string(1, static_cast<char>(m[33])),
               std::string(1, static_cast<char>(e[60])));
    const std::string mSymbol = Trimmed(m + 36, 16), eSymbol = Trimmed(e + 11, 14);
    if (mSymbol != eSymbol) differ("symbol", Quoted(mSymbol), Quoted(eSymbol));
    const std::string mName = Trimmed(m + 7, 16), eName = Trimmed(e + 32, 16);
    if (mName != eName) differ("name", Quoted(mName), Quoted(eName));
    const std::string longName = UpToNul(e + 139, 53);
    if (!longName.empty()) {
        const std::string head = Trimmed(reinterpret_cast<const std::uint8_t*>(longName.data()),
                                         std::min<std::size_t>(16, longName.size()));
        if (head != eName) {
            out.push_back(at + "long name " + Quoted(longName) +
                          " does not begin with the short name " + Quoted(eName));
        }
    }
    const double mFirst = MbfValue(m + 25), eFirst = Ieee(e + 64);
    if (mFirst != eFirst) differ("first date", Num(mFirst), Num(eFirst));
    const std::int32_t firstInt = I32(e + 126);
    if (firstInt != kNoFirstDate && static_cast<double>(firstInt) != mFirst + 19000000.0)
        differ("first date", Num(mFirst), std::to_string(firstInt) + " (YYYYMMDD)");
    const double mLast = MbfValue(m + 29), eLast = Ieee(e + 72);
    if (mLast != eLast) differ("last date", Num(mLast), Num(eLast));
}

}  // namespace

// Exponent byte 3 (bias 129 for the 0.1xxx mantissa, 0 means zero), sign bit 7 of byte 2,
// then 23 mantissa bits with the leading 1 implied.
double MbfValue(const std::uint8_t* p) {
    if (p[3] == 0) return 0.0;
    const std::uint32_t mantissa = (static_cast<std::uint32_t>(p[2] & 0x7F) << 16) |
                                   (static_cast<std::uint32_t>(p[1]) << 8) | p[0] | 0x800000u;
    const double v = std::ldexp(static_cast<double>(mantissa), p[3] - 128 - 24);
    return (p[2] & 0x80) ? -v : v;
}

DecodedIndex DecodeIndexFiles(const std::filesystem::path& dir) {
    const Files f = Load(dir);
    DecodedIndex index;
    index.hasMaster = f.master.has_value();
    index.hasEmaster = f.emaster.has_value();
    index.hasXmaster = f.xmaster.has_value();
    for (std::size_t k = 1; k <= f.masterRecords; ++k) {
        const std::uint8_t* m = Record(*f.master, kMasterSize, k);
        const std::string longName =
            k <= f.emasterRecords ? UpToNul(Record(*f.emaster, kEmasterSize, k) + 139, 53) : "";
        index.securities.push_back({.index = IndexKind::kMaster,
                                    .position = static_cast<int>(k),
                                    .fileNumber = U8(m),
                                    .symbol = Trimmed(m + 36, 16),
                                    .name = Trimmed(m + 7, 16),
                                    .longName = longName,
                                    .firstDate = DateInt(MbfValue(m + 25)),
                                    .lastDate = DateInt(MbfValue(m + 29)),
                                    .fieldCount = U8(m + 4),
                                    .recordLength = static_cast<std::int8_t>(m[3]),
                                    .period = static_cast<char>(m[33]),
                                    .directoryEntry = IsDirectoryEntry(m)});
    }
    for (std::size_t k = 1; k <= f.xmasterRecords; ++k) {
        const std::uint8_t* x = Record(*f.xmaster, kXmasterSize, k);
        // No long name, record length or directory entry.
        index.securities.push_back({.index = IndexKind::kXmaster,
                                    .position = static_cast<int>(k),
                                    .fileNumber = U16(x + 65),
                                    .symbol = UpToNul(x + 1, 14),
                                    .name = UpToNul(x + 16, 46),
                                    .longName = "",
                                    .firstDate = I32(x + 108),
                                    .lastDate = I32(x + 116),
                                    .fieldCount = std::popcount(static_cast<unsigned>(x[70])),
                                    .recordLength = 0,
                                    .period = static_cast<char>(x[62]),
                                    .directoryEntry = false});
    }
    return index;
}

std::vector<std::string> IndexDisagreements(const std::filesystem::path& dir) {
    const Files f = Load(dir);
    std::vector<std::string> out;
    const auto size = [](const Bytes& b) { return std::to_string(b.size()); };

    if (!f.master) {
        if (f.emaster) out.push_back("EMASTER without a MASTER");
        if (f.xmaster) out.push_back("XMASTER without a MASTER");
        return out;
    }
    const Bytes& master = *f.master;
    if (master.size() < kMasterSize) {
        out.push_back("MASTER: " + size(master) + " bytes, shorter than its 53-byte header");
        return out;
    }
    // A MASTER holding more or fewer records than its count is not checked here: readers
    // go by the count, and vendor files with a spare record after it exist.
    const int masterCount = U16(master.data());

    if (f.emaster) {
        const Bytes& emaster = *f.emaster;
        if (emaster.size() < kEmasterSize) {
            out.push_back("EMASTER: " + size(emaster) + " bytes, shorter than its 192-byte header");
        } else {
            const int count = U16(emaster.data());
            if (count != masterCount) {
                out.push_back("EMASTER: record count " + std::to_string(count) + ", MASTER " +
                              std::to_string(masterCount));
            }
            if (U16(emaster.data() + 2) != U16(master.data() + 2)) {
                out.push_back("EMASTER: highest file number " +
                              std::to_string(U16(emaster.data() + 2)) + ", MASTER " +
                              std::to_string(U16(master.data() + 2)));
            }
            if (emaster.size() != (static_cast<std::size_t>(count) + 1) * kEmasterSize) {
                out.push_back("EMASTER: " + size(emaster) + " bytes for a record count of " +
                              std::to_string(count));
            }
            const std::size_t pairs = std::min(f.masterRecords, f.emasterRecords);
            for (std::size_t k = 1; k <= pairs; ++k) {
                CompareTwins(k, Record(master, kMasterSize, k), Record(emaster, kEmasterSize, k),
                             out);
            }
        }
    }

    if (f.xmaster) {
        const Bytes& xmaster = *f.xmaster;
        if (xmaster.size() < kXmasterSize) {
            out.push_back("XMASTER: " + size(xmaster) + " bytes, shorter than its 150-byte header");
            return out;
        }
        const std::uint8_t* h = xmaster.data();
        if (!f.xmasterReadable) {
            char magic[16];
            std::snprintf(magic, sizeof magic, "%02X %02X %02X %02X", h[0], h[1], h[2], h[3]);
            out.push_back(std::string("XMASTER: starts with ") + magic + ", not 5D FE 58 4D");
            return out;
        }
        const std::int32_t count = I32(h + 10);
        if (I32(h + 14) != count) {
            out.push_back("XMASTER: record count " + std::to_string(count) + ", its second copy " +
                          std::to_string(I32(h + 14)));
        }
        if (count < 0 || xmaster.size() != (static_cast<std::size_t>(count) + 1) * kXmasterSize) {
            out.push_back("XMASTER: " + size(xmaster) + " bytes for a record count of " +
                          std::to_string(count));
        }
        const std::int32_t nextFree = I32(h + 18);
        std::map<int, std::size_t> masterNumbers;
        for (std::size_t k = f.masterRecords; k >= 1; --k) {
            const std::uint8_t* m = Record(master, kMasterSize, k);
            if (!IsDirectoryEntry(m)) masterNumbers[U8(m)] = k;
        }
        std::map<int, std::size_t> seen;
        for (std::size_t k = 1; k <= f.xmasterRecords; ++k) {
            const int n = U16(Record(xmaster, kXmasterSize, k) + 65);
            const std::string at =
                "XMASTER record " + std::to_string(k) + ": file number " + std::to_string(n);
            const auto inMaster = masterNumbers.find(n);
            const std::string clash =
                inMaster == masterNumbers.end()
                    ? ""
                    : " (also in MASTER record " + std::to_string(inMaster->second) + ")";
            if (n <= 255) {
                out.push_back(at + " is not above 255" + clash);
            } else if (!clash.empty()) {
                out.push_back(at + " is also in MASTER record " + std::to_string(inMaster->second));
            }
            if (n >= nextFree)
                out.push_back(at + " is not below the next free number " +
                              std::to_string(nextFree));
            const auto [it, fresh] = seen.emplace(n, k);
            if (!fresh)
                out.push_back(at + " is also in XMASTER record " + std::to_string(it->second));
        }
    }
    return out;
}

}  // namespace barwise::testing
