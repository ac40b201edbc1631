#include "discovery/symbollist.h"

#include <algorithm>

#include "datafiles/ascii.h"

namespace barwise {
namespace {

bool EndsSymbol(std::uint8_t b) {
    return b <= 0x20 || b >= 0x80;
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
    return masterRows != expected;
}

std::string SymbolListing::countMismatchText() const {
    return MasterCountText(masterFile, recordsInFile, headerCount);
}

std::string MasterCountText(const std::string& masterFile, int recordsInFile, int headerCount) {
    return masterFile + " holds " + std::to_string(recordsInFile) + " record" +
           (recordsInFile == 1 ? "" : "s") + ", its header says " + std::to_string(headerCount);
}

std::string OverLimitText(int headerCount, int limit) {
    if (headerCount <= limit) return {};
    return "File has " + std::to_string(headerCount) + " symbols.\nWill only display the first " +
           std::to_string(limit) + " symbols";
}

ListingVerdict JudgeListing(const SymbolListing& listing, int limit) {
    ListingVerdict verdict;
    if (listing.status != kSuccess) return verdict;
    // A MASTER whose records disagree with its header is not listed, so it is not repaired
    // either: nothing is written to a portfolio that is then refused.
    if (listing.countMismatch(limit)) {
        verdict.refusal = listing.countMismatchText();
        return verdict;
    }
    verdict.shown = true;
    verdict.overLimit = OverLimitText(listing.headerCount, limit);
    verdict.repair = listing.needsRepair;
    return verdict;
}

SymbolListing ListSymbols(const fs::path& masterPath, int limit) {
    SymbolListing listing;
    const fs::path master = ResolveMaster(masterPath);
    const MasterFile file = ReadMasterFile(
        master.has_parent_path() ? master.parent_path().string() : std::string(), limit);
    listing.status = file.status;
    listing.headerCount = file.headerCount;
    listing.indexWarning = file.indexWarning;
    listing.masterRows = file.masterEntries;
    listing.recordsInFile = file.recordsInFile;
    listing.masterFile = file.path.string();
    if (file.status != kSuccess) return listing;
    // The grid lists what the file holds (up to the limit), whatever the header says; the
    // caller compares the two (countMismatch).
    for (const MasterEntry& entry : file.entries) {
        SymbolRow row;
        row.record = entry.record;
        row.id = entry.id;
        row.position = entry.id.position;
        row.name = entry.record.nameField();
        row.symbol = SymbolText(entry.record);
        if (row.symbol.empty()) {
            row.symbol = row.name;
            if (!entry.id.inXmaster()) listing.needsRepair = true;
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
        const auto cx = static_cast<unsigned char>(LowerAscii(x[i]));
        const auto cy = static_cast<unsigned char>(LowerAscii(y[i]));
        if (cx != cy) return cx < cy;
    }
    return x.size() < y.size();
}

DataStatus RepairMasterSymbols(const fs::path& masterPath, FileSystem& fileSystem) {
    bool changed = false;
    const DataStatus s = RewriteIndexFiles(
        ResolveMaster(masterPath),
        [&](IndexContents& c) {
            std::vector<std::uint8_t>& bytes = c.master;
            // Whole records only; a cut last record is copied as it stands.
            for (std::size_t at = kMasterRecordSize; at + kMasterRecordSize <= bytes.size();
                 at += kMasterRecordSize) {
                MasterRecord record;
                std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), kMasterRecordSize,
                            record.bytes.begin());
                if (!SymbolText(record).empty()) continue;
                std::copy_n(record.bytes.begin() + kMasterNameOffset, kMasterSymbolSize,
                            bytes.begin() + static_cast<std::ptrdiff_t>(at + kMasterSymbolOffset));
                const std::size_t e = at / kMasterRecordSize * kEmasterRecordSize;
                if (e + kEmasterRecordSize <= c.emaster.size()) {
                    const std::string symbol =
                        TrimPadding(record.nameField().substr(0, kEmasterSymbolSize));
                    PutZeroPadded(c.emaster.data() + e + kEmasterSymbolOffset, kEmasterSymbolSize,
                                  symbol);
                }
                changed = true;
            }
            // Nothing to repair: nothing is written, not even the backup.
            return changed ? kSuccess : kFileExists;
        },
        fileSystem);
    if (s == kFileExists && !changed) return kSuccess;
    return s == kSuccess ? kSuccess : (s == kFileOpen || s == kFileRead ? s : kFileWrite);
}

}  // namespace barwise
