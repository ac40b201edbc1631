// The writer lock of a portfolio: one writer at a time changes a portfolio directory.
//
// Every operation that changes a portfolio holds the lock from its first read of what it
// will change to its last rename. Readers do not take it: every change is a rename, so no
// reader sees a torn file.
//
// The lock is an advisory lock on the file BARWISE.LCK inside the portfolio directory
// (found in any letter case, created when missing and never deleted): an open-descriptor
// lock on Linux (a process-wide lock where those are missing), LockFileEx on Windows. The
// system drops it when the holder ends in any way, a kill included, so nothing is left that
// blocks the next writer. Within one process the lock is also kept in a table, so two
// threads exclude each other whatever the system offers, and one thread that holds it may
// take it again (an operation holding it calls another that takes it too).
//
// A writer that finds the portfolio locked waits up to PortfolioLockWait(), then gives up
// with kPortfolioBusy, having written nothing.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "datafiles/fileio.h"
#include "datafiles/status.h"

namespace barwise {

inline constexpr std::string_view kLockFileName = "BARWISE.LCK";

// How long a writer waits for another to finish: 5 seconds, unless set here or through the
// environment variable BARWISE_LOCK_WAIT_MS (read once, when first needed).
std::chrono::milliseconds PortfolioLockWait();
void SetPortfolioLockWait(std::chrono::milliseconds wait);

// Holds the writer lock of one or two portfolio directories for as long as it lives. Two
// directories (a move or copy) are locked in one fixed order, by resolved path, so two
// crossing transfers cannot deadlock; the same directory named twice is locked once.
class PortfolioLock {
public:
    explicit PortfolioLock(std::string_view directory);
    PortfolioLock(std::string_view first, std::string_view second);
    ~PortfolioLock();
    PortfolioLock(const PortfolioLock&) = delete;
    PortfolioLock& operator=(const PortfolioLock&) = delete;

    // kSuccess while held; kPortfolioBusy when another writer kept it past the wait.
    DataStatus status() const { return status_; }
    bool held() const { return status_ == kSuccess; }

    // Whether the calling thread holds the lock of this directory.
    static bool HeldByThisThread(const fs::path& directory);

private:
    void acquire(std::vector<std::string> keys);
    void release();
    std::vector<std::string> keys_;  // resolved directories held, in locking order
    DataStatus status_ = kSuccess;
};

// The name a directory is locked by: its resolved absolute path.
std::string PortfolioLockKey(std::string_view directory);

}  // namespace barwise
