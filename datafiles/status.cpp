#include "datafiles/status.h"

#include <array>
#include <ostream>

namespace barwise {

namespace {
constexpr std::array<std::string_view, 16> kStatusNames = {
    "Sucessfull",
    "Invalid Parm",
    "File Open",
    "Malloc",
    "File Read",
    "File Write",
    "File Seek",
    "File Exists",
    "File Not Found",
    "Record Not Found",
    "No Graphics Found",
    "No Fonts Found",
    "Charts Uninitialized",
    "Max Lines Exceeded",
    "Max Grids Exceeded",
    "Unknown",
};
}  // namespace

std::string_view DataStatusName(DataStatus status) {
    switch (status) {
        case kNoLayout:
            return "No Layout";
        case kDeleteNotFound:
            return "Quote Not Found";
        case kDeletedMasterStale:
            return "Quote Deleted, MASTER Dates Not Updated";
        case kInsertOutOfOrder:
            return "New Quote Out Of Date Order";
        case kPortfolioBusy:
            return kPortfolioBusyMessage;
        case kReadOnly:
            return "File Read-Only";
        case kNoSpace:
            return "Not Enough Disk Space";
        case kIndexFilesDisagree:
            return "Index Files Disagree";
        default:
            break;
    }
    const int code = StatusCode(status);
    if (code <= 0 && code > -static_cast<int>(kStatusNames.size())) {
        return kStatusNames[static_cast<std::size_t>(-code)];
    }
    return "Unknown";  // only a value cast in from outside the set
}

std::ostream& operator<<(std::ostream& out, DataStatus status) {
    return out << DataStatusName(status) << " (" << StatusCode(status) << ")";
}

}  // namespace barwise
