#include "datafiles/master.h"

#include <cstring>
#include <system_error>
#include <vector>

#include "datafiles/ascii.h"

namespace barwise {

namespace {

// A fixed-width text field read as text: it ends at its first NUL.
std::string FieldText(const std::uint8_t* p, std::size_t width) {
    std::size_t n = 0;
    while (n < width && p[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

std::string WithoutTrailingBlanks(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// The directory holding the MASTER file a walk is reading, as a path the system can use.
fs::path DirectoryPath(const std::string& dir) { return dir.empty() ? fs::path(".") : fs::path(dir); }

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

}  // namespace

std::string MasterRecord::nameField() const {
    return std::string(reinterpret_cast<const char*>(bytes.data() + kMasterNameOffset), kMasterNameSize);
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
    return WithoutTrailingBlanks(FieldText(bytes.data() + kMasterNameOffset, kMasterSubdirNameSize));
}

bool MasterRecordMatches(const MasterRecord& record, std::string_view key) {
    const std::string name =
        WithoutTrailingBlanks(FieldText(record.bytes.data() + kMasterNameOffset, kMasterNameSize));
    if (EqualNoCase(name, key)) return true;
    // The symbol part holds as many blank-separated words as the key.
    const int blanksInKey = CountChar(key, ' ');
    std::string symbol = FieldText(record.bytes.data() + kMasterSymbolOffset, kMasterSymbolSize);
    const int cut = FindNthChar(symbol, ' ', blanksInKey + 1);
    if (cut >= 0) symbol.resize(static_cast<std::size_t>(cut));
    return EqualNoCase(symbol, key);
}

namespace {

DataStatus FindSymbolAt(std::string_view startDir, std::string_view key, MasterRecord& record,
                        std::string& directory, int& foundPosition) {
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
                    record = current;
                    for (std::size_t off : {kMasterFirstDateOffset, kMasterLastDateOffset}) {
                        (void)MbfToIeee(record.bytes.data() + off, record.bytes.data() + off);
                    }
                    directory = path;
                    foundPosition = r;
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
                if (!IsUsableSubdirName(name) || level + 1 >= static_cast<std::size_t>(kMaxSubdirDepth)) {
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
    return FindSymbolAt(startDir, key, record, directory, position);
}

DataStatus FindSymbol(std::string_view startDir, std::string_view key, MasterRecord& record,
                      SecurityId& id) {
    SecurityId found;
    const DataStatus s = FindSymbolAt(startDir, key, record, found.directory, found.position);
    if (s != kSuccess) return s;
    found.fileNumber = record.fileNumber();
    id = std::move(found);
    return kSuccess;
}

fs::path MasterPathOf(std::string_view directory) {
    return FindNoCase(directory.empty() ? fs::path(".") : fs::path(std::string(directory)), kMasterFileName);
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
    MasterEntry entry;
    for (int position = 1;; ++position) {
        if (!in.read(entry.record.bytes.data(), kMasterRecordSize)) break;
        ++out.recordsInFile;
        if (limit >= 0 && static_cast<int>(out.entries.size()) >= limit) continue;
        entry.id = SecurityId{IndexFile::kMaster, dir, position, entry.record.fileNumber()};
        out.entries.push_back(entry);
    }
    if (in.failed()) out.status = kFileRead;
    return out;
}

DataStatus ReadMasterEntry(const SecurityId& id, MasterRecord& record) {
    if (id.position < 1) return kFileNotFound;
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
    record = found;
    return kSuccess;
}

namespace {

void PutPadded(std::uint8_t* dst, std::string_view text) {
    std::memset(dst, ' ', 16);
    std::memcpy(dst, text.data(), text.size());
}

// Changes every entry with the file number by `change`.
template <typename Change>
DataStatus RewriteByFileNumber(const fs::path& masterPath, int fileNumber, FileSystem& fsys, Change change) {
    return RewriteMasterFile(
        masterPath,
        [&](std::vector<std::uint8_t>& bytes) {
            // Whole records after the header; a trailing partial record is kept as it is.
            for (std::size_t off = kMasterRecordSize; off + kMasterRecordSize <= bytes.size();
                 off += kMasterRecordSize) {
                if (bytes[off + kMasterFileNumberOffset] == fileNumber) change(bytes.data() + off);
            }
            return kSuccess;
        },
        fsys);
}

// Changes the one entry the identity names; kFileNotFound (nothing written) when it is no
// longer there.
template <typename Change>
DataStatus RewriteEntry(const SecurityId& id, FileSystem& fsys, Change change) {
    if (id.position < 1) return kFileNotFound;
    return RewriteMasterFile(
        MasterPathOf(id.directory),
        [&](std::vector<std::uint8_t>& bytes) {
            const std::size_t off = static_cast<std::size_t>(id.position) * kMasterRecordSize;
            if (off + kMasterRecordSize > bytes.size() || id.position > MasterCount(bytes.data()))
                return kFileNotFound;
            MasterRecord current;
            std::memcpy(current.bytes.data(), bytes.data() + off, kMasterRecordSize);
            if (current.fileNumber() != id.fileNumber || current.isSubdirEntry()) return kFileNotFound;
            change(bytes.data() + off);
            return kSuccess;
        },
        fsys);
}

}  // namespace

DataStatus RewriteMasterFile(const fs::path& masterPath,
                             const std::function<DataStatus(std::vector<std::uint8_t>&)>& change,
                             FileSystem& fsys, std::string_view temporarySuffix) {
    const auto old = ReadWholeFile(masterPath);
    if (!old) return kFileOpen;
    if (old->size() < kMasterRecordSize) return kFileRead;
    std::vector<std::uint8_t> bytes = *old;
    if (DataStatus s = change(bytes); s != kSuccess) return s;

    fs::path backup = masterPath;
    backup += std::string(kMasterBackupSuffix);
    fs::path temporary = masterPath;
    temporary += std::string(temporarySuffix);
    bool renameFailed = false;
    if (ReplaceKeepingBackup(fsys, masterPath, temporary, backup, bytes, *old, &renameFailed) != kSuccess)
        return renameFailed ? DataStatus{1} : kFileWrite;
    return kSuccess;
}

DataStatus SetMasterDates(const SecurityId& id, const MbfBytes& firstDate, const MbfBytes& lastDate,
                          FileSystem& fsys) {
    return RewriteEntry(id, fsys, [&](std::uint8_t* rec) {
        std::memcpy(rec + kMasterFirstDateOffset, firstDate.data(), firstDate.size());
        std::memcpy(rec + kMasterLastDateOffset, lastDate.data(), lastDate.size());
    });
}

DataStatus SetMasterDate(const SecurityId& id, const MbfBytes& dateReal, int which, FileSystem& fsys) {
    const std::size_t offset = which == 0 ? kMasterFirstDateOffset : kMasterLastDateOffset;
    return RewriteEntry(id, fsys, [&](std::uint8_t* rec) {
        std::memcpy(rec + offset, dateReal.data(), dateReal.size());
    });
}

DataStatus RenameMasterEntry(const SecurityId& id, std::string_view symbol, std::string_view name,
                             FileSystem& fsys) {
    if (symbol.size() > kMasterSymbolSize || name.size() > kMasterNameSize) return kInvalidParm;
    return RewriteEntry(id, fsys, [&](std::uint8_t* rec) {
        PutPadded(rec + kMasterNameOffset, name);
        PutPadded(rec + kMasterSymbolOffset, symbol);
    });
}

DataStatus SetMasterDate(const fs::path& masterPath, const MbfBytes& dateReal, int fileNumber,
                         int which, FileSystem& fsys) {
    const std::size_t offset = which == 0 ? kMasterFirstDateOffset : kMasterLastDateOffset;
    return RewriteByFileNumber(masterPath, fileNumber, fsys, [&](std::uint8_t* rec) {
        std::memcpy(rec + offset, dateReal.data(), dateReal.size());
    });
}

DataStatus SetMasterDates(const fs::path& masterPath, const MbfBytes& firstDate,
                          const MbfBytes& lastDate, int fileNumber, FileSystem& fsys) {
    return RewriteByFileNumber(masterPath, fileNumber, fsys, [&](std::uint8_t* rec) {
        std::memcpy(rec + kMasterFirstDateOffset, firstDate.data(), firstDate.size());
        std::memcpy(rec + kMasterLastDateOffset, lastDate.data(), lastDate.size());
    });
}

DataStatus RenameMasterEntry(const fs::path& masterPath, int fileNumber, std::string_view symbol,
                             std::string_view name, FileSystem& fsys) {
    if (symbol.size() > kMasterSymbolSize || name.size() > kMasterNameSize) return kInvalidParm;
    return RewriteByFileNumber(masterPath, fileNumber, fsys, [&](std::uint8_t* rec) {
        PutPadded(rec + kMasterNameOffset, name);
        PutPadded(rec + kMasterSymbolOffset, symbol);
    });
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

void TrimTrailingBlanks(std::string& text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
}

int FindNthChar(std::string_view text, char c, int n) {
    int seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == c && ++seen == n) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace barwise
