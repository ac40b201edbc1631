#include "datafiles/portfoliolock.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

#include "datafiles/ascii.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#endif

namespace barwise {

namespace {

constexpr std::chrono::milliseconds kDefaultWait{5000};

std::chrono::milliseconds WaitFromEnvironment() {
    const char* text = std::getenv("BARWISE_LOCK_WAIT_MS");
    if (text == nullptr || *text == '\0') return kDefaultWait;
    long long ms = 0;
    const char* end = text + std::strlen(text);
    const auto [ptr, ec] = std::from_chars(text, end, ms);
    if (ec != std::errc() || ptr != end || ms < 0) return kDefaultWait;
    return std::chrono::milliseconds(ms);
}

std::atomic<long long>& WaitSetting() {
    static std::atomic<long long> wait{WaitFromEnvironment().count()};
    return wait;
}

#ifdef _WIN32
using Handle = HANDLE;
const Handle kNoHandle = INVALID_HANDLE_VALUE;
#else
using Handle = int;
constexpr Handle kNoHandle = -1;
#endif

// The locks this process holds, by directory: which thread holds each and how often.
struct Holder {
    std::thread::id owner;
    int count = 0;
    Handle handle = kNoHandle;  // the locked lock file; kNoHandle when none could be made
};

struct Table {
    std::mutex mutex;
    std::condition_variable released;
    std::map<std::string, Holder> holders;
};

Table& Locks() {
    static Table table;
    return table;
}

// Opens (creating it when missing) the lock file of a directory; kNoHandle when it cannot be
// made there. Such a directory cannot be changed either (every rewrite makes a temporary
// file beside the one it replaces), so the writer goes on and its own checks refuse.
Handle OpenLockFile(const std::string& directory) {
    const fs::path path = FindNoCase(fs::path(directory), kLockFileName);
#ifdef _WIN32
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
#else
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
#endif
}

enum class Attempt { kLocked, kBusy, kUnsupported };

#ifdef _WIN32
Attempt TryLock(Handle h) {
    OVERLAPPED at{};
    if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                   &at))
        return Attempt::kLocked;
    const DWORD error = GetLastError();
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_SHARING_VIOLATION ||
        error == ERROR_IO_PENDING)
        return Attempt::kBusy;
    return Attempt::kUnsupported;
}

void Unlock(Handle h) {
    OVERLAPPED at{};
    UnlockFileEx(h, 0, MAXDWORD, MAXDWORD, &at);
    CloseHandle(h);
}
#else
// Open-descriptor locks belong to the open file, not to the process: a second descriptor of
// the lock file (a thread of this process, a reader that opens and closes it) neither shares
// nor drops them. Where the system has none, process locks are used.
std::atomic<bool> gNoOfdLocks{false};

Attempt TryLock(Handle fd) {
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;
    for (;;) {
        int r = -1;
#ifdef F_OFD_SETLK
        if (!gNoOfdLocks.load()) {
            r = ::fcntl(fd, F_OFD_SETLK, &fl);
            if (r != 0 && errno == EINVAL) {
                gNoOfdLocks.store(true);
                continue;
            }
        } else {
            r = ::fcntl(fd, F_SETLK, &fl);
        }
#else
        r = ::fcntl(fd, F_SETLK, &fl);
#endif
        if (r == 0) return Attempt::kLocked;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EACCES) return Attempt::kBusy;
        // ENOLCK and the like: a file system that keeps no locks.
        return Attempt::kUnsupported;
    }
}

void Unlock(Handle fd) {
    // Closing the descriptor drops the lock (of either kind).
    ::close(fd);
}
#endif

void CloseUnlocked(Handle h) {
    if (h == kNoHandle) return;
#ifdef _WIN32
    CloseHandle(h);
#else
    ::close(h);
#endif
}

