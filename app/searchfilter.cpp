#include "app/searchfilter.h"

#include <algorithm>
#include <cctype>

namespace barwise {

namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

bool FilterPathAccepted(bool limit, std::string_view path, const std::vector<Drive>& drives) {
    if (!limit) return true;
#ifdef _WIN32
    if (path.size() < 2 || path[1] != ':') return false;
    const std::string entry = "[-" + Lower(path.substr(0, 1)) + "-]";
    return std::any_of(drives.begin(), drives.end(),
                       [&](const Drive& d) { return Lower(d.listText) == entry; });
#else
    if (path.empty() || path.front() != '/') return false;
    return DriveOfPath(path, drives) != nullptr;
#endif
}

bool FilterChanged(bool oldLimit, std::string_view oldKeyUpper, bool newLimit,
                   std::string_view newKeyUpper) {
    if (oldLimit != newLimit) return true;
    return newLimit && Lower(oldKeyUpper) != Lower(newKeyUpper);
}

std::string DriveSettingText(const Drive& drive) {
#ifdef _WIN32
    std::string letter = drive.root.substr(0, 1);
    for (char& c : letter) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return letter;
#else
    return drive.root;
#endif
}

bool DriveMatchesSetting(const Drive& drive, std::string_view setting) {
#ifdef _WIN32
    return !setting.empty() && !drive.root.empty() &&
           std::toupper(static_cast<unsigned char>(drive.root[0])) ==
               std::toupper(static_cast<unsigned char>(setting[0]));
#else
    return drive.root == setting;
#endif
}

}  // namespace barwise
