// Rewrites of a series' quote file: which bytes each edit changes, the refusals decided
// before the first write, edits by identity, intraday edits, and what a rewrite keeps of
// the file it replaces (permissions, read-only files, symbolic links, bytes past the
// header's quotes, the old file as the backup).
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <fstream>
#include <limits>
#include <tuple>

#include "datafiles/rewrite.h"
#include "datafiles/series.h"
#include "robustness/faultyfs.h"
#include "testsupport/snapshot.h"
#include "testsupport/testdb.h"

namespace barwise {
namespace {

using robustness::FaultyFileSystem;
using robustness::Step;
using testing::Entry;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteDat;
using testing::WriteMaster;

using Values = std::array<float, 6>;

// A date real of January 2000 (Monday 3 to Monday 10).
float Jan(int day) {
    return 1000100.0f + static_cast<float>(day);
}

// "ABC" (file 1, 28-byte records): weekday quotes from Monday 3 January 2000 whose prices
// are 20 + i; "TICK" (file 2): intraday, DATE TIME CLOSE VOL from its DOP, three quotes on
// Monday 3 January (9:30, 9:40, 9:50) and one on Tuesday.
class RewriteTest : public ::testing::Test {
protected:
    TempDir tmp;
    fs::path master = tmp.path() / "MASTER";
    fs::path dat = tmp.path() / "F1.DAT";
    fs::path bak = tmp.path() / "F1.BAK";
    std::vector<float> dates;

