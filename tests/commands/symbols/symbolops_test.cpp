// Delete, move and copy of a security: the MASTER records and header words they leave, the
// data files they move, what they refuse before writing, and what a failing write leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "commands/symbols/symbolops.h"
#include "discovery/symbollist.h"
#include "robustness/failingsteps.h"
#include "symboltestdb.h"

namespace barwise {
namespace {

using testing::FileNumbers;
using testing::HeaderWords;
using testing::IdOf;
using testing::Portfolio;
using testing::ReadBytes;
using testing::Series;
using testing::Snapshot;
using testing::TempDir;
using testing::WriteBytes;
using End = TransferEnd;

class Transfer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(
            Portfolio(src(), {Series(1, "AAA"), Series(5, "acme", 30, true), Series(6, "CCC")}));
        WriteBytes(src() / "F5.BAK", {1, 2, 3});
        ASSERT_TRUE(Portfolio(dst(), {Series(1, "X1"), Series(2, "X2"), Series(4, "X4")}));
    }
    fs::path src() const { return tmp.path() / "src"; }
    fs::path dst() const { return tmp.path() / "dst"; }
    TempDir tmp;
};

TEST_F(Transfer, MoveTakesTheSmallestFreeNumberAndLeavesTheSourceWithoutIt) {
    const auto dat = ReadBytes(src() / "F5.DAT"), dop = ReadBytes(src() / "F5.DOP");
    MasterRecord before;
    ASSERT_EQ(ReadMasterEntry(IdOf(src(), 5), before), kSuccess);

    const TransferOutcome out = TransferSecurity(IdOf(src(), 5), dst().string(), true);
    ASSERT_EQ(out.end, TransferEnd::kDone) << out.message;
    EXPECT_EQ(out.newFileNumber, 3);
    EXPECT_EQ(FileNumbers(dst()), (std::vector<int>{1, 2, 4, 3}));  // appended after F4
    EXPECT_EQ(HeaderWords(dst()), std::pair(4, 5));
    MasterRecord added;
    ASSERT_EQ(ReadMasterEntry(IdOf(dst(), 3), added), kSuccess);
    EXPECT_TRUE(std::equal(added.bytes.begin() + 1, added.bytes.end(), before.bytes.begin() + 1));
    EXPECT_EQ(ReadBytes(dst() / "F3.DAT"), dat);
    EXPECT_EQ(ReadBytes(dst() / "F3.DOP"), dop);

    EXPECT_EQ(FileNumbers(src()), (std::vector<int>{1, 6}));
    EXPECT_EQ(HeaderWords(src()), std::pair(2, 5));
    for (const char* f : {"F5.DAT", "F5.DOP", "F5.BAK"}) EXPECT_FALSE(fs::exists(src() / f)) << f;
    EXPECT_TRUE(fs::exists(src() / "F1.DAT") && fs::exists(src() / "F6.DAT"));
}

// The source's data files go only when no record left there names their number; an entry
// of a subdirectory moves from there.
TEST_F(Transfer, AMoveKeepsTheFilesAnotherRecordStillNamesAndTakesASubdirectorysEntry) {
    ASSERT_TRUE(Portfolio(src(), {Series(4, "AAA"), Series(4, "BBB", 5, true)}));
    const auto dat = ReadBytes(src() / "F4.DAT");
    ASSERT_EQ(TransferSecurity(IdOf(src(), 4), dst().string(), true).end, TransferEnd::kDone);
    EXPECT_EQ(FileNumbers(src()), std::vector<int>{4});
    EXPECT_EQ(ReadBytes(src() / "F4.DAT"), dat);
    EXPECT_TRUE(fs::exists(src() / "F4.DOP"));
    EXPECT_EQ(ReadBytes(dst() / "F3.DAT"), dat);

    ASSERT_TRUE(Portfolio(src(), {Series(1, "AAA")}, {"SUB"}));
    ASSERT_TRUE(Portfolio(src() / "SUB", {Series(1, "DEEP"), Series(2, "OTHER")}));
    ASSERT_EQ(TransferSecurity(IdOf(src(), "deep"), dst().string(), true).end, TransferEnd::kDone);
    EXPECT_EQ(FileNumbers(src() / "SUB"), (std::vector<int>{2}));
    EXPECT_FALSE(fs::exists(src() / "SUB" / "F1.DAT"));
    EXPECT_TRUE(fs::exists(src() / "F1.DAT"));
    EXPECT_EQ(FileNumbers(src()).size(), 2u);
}

