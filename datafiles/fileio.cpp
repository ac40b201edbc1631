#include "datafiles/fileio.h"

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "datafiles/ascii.h"
#include "datafiles/portfoliolock.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace barwise {

namespace {}  // namespace

bool IsPathSeparator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

std::string WithTrailingSeparator(std::string dir) {
    if (dir.empty() || IsPathSeparator(dir.back()) || dir.back() == ':') return dir;
    dir.push_back(kPathSeparator);
    return dir;
}

DirectoryIndex::DirectoryIndex(const std::string& directory) : directory_(directory) {
    std::error_code ec;
    const fs::path dir = directory.empty() ? fs::path(".") : fs::path(directory);
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        names_.emplace_back(ToUpperAscii(name), name);
    }
    std::sort(names_.begin(), names_.end());
}

fs::path DirectoryIndex::find(std::string_view name) const {
    const std::string key = ToUpperAscii(name);
    const fs::path dir(directory_);
    // The exact name first, as FindNoCase does; else the first entry in any letter case.
    auto it = std::lower_bound(names_.begin(), names_.end(), std::make_pair(key, std::string()));
    for (auto i = it; i != names_.end() && i->first == key; ++i) {
        if (i->second == name) return dir / i->second;
    }
    if (it != names_.end() && it->first == key) return dir / it->second;
    return dir / std::string(name);
}

bool DirectoryIndex::has(std::string_view name) const {
    const std::string key = ToUpperAscii(name);
    auto it = std::lower_bound(names_.begin(), names_.end(), std::make_pair(key, std::string()));
    return it != names_.end() && it->first == key;
}

fs::path FindNoCase(const fs::path& dir, std::string_view name) {
    const fs::path base = dir.empty() ? fs::path(".") : dir;
    fs::path exact = dir / fs::path(std::string(name));
    std::error_code ec;
    if (fs::exists(exact, ec)) return exact;
#ifndef _WIN32
    for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (EqualNoCase(entry, name)) return dir / it->path().filename();
    }
#endif
    return exact;
}

fs::path SeriesFilePath(std::string_view directory, int fileNumber, std::string_view extension) {
    char number[16];
    std::snprintf(number, sizeof number, "F%d.", fileNumber);
    std::string name(number);
    name.append(extension);
    return FindNoCase(fs::path(std::string(directory)), name);
}

// ----- reading -----

std::FILE* OpenRegularFile(const fs::path& path, bool* notRegular) {
    if (notRegular) *notRegular = false;
#ifdef _WIN32
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (!ec && fs::exists(st) && !fs::is_regular_file(st)) {
        if (notRegular) *notRegular = true;
        return nullptr;
    }
    return _wfopen(path.c_str(), L"rb");
#else
    // Opened without blocking, so a FIFO of that name does not wait for a writer; the type
    // is checked on the open file itself.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (notRegular) *notRegular = true;
        ::close(fd);
        return nullptr;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) ::close(fd);
    return f;
#endif
}

InputFile::InputFile(const fs::path& path) {
    file_.reset(OpenRegularFile(path, &notRegular_));
}

bool InputFile::read(void* buffer, std::size_t size) {
    if (!file_) return false;
    return std::fread(buffer, 1, size, file_.get()) == size;
}

bool InputFile::failed() const {
    return file_ && std::ferror(file_.get()) != 0;
}

