// Write-failure injection: every rewrite of a portfolio is run once per step it takes
// (each create, write, sync, close and replace), with that one step failing. The caller
// must get a failure status, the quote and MASTER files must be exactly as they were, no
// temporary file may be left behind, and the same rewrite must then succeed.
// Each rewrite's change list names exactly the files it changed, also after a failing step,
// and puts them all back; every rename follows a sync of the file and is followed by a sync
// of its directory. The last test fills a real (small tmpfs) file system instead.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <ostream>
#include <set>

#include "datafiles/ascii.h"
#include "datafiles/changes.h"
#include "datafiles/portfoliolock.h"
#include "datafiles/rewrite.h"
#include "robustness/failingsteps.h"
#include "robustness/portfolio.h"
#include "testsupport/testdb.h"

#ifdef __linux__
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>
#endif

namespace barwise::robustness {

// gtest prints a parameter in its listing and its failure messages: the case's name, not a
// dump of the struct's bytes.
void PrintTo(const RewriteCase& c, std::ostream* os) {
    *os << c.name;
}
void PrintTo(const IndexRewriteCase& c, std::ostream* os) {
    *os << c.name;
}

namespace {

// Which of the case's written files a step on `path` belongs to: the index files (MASTER,
// EMASTER, XMASTER: one rewrite that puts back what it renamed when a later step fails) with
// their backups and temporaries are one step, named by the one the case lists; else the
// data file.
bool IsIndexFileName(const std::string& name) {
    const std::string upper = ToUpperAscii(name);
    return upper.rfind("MASTER", 0) == 0 || upper.rfind("EMASTER", 0) == 0 ||
           upper.rfind("XMASTER", 0) == 0;
}

std::size_t PhaseOf(const RewriteCase& c, const fs::path& path) {
    const bool index = IsIndexFileName(path.filename().string());
    for (std::size_t i = 0; i < c.writes.size(); ++i) {
        if (IsIndexFileName(c.writes[i]) == index) return i;
    }
    return 0;
}

// What a failure on `fired` leaves: the files written before it in their new state (a
// delete has put its DAT in place before it updates MASTER), all others as they were.
DirectoryContent LeftAfterFailureAt(const RewriteCase& c, const fs::path& fired,
                                    const PortfolioRun& r) {
    DirectoryContent expected = r.before();
    for (std::size_t i = 0; i < PhaseOf(c, fired); ++i)
        expected[c.writes[i]] = r.after().at(c.writes[i]);
    return expected;
}

// Every file of a portfolio tree but the writer lock's, which holds nothing and is made by
// the first writer outside any rewrite.
DirectoryContent TreeWithoutLock(const fs::path& dir) {
    DirectoryContent content = ReadTree(dir);
    std::erase_if(content, [](const auto& file) {
        return ToUpperAscii(file.first).ends_with(kLockFileName);
    });
    return content;
}

// Runs the rewrite on the directory as it stands through a recording of `fs` and checks its
// change list against the directory: the files it lists are the files that differ, each
// with the right kind and its old content.
ChangeResult RunRecorded(const PortfolioRun& r, FileSystem& fs) {
    const DirectoryContent before = TreeWithoutLock(r.dir());
    const ChangeResult result = RecordChanges(fs, [&](FileSystem& f) { return r.run(f); });
    const DirectoryContent after = TreeWithoutLock(r.dir());
    std::set<std::string> differing, listed;
    for (const auto& [name, bytes] : before)
        if (!after.count(name) || after.at(name) != bytes) differing.insert(name);
    for (const auto& [name, bytes] : after)
        if (!before.count(name)) differing.insert(name);
    const fs::path root = fs::absolute(r.dir()).lexically_normal();
    for (const FileChange& c : result.changes) {
        std::string name = c.path.lexically_relative(root).generic_string();
#ifdef _WIN32
        // Windows finds a name in any letter case: the change names the file as it was
        // asked for ("F3.DAT"), the directory as it stands ("f3.dat").
        for (const DirectoryContent* tree : {&before, &after})
            for (const auto& entry : *tree)
                if (ToUpperAscii(entry.first) == ToUpperAscii(name)) name = entry.first;
#endif
        EXPECT_TRUE(listed.insert(name).second) << name << " listed twice";
        const bool was = before.count(name) != 0, is = after.count(name) != 0;
        using Kind = FileChange::Kind;
        EXPECT_EQ(c.kind, !was ? Kind::kCreated : is ? Kind::kReplaced : Kind::kRemoved) << name;
        if (was) {
            EXPECT_EQ(c.before, before.at(name)) << name;
        }
    }
    EXPECT_EQ(listed, differing) << "status " << result.status;
    return result;
}

// Each failing step of a rewrite is reported and leaves what `checkLeft` expects and no
// temporary file; where the compared files are as they were, the same rewrite then gives
// the result. Undoing the change lists of both runs puts back every file byte for byte.
// The run that succeeds also shows that every file renamed into place was synced first,
// and its directory after the rename: a crash then finds the old file or the whole new one.
void CheckEveryFailingStep(const PortfolioRun& r, const FaultyFileSystem& counter,
                           const std::function<void(const FaultyFileSystem&)>& checkLeft) {
    EXPECT_GT(counter.count(Step::kSyncDirectory), 0);
    EXPECT_EQ(counter.unsyncedRenames(), 0) << "a new file renamed into place before it was synced";
    EXPECT_EQ(counter.directoriesNotSynced(), 0u)
        << "a rename whose directory was not synced after it";
    r.reset();
    EXPECT_EQ(UndoChanges(RunRecorded(r, RealFileSystem()).changes), kSuccess);
    EXPECT_EQ(TreeWithoutLock(r.dir()), r.start()) << "undoing the change list of the rewrite";

    const int injected = ForEachFailingStep(counter, [&](FaultyFileSystem& faulty) {
        r.reset();
        const ChangeResult failed = RunRecorded(r, faulty);
        ASSERT_TRUE(faulty.fired());
        EXPECT_NE(failed.status, kSuccess)
            << "failure of " << faulty.firedPath() << " not reported";
        EXPECT_NE(failed.status, kIndexFilesDisagree) << "one failure is always put back";
        checkLeft(faulty);
        EXPECT_EQ(r.temporaries(), std::vector<std::string>{});
        ChangeResult again;
        if (r.now() == r.before()) {
            again = RunRecorded(r, RealFileSystem());
            EXPECT_EQ(again.status, kSuccess);
            EXPECT_EQ(r.now(), r.after()) << "the same rewrite run again";
        }
        EXPECT_EQ(UndoChanges(again.changes), kSuccess);
        EXPECT_EQ(UndoChanges(failed.changes), kSuccess);
        EXPECT_EQ(TreeWithoutLock(r.dir()), r.start())
            << "undoing the change lists after failing " << faulty.firedPath();
    });
    EXPECT_GE(injected, 5);
}

// Each test starts from the case run once through `counter`, which counted its steps and
// bytes, and kept what it makes.
class WriteFailure : public ::testing::TestWithParam<RewriteCase> {
protected:
    void SetUp() override {
        ASSERT_EQ(r.finish(counter), kSuccess);
        ASSERT_NE(r.before(), r.after()) << "the rewrite changed nothing, so nothing is tested";
    }