// Refused before anything is written: a symbol the destination lists (compared in upper
// case), a MASTER of 255 records or whose counter reached 255, a destination whose header
// lies; a source without its data file fails. Neither portfolio changes. 254 records take
// one more.
TEST_F(Transfer, RefusalsLeaveBothPortfolios) {
    std::vector<MasterRecord> full;
    for (int n = 1; n <= 255; ++n)
        full.push_back(MakeMasterRecord(Series(n, "S" + std::to_string(n), 0)));
    const auto lie = [&] {
        auto master = ReadBytes(dst() / "MASTER");
        master[0] = 2;  // three records, the header says two
        WriteBytes(dst() / "MASTER", master);
    };
    constexpr TransferEnd kRefused = TransferEnd::kRefused, kFailed = TransferEnd::kFailed;
    const std::string duplicate = SymbolExistsMessage("ACME", dst().string());
    const std::string max(kMaxSymbolsMessage);
    const struct {
        const char* name;
        std::function<void()> prepare;
        int fileNumber;  // in the source
        TransferEnd end;
        std::string message;  // empty: not checked
    } rows[] = {
        {"duplicate", [&] { Portfolio(dst(), {Series(1, "ACME")}); }, 5, kRefused, duplicate},
        {"255 records", [&] { WriteMasterFile(dst() / "MASTER", full, 255); }, 6, kRefused, max},
        {"counter", [&] { WriteMasterFile(dst() / "MASTER", {full[0]}, 255); }, 6, kRefused, ""},
        {"lying header", lie, 1, kRefused, ""},
        {"no data", [&] { fs::remove(src() / "F6.DAT"); }, 6, kFailed, ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        SetUp();
        r.prepare();
        const auto srcBefore = Snapshot(src()), dstBefore = Snapshot(dst());
        const auto out = TransferSecurity(IdOf(src(), r.fileNumber), dst().string(), true);
        EXPECT_EQ(out.end, r.end);
        if (!r.message.empty()) {
            EXPECT_EQ(out.message, r.message);
        }
        EXPECT_EQ(Snapshot(src()), srcBefore);
        EXPECT_EQ(Snapshot(dst()), dstBefore);
    }
    ASSERT_TRUE(WriteMasterFile(dst() / "MASTER", {full.begin(), full.end() - 1}, 254));
    ASSERT_EQ(TransferSecurity(IdOf(src(), 1), dst().string(), false).end, TransferEnd::kDone);
    EXPECT_EQ(HeaderWords(dst()).first, 255);
}

TEST_F(Transfer, StrayFilesUnderTheNewNumberAreReplacedOnlyWhenTheUserAgrees) {
    WriteBytes(dst() / "F3.DAT", {9, 9, 9});
    WriteBytes(dst() / "F3.DOP", {8, 8});
    const auto master = ReadBytes(dst() / "MASTER");
    std::vector<fs::path> asked;
    const TransferQuestions no{[&](const std::vector<fs::path>& files) {
        asked = files;
        return false;
    }};
    EXPECT_EQ(TransferSecurity(IdOf(src(), 1), dst().string(), true, no).end, End::kDeclined);
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(ReadBytes(dst() / "F3.DAT"), (std::vector<std::uint8_t>{9, 9, 9}));
    EXPECT_EQ(ReadBytes(dst() / "MASTER"), master);
    EXPECT_TRUE(fs::exists(src() / "F1.DAT"));
    // Without anyone to ask they are never replaced.
    EXPECT_EQ(TransferSecurity(IdOf(src(), 1), dst().string(), true).end, TransferEnd::kDeclined);

    const TransferQuestions yes{[](const std::vector<fs::path>&) { return true; }};
    ASSERT_EQ(TransferSecurity(IdOf(src(), 1), dst().string(), true, yes).end, TransferEnd::kDone);
    EXPECT_EQ(ReadBytes(dst() / "F3.DAT").size(), ReadBytes(dst() / "F1.DAT").size());
    // F1 has no layout file: the stray one would have been read as its layout.
    EXPECT_FALSE(fs::exists(dst() / "F3.DOP"));
}

// The security is complete in the source, or in the destination, or in both, whichever
// step of the move fails, and the failure is reported. (That no temporary file is left is
// the write-failure test's, for this move and those of real databases.)
TEST_F(Transfer, AFailingStepNeverLosesTheSecurity) {
    const auto dat = ReadBytes(src() / "F5.DAT");
    const auto srcBefore = ReadBytes(src() / "MASTER"), dstBefore = ReadBytes(dst() / "MASTER");
    robustness::FaultyFileSystem counter;
    ASSERT_EQ(TransferSecurity(IdOf(src(), 5), dst().string(), true, {}, counter).end, End::kDone);
    const auto moveFailing = [&](robustness::FaultyFileSystem& faulty) {
        SetUp();  // both portfolios afresh, without the last run's copy
        for (const char* f : {"F3.DAT", "F3.DOP"}) fs::remove(dst() / f);
        const auto out = TransferSecurity(IdOf(src(), 5), dst().string(), true, {}, faulty);
        ASSERT_TRUE(faulty.fired());
        EXPECT_NE(out.end, TransferEnd::kDone);
        EXPECT_FALSE(out.message.empty());
        const bool inSource =
            ReadBytes(src() / "MASTER") == srcBefore && ReadBytes(src() / "F5.DAT") == dat;
        const bool inDest = FileNumbers(dst()) == std::vector<int>{1, 2, 4, 3} &&
                            ReadBytes(dst() / "F3.DAT") == dat;
        EXPECT_TRUE(inSource || inDest);
        if (out.end == TransferEnd::kFailed) {
            // Nothing changed: the destination is as it was, with no stray copy.
            EXPECT_TRUE(inSource);
            EXPECT_EQ(ReadBytes(dst() / "MASTER"), dstBefore);
            EXPECT_FALSE(fs::exists(dst() / "F3.DAT"));
        }
    };
    EXPECT_GE(robustness::ForEachFailingStep(counter, moveFailing, false), 8);
}

// ----- delete -----

// Every record of the chosen row's symbol goes with its data files (DAT, DOP, BAK), unless
// a record left still names their number; MASTER's two header words go down alike.
TEST(Delete, DropsTheRecordsAndFilesOfTheSymbol) {
    const struct {
        const char* name;
        std::vector<std::pair<int, const char*>> series;  // file number, symbol
        int selected;                                     // file number of the row chosen
        std::vector<int> left;                            // file numbers MASTER holds afterwards
        std::vector<int> filesGone;                       // data files removed
    } rows[] = {
        {"middle of three", {{1, "F1"}, {2, "F2"}, {3, "F3"}}, 2, {1, 3}, {2}},
        {"the last symbol", {{7, "ONLY"}}, 7, {}, {7}},
        {"listed twice", {{1, "AAA"}, {2, "BBB"}, {3, "AAA"}}, 3, {2}, {1, 3}},
        {"case matters", {{1, "AAA"}, {2, "aaa"}}, 1, {2}, {1}},
        {"blank symbols are not the same", {{1, ""}, {2, ""}, {3, "CCC"}}, 2, {1, 3}, {2}},
        {"files still named are kept", {{4, "AAA"}, {4, "BBB"}}, 4, {4}, {}},
    };
    for (const auto& c : rows) {
        SCOPED_TRACE(c.name);
        TempDir tmp;
        std::vector<DemoSeries> series;
        for (const auto& [n, symbol] : c.series) series.push_back(Series(n, symbol, 5, true));
        ASSERT_TRUE(Portfolio(tmp.path(), series));
        for (const auto& [n, symbol] : c.series)
            WriteBytes(tmp.path() / ("F" + std::to_string(n) + ".BAK"), {2});
        const auto [count, counter] = HeaderWords(tmp.path());
        const DeleteOutcome out = DeleteSecurity(IdOf(tmp.path(), c.selected));
        const int dropped = static_cast<int>(c.series.size() - c.left.size());
        ASSERT_EQ(std::pair(out.status, out.dropped), std::pair(kSuccess, dropped));
        EXPECT_EQ(FileNumbers(tmp.path()), c.left);
        EXPECT_EQ(HeaderWords(tmp.path()), std::pair(count - dropped, counter - dropped));
        EXPECT_FALSE(ListSymbols(tmp.path() / "MASTER").countMismatch());
        for (const auto& [n, symbol] : c.series) {
            const bool gone = std::count(c.filesGone.begin(), c.filesGone.end(), n) > 0;
            for (const char* ext : {".DAT", ".DOP", ".BAK"})
                EXPECT_EQ(fs::exists(tmp.path() / ("F" + std::to_string(n) + ext)), !gone)
                    << n << ext;
        }
    }
}

// The text rule on code points, as the command line (UTF-8) and the dialog (any character)
// give them; each refusal names the character. A rename meets it only with what it changes.
TEST(TextRule, RefusalsNameTheCharacterAndARenameChecksOnlyChangedTexts) {
    const struct {
        std::string utf8;
        TextField field;
        const char* said;  // empty: allowed
    } rows[] = {
        {"ACME", TextField::kSymbol, ""},
        {"BRK A", TextField::kSymbol, ""},  // an inner blank is stored whole
        {"~!@#", TextField::kSymbol, ""},
        {" ACME", TextField::kSymbol, "A symbol cannot begin with a blank"},
        {"\xE2\x82\xACUR", TextField::kSymbol, "The symbol cannot hold \"\xE2\x82\xAC\" (U+20AC)"},
        {"A\tB", TextField::kSymbol, "the control character U+0009"},
        {"A\x7F", TextField::kSymbol, "the control character U+007F"},
        {"\xC3\xA9", TextField::kSymbol, "(U+00E9)"},
        {"\xC3", TextField::kSymbol, "the byte 0xC3 (not UTF-8 text)"},      // cut short
        {"A\xFF", TextField::kSymbol, "the byte 0xFF (not UTF-8 text)"},     // never a lead byte
        {"\xC0\x81", TextField::kSymbol, "the byte 0xC0 (not UTF-8 text)"},  // overlong
        {"\xED\xA0\x80", TextField::kSymbol, "the byte 0xED (not UTF-8 text)"},  // a surrogate
        {"\xF0\x9F\x98\x80", TextField::kName, "(U+01F600)"},
        {" Caf\xC3\xA9 & Co", TextField::kName, ""},  // Latin-1, a blank first
        {"\xC2\x85", TextField::kName, "the control character U+0085"},
        {"A\nB", TextField::kName, "the control character U+000A"},
    };
    for (const auto& r : rows) {
        const std::string message = TextRuleRefusal(CodePointsOfUtf8(r.utf8), r.field);
        if (*r.said == '\0')
            EXPECT_EQ(message, "") << r.utf8;
        else
            EXPECT_NE(message.find(r.said), std::string::npos) << r.utf8 << ": " << message;
    }
    // The same rule reads stored Latin-1 bytes.
    EXPECT_EQ(FirstUnfitChar(std::string_view("AB\x80"), TextField::kSymbol), 2u);
    EXPECT_EQ(FirstUnfitChar(std::string_view("Caf\xE9"), TextField::kName),
              std::string_view::npos);

    // A text as it is stored passes whatever it holds; a changed one meets the rule and limits.
    const TextLimits limits;
    TextField field = TextField::kSymbol;
    EXPECT_EQ(CheckRenameTexts(U" OLD", U"N\x01", " OLD", "N\x01", limits, &field), "");
    EXPECT_NE(CheckRenameTexts(U" OLD", U"N\x02", " OLD", "N\x01", limits, &field), "");
    EXPECT_EQ(field, TextField::kName);
    EXPECT_NE(CheckRenameTexts(U"ABCDEFGHIJKLMNOPQ", U"N", "A", "N", limits, &field), "");
    EXPECT_EQ(field, TextField::kSymbol);
    EXPECT_NE(CheckRenameTexts(U"", U"N", "A", "N", limits, &field), "");
}

#ifndef _WIN32
// The real file system, except that one directory takes no new files or that one
// directory's disk is full.
class StuckDirectory final : public FileSystem {
public:
    std::unique_ptr<WritableFile> create(const fs::path& p) override { return real.create(p); }
    bool replace(const fs::path& a, const fs::path& b) override { return real.replace(a, b); }
    bool remove(const fs::path& p) override { return real.remove(p); }
    bool hardLink(const fs::path& a, const fs::path& b) override { return real.hardLink(a, b); }
    bool directoryWritable(const fs::path& d) override {
        return !(readOnly && Same(d)) && real.directoryWritable(d);
    }
    std::optional<std::uintmax_t> freeSpace(const fs::path& d) override {
        if (free && Same(d)) return free;
        return real.freeSpace(d);
    }
    bool Same(const fs::path& d) const {
        return fs::equivalent(d.empty() ? fs::path(".") : d, dir);
    }

    FileSystem& real = RealFileSystem();
    fs::path dir;
    bool readOnly = false;
    std::optional<std::uintmax_t> free;
};

// A move decides first: when the source could not drop the security, nothing reaches the
// destination and the message says which file stopped it.
TEST_F(Transfer, AMoveTheSourceCannotTakeIsRefusedBeforeTheDestinationChanges) {
    // Room for the source's index rewrite, but not after the copy on the disk both share.
    std::uintmax_t indexRoom = 16 * 1024 + 100;
    for (const char* name : {"MASTER", "EMASTER"})
        if (fs::exists(src() / name)) indexRoom += 2 * fs::file_size(src() / name);
    ASSERT_GT(fs::file_size(src() / "F5.DAT"), 100u);
    struct Case {
        const char* what;
        const char* readOnlyFile;  // in the source
        bool dirReadOnly;
        std::optional<std::uintmax_t> free;
        const char* named;  // in the message
    };
    for (const Case& c :
         {Case{"MASTER read-only", "MASTER", false, {}, "MASTER is read-only"},
          Case{"data file read-only", "F5.DAT", false, {}, "F5.DAT is read-only"},
          Case{"directory", nullptr, true, {}, "cannot be written"},
          Case{"full disk", nullptr, false, 1000, "too little free space"},
          Case{"shared disk", nullptr, false, indexRoom, "too little free space"}}) {
        SCOPED_TRACE(c.what);
        if (c.readOnlyFile) {
            ASSERT_EQ(::chmod((src() / c.readOnlyFile).c_str(), 0444), 0);
        }
        const auto srcBefore = Snapshot(src()), dstBefore = Snapshot(dst());
        StuckDirectory fsys;
        fsys.dir = src();
        fsys.readOnly = c.dirReadOnly;
        fsys.free = c.free;
        const auto out = TransferSecurity(IdOf(src(), 5), dst().string(), true, {}, fsys);
        EXPECT_EQ(out.end, TransferEnd::kRefused);
        EXPECT_NE(out.message.find(c.named), std::string::npos) << out.message;
        EXPECT_NE(out.message.find("Nothing was changed"), std::string::npos) << out.message;
        EXPECT_EQ(Snapshot(src()), srcBefore);
        EXPECT_EQ(Snapshot(dst()), dstBefore);
        if (c.readOnlyFile) ::chmod((src() / c.readOnlyFile).c_str(), 0644);
    }
    // A copy leaves the source alone: a read-only data file is copied, mode and all.
    ASSERT_EQ(::chmod((src() / "F5.DAT").c_str(), 0440), 0);
    ASSERT_EQ(TransferSecurity(IdOf(src(), 5), dst().string(), false).end, TransferEnd::kDone);
    struct stat st {};
    ASSERT_EQ(::stat((dst() / "F3.DAT").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0440u);
    EXPECT_EQ(ReadBytes(dst() / "F3.DAT"), ReadBytes(src() / "F5.DAT"));
}
#endif

}  // namespace
}  // namespace barwise