bool InputFile::seek(std::int64_t offset) {
    if (!file_ || offset < 0) return false;
#ifdef _WIN32
    return _fseeki64(file_.get(), offset, SEEK_SET) == 0;
#else
    return fseeko(file_.get(), static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

std::int64_t InputFile::size() {
    if (!file_) return -1;
#ifdef _WIN32
    const __int64 here = _ftelli64(file_.get());
    if (_fseeki64(file_.get(), 0, SEEK_END) != 0) return -1;
    const __int64 end = _ftelli64(file_.get());
    _fseeki64(file_.get(), here, SEEK_SET);
    return end;
#else
    struct stat st {};
    if (fstat(fileno(file_.get()), &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
#endif
}

std::size_t InputFile::readSome(void* buffer, std::size_t size) {
    if (!file_) return 0;
    return std::fread(buffer, 1, size, file_.get());
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const fs::path& path) {
    std::vector<std::uint8_t> bytes;
    if (!ReadWholeFileInto(path, bytes)) return std::nullopt;
    return bytes;
}

bool ReadWholeFileInto(const fs::path& path, std::vector<std::uint8_t>& bytes) {
#ifdef _WIN32
    bytes.clear();
    InputFile in(path);
    if (!in.isOpen()) return false;
    const std::int64_t size = in.size();
    if (size > 0) bytes.reserve(static_cast<std::size_t>(size));
    std::uint8_t chunk[65536];
    for (;;) {
        const std::size_t got = in.readSome(chunk, sizeof chunk);
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (got < sizeof chunk) break;
    }
    return !in.failed();
#else
    // Straight to the descriptor: one open, one fstat (the type and the size) and the reads,
    // as cat does; the stream OpenRegularFile builds would add four calls per file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok) {
        // Read to the end, not to the size fstat gave: a file another writer lengthens
        // meanwhile is read as far as it goes.
        // The storage grows only (a resize from empty would zero it all for every file).
        std::size_t have = 0;
        const std::size_t room = static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 0) + 1;
        if (bytes.size() < room) bytes.resize(room);
        for (;;) {
            if (have == bytes.size()) bytes.resize(bytes.size() * 2);
            const ssize_t got = ::read(fd, bytes.data() + have, bytes.size() - have);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) ok = false;
            if (got <= 0) break;
            have += static_cast<std::size_t>(got);
        }
        bytes.resize(have);
    }
    ::close(fd);
    if (!ok) bytes.clear();
    return ok;
#endif
}

// ----- what a rewrite keeps of the file it replaces -----

fs::path RewriteTarget(const fs::path& path) {
    fs::path p = path;
    std::error_code ec;
    for (int i = 0; i < 40 && fs::is_symlink(fs::symlink_status(p, ec)); ++i) {
        const fs::path to = fs::read_symlink(p, ec);
        if (ec || to.empty()) break;
        p = to.is_absolute() ? to : p.parent_path() / to;
    }
    return p;
}

fs::path BesideTarget(const fs::path& named, const fs::path& target, const fs::path& sibling) {
    if (named == target) return sibling;
    const std::string name = named.filename().string();
    const std::string other = sibling.filename().string();
    std::string moved;
    if (other.size() > name.size() && other.compare(0, name.size(), name) == 0) {
        moved = target.filename().string() + other.substr(name.size());  // MASTER.BAK
    } else {
        const std::string stem = named.stem().string();
        const std::string rest =
            other.compare(0, stem.size(), stem) == 0 ? other.substr(stem.size()) : "." + other;
        moved = target.stem().string() + rest;  // F3.BAK
    }
    return target.parent_path() / moved;
}

DataStatus CheckNotReadOnly(const fs::path& path) {
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return kSuccess;
    return (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? kReadOnly : kSuccess;
#else
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return kSuccess;  // not there: nothing to keep
    if ((st.st_mode & 0222) == 0) return kReadOnly;  // even for a process that may write anything
    if (::access(path.c_str(), W_OK) != 0 && (errno == EACCES || errno == EPERM || errno == EROFS))
        return kReadOnly;
    return kSuccess;
#endif
}

bool FileSystem::copyAttributes(const fs::path& from, const fs::path& to) {
#ifdef _WIN32
    const DWORD source = GetFileAttributesW(from.c_str());
    if (source == INVALID_FILE_ATTRIBUTES) return false;
    const DWORD kept = source & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                 FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (kept == 0) return true;
    const DWORD now = GetFileAttributesW(to.c_str());
    return now != INVALID_FILE_ATTRIBUTES && SetFileAttributesW(to.c_str(), now | kept) != 0;
#else
    struct stat st {};
    if (::stat(from.c_str(), &st) != 0) return false;
    struct stat mine {};
    if (::stat(to.c_str(), &mine) != 0) return false;
    // Owner and group first (a change of owner may clear the mode's special bits); a
    // process that may not give the file away may still give it the group.
    if (mine.st_uid != st.st_uid || mine.st_gid != st.st_gid) {
        if (::chown(to.c_str(), st.st_uid, st.st_gid) != 0 && mine.st_gid != st.st_gid)
            (void)::chown(to.c_str(), static_cast<uid_t>(-1), st.st_gid);
    }
    return ::chmod(to.c_str(), st.st_mode & 07777) == 0;
#endif
}

std::optional<std::uintmax_t> FileSystem::freeSpace(const fs::path& directory) {
    std::error_code ec;
    const fs::space_info info = fs::space(directory.empty() ? fs::path(".") : directory, ec);
    if (ec || info.available == static_cast<std::uintmax_t>(-1)) return std::nullopt;
    return info.available;
}

bool FileSystem::syncDirectory(const fs::path& directory) {
#ifdef _WIN32
    (void)directory;
    return true;
#else
    const fs::path dir = directory.empty() ? fs::path(".") : directory;
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
#endif
}

bool FileSystem::directoryWritable(const fs::path& directory) {
    const fs::path dir = directory.empty() ? fs::path(".") : directory;
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(dir.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
#else
    return ::access(dir.c_str(), W_OK | X_OK) == 0;
#endif
}

DataStatus CheckRewritable(FileSystem& fsys, const fs::path& path, std::uintmax_t bytes) {
    const fs::path target = RewriteTarget(path);
    if (DataStatus s = CheckNotReadOnly(target); s != kSuccess) return s;
    const fs::path dir = target.parent_path();
    if (!fsys.directoryWritable(dir)) return kFileWrite;
    if (bytes == 0) return kSuccess;
    // A margin for the file system's own blocks (a few files, each rounded up) and the
    // directory entries.
    constexpr std::uintmax_t kMargin = 16 * 1024;
    const auto available = fsys.freeSpace(dir);
    if (available && *available < bytes + kMargin) return kNoSpace;
    return kSuccess;
}

// ----- the real file system -----

namespace {

#ifdef _WIN32
class RealWritableFile final : public WritableFile {
public:
    explicit RealWritableFile(int fd) : fd_(fd) {}
    ~RealWritableFile() override {
        if (fd_ >= 0) _close(fd_);
    }
    bool write(const void* data, std::size_t size) override {
        const auto* p = static_cast<const char*>(data);
        while (size > 0) {
            const unsigned chunk = size > (1u << 30) ? (1u << 30) : static_cast<unsigned>(size);
            const int n = _write(fd_, p, chunk);
            if (n <= 0) return false;
            p += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }
    bool sync() override { return _commit(fd_) == 0; }
    bool close() override {
        const int fd = fd_;
        fd_ = -1;
        return _close(fd) == 0;
    }

private:
    int fd_;
};
#else
class RealWritableFile final : public WritableFile {
public:
    explicit RealWritableFile(int fd) : fd_(fd) {}
    ~RealWritableFile() override {
        if (fd_ >= 0) ::close(fd_);
    }
    bool write(const void* data, std::size_t size) override {
        const auto* p = static_cast<const std::uint8_t*>(data);
        while (size > 0) {
            const ssize_t n = ::write(fd_, p, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            p += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }
    bool sync() override { return ::fsync(fd_) == 0; }
    bool close() override {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

#endif

bool IsExistingNonRegular(const fs::path& path) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    return !ec && fs::exists(st) && !fs::is_regular_file(st) && !fs::is_directory(st);
}

class RealFileSystemImpl final : public FileSystem {
public:
    std::unique_ptr<WritableFile> create(const fs::path& path) override {
        // A new file only: another writer's file of that name is never truncated. An
        // existing device or pipe (an export to /dev/stdout) is opened as it is.
#ifdef _WIN32
        int fd = _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, 0666);
        if (fd < 0 && errno == EEXIST && IsExistingNonRegular(path))
            fd = _wopen(path.c_str(), _O_WRONLY | _O_BINARY);
#else
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST && IsExistingNonRegular(path))
            fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
#endif
        if (fd < 0) return nullptr;
        return std::make_unique<RealWritableFile>(fd);
    }
    bool replace(const fs::path& from, const fs::path& to) override {
#ifdef _WIN32
        return MoveFileExW(from.c_str(), to.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
        return ::rename(from.c_str(), to.c_str()) == 0;
#endif
    }
    bool remove(const fs::path& path) override {
        std::error_code ec;
        return fs::remove(path, ec) && !ec;
    }
    bool hardLink(const fs::path& existing, const fs::path& linkName) override {
#ifdef _WIN32
        // Not on Windows: while another program holds the file open without delete
        // sharing, a second name of it can be neither renamed over the backup nor removed,
        // so a failed rewrite would leave it behind. The backup is a checked copy there.
        (void)existing;
        (void)linkName;
        return false;
#else
        return ::link(existing.c_str(), linkName.c_str()) == 0;
#endif
    }
};

}  // namespace

std::unique_ptr<WritableFile> OpenDeviceForWriting(const fs::path& path) {
#ifdef _WIN32
    const int fd = _wopen(path.c_str(), _O_WRONLY | _O_BINARY);
#else
    // O_NONBLOCK makes the open of a FIFO without a reader fail (ENXIO) at once instead of
    // waiting for one forever; a reader started just after the program (the other end of
    // a shell pipeline) is given a few seconds. The writes that follow block as usual.
    int fd = -1;
    for (int tries = 0; tries < 300; ++tries) {
        fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd >= 0 || errno != ENXIO) break;
        ::usleep(10 * 1000);
    }
    if (fd >= 0) {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
            ::close(fd);
            return nullptr;
        }
    }
#endif
    if (fd < 0) return nullptr;
    return std::make_unique<RealWritableFile>(fd);
}

FileSystem& RealFileSystem() {
    static RealFileSystemImpl instance;
    return instance;
}

DataStatus WriteFileChecked(FileSystem& fsys, const fs::path& path,
                            std::span<const std::uint8_t> bytes) {
    // Through a temporary sibling too, so a failure never leaves a cut-short file where a
    // complete one (an earlier backup, say) stood.
    fs::path temporary = path;
    temporary += ".NEW";
    SafeRewrite out(fsys, path, temporary);
    if (out.open() != kSuccess) return kFileWrite;
    if (out.write(bytes) != kSuccess) return kFileWrite;
    return out.commit();
}

namespace {

// KeepBackup with the old content given, or (old == nullptr) copied from the target.
DataStatus KeepBackupOf(FileSystem& fsys, const fs::path& named, const fs::path& namedBackup,
                        const std::span<const std::uint8_t>* old) {
    // The backup of a file a link leads to stands beside that file.
    const fs::path target = RewriteTarget(named);
    const fs::path backup = BesideTarget(named, target, namedBackup);
    // The old file itself becomes the backup where it can be linked; a failure after the
    // link is made is a failure of the rewrite, not a reason to copy.
    fs::path linked = backup;
    linked += ".NEW";
    fsys.remove(linked);  // debris of an earlier crash
    if (fsys.hardLink(target, linked)) {
        const bool replaced = fsys.replace(linked, backup);
        if (replaced) (void)fsys.syncDirectory(backup.parent_path());
        // A rename between two names of one file (the backup linked by a rewrite killed
        // before its last step) does nothing and keeps both names.
        fsys.remove(linked);
        return replaced ? kSuccess : kFileWrite;
    }
    // A copy, with the permissions of the file it keeps (a read-only backup is replaced
    // like any other).
    fs::path temporary = backup;
    temporary += ".NEW";
    SafeRewrite out(fsys, backup, temporary);
    out.keepAttributesOf(target);
    if (out.open() != kSuccess) return kFileWrite;
    if (old) {
        if (out.write(*old) != kSuccess) return kFileWrite;
    } else {
        InputFile in(target);
        if (!in.isOpen() || out.writeRest(in) != kSuccess) return kFileWrite;
    }
    return out.commit() == kSuccess ? kSuccess : kFileWrite;
}

// The status a failed open of a rewrite's temporary file passes up: a read-only target
// keeps its own status, every other failure is a failure to write.
DataStatus OpenFailure(DataStatus s) {
    return s == kReadOnly ? kReadOnly : kFileWrite;
}

}  // namespace

DataStatus KeepBackup(FileSystem& fsys, const fs::path& target, const fs::path& backup,
                      std::span<const std::uint8_t> old) {
    return KeepBackupOf(fsys, target, backup, &old);
}

DataStatus KeepBackup(FileSystem& fsys, const fs::path& target, const fs::path& backup) {
    return KeepBackupOf(fsys, target, backup, nullptr);
}

DataStatus ReplaceKeepingBackup(FileSystem& fsys, const fs::path& target, const fs::path& temporary,
                                const fs::path& backup, std::span<const std::uint8_t> bytes,
                                std::span<const std::uint8_t> old, bool* renameFailed) {
    if (renameFailed) *renameFailed = false;
    SafeRewrite out(fsys, target, temporary);
    if (DataStatus s = out.open(); s != kSuccess) return OpenFailure(s);
    if (out.write(bytes) != kSuccess) return kFileWrite;
    if (out.finish() != kSuccess) return kFileWrite;
    if (KeepBackup(fsys, target, backup, old) != kSuccess) return kFileWrite;
    if (out.commit() != kSuccess) {
        if (renameFailed) *renameFailed = out.renameFailed();
        return kFileWrite;
    }
    return kSuccess;
}

DataStatus ReplaceKeepingBackup(FileSystem& fsys, const fs::path& target, const fs::path& temporary,
                                const fs::path& backup, std::span<const std::uint8_t> head,
                                InputFile& rest, bool* renameFailed) {
    if (renameFailed) *renameFailed = false;
    SafeRewrite out(fsys, target, temporary);
    if (DataStatus s = out.open(); s != kSuccess) return OpenFailure(s);
    if (out.write(head) != kSuccess) return kFileWrite;
    if (DataStatus s = out.writeRest(rest); s != kSuccess) return s;
    // All of the old file is read: it is closed before it is kept as the backup and replaced.
    rest.close();
    if (out.finish() != kSuccess) return kFileWrite;
    if (KeepBackup(fsys, target, backup) != kSuccess) return kFileWrite;
    if (out.commit() != kSuccess) {
        if (renameFailed) *renameFailed = out.renameFailed();
        return kFileWrite;
    }
    return kSuccess;
}

DataStatus CopyFileChecked(FileSystem& fsys, const fs::path& from, const fs::path& to) {
    InputFile in(from);
    if (!in.isOpen()) return kFileOpen;
    fs::path temporary = to;
    temporary += ".NEW";
    SafeRewrite out(fsys, to, temporary);
    out.keepAttributesOf(RewriteTarget(from));
    if (DataStatus s = out.open(); s != kSuccess) return OpenFailure(s);
    if (DataStatus s = out.writeRest(in); s != kSuccess) return s == kFileRead ? kFileOpen : s;
    return out.commit();
}

// ----- SafeRewrite -----

SafeRewrite::SafeRewrite(FileSystem& fsys, fs::path target, fs::path temporary)
    : fs_(fsys),
      target_(RewriteTarget(target)),
      temporary_(BesideTarget(target, target_, temporary)) {}

SafeRewrite::~SafeRewrite() {
    if (!done_) abandon();
}

DataStatus SafeRewrite::open() {
    // A new version of a file the user made read-only is refused, as an ordinary save is.
    if (attributesFrom_.empty() && CheckNotReadOnly(target_) != kSuccess) {
        failed_ = true;
        return kReadOnly;
    }
    fs::path dir = temporary_.parent_path();
    if (dir.empty()) dir = ".";
    if (PortfolioLock::HeldByThisThread(dir)) {
        // No other writer of this portfolio is at work: a file of the temporary's name is
        // what an interrupted change left behind.
        fs_.remove(temporary_);
        file_ = fs_.create(temporary_);
    } else {
        // Outside a locked portfolio another writer may be using the name: another one is
        // taken rather than that writer's file truncated or removed.
        file_ = fs_.create(temporary_);
        for (int n = 1; !file_ && n <= 20; ++n) {
            std::error_code ec;
            if (!fs::exists(temporary_, ec)) break;
            fs::path other = temporary_;
            other += "-" + std::to_string(n);
            file_ = fs_.create(other);
            if (file_) temporary_ = std::move(other);
        }
    }
    if (!file_) {
        failed_ = true;
        return kFileOpen;
    }
    // The permissions are the old file's before any data is written, so the new content
    // is never readable by more people than the old.
    const fs::path& from = attributesFrom_.empty() ? target_ : attributesFrom_;
    std::error_code ec;
    if (fs::exists(from, ec)) (void)fs_.copyAttributes(from, temporary_);
    return kSuccess;
}

DataStatus SafeRewrite::writeRest(InputFile& in) {
    std::vector<std::uint8_t> block(256 * 1024);
    for (;;) {
        const std::size_t got = in.readSome(block.data(), block.size());
        if (got > 0 && write(block.data(), got) != kSuccess) return kFileWrite;
        if (got < block.size()) break;
    }
    if (in.failed()) {
        failed_ = true;
        return kFileRead;
    }
    return kSuccess;
}

DataStatus SafeRewrite::write(const void* data, std::size_t size) {
    if (failed_ || !file_) {
        failed_ = true;
        return kFileWrite;
    }
    if (size > 0 && !file_->write(data, size)) {
        failed_ = true;
        return kFileWrite;
    }
    return kSuccess;
}

DataStatus SafeRewrite::finish() {
    if (done_) return failed_ ? kFileWrite : kSuccess;
    if (finished_) return kSuccess;
    if (failed_ || !file_ || !file_->sync() || !file_->close()) {
        failed_ = true;
        abandon();
        return kFileWrite;
    }
    file_.reset();
    finished_ = true;
    return kSuccess;
}

DataStatus SafeRewrite::commit() {
    if (done_) return failed_ ? kFileWrite : kSuccess;
    if (finish() != kSuccess) return kFileWrite;
    if (!fs_.replace(temporary_, target_)) {
        failed_ = true;
        renameFailed_ = true;
        abandon();
        return kFileWrite;
    }
    done_ = true;
    // The rename is on disk only once its directory is; a failure of that sync leaves the
    // new file in place, complete, so it is not a failure of the rewrite.
    (void)fs_.syncDirectory(target_.parent_path());
#ifdef _WIN32
    // A copy of a read-only file is read-only too; the attribute is given only now, as a
    // read-only temporary could be neither replaced nor removed.
    if (!attributesFrom_.empty()) {
        const DWORD from = GetFileAttributesW(attributesFrom_.c_str());
        const DWORD now = GetFileAttributesW(target_.c_str());
        if (from != INVALID_FILE_ATTRIBUTES && now != INVALID_FILE_ATTRIBUTES &&
            (from & FILE_ATTRIBUTE_READONLY))
            (void)SetFileAttributesW(target_.c_str(), now | FILE_ATTRIBUTE_READONLY);
    }
#endif
    return kSuccess;
}

void SafeRewrite::abandon() {
    file_.reset();
    if (!done_) fs_.remove(temporary_);
    done_ = true;
}

}  // namespace barwise
