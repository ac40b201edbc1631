// The rules of the portfolio search filter, apart from its dialog.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "discovery/portfoliosearch.h"

namespace barwise {

// Whether the filter dialog may close with these inputs: always when the filter is off;
// otherwise the path must name a listed drive ("D:..." with D listed on Windows; elsewhere
// an absolute path on a listed volume).
bool FilterPathAccepted(bool limit, std::string_view path, const std::vector<Drive>& drives);

// Whether a new filter calls for a new search: the switch changed, or the switch is on and
// the filter keys differ other than in letter case.
bool FilterChanged(bool oldLimit, std::string_view oldKeyUpper, bool newLimit,
                   std::string_view newKeyUpper);

// The text the settings keep for a drive, and whether a kept text names a drive. On
// Windows the drive letter (any case); elsewhere the mount point.
std::string DriveSettingText(const Drive& drive);
bool DriveMatchesSetting(const Drive& drive, std::string_view setting);

}  // namespace barwise
