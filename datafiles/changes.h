// What a writing operation changed on disk, and how to put it back.
//
// Every writing operation (a quote rewrite, an index rewrite, a symbol delete, move, copy or
// rename, a repair) does all its writing through a FileSystem. Run it through RecordChanges
// and it returns, beside its status, the files it created, replaced and removed, each with
// what it held before. The list is made by comparing each file the operation touched with
// what it held when first touched, so a temporary that came and went is not in it, and
// after a failure it names what the failure left changed (nothing, or a backup made before
// the step that failed, say). UndoChanges puts every file back byte for byte.
//
// Only regular files are recorded (an export to a device or a pipe is not a change of a
// portfolio), and the portfolio's lock file, made outside the FileSystem, is not either.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "datafiles/fileio.h"
#include "datafiles/status.h"

namespace barwise {

struct FileChange {
    enum class Kind : std::uint8_t { kCreated, kReplaced, kRemoved };
    Kind kind = Kind::kReplaced;
    fs::path path;                     // the file itself (links already followed)
    std::vector<std::uint8_t> before;  // its content before (kReplaced, kRemoved)
    std::vector<std::uint8_t> after;   // its content after (kCreated, kReplaced)
};

// In the order the operation first touched the files.
using ChangeList = std::vector<FileChange>;

// What an operation returns when asked for its changes.
struct ChangeResult {
    DataStatus status = kSuccess;
    ChangeList changes;
};

// A FileSystem that passes every call to another and notes, at the first create, replace,
// remove or link of each file, what that file held. changes() then tells which of them
// differ now.
class RecordingFileSystem final : public FileSystem {
public:
    explicit RecordingFileSystem(FileSystem& inner) : inner_(inner) {}

    std::unique_ptr<WritableFile> create(const fs::path& path) override;
    bool replace(const fs::path& from, const fs::path& to) override;
    bool remove(const fs::path& path) override;
    bool hardLink(const fs::path& existing, const fs::path& linkName) override;
    bool copyAttributes(const fs::path& from, const fs::path& to) override;
    std::optional<std::uintmax_t> freeSpace(const fs::path& directory) override;
    bool directoryWritable(const fs::path& directory) override;
    bool syncDirectory(const fs::path& directory) override;

    // The files that differ from what they held when first touched.
    ChangeList changes() const;

private:
    struct Seen {
        fs::path path;
        bool existed = false;
        bool regular = true;  // false: a device, a pipe or a directory, never recorded
        std::vector<std::uint8_t> bytes;
    };
    void note(const fs::path& path);

    FileSystem& inner_;
    std::vector<Seen> seen_;
    std::unordered_map<std::string, std::size_t> index_;  // seen_ by the path's text
};

// Runs `op` (a callable taking a FileSystem& and returning a DataStatus) on a recording of
// `fs` and returns its status with its changes.
template <class Op>
ChangeResult RecordChanges(FileSystem& fs, Op&& op) {
    RecordingFileSystem recording(fs);
    ChangeResult result;
    result.status = std::forward<Op>(op)(static_cast<FileSystem&>(recording));
    result.changes = recording.changes();
    return result;
}

// Puts every file of `changes` back as it was, last change first: a created file is
// removed, a replaced or removed one written again with its old content (through a
// temporary, as every rewrite). Holds the writer lock of the directories concerned.
// kPortfolioBusy when another writer holds one of them (nothing done), kFileWrite when a
// file could not be put back (the others still are).
[[nodiscard]] DataStatus UndoChanges(const ChangeList& changes, FileSystem& fs = RealFileSystem());

}  // namespace barwise
