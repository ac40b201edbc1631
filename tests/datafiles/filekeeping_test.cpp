// What a rewrite keeps of the file it replaces: its permissions, a read-only file left
// alone, the file a symbolic link leads to rewritten in place of the link, bytes past the
// header's quotes copied as they are (without holding the file), and a Delete that would
// leave MASTER's dates stale refused before the data file is replaced.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "datafiles/fileio.h"
#include "datafiles/portfoliolock.h"
#include "datafiles/rewrite.h"
#include "datafiles/series.h"
#include "robustness/faultyfs.h"
#include "testsupport/testdb.h"

namespace barwise {
namespace {

using robustness::FaultyFileSystem;
using robustness::Step;

using testing::Entry;
using testing::ReadBytes;
using testing::TempDir;
using testing::Weekdays;
using testing::WriteDat;
using testing::WriteMaster;

class FileKeeping : public ::testing::Test {
protected:
    TempDir tmp;
    fs::path master = tmp.path() / "MASTER";
    fs::path dat = tmp.path() / "F1.DAT";
    std::vector<float> dates = Weekdays(2000, 1, 3, 10);

    void SetUp() override { Write(10); }
    void Write(int quotes) {
        dates = Weekdays(1990, 1, 1, quotes);
        std::vector<std::vector<float>> rows;
        for (int i = 0; i < quotes; ++i) rows.push_back({dates[static_cast<std::size_t>(i)], 10, 11, 9, 10.5f, 100, 0});
        WriteDat(dat, 28, rows);
        WriteMaster(tmp.path(), {Entry(1, "ABC", "ABC CORP", 28, 7, dates.front(), dates.back())});
    }
    DataStatus Run(EditOp op, FileSystem& fsys = RealFileSystem(), int day = 0) {
        EditRequest r;
        r.op = op;
        r.values = {2, 2, 2, 2, 1, 1};
        r.from = op == EditOp::kScale ? kFirstDay : DateFromReal(dates[static_cast<std::size_t>(day)]);
        r.to = op == EditOp::kScale ? kLastDay : r.from;
        return RewriteSeries(r, tmp.str(), "ABC", fsys);
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(tmp.path()))
            if (e.path().filename() != kLockFileName) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

#ifndef _WIN32
mode_t ModeOf(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
    return st.st_mode & 07777;
}

TEST_F(FileKeeping, RewritesKeepTheFilesPermissions) {
    for (const mode_t mode : {0640, 0600, 0604, 0660}) {
        SCOPED_TRACE(mode);
        Write(10);
        ASSERT_EQ(::chmod(dat.c_str(), mode), 0);
        ASSERT_EQ(::chmod(master.c_str(), mode), 0);
        const mode_t mask = ::umask(0);  // new files would be 0666 if nothing kept the old mode
        const DataStatus s = Run(EditOp::kDelete);  // the first quote: F1.DAT and MASTER
        ::umask(mask);
        ASSERT_EQ(s, kSuccess);
        EXPECT_EQ(ModeOf(dat), mode);
        EXPECT_EQ(ModeOf(master), mode);
        EXPECT_EQ(ModeOf(tmp.path() / "F1.BAK"), mode);
    }
}

// A file the user made read-only is refused as a save would be, before anything is
// written: neither the data file, nor MASTER, nor the backups change.
TEST_F(FileKeeping, AReadOnlyFileIsRefusedAndNothingChanges) {
    struct Case {
        const char* file;
        EditOp op;
        bool refused;
    };
    // A Scale leaves MASTER alone, so MASTER read-only does not stop it.
    for (const Case& c : {Case{"F1.DAT", EditOp::kScale, true}, Case{"F1.DAT", EditOp::kDelete, true},
                          Case{"MASTER", EditOp::kDelete, true}, Case{"MASTER", EditOp::kScale, false}}) {
        SCOPED_TRACE(std::string(c.file) + " op " + std::to_string(static_cast<int>(c.op)));
        Write(10);
        ASSERT_EQ(Run(EditOp::kScale), kSuccess);  // a backup to keep
        const auto datBefore = ReadBytes(dat), masterBefore = ReadBytes(master);
        const auto backupBefore = ReadBytes(tmp.path() / "F1.BAK");
        const auto names = Names();
        ASSERT_EQ(::chmod((tmp.path() / c.file).c_str(), 0444), 0);
        EXPECT_EQ(Run(c.op), c.refused ? kReadOnly : kSuccess);  // Delete: the first quote
        if (!c.refused) continue;
        EXPECT_EQ(ReadBytes(dat), datBefore);
        EXPECT_EQ(ReadBytes(master), masterBefore);
        EXPECT_EQ(ReadBytes(tmp.path() / "F1.BAK"), backupBefore);
        EXPECT_EQ(Names(), names);
        EXPECT_EQ(ModeOf(tmp.path() / c.file), 0444u);
        ::chmod((tmp.path() / c.file).c_str(), 0644);
    }
}

// Links named F1.DAT and MASTER: the files they lead to are rewritten, with backups and
// temporaries beside them, and the links stay links.
TEST_F(FileKeeping, ASymbolicLinkKeepsLeadingToTheRewrittenFile) {
    TempDir elsewhere;
    const fs::path realDat = elsewhere.path() / "ACME.DAT";
    const fs::path realMaster = elsewhere.path() / "STOCKS.IDX";
    fs::rename(dat, realDat);
    fs::rename(master, realMaster);
    fs::create_symlink(realDat, dat);
    fs::create_symlink(fs::relative(realMaster, tmp.path()), master);
    const auto oldDat = ReadBytes(realDat), oldMaster = ReadBytes(realMaster);

    ASSERT_EQ(Run(EditOp::kDelete), kSuccess);  // the first quote: MASTER's first date changes
    EXPECT_TRUE(fs::is_symlink(dat));
    EXPECT_TRUE(fs::is_symlink(master));
    EXPECT_EQ(fs::canonical(dat), fs::canonical(realDat));
    EXPECT_EQ(ReadBytes(realDat).size(), oldDat.size() - 28);
    EXPECT_NE(ReadBytes(realMaster), oldMaster);
    EXPECT_EQ(ReadBytes(elsewhere.path() / "ACME.BAK"), oldDat);
    EXPECT_EQ(ReadBytes(elsewhere.path() / "STOCKS.IDX.BAK"), oldMaster);
    // Nothing beside the links but the links; nothing else left beside the files.
    EXPECT_EQ(Names(), (std::vector<std::string>{"F1.DAT", "MASTER"}));
    std::vector<std::string> there;
    for (const auto& e : fs::directory_iterator(elsewhere.path())) there.push_back(e.path().filename().string());
    std::sort(there.begin(), there.end());
    EXPECT_EQ(there, (std::vector<std::string>{"ACME.BAK", "ACME.DAT", "STOCKS.IDX", "STOCKS.IDX.BAK"}));
}
#endif

// A file whose header counts 3,000 quotes but that goes on for megabytes: the quotes are
// changed, the rest is kept byte for byte, and it is never written (or held) whole.
TEST_F(FileKeeping, BytesPastTheHeadersQuotesAreCopiedAsTheyAre) {
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
        ASSERT_EQ(Run(op, measured, op == EditOp::kInsert ? 0 : 100), kSuccess);
        const auto after = ReadBytes(dat);
        const std::size_t newEnd = op == EditOp::kDelete   ? quotesEnd - 28
                                   : op == EditOp::kInsert ? quotesEnd + 28
                                                           : quotesEnd;
        ASSERT_EQ(after.size(), newEnd + kTail);
        EXPECT_TRUE(std::equal(after.begin() + static_cast<std::ptrdiff_t>(newEnd), after.end(),
                               before.begin() + static_cast<std::ptrdiff_t>(quotesEnd)));
        EXPECT_EQ(ReadBytes(tmp.path() / "F1.BAK"), before);
        // The quotes and then blocks: no write comes near the file's size.
        EXPECT_LE(measured.largestWrite(), std::max<std::size_t>(newEnd, 256 * 1024));
        QuoteSeries s;
        ASSERT_EQ(AllocSeries(s, kQuotes + 1), kSuccess);
        ASSERT_EQ(ReadSeries(s, tmp.str(), "ABC", 0, kQuotes + 1), kSuccess);
        EXPECT_EQ(s.count, op == EditOp::kDelete ? kQuotes - 1 : op == EditOp::kInsert ? kQuotes + 1 : kQuotes);
        if (op == EditOp::kScale) {
            EXPECT_EQ(s.close(kQuotes - 1), 21.0f);
        }
    }
}

// A Delete that changes MASTER's dates on a disk without room for MASTER's rewrite is
// refused before the data file is replaced; with room it goes through.
TEST_F(FileKeeping, ADeleteThatCouldNotUpdateMasterIsRefusedFirst) {
    const auto datBefore = ReadBytes(dat), masterBefore = ReadBytes(master);
    const auto names = Names();
    for (const std::uintmax_t free : {0u, 300u, 8u * 1024u}) {
        SCOPED_TRACE(free);
        FaultyFileSystem full = FaultyFileSystem::FullAfter(free);
        EXPECT_EQ(Run(EditOp::kDelete, full, 0), kNoSpace);  // the first quote
        EXPECT_EQ(Run(EditOp::kDelete, full, 9), kNoSpace);  // the last quote
        EXPECT_EQ(full.bytesWritten(), 0u);
        EXPECT_EQ(ReadBytes(dat), datBefore);
        EXPECT_EQ(ReadBytes(master), masterBefore);
        EXPECT_EQ(Names(), names);
    }
    // A Delete inside the range leaves MASTER alone: a failure of its one rewrite would
    // change nothing, so it is not refused in advance.
    FaultyFileSystem full = FaultyFileSystem::FullAfter(8u * 1024u);
    EXPECT_EQ(Run(EditOp::kDelete, full, 4), kSuccess);
    FaultyFileSystem roomy = FaultyFileSystem::FullAfter(1u << 20);
    EXPECT_EQ(Run(EditOp::kDelete, roomy, 0), kSuccess);
    EXPECT_NE(ReadBytes(master), masterBefore);
}

// A file written whole is synced before it is renamed into place, and its directory after
// (the rewrites of a portfolio are checked so by WriteFailure.TheChangeList...).
TEST_F(FileKeeping, AFileWrittenWholeIsSyncedBeforeAndAfterItsRename) {
    FaultyFileSystem counter;
    ASSERT_EQ(WriteFileChecked(counter, tmp.path() / "OTHER", std::vector<std::uint8_t>{1, 2}), kSuccess);
    EXPECT_EQ(counter.count(Step::kReplace), 1);
    EXPECT_EQ(counter.unsyncedRenames(), 0);
    EXPECT_EQ(counter.directoriesNotSynced(), 0u);
}

// A reader going through a portfolio reads every file into one buffer: each read gives
// exactly that file, a longer or a shorter one after another, and anything that is no
// regular file is refused with nothing left over.
TEST_F(FileKeeping, FilesReadWholeIntoOneBufferAreEachExact) {
    const std::vector<std::uint8_t> longer(70000, 0xAB);
    const std::vector<std::uint8_t> shorter = {1, 2, 3};
    auto put = [&](const char* name, const std::vector<std::uint8_t>& bytes) {
        std::ofstream(tmp.path() / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    };
    put("LONG.DAT", longer);
    put("short.dat", shorter);
    put("EMPTY", {});
    std::vector<std::uint8_t> buffer;
    ASSERT_TRUE(ReadWholeFileInto(tmp.path() / "LONG.DAT", buffer));
    EXPECT_EQ(buffer, longer);
    ASSERT_TRUE(ReadWholeFileInto(tmp.path() / "short.dat", buffer));
    EXPECT_EQ(buffer, shorter);
    ASSERT_TRUE(ReadWholeFileInto(tmp.path() / "EMPTY", buffer));
    EXPECT_TRUE(buffer.empty());
    EXPECT_FALSE(ReadWholeFileInto(tmp.path() / "NONE", buffer));
    EXPECT_FALSE(ReadWholeFileInto(tmp.path(), buffer));
    EXPECT_TRUE(buffer.empty());

    // The listing the readers look names up in knows them in any letter case.
    const DirectoryIndex index(tmp.path().string());
    EXPECT_TRUE(index.has("SHORT.DAT"));
    EXPECT_TRUE(index.has("long.dat"));
    EXPECT_FALSE(index.has("F1.DOP"));
}

}  // namespace
}  // namespace barwise