    const RewriteCase& c = GetParam();
    ScratchDir dir;
    PortfolioRun r{dir.path(), c.before, c.run};
    FaultyFileSystem counter;
};

TEST_P(WriteFailure, EveryFailingStepKeepsTheFilesReportsFailureAndListsItsChanges) {
    CheckEveryFailingStep(r, counter, [&](const FaultyFileSystem& faulty) {
        EXPECT_EQ(r.now(), LeftAfterFailureAt(c, faulty.firedPath(), r))
            << "failing " << faulty.firedPath();
    });
}

// A leftover temporary file from an earlier, interrupted rewrite does not stop the next one
// and is gone afterwards; without hard links the backup is a checked copy, and the rewrite
// gives the same files, backups included.
TEST_P(WriteFailure, LeftoverTemporariesAreOverwrittenAndBackupsCopiedWithoutHardLinks) {
    const DirectoryContent linked = ReadDirectory(dir.path());
    DirectoryContent junk;
    for (const std::string& name : c.writes)
        junk[ToUpperAscii(name.substr(0, name.find('.'))) + ".NEW"] = Bytes(1000, 0xEE);
    r.reset(junk);
    FaultyFileSystem noLinks(Step::kLink, 1);
    ASSERT_EQ(r.run(noLinks), kSuccess);
    EXPECT_EQ(noLinks.count(Step::kLink) > 0, noLinks.fired());
    EXPECT_EQ(ReadDirectory(dir.path()), linked);
    EXPECT_EQ(r.temporaries(), std::vector<std::string>{});
}

// A disk that fills up after N bytes, for N at every record boundary region and spread
// over all the bytes a rewrite writes: the write that crosses the limit is cut short.
TEST_P(WriteFailure, ADiskThatFillsUpAtAnyByteKeepsTheFiles) {
    const std::uint64_t total = counter.bytesWritten();
    std::set<std::uint64_t> limits = {0, 1, 4, 52, 53, 54, 75, 76, 77, total - 1};
    for (std::uint64_t k = 1; k < 40; ++k) limits.insert(total * k / 40);
    for (const std::uint64_t limit : limits) {
        SCOPED_TRACE("disk full after " + std::to_string(limit) + " of " + std::to_string(total) +
                     " bytes");
        r.reset();
        FaultyFileSystem disk = FaultyFileSystem::FullAfter(limit);
        const DataStatus status = r.run(disk);
        EXPECT_NE(status, kSuccess);
        // A rewrite of more than one file that sees too little room refuses before writing.
        EXPECT_NE(status, kDeletedMasterStale);
        EXPECT_EQ(r.temporaries(), std::vector<std::string>{});
        EXPECT_EQ(disk.fired(), status != kNoSpace);
        const DirectoryContent expected =
            disk.fired() ? LeftAfterFailureAt(c, disk.firedPath(), r) : r.before();
        EXPECT_EQ(r.now(), expected) << "full while writing " << disk.firedPath();
    }
}

INSTANTIATE_TEST_SUITE_P(Rewrites, WriteFailure,
                         ::testing::ValuesIn(RewriteCases(kTestQuotes, BARWISE_REALDB_DIR)),
                         [](const auto& info) { return info.param.name; });

// Index rewrites that remove or add data files: each failing step leaves every index file
// whole (old or new), every listed security readable and the security listed.
class IndexWriteFailure : public ::testing::TestWithParam<IndexRewriteCase> {};

TEST_P(IndexWriteFailure, EveryFailingStepKeepsTheIndexFilesWholeReportsFailureAndListsItsChanges) {
    const IndexRewriteCase& c = GetParam();
    ScratchDir dir;
    PortfolioRun r(dir.path(), c.before, c.run);
    FaultyFileSystem counter;
    ASSERT_EQ(r.finish(counter), kSuccess);
    ASSERT_NE(r.after(), r.before());
    ASSERT_EQ(IndexRewriteProblem(c, dir.path(), r.after()), "");
    CheckEveryFailingStep(r, counter, [&](const FaultyFileSystem& faulty) {
        EXPECT_EQ(IndexRewriteProblem(c, dir.path(), r.after()), "")
            << "failing " << faulty.firedPath();
    });
}

INSTANTIATE_TEST_SUITE_P(IndexRewrites, IndexWriteFailure,
                         ::testing::ValuesIn(IndexRewriteCases(BARWISE_REALDB_DIR)),
                         [](const auto& info) { return info.param.name; });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(IndexWriteFailure);

// A backup that cannot be written completely leaves the earlier backup as it was.
TEST(BackupWrite, FailedBackupWriteLeavesNoTruncatedBackup) {
    ScratchDir dir;
    WriteDirectory(dir.path(), MakePortfolio(kTestQuotes));
    const EditRequest scale =
        testing::MakeEdit(EditOp::kScale, kFirstDay, kLastDay, {2, 2, 2, 2, 1, 1});
    ASSERT_EQ(RewriteSeries(scale, dir.path().string(), "AAA"), kSuccess);
    const Bytes earlierBackup = *ReadWholeFile(dir.path() / "F1.BAK");
    const Bytes current = *ReadWholeFile(dir.path() / "F1.DAT");

    // The new file is written first, complete; then the backup is made: its rename into
    // place (linked) is the first replace.
    FaultyFileSystem failBackup(Step::kReplace, 1);
    EXPECT_EQ(RewriteSeries(scale, dir.path().string(), "AAA", failBackup), kFileWrite);
    ASSERT_EQ(failBackup.firedPath().filename().string(), "F1.BAK") << failBackup.firedPath();
    EXPECT_EQ(*ReadWholeFile(dir.path() / "F1.DAT"), current);
    EXPECT_EQ(*ReadWholeFile(dir.path() / "F1.BAK"), earlierBackup);
    EXPECT_EQ(TemporaryFiles(dir.path()), std::vector<std::string>{});
}

// An index rewrite whose MASTER rename fails after EMASTER was renamed puts EMASTER back
// (the failing-step tests hold that for every step); when that fails too (every create
// after the failed rename fails) the files disagree, the caller is told so, and the change
// list names the index file that stays changed.
class FailMasterRenameAndPutBack final : public FileSystem {
public:
    std::unique_ptr<WritableFile> create(const fs::path& p) override {
        return masterRenameFailed_ ? nullptr : RealFileSystem().create(p);
    }
    bool replace(const fs::path& from, const fs::path& to) override {
        masterRenameFailed_ = masterRenameFailed_ || to.filename() == "MASTER";
        return to.filename() != "MASTER" && RealFileSystem().replace(from, to);
    }
    bool remove(const fs::path& p) override { return RealFileSystem().remove(p); }
    bool hardLink(const fs::path& e, const fs::path& l) override {
        return RealFileSystem().hardLink(e, l);
    }

private:
    bool masterRenameFailed_ = false;
};

TEST(IndexPutBack, AFailedPutBackIsReported) {
    const auto cases = RewriteCases(kTestQuotes, BARWISE_REALDB_DIR);
    const auto rename = std::find_if(cases.begin(), cases.end(), [](const RewriteCase& c) {
        return c.name == "emaster_rename";
    });
    if (rename == cases.end()) GTEST_SKIP() << "no real database with EMASTER";
    ScratchDir dir;
    WriteDirectory(dir.path(), rename->before);
    FailMasterRenameAndPutBack faulty;
    const ChangeResult result =
        RecordChanges(faulty, [&](FileSystem& f) { return rename->run(dir.path(), f); });
    const DirectoryContent now = ReadDirectory(dir.path());
    EXPECT_EQ(result.status, kIndexFilesDisagree);
    EXPECT_EQ(now.at("MASTER"), rename->before.at("MASTER"));
    EXPECT_NE(now.at("EMASTER"), rename->before.at("EMASTER"));
    EXPECT_TRUE(std::any_of(result.changes.begin(), result.changes.end(),
                            [](const FileChange& c) { return c.path.filename() == "EMASTER"; }));
}

#ifdef __linux__
// The same on a real file system that fills up: a 64 KiB tmpfs, where the test may mount one.
TEST(FullDisk, RewritesOnAFullFileSystemFailWithoutLoss) {
    ScratchDir scratch;
    const fs::path disk = scratch.path() / "disk";
    fs::create_directories(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a 64 KiB tmpfs here: " << std::strerror(errno);
    struct Unmount {
        const fs::path& at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } const unmount{disk};
    // Fills the file system with a file until `leave` bytes are free (or fewer).
    const auto fillLeaving = [&](std::uint64_t leave) {
        struct statvfs st {};
        ASSERT_EQ(::statvfs(disk.c_str(), &st), 0);
        const std::uint64_t free = static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
        if (free > leave) WriteDirectory(disk, {{"FILLER", Bytes(free - leave, 0)}});
    };
    constexpr int kQuotes = 300;  // F1.DAT of 8.4 KB: a rewrite needs room for two copies
    int failures = 0, successes = 0;
    for (const RewriteCase& c : RewriteCases(kQuotes)) {
        SCOPED_TRACE(c.name);
        // The run on the small disk, its filler left out of what is compared.
        const Rewrite run = [&](const fs::path& dir, FileSystem& fsys) {
            const DataStatus status = c.run(dir, fsys);
            std::error_code ec;
            fs::remove(dir / "FILLER", ec);
            return status;
        };
        PortfolioRun r(disk, c.before, run);
        ASSERT_EQ(r.finish(RealFileSystem()), kSuccess);
        for (std::uint64_t leave = 0; leave <= 32 * 1024; leave += 2048) {
            SCOPED_TRACE("free bytes " + std::to_string(leave));
            r.reset();
            fillLeaving(leave);
            const DataStatus status = r.run(RealFileSystem());
            EXPECT_EQ(r.temporaries(), std::vector<std::string>{});
            if (status == kSuccess) {
                ++successes;
                EXPECT_EQ(r.now(), r.after());
                continue;
            }
            ++failures;
            // Each file as it was or as the rewrite makes it, and the last one to be
            // written (the one whose write failed, at the latest) as it was.
            EXPECT_EQ(OldOrNewInOrder(c, r), "");
            EXPECT_EQ(r.now().at(c.writes.back()), r.before().at(c.writes.back()));
            // With room again the same rewrite succeeds.
            if (r.now() == r.before()) {
                EXPECT_EQ(r.rerunProblem(), "");
            }
        }
    }
    std::printf("full file system: %d rewrites failed for want of room, %d succeeded\n", failures,
                successes);
    EXPECT_GT(failures, 0);
    EXPECT_GT(successes, 0);
}
#endif

}  // namespace
}  // namespace barwise::robustness
