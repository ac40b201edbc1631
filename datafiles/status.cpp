#include "datafiles/status.h"

#include <array>

namespace barwise {

namespace {
constexpr std::array<std::string_view, 16> kStatusNames = {
    "Sucessfull",        "Invalid Parm",        "File Open",           "Malloc",
    "File Read",         "File Write",          "File Seek",           "File Exists",
    "File Not Found",    "Record Not Found",    "No Graphics Found",   "No Fonts Found",
    "Charts Uninitialized", "Max Lines Exceeded", "Max Grids Exceeded", "Unknown",
};
}  // namespace

std::string_view DataStatusName(DataStatus status) {
    if (status <= 0 && status > -static_cast<int>(kStatusNames.size())) {
        return kStatusNames[static_cast<std::size_t>(-status)];
    }
    if (status == kNoLayout) return "No Layout";
    if (status == kDeleteNotFound) return "Quote Not Found";
    if (status == kDeletedMasterStale) return "Quote Deleted, MASTER Dates Not Updated";
    if (status == kInsertOutOfOrder) return "New Quote Out Of Date Order";
    if (status == kPortfolioBusy) return kPortfolioBusyMessage;
    if (status == kReadOnly) return "File Read-Only";
    if (status == kNoSpace) return "Not Enough Disk Space";
    if (status == kIndexFilesDisagree) return "Index Files Disagree";
    return "Unknown";
}

}  // namespace barwise
