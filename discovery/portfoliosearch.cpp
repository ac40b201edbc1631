#include "discovery/portfoliosearch.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <system_error>

#include "discovery/pathfilter.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace barwise {
namespace {

#ifdef _WIN32
constexpr char kSep = '\\';
#else
constexpr char kSep = '/';
#endif

#ifdef _WIN32
bool IsPathSeparatorChar(char c) {
    return c == '\\' || c == '/';
}
#else
bool IsPathSeparatorChar(char c) {
    return c == '/';
}
#endif

char FoldLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

int CompareNoCase(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(FoldLower(a[i]));
        const auto cb = static_cast<unsigned char>(FoldLower(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return 0;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

std::string JoinPath(const std::string& dir, std::string_view name) {
    std::string child = dir;
    if (child.empty() || child.back() != kSep) child += kSep;
    child += name;
    return child;
}

// True when `path` is `root` or lies below it (whole components).
bool PathStartsWith(std::string_view path, std::string_view root) {
    if (root.empty()) return false;
#ifdef _WIN32
    if (path.size() < root.size() || CompareNoCase(path.substr(0, root.size()), root) != 0)
        return false;
#else
    if (path.substr(0, root.size()) != root) return false;
#endif
    if (path.size() == root.size()) return true;
    return IsPathSeparatorChar(root.back()) || IsPathSeparatorChar(path[root.size()]);
}

struct Listing {
    bool hasMaster = false;
    std::vector<std::string> subdirs;  // in the order the system lists them
};

#ifdef _WIN32
Listing ListDirectory(const std::string& path) {
    Listing listing;
    std::error_code ec;
    std::filesystem::directory_iterator it(std::filesystem::path(path + "\\"), ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        const bool isDir = it->is_directory(typeError);
        if (EqualsNoCase(name, "MASTER") && !isDir) listing.hasMaster = true;
        if (name.empty() || name[0] == '.' || !isDir) continue;
        listing.subdirs.push_back(name);
    }
    return listing;
}
#else
// One pass over the directory gives both the MASTER file (any letter case) and the
// sub-directories. The entry types come from the directory itself where the file system
// gives them, so no file is looked at twice. Symbolic links to directories are not
// followed: they could lead out of the volume or round in a circle.
Listing ListDirectory(const std::string& path) {
    Listing listing;
    DIR* dir = ::opendir(path.empty() ? "." : path.c_str());
    if (dir == nullptr) return listing;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        const bool dot = name[0] == '.';
        const bool masterName = !dot && std::strlen(name) == 6 && EqualsNoCase(name, "MASTER");
        unsigned char type = entry->d_type;
        if (dot && !masterName) continue;
        bool isDir = type == DT_DIR;
        bool isLinkOrUnknown = type == DT_UNKNOWN || type == DT_LNK;
        if (masterName) {
            if (isLinkOrUnknown) {
                struct stat st {};
                // A MASTER that is a link to a file counts; one to a directory does not.
                if (::stat(JoinPath(path, name).c_str(), &st) == 0)
                    listing.hasMaster |= !S_ISDIR(st.st_mode);
            } else if (!isDir) {
                listing.hasMaster = true;
            }
        }
        if (type == DT_UNKNOWN) {
            struct stat st {};
            if (::lstat(JoinPath(path, name).c_str(), &st) == 0) isDir = S_ISDIR(st.st_mode);
        }
        if (isDir) listing.subdirs.emplace_back(name);
    }
    ::closedir(dir);
    return listing;
}
#endif

// False once the observer has cancelled the search.
bool Search(const std::string& path, std::vector<std::string>& results,
            const SearchOptions& options, const SearchObserver& observer,
            const std::set<std::string>& excluded, int& found) {
    if (observer.cancelled && observer.cancelled()) return false;
    if (observer.visiting) observer.visiting(path);
    Listing listing = ListDirectory(path);
    if (listing.hasMaster) {
        results.push_back(path);
        ++found;
        if (observer.found) observer.found(found);
    }
    std::vector<std::string> children;
    children.reserve(listing.subdirs.size());
    for (const std::string& name : listing.subdirs) {
        std::string child = JoinPath(path, name);
        if (PassesSearchFilter(child, options.limit, options.filterKeyUpper))
            children.push_back(std::move(child));
    }
    // Searched from the last listed to the first, as Barwise always has.
    while (!children.empty()) {
        const std::string& child = children.back();
        if (excluded.count(child) == 0 &&
            !Search(child, results, options, observer, excluded, found))
            return false;
        children.pop_back();
    }
    return true;
}

#ifndef _WIN32
// Mount points are written with blanks, tabs, newlines and backslashes as octal escapes.
std::string DecodeMountField(std::string_view field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string_view oct = field.substr(i + 1, 3);
            if (std::all_of(oct.begin(), oct.end(), [](char c) { return c >= '0' && c <= '7'; })) {
                out += static_cast<char>((oct[0] - '0') * 64 + (oct[1] - '0') * 8 + (oct[2] - '0'));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

struct MountEntry {
    std::string mountPoint;
    std::string fsType;
};

std::vector<MountEntry> ReadMounts() {
    std::vector<MountEntry> mounts;
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        // id parent major:minor root mount-point options [optional...] - fstype source super
        std::vector<std::string_view> fields;
        std::string_view rest(line);
        while (!rest.empty()) {
            const std::size_t space = rest.find(' ');
            fields.push_back(rest.substr(0, space));
            if (space == std::string_view::npos) break;
            rest.remove_prefix(space + 1);
        }
        if (fields.size() < 7) continue;
        std::size_t dash = 6;
        while (dash < fields.size() && fields[dash] != "-") ++dash;
        if (dash + 1 >= fields.size()) continue;
        mounts.push_back({DecodeMountField(fields[4]), std::string(fields[dash + 1])});
    }
    return mounts;
}

bool IsPseudoMount(const MountEntry& m) {
    static const std::set<std::string, std::less<>> kPseudo = {
        "proc",        "sysfs",           "devtmpfs",    "devpts",   "cgroup",
        "cgroup2",     "securityfs",      "pstore",      "bpf",      "debugfs",
        "tracefs",     "mqueue",          "hugetlbfs",   "configfs", "fusectl",
        "binfmt_misc", "autofs",          "efivarfs",    "nsfs",     "rpc_pipefs",
        "selinuxfs",   "fuse.gvfsd-fuse", "fuse.portal", "ramfs",    "squashfs"};
    if (kPseudo.count(m.fsType) != 0) return true;
    if (m.fsType == "tmpfs") {
        return PathStartsWith(m.mountPoint, "/run") || PathStartsWith(m.mountPoint, "/dev") ||
               PathStartsWith(m.mountPoint, "/sys") || PathStartsWith(m.mountPoint, "/proc");
    }
    return PathStartsWith(m.mountPoint, "/proc") || PathStartsWith(m.mountPoint, "/sys");
}

bool IsReadyDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(path.c_str(), R_OK | X_OK) == 0;
}
#endif

}  // namespace

std::vector<Drive> ListDrives() {
    std::vector<Drive> drives;
#ifdef _WIN32
    const DWORD mask = ::GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if ((mask & (1u << i)) == 0) continue;
        const char letter = static_cast<char>('A' + i);
        drives.push_back(
            {std::string(1, letter) + ":", std::string("[-") + static_cast<char>('a' + i) + "-]"});
    }
#else
    std::set<std::string> seen;
    for (const MountEntry& m : ReadMounts()) {
        if (IsPseudoMount(m) || !seen.insert(m.mountPoint).second) continue;
        if (m.mountPoint != "/" && !IsReadyDirectory(m.mountPoint)) continue;
        drives.push_back({m.mountPoint, m.mountPoint});
    }
    if (seen.count("/") == 0) drives.push_back({"/", "/"});
#endif
    std::sort(drives.begin(), drives.end(),
              [](const Drive& a, const Drive& b) { return PortfolioLess(a.listText, b.listText); });
    return drives;
}

const Drive* DriveOfPath(std::string_view path, const std::vector<Drive>& drives) {
    const Drive* best = nullptr;
    for (const Drive& d : drives) {
        if (PathStartsWith(path, d.root) && (best == nullptr || d.root.size() > best->root.size()))
            best = &d;
    }
    return best;
}

bool SearchDirectory(const std::string& path, std::vector<std::string>& results,
                     const SearchOptions& options, const SearchObserver& observer) {
    std::set<std::string> excluded(options.otherVolumeRoots.begin(),
                                   options.otherVolumeRoots.end());
#ifndef _WIN32
    // Pseudo file systems (/proc, /sys, /dev, ...) are never drives and hold no portfolios:
    // the search does not enter them, whatever the caller listed.
    for (const MountEntry& m : ReadMounts()) {
        if (IsPseudoMount(m) && m.mountPoint != path) excluded.insert(m.mountPoint);
    }
#endif
    int found = 0;
    return Search(path, results, options, observer, excluded, found);
}

bool PortfolioLess(std::string_view a, std::string_view b) {
    const int c = CompareNoCase(a, b);
    return c != 0 ? c < 0 : a < b;
}

std::vector<std::string> SortPortfolios(std::vector<std::string> portfolios) {
    std::sort(portfolios.begin(), portfolios.end(),
              [](const std::string& a, const std::string& b) { return PortfolioLess(a, b); });
    return portfolios;
}

std::vector<std::string> AllMountPoints() {
    std::vector<std::string> points;
#ifndef _WIN32
    for (const MountEntry& m : ReadMounts()) points.push_back(m.mountPoint);
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
#endif
    return points;
}

SearchOptions VolumeSearchOptions(std::string_view start, bool limit, std::string filterKeyUpper) {
    SearchOptions options;
    options.limit = limit;
    options.filterKeyUpper = std::move(filterKeyUpper);
    const std::vector<std::string> points = AllMountPoints();
    std::string own;
    for (const std::string& p : points) {
        if (PathStartsWith(start, p) && p.size() > own.size()) own = p;
    }
    for (const std::string& p : points) {
        if (p != own && PathStartsWith(p, start)) options.otherVolumeRoots.push_back(p);
    }
    return options;
}

std::string NormalizeSearchRoot(std::string_view path) {
    std::error_code ec;
    std::filesystem::path p =
        std::filesystem::absolute(std::filesystem::path(std::string(path)), ec);
    if (ec) p = std::filesystem::path(std::string(path));
    std::string text = p.lexically_normal().string();
#ifdef _WIN32
    while (text.size() > 2 && IsPathSeparatorChar(text.back())) text.pop_back();
    if (text.size() == 3 && text[1] == ':') text.pop_back();
#else
    while (text.size() > 1 && text.back() == '/') text.pop_back();
#endif
    return text;
}

}  // namespace barwise
