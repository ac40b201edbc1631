// Reading a whole series in blocks without looking it up again for every block.
//
// ReadSeries (datafiles/series.h) looks the key up in MASTER and reads the layout on every
// call; the export and the split search read every quote of every series of a portfolio,
// so they look each series up once and then read its DAT file in blocks through a
// SeriesCursor. The quotes land in a QuoteSeries exactly as ReadSeries puts them there.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "datafiles/fileio.h"
#include "datafiles/layout.h"
#include "datafiles/master.h"
#include "datafiles/series.h"
#include "datafiles/status.h"

namespace barwise {

class SeriesCursor {
public:
    // Opens the series of a MASTER record of `directory` (trailing separator optional):
    // its layout (DOP or record length) and its DAT file, whose header gives total().
    // The statuses of ReadSeries: kNoLayout, kFileRead (impossible record shape, no DAT
    // header, a header claiming fewer than no quotes), kFileOpen.
    [[nodiscard]] DataStatus open(std::string_view directory, const MasterRecord& record);
    // Looks the key up as ReadSeries does (FindSymbol from directory), then opens it.
    [[nodiscard]] DataStatus openKey(std::string_view directory, std::string_view key);

    // Quotes the DAT header announces (last record number - 1).
    int total() const { return total_; }
    const FieldLayout& layout() const { return layout_; }
    const MasterRecord& record() const { return record_; }
    // The directory holding the series, with trailing separator.
    const std::string& directory() const { return directory_; }
    const fs::path& datPath() const { return datPath_; }

    // Reads up to count quotes (at most the series' capacity) from quote index start into
    // series (allocated with AllocSeries), as ReadSeries does: kRecordNotFound when start
    // is beyond the last quote; a file shorter than its header ends the read early
    // (series.count tells how many were read).
    [[nodiscard]] DataStatus read(QuoteSeries& series, int start, int count);

private:
    InputFile file_;
    MasterRecord record_;
    FieldLayout layout_;
    std::string directory_;
    fs::path datPath_;
    int total_ = 0;
    int lastRecord_ = 0;
    int recordLength_ = 0;
    int fieldCount_ = 0;
    std::int64_t position_ = -1;  // file offset after the last read, -1 unknown
};

}  // namespace barwise
