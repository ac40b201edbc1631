#include "datafiles/changes.h"

#include <algorithm>
#include <system_error>

#include "datafiles/portfoliolock.h"

namespace barwise {

namespace {

// The name a file is known by in the record, so "dir/./F1.DAT" and "dir/F1.DAT" are one.
fs::path Key(const fs::path& path) {
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    if (ec) absolute = path;
    return absolute.lexically_normal();
}

}  // namespace

void RecordingFileSystem::note(const fs::path& path) {
    const fs::path key = Key(path);
    // An import touches thousands of files, each several times: looked up, not searched.
    if (!index_.emplace(key.string(), seen_.size()).second) return;
    Seen s;
    s.path = key;
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(key, ec);
    s.existed = !ec && fs::exists(st);
    if (s.existed) {
        s.regular = fs::is_regular_file(st);
        if (s.regular) {
            auto bytes = ReadWholeFile(key);
            // A file that cannot be read is not one the operation can rewrite either; it
            // is left out rather than recorded with content it may not have had.
            if (bytes)
                s.bytes = std::move(*bytes);
            else
                s.regular = false;
        }
    }
    seen_.push_back(std::move(s));
}

std::unique_ptr<WritableFile> RecordingFileSystem::create(const fs::path& path) {
    note(path);
    return inner_.create(path);
}

bool RecordingFileSystem::replace(const fs::path& from, const fs::path& to) {
    note(from);
    note(to);
    return inner_.replace(from, to);
}

bool RecordingFileSystem::remove(const fs::path& path) {
    note(path);
    return inner_.remove(path);
}

bool RecordingFileSystem::hardLink(const fs::path& existing, const fs::path& linkName) {
    note(linkName);
    return inner_.hardLink(existing, linkName);
}

bool RecordingFileSystem::copyAttributes(const fs::path& from, const fs::path& to) {
    return inner_.copyAttributes(from, to);
}

std::optional<std::uintmax_t> RecordingFileSystem::freeSpace(const fs::path& directory) {
    return inner_.freeSpace(directory);
}

bool RecordingFileSystem::directoryWritable(const fs::path& directory) {
    return inner_.directoryWritable(directory);
}

bool RecordingFileSystem::syncDirectory(const fs::path& directory) {
    return inner_.syncDirectory(directory);
}

ChangeList RecordingFileSystem::changes() const {
    ChangeList list;
    for (const Seen& s : seen_) {
        if (!s.regular) continue;
        std::error_code ec;
        const fs::file_status st = fs::symlink_status(s.path, ec);
        const bool exists = !ec && fs::exists(st);
        if (exists && !fs::is_regular_file(st)) continue;
        FileChange c;
        c.path = s.path;
        if (!s.existed && exists) {
            auto now = ReadWholeFile(s.path);
            if (!now) continue;
            c.kind = FileChange::Kind::kCreated;
            c.after = std::move(*now);
        } else if (s.existed && !exists) {
            c.kind = FileChange::Kind::kRemoved;
            c.before = s.bytes;
        } else if (s.existed && exists) {
            auto now = ReadWholeFile(s.path);
            if (now && *now == s.bytes) continue;
            c.kind = FileChange::Kind::kReplaced;
            c.before = s.bytes;
            if (now) c.after = std::move(*now);
        } else {
            continue;
        }
        list.push_back(std::move(c));
    }
    return list;
}

DataStatus UndoChanges(const ChangeList& changes, FileSystem& fsys) {
    if (changes.empty()) return kSuccess;
    std::vector<std::string> directories;
    for (const FileChange& c : changes) {
        const std::string dir = c.path.parent_path().string();
        if (std::find(directories.begin(), directories.end(), dir) == directories.end())
            directories.push_back(dir);
    }
    const PortfolioLock lock(directories.front(),
                             directories.size() > 1 ? directories[1] : directories.front());
    if (!lock.held()) return kPortfolioBusy;
    DataStatus status = kSuccess;
    for (auto it = changes.rbegin(); it != changes.rend(); ++it) {
        bool ok = true;
        if (it->kind == FileChange::Kind::kCreated) {
            std::error_code ec;
            ok = !fs::exists(fs::symlink_status(it->path, ec)) || fsys.remove(it->path);
        } else {
            ok = WriteFileChecked(fsys, it->path, it->before) == kSuccess;
        }
        if (!ok) status = kFileWrite;
    }
    return status;
}

}  // namespace barwise
