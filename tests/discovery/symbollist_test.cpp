#include "discovery/symbollist.h"

#include <gtest/gtest.h>

#include <tuple>

#include "demo/demodb.h"
#include "testsupport/indexcheck.h"
#include "testsupport/testdb.h"

namespace barwise {
namespace {

using testing::ReadBytes;
using testing::TempDir;

// A MASTER record whose symbol field holds these bytes, blank-padded.
MasterRecord Record(int fileNumber, const std::string& symbolBytes, const std::string& name) {
    return testing::Entry(fileNumber, symbolBytes, name, 24, 6);
}

TEST(SymbolText, CutBeforeFirstBlankControlOrHighByte) {
    const std::pair<std::string, std::string> rows[] = {
        // the field's bytes, its symbol text
        {"ABC", "ABC"},    {"ABC DEF", "ABC"}, {" ABC", ""}, {"AB\001C", "AB"},
        {"AB\200C", "AB"}, {"AB\351C", "AB"},  {"", ""},
    };
    for (const auto& [field, text] : rows)
        EXPECT_EQ(SymbolText(Record(1, field, "N")), text) << field;
    EXPECT_EQ(SymbolText(Record(1, std::string("AB\0C", 4), "N")), "AB");
    EXPECT_EQ(SymbolText(Record(1, "ABCDEFGHIJKLMNOP", "N")), "ABCDEFGHIJKLMNOP");
}

TEST(SymbolList, RowsSortedIgnoringCaseBlankSymbolsListedUnderTheirName) {
    TempDir tmp;
    const fs::path master = tmp.path() / "MASTER";
    ASSERT_TRUE(WriteMasterFile(master,
                                {Record(1, "ZED", "ZED INC"), Record(2, "abc", "LOWER CASE"),
                                 Record(3, "", "BLANK SYMBOL CO"), Record(4, "ABD X", "TWO WORDS"),
                                 Record(5, "_X", "UNDERSCORE")},
                                5));
    const SymbolListing listing = ListSymbols(master);
    ASSERT_EQ(listing.status, kSuccess);
    EXPECT_EQ(std::tuple(listing.headerCount, listing.needsRepair, listing.countMismatch(),
                         JudgeListing(listing).repair),
              std::tuple(5, true, false, true));
    std::vector<std::string> symbols;
    for (const SymbolRow& row : listing.rows) symbols.push_back(row.symbol);
    EXPECT_EQ(symbols, (std::vector<std::string>{"_X", "abc", "ABD", "BLANK SYMBOL CO ", "ZED"}));
    const SymbolRow& blank = listing.rows[3];
    EXPECT_EQ(std::tuple(blank.name, blank.position, blank.record.fileNumber()),
              std::tuple("BLANK SYMBOL CO ", 3, 3));
}

TEST(SymbolList, FailuresAndCounts) {
    TempDir tmp;
    EXPECT_EQ(ListSymbols(tmp.path() / "MASTER").status, kFileOpen);
    EXPECT_FALSE(JudgeListing(ListSymbols(tmp.path() / "MASTER")).shown);
    testing::WriteText(tmp.path() / "MASTER", std::string(52, '\0'));
    EXPECT_EQ(ListSymbols(tmp.path() / "MASTER").status, kFileRead);

    // The header says 10 but the file (named in lower case) holds 12: listed, and the
    // counts differ.
    std::vector<MasterRecord> records;
    for (int i = 1; i <= 12; ++i) records.push_back(Record(i, "S" + std::to_string(i), "N"));
    std::filesystem::remove(tmp.path() / "MASTER");
    testing::WriteMaster(tmp.path(), records, 10, "master");
    const SymbolListing listing = ListSymbols(tmp.path() / "MASTER");
    const ListingVerdict verdict = JudgeListing(listing);
    EXPECT_EQ(
        std::tuple(listing.rows.size(), listing.countMismatch(), verdict.shown, verdict.refusal),
        std::tuple(12u, true, false, listing.masterFile + " holds 12 records, its header says 10"));
}

TEST(RepairMasterSymbols, CopiesTheNameOverEmptySymbolsAndKeepsTheOldFile) {
    TempDir tmp;
    const fs::path master = tmp.path() / "MASTER";
    ASSERT_TRUE(WriteMasterFile(
        master,
        {Record(1, "OK", "FIRST"), Record(2, " LEAD", "BLANK LEADING"), Record(3, "", "ALL BLANK")},
        3));
    const auto before = ReadBytes(master);
    ASSERT_EQ(RepairMasterSymbols(master), kSuccess);
    EXPECT_EQ(ReadBytes(tmp.path() / "MASTER.BAK"), before);
    // Records 2 and 3 take their name's first 16 bytes as symbol; no other byte changes.
    auto expected = before;
    for (std::size_t rec : {2u, 3u}) {
        const std::size_t at = rec * kMasterRecordSize;
        std::copy_n(before.begin() + at + kMasterNameOffset, 16,
                    expected.begin() + at + kMasterSymbolOffset);
    }
    EXPECT_EQ(ReadBytes(master), expected);
    const SymbolListing listing = ListSymbols(master);
    EXPECT_FALSE(listing.needsRepair);
    // Nothing left to repair: nothing is written.
    std::filesystem::remove(tmp.path() / "MASTER.BAK");
    ASSERT_EQ(RepairMasterSymbols(master), kSuccess);
    EXPECT_FALSE(std::filesystem::exists(tmp.path() / "MASTER.BAK"));
}

// With an EMASTER beside MASTER, the repaired symbol goes to both.
TEST(RepairMasterSymbols, EmasterFollows) {
    TempDir tmp;
    ASSERT_EQ(WriteExtendedPortfolio(tmp.path(), 3, 2).status, kSuccess);
    auto master = ReadBytes(tmp.path() / "MASTER");
    auto emaster = ReadBytes(tmp.path() / "EMASTER");
    std::fill_n(master.begin() + 2 * kMasterRecordSize + kMasterSymbolOffset, kMasterSymbolSize,
                ' ');
    std::fill_n(emaster.begin() + 2 * kEmasterRecordSize + kEmasterSymbolOffset, kEmasterSymbolSize,
                0);
    testing::WriteBytes(tmp.path() / "MASTER", master);
    testing::WriteBytes(tmp.path() / "EMASTER", emaster);
    ASSERT_TRUE(ListSymbols(tmp.path() / "MASTER").needsRepair);
    ASSERT_EQ(RepairMasterSymbols(tmp.path() / "MASTER"), kSuccess);
    const auto disagreements = testing::IndexDisagreements(tmp.path());
    EXPECT_TRUE(disagreements.empty()) << disagreements.front();
    EXPECT_EQ(testing::DecodeIndexFiles(tmp.path()).securities.at(1).symbol, "SECURITY 0002");
    EXPECT_EQ(ReadBytes(tmp.path() / "EMASTER.BAK"), emaster);
}

}  // namespace
}  // namespace barwise