// Takes one directory's lock for this thread, waiting until the deadline at most.
bool AcquireOne(const std::string& key, std::chrono::steady_clock::time_point deadline) {
    Table& t = Locks();
    const std::thread::id me = std::this_thread::get_id();
    std::unique_lock<std::mutex> guard(t.mutex);
    for (;;) {
        const auto it = t.holders.find(key);
        if (it == t.holders.end()) break;
        if (it->second.owner == me) {
            ++it->second.count;
            return true;
        }
        if (t.released.wait_until(guard, deadline) == std::cv_status::timeout) {
            const auto again = t.holders.find(key);
            if (again == t.holders.end()) break;
            if (again->second.owner == me) {
                ++again->second.count;
                return true;
            }
            return false;
        }
    }
    // Claimed within the process; now the other processes.
    t.holders[key] = Holder{me, 1, kNoHandle};
    guard.unlock();

    Handle h = OpenLockFile(key);
    bool locked = true;
    if (h != kNoHandle) {
        auto pause = std::chrono::milliseconds(2);
        for (;;) {
            const Attempt a = TryLock(h);
            if (a == Attempt::kLocked) break;
            if (a == Attempt::kUnsupported) {
                CloseUnlocked(h);
                h = kNoHandle;
                break;
            }
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline) {
                locked = false;
                break;
            }
            std::this_thread::sleep_for(
                std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
            pause = std::min(pause * 2, std::chrono::milliseconds(25));
        }
    }

    guard.lock();
    if (!locked) {
        CloseUnlocked(h);
        t.holders.erase(key);
        t.released.notify_all();
        return false;
    }
    t.holders[key].handle = h;
    return true;
}

void ReleaseOne(const std::string& key) {
    Table& t = Locks();
    std::lock_guard<std::mutex> guard(t.mutex);
    const auto it = t.holders.find(key);
    if (it == t.holders.end() || --it->second.count > 0) return;
    if (it->second.handle != kNoHandle) Unlock(it->second.handle);
    t.holders.erase(it);
    t.released.notify_all();
}

}  // namespace

std::chrono::milliseconds PortfolioLockWait() {
    return std::chrono::milliseconds(WaitSetting().load());
}

void SetPortfolioLockWait(std::chrono::milliseconds wait) {
    WaitSetting().store(wait.count());
}

std::string PortfolioLockKey(std::string_view directory) {
    fs::path dir = directory.empty() ? fs::path(".") : fs::path(std::string(directory));
    std::error_code ec;
    fs::path resolved = fs::weakly_canonical(fs::absolute(dir, ec), ec);
    if (ec || resolved.empty()) resolved = fs::absolute(dir, ec).lexically_normal();
    std::string key = resolved.string();
    while (key.size() > 1 && IsPathSeparator(key.back()) && key[key.size() - 2] != ':')
        key.pop_back();
#ifdef _WIN32
    key = ToUpperAscii(key);  // one directory, whatever letter case it is named in
#endif
    return key;
}

PortfolioLock::PortfolioLock(std::string_view directory) {
    acquire({PortfolioLockKey(directory)});
}

PortfolioLock::PortfolioLock(std::string_view first, std::string_view second) {
    acquire({PortfolioLockKey(first), PortfolioLockKey(second)});
}

PortfolioLock::~PortfolioLock() {
    release();
}

void PortfolioLock::acquire(std::vector<std::string> keys) {
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    const auto deadline = std::chrono::steady_clock::now() + PortfolioLockWait();
    for (const std::string& key : keys) {
        if (!AcquireOne(key, deadline)) {
            release();
            status_ = kPortfolioBusy;
            return;
        }
        keys_.push_back(key);
    }
}

void PortfolioLock::release() {
    for (auto it = keys_.rbegin(); it != keys_.rend(); ++it) ReleaseOne(*it);
    keys_.clear();
}

bool PortfolioLock::HeldByThisThread(const fs::path& directory) {
    const std::string key = PortfolioLockKey(directory.string());
    Table& t = Locks();
    std::lock_guard<std::mutex> guard(t.mutex);
    const auto it = t.holders.find(key);
    return it != t.holders.end() && it->second.owner == std::this_thread::get_id();
}

}  // namespace barwise
