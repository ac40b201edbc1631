// A FileSystem that passes everything to the real one except one chosen step, which fails:
// the n-th create, write, sync, close or replace of a run. A failing write first writes
// half of its bytes, as a disk that fills up does. Without a fault it only counts the steps,
// so a test learns how many of each a rewrite makes and then fails each in turn. Files are
// created as the real file system creates them: new files only, never an existing one
// truncated.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "datafiles/fileio.h"

namespace barwise::robustness {

enum class Step { kCreate, kWrite, kSync, kClose, kReplace, kSyncDirectory, kRemove, kLink };
inline constexpr std::size_t kStepCount = static_cast<std::size_t>(Step::kLink) + 1;
// The steps that put data on disk; a failure of any of them must leave the original intact.
inline constexpr std::array<Step, 5> kWritingSteps = {Step::kCreate, Step::kWrite, Step::kSync,
                                                      Step::kClose, Step::kReplace};
const char* StepName(Step step);

class FaultyFileSystem final : public FileSystem {
public:
    // Counts steps only.
    FaultyFileSystem() = default;
    // Fails the n-th (1-based) occurrence of `step`.
    FaultyFileSystem(Step step, int n) : failStep_(step), failAt_(n) {}
    // Fails the first `step` on a file whose name begins with `fileName` (where the count
    // before it differs between systems, as a backup linked here is copied on Windows).
    FaultyFileSystem(Step step, std::string fileName)
        : failStep_(step), failName_(std::move(fileName)) {}
    // A disk that takes `bytes` bytes in all: the write that would go beyond them writes
    // what still fits and fails.
    static FaultyFileSystem FullAfter(std::uint64_t bytes) {
        FaultyFileSystem f;
        f.byteBudget_ = bytes;
        f.limited_ = true;
        return f;
    }

    std::unique_ptr<WritableFile> create(const fs::path& path) override;
    bool replace(const fs::path& from, const fs::path& to) override;
    bool syncDirectory(const fs::path& directory) override;
    bool remove(const fs::path& path) override;
    // A failing link is a file system without hard links: the rewrite copies instead.
    bool hardLink(const fs::path& existing, const fs::path& linkName) override;
    // A disk that takes a limited number of bytes has that many (less those written) free.
    std::optional<std::uintmax_t> freeSpace(const fs::path& directory) override;

    int count(Step step) const { return counts_[static_cast<std::size_t>(step)]; }
    // Bytes written through this file system, and the most given to one write.
    std::uint64_t bytesWritten() const { return written_; }
    std::size_t largestWrite() const { return largestWrite_; }
    bool fired() const { return fired_; }
    Step failStep() const { return failStep_; }
    // The file the failing step was working on.
    const fs::path& firedPath() const { return firedPath_; }
    // Renames of a file made here that came before the file was synced and closed.
    int unsyncedRenames() const { return unsyncedRenames_; }
    // Directories a rename was made in and not synced since.
    std::size_t directoriesNotSynced() const { return renamedIn_.size(); }
    // Called by the files it hands out once a sync of `path` succeeded.
    void synced(const fs::path& path) { synced_.insert(path); }

    // Called as the fault fires, before the step fails (a crash test ends the process here).
    std::function<void()> onFire;

    // Called by the files it hands out; true when this occurrence is to fail.
    bool hit(Step step, const fs::path& path);
    // Called before a write of `size` bytes; how many of them may be written.
    std::size_t admit(std::size_t size, const fs::path& path);

private:
    std::array<int, kStepCount> counts_{};
    Step failStep_ = Step::kCreate;
    int failAt_ = 0;  // 0: no fault
    std::string failName_;
    bool fired_ = false;
    fs::path firedPath_;
    bool limited_ = false;
    std::uint64_t byteBudget_ = 0;
    std::uint64_t written_ = 0;
    std::size_t largestWrite_ = 0;
    std::set<fs::path> created_, synced_, renamedIn_;
    int unsyncedRenames_ = 0;
};

}  // namespace barwise::robustness
