#include "datafiles/master.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <system_error>
#include <vector>

#include "datafiles/ascii.h"
#include "datafiles/portfoliolock.h"

namespace barwise {

namespace {

// A fixed-width text field read as text: it ends at its first NUL.
std::string FieldText(const std::uint8_t* p, std::size_t width) {
    std::size_t n = 0;
    while (n < width && p[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

// The directory holding the MASTER file a walk is reading, as a path the system can use.
fs::path DirectoryPath(const std::string& dir) {
    return dir.empty() ? fs::path(".") : fs::path(dir);
}

// Identity of a directory for loop detection; empty when it cannot be resolved.
fs::path CanonicalDirectory(const std::string& dir) {
    std::error_code ec;
    fs::path p = fs::canonical(DirectoryPath(dir), ec);
    if (ec) return {};
    return p;
}

bool IsUsableSubdirName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (char c : name) {
        if (c == '/' || c == '\\' || c == ':' || c == '\0') return false;
    }
    return true;
}

// The EMASTER whose names are shown: EMASTER itself, or where it disagrees with MASTER
// (an index rewrite stopped between its renames) its backup when that agrees. Read-only:
// a writer uses ReadEmasterFile, and the next one puts the files in agreement again.
ExtIndexFile EmasterForNames(std::string_view directory, const std::vector<std::uint8_t>& master) {
    ExtIndexFile e = ReadEmasterFile(directory, master);
    if (e.state != ExtIndexState::kUnusable) return e;
    fs::path backup = e.path;
    backup += std::string(".BAK");
    auto kept = ReadWholeFile(backup);
    if (!kept || kept->size() < kEmasterRecordSize || !EmasterDisagreement(*kept, master).empty())
        return e;
    e.count = static_cast<std::uint16_t>(GetI16(kept->data() + kEmasterCountOffset));
    e.bytes = std::move(*kept);
    e.state = ExtIndexState::kSound;
    e.problem.clear();
    e.path = backup;
    return e;
}

}  // namespace

std::string MasterRecord::nameField() const {
    return std::string(reinterpret_cast<const char*>(bytes.data() + kMasterNameOffset),
                       kMasterNameSize);
}

std::string MasterRecord::symbolField() const {
    return std::string(reinterpret_cast<const char*>(bytes.data() + kMasterSymbolOffset),
                       kMasterSymbolSize);
}

float MasterRecord::firstDateIeee() const {
    float v;
    std::memcpy(&v, bytes.data() + kMasterFirstDateOffset, 4);
    return v;
}

float MasterRecord::lastDateIeee() const {
    float v;
    std::memcpy(&v, bytes.data() + kMasterLastDateOffset, 4);
    return v;
}

bool MasterRecord::isSubdirEntry() const {
    return std::memcmp(bytes.data() + kMasterDirMarkOffset, "<DIR>", 5) == 0 &&
           bytes[kMasterNameOffset] != ' ';
}

std::string MasterRecord::subdirName() const {
    return TrimPadding(FieldText(bytes.data() + kMasterNameOffset, kMasterSubdirNameSize));
}

bool MasterRecordMatches(const MasterRecord& record, std::string_view key) {
    const std::string name =
        TrimPadding(FieldText(record.bytes.data() + kMasterNameOffset, kMasterNameSize));
    if (EqualNoCase(name, key)) return true;
    // The symbol part holds as many blank-separated words as the key.
    const int blanksInKey = CountChar(key, ' ');
    std::string symbol = FieldText(record.bytes.data() + kMasterSymbolOffset, kMasterSymbolSize);
    const int cut = FindNthChar(symbol, ' ', blanksInKey + 1);
    if (cut >= 0) symbol.resize(static_cast<std::size_t>(cut));
    return EqualNoCase(symbol, key);
}

MasterRecord MasterFormOfXmaster(const std::uint8_t* x) {
    const XmasterFields f = DecodeXmasterRecord(x);
    MasterRecord r;
    std::memset(r.bytes.data() + kMasterNameOffset, ' ', kMasterNameSize);
    std::memset(r.bytes.data() + kMasterSymbolOffset, ' ', kMasterSymbolSize);
    const int fields = FieldBitCount(f.fieldBits);
    r.bytes[kMasterRecordLengthOffset] = static_cast<std::uint8_t>(fields * 4);
    r.bytes[kMasterFieldCountOffset] = static_cast<std::uint8_t>(fields);
    std::memcpy(r.bytes.data() + kMasterNameOffset, f.name.data(),
                std::min(f.name.size(), kMasterNameSize));
    std::memcpy(r.bytes.data() + kMasterSymbolOffset, f.symbol.data(), f.symbol.size());
    for (auto [offset, ymd] : {std::pair{kMasterFirstDateOffset, f.firstDate},
                               std::pair{kMasterLastDateOffset, f.lastDate}}) {
        const float real = DateRealFromYmd(ymd);
        if (HasMbfForm(real)) (void)IeeeToMbf(real, r.bytes.data() + offset);
    }
    r.bytes[kMasterPeriodOffset] = static_cast<std::uint8_t>(f.period);
    r.wideFileNumber = f.fileNumber;
    r.fieldBits = f.fieldBits;
    if (f.name.size() > kMasterNameSize) r.longName = f.name;
    return r;
}

std::string SecurityName(const MasterRecord& record) {
    return record.longName.empty() ? DisplayText(record.nameField()) : record.longName;
}

std::string_view DataExtensionOf(const SecurityId& id) {
    return id.inXmaster() ? kXmasterDataExtension : "DAT";
}

namespace {

bool XmasterRecordMatches(const MasterRecord& record, std::string_view key) {
    return MasterRecordMatches(record, key) ||
           (!record.longName.empty() && EqualNoCase(record.longName, key));
}

DataStatus FindSymbolAt(std::string_view startDir, std::string_view key, MasterRecord& record,
                        std::string& directory, int& foundPosition, IndexFile& foundIndex) {
    std::string path = WithTrailingSeparator(std::string(startDir));
    if (path.size() > kMaxDirectoryPath) return kFileNotFound;

    // Per level: the record position to resume at (0 = not yet visited) and the
    // directory's identity, so a sub-directory entry that leads back is not followed.
    std::vector<int> position{0};
    std::vector<fs::path> identity{CanonicalDirectory(path)};
    std::vector<std::size_t> pathLength{path.size()};
    std::uint8_t header[kMasterRecordSize];
    MasterRecord current;

    for (;;) {
        const std::size_t level = position.size() - 1;
        int count = 0;
        InputFile in(FindNoCase(DirectoryPath(path), "MASTER"));
        bool finished = false;
        if (!in.isOpen() || !in.read(header, sizeof header)) {
            position[level] = 1;
            finished = true;
        } else {
            count = MasterCount(header);
            if (count < 0) count = 0;
        }

        if (!finished && position[level] == 0) {
            // First visit: compare every ordinary entry, note the first sub-directory.
            for (int r = 1; r <= count; ++r) {
                if (!in.read(current.bytes.data(), kMasterRecordSize)) {
                    count = 0;
                    position[level] = 1;
                    finished = true;
                    break;
                }
                if (current.isSubdirEntry()) {
                    if (position[level] == 0) position[level] = r;
                } else if (MasterRecordMatches(current, key)) {
                    record = WithIeeeDates(current);
                    directory = path;
                    foundPosition = r;
                    foundIndex = IndexFile::kMaster;
                    return kSuccess;
                }
            }
            if (!finished) {
                // Then the securities only XMASTER lists.
                const ExtIndexFile x = ReadXmasterFile(path);
                for (int k = 1; x.sound() && k <= x.count; ++k) {
                    const MasterRecord candidate =
                        MasterFormOfXmaster(x.record(k, kXmasterRecordSize));
                    if (!XmasterRecordMatches(candidate, key)) continue;
                    record = WithIeeeDates(candidate);
                    directory = path;
                    foundPosition = k;
                    foundIndex = IndexFile::kXMaster;
                    return kSuccess;
                }
            }
            if (!finished && position[level] == 0) position[level] = count + 1;
        }

        bool descended = false;
        if (!finished && position[level] <= count) {
            if (!in.seek(static_cast<std::int64_t>(position[level]) * kMasterRecordSize)) {
                return kFileRead;
            }
            while (position[level] <= count) {
                if (!in.read(current.bytes.data(), kMasterRecordSize)) return kFileRead;
                ++position[level];
                if (!current.isSubdirEntry()) continue;
                const std::string name = current.subdirName();
                if (!IsUsableSubdirName(name) ||
                    level + 1 >= static_cast<std::size_t>(kMaxSubdirDepth)) {
                    continue;
                }
                std::string child = path + name + kPathSeparator;
                if (child.size() > kMaxDirectoryPath) continue;
                const fs::path id = CanonicalDirectory(child);
                if (id.empty()) continue;  // no such directory: nothing to search there
                bool loops = false;
                for (const fs::path& seen : identity) loops = loops || seen == id;
                if (loops) continue;
                path = std::move(child);
                position.push_back(0);
                identity.push_back(id);
                pathLength.push_back(path.size());
                descended = true;
                break;
            }
        }
        if (descended) continue;

        // This directory is finished: go back up to resume the parent's scan.
        if (level == 0) return kFileNotFound;
        position.pop_back();
        identity.pop_back();
        pathLength.pop_back();
        path.resize(pathLength.back());
    }
}

}  // namespace

DataStatus FindSymbol(std::string_view startDir, std::string_view key, MasterRecord& record,
                      std::string& directory) {
    int position = 0;
    IndexFile index = IndexFile::kMaster;
    return FindSymbolAt(startDir, key, record, directory, position, index);
}

DataStatus FindSymbol(std::string_view startDir, std::string_view key, MasterRecord& record,
                      SecurityId& id) {
    SecurityId found;
    const DataStatus s =
        FindSymbolAt(startDir, key, record, found.directory, found.position, found.index);
    if (s != kSuccess) return s;
    found.fileNumber = record.fileNumber();
    id = std::move(found);
    return kSuccess;
}

fs::path MasterPathOf(std::string_view directory) {
    return FindNoCase(directory.empty() ? fs::path(".") : fs::path(std::string(directory)),
                      kMasterFileName);
}

MasterFile ReadMasterFile(std::string_view directory, int limit) {
    MasterFile out;
    out.path = MasterPathOf(directory);
    InputFile in(out.path);
    if (!in.isOpen()) {
        out.status = kFileOpen;
        return out;
    }
    if (!in.read(out.header.data(), kMasterRecordSize)) {
        out.status = kFileRead;
        return out;
    }
    out.headerCount = MasterCount(out.header.data());
    const std::string dir = WithTrailingSeparator(std::string(directory));
    // The records as read, for the check of EMASTER.
    std::vector<std::uint8_t> bytes(out.header.begin(), out.header.end());
    MasterEntry entry;
    for (int position = 1;; ++position) {
        if (!in.read(entry.record.bytes.data(), kMasterRecordSize)) break;
        ++out.recordsInFile;
        bytes.insert(bytes.end(), entry.record.bytes.begin(), entry.record.bytes.end());
        if (limit >= 0 && static_cast<int>(out.entries.size()) >= limit) continue;
        entry.id = SecurityId{IndexFile::kMaster, dir, position, entry.record.fileNumber()};
        out.entries.push_back(entry);
    }
    if (in.failed()) {
        out.status = kFileRead;
        return out;
    }
    out.masterEntries = static_cast<int>(out.entries.size());

    const ExtIndexFile e = EmasterForNames(directory, bytes);
    // A backup standing in for EMASTER gives the names; EMASTER itself is not kept up to
    // date until a writer has put it back in agreement.
    out.emaster = e.sound() && e.path.extension() == ".BAK" ? ExtIndexState::kUnusable : e.state;
    if (e.sound()) {
        for (MasterEntry& m : out.entries) {
            if (m.id.position > e.count) break;  // records after MASTER's count have no twin
            const std::string name = EmasterName(e.record(m.id.position, kEmasterRecordSize));
            if (name.size() > kMasterNameSize) m.record.longName = name;
        }
    } else if (e.state == ExtIndexState::kUnusable) {
        out.indexWarning += e.path.filename().string() + " " + e.problem + "; MASTER is used.";
    }
    const ExtIndexFile x = ReadXmasterFile(directory);
    out.xmaster = x.state;
    if (x.state == ExtIndexState::kUnusable) {
        if (!out.indexWarning.empty()) out.indexWarning += '\n';
        out.indexWarning +=
            x.path.filename().string() + " " + x.problem + "; its securities are not shown.";
    }
    for (int k = 1; x.sound() && limit != 0 && k <= x.count; ++k) {
        entry.record = MasterFormOfXmaster(x.record(k, kXmasterRecordSize));
        entry.id = SecurityId{IndexFile::kXMaster, dir, k, entry.record.fileNumber()};
        out.entries.push_back(entry);
    }
    return out;
}

DataStatus ReadMasterEntry(const SecurityId& id, MasterRecord& record) {
    if (id.position < 1) return kFileNotFound;
    if (id.inXmaster()) {
        const ExtIndexFile x = ReadXmasterFile(id.directory);
        if (x.state == ExtIndexState::kAbsent) return kFileNotFound;
        if (!x.sound()) return x.bytes.empty() ? kFileOpen : kFileRead;
        if (id.position > x.count) return kFileNotFound;
        MasterRecord found = MasterFormOfXmaster(x.record(id.position, kXmasterRecordSize));
        if (found.fileNumber() != id.fileNumber) return kFileNotFound;
        record = std::move(found);
        return kSuccess;
    }
    InputFile in(MasterPathOf(id.directory));
    if (!in.isOpen()) return kFileOpen;
    std::uint8_t header[kMasterRecordSize];
    if (!in.read(header, sizeof header)) return kFileRead;
    if (id.position > MasterCount(header)) return kFileNotFound;
    MasterRecord found;
    if (!in.seek(static_cast<std::int64_t>(id.position) * kMasterRecordSize) ||
        !in.read(found.bytes.data(), kMasterRecordSize)) {
        return in.failed() ? kFileRead : kFileNotFound;
    }
    if (found.fileNumber() != id.fileNumber || found.isSubdirEntry()) return kFileNotFound;
    // The whole name, when a sound EMASTER holds one.
    const fs::path emasterPath = FindNoCase(DirectoryPath(id.directory), kEmasterFileName);
    std::error_code ec;
    if (fs::exists(emasterPath, ec)) {
        if (const auto master = ReadWholeFile(MasterPathOf(id.directory))) {
            const ExtIndexFile e = EmasterForNames(id.directory, *master);
            const std::string name = e.sound() && id.position <= e.count
                                         ? EmasterName(e.record(id.position, kEmasterRecordSize))
                                         : std::string();
            if (name.size() > kMasterNameSize) found.longName = name;
        }
    }
    record = found;
    return kSuccess;
}

namespace {

void PutPadded(std::uint8_t* dst, std::string_view text) {
    std::memset(dst, ' ', 16);
    if (!text.empty()) std::memcpy(dst, text.data(), std::min<std::size_t>(16, text.size()));
}

// The EMASTER record that pairs with the MASTER record at byte offset `masterAt`; null
// when no EMASTER is kept.
std::uint8_t* EmasterRecordAt(IndexContents& c, std::size_t masterAt) {
    if (c.emaster.empty()) return nullptr;
    const std::size_t k = masterAt / kMasterRecordSize;
    const std::size_t at = k * kEmasterRecordSize;
    return at + kEmasterRecordSize <= c.emaster.size() ? c.emaster.data() + at : nullptr;
}

// A date of a MASTER record (MBF date real) written into its EMASTER record too.
void SetEmasterDate(std::uint8_t* e, const MbfBytes& dateReal, bool first) {
    const float real = MbfToFloat(dateReal.data());
    PutIeeeFloat(e + (first ? kEmasterFirstDateOffset : kEmasterLastDateOffset), real);
    if (first) {
        const std::int32_t ymd = YmdFromDateReal(real);
        PutI32(e + kEmasterFirstDateIntOffset, ymd != 0 ? ymd : kNoIndexDate);
    }
}

void SetXmasterDate(std::uint8_t* x, const MbfBytes& dateReal, bool first) {
    PutI32(x + (first ? kXmasterFirstDateOffset : kXmasterLastDateOffset),
           YmdFromDateReal(MbfToFloat(dateReal.data())));
}

// How the entries of a directory are changed: the MASTER record with its EMASTER twin, or
// an XMASTER record.
struct EntryChange {
    std::function<void(std::uint8_t* master, std::uint8_t* emaster)> master;
    std::function<void(std::uint8_t* xmaster)> xmaster;
};

// Changes every MASTER entry with the file number (and its EMASTER record).
DataStatus RewriteByFileNumber(const fs::path& masterPath, int fileNumber, FileSystem& fsys,
                               const EntryChange& change) {
    return RewriteIndexFiles(
        masterPath,
        [&](IndexContents& c) {
            // Whole records after the header; a trailing partial record is kept as it is.
            for (std::size_t off = kMasterRecordSize; off + kMasterRecordSize <= c.master.size();
                 off += kMasterRecordSize) {
                if (c.master[off + kMasterFileNumberOffset] == fileNumber)
                    change.master(c.master.data() + off, EmasterRecordAt(c, off));
            }
            return kSuccess;
        },
        fsys);
}

// Changes the one entry the identity names in index contents held in memory; kFileNotFound
// when it is not there.
DataStatus ChangeEntryIn(IndexContents& c, const SecurityId& id, const EntryChange& change) {
    if (id.position < 1) return kFileNotFound;
    if (id.inXmaster()) {
        if (c.xmaster.empty()) return kFileNotFound;
        const std::size_t off = static_cast<std::size_t>(id.position) * kXmasterRecordSize;
        if (off + kXmasterRecordSize > c.xmaster.size()) return kFileNotFound;
        if (DecodeXmasterRecord(c.xmaster.data() + off).fileNumber != id.fileNumber)
            return kFileNotFound;
        change.xmaster(c.xmaster.data() + off);
        return kSuccess;
    }
    const std::size_t off = static_cast<std::size_t>(id.position) * kMasterRecordSize;
    if (off + kMasterRecordSize > c.master.size() || id.position > MasterCount(c.master.data()))
        return kFileNotFound;
    MasterRecord current;
    std::memcpy(current.bytes.data(), c.master.data() + off, kMasterRecordSize);
    if (current.fileNumber() != id.fileNumber || current.isSubdirEntry()) return kFileNotFound;
    change.master(c.master.data() + off, EmasterRecordAt(c, off));
    return kSuccess;
}

// Changes the one entry the identity names; kFileNotFound (nothing written) when it is no
// longer there.
DataStatus RewriteEntry(const SecurityId& id, FileSystem& fsys, const EntryChange& change) {
    if (id.position < 1) return kFileNotFound;
    return RewriteIndexFiles(
        MasterPathOf(id.directory), [&](IndexContents& c) { return ChangeEntryIn(c, id, change); },
        fsys);
}

EntryChange DatesChange(const MbfBytes* first, const MbfBytes* last) {
    EntryChange c;
    c.master = [=](std::uint8_t* m, std::uint8_t* e) {
        if (first) std::memcpy(m + kMasterFirstDateOffset, first->data(), first->size());
        if (last) std::memcpy(m + kMasterLastDateOffset, last->data(), last->size());
        if (e && first) SetEmasterDate(e, *first, true);
        if (e && last) SetEmasterDate(e, *last, false);
    };
    c.xmaster = [=](std::uint8_t* x) {
        if (first) SetXmasterDate(x, *first, true);
        if (last) SetXmasterDate(x, *last, false);
    };
    return c;
}

EntryChange RenameChange(std::string_view symbol, std::string_view name) {
    EntryChange c;
    c.master = [=](std::uint8_t* m, std::uint8_t* e) {
        PutPadded(m + kMasterNameOffset, name.substr(0, kMasterNameSize));
        PutPadded(m + kMasterSymbolOffset, symbol);
        if (!e) return;
        PutZeroPadded(e + kEmasterSymbolOffset, kEmasterSymbolSize, symbol);
        PutZeroPadded(e + kEmasterNameOffset, kEmasterNameSize, name.substr(0, kEmasterNameSize));
        PutZeroPadded(e + kEmasterLongNameOffset, kEmasterLongNameSize,
                      name.size() > kEmasterNameSize ? name : std::string_view());
    };
    c.xmaster = [=](std::uint8_t* x) {
        PutZeroPadded(x + kXmasterSymbolOffset, kXmasterSymbolSize, symbol);
        PutZeroPadded(x + kXmasterNameOffset, kXmasterNameSize, name);
    };
    return c;
}

// Old content of a file the rewrite replaces, and its new content.
struct PendingIndexFile {
    fs::path path;
    const std::vector<std::uint8_t>* old = nullptr;
    const std::vector<std::uint8_t>* bytes = nullptr;
    std::unique_ptr<SafeRewrite> out;
    bool renamed = false;
};

}  // namespace

void FinishInterruptedIndexRewrite(std::string_view directory, FileSystem& fsys) {
    const fs::path masterPath = MasterPathOf(directory);
    const fs::path dir = DirectoryPath(std::string(directory));
    for (std::string_view suffix : {kMasterTempSuffix, kMasterNewSuffix}) {
        fs::path temporary = masterPath;
        temporary += std::string(suffix);
        std::error_code ec;
        if (!fs::is_regular_file(temporary, ec)) continue;
        // MASTER's backup made of MASTER as it stands: the interrupted rewrite had finished
        // every temporary file (they are all complete before the first backup is made).
        fs::path backup = masterPath;
        backup += std::string(kMasterBackupSuffix);
        const auto master = ReadWholeFile(masterPath);
        const auto kept = ReadWholeFile(backup);
        if (!master || !kept || *master != *kept) continue;
        // No other index file of that rewrite still waits for its rename.
        bool othersWaiting = false;
        for (std::string_view other : {kEmasterFileName, kXmasterFileName}) {
            fs::path waiting = FindNoCase(dir, other);
            waiting += std::string(suffix);
            othersWaiting = othersWaiting || fs::exists(waiting, ec);
        }
        if (othersWaiting) continue;
        const auto now = ReadWholeFile(temporary);
        if (!now || now->size() < kMasterRecordSize) continue;
        // The new MASTER agrees with the EMASTER already in place, or it is not the one.
        const fs::path emasterPath = FindNoCase(dir, kEmasterFileName);
        if (fs::exists(emasterPath, ec)) {
            const auto emaster = ReadWholeFile(emasterPath);
            if (!emaster || !EmasterDisagreement(*emaster, *now).empty()) continue;
        }
        if (fsys.replace(temporary, masterPath)) (void)fsys.syncDirectory(masterPath.parent_path());
        return;
    }
}

DataStatus RewriteIndexFiles(const fs::path& masterPath,
                             const std::function<DataStatus(IndexContents&)>& change,
                             FileSystem& fsys, std::string_view temporarySuffix) {
    const std::string lockDirectory =
        masterPath.has_parent_path() ? masterPath.parent_path().string() : std::string();
    const PortfolioLock lock(lockDirectory);
    if (!lock.held()) return kPortfolioBusy;
    FinishInterruptedIndexRewrite(lockDirectory, fsys);
    const auto oldMaster = ReadWholeFile(masterPath);
    if (!oldMaster) return kFileOpen;
    if (oldMaster->size() < kMasterRecordSize) return kFileRead;
    const std::string directory =
        masterPath.has_parent_path() ? masterPath.parent_path().string() : std::string();
    const ExtIndexFile emaster = ReadEmasterFile(directory, *oldMaster);
    const ExtIndexFile xmaster = ReadXmasterFile(directory);

    IndexContents c;
    c.master = *oldMaster;
    if (emaster.sound()) c.emaster = emaster.bytes;
    if (xmaster.sound()) c.xmaster = xmaster.bytes;
    if (DataStatus s = change(c); s != kSuccess) return s;
    // A kept index file still agrees, or nothing is written.
    if (emaster.sound() && (c.emaster.empty() || !EmasterDisagreement(c.emaster, c.master).empty()))
        return kInvalidParm;
    if (xmaster.sound() && (c.xmaster.empty() || !XmasterProblem(c.xmaster).empty()))
        return kInvalidParm;

    // EMASTER and XMASTER first, MASTER last.
    std::vector<PendingIndexFile> files;
    auto add = [&](const fs::path& path, const std::vector<std::uint8_t>& old,
                   const std::vector<std::uint8_t>& now) {
        if (old == now) return;
        PendingIndexFile f;
        f.path = path;
        f.old = &old;
        f.bytes = &now;
        fs::path temporary = path;
        temporary += std::string(temporarySuffix);
        f.out = std::make_unique<SafeRewrite>(fsys, path, temporary);
        files.push_back(std::move(f));
    };
    if (emaster.sound()) add(emaster.path, emaster.bytes, c.emaster);
    if (xmaster.sound()) add(xmaster.path, xmaster.bytes, c.xmaster);
    add(masterPath, *oldMaster, c.master);
    if (files.empty()) return kSuccess;

    for (PendingIndexFile& f : files) {
        // A read-only index file refuses the whole rewrite before anything is renamed.
        if (const DataStatus s = f.out->open(); s != kSuccess)
            return s == kReadOnly ? kReadOnly : kFileWrite;
        if (f.out->write(*f.bytes) != kSuccess || f.out->finish() != kSuccess)
            return kFileWrite;  // every temporary still open is removed
    }
    for (PendingIndexFile& f : files) {
        fs::path backup = f.path;
        backup += std::string(kMasterBackupSuffix);
        if (KeepBackup(fsys, f.path, backup, *f.old) != kSuccess) return kFileWrite;
    }
    for (PendingIndexFile& f : files) {
        if (f.out->commit() == kSuccess) {
            f.renamed = true;
            continue;
        }
        // Put back what was already renamed: the index files stay as they were. Where one
        // cannot be put back the files no longer agree, and the caller must learn it.
        bool putBack = true;
        for (PendingIndexFile& done : files) {
            if (done.renamed && WriteFileChecked(fsys, done.path, *done.old) != kSuccess)
                putBack = false;
        }
        if (!putBack) return kIndexFilesDisagree;
        return kFileWrite;
    }
    return kSuccess;
}

DataStatus CheckIndexRewrite(const std::string& directory, bool xmaster, std::uintmax_t alsoWritten,
                             FileSystem& fsys, fs::path* atFault) {
    const fs::path dir(directory);
    std::vector<fs::path> holders;
    if (xmaster) {
        holders.push_back(FindNoCase(dir, kXmasterFileName));
    } else {
        holders.push_back(MasterPathOf(directory));
        holders.push_back(FindNoCase(dir, kEmasterFileName));
    }
    if (atFault) *atFault = holders.front();
    std::uintmax_t indexBytes = 0;
    for (const fs::path& p : holders) {
        std::error_code ec;
        const fs::path target = RewriteTarget(p);
        if (!fs::exists(target, ec)) continue;
        if (CheckNotReadOnly(target) != kSuccess) {
            if (atFault) *atFault = p;
            return kReadOnly;
        }
        const std::uintmax_t size = fs::file_size(target, ec);
        if (!ec) indexBytes += 2 * size;
    }
    const DataStatus s = CheckRewritable(fsys, holders.front(), alsoWritten + indexBytes);
    if (s == kFileWrite && atFault) *atFault = RewriteTarget(holders.front()).parent_path();
    return s;
}

DataStatus RewriteMasterFile(const fs::path& masterPath,
                             const std::function<DataStatus(std::vector<std::uint8_t>&)>& change,
                             FileSystem& fsys, std::string_view temporarySuffix) {
    return RewriteIndexFiles(
        masterPath, [&](IndexContents& c) { return change(c.master); }, fsys, temporarySuffix);
}

DataStatus SetEntryDatesIn(IndexContents& contents, const SecurityId& id, const MbfBytes& firstDate,
                           const MbfBytes& lastDate) {
    return ChangeEntryIn(contents, id, DatesChange(&firstDate, &lastDate));
}

DataStatus SetMasterDates(const SecurityId& id, const MbfBytes& firstDate, const MbfBytes& lastDate,
                          FileSystem& fsys) {
    return RewriteEntry(id, fsys, DatesChange(&firstDate, &lastDate));
}

DataStatus SetMasterDate(const SecurityId& id, const MbfBytes& dateReal, int which,
                         FileSystem& fsys) {
    return RewriteEntry(
        id, fsys, which == 0 ? DatesChange(&dateReal, nullptr) : DatesChange(nullptr, &dateReal));
}

DataStatus CheckEntryTexts(const SecurityId& id, std::string_view symbol, std::string_view name) {
    const TextLimits limits = EntryTextLimits(id);
    return symbol.size() > limits.symbol || name.size() > limits.name ? kInvalidParm : kSuccess;
}

TextLimits EntryTextLimits(const SecurityId& id) {
    // EMASTER and XMASTER hold 14 symbol characters and names of up to 45; MASTER alone 16 each.
    bool extended = id.inXmaster();
    if (!extended) {
        const auto master = ReadWholeFile(MasterPathOf(id.directory));
        extended = master && ReadEmasterFile(id.directory, *master).sound();
    }
    return TextLimitsFor(extended);
}

DataStatus RenameMasterEntry(const SecurityId& id, std::string_view symbol, std::string_view name,
                             FileSystem& fsys) {
    if (DataStatus s = CheckEntryTexts(id, symbol, name); s != kSuccess) return s;
    return RewriteEntry(id, fsys, RenameChange(symbol, name));
}

DataStatus SetMasterDate(const fs::path& masterPath, const MbfBytes& dateReal, int fileNumber,
                         int which, FileSystem& fsys) {
    return RewriteByFileNumber(
        masterPath, fileNumber, fsys,
        which == 0 ? DatesChange(&dateReal, nullptr) : DatesChange(nullptr, &dateReal));
}

DataStatus SetMasterDates(const fs::path& masterPath, const MbfBytes& firstDate,
                          const MbfBytes& lastDate, int fileNumber, FileSystem& fsys) {
    return RewriteByFileNumber(masterPath, fileNumber, fsys, DatesChange(&firstDate, &lastDate));
}

DataStatus RenameMasterEntry(const fs::path& masterPath, int fileNumber, std::string_view symbol,
                             std::string_view name, FileSystem& fsys) {
    if (symbol.size() > kMasterSymbolSize || name.size() > kMasterNameSize) return kInvalidParm;
    return RewriteByFileNumber(masterPath, fileNumber, fsys, RenameChange(symbol, name));
}

std::string DisplayText(std::string_view field) {
    std::size_t n = field.size();
    while (n > 0 && (static_cast<unsigned char>(field[n - 1]) <= 0x20 || field[n - 1] == 0x7F)) --n;
    return std::string(field.substr(0, n));
}

std::int16_t CountChar(std::string_view text, char c) {
    std::int16_t n = 0;
    for (char x : text) {
        if (x == '\0') break;
        if (x == c) ++n;
    }
    return n;
}

std::string TrimPadding(std::string_view field) {
    while (!field.empty() && (field.back() == ' ' || field.back() == '\0')) field.remove_suffix(1);
    return std::string(field);
}

int FindNthChar(std::string_view text, char c, int n) {
    int seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == c && ++seen == n) return static_cast<int>(i);
    }
    return -1;
}

MasterRecord WithIeeeDates(MasterRecord record) {
    for (std::size_t off : {kMasterFirstDateOffset, kMasterLastDateOffset}) {
        MbfToIeee(record.bytes.data() + off, record.bytes.data() + off);
    }
    return record;
}

}  // namespace barwise
