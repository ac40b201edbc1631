// Helpers shared by the fuzz targets: one scratch directory per process (made once with
// mkdtemp), files in it rewritten on every run, and a small reader that cuts the fuzzer's
// bytes into the pieces a target needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

namespace barwise::fuzz {

// The per-process scratch directory, with a trailing '/'.
inline const std::string& ScratchDir() {
    static const std::string dir = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/barwise-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        return pattern + "/";
    }();
    return dir;
}

// Writes bytes to a file (created or truncated); aborts when the scratch directory fails,
// since every later run would then test nothing.
inline void WriteBytes(const std::filesystem::path& path, const std::uint8_t* data,
                       std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::perror(path.c_str());
        std::abort();
    }
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
}
inline void WriteBytes(const std::filesystem::path& path, std::string_view bytes) {
    WriteBytes(path, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

inline void RemoveFile(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

// A fuzz-found property violation: print what broke and abort so libFuzzer keeps the input.
[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}
#define BARWISE_FUZZ_CHECK(cond)                   \
    do {                                           \
        if (!(cond)) ::barwise::fuzz::Fail(#cond); \
    } while (0)

// Consumes the fuzzer's bytes front to back. Inputs are laid out as length-prefixed pieces
// so seed files can be built from real files by a script (fuzz/make-seeds.py).
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : p_(data), left_(size) {}

    std::uint8_t byte() {
        if (left_ == 0) return 0;
        --left_;
        return *p_++;
    }
    std::uint16_t u16() {
        const std::uint16_t lo = byte();
        return static_cast<std::uint16_t>(lo | (byte() << 8));
    }
    std::uint32_t u32() {
        const std::uint32_t lo = u16();
        return lo | (static_cast<std::uint32_t>(u16()) << 16);
    }
    // Up to n bytes (fewer when the input ends).
    std::string_view take(std::size_t n) {
        if (n > left_) n = left_;
        std::string_view out(reinterpret_cast<const char*>(p_), n);
        p_ += n;
        left_ -= n;
        return out;
    }
    // A piece preceded by its 16-bit length.
    std::string_view piece() { return take(u16()); }
    std::string_view rest() { return take(left_); }
    std::size_t left() const { return left_; }

private:
    const std::uint8_t* p_;
    std::size_t left_;
};

}  // namespace barwise::fuzz
