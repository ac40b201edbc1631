// Windows file names and file system behaviour, run under Wine by tools/windows-test:
// drive letters, backslash and forward-slash paths, a portfolio at the root of a bare drive
// ("P:"), names in any letter case, and the atomic replace (MoveFileExW) including the cases
// where Windows refuses it (a target held open by another reader, a read-only target).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "datafiles/datafacts.h"
#include "datafiles/master.h"
#include "datafiles/rewrite.h"
#include "datafiles/series.h"
#include "discovery/pathfilter.h"
#include "robustness/portfolio.h"

namespace barwise::robustness {
namespace {

// The result of every rewrite in an ordinary temporary directory, by case name.
std::map<std::string, DirectoryContent> ReferenceResults() {
    std::map<std::string, DirectoryContent> out;
    for (const RewriteCase& c : RewriteCases(kTestQuotes)) {
        ScratchDir dir;
        WriteDirectory(dir.path(), c.before);
        EXPECT_EQ(c.run(dir.path(), RealFileSystem()), kSuccess) << c.name;
        out[c.name] = Compared(ReadDirectory(dir.path()));
    }
    return out;
}

int QuotesOf(const std::string& dir, std::string_view key) {
    QuoteSeries s;
    if (AllocSeries(s, 2000) != kSuccess) return -1;
    if (ReadSeries(s, dir, key, 0, -1) != kSuccess) return -2;
    return s.count;
}

TEST(WindowsPaths, BackslashForwardSlashAndLowerCaseDrivePathsReachTheSamePortfolio) {
    ScratchDir dir;
    WriteDirectory(dir.path(), MakePortfolio(kTestQuotes));
    const std::string native = dir.path().string();  // C:\users\...\Temp\barwise-robust-...
    ASSERT_GE(native.size(), 3u);
    ASSERT_EQ(native[1], ':') << native;
    std::string forward = native;
    for (char& c : forward) c = c == '\\' ? '/' : c;
    std::string lowerDrive = native;
    lowerDrive[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(lowerDrive[0])));
    for (const std::string& path : {native, native + "\\", forward, forward + "/", lowerDrive}) {
        SCOPED_TRACE(path);
        MasterRecord record;
        std::string found;
        ASSERT_EQ(FindSymbol(path, "BBB", record, found), kSuccess);
        EXPECT_EQ(record.fileNumber(), 2);
        ASSERT_FALSE(found.empty());
        EXPECT_TRUE(found.back() == '\\' || found.back() == '/') << found;
        EXPECT_EQ(QuotesOf(path, "AAA"), kTestQuotes);
        DataFacts facts;
        ASSERT_EQ(ReadDataFacts(path, "BBB", facts), kSuccess);
        EXPECT_EQ(facts.inputFormatName[kFieldVol], "1,000s");
    }
}

TEST(WindowsPaths, NamesInAnyLetterCaseAreFoundAndRewritten) {
    DirectoryContent p = MakePortfolio(kTestQuotes);
    DirectoryContent lower;
    for (auto& [name, bytes] : p) {
        std::string l = name;
        for (char& c : l) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        lower[l] = bytes;
    }
    const auto reference = ReferenceResults();
    for (const RewriteCase& c : RewriteCases(kTestQuotes)) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        WriteDirectory(dir.path(), lower);
        ASSERT_EQ(c.run(dir.path(), RealFileSystem()), kSuccess);
        // Compare by name without regard to case: the replaced file may take either case.
        std::map<std::string, Bytes> now, want;
        for (auto& [name, bytes] : Compared(ReadDirectory(dir.path()))) now[ToUpperAscii(name)] = bytes;
        for (auto& [name, bytes] : reference.at(c.name)) want[ToUpperAscii(name)] = bytes;
        EXPECT_EQ(now, want);
        EXPECT_EQ(TemporaryFiles(dir.path()), std::vector<std::string>{});
    }
}

