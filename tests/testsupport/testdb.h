// Builders of small quote databases for tests, and writable copies of the real databases
// (the temporary directory and file helpers are those of testsupport/tempdir.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "datafiles/fileio.h"
#include "datafiles/master.h"
#include "datafiles/rewrite.h"
#include "datafiles/series.h"
#include "testsupport/tempdir.h"

namespace barwise::testing {

namespace fs = std::filesystem;

MasterRecord Entry(int fileNumber, const std::string& symbol, const std::string& name,
                   int recordLength, int fieldCount, float firstDate = 0, float lastDate = 0,
                   char period = 'D');
MasterRecord SubdirEntry(const std::string& name);

// A MASTER file's bytes (header count = number of records unless given), and the file
// written into dir.
inline constexpr int kCountOfRecords = -32768 - 1;
std::vector<std::uint8_t> MasterBytes(const std::vector<MasterRecord>& records,
                                      int headerCount = kCountOfRecords);
void WriteMaster(const fs::path& dir, const std::vector<MasterRecord>& records,
                 int headerCount = kCountOfRecords, const std::string& fileName = "MASTER");

// A DAT file of records of recordLength bytes; each row lists the field values in column
// order (the date real first). The header's last record number is rows + 1 unless given.
std::vector<std::uint8_t> DatBytes(int recordLength, const std::vector<std::vector<float>>& rows,
                                   int lastRecord = -1);
void WriteDat(const fs::path& file, int recordLength, const std::vector<std::vector<float>>& rows,
              int lastRecord = -1);

// Weekday dates as date reals (YYYMMDD counted from 1900), from a start day on.
std::vector<float> Weekdays(int year, int month, int day, int count);

// The folder of the real databases written by other quote software.
std::string RealDbDir();
// A writable copy of one of them in dir; false when the real databases are not available.
bool CopyRealDb(const std::string& name, const fs::path& dir);

// An edit of the quotes from `from` to `to`: the values of a Set, the factors of a Scale.
inline EditRequest MakeEdit(EditOp op, DateCode from = kFirstDay, DateCode to = kLastDay,
                            std::array<float, 6> values = {}) {
    EditRequest r;
    r.op = op;
    r.from = from;
    r.to = to;
    r.values = values;
    return r;
}

// A date as YYYYMMDD, as EMASTER and XMASTER keep it (0 for no date).
inline int Ymd(DateCode d) {
    if (d == kNoDate) return 0;
    const DateParts p = SplitDate(d);
    return (p.year + 1900) * 10000 + p.month * 100 + p.day;
}

// A test case's name for a real database: "equis-italy" becomes "equis_italy".
inline std::string CaseName(std::string db) {
    for (char& c : db)
        if (c == '-') c = '_';
    return db;
}

// The value fields of quote i of a series read: OPEN HIGH LOW CLOSE VOL OI.
inline std::vector<float> QuoteValues(const QuoteSeries& s, int i) {
    std::vector<float> values;
    for (int f = kFieldOpen; f <= kFieldOi; ++f) values.push_back(s.value(f, i));
    return values;
}

}  // namespace barwise::testing