    void SetUp() override {
        WriteDat(tmp.path() / "F2.DAT", 16,
                 {{Jan(3), 93000, 5, 100},
                  {Jan(3), 94000, 5.5f, 100},
                  {Jan(3), 95000, 5.75f, 100},
                  {Jan(4), 93000, 6, 100}});
        testing::WriteText(tmp.path() / "F2.DOP",
                           "\"DATE\",0,0\n\"TIME\",0,0\n\"CLOSE\",2,2\n\"VOL\",0,0\n");
        Write(10);
    }
    void Write(int quotes) {
        dates = testing::Weekdays(2000, 1, 3, quotes);
        std::vector<std::vector<float>> rows;
        for (int i = 0; i < quotes; ++i) {
            const float p = 20.0f + static_cast<float>(i);
            rows.push_back({dates[static_cast<std::size_t>(i)], p, p + 0.5f, p - 0.5f, p + 0.25f,
                            1000.0f * static_cast<float>(i + 1), 3.0f});
        }
        WriteDat(dat, 28, rows);
        WriteMaster(tmp.path(), {Entry(1, "ABC", "ABC CORP", 28, 7, dates.front(), dates.back()),
                                 Entry(2, "TICK", "TICKS", 16, 4, Jan(3), Jan(4), 'I')});
    }
    // Every quote of the series, the newest last.
    QuoteSeries Read(const std::string& key) {
        QuoteSeries s;
        EXPECT_EQ(AllocSeries(s, 4000), kSuccess);
        EXPECT_EQ(ReadSeries(s, tmp.str(), key, -1, -1), kSuccess);
        return s;
    }
    DateCode Day(int i) const { return DateFromReal(dates[static_cast<std::size_t>(i)]); }
    DataStatus Run(EditOp op, DateCode from, DateCode to, Values values = {2, 2, 2, 2, 1, 1},
                   FileSystem& fsys = RealFileSystem()) {
        return RewriteSeries(testing::MakeEdit(op, from, to, values), tmp.str(), "ABC", fsys);
    }
    // A Scale by 2 of every quote, or a Delete or Insert of quote `day`.
    DataStatus Run(EditOp op, int day = 0, FileSystem& fsys = RealFileSystem()) {
        if (op == EditOp::kScale) return Run(op, kFirstDay, kLastDay, {2, 2, 2, 2, 1, 1}, fsys);
        return Run(op, Day(day), Day(day), {}, fsys);
    }
    float MasterDate(std::size_t offset) {
        return MbfToFloat(ReadBytes(master).data() + kMasterRecordSize + offset);
    }
    // The files of the portfolio (or of dir) by name, the lock file left out.
    std::vector<std::string> Names(const fs::path& dir = {}) const {
        std::vector<std::string> names;
        for (const auto& [name, bytes] : testing::Snapshot(dir.empty() ? tmp.path() : dir))
            names.push_back(name);
        return names;
    }
    testing::Files Snapshot() const { return testing::Snapshot(tmp.path()); }
    std::vector<std::string> Changed(const testing::Files& before) const {
        return testing::ChangedSince(tmp.path(), before);
    }
};

// A Scale of the days from 2 to 4 (both included): their prices halved and volume doubled,
// every other byte (header, dates, open interest at factor 1, other days) as it was.
TEST_F(RewriteTest, ScaleChangesTheFactorsFieldsOfTheDaysInRangeAndNothingElse) {
    const auto before = ReadBytes(dat);
    ASSERT_EQ(Run(EditOp::kScale, Day(2), Day(4), {0.5f, 0.5f, 0.5f, 0.5f, 2.0f, 1.0f}), kSuccess);
    auto expected = before;
    for (std::size_t record = 3; record <= 5; ++record) {
        for (std::size_t field = 1; field <= 5; ++field) {
            std::uint8_t* at = expected.data() + record * 28 + field * 4;
            const MbfBytes scaled = FloatToMbf(MbfToFloat(at) * (field == 5 ? 2.0f : 0.5f));
            std::copy(scaled.begin(), scaled.end(), at);
        }
    }
    EXPECT_EQ(ReadBytes(dat), expected);
    EXPECT_EQ(ReadBytes(bak), before);
}

TEST_F(RewriteTest, SetChangesOneDayAndAMissingDayChangesNothing) {
    ASSERT_EQ(Run(EditOp::kSet, Day(3), Day(3), {1, 2, 0.5f, 1.5f, 77, 3}), kSuccess);
    QuoteSeries s = Read("ABC");
    EXPECT_EQ(testing::QuoteValues(s, 3), (std::vector<float>{1, 2, 0.5f, 1.5f, 77, 3}));
    EXPECT_EQ(s.date(3), Day(3));
    EXPECT_EQ(s.open(2), 22.0f);
    // Nothing changed, so nothing is written: not even the backup.
    const DateCode saturday = static_cast<DateCode>(Day(4) + 1);
    fs::remove(bak);
    const auto before = Snapshot();
    ASSERT_EQ(Run(EditOp::kSet, saturday, saturday, {1, 1, 1, 1, 1, 1}), kSuccess);
    EXPECT_EQ(Changed(before), std::vector<std::string>{});
}

// Delete and Insert of one daily quote of January 2000 (each quote's prices are its number,
// 1 on), and the quotes after as "day:close". A Delete that takes the first or the last
// quote moves MASTER's first or last date; anything else leaves MASTER byte for byte.
// Insert copies the quote to the weekday before it, refused where that would break the
// date order.
TEST_F(RewriteTest, DeleteAndInsertOfOneQuote) {
    const EditOp del = EditOp::kDelete, ins = EditOp::kInsert;
    // What the case shows, the days of January 2000 held, the edit of `day`, its status, after.
    const std::tuple<const char*, std::vector<int>, EditOp, int, DataStatus, const char*> cases[] =
        {
            {"delete the first", {3, 4, 5}, del, 3, kSuccess, "4:2 5:3"},
            {"delete the last", {3, 4, 5}, del, 5, kSuccess, "3:1 4:2"},
            {"delete a middle one", {3, 4, 5}, del, 4, kSuccess, "3:1 5:3"},
            {"delete the only one", {3}, del, 3, kSuccess, ""},
            {"insert copies to the day before", {3, 5, 10}, ins, 5, kSuccess, "3:1 4:2 5:2 10:3"},
            {"insert of a Monday: Friday", {3, 5, 10}, ins, 10, kSuccess, "3:1 5:2 7:3 10:3"},
            {"the day before is held", {3, 4, 5}, ins, 5, kInsertOutOfOrder, "3:1 4:2 5:3"},
            // Friday 7, Saturday 8, Monday 10: Monday's copy would be dated Friday, after Saturday.
            {"insert behind a Saturday", {7, 8, 10}, ins, 10, kInsertOutOfOrder, "7:1 8:2 10:3"},
            {"insert of a day not held", {7, 8, 10}, ins, 9, kRecordNotFound, "7:1 8:2 10:3"},
            {"insert before every quote", {7, 8, 10}, ins, 7, kSuccess, "6:1 7:1 8:2 10:3"},
        };
    for (const auto& [what, held, op, day, status, after] : cases) {
        SCOPED_TRACE(what);
        std::vector<std::vector<float>> rows;
        for (std::size_t i = 0; i < held.size(); ++i) {
            const float p = static_cast<float>(i + 1);
            rows.push_back({Jan(held[i]), p, p, p, p, p, p});
        }
        WriteDat(dat, 28, rows);
        WriteMaster(tmp.path(),
                    {Entry(1, "ABC", "ABC CORP", 28, 7, Jan(held.front()), Jan(held.back()))});
        const auto before = Snapshot();
        ASSERT_EQ(Run(op, DateFromReal(Jan(day)), DateFromReal(Jan(day)), {}), status);
        if (status != kSuccess) {
            EXPECT_EQ(Changed(before), std::vector<std::string>{});
        }
        const QuoteSeries s = Read("ABC");
        std::string quotes;
        for (int i = 0; i < s.count; ++i) {
            const int d = static_cast<int>(DateToReal(s.date(i)) - Jan(0));
            quotes += (i ? " " : "") + std::to_string(d) + ":" + std::to_string(int(s.close(i)));
        }
        EXPECT_EQ(quotes, after);
        EXPECT_EQ(GetI16(ReadBytes(dat).data() + 2), s.count + 1);
        const bool moves = op == del && s.count > 0 && (day == held.front() || day == held.back());
        if (moves) {
            EXPECT_EQ(MasterDate(kMasterFirstDateOffset), DateToReal(s.date(0)));
            EXPECT_EQ(MasterDate(kMasterLastDateOffset), DateToReal(s.date(s.count - 1)));
        } else {
            EXPECT_EQ(ReadBytes(master), before.at("MASTER"));
        }
    }
}

// A quote of 1908 is itself, not the one of 2008: a Set changes it, a Scale from the first
// quote on covers it, and a Delete of the first quote moves MASTER's first date to 1908's
// next quote.
TEST_F(RewriteTest, EditsOfQuotesBefore1961ChangeExactlyThoseQuotes) {
    WriteDat(
        dat, 28,
        {{80309, 1, 1, 1, 1, 10, 0}, {80310, 2, 2, 2, 2, 20, 0}, {1080310, 3, 3, 3, 3, 30, 0}});
    WriteMaster(tmp.path(), {Entry(1, "ABC", "ABC CORP", 28, 7, 80309, 1080310)});
    const DateCode early = MakeDate(1908, 3, 10), first = MakeDate(1908, 3, 9);
    ASSERT_EQ(Run(EditOp::kSet, early, early, {5, 6, 4, 5.5f, 99, 0}), kSuccess);
    ASSERT_EQ(Run(EditOp::kScale), kSuccess);
    ASSERT_EQ(Run(EditOp::kDelete, first, first), kSuccess);
    const QuoteSeries s = Read("ABC");
    ASSERT_EQ(s.count, 2);
    EXPECT_EQ(std::tuple(s.close(0), s.close(1), s.date(1)),
              std::tuple(11.0f, 6.0f, MakeDate(2008, 3, 10)));
    EXPECT_EQ(std::pair(MasterDate(kMasterFirstDateOffset), MasterDate(kMasterLastDateOffset)),
              std::pair(80310.0f, 1080310.0f));
}

TEST_F(RewriteTest, DeleteInASubdirectoryUpdatesThatMaster) {
    // SUB/F1.DAT belongs to "DEEP"; file number 1 of the portfolio's MASTER is "ABC".
    const fs::path sub = tmp.path() / "SUB";
    fs::create_directories(sub);
    WriteDat(sub / "F1.DAT", 28, {{dates[0], 1, 1, 1, 1, 1, 1}, {dates[1], 2, 2, 2, 2, 2, 2}});
    WriteMaster(sub, {Entry(1, "DEEP", "DEEP", 28, 7, dates[0], dates[1])});
    WriteMaster(tmp.path(), {Entry(1, "ABC", "ABC CORP", 28, 7, dates.front(), dates.back()),
                             testing::SubdirEntry("SUB")});
    const auto topBefore = ReadBytes(master);
    ASSERT_EQ(RewriteSeries(testing::MakeEdit(EditOp::kDelete, Day(0), Day(0)), tmp.str(), "DEEP"),
              kSuccess);
    EXPECT_EQ(ReadBytes(master), topBefore);
    EXPECT_EQ(MbfToFloat(ReadBytes(sub / "MASTER").data() + 53 + 25), dates[1]);
    EXPECT_EQ(ReadBytes(dat).size(), 11u * 28);  // ABC's own file untouched
}

// Every refusal is decided before the first write: the data file, MASTER and both
// backups (made by an earlier scale) stay byte for byte as they were.
TEST_F(RewriteTest, RefusedEditsLeaveEveryFileAndTheBackupsAsTheyWere) {
    ASSERT_EQ(Run(EditOp::kScale), kSuccess);
    ASSERT_EQ(Run(EditOp::kDelete), kSuccess);  // a MASTER.BAK too
    const auto before = Snapshot();

    const float inf = std::numeric_limits<float>::infinity();
    const DateCode sunday = static_cast<DateCode>(Day(4) + 2), d = Day(3);
    const DateCode a = kFirstDay, z = kLastDay;
    const EditOp set = EditOp::kSet, scale = EditOp::kScale;
    const std::tuple<const char*, EditOp, DateCode, DateCode, Values, DataStatus> cases[] = {
        {"delete of a date not held", EditOp::kDelete, sunday, sunday, {}, kDeleteNotFound},
        {"set without an MBF form", set, d, d, {1, 1, 1, 1, inf, 1}, kInvalidParm},
        {"scale out of the MBF range", scale, a, z, {1, 1, 1, 1, 3.0e38f, 1}, kInvalidParm},
        // Below the MBF range a value other than 0 would be stored as 0: refused alike.
        {"scale to below the MBF range", scale, a, z, {1e-40f, 1, 1, 1, 1, 1}, kInvalidParm},
        {"set to a subnormal", set, d, d, {1, 1, 1, 1e-39f, 1, 1}, kInvalidParm},
        {"unknown operation", static_cast<EditOp>(2), a, z, {}, kInvalidParm},
    };
    for (const auto& [what, op, from, to, values, expected] : cases) {
        EXPECT_EQ(Run(op, from, to, values), expected) << what;
        EXPECT_EQ(Changed(before), std::vector<std::string>{}) << what;
    }

    // A header with no room for another quote refuses an Insert the same way.
    WriteDat(dat, 28,
             std::vector<std::vector<float>>(kMaxQuotesPerFile, {dates[0], 1, 1, 1, 1, 1, 1}));
    const auto full = Snapshot();
    EXPECT_EQ(Run(EditOp::kInsert), kInvalidParm);
    EXPECT_EQ(Changed(full), std::vector<std::string>{});

    // A key that names nothing, and a data file that is gone, fail before anything is made.
    EXPECT_EQ(RewriteSeries({}, tmp.str(), "NOPE"), kFileNotFound);
    fs::remove(dat);
    fs::remove(bak);
    EXPECT_EQ(Run(EditOp::kSet, a, z), kFileOpen);
    EXPECT_FALSE(fs::exists(dat));
    EXPECT_FALSE(fs::exists(bak));
}

TEST_F(RewriteTest, DeleteWhoseMasterUpkeepFailsSaysTheQuoteIsGone) {
    const auto masterBefore = ReadBytes(master);
    // MASTER's temporary cannot be created, after the quote file was replaced.
    FaultyFileSystem failing(Step::kCreate, std::string("MASTER"));
    EXPECT_EQ(Run(EditOp::kDelete, 9, failing), kDeletedMasterStale);
    EXPECT_EQ(std::tuple(failing.fired(), Read("ABC").count, ReadBytes(master) == masterBefore),
              std::tuple(true, 9, true));
}

// Two entries whose symbols read the same to a lookup by text ("BRK A" and "BRK B" are both
// found as "BRK"): by identity each is its own security, and an identity whose entry has
// changed since it was taken is refused before anything is written.
TEST_F(RewriteTest, IdentityNamesTheEntryNotItsText) {
    WriteDat(tmp.path() / "F3.DAT", 28, {{dates[0], 7, 7, 7, 7, 70, 0}});
    WriteMaster(tmp.path(),
                {Entry(1, "BRK A", "BERKSHIRE A", 28, 7, dates.front(), dates.back()),
                 Entry(3, "BRK B", "BERKSHIRE B", 28, 7, dates.front(), dates.front())});
    SecurityId first, second{IndexFile::kMaster, WithTrailingSeparator(tmp.str()), 2, 3};
    MasterRecord rec;
    ASSERT_EQ(FindSymbol(tmp.str(), "BRK", rec, first), kSuccess);
    EXPECT_EQ(first, (SecurityId{IndexFile::kMaster, second.directory, 1, 1}));

    const EditRequest r =
        testing::MakeEdit(EditOp::kScale, kFirstDay, kLastDay, {2, 2, 2, 2, 1, 1});
    const auto firstBefore = ReadBytes(dat);
    ASSERT_EQ(RewriteSeries(r, second, RealFileSystem()), kSuccess);
    EXPECT_EQ(ReadBytes(dat), firstBefore);
    QuoteSeries s;
    ASSERT_EQ(AllocSeries(s, 10), kSuccess);
    ASSERT_EQ(ReadSeries(s, second, 0, 10), kSuccess);
    EXPECT_EQ(std::tuple(s.close(0), s.id), std::tuple(14.0f, second));

    const auto secondBefore = ReadBytes(tmp.path() / "F3.DAT");
    for (const auto& [position, fileNumber] : {std::pair{2, 4}, {3, 3}, {0, 3}}) {
        const SecurityId stale{IndexFile::kMaster, second.directory, position, fileNumber};
        EXPECT_EQ(RewriteSeries(r, stale, RealFileSystem()), kFileNotFound);
        EXPECT_EQ(ReadSeries(s, stale, 0, 10), kFileNotFound);
    }
    EXPECT_EQ(ReadBytes(tmp.path() / "F3.DAT"), secondBefore);
}

// On a series with a TIME column an edit names its quote by date and time: Insert copies the
// quote of that time to the weekday before, Delete takes the quote of that time, or without
// a time the first quote of the date, and a time the date does not hold deletes nothing.
TEST_F(RewriteTest, IntradayEditsActOnTheQuoteOfTheirTime) {
    const DateCode monday = DateFromReal(Jan(3));
    EditRequest r = testing::MakeEdit(EditOp::kInsert, monday, monday);
    r.time = MakeTime(9, 40, 0);
    ASSERT_EQ(RewriteSeries(r, tmp.str(), "TICK"), kSuccess);
    QuoteSeries s = Read("TICK");
    // The copy is dated the Friday before Monday 3 January.
    EXPECT_EQ(std::tuple(s.count, s.date(0), s.time(0), s.close(0)),
              std::tuple(5, MakeDate(1999, 12, 31), MakeTime(9, 40, 0), 5.5f));
    r.op = EditOp::kDelete;
    ASSERT_EQ(RewriteSeries(r, tmp.str(), "TICK"), kSuccess);
    s = Read("TICK");
    EXPECT_EQ(std::tuple(s.count, s.close(1), s.close(2)), std::tuple(4, 5.0f, 5.75f));
    r.time.reset();
    ASSERT_EQ(RewriteSeries(r, tmp.str(), "TICK"), kSuccess);
    s = Read("TICK");
    EXPECT_EQ(std::tuple(s.count, s.time(1), s.date(2)),
              std::tuple(3, MakeTime(9, 50, 0), DateFromReal(Jan(4))));
    r.time = MakeTime(10, 0, 0);
    EXPECT_EQ(RewriteSeries(r, tmp.str(), "TICK"), kDeleteNotFound);
    EXPECT_EQ(Read("TICK").count, 3);
}

// A file whose header counts 3,000 quotes but that goes on for megabytes: the quotes are
// changed, the rest is kept byte for byte, and it is never written (or held) whole.
TEST_F(RewriteTest, BytesPastTheHeadersQuotesAreCopiedAsTheyAre) {
    constexpr int kQuotes = 3000;
    constexpr std::uintmax_t kTail = 6u << 20;
    for (const EditOp op : {EditOp::kScale, EditOp::kDelete, EditOp::kInsert}) {
        SCOPED_TRACE(static_cast<int>(op));
        Write(kQuotes);
        const std::uintmax_t quotesEnd = 28u * (kQuotes + 1);
        fs::resize_file(dat, quotesEnd + kTail);  // sparse
        {
            std::fstream f(dat, std::ios::in | std::ios::out | std::ios::binary);
            f.seekp(static_cast<std::streamoff>(quotesEnd + 5));
            f.write("tail start", 10);
            f.seekp(static_cast<std::streamoff>(quotesEnd + kTail - 8));
            f.write("tail end", 8);
        }
        const auto before = ReadBytes(dat);
        FaultyFileSystem measured;
        ASSERT_EQ(Run(op, op == EditOp::kInsert ? 0 : 100, measured), kSuccess);
        const auto after = ReadBytes(dat);
        const int change = op == EditOp::kDelete ? -1 : op == EditOp::kInsert ? 1 : 0;
        const std::size_t newEnd = quotesEnd + 28 * change;
        ASSERT_EQ(after.size(), newEnd + kTail);
        EXPECT_TRUE(std::equal(after.begin() + static_cast<std::ptrdiff_t>(newEnd), after.end(),
                               before.begin() + static_cast<std::ptrdiff_t>(quotesEnd)));
        EXPECT_EQ(ReadBytes(bak), before);
        // The quotes and then blocks: no write comes near the file's size.
        EXPECT_LE(measured.largestWrite(), std::max<std::size_t>(newEnd, 256 * 1024));
        const QuoteSeries s = Read("ABC");
        EXPECT_EQ(s.count, kQuotes + change);
        EXPECT_EQ(s.close(s.count - 1), (20.0f + kQuotes - 1 + 0.25f) * (change == 0 ? 2 : 1));
    }
}

#ifndef _WIN32
struct stat StatOf(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
    return st;
}
mode_t ModeOf(const fs::path& p) {
    return StatOf(p).st_mode & 07777;
}

// Where the file system has hard links, the old file itself becomes the backup; the new
// files keep the old ones' permissions.
TEST_F(RewriteTest, TheOldFileIsTheBackupAndItsPermissionsAreKept) {
    for (const mode_t mode : {0640, 0600, 0604, 0660}) {
        SCOPED_TRACE(mode);
        Write(10);
        fs::remove(bak);
        ASSERT_EQ(::chmod(dat.c_str(), mode), 0);
        ASSERT_EQ(::chmod(master.c_str(), mode), 0);
        const ino_t old = StatOf(dat).st_ino;
        const mode_t mask = ::umask(0);  // new files would be 0666 if nothing kept the old mode
        const DataStatus s = Run(EditOp::kDelete);  // the first quote: F1.DAT and MASTER
        ::umask(mask);
        ASSERT_EQ(s, kSuccess);
        EXPECT_EQ(std::tuple(ModeOf(dat), ModeOf(master), ModeOf(bak), StatOf(bak).st_ino),
                  std::tuple(mode, mode, mode, old));
    }
}

// A file the user made read-only is refused as a save would be, before anything is
// written: neither the data file, nor MASTER, nor the backups change.
TEST_F(RewriteTest, AReadOnlyFileIsRefusedAndNothingChanges) {
    // A Scale leaves MASTER alone, so MASTER read-only does not stop it.
    for (const auto& [file, op, refused] :
         {std::tuple{"F1.DAT", EditOp::kScale, true}, std::tuple{"F1.DAT", EditOp::kDelete, true},
          std::tuple{"MASTER", EditOp::kDelete, true},
          std::tuple{"MASTER", EditOp::kScale, false}}) {
        SCOPED_TRACE(std::string(file) + " op " + std::to_string(static_cast<int>(op)));
        Write(10);
        ASSERT_EQ(Run(EditOp::kScale), kSuccess);  // a backup to keep
        const auto before = Snapshot();
        const fs::path path = tmp.path() / file;
        ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
        EXPECT_EQ(Run(op), refused ? kReadOnly : kSuccess);  // Delete: the first quote
        if (!refused) continue;
        EXPECT_EQ(Changed(before), std::vector<std::string>{});
        EXPECT_EQ(ModeOf(path), 0444u);
        ::chmod(path.c_str(), 0644);
    }
}

// Links named F1.DAT and MASTER: the files they lead to are rewritten, with backups and
// temporaries beside them, and the links stay links.
TEST_F(RewriteTest, ASymbolicLinkKeepsLeadingToTheRewrittenFile) {
    TempDir elsewhere;
    const fs::path realDat = elsewhere.path() / "ACME.DAT";
    const fs::path realMaster = elsewhere.path() / "STOCKS.IDX";
    fs::rename(dat, realDat);
    fs::rename(master, realMaster);
    fs::create_symlink(realDat, dat);
    fs::create_symlink(fs::relative(realMaster, tmp.path()), master);
    const auto oldDat = ReadBytes(realDat), oldMaster = ReadBytes(realMaster);

    ASSERT_EQ(Run(EditOp::kDelete), kSuccess);  // the first quote: MASTER's first date changes
    EXPECT_TRUE(fs::is_symlink(dat) && fs::is_symlink(master));
    EXPECT_EQ(fs::canonical(dat), fs::canonical(realDat));
    EXPECT_EQ(ReadBytes(realDat).size(), oldDat.size() - 28);
    EXPECT_NE(ReadBytes(realMaster), oldMaster);
    EXPECT_EQ(ReadBytes(elsewhere.path() / "ACME.BAK"), oldDat);
    EXPECT_EQ(ReadBytes(elsewhere.path() / "STOCKS.IDX.BAK"), oldMaster);
    // Nothing beside the links but the links; nothing else left beside the files.
    EXPECT_EQ(Names(), (std::vector<std::string>{"F1.DAT", "F2.DAT", "F2.DOP", "MASTER"}));
    EXPECT_EQ(Names(elsewhere.path()),
              (std::vector<std::string>{"ACME.BAK", "ACME.DAT", "STOCKS.IDX", "STOCKS.IDX.BAK"}));
}
#endif

}  // namespace
}  // namespace barwise
