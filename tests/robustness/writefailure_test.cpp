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
#include <ostream>
#include <functional>
#include <set>

#include "datafiles/ascii.h"
#include "datafiles/changes.h"
#include "datafiles/portfoliolock.h"
#include "datafiles/rewrite.h"
#include "robustness/failingsteps.h"
#include "discovery/pathfilter.h"
#include "robustness/portfolio.h"

#ifdef __linux__
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>
#endif

namespace barwise::robustness {

// gtest prints a parameter in its listing and its failure messages: the case's name, not a
// dump of the struct's bytes.
void PrintTo(const RewriteCase& c, std::ostream* os) { *os << c.name; }
void PrintTo(const IndexRewriteCase& c, std::ostream* os) { *os << c.name; }

namespace {

// Which of the case's written files a step on `path` belongs to: the index files (MASTER,
// EMASTER, XMASTER: one rewrite that puts back what it renamed when a later step fails) with
// their backups and temporaries are one step, named by the one the case lists; else the
// data file.
bool IsIndexFileName(const std::string& name) {
    const std::string upper = ToUpperAscii(name);
    return upper.rfind("MASTER", 0) == 0 || upper.rfind("EMASTER", 0) == 0 || upper.rfind("XMASTER", 0) == 0;
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
DirectoryContent LeftAfterFailureAt(const RewriteCase& c, const fs::path& fired, const DirectoryContent& before,
                                    const DirectoryContent& after) {
    DirectoryContent expected = before;
    for (std::size_t i = 0; i < PhaseOf(c, fired); ++i) expected[c.writes[i]] = after.at(c.writes[i]);
    return expected;
}

template <class Case>
struct CaseName {
    std::string operator()(const ::testing::TestParamInfo<Case>& info) const { return info.param.name; }
};


// Each test starts from the case run once in `dir` through `counter`, which counted its
// steps and bytes: what the case starts from and what it makes are kept.
class WriteFailure : public ::testing::TestWithParam<RewriteCase> {
protected:
    void SetUp() override {
        WriteDirectory(dir.path(), c.before);
        ASSERT_EQ(c.run(dir.path(), counter), kSuccess);
        before = Compared(c.before);
        after = Compared(ReadDirectory(dir.path()));
        ASSERT_NE(before, after) << "the rewrite changed nothing, so nothing is tested";
    }
    // The portfolio in `dir` as the case starts from it, with `extra` files beside it.
    void Restart(const DirectoryContent& extra = {}) {
        EmptyDirectory(dir.path());
        WriteDirectory(dir.path(), c.before);
        WriteDirectory(dir.path(), extra);
    }

    const RewriteCase& c = GetParam();
    ScratchDir dir;
    FaultyFileSystem counter;
    DirectoryContent before, after;
};

TEST_P(WriteFailure, EveryFailingStepKeepsTheFilesAndReportsFailure) {
    const int injected = ForEachFailingStep(counter, [&](FaultyFileSystem& faulty) {
        Restart();
        const DataStatus status = c.run(dir.path(), faulty);
        ASSERT_TRUE(faulty.fired());
        EXPECT_NE(status, kSuccess) << "failure of " << faulty.firedPath() << " not reported";

        EXPECT_EQ(Compared(ReadDirectory(dir.path())), LeftAfterFailureAt(c, faulty.firedPath(), before, after))
            << "failing " << faulty.firedPath();
        EXPECT_EQ(TemporaryFiles(dir.path()), std::vector<std::string>{});
        if (PhaseOf(c, faulty.firedPath()) == 0) {
            // Nothing changed, so the same rewrite now gives the same result.
            EXPECT_EQ(c.run(dir.path(), RealFileSystem()), kSuccess);
            EXPECT_EQ(Compared(ReadDirectory(dir.path())), after);
        }
    });
    EXPECT_GE(injected, 5);
}

// A leftover temporary file from an earlier, interrupted rewrite does not stop the next one
// and is gone afterwards.
TEST_P(WriteFailure, LeftoverTemporaryFilesAreOverwritten) {
    DirectoryContent junk;
    for (const std::string& name : c.writes) junk[ToUpperAscii(name.substr(0, name.find('.'))) + ".NEW"] = Bytes(1000, 0xEE);
    Restart(junk);
    EXPECT_EQ(c.run(dir.path(), RealFileSystem()), kSuccess);
    EXPECT_EQ(Compared(ReadDirectory(dir.path())), after);
    EXPECT_EQ(TemporaryFiles(dir.path()), std::vector<std::string>{});
}

// A disk that fills up after N bytes, for N at every record boundary region and spread
// over all the bytes a rewrite writes: the write that crosses the limit is cut short.
TEST_P(WriteFailure, ADiskThatFillsUpAtAnyByteKeepsTheFiles) {
    const std::uint64_t total = counter.bytesWritten();
    std::set<std::uint64_t> limits = {0, 1, 4, 52, 53, 54, 75, 76, 77, total - 1};
    for (std::uint64_t k = 1; k < 40; ++k) limits.insert(total * k / 40);
    for (const std::uint64_t limit : limits) {
        SCOPED_TRACE("disk full after " + std::to_string(limit) + " of " + std::to_string(total) + " bytes");
        Restart();
        FaultyFileSystem disk = FaultyFileSystem::FullAfter(limit);
        const DataStatus status = c.run(dir.path(), disk);
        EXPECT_NE(status, kSuccess);
        // A rewrite of more than one file that sees too little room refuses before writing.
        EXPECT_NE(status, kDeletedMasterStale);
        EXPECT_EQ(TemporaryFiles(dir.path()), std::vector<std::string>{});
        if (status == kNoSpace) {
            EXPECT_FALSE(disk.fired());
            EXPECT_EQ(Compared(ReadDirectory(dir.path())), before);
            continue;
        }
        ASSERT_TRUE(disk.fired());
        EXPECT_EQ(Compared(ReadDirectory(dir.path())), LeftAfterFailureAt(c, disk.firedPath(), before, after))
            << "full while writing " << disk.firedPath();
    }
}

INSTANTIATE_TEST_SUITE_P(Rewrites, WriteFailure,
                         ::testing::ValuesIn(RewriteCases(kTestQuotes, BARWISE_REALDB_DIR)), CaseName<RewriteCase>());

std::vector<std::string> TemporariesOf(const IndexRewriteCase& c, const fs::path& dir) {
    std::vector<std::string> all;
    for (const std::string& p : c.portfolios)
        for (const std::string& t : TemporaryFiles(p.empty() ? dir : dir / p)) all.push_back(p + "/" + t);
    return all;
}

// Index rewrites that remove or add data files: each failing step is reported, leaves every
// index file whole (old or new), every listed security readable and the security listed;
// where nothing changed the same rewrite then succeeds.
class IndexWriteFailure : public ::testing::TestWithParam<IndexRewriteCase> {};

TEST_P(IndexWriteFailure, EveryFailingStepKeepsTheIndexFilesWholeAndReportsFailure) {
    const IndexRewriteCase& c = GetParam();
    ScratchDir dir;
    WriteTree(dir.path(), c.before);
    FaultyFileSystem counter;
    ASSERT_EQ(c.run(dir.path(), counter), kSuccess);
    const DirectoryContent after = ReadTree(dir.path());
    ASSERT_NE(Compared(after), Compared(c.before));
    ASSERT_EQ(IndexRewriteProblem(c, dir.path(), after), "");

    const int injected = ForEachFailingStep(counter, [&](FaultyFileSystem& faulty) {
        EmptyDirectory(dir.path());
        WriteTree(dir.path(), c.before);
        const DataStatus status = c.run(dir.path(), faulty);
        ASSERT_TRUE(faulty.fired());
        EXPECT_NE(status, kSuccess) << "failure of " << faulty.firedPath() << " not reported";
        EXPECT_EQ(IndexRewriteProblem(c, dir.path(), after), "") << "failing " << faulty.firedPath();
        EXPECT_EQ(TemporariesOf(c, dir.path()), std::vector<std::string>{});
        if (Compared(ReadTree(dir.path())) == Compared(c.before)) {
            EXPECT_EQ(c.run(dir.path(), RealFileSystem()), kSuccess);
            EXPECT_EQ(Compared(ReadTree(dir.path())), Compared(after));
        }
    });
    EXPECT_GE(injected, 5);
}

INSTANTIATE_TEST_SUITE_P(IndexRewrites, IndexWriteFailure, ::testing::ValuesIn(IndexRewriteCases(BARWISE_REALDB_DIR)),
                         CaseName<IndexRewriteCase>());
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(IndexWriteFailure);

// A backup that cannot be written completely leaves the earlier backup as it was.
TEST(BackupWrite, FailedBackupWriteLeavesNoTruncatedBackup) {
    const DirectoryContent p = MakePortfolio(kTestQuotes);
    ScratchDir dir;
    WriteDirectory(dir.path(), p);
    EditRequest scale;
    scale.op = EditOp::kScale;
    scale.from = kFirstDay;
    scale.to = kLastDay;
    scale.values = {2, 2, 2, 2, 1, 1};
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

// Without hard links the backup is a checked copy, and the rewrite gives the same files.
TEST_P(WriteFailure, WithoutHardLinksTheBackupIsACopy) {
    ScratchDir copied;
    WriteDirectory(copied.path(), c.before);
    FaultyFileSystem noLinks(Step::kLink, 1);
    ASSERT_EQ(c.run(copied.path(), noLinks), kSuccess);
    EXPECT_EQ(noLinks.count(Step::kLink) > 0, noLinks.fired());
    EXPECT_EQ(ReadDirectory(copied.path()), ReadDirectory(dir.path()));
}

// ----- the change list -----

using RunFn = std::function<DataStatus(const fs::path& dir, FileSystem& fs)>;

// Every file of a portfolio tree but the writer lock's, which holds nothing and is made by
// the first writer outside any rewrite.
DirectoryContent TreeWithoutLock(const fs::path& dir) {
    DirectoryContent content = ReadTree(dir);
    std::erase_if(content, [](const auto& file) { return ToUpperAscii(file.first).ends_with(kLockFileName); });
    return content;
}

// Runs one rewrite from `start` through a recording of `inner` and checks its change list
// against the directory: the files it lists are the files that differ, each with the right
// kind and its old content; undoing it gives back every file byte for byte. The number of
// files listed.
std::size_t CheckChangeList(const fs::path& dir, const DirectoryContent& start, const RunFn& run, FileSystem& inner) {
    EmptyDirectory(dir);
    WriteTree(dir, start);
    const DirectoryContent before = TreeWithoutLock(dir);
    const ChangeResult result = RecordChanges(inner, [&](FileSystem& f) { return run(dir, f); });
    const DirectoryContent after = TreeWithoutLock(dir);

    std::set<std::string> differing, listed;
    for (const auto& [name, bytes] : before)
        if (!after.count(name) || after.at(name) != bytes) differing.insert(name);
    for (const auto& [name, bytes] : after)
        if (!before.count(name)) differing.insert(name);
    const fs::path root = fs::absolute(dir).lexically_normal();
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
        switch (c.kind) {
            case FileChange::Kind::kCreated:
                EXPECT_FALSE(before.count(name)) << name << " listed as created";
                break;
            case FileChange::Kind::kReplaced:
                EXPECT_TRUE(before.count(name) && after.count(name)) << name << " listed as replaced";
                break;
            case FileChange::Kind::kRemoved:
                EXPECT_FALSE(after.count(name)) << name << " listed as removed";
                break;
        }
        if (c.kind != FileChange::Kind::kCreated && before.count(name)) {
            EXPECT_EQ(c.before, before.at(name)) << name;
        }
    }
    EXPECT_EQ(listed, differing) << "status " << result.status;

    EXPECT_EQ(UndoChanges(result.changes), kSuccess);
    EXPECT_EQ(TreeWithoutLock(dir), before) << "undoing the change list";
    return listed.size();
}

// The list for a rewrite that succeeds, and for the same rewrite with each writing step
// failing in turn (where the list names what the failure left changed, often nothing).
// The run that succeeds also shows that every file renamed into place was synced first,
// and its directory after the rename: a crash then finds the old file or the whole new one.
void CheckChangeLists(const DirectoryContent& start, const RunFn& run) {
    ScratchDir dir;
    FaultyFileSystem counter;
    EXPECT_GT(CheckChangeList(dir.path(), start, run, counter), 0u) << "the rewrite changed nothing";
    EXPECT_GT(counter.count(Step::kSyncDirectory), 0);
    EXPECT_EQ(counter.unsyncedRenames(), 0) << "a new file renamed into place before it was synced";
    EXPECT_EQ(counter.directoriesNotSynced(), 0u) << "a rename whose directory was not synced after it";
    ForEachFailingStep(counter, [&](FaultyFileSystem& faulty) { (void)CheckChangeList(dir.path(), start, run, faulty); });
}

TEST_P(WriteFailure, TheChangeListNamesWhatChangedAndPutsItBack) { CheckChangeLists(c.before, c.run); }

TEST_P(IndexWriteFailure, TheChangeListNamesWhatChangedAndPutsItBack) {
    CheckChangeLists(GetParam().before, GetParam().run);
}

// An index rewrite whose MASTER rename fails after EMASTER was renamed puts EMASTER back;
// when that fails too the files disagree, and the caller is told so.
class FailMasterRenameAndPutBack final : public FileSystem {
public:
    explicit FailMasterRenameAndPutBack(bool putBackFails) : putBackFails_(putBackFails) {}
    std::unique_ptr<WritableFile> create(const fs::path& p) override {
        if (putBackFails_ && masterRenameFailed_) return nullptr;
        return RealFileSystem().create(p);
    }
    bool replace(const fs::path& from, const fs::path& to) override {
        if (to.filename() == "MASTER") {
            masterRenameFailed_ = true;
            return false;
        }
        return RealFileSystem().replace(from, to);
    }
    bool remove(const fs::path& p) override { return RealFileSystem().remove(p); }
    bool hardLink(const fs::path& e, const fs::path& l) override { return RealFileSystem().hardLink(e, l); }

private:
    bool putBackFails_;
    bool masterRenameFailed_ = false;
};

TEST(IndexPutBack, AFailedPutBackIsReported) {
    const auto cases = RewriteCases(kTestQuotes, BARWISE_REALDB_DIR);
    const auto rename = std::find_if(cases.begin(), cases.end(), [](const RewriteCase& c) { return c.name == "emaster_rename"; });
    if (rename == cases.end()) GTEST_SKIP() << "no real database with EMASTER";
    for (const bool putBackFails : {false, true}) {
        SCOPED_TRACE(putBackFails ? "put-back fails" : "put-back succeeds");
        ScratchDir dir;
        WriteDirectory(dir.path(), rename->before);
        FailMasterRenameAndPutBack faulty(putBackFails);
        const ChangeResult result = RecordChanges(faulty, [&](FileSystem& f) { return rename->run(dir.path(), f); });
        const DirectoryContent now = Compared(ReadDirectory(dir.path()));
        ASSERT_NE(result.status, kSuccess);
        if (putBackFails) {
            EXPECT_EQ(result.status, kIndexFilesDisagree);
            EXPECT_NE(now, Compared(rename->before));
            EXPECT_NE(now.at("EMASTER"), rename->before.at("EMASTER"));
        } else {
            EXPECT_NE(result.status, kIndexFilesDisagree);
            EXPECT_EQ(now, Compared(rename->before));
        }
        EXPECT_EQ(now.at("MASTER"), rename->before.at("MASTER"));
        // Either way the list says which index file stays changed.
        bool emasterListed = false;
        for (const FileChange& c : result.changes) emasterListed = emasterListed || c.path.filename() == "EMASTER";
        EXPECT_EQ(emasterListed, putBackFails);
    }
}

#ifdef __linux__
// Mounts a 64 KiB tmpfs for the life of the object.
class SmallDisk {
public:
    explicit SmallDisk(const fs::path& where) : where_(where) {
        fs::create_directories(where_);
        if (::mount("tmpfs", where_.c_str(), "tmpfs", 0, "size=64k") == 0) {
            mounted_ = true;
        } else {
            error_ = std::strerror(errno);
        }
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(where_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    const std::string& error() const { return error_; }

    // Fills the file system with a file until `leave` bytes are free (or fewer).
    void fillLeaving(std::uint64_t leave) {
        struct statvfs st {};
        if (::statvfs(where_.c_str(), &st) != 0) return;
        const std::uint64_t free = static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
        if (free <= leave) return;
        std::FILE* f = std::fopen((where_ / "FILLER").c_str(), "wb");
        if (f == nullptr) return;
        const Bytes zeros(free - leave, 0);
        std::fwrite(zeros.data(), 1, zeros.size(), f);
        std::fclose(f);
    }

private:
    fs::path where_;
    bool mounted_ = false;
    std::string error_;
};
#endif

TEST(FullDisk, RewritesOnAFullFileSystemFailWithoutLoss) {
#ifndef __linux__
    GTEST_SKIP() << "a small file system is mounted on Linux only";
#else
    ScratchDir scratch;
    SmallDisk disk(scratch.path() / "disk");
    if (!disk.mounted()) GTEST_SKIP() << "cannot mount a 64 KiB tmpfs here: " << disk.error();
    const fs::path dir = scratch.path() / "disk";
    constexpr int kQuotes = 300;  // F1.DAT of 8.4 KB: a rewrite needs room for two copies
    int failures = 0, successes = 0;
    for (const RewriteCase& c : RewriteCases(kQuotes)) {
        SCOPED_TRACE(c.name);
        ScratchDir reference;
        WriteDirectory(reference.path(), c.before);
        ASSERT_EQ(c.run(reference.path(), RealFileSystem()), kSuccess);
        const DirectoryContent before = Compared(c.before);
        const DirectoryContent after = Compared(ReadDirectory(reference.path()));
        for (std::uint64_t leave = 0; leave <= 32 * 1024; leave += 2048) {
            SCOPED_TRACE("free bytes " + std::to_string(leave));
            EmptyDirectory(dir);
            WriteDirectory(dir, c.before);
            disk.fillLeaving(leave);
            const DataStatus status = c.run(dir, RealFileSystem());
            DirectoryContent now = Compared(ReadDirectory(dir));
            now.erase("FILLER");
            EXPECT_EQ(TemporaryFiles(dir), std::vector<std::string>{});
            if (status == kSuccess) {
                ++successes;
                EXPECT_EQ(now, after);
                continue;
            }
            ++failures;
            // Each file as it was or as the rewrite makes it, and the last one to be
            // written (the one whose write failed, at the latest) as it was.
            for (const auto& [name, bytes] : now) {
                EXPECT_TRUE(bytes == before.at(name) || bytes == after.at(name)) << name << " is mixed";
            }
            EXPECT_EQ(now.at(c.writes.back()), before.at(c.writes.back()));
            EXPECT_EQ(now.size(), before.size());
            // With room again the same rewrite succeeds.
            if (now == before) {
                std::error_code ec;
                fs::remove(dir / "FILLER", ec);
                EXPECT_EQ(c.run(dir, RealFileSystem()), kSuccess);
                DirectoryContent again = Compared(ReadDirectory(dir));
                EXPECT_EQ(again, after);
            }
        }
    }
    std::printf("full file system: %d rewrites failed for want of room, %d succeeded\n", failures, successes);
    EXPECT_GT(failures, 0);
    EXPECT_GT(successes, 0);
#endif
}

}  // namespace
}  // namespace barwise::robustness
