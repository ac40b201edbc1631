// Delete, move, copy and rename on real databases that keep EMASTER and XMASTER beside
// MASTER: afterwards the three index files agree (read by an independent decoding), the
// security is listed where it belongs with its texts and dates, its quotes read as before,
// and index files that were set aside are left byte for byte as they were. That every
// failing step of these rewrites keeps the files whole is the write-failure test's.
#include <gtest/gtest.h>

#include <optional>
#include <tuple>

#include "cli/clirun.h"
#include "commands/symbols/symbolops.h"
#include "datafiles/series.h"
#include "symboltestdb.h"
#include "testsupport/indexcheck.h"
#include "testsupport/testdb.h"

namespace barwise {
namespace {

using testing::DecodedSecurity;
using testing::IdOf;
using testing::IndexDisagreements;
using testing::IndexKind;
using testing::ReadBytes;
using testing::TempDir;

// A working copy, writable as a user's own files are (the originals are read-only).
fs::path CopyOf(const TempDir& tmp, const std::string& db, const std::string& as = {}) {
    const fs::path to = tmp.path() / (as.empty() ? db : as);
    EXPECT_TRUE(testing::CopyRealDb(db, to)) << db;
    return to;
}

std::optional<DecodedSecurity> Listed(const fs::path& dir, const std::string& symbol) {
    for (const DecodedSecurity& s : testing::DecodeIndexFiles(dir).securities)
        if (s.symbol == symbol) return s;
    return std::nullopt;
}

// Number of quotes of the security and its last close; -1 when it cannot be read.
std::pair<int, float> Quotes(const SecurityId& id) {
    QuoteSeries s;
    if (AllocSeries(s, 50000) != kSuccess || ReadSeries(s, id, 0, 50000) != kSuccess || s.count < 1)
        return {-1, 0};
    return {s.count, s.close(s.count - 1)};
}

// ----- delete -----

// The record leaves the file that lists it, its data file goes, the next free number never
// goes down, and the other index file keeps its bytes.
TEST(IndexDelete, TakesTheRecordOutOfTheFileThatListsIt) {
    const struct {
        const char* db;
        const char* symbol;
        IndexKind kind;
        const char* dataFile;
    } rows[] = {{"equis-xmaster-mini", ".FCHI", IndexKind::kMaster, "F2.DAT"},
                {"equis-xmaster-mini", "AZM.L", IndexKind::kXmaster, "F256.MWD"},
                {"equis-italy", "A2A", IndexKind::kMaster, "F2.DAT"},
                {"equis-italy", "RCS", IndexKind::kXmaster, "F257.MWD"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.symbol);
        TempDir tmp;
        const fs::path dir = CopyOf(tmp, row.db);
        const auto before = testing::DecodeIndexFiles(dir).securities;
        const auto xmaster = ReadBytes(FindNoCase(dir, "XMASTER"));
        const auto master = ReadBytes(FindNoCase(dir, "MASTER"));
        const auto listed = Listed(dir, row.symbol);
        ASSERT_TRUE(listed && listed->index == row.kind);

        const DeleteOutcome out = DeleteSecurity(IdOf(dir, row.symbol));
        ASSERT_EQ(std::pair(out.status, out.dropped), std::pair(kSuccess, 1));
        EXPECT_EQ(IndexDisagreements(dir), std::vector<std::string>{});
        EXPECT_FALSE(Listed(dir, row.symbol));
        EXPECT_EQ(testing::DecodeIndexFiles(dir).securities.size(), before.size() - 1);
        EXPECT_FALSE(fs::exists(dir / row.dataFile));
        const auto x = ReadBytes(FindNoCase(dir, "XMASTER"));
        EXPECT_EQ(GetI32(x.data() + kXmasterNextNumberOffset),
                  GetI32(xmaster.data() + kXmasterNextNumberOffset));
        if (row.kind == IndexKind::kXmaster)
            EXPECT_EQ(ReadBytes(FindNoCase(dir, "MASTER")), master);
        else
            EXPECT_EQ(x, xmaster);
    }
}

// ----- move and copy -----

// From a database with EMASTER and XMASTER into one with EMASTER, or with XMASTER and a full
// MASTER: listed in the right file under the right number, with its texts, dates, data file
// and quotes; XMASTER's two counts and its next free number go up by one; the source keeps
// it only after a copy.
TEST(IndexTransfer, TheDestinationListsItInTheRightFileWithItsValues) {
    const struct {
        const char* symbol;
        const char* destination;
        bool move;
        IndexKind kind;  // where the destination lists it
        int fileNumber;  // its number there
    } rows[] = {{".DJX", "equis-italy-intraday", true, IndexKind::kMaster, 2},
                {"AZM.L", "equis-italy-intraday", true, IndexKind::kMaster, 2},
                {".FCHI", "equis-italy", true, IndexKind::kXmaster, 463},
                {".N225", "equis-italy", false, IndexKind::kXmaster, 463}};
    const auto xmasterWords = [](const fs::path& dir) {
        const auto x = ReadBytes(FindNoCase(dir, "XMASTER"));
        if (x.size() < kXmasterNextNumberOffset + 4) return std::tuple(-1, -1, -1);
        return std::tuple(GetI32(x.data() + kXmasterCountOffset),
                          GetI32(x.data() + kXmasterCountCopyOffset),
                          GetI32(x.data() + kXmasterNextNumberOffset));
    };
    const auto facts = [](const DecodedSecurity& s) {
        return std::tuple(s.fullName(), s.firstDate, s.lastDate, s.period);
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.symbol);
        TempDir tmp;
        const fs::path src = CopyOf(tmp, "equis-xmaster-mini", "src");
        const fs::path dst = CopyOf(tmp, row.destination, "dst");
        const auto before = Listed(src, row.symbol);
        ASSERT_TRUE(before);
        const SecurityId id = IdOf(src, row.symbol);
        const auto quotes = Quotes(id);
        ASSERT_GT(quotes.first, 0);
        const fs::path sourceData =
            SeriesFilePath(src.string(), id.fileNumber, DataExtensionOf(id));
        const auto data = ReadBytes(sourceData);
        const std::size_t destCount = testing::DecodeIndexFiles(dst).securities.size();
        const auto [count, countCopy, next] = xmasterWords(dst);

        const TransferOutcome out = TransferSecurity(id, dst.string(), row.move);
        ASSERT_EQ(out.end, TransferEnd::kDone) << out.message;
        EXPECT_EQ(out.newFileNumber, row.fileNumber);
        EXPECT_EQ(IndexDisagreements(src), std::vector<std::string>{});
        EXPECT_EQ(IndexDisagreements(dst), std::vector<std::string>{});

        const auto after = Listed(dst, row.symbol);
        ASSERT_TRUE(after);
        EXPECT_EQ(std::pair(after->index, after->fileNumber), std::pair(row.kind, row.fileNumber));
        EXPECT_EQ(facts(*after), facts(*before));
        EXPECT_EQ(testing::DecodeIndexFiles(dst).securities.size(), destCount + 1);
        if (row.kind == IndexKind::kXmaster) {
            EXPECT_EQ(next, row.fileNumber);
            EXPECT_EQ(xmasterWords(dst), std::tuple(count + 1, countCopy + 1, next + 1));
        }
        const char* extension = row.kind == IndexKind::kMaster ? ".DAT" : ".MWD";
        EXPECT_EQ(ReadBytes(dst / ("F" + std::to_string(row.fileNumber) + extension)), data);
        EXPECT_EQ(Quotes(IdOf(dst, row.symbol)), quotes);

        EXPECT_EQ(Listed(src, row.symbol).has_value(), !row.move);
        EXPECT_EQ(fs::exists(sourceData), !row.move);
    }
}

// Texts the destination cannot hold whole, and a symbol it lists already, are refused
// before anything is written.
TEST(IndexTransferRefusal, ALongNameOrSymbolIsNeverShortenedNorADuplicateTaken) {
    TempDir tmp;
    const fs::path src = CopyOf(tmp, "equis-xmaster-mini", "src");
    const fs::path plain = tmp.path() / "plain";
    ASSERT_TRUE(testing::Portfolio(plain, {testing::Series(1, "P1")}));
    const fs::path extended = CopyOf(tmp, "equis-italy-intraday", "ext");
    ASSERT_TRUE(testing::Portfolio(tmp.path() / "wide", {testing::Series(1, "SIXTEEN-CHARS-AB")}));
    const auto plainMaster = ReadBytes(plain / "MASTER");
    const auto extendedMaster = ReadBytes(extended / "MASTER");
    const auto srcMaster = ReadBytes(src / "MASTER");

    // ".DJX" is "1/100 Dow Jones INDU": 20 characters, MASTER alone keeps 16.
    TransferOutcome out = TransferSecurity(IdOf(src, ".DJX"), plain.string(), true);
    EXPECT_EQ(out.end, TransferEnd::kRefused);
    EXPECT_NE(out.message.find("Shorten the name"), std::string::npos) << out.message;
    out = TransferSecurity(IdOf(tmp.path() / "wide", "SIXTEEN-CHARS-AB"), extended.string(), false);
    EXPECT_EQ(out.end, TransferEnd::kRefused);
    EXPECT_NE(out.message.find("up to 14"), std::string::npos) << out.message;

    EXPECT_EQ(ReadBytes(plain / "MASTER"), plainMaster);
    EXPECT_EQ(ReadBytes(extended / "MASTER"), extendedMaster);
    EXPECT_EQ(ReadBytes(src / "MASTER"), srcMaster);
    EXPECT_FALSE(fs::exists(plain / "F2.DAT") || fs::exists(extended / "F2.DAT"));
    // The duplicate check sees securities only XMASTER lists.
    ASSERT_TRUE(testing::Portfolio(tmp.path() / "dup", {testing::Series(1, "AZM.L")}));
    out = TransferSecurity(IdOf(tmp.path() / "dup", "AZM.L"), src.string(), true);
    EXPECT_EQ(out.end, TransferEnd::kRefused);
    EXPECT_EQ(out.message, SymbolExistsMessage("AZM.L", src.string()));
    EXPECT_EQ(ReadBytes(src / "MASTER"), srcMaster);
    // A name that fits is taken into a plain MASTER.
    EXPECT_EQ(TransferSecurity(IdOf(src, "AZM.L"), plain.string(), true).end, TransferEnd::kDone);
    EXPECT_TRUE(Listed(plain, "AZM.L").has_value());
}

// ----- rename -----

// rename-symbol takes what the entry holds: a 45-letter name into XMASTER; without a new
// name, a name longer than MASTER's 16 stays whole.
TEST(IndexRename, TheCliTakesWhatTheEntryHolds) {
    const std::string k45 = "A HOLDING COMPANY WHOSE NAME TAKES 45 LETTERS";
    const struct {
        const char* db;
        std::vector<std::string> args;  // after "rename-symbol DIR"
        const char* symbol;             // listed afterwards, with this whole name
        std::string name;
    } rows[] = {{"equis-italy", {"RCS", "RCS.MI", k45}, "RCS.MI", k45},
                {"equis-xmaster-mini", {".DJX", "DJX"}, "DJX", "1/100 Dow Jones INDU"}};
    for (const auto& row : rows) {
        TempDir tmp;
        const fs::path dir = CopyOf(tmp, row.db);
        std::vector<std::string> args = {"rename-symbol", dir.string()};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const auto r = testing::Cli(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(IndexDisagreements(dir), std::vector<std::string>{});
        EXPECT_EQ(Listed(dir, row.symbol).value_or(DecodedSecurity{}).fullName(), row.name);
    }
}

// ----- index files set aside -----

TEST(IndexSetAside, ADeleteAndACopyInLeaveThemByteForByte) {
    TempDir tmp;
    const fs::path dir = CopyOf(tmp, "bbfinance-inconsistent");
    const auto emaster = ReadBytes(dir / "EMASTER"), xmaster = ReadBytes(dir / "XMASTER");
    const auto master = ReadBytes(dir / "MASTER");
    ASSERT_EQ(xmaster.size(), 12u);

    ASSERT_EQ(DeleteSecurity(IdOf(dir, "AUTOI")).status, kSuccess);
    TempDir other;
    ASSERT_TRUE(testing::Portfolio(other.path(), {testing::Series(1, "NEWONE")}));
    ASSERT_EQ(TransferSecurity(IdOf(other.path(), "NEWONE"), dir.string(), false).end,
              TransferEnd::kDone);

    EXPECT_EQ(ReadBytes(dir / "EMASTER"), emaster);
    EXPECT_EQ(ReadBytes(dir / "XMASTER"), xmaster);
    EXPECT_NE(ReadBytes(dir / "MASTER"), master);
    EXPECT_FALSE(Listed(dir, "AUTOI"));
    EXPECT_TRUE(Listed(dir, "NEWONE").has_value());
}

}  // namespace
}  // namespace barwise
