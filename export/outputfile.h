// The file a subcommand's -o writes. A regular file (or a new one) is written safely: a
// temporary sibling, every write checked, synced, then renamed over it, so a failed write
// leaves no partial file and an earlier file of that name as it was. A device or a FIFO
// (/dev/null, /dev/stdout, a named pipe) is written directly: renaming a file over it would
// replace the device itself. A symbolic link keeps pointing where it did: the file it leads
// to is the one replaced.
#pragma once

#include <memory>
#include <ostream>
#include <streambuf>
#include <utility>
#include <vector>

#include "datafiles/fileio.h"
#include "datafiles/status.h"

namespace barwise {

class OutputFile {
public:
    explicit OutputFile(fs::path path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // The file that is written: after open(), for a regular file the path with its
    // symbolic links followed.
    const fs::path& target() const { return target_; }
    // True when the target is a device or FIFO, written directly.
    bool direct() const { return direct_; }

    // Opens the output: kFileOpen when it cannot be created, is a directory or is a FIFO
    // that no program reads from; kReadOnly when it is a file the user made read-only.
    [[nodiscard]] DataStatus open();
    // The stream to write to, after open() succeeded.
    std::ostream& stream() { return stream_; }
    // Puts the output in place: kFileWrite when a write, the sync or the rename failed (the
    // temporary file is then removed and the target left as it was).
    [[nodiscard]] DataStatus commit();
    // Drops what was written (a regular file's target stays as it was).
    void abandon();

private:
    class Buffer;
    fs::path target_;
    bool direct_ = false;
    std::unique_ptr<SafeRewrite> rewrite_;
    std::unique_ptr<WritableFile> device_;
    std::unique_ptr<Buffer> buffer_;
    std::ostream stream_{nullptr};
};

// True when the file name (or that of the file a link of that name leads to) is one of a
// portfolio's quote-data files (MASTER, EMASTER, XMASTER, F<n>.DAT, .DOP, .MWD, .BAK, .NEW)
// or a backup or temporary of one (MASTER.BAK, EMASTER.~NU, F<n>.DAT.NEW, ...), which an
// export must never replace.
bool IsQuoteDataFileName(const fs::path& path);

// The path with every symbolic link of its last component followed (at most 40 links); the
// path itself when it is no link.
fs::path FollowLinks(const fs::path& path);

}  // namespace barwise
