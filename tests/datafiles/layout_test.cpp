#include <gtest/gtest.h>

#include <tuple>

#include "datafiles/layout.h"
#include "testsupport/testdb.h"

namespace barwise {
namespace {

using testing::TempDir;
using testing::WriteText;

using Columns = std::array<std::int16_t, kQuoteFieldCount>;  // DATE TIME OPEN HIGH LOW CLOSE VOL OI

// A layout's eight codes (DATE TIME OPEN HIGH LOW CLOSE VOL OI) as one text.
std::string Text(const Columns& codes) {
    std::string text;
    for (std::int16_t c : codes) text += (text.empty() ? "" : " ") + std::to_string(c);
    return text;
}

TEST(ReadLayoutTest, DopFiles) {
    // What the case shows, the DOP's text, and the column, input and display codes read.
    const std::tuple<const char*, const char*, const char*, const char*, const char*> cases[] = {
        {"plain six fields",
         "\"DATE\",0,0\r\n\"OPEN\",2,2\r\n\"HIGH\",2,2\r\n\"LOW\",2,2\r\n\"CLOSE\",2,2\r\n"
         "\"VOL\",1000,100\r\n",
         "1 0 2 3 4 5 6 0", "0 0 2 2 2 2 1000 0", "0 0 2 2 2 2 100 0"},
        {"comment line takes no column",
         "\"DATE\",0,0\n; a comment\nnot quoted,5,5\n\"CLOSE\",-3,4\n", "1 0 0 0 0 2 0 0",
         "0 0 0 0 0 -3 0 0", "0 0 0 0 0 4 0 0"},
        {"time second shifts the rest", "\"DATE\",0,0\n\"TIME\",0,0\n\"OPEN\",2,2\n\"CLOSE\",2,2\n",
         "1 2 3 0 0 4 0 0", "0 0 2 0 0 2 0 0", "0 0 2 0 0 2 0 0"},
        {"prefix names, letter case, unknown names",
         "\"volume\",0,0\n\"OPENINT\",1,1\n\"PRICE\",9,9\n\"oi\",3,3\n", "0 0 2 0 0 0 1 3",
         "0 0 1 0 0 0 0 3", "0 0 1 0 0 0 0 3"},
        {"a later line overwrites, both take a column",
         "\"DATE\",0,0\n\"CLOSE\",1,1\n\"CLOSE\",2,3\n", "1 0 0 0 0 3 0 0", "0 0 0 0 0 2 0 0",
         "0 0 0 0 0 3 0 0"},
        {"missing codes read as zero", "\"DATE\"\n\"CLOSE\",  7\n", "1 0 0 0 0 2 0 0",
         "0 0 0 0 0 7 0 0", "0 0 0 0 0 0 0 0"},
        {"end-of-file byte, no newline", "\"DATE\",0,0\n\"CLOSE\",2,2\n\x1A", "1 0 0 0 0 2 0 0",
         "0 0 0 0 0 2 0 0", "0 0 0 0 0 2 0 0"},
        {"no field names at all", "hello\n\n", "0 0 0 0 0 0 0 0", "0 0 0 0 0 0 0 0",
         "0 0 0 0 0 0 0 0"},
        {"huge codes are clamped", "\"VOL\",99999999999,-99999999999\n", "0 0 0 0 0 0 1 0",
         "0 0 0 0 0 0 32767 0", "0 0 0 0 0 0 -32768 0"},
    };
    TempDir tmp;
    for (const auto& [name, text, column, input, display] : cases) {
        WriteText(tmp.path() / "F1.DOP", text);
        FieldLayout layout;
        // The record length does not matter when there is a DOP file.
        ASSERT_EQ(ReadLayout(tmp.path() / "F1.DOP", 99, layout), kSuccess) << name;
        EXPECT_EQ(
            std::tuple(Text(layout.column), Text(layout.inputFormat), Text(layout.displayFormat)),
            std::tuple(column, input, display))
            << name;
    }
}

// A 28-byte intraday record keeps the time of each bar second.
TEST(ReadLayoutTest, DefaultsByRecordLength) {
    const std::tuple<int, char, const char*> cases[] = {
        // record length, period, columns
        {12, 'D', "1 0 0 0 0 2 3 0"}, {16, 'D', "1 0 0 2 3 4 0 0"}, {18, 'D', "1 0 0 0 0 2 0 0"},
        {24, 'D', "1 0 2 3 4 5 6 0"}, {28, 'D', "1 0 2 3 4 5 6 7"}, {28, 'I', "1 2 3 4 5 6 7 0"},
        {32, 'I', "1 2 3 4 5 6 7 8"}, {32, 'D', "1 2 3 4 5 6 7 8"},
    };
    TempDir tmp;
    const fs::path dop = tmp.path() / "F1.DOP";
    for (const auto& [length, period, column] : cases) {
        FieldLayout layout;
        bool ignored = true;
        ASSERT_EQ(ReadLayout(dop, length, length / 4, period, layout, &ignored), kSuccess);
        EXPECT_EQ(
            std::tuple(ignored, Text(layout.column), layout.inputFormat, layout.displayFormat),
            std::tuple(false, column, Columns{}, Columns{}))
            << length;
    }
    for (int length : {0, 4, 8, 20, 36, 76, 200, -56}) {
        FieldLayout layout;
        // 20 without a DAT file to look at has no layout either.
        EXPECT_EQ(ReadLayout(dop, length, layout), kNoLayout) << length;
    }
}

TEST(ReadLayoutTest, TwentyByteRecordsDecideFromTheFirstQuote) {
    const std::pair<std::vector<float>, bool> cases[] = {
        // the first quote, a volume layout
        {{1100104.0f, 11.0f, 10.0f, 10.75f, 1500.0f}, true},  // 1500 > 2 x 11: a volume
        {{1100104.0f, 10.5f, 11.0f, 10.0f, 10.75f}, false},   // a price
        {{1100104.0f, 10.5f, 11.0f, 10.0f, 0.0f}, true},      // zero: a volume
        {{1100104.0f, 10.0f, 11.0f, 10.0f, 20.0f}, false},    // exactly twice: a price
    };
    const Columns volume = {1, 0, 0, 2, 3, 4, 5, 0};
    const Columns prices = {1, 0, 2, 3, 4, 5, 0, 0};
    TempDir tmp;
    for (const auto& [firstQuote, volumeLayout] : cases) {
        testing::WriteDat(tmp.path() / "F3.DAT", 20, {firstQuote});
        FieldLayout layout;
        ASSERT_EQ(ReadLayout(tmp.path() / "F3.DOP", 20, layout), kSuccess);
        EXPECT_EQ(layout.column, volumeLayout ? volume : prices) << firstQuote[4];
    }
    // A file without quotes reads as zeros: the volume layout.
    testing::WriteDat(tmp.path() / "f4.dat", 20, {});
    FieldLayout layout;
    ASSERT_EQ(ReadLayout(tmp.path() / "F4.DOP", 20, layout), kSuccess);
    EXPECT_EQ(layout.column, volume);
}

// A DOP that names no date, or more columns than the record holds, is taken for damaged:
// the default layout of the record length is used and the caller told so.
TEST(ReadLayoutTest, DamagedDopGivesWayToTheDefault) {
    TempDir tmp;
    const std::tuple<const char*, int, bool> cases[] = {
        // the DOP, fields, set aside
        {"", 7, true},
        {"\"CLOSE\",2,2\n\"VOL\",0,0\n", 7, true},
        // Eight names for seven fields.
        {"\"DATE\"\n\"OPEN\"\n\"HIGH\"\n\"LOW\"\n\"CLOSE\"\n\"VOL\"\n\"OI\"\n\"TIME\"\n", 7, true},
        {"\"DATE\",0,0\n\"CLOSE\",2,2\n", 7, false},
    };
    for (const auto& [dop, fieldCount, setAside] : cases) {
        testing::WriteText(tmp.path() / "F1.DOP", dop);
        FieldLayout layout;
        bool ignored = false;
        ASSERT_EQ(ReadLayout(tmp.path() / "F1.DOP", 28, fieldCount, 'D', layout, &ignored),
                  kSuccess);
        EXPECT_EQ(ignored, setAside) << dop;
        if (setAside) {
            EXPECT_EQ(layout.column, (Columns{1, 0, 2, 3, 4, 5, 6, 7})) << dop;
        }
    }
    // Without a default for the record length the DOP is all there is.
    testing::WriteText(tmp.path() / "F1.DOP", "");
    FieldLayout layout;
    bool ignored = true;
    EXPECT_EQ(ReadLayout(tmp.path() / "F1.DOP", 44, 11, 'D', layout, &ignored), kSuccess);
    EXPECT_FALSE(ignored);
}

TEST(ReadLayoutTest, ColumnsBeyondTheRecordAreDropped) {
    FieldLayout layout;
    layout.column = {1, 0, 2, 3, 4, 5, 6, 20};
    EXPECT_EQ(ColumnsWithin(layout, 6).column, (Columns{1, 0, 2, 3, 4, 5, 6, 0}));
    EXPECT_EQ(ColumnsWithin(layout, 5).column, (Columns{1, 0, 2, 3, 4, 5, 0, 0}));
}

}  // namespace
}  // namespace barwise
