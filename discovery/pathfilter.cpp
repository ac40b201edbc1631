#include "discovery/pathfilter.h"

namespace barwise {

bool PassesSearchFilter(std::string_view path, bool limit, std::string_view filterKeyUpper) {
    if (!limit) return true;
    const std::string upper = ToUpperAscii(path);
    return upper.find(filterKeyUpper) != std::string::npos ||
           filterKeyUpper.find(upper) != std::string_view::npos;
}

}  // namespace barwise
