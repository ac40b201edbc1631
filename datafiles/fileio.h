// File access shared by every reader and rewrite of quote data.
//
// Reads use ReadFile / InputFile directly. Every write goes through the narrow FileSystem
// interface so tests can make any step fail. A rewrite is done with SafeRewrite:
//   1. the new content goes to a temporary sibling (".NEW"), every write checked;
//   2. the temporary file is flushed and synced, then renamed over the original in one
//      atomic step (POSIX rename, MoveFileExW with REPLACE_EXISTING | WRITE_THROUGH);
//   3. on any failure the temporary file is removed and the original stays as it was.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "datafiles/status.h"

namespace barwise {

namespace fs = std::filesystem;

// ----- names on disk -----

// The path of `name` inside `dir`, matching an existing entry in any letter case
// ("MASTER", "Master", "master"). When none exists, dir / name as given.
fs::path FindNoCase(const fs::path& dir, std::string_view name);

// The names in one directory, to find F<n>.DAT and F<n>.DOP in any letter case without
// listing the directory again for every series (FindNoCase lists it whenever the exact
// name is missing, as it is for every series without a DOP file).
class DirectoryIndex {
public:
    explicit DirectoryIndex(const std::string& directory);
    // The entry of that name in any letter case, or directory + name when there is none.
    fs::path find(std::string_view name) const;
    // True when the listing holds an entry of that name in any letter case.
    bool has(std::string_view name) const;

private:
    std::string directory_;
    std::vector<std::pair<std::string, std::string>> names_;  // upper case, as on disk; sorted
};

// Turns a directory text as the program passes it around (no trailing separator, or a
// bare drive such as "D:" on Windows) into the directory with a trailing separator;
// an empty text stays empty (the current directory).
std::string WithTrailingSeparator(std::string dir);

// The directory separator of this platform.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif
bool IsPathSeparator(char c);

// ----- reading -----

// A file opened for reading; closed when it goes out of scope. Only regular files (or links
// to them) are opened: a directory, a FIFO or a device of that name is not (isOpen() false,
// notRegular() true), so no reader hangs on a pipe or takes a directory for a file.
class InputFile {
public:
    InputFile() = default;
    explicit InputFile(const fs::path& path);
    bool isOpen() const { return file_ != nullptr; }
    bool notRegular() const { return notRegular_; }
    // Reads exactly size bytes; false at end of file or on an error.
    bool read(void* buffer, std::size_t size);
    // Reads up to size bytes; the number read (less at end of file or on an error).
    std::size_t readSome(void* buffer, std::size_t size);
    // True after a read error (not at a mere end of file).
    bool failed() const;
    bool seek(std::int64_t offset);
    // Size of the file in bytes, -1 when unknown.
    std::int64_t size();
    // Lets go of the file (Windows neither replaces nor removes a file that is open).
    void close() { file_.reset(); }

private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    bool notRegular_ = false;
};

// Opens a regular file (or a link to one) for reading in binary mode; nullptr for anything
// else or when it cannot be opened.
std::FILE* OpenRegularFile(const fs::path& path, bool* notRegular = nullptr);

// The whole content of a file, or nothing when it cannot be opened or read.
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const fs::path& path);
// The same into bytes, whose storage is kept from one file to the next (a reader going
// through thousands of files allocates once); false when the file cannot be opened or read.
bool ReadWholeFileInto(const fs::path& path, std::vector<std::uint8_t>& bytes);

// ----- writing -----

class WritableFile {
public:
    virtual ~WritableFile() = default;
    virtual bool write(const void* data, std::size_t size) = 0;
    // Flushes user-space buffers and asks the system to put the data on disk.
    virtual bool sync() = 0;
    virtual bool close() = 0;
};

