// Writing whole quote-data files: a MASTER, an F<n>.DAT and an F<n>.DOP made from scratch
// (the demo database, and the move and copy of a security into another portfolio).
//
// MASTER (layout in master.h): a 53-byte header, then one 53-byte record per entry, no
//   trailer. Header bytes 0-1 hold the number of records, bytes 2-3 the file-number counter
//   (both int16 LE); the other header bytes are 0.
// F<n>.DAT (layout in series.h): records of recordLength bytes. The header record is 0
//   except bytes 2-3, the last record number (quotes + 1, uint16 LE); quote i is record i + 1,
//   its fields 4-byte MBF reals in column order from byte 0, unused bytes 0.
// F<n>.DOP (layout in layout.h): one line per column, "NAME",input code,display code,
//   each line ended by CR LF.
//
// Each file is written through a temporary sibling (WriteFileChecked): every write checked,
// synced and renamed over the file in one step, so a failure leaves no cut-short file.
#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "datafiles/encoding.h"
#include "datafiles/fileio.h"
#include "datafiles/layout.h"
#include "datafiles/master.h"
#include "datafiles/status.h"

namespace barwise {

// One quote as written to a DAT file.
struct QuoteBar {
    DateCode date = 0;
    TimeCode time = 0;
    float open = 0, high = 0, low = 0, close = 0, volume = 0, openInterest = 0;
};

// The value a column of the DAT record holds for a quote: the date real, the time real
// (HHMMSS), or the value itself.
float QuoteFieldValue(const QuoteBar& quote, QuoteField field);

// MASTER with these records after its header. kInvalidParm for more records than the
// header can count (nothing written); kFileWrite when the file cannot be written.
[[nodiscard]] DataStatus WriteMasterFile(FileSystem& fs, const fs::path& path, int fileCounter,
                                         const std::vector<MasterRecord>& records);

// F<n>.DAT with records of recordLength bytes holding fieldCount fields; `columns` names the
// field of each column, DATE first. kInvalidParm (nothing written) for an impossible record
// shape (IsPlausibleRecordShape), more columns than fields, more quotes than a DAT file
// holds, or a value without an MBF form; kFileWrite when the file cannot be written.
[[nodiscard]] DataStatus WriteDatFile(FileSystem& fs, const fs::path& path, int recordLength,
                                      int fieldCount, const std::vector<QuoteField>& columns,
                                      const std::vector<QuoteBar>& quotes);

// F<n>.DOP naming the columns; formats holds the input and display codes of each column
// (0, 0 where it is shorter). kFileWrite when the file cannot be written.
[[nodiscard]] DataStatus WriteDopFile(FileSystem& fs, const fs::path& path,
                                      const std::vector<QuoteField>& columns,
                                      const std::vector<std::pair<int, int>>& formats);

// Whole quote records an F<n>.DAT file of that record length holds after its header
// (whatever its header says); -1 when its size cannot be learnt.
std::int64_t QuotesHeldInDatFile(const fs::path& path, int recordLength);

}  // namespace barwise
