#include "robustness/faultyfs.h"

#include <algorithm>
#include <iterator>

namespace barwise::robustness {

namespace {

class FaultyFile final : public WritableFile {
public:
    FaultyFile(FaultyFileSystem& owner, fs::path path, std::unique_ptr<WritableFile> real)
        : owner_(owner), path_(std::move(path)), real_(std::move(real)) {}

    bool write(const void* data, std::size_t size) override {
        if (owner_.hit(Step::kWrite, path_)) {
            (void)real_->write(data, size / 2);
            return false;
        }
        const std::size_t room = owner_.admit(size, path_);
        if (room < size) {
            if (room > 0) (void)real_->write(data, room);
            return false;
        }
        return real_->write(data, size);
    }
    bool sync() override {
        if (owner_.hit(Step::kSync, path_)) return false;
        if (!real_->sync()) return false;
        owner_.synced(path_);
        return true;
    }
    bool close() override {
        // A close that fails has still released the file, as on POSIX systems.
        const bool fail = owner_.hit(Step::kClose, path_);
        return real_->close() && !fail;
    }

private:
    FaultyFileSystem& owner_;
    fs::path path_;
    std::unique_ptr<WritableFile> real_;
};

}  // namespace

const char* StepName(Step step) {
    static constexpr const char* kNames[] = {"create",  "write",         "sync",   "close",
                                             "replace", "syncDirectory", "remove", "link"};
    static_assert(std::size(kNames) == kStepCount);
    return kNames[static_cast<std::size_t>(step)];
}

bool FaultyFileSystem::hit(Step step, const fs::path& path) {
    const int n = ++counts_[static_cast<std::size_t>(step)];
    if (fired_ || step != failStep_) return false;
    if (failName_.empty() ? (failAt_ == 0 || n != failAt_)
                          : !path.filename().string().starts_with(failName_))
        return false;
    fired_ = true;
    firedPath_ = path;
    if (onFire) onFire();
    return true;
}

std::optional<std::uintmax_t> FaultyFileSystem::freeSpace(const fs::path& directory) {
    if (limited_) return byteBudget_ - written_;
    return RealFileSystem().freeSpace(directory);
}

std::size_t FaultyFileSystem::admit(std::size_t size, const fs::path& path) {
    largestWrite_ = std::max(largestWrite_, size);
    std::size_t room = size;
    if (limited_ && written_ + size > byteBudget_) {
        room = static_cast<std::size_t>(byteBudget_ - written_);
        if (!fired_) {
            fired_ = true;
            firedPath_ = path;
        }
    }
    written_ += room;
    return room;
}

std::unique_ptr<WritableFile> FaultyFileSystem::create(const fs::path& path) {
    if (hit(Step::kCreate, path)) return nullptr;
    auto real = RealFileSystem().create(path);
    if (!real) return nullptr;
    created_.insert(path);
    synced_.erase(path);
    return std::make_unique<FaultyFile>(*this, path, std::move(real));
}

bool FaultyFileSystem::replace(const fs::path& from, const fs::path& to) {
    if (hit(Step::kReplace, to)) return false;
    if (created_.count(from) != 0 && synced_.count(from) == 0) ++unsyncedRenames_;
    if (!RealFileSystem().replace(from, to)) return false;
    renamedIn_.insert(to.parent_path());
    return true;
}

bool FaultyFileSystem::syncDirectory(const fs::path& directory) {
    if (hit(Step::kSyncDirectory, directory)) return false;
    if (!RealFileSystem().syncDirectory(directory)) return false;
    renamedIn_.erase(directory);
    return true;
}

bool FaultyFileSystem::remove(const fs::path& path) {
    if (hit(Step::kRemove, path)) return false;
    return RealFileSystem().remove(path);
}

bool FaultyFileSystem::hardLink(const fs::path& existing, const fs::path& linkName) {
    if (hit(Step::kLink, linkName)) return false;
    return RealFileSystem().hardLink(existing, linkName);
}

}  // namespace barwise::robustness