// What a rewrite needs of the file system. RealFileSystem() is the one the program uses;
// tests substitute one that fails at a chosen step.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Creates a new file for writing; nullptr on failure, and when a file of that name
    // exists (another writer's temporary is never truncated). An existing device or pipe
    // is opened for writing as it is.
    virtual std::unique_ptr<WritableFile> create(const fs::path& path) = 0;
    // Replaces `to` by `from` in one atomic step. The rename is durable only once the
    // directory is synced (syncDirectory), which every caller does next.
    virtual bool replace(const fs::path& from, const fs::path& to) = 0;
    virtual bool remove(const fs::path& path) = 0;
    // Gives the file `existing` the further name `linkName` (a hard link), failing when
    // linkName exists or the file system has no hard links (and always on Windows, where
    // a second name of a file held open elsewhere could not be cleaned up).
    virtual bool hardLink(const fs::path& existing, const fs::path& linkName) = 0;
    // Gives `to` the permissions of `from`, and its owner and group where the process may
    // set them (on Windows its hidden and system attributes); false when the permissions
    // could not be set.
    virtual bool copyAttributes(const fs::path& from, const fs::path& to);
    // Bytes free for new data on the file system that holds `directory`; nothing when that
    // cannot be told.
    virtual std::optional<std::uintmax_t> freeSpace(const fs::path& directory);
    // Whether new files can be made (and renamed) in `directory`.
    virtual bool directoryWritable(const fs::path& directory);
    // Puts the directory's entries (a rename just made in it) on disk; true where the
    // system has nothing to do (Windows renames with write-through).
    virtual bool syncDirectory(const fs::path& directory);
};

FileSystem& RealFileSystem();

// Opens an existing device or FIFO (/dev/null, a named pipe) for writing, as it is: nothing
// created, nothing truncated. The open never waits: a FIFO that no program has open for
// reading gives nullptr, as does anything that cannot be opened.
std::unique_ptr<WritableFile> OpenDeviceForWriting(const fs::path& path);

// ----- what a rewrite keeps of the file it replaces -----
//
// A rewrite replaces the file a name stands for: where the name is a symbolic link, the
// file it leads to is rewritten, with its temporary and its backup beside it, and the link
// stays as it was. The new file keeps the old one's permissions (and owner and group where
// the process may set them). A file the user made read-only is not replaced (kReadOnly).
// A file with further hard links is replaced by a new file under this name: the other names
// keep the old content.

// The file a rewrite of `path` changes: `path`, or the file its symbolic links lead to.
fs::path RewriteTarget(const fs::path& path);

// Where `sibling` (a temporary or backup named after `named`, in its directory) goes when
// `named` leads to `target`: beside the target, named after it ("F3.NEW" for F3.DAT
// leading to ACME.DAT becomes ACME.NEW there; "MASTER.BAK" becomes <target name>.BAK).
// `sibling` itself when `named` is the target.
fs::path BesideTarget(const fs::path& named, const fs::path& target, const fs::path& sibling);

// kReadOnly when the existing file `path` (followed through its links) may not be written:
// no write permission for anyone, no write permission for this process, a read-only file
// system, or the read-only attribute on Windows. kSuccess otherwise, also when it does not
// exist.
[[nodiscard]] DataStatus CheckNotReadOnly(const fs::path& path);

// Whether a rewrite of `path` can go ahead and, where `bytes` is given, whether its file
// system has room for that many new bytes (with a margin): kReadOnly (the file),
// kFileWrite (its directory takes no new files), kNoSpace, or kSuccess. Writes nothing.
[[nodiscard]] DataStatus CheckRewritable(FileSystem& fs, const fs::path& path,
                                         std::uintmax_t bytes = 0);

// Copies a file into `to` (replacing it) through a temporary sibling, one block at a
// time; the copy keeps the permissions of `from`. kFileOpen when `from` cannot be read.
[[nodiscard]] DataStatus CopyFileChecked(FileSystem& fs, const fs::path& from, const fs::path& to);

// Writes bytes as the new content of `path` through a temporary sibling (path + ".NEW"),
// checked, synced and renamed over it; on failure `path` stays as it was.
[[nodiscard]] DataStatus WriteFileChecked(FileSystem& fs, const fs::path& path,
                                          std::span<const std::uint8_t> bytes);

// Keeps `old` (the content of `target` now) as `backup`: the target itself linked to a
// temporary name renamed over the backup where the file system has hard links, else `old`
// written through WriteFileChecked. The previous backup stays whole until the last step.
[[nodiscard]] DataStatus KeepBackup(FileSystem& fs, const fs::path& target, const fs::path& backup,
                                    std::span<const std::uint8_t> old);
// The same where the old content is not at hand: it is copied from `target` block by block.
[[nodiscard]] DataStatus KeepBackup(FileSystem& fs, const fs::path& target, const fs::path& backup);

