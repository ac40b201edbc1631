// The drive list and the search of a drive for portfolios (directories holding a MASTER
// file). Qt-free: the main window and barwise-cli call the same functions.
//
// On Windows a drive is a drive letter ("D:"); elsewhere a drive is a mounted volume named
// by its mount point ("/", "/home", "/media/usb").
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace barwise {

struct Drive {
    std::string root;      // start path of a search: "D:" or a mount point such as "/home"
    std::string listText;  // the drive-list entry: "[-d-]" on Windows, the mount point elsewhere
};

// Every mounted, ready, non-pseudo volume ("/" always included), sorted by listText.
std::vector<Drive> ListDrives();

// The listed drive a path lies on (longest root that is a prefix of it), or nullptr.
const Drive* DriveOfPath(std::string_view path, const std::vector<Drive>& drives);

struct SearchOptions {
    bool limit = false;          // apply the filter
    std::string filterKeyUpper;  // the filter path in upper case
    // Roots of other listed volumes: the search does not descend into them.
    std::vector<std::string> otherVolumeRoots;
};

// Called while a search runs: once per directory visited, and once per portfolio found
// with the count so far; `cancelled` is asked before each directory, and a true answer
// ends the search there. Any of them may be empty.
struct SearchObserver {
    std::function<void(const std::string& path)> visiting;
    std::function<void(int foundCount)> found;
    std::function<bool()> cancelled;
};

// Appends every portfolio at or below `path` (no trailing separator, except a bare "/")
// to `results`, depth-first, subdirectories in the reverse of the order the system lists
// them. Entries beginning with "." are skipped; the filter applies below the start path.
// Never entered: the mount points of pseudo file systems (/proc, /sys, /dev, ...),
// options.otherVolumeRoots, and symbolic links to directories.
// False when the observer cancelled the search; `results` then holds what was found
// until then.
bool SearchDirectory(const std::string& path, std::vector<std::string>& results,
                     const SearchOptions& options, const SearchObserver& observer = {});

// The portfolios of a drive, in the order the portfolio list shows them (ascending,
// ignoring letter case).
std::vector<std::string> SortPortfolios(std::vector<std::string> portfolios);

// ----- added for callers that start a search somewhere other than a drive root -----

// Every mount point of the system, pseudo file systems included (empty on Windows).
std::vector<std::string> AllMountPoints();

// Options for a search from `start` that stays on the volume `start` lies on: every other
// mount point (listed volumes and pseudo file systems such as /proc alike) is excluded.
SearchOptions VolumeSearchOptions(std::string_view start, bool limit, std::string filterKeyUpper);

// A directory text as the search uses it: absolute, no trailing separator except for the
// bare root "/" (or the bare drive "D:" on Windows).
std::string NormalizeSearchRoot(std::string_view path);

// The case-insensitive order of the portfolio list (ASCII letters folded to lower case),
// ties broken by the plain byte order.
bool PortfolioLess(std::string_view a, std::string_view b);

}  // namespace barwise
