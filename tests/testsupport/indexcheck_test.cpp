// The independent index decoding, held against values read off real databases by hand and
// against copies of them with one byte changed.
#include "testsupport/indexcheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "testsupport/testdb.h"

namespace barwise::testing {

void PrintTo(const DecodedSecurity& s, std::ostream* os) {
    *os << "F" << s.fileNumber << " at " << s.position << " \"" << s.symbol << "\" \"" << s.name
        << "\" \"" << s.longName << "\" " << s.firstDate << "-" << s.lastDate << " fields "
        << s.fieldCount << " length " << s.recordLength << " period " << s.period
        << (s.directoryEntry ? " <DIR>" : "");
}

namespace {

namespace fs = std::filesystem;

const fs::path kRealDb = BARWISE_REALDB_DIR;

#define REQUIRE_REALDB(name) \
    if (!fs::is_directory(kRealDb / (name))) GTEST_SKIP() << "no " << (kRealDb / (name))

std::string Joined(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines) s += l + "\n";
    return s;
}

// One byte of a copy of equis-italy changed: exactly one line, naming the place.
struct OneByte {
    const char* file;
    std::size_t offset;
    unsigned char xorMask;
    const char* expected;  // part of the one line reported
};

class OneByteChanged : public ::testing::TestWithParam<OneByte> {};

TEST_P(OneByteChanged, ReportsThatPlaceOnly) {
    REQUIRE_REALDB("equis-italy");
    const OneByte& c = GetParam();
    TempDir tmp;
    const fs::path db = tmp.path() / "db";
    ASSERT_TRUE(CopyRealDb("equis-italy", db));
    std::vector<std::uint8_t> bytes = ReadBytes(db / c.file);
    ASSERT_LT(c.offset, bytes.size());
    bytes[c.offset] ^= c.xorMask;
    WriteBytes(db / c.file, bytes);

    const std::vector<std::string> lines = IndexDisagreements(db);
    ASSERT_EQ(lines.size(), 1u) << Joined(lines);
    EXPECT_NE(lines[0].find(c.expected), std::string::npos) << lines[0];
}

const OneByte kOneBytes[] = {
    // Lowest mantissa byte of an IEEE date: 1100709 becomes 1100709.125.
    {"Emaster", 10 * 192 + 72, 0x01, "record 10: last date: MASTER 1100709, EMASTER 1100709.125"},
    {"Emaster", 20 * 192 + 64, 0x01, "record 20: first date: MASTER 1100104, EMASTER 1100104.125"},
    {"Emaster", 30 * 192 + 126, 0x01, "record 30: first date: MASTER 1100104, EMASTER 20100105"},
    {"Emaster", 5 * 192 + 2, 0x80, "record 5: file number: MASTER 5, EMASTER 133"},
    {"Emaster", 7 * 192 + 6, 0x02, "record 7: field count: MASTER 7, EMASTER 5"},
    {"Emaster", 8 * 192 + 60, 'D' ^ 'W', "record 8: period: MASTER D, EMASTER W"},
    {"Emaster", 1 * 192 + 11, 'A' ^ 'B', "record 1: symbol: MASTER \"ASR\", EMASTER \"BSR\""},
    {"Emaster", 1 * 192 + 32, 'A' ^ 'B',
     "record 1: name: MASTER \"A.S. ROMA\", EMASTER \"B.S. ROMA\""},
    {"Emaster", 151 * 192 + 139, 'F' ^ 'G', "record 151: long name \"GERROVIE NORD MILANO\""},
    {"Master", 2 * 53 + 29, 0x01, "record 2: last date"},
    {"Emaster", 2, 0x01, "EMASTER: highest file number 254, MASTER 255"},
    {"Xmaster", 0, 0x01, "XMASTER: starts with 5C FE 58 4D"},
    {"Xmaster", 14, 0x01, "XMASTER: record count 207, its second copy 206"},
    {"Xmaster", 18, 0x01,
     "XMASTER record 207: file number 462 is not below the next free number 462"},
    {"Xmaster", 150 + 66, 0x01, "XMASTER record 1: file number 0 is not above 255"},
    {"Xmaster", 2 * 150 + 65, 0x01,
     "XMASTER record 2: file number 256 is also in XMASTER record 1"},
};
INSTANTIATE_TEST_SUITE_P(EquisItaly, OneByteChanged, ::testing::ValuesIn(kOneBytes));

// Values read off the files by hand (xxd), little-endian, dates as YYYYMMDD.
struct Golden {
    const char* db;
    DecodedSecurity security;
};

class Decoded : public ::testing::TestWithParam<Golden> {};

TEST_P(Decoded, MatchesTheBytes) {
    const DecodedSecurity& want = GetParam().security;
    REQUIRE_REALDB(GetParam().db);
    const DecodedIndex index = DecodeIndexFiles(kRealDb / GetParam().db);
    const auto it = std::find_if(index.securities.begin(), index.securities.end(),
                                 [&](const DecodedSecurity& s) {
                                     return s.index == want.index && s.position == want.position;
                                 });
    ASSERT_NE(it, index.securities.end());
    EXPECT_EQ(*it, want);
}

constexpr IndexKind kM = IndexKind::kMaster, kX = IndexKind::kXmaster;
const Golden kGolden[] = {
    {"equis-italy", {kM, 1, 1, "ASR", "A.S. ROMA", "", 20100104, 20100709, 7, 28, 'D', false}},
    {"equis-italy",
     {kM, 151, 151, "FNM", "FERROVIE NORD MI", "FERROVIE NORD MILANO", 20100104, 20100709, 7, 28,
      'D', false}},
    {"equis-italy", {kX, 1, 256, "RCF", "RCF GROUP", "", 20100105, 20100709, 7, 0, 'D', false}},
    {"equis-italy",
     {kX, 79, 334, "AUTME", "AUTOSTRADE MERIDIONALI", "", 20100104, 20100709, 7, 0, 'D', false}},
    {"equis-xmaster-mini",
     {kX, 2, 2853, ".N225", "NIKKEI 225 INDEX", "", 19820104, 20111227, 7, 0, 'D', false}},
};
INSTANTIATE_TEST_SUITE_P(RealDatabases, Decoded, ::testing::ValuesIn(kGolden));

}  // namespace
}  // namespace barwise::testing
