#include <gtest/gtest.h>

#include <map>

#include "commands/datafacts/facttexts.h"
#include "testsupport/testdb.h"

namespace barwise {
namespace {

using testing::Entry;
using testing::TempDir;
using testing::WriteDat;
using testing::WriteMaster;

class DataFactsTest : public ::testing::Test {
protected:
    TempDir tmp;
    void SetUp() override {
        WriteDat(tmp.path() / "F1.DAT", 28,
                 {{990301.0f, 1, 1, 1, 1, 1, 1}, {1000301.0f, 1, 1, 1, 1, 1, 1}});
        WriteDat(tmp.path() / "F2.DAT", 24, {{1000301.0f, 1, 1, 1, 1, 1}});
        testing::WriteText(tmp.path() / "F2.DOP",
                           "\"DATE\",0,0\n\"OPEN\",2,3\n\"HIGH\",2,2\n\"LOW\",2,2\n"
                           "\"CLOSE\",2,2\n\"VOL\",1000,100\n");
        WriteMaster(tmp.path(),
                    {Entry(1, "OLD", "OLD TIMES INC", 28, 7, 990301.0f, 1000301.0f, 'D'),
                     Entry(2, "DOP", "WITH DOP", 24, 6, 1000301.0f, 1000301.0f, 'X')});
    }
    std::map<std::string, std::string> Texts(const std::string& key) {
        DataFacts f;
        EXPECT_EQ(ReadDataFacts(tmp.str(), key, f), kSuccess);
        std::map<std::string, std::string> m;
        for (const FactLine& t : FactLines(f)) m[t.label] = t.text;
        return m;
    }
};

// Without a layout file every field is a whole number and the series has no time; a DOP
// gives the fields their units, and a period letter not known is an error; a file number
// above 127 is unsigned, a record length above 127 signed. (The texts of the entry itself,
// path to symbol, are the window's data-facts test, whose dialog shows the same texts.)
TEST_F(DataFactsTest, TextsWithoutAndWithDopAndOfAHighFileNumber) {
    auto t = Texts("old");
    EXPECT_EQ(t.size(), 26u);
    EXPECT_EQ(t["First date in file"], "990301");  // a date before 2000
    for (const std::string f : {"Date", "Open", "High", "Low", "Close", "Vol", "OI"})
        EXPECT_EQ(std::tuple(t[f + " Input"], t[f + " Display"]),
                  std::tuple("Whole Num.", "Whole Num."))
            << f;
    EXPECT_EQ(std::tuple(t["Time Input"], t["Time Display"]), std::tuple("", ""));
    t = Texts("DOP");
    EXPECT_EQ(std::tuple(t["Vol Input"], t["Vol Display"], t["Open Display"], t["OI Input"],
                         t["Data format"]),
              std::tuple("1,000s", "100s", "1,000ths", "", "ERROR"));

    testing::WriteText(tmp.path() / "F200.DOP", "\"DATE\",0,0\n\"CLOSE\",0,0\n");
    WriteDat(tmp.path() / "F200.DAT", 8, {});
    WriteMaster(tmp.path(), {Entry(200, "BIG", "BIG", 200, 2)});
    t = Texts("BIG");
    EXPECT_EQ(std::tuple(t["File number"], t["DAT file record length"], t["Number of quotes"]),
              std::tuple("200", "-56", "0"));
}

TEST_F(DataFactsTest, FailuresLeaveNothingToShow) {
    DataFacts f;
    fs::remove(tmp.path() / "F1.DAT");
    EXPECT_NE(ReadDataFacts(tmp.str(), "OLD", f), kSuccess);
    WriteMaster(tmp.path(), {Entry(1, "ODD", "ODD", 32, 8)});
    EXPECT_NE(ReadDataFacts(tmp.str(), "ODD", f), kSuccess);
}

}  // namespace
}  // namespace barwise
