#include "discovery/symbollist.h"

#include <algorithm>

namespace barwise {
namespace {

bool EndsSymbol(std::uint8_t b) { return b <= 0x20 || b >= 0x80; }

char FoldLower(unsigned char c) {
    return static_cast<char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
}

// MASTER as the caller named it, or the same name in another letter case.
fs::path ResolveMaster(const fs::path& masterPath) {
    std::error_code ec;
    if (fs::exists(masterPath, ec)) return masterPath;
    const fs::path dir = masterPath.has_parent_path() ? masterPath.parent_path() : fs::path(".");
    return FindNoCase(dir, masterPath.filename().string());
}

}  // namespace

std::string SymbolText(const MasterRecord& record) {
    std::string text;
    for (std::size_t i = 0; i < kMasterSymbolSize; ++i) {
        const std::uint8_t b = record.bytes[kMasterSymbolOffset + i];
        if (EndsSymbol(b)) break;
        text += static_cast<char>(b);
    }
    return text;
}

bool SymbolListing::countMismatch(int limit) const {
    const int expected = std::min(headerCount, limit);
    return static_cast<int>(rows.size()) != expected;
}

SymbolListing ListSymbols(const fs::path& masterPath, int limit) {
    SymbolListing listing;
    InputFile file(ResolveMaster(masterPath));
    if (!file.isOpen()) {
        listing.status = kFileOpen;
        return listing;
    }
    std::array<std::uint8_t, kMasterRecordSize> header{};
    if (!file.read(header.data(), header.size())) {
        listing.status = kFileRead;
        return listing;
    }
    listing.headerCount = MasterCount(header.data());
    MasterRecord record;
    // The grid lists what the file holds (up to the limit), whatever the header says; the
    // caller compares the two (countMismatch).
    while (static_cast<int>(listing.rows.size()) < limit && file.read(record.bytes.data(), record.bytes.size())) {
        SymbolRow row;
        row.record = record;
        row.position = static_cast<int>(listing.rows.size()) + 1;
        row.name = record.nameField();
        row.symbol = SymbolText(record);
        if (row.symbol.empty()) {
            row.symbol = row.name;
            listing.needsRepair = true;
        }
        listing.rows.push_back(std::move(row));
    }
    std::stable_sort(listing.rows.begin(), listing.rows.end(), SymbolRowLess);
    return listing;
}

bool SymbolRowLess(const SymbolRow& a, const SymbolRow& b) {
    const std::string& x = a.symbol;
    const std::string& y = b.symbol;
    const std::size_t n = std::min(x.size(), y.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto cx = static_cast<unsigned char>(FoldLower(static_cast<unsigned char>(x[i])));
        const auto cy = static_cast<unsigned char>(FoldLower(static_cast<unsigned char>(y[i])));
        if (cx != cy) return cx < cy;
    }
    return x.size() < y.size();
}

DataStatus RepairMasterSymbols(const fs::path& masterPath, FileSystem& fileSystem) {
    const fs::path master = ResolveMaster(masterPath);
    const auto content = ReadWholeFile(master);
    if (!content) return kFileOpen;
    if (content->size() < kMasterRecordSize) return kFileRead;

    std::vector<std::uint8_t> repaired = *content;
    bool changed = false;
    // Whole records only; a cut last record is copied as it stands.
    for (std::size_t at = kMasterRecordSize; at + kMasterRecordSize <= repaired.size(); at += kMasterRecordSize) {
        MasterRecord record;
        std::copy_n(repaired.begin() + static_cast<std::ptrdiff_t>(at), kMasterRecordSize, record.bytes.begin());
        if (!SymbolText(record).empty()) continue;
        std::copy_n(record.bytes.begin() + kMasterNameOffset, kMasterSymbolSize,
                    repaired.begin() + static_cast<std::ptrdiff_t>(at + kMasterSymbolOffset));
        changed = true;
    }
    if (!changed) return kSuccess;

    // The MASTER file as it was stays beside the new one as MASTER.bak.
    fs::path backup = master;
    backup += ".bak";
    if (CopyFileChecked(fileSystem, master, backup) != kSuccess) return kFileWrite;
    fs::path temporary = master;
    temporary += ".NEW";
    SafeRewrite rewrite(fileSystem, master, temporary);
    if (rewrite.open() != kSuccess) return kFileWrite;
    if (rewrite.write(repaired.data(), repaired.size()) != kSuccess) return kFileWrite;
    return rewrite.commit() == kSuccess ? kSuccess : kFileWrite;
}

}  // namespace barwise
