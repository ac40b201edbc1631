// Small databases built by tests (the temporary directory and file helpers are those of
// testsupport/tempdir.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "datafiles/fileio.h"
#include "datafiles/master.h"
#include "testsupport/tempdir.h"

namespace barwise::testing {

namespace fs = std::filesystem;

MasterRecord Entry(int fileNumber, const std::string& symbol, const std::string& name, int recordLength,
                   int fieldCount, float firstDate = 0, float lastDate = 0, char period = 'D');
MasterRecord SubdirEntry(const std::string& name);

// Writes MASTER (header count = number of records unless given) into dir.
inline constexpr int kCountOfRecords = -32768 - 1;
void WriteMaster(const fs::path& dir, const std::vector<MasterRecord>& records, int headerCount = kCountOfRecords,
                 const std::string& fileName = "MASTER");

// Writes a DAT file of records of recordLength bytes; each row lists the field values in
// column order (the date real first). The header's last record number is rows + 1 unless
// given.
void WriteDat(const fs::path& file, int recordLength, const std::vector<std::vector<float>>& rows,
              int lastRecord = -1);


// Weekday dates as date reals (YYYMMDD counted from 1900), from a start day on.
std::vector<float> Weekdays(int year, int month, int day, int count);

// Copies a real database into dir; false when the real databases are not available.
bool CopyRealDb(const std::string& name, const fs::path& dir);
std::string RealDbDir();

}  // namespace barwise::testing
