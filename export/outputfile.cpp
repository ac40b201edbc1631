#include "export/outputfile.h"

#include <algorithm>
#include <functional>
#include <system_error>

#include "datafiles/ascii.h"

namespace barwise {

// A stream buffer that hands full chunks to a sink; a failed sink fails the stream.
class OutputFile::Buffer : public std::streambuf {
public:
    explicit Buffer(std::function<bool(const char*, std::size_t)> sink) : sink_(std::move(sink)), data_(1 << 20) {
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

OutputFile::~OutputFile() { abandon(); }

DataStatus OutputFile::open() {
    std::error_code ec;
    // What the path leads to decides: a device or FIFO is opened by the path itself (so
    // /dev/stdout reaches the open standard output); a regular file is replaced where it is.
    const fs::file_status st = fs::status(target_, ec);
    if (fs::is_directory(st)) return kFileOpen;
    direct_ = fs::exists(st) && !fs::is_regular_file(st);
    if (!direct_) target_ = FollowLinks(target_);
    if (direct_) {
        device_ = RealFileSystem().create(target_);
        if (!device_) return kFileOpen;
        buffer_ = std::make_unique<Buffer>([this](const char* p, std::size_t n) { return device_->write(p, n); });
    } else {
        fs::path temporary = target_;
        temporary += ".part";
        rewrite_ = std::make_unique<SafeRewrite>(RealFileSystem(), target_, temporary);
        if (rewrite_->open() != kSuccess) {
            rewrite_.reset();
            return kFileOpen;
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

bool IsQuoteDataName(const fs::path& path) {
    std::string name = ToUpperAscii(path.filename().string());
    if (name == "MASTER" || name == "EMASTER" || name == "XMASTER") return true;
    if (name.size() < 6 || name[0] != 'F') return false;
    const std::size_t dot = name.find('.');
    if (dot == std::string::npos || dot < 2) return false;
    if (!std::all_of(name.begin() + 1, name.begin() + static_cast<std::ptrdiff_t>(dot), [](char c) { return c >= '0' && c <= '9'; })) return false;
    const std::string ext = name.substr(dot + 1);
    return ext == "DAT" || ext == "DOP" || ext == "MWD" || ext == "BAK" || ext == "NEW";
}

}  // namespace

bool IsQuoteDataFileName(const fs::path& path) {
    return IsQuoteDataName(path) || IsQuoteDataName(FollowLinks(path));
}

}  // namespace barwise
