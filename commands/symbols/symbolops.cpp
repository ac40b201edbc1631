#include "commands/symbols/symbolops.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <system_error>

#include "datafiles/ascii.h"
#include "discovery/symbollist.h"

namespace barwise {
namespace {

constexpr std::string_view kAdditionFailed = "The Symbol addition failed.\n\nReason: ";

MasterRecord RecordAt(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    MasterRecord r;
    std::memcpy(r.bytes.data(), bytes.data() + offset, kMasterRecordSize);
    return r;
}

int HeaderCounter(const std::uint8_t* header) {
    return GetI16(header + kMasterCounterOffset);
}

// Lowers (or raises) both header words, never below 0.
void AdjustHeader(std::vector<std::uint8_t>& bytes, int delta) {
    const int count = std::max(0, MasterCount(bytes.data()) + delta);
    const int counter = std::max(0, HeaderCounter(bytes.data()) + delta);
    PutI16(bytes.data() + kMasterCountOffset, static_cast<std::int16_t>(count));
    PutI16(bytes.data() + kMasterCounterOffset, static_cast<std::int16_t>(counter));
}

bool Exists(const fs::path& p) {
    std::error_code ec;
    return fs::exists(p, ec);
}

// True when a record of the directory's MASTER names this file number.
bool FileNumberListed(const std::string& directory, int fileNumber) {
    const MasterFile master = ReadMasterFile(directory);
    // Unreadable now: keep the files rather than guess.
    if (master.status != kSuccess) return true;
    return std::any_of(master.entries.begin(), master.entries.end(), [&](const MasterEntry& e) {
        return !e.record.isSubdirEntry() && e.record.fileNumber() == fileNumber;
    });
}

// Removes the data files of a file number that no record names any more.
void RemoveDataFiles(const std::string& directory, int fileNumber, FileSystem& fsys,
                     std::vector<fs::path>& removed, std::vector<fs::path>& notRemoved) {
    for (std::string_view ext : {"DAT", "DOP", "BAK"}) {
        const fs::path file = SeriesFilePath(directory, fileNumber, ext);
        if (!Exists(file)) continue;
        (fsys.remove(file) ? removed : notRemoved).push_back(file);
    }
}

// The text the security is known by: its symbol text, or for a blank symbol field its name.
std::string KeyOf(const MasterRecord& record) {
    std::string key = SymbolText(record);
    if (key.empty()) key = DisplayText(record.nameField());
    return key;
}

}  // namespace

std::string CheckSymbolTexts(std::string_view symbol, std::string_view name) {
    if (symbol.empty()) return std::string(kEnterSymbolMessage);
    if (symbol.size() > kMasterSymbolSize) return "A symbol holds at most 16 characters";
    if (name.size() > kMasterNameSize) return "A name holds at most 16 characters";
    return {};
}

std::string SymbolExistsMessage(std::string_view symbol, std::string_view destination) {
    std::string text(kAdditionFailed);
    text += "Symbol ";
    text += symbol;
    text += " already exists in\n";
    text += destination;
    return text;
}

// ----- delete -----

DeleteOutcome DeleteSecurity(const SecurityId& id, FileSystem& fsys) {
    DeleteOutcome out;
    MasterRecord selected;
    out.status = ReadMasterEntry(id, selected);
    if (out.status != kSuccess) return out;
    const std::string text = SymbolText(selected);

    std::vector<int> dropped;
    std::set<int> stillListed;
    out.status = RewriteMasterFile(
        MasterPathOf(id.directory),
        [&](std::vector<std::uint8_t>& bytes) {
            dropped.clear();
            stillListed.clear();
            const int count = MasterCount(bytes.data());
            std::vector<std::uint8_t> kept(bytes.begin(), bytes.begin() + kMasterRecordSize);
            bool selectedFound = false;
            std::size_t off = kMasterRecordSize;
            for (int pos = 1; off + kMasterRecordSize <= bytes.size();
                 off += kMasterRecordSize, ++pos) {
                const MasterRecord r = RecordAt(bytes, off);
                bool drop = false;
                if (pos <= count && !r.isSubdirEntry()) {
                    if (pos == id.position) {
                        drop = selectedFound = r.fileNumber() == id.fileNumber;
                    } else {
                        // The same symbol listed again; a record without a symbol text is
                        // never taken for another.
                        drop = !text.empty() && SymbolText(r) == text;
                    }
                }
                if (drop) {
                    dropped.push_back(r.fileNumber());
                } else {
                    kept.insert(
                        kept.end(), bytes.begin() + static_cast<std::ptrdiff_t>(off),
                        bytes.begin() + static_cast<std::ptrdiff_t>(off + kMasterRecordSize));
                    if (!r.isSubdirEntry()) stillListed.insert(r.fileNumber());
                }
            }
            if (!selectedFound) return kFileNotFound;
            kept.insert(kept.end(), bytes.begin() + static_cast<std::ptrdiff_t>(off), bytes.end());
            bytes = std::move(kept);
            AdjustHeader(bytes, -static_cast<int>(dropped.size()));
            return kSuccess;
        },
        fsys, kMasterTempSuffix);
    if (out.status != kSuccess) return out;

    out.dropped = static_cast<int>(dropped.size());
    out.fileNumbers = dropped;
    std::set<int> done;
    for (int n : dropped) {
        if (stillListed.count(n) || !done.insert(n).second) continue;
        RemoveDataFiles(id.directory, n, fsys, out.removed, out.notRemoved);
    }
    return out;
}

// ----- move and copy -----

TransferOutcome TransferSecurity(const SecurityId& source, const std::string& destination,
                                 bool move, const TransferQuestions& questions, FileSystem& fsys) {
    TransferOutcome out;
    const auto fail = [&](TransferEnd end, std::string message, const fs::path& file = {},
                          DataStatus status = kFileWrite) {
        out.end = end;
        out.message = std::move(message);
        out.failedFile = file;
        out.status = status;
        return out;
    };

    MasterRecord record;
    const DataStatus found = ReadMasterEntry(source, record);
    if (found == kFileNotFound) return fail(TransferEnd::kNotFound, {}, {}, found);
    const fs::path sourceMaster = MasterPathOf(source.directory);
    if (found != kSuccess)
        return fail(TransferEnd::kFailed,
                    std::string(kAdditionFailed) + sourceMaster.string() + " cannot be read",
                    sourceMaster, found);

    // Every refusal first.
    const std::string symbol = ToUpperAscii(KeyOf(record));
    if (!symbol.empty()) {
        MasterRecord existing;
        std::string where;
        if (FindSymbol(destination, symbol, existing, where) == kSuccess)
            return fail(TransferEnd::kRefused, SymbolExistsMessage(symbol, destination));
    }
    const MasterFile dest = ReadMasterFile(destination);
    if (dest.status != kSuccess)
        return fail(TransferEnd::kFailed,
                    std::string(kAdditionFailed) + dest.path.string() + " cannot be read",
                    dest.path, dest.status);
    const int count = dest.headerCount;
    const int counter = HeaderCounter(dest.header.data());
    if (count >= kMaxFileNumber || counter >= kMaxFileNumber)
        return fail(TransferEnd::kRefused, std::string(kMaxSymbolsMessage));
    if (dest.countMismatch() || count < 0) {
        return fail(TransferEnd::kRefused, std::string(kAdditionFailed) + dest.path.string() +
                                               " holds " + std::to_string(dest.recordsInFile) +
                                               " records, its header says " +
                                               std::to_string(count));
    }
    std::set<int> used{0};
    for (const MasterEntry& e : dest.entries) used.insert(e.record.fileNumber());
    int number = 1;
    while (number <= kMaxFileNumber && used.count(number)) ++number;
    if (number > kMaxFileNumber)
        return fail(TransferEnd::kRefused, std::string(kMaxSymbolsMessage));

    const int old = record.fileNumber();
    const fs::path sourceDat = SeriesFilePath(source.directory, old, "DAT");
    const fs::path sourceDop = SeriesFilePath(source.directory, old, "DOP");
    const auto dat = ReadWholeFile(sourceDat);
    if (!dat)
        return fail(TransferEnd::kFailed,
                    std::string(kAdditionFailed) + sourceDat.string() + " cannot be read",
                    sourceDat, kFileRead);
    std::optional<std::vector<std::uint8_t>> dop;
    if (Exists(sourceDop)) {
        dop = ReadWholeFile(sourceDop);
        if (!dop)
            return fail(TransferEnd::kFailed,
                        std::string(kAdditionFailed) + sourceDop.string() + " cannot be read",
                        sourceDop, kFileRead);
    }

    // Files under the new number that the destination does not list: an earlier security's
    // leftovers. A stray layout file would be read as this security's layout, so it goes too.
    const fs::path destDat = SeriesFilePath(destination, number, "DAT");
    const fs::path destDop = SeriesFilePath(destination, number, "DOP");
    std::vector<fs::path> strays;
    for (const fs::path& p : {destDat, destDop})
        if (Exists(p)) strays.push_back(p);
    if (!strays.empty() && (!questions.replaceStrayFiles || !questions.replaceStrayFiles(strays)))
        return fail(TransferEnd::kDeclined, {}, {}, kFileExists);

    // 1. The data files reach the destination, complete and synced.
    const auto undoData = [&] {
        fsys.remove(destDat);
        if (dop) fsys.remove(destDop);
    };
    if (WriteFileChecked(fsys, destDat, *dat) != kSuccess)
        return fail(TransferEnd::kFailed,
                    std::string(kAdditionFailed) + destDat.string() + " cannot be written",
                    destDat);
    if (dop ? WriteFileChecked(fsys, destDop, *dop) != kSuccess
            : Exists(destDop) && !fsys.remove(destDop)) {
        fsys.remove(destDat);
        return fail(TransferEnd::kFailed,
                    std::string(kAdditionFailed) + destDop.string() + " cannot be written",
                    destDop);
    }

    // 2. The destination lists it.
    MasterRecord added = record;
    added.bytes[kMasterFileNumberOffset] = static_cast<std::uint8_t>(number);
    const DataStatus listed = RewriteMasterFile(
        dest.path,
        [&](std::vector<std::uint8_t>& bytes) {
            // MASTER as checked above, or nothing is written.
            if (MasterCount(bytes.data()) != count || HeaderCounter(bytes.data()) != counter ||
                bytes.size() < kMasterRecordSize * static_cast<std::size_t>(count + 1))
                return kFileExists;
            const std::size_t at = kMasterRecordSize * static_cast<std::size_t>(count + 1);
            for (std::size_t off = kMasterRecordSize; off + kMasterRecordSize <= at;
                 off += kMasterRecordSize)
                if (bytes[off] == number) return kFileExists;
            bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), added.bytes.begin(),
                         added.bytes.end());
            AdjustHeader(bytes, +1);
            return kSuccess;
        },
        fsys, kMasterTempSuffix);
    if (listed != kSuccess) {
        undoData();
        return fail(TransferEnd::kFailed,
                    std::string(kAdditionFailed) + dest.path.string() +
                        " could not be written; nothing was changed",
                    dest.path, listed);
    }
    out.newFileNumber = number;
    if (!move) return out;

    // 3. The source no longer lists it.
    const DataStatus dropped = RewriteMasterFile(
        sourceMaster,
        [&](std::vector<std::uint8_t>& bytes) {
            const std::size_t off = kMasterRecordSize * static_cast<std::size_t>(source.position);
            if (off + kMasterRecordSize > bytes.size() ||
                source.position > MasterCount(bytes.data()) ||
                std::memcmp(bytes.data() + off, record.bytes.data(), kMasterRecordSize) != 0)
                return kFileNotFound;
            bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(off),
                        bytes.begin() + static_cast<std::ptrdiff_t>(off + kMasterRecordSize));
            AdjustHeader(bytes, -1);
            return kSuccess;
        },
        fsys, kMasterTempSuffix);
    if (dropped != kSuccess) {
        out.end = TransferEnd::kIncomplete;
        out.failedFile = sourceMaster;
        out.status = dropped;
        out.message = "The symbol " + symbol + " was copied to\n" + destination +
                      "\nbut could not be taken out of\n" + sourceMaster.string() +
                      "\nIt is now in both portfolios.";
        return out;
    }

    // 4. Last, the source's files, unless another record still names them.
    if (!FileNumberListed(source.directory, old)) {
        std::vector<fs::path> removed, notRemoved;
        RemoveDataFiles(source.directory, old, fsys, removed, notRemoved);
    }
    return out;
}

}  // namespace barwise
