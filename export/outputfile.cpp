#include "export/outputfile.h"

#include <algorithm>
#include <functional>
#include <string_view>
#include <system_error>
#include <vector>

#include "datafiles/ascii.h"
#include "datafiles/portfoliolock.h"

namespace barwise {

// A stream buffer that hands full chunks to a sink; a failed sink fails the stream.
class OutputFile::Buffer : public std::streambuf {
public:
    explicit Buffer(std::function<bool(const char*, std::size_t)> sink)
        : sink_(std::move(sink)), data_(1 << 20) {
        setp(data_.data(), data_.data() + data_.size());
    }
    bool failed() const { return failed_; }

protected:
    int_type overflow(int_type c) override {
        if (!drain()) return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override { return drain() ? 0 : -1; }

private:
    bool drain() {
        if (failed_) return false;
        const auto size = static_cast<std::size_t>(pptr() - pbase());
        if (size > 0 && !sink_(pbase(), size)) failed_ = true;
        setp(data_.data(), data_.data() + data_.size());
        return !failed_;
    }

    std::function<bool(const char*, std::size_t)> sink_;
    std::vector<char> data_;
    bool failed_ = false;
};

fs::path FollowLinks(const fs::path& path) {
    fs::path p = path;
    std::error_code ec;
    for (int i = 0; i < 40 && fs::is_symlink(fs::symlink_status(p, ec)); ++i) {
        const fs::path to = fs::read_symlink(p, ec);
        if (ec) break;
        p = to.is_absolute() ? to : p.parent_path() / to;
    }
    return p;
}

OutputFile::OutputFile(fs::path path) : target_(std::move(path)) {}

OutputFile::~OutputFile() {
    abandon();
}

DataStatus OutputFile::open() {
    std::error_code ec;
    // What the path leads to decides: a device or FIFO is opened by the path itself (so
    // /dev/stdout reaches the open standard output); a regular file is replaced where it is.
    const fs::file_status st = fs::status(target_, ec);
    if (fs::is_directory(st)) return kFileOpen;
    direct_ = fs::exists(st) && !fs::is_regular_file(st);
    if (!direct_) target_ = FollowLinks(target_);
    if (direct_) {
        // Opened without waiting: a FIFO that no program reads from is refused, not waited on.
        device_ = OpenDeviceForWriting(target_);
        if (!device_) return kFileOpen;
        buffer_ = std::make_unique<Buffer>(
            [this](const char* p, std::size_t n) { return device_->write(p, n); });
    } else {
        fs::path temporary = target_;
        temporary += ".part";
        rewrite_ = std::make_unique<SafeRewrite>(RealFileSystem(), target_, temporary);
        if (const DataStatus s = rewrite_->open(); s != kSuccess) {
            rewrite_.reset();
            return s == kReadOnly ? kReadOnly : kFileOpen;
        }
        // A replaced file keeps its permissions.
        if (fs::exists(st)) fs::permissions(temporary, st.permissions(), ec);
        buffer_ = std::make_unique<Buffer>(
            [this](const char* p, std::size_t n) { return rewrite_->write(p, n) == kSuccess; });
    }
    stream_.rdbuf(buffer_.get());
    stream_.clear();
    return kSuccess;
}

DataStatus OutputFile::commit() {
    if (!buffer_) return kFileWrite;
    stream_.flush();
    const bool written = static_cast<bool>(stream_) && !buffer_->failed();
    DataStatus status = kFileWrite;
    if (direct_) {
        // A pipe or a device cannot be synced; closing it reports what is left to report.
        const bool closed = device_->close();
        if (written && closed) status = kSuccess;
    } else if (written) {
        status = rewrite_->commit();
    }
    abandon();
    return status;
}

void OutputFile::abandon() {
    stream_.rdbuf(nullptr);
    buffer_.reset();
    if (rewrite_) rewrite_->abandon();
    rewrite_.reset();
    device_.reset();
}

namespace {

// The names the program gives the files a rewrite leaves beside an index or data file:
// its backup and its temporaries (and the backup's temporaries).
bool IsRewriteSuffix(std::string_view part) {
    return part == "BAK" || part == "NEW" || part == "~NU";
}

bool IsQuoteDataName(const fs::path& path) {
    const std::string name = ToUpperAscii(path.filename().string());
    // The portfolio's writer lock: replacing it would let two writers in at once.
    if (name == kLockFileName) return true;
    std::vector<std::string_view> parts;
    for (std::string_view rest = name;;) {
        const std::size_t dot = rest.find('.');
        parts.push_back(rest.substr(0, dot));
        if (dot == std::string_view::npos) break;
        rest.remove_prefix(dot + 1);
    }
    std::size_t suffixesFrom = 1;
    const std::string_view base = parts[0];
    if (base == "MASTER" || base == "EMASTER" || base == "XMASTER") {
        // The index files, MASTER.BAK, EMASTER.~NU, XMASTER.BAK.NEW, ...
    } else {
        // F<n>.DAT, .DOP, .MWD, .BAK, .NEW and their own backups and temporaries.
        if (base.size() < 2 || base[0] != 'F' ||
            !std::all_of(base.begin() + 1, base.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        if (parts.size() < 2) return false;
        const std::string_view ext = parts[1];
        if (ext != "DAT" && ext != "DOP" && ext != "MWD" && !IsRewriteSuffix(ext)) return false;
        suffixesFrom = 2;
    }
    return std::all_of(parts.begin() + static_cast<std::ptrdiff_t>(suffixesFrom), parts.end(),
                       IsRewriteSuffix);
}

}  // namespace

bool IsQuoteDataFileName(const fs::path& path) {
    return IsQuoteDataName(path) || IsQuoteDataName(FollowLinks(path));
}

}  // namespace barwise