// tools/windows-test maps a Wine drive letter onto an empty folder and names it in
// BARWISE_TEST_DRIVE; the portfolio then lies at the root of that drive, addressed as the
// bare drive "P:", as the portfolio list shows a drive root.
TEST(WindowsPaths, PortfolioAtTheRootOfABareDrive) {
    const char* drive = std::getenv("BARWISE_TEST_DRIVE");
    if (drive == nullptr || std::string(drive).size() != 2 || drive[1] != ':') {
        GTEST_SKIP() << "BARWISE_TEST_DRIVE does not name a scratch drive (set by tools/windows-test)";
    }
    const std::string bare = drive;
    const fs::path root = bare + "\\";
    const auto reference = ReferenceResults();
    for (const RewriteCase& c : RewriteCases(kTestQuotes)) {
        SCOPED_TRACE(c.name);
        EmptyDirectory(root);
        WriteDirectory(root, c.before);
        MasterRecord record;
        std::string found;
        ASSERT_EQ(FindSymbol(bare, "AAA", record, found), kSuccess);
        EXPECT_EQ(found.rfind(bare, 0), 0u) << found;
        EXPECT_EQ(QuotesOf(bare, "AAA"), kTestQuotes);
        // The rewrite is given the bare drive as its directory.
        ASSERT_EQ(c.run(fs::path(bare), RealFileSystem()), kSuccess);
        EXPECT_EQ(Compared(ReadDirectory(root)), reference.at(c.name));
        EXPECT_EQ(TemporaryFiles(root), std::vector<std::string>{});
    }
    EmptyDirectory(root);
}

TEST(WindowsReplace, ReplaceSwapsInTheNewFile) {
    ScratchDir dir;
    const fs::path a = dir.path() / "F1.NEW", b = dir.path() / "F1.DAT";
    WriteDirectory(dir.path(), {{"F1.NEW", Bytes{1, 2, 3}}, {"F1.DAT", Bytes{9, 9}}});
    ASSERT_TRUE(RealFileSystem().replace(a, b));
    EXPECT_EQ(*ReadWholeFile(b), (Bytes{1, 2, 3}));
    EXPECT_FALSE(fs::exists(a));
}

// Windows refuses to replace a file another program holds open without delete sharing,
// and a read-only file. The rewrite must then fail and leave everything as it was, and
// succeed once the file is free again. (Wine, unlike Windows, lets a rename replace a
// read-only file; the rewrite may then succeed, but only with the complete new files.)
TEST(WindowsReplace, RewriteOfAFileWindowsWillNotReplaceFailsCleanly) {
    const auto reference = ReferenceResults();
    for (const RewriteCase& c : RewriteCases(kTestQuotes)) {
        SCOPED_TRACE(c.name);
        const std::string target = c.writes.front();
        for (const bool readOnly : {false, true}) {
            SCOPED_TRACE(readOnly ? "read-only" : "held open");
            ScratchDir dir;
            WriteDirectory(dir.path(), c.before);
            const std::wstring path = (dir.path() / target).wstring();
            HANDLE held = INVALID_HANDLE_VALUE;
            if (readOnly) {
                ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
            } else {
                held = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
                ASSERT_NE(held, INVALID_HANDLE_VALUE);
            }
            const DataStatus status = c.run(dir.path(), RealFileSystem());
            if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
            if (readOnly) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            EXPECT_EQ(TemporaryFiles(dir.path()), std::vector<std::string>{});
            if (status == kSuccess && readOnly) {
                EXPECT_EQ(Compared(ReadDirectory(dir.path())), reference.at(c.name));
                continue;
            }
            EXPECT_NE(status, kSuccess);
            EXPECT_EQ(Compared(ReadDirectory(dir.path())), Compared(c.before));
            ASSERT_EQ(c.run(dir.path(), RealFileSystem()), kSuccess);
            EXPECT_EQ(Compared(ReadDirectory(dir.path())), reference.at(c.name));
        }
    }
}

}  // namespace
}  // namespace barwise::robustness
