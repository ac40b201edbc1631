// The path filter of the portfolio search.
#pragma once

#include <string>
#include <string_view>

// ToUpperAscii gives the upper-case form of a path as the filter compares it.
#include "datafiles/ascii.h"

namespace barwise {

// A directory passes when the filter is off, or when its upper-case path contains the
// filter key or the key contains it: the walk descends through the directories that lead
// to the filter path and takes in everything below it. Plain substrings, not path
// components, and an empty key passes every path.
bool PassesSearchFilter(std::string_view path, bool limit, std::string_view filterKeyUpper);

}  // namespace barwise
