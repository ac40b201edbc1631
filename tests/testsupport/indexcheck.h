// A second reading of a portfolio directory's index files (MASTER, EMASTER, XMASTER), made
// without the quote-data library, so tests can hold what the library lists and writes up
// against an independent decoding. Decodes the bytes itself: little-endian integers, MBF
// and IEEE reals. File names are matched in any letter case.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace barwise::testing {

enum class IndexKind { kMaster, kXmaster };

// One security as its index files describe it.
struct DecodedSecurity {
    IndexKind index = IndexKind::kMaster;  // MASTER (with its EMASTER twin) or XMASTER
    int position = 0;                      // 1-based record number in that file
    int fileNumber = 0;                    // F<n>.DAT for MASTER, F<n>.MWD for XMASTER
    std::string symbol;                    // trailing blanks and NULs removed
    std::string name;                      // MASTER's 16 name bytes trimmed, or XMASTER's name
    std::string longName;                  // EMASTER's long name (MASTER entries only), or empty
    int firstDate = 0;                     // YYYYMMDD; 0 when the field is empty
    int lastDate = 0;
    int fieldCount = 0;    // MASTER byte 4; XMASTER: bits set in the field set
    int recordLength = 0;  // MASTER byte 3 (signed); 0 for XMASTER
    char period = 0;
    bool directoryEntry = false;  // a MASTER "<DIR>" record

    // The name a user sees: the long name when there is one.
    const std::string& fullName() const { return longName.empty() ? name : longName; }
    friend bool operator==(const DecodedSecurity&, const DecodedSecurity&) = default;
};

struct DecodedIndex {
    bool hasMaster = false;
    bool hasEmaster = false;
    bool hasXmaster = false;
    // MASTER records in file order, then XMASTER records in file order.
    std::vector<DecodedSecurity> securities;
};

// A Microsoft Binary Format single read from its four bytes.
double MbfValue(const std::uint8_t* p);

// Decodes what the index files of dir say. Records beyond a file's whole records or its
// header count are left out; a broken XMASTER contributes nothing.
DecodedIndex DecodeIndexFiles(const std::filesystem::path& dir);

// One readable line per place where the three index files of dir disagree with each other
// or with their own headers; empty when they agree field by field, or when dir holds only
// a MASTER (or nothing).
std::vector<std::string> IndexDisagreements(const std::filesystem::path& dir);

}  // namespace barwise::testing
