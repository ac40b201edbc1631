#include "app/searchfilter.h"

#include <algorithm>

#include "datafiles/ascii.h"

namespace barwise {

bool FilterPathAccepted(bool limit, std::string_view path, const std::vector<Drive>& drives) {
    if (!limit) return true;
#ifdef _WIN32
    if (path.size() < 2 || path[1] != ':') return false;
    const std::string entry = "[-" + ToLowerAscii(path.substr(0, 1)) + "-]";
    return std::any_of(drives.begin(), drives.end(),
                       [&](const Drive& d) { return ToLowerAscii(d.listText) == entry; });
#else
    if (path.empty() || path.front() != '/') return false;
    return DriveOfPath(path, drives) != nullptr;
#endif
}

bool FilterChanged(bool oldLimit, std::string_view oldKeyUpper, bool newLimit,
                   std::string_view newKeyUpper) {
    if (oldLimit != newLimit) return true;
    return newLimit && !EqualNoCase(oldKeyUpper, newKeyUpper);
}

std::string DriveSettingText(const Drive& drive) {
#ifdef _WIN32
    return ToUpperAscii(drive.root.substr(0, 1));
#else
    return drive.root;
#endif
}

bool DriveMatchesSetting(const Drive& drive, std::string_view setting) {
#ifdef _WIN32
    return !setting.empty() && !drive.root.empty() &&
           UpperAscii(drive.root[0]) == UpperAscii(setting[0]);
#else
    return drive.root == setting;
#endif
}

}  // namespace barwise
