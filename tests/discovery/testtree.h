// Helpers of the portfolio-search tests; the temporary directory and the file helpers are
// those of testsupport/tempdir.h.
#pragma once

#include <algorithm>
#include <string>

#include "testsupport/tempdir.h"

namespace barwise::testing {

// A path written with '/' in the platform's own separators.
inline std::string Native(std::string path) {
#ifdef _WIN32
    std::replace(path.begin(), path.end(), '/', '\\');
#endif
    return path;
}

}  // namespace barwise::testing