// Replaces `target` by `bytes` and keeps `old` (its content now) as `backup`, in the order
// that loses nothing: the new content is written completely to `temporary` and synced; then
// the backup is made: where the file system has hard links, the target itself is linked to
// a temporary name renamed over the backup (nothing copied); elsewhere `old` is written
// (through a temporary of its own); only then is the temporary renamed over the target. kFileWrite
// on any failure: before the final rename, target and previous backup are both as they were;
// *renameFailed tells when only the final rename failed.
[[nodiscard]] DataStatus ReplaceKeepingBackup(FileSystem& fs, const fs::path& target,
                                              const fs::path& temporary, const fs::path& backup,
                                              std::span<const std::uint8_t> bytes,
                                              std::span<const std::uint8_t> old,
                                              bool* renameFailed = nullptr);
// The same for a file too large to hold: the new content is `head` followed by what `rest`
// (an open file, usually the target itself) holds from where it stands to its end, copied
// block by block; the old content for a backup copy is read from `target` the same way.
[[nodiscard]] DataStatus ReplaceKeepingBackup(FileSystem& fs, const fs::path& target,
                                              const fs::path& temporary, const fs::path& backup,
                                              std::span<const std::uint8_t> head, InputFile& rest,
                                              bool* renameFailed = nullptr);

// Writes a new version of `target` through a temporary sibling and puts it in place with
// one atomic rename. The temporary file is removed unless commit() succeeded.
class SafeRewrite {
public:
    // Where `target` is a symbolic link, the file it leads to is the target, and the
    // temporary goes beside it (BesideTarget).
    SafeRewrite(FileSystem& fs, fs::path target, fs::path temporary);
    ~SafeRewrite();
    SafeRewrite(const SafeRewrite&) = delete;
    SafeRewrite& operator=(const SafeRewrite&) = delete;

    // The new file takes the permissions of `file` (a copy's source, a backup's original)
    // instead of the target's; the target is then not checked for being read-only.
    void keepAttributesOf(fs::path file) { attributesFrom_ = std::move(file); }
    // The file the rename replaces (links followed).
    const fs::path& target() const { return target_; }

    // Creates the temporary file, a new one, with the permissions of the file it replaces:
    // in a portfolio whose writer lock this thread holds, a leftover of that name (an
    // interrupted change) is removed first; elsewhere a taken name is left alone and the
    // temporary named "<temporary>-<n>". kReadOnly when the file replaced is read-only
    // (nothing created), kFileOpen when the temporary cannot be created.
    [[nodiscard]] DataStatus open();
    // Copies what `in` holds from where it stands to its end, one block at a time;
    // kFileRead when reading fails, kFileWrite when writing does.
    [[nodiscard]] DataStatus writeRest(InputFile& in);
    // kFileWrite when the write fails (later writes fail too).
    [[nodiscard]] DataStatus write(const void* data, std::size_t size);
    [[nodiscard]] DataStatus write(std::span<const std::uint8_t> bytes) {
        return write(bytes.data(), bytes.size());
    }
    // Syncs and closes the temporary file, so it is complete on disk before anything else
    // is written; kFileWrite on failure (the temporary file is then removed).
    [[nodiscard]] DataStatus finish();
    // Finishes (when not done yet) and renames over the target; kFileWrite on any failure
    // (the target is then unchanged and the temporary file removed).
    [[nodiscard]] DataStatus commit();
    // Drops the temporary file; the target stays as it was.
    void abandon();
    // True when everything was written but the final rename failed.
    bool renameFailed() const { return renameFailed_; }

private:
    FileSystem& fs_;
    fs::path target_;
    fs::path temporary_;
    fs::path attributesFrom_;
    std::unique_ptr<WritableFile> file_;
    bool failed_ = false;
    bool done_ = false;
    bool finished_ = false;
    bool renameFailed_ = false;
};

// Little-endian helpers for file bytes.
inline std::int16_t GetI16(const std::uint8_t* p) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}
inline void PutI16(std::uint8_t* p, std::int16_t v) {
    const auto u = static_cast<std::uint16_t>(v);
    p[0] = static_cast<std::uint8_t>(u & 0xFF);
    p[1] = static_cast<std::uint8_t>(u >> 8);
}
inline std::int32_t GetI32(const std::uint8_t* p) {
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
        (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24));
}
inline void PutI32(std::uint8_t* p, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(u >> (8 * i));
}

}  // namespace barwise

namespace barwise {

// The data file "F<n>.<ext>" of a portfolio directory (found in any letter case).
fs::path SeriesFilePath(std::string_view directory, int fileNumber, std::string_view extension);

}  // namespace barwise
