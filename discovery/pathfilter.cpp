#include "discovery/pathfilter.h"

namespace barwise {

std::string ToUpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

bool PassesSearchFilter(std::string_view path, bool limit, std::string_view filterKeyUpper) {
    if (!limit) return true;
    const std::string upper = ToUpperAscii(path);
    return upper.find(filterKeyUpper) != std::string::npos ||
           filterKeyUpper.find(upper) != std::string_view::npos;
}

}  // namespace barwise
