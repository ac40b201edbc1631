// Windows file names and file system behaviour, run under Wine by tools/windows-test:
// drive letters, backslash and forward-slash paths, a portfolio at the root of a bare drive
// ("P:"), names in any letter case, and the atomic replace (MoveFileExW) including the cases
// where Windows refuses it (a target held open by another reader, a read-only target).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "datafiles/ascii.h"
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
        PortfolioRun r(dir.path(), c.before, c.run);
        EXPECT_EQ(r.finish(RealFileSystem()), kSuccess) << c.name;
        out[c.name] = r.after();
    }
    return out;
}

int QuotesOf(const std::string& dir, std::string_view key) {
    QuoteSeries s;
    if (AllocSeries(s, 2000) != kSuccess) return -1;
    if (ReadSeries(s, dir, key, 0, -1) != kSuccess) return -2;
    return s.count;
}

// A content by upper-case name: the replaced file may take either case.
DirectoryContent Upper(const DirectoryContent& content) {
    DirectoryContent out;
    for (const auto& [name, bytes] : content) out[ToUpperAscii(name)] = bytes;
    return out;
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

// tools/windows-test maps a Wine drive letter onto an empty folder and names it in
// BARWISE_TEST_DRIVE; the portfolio then lies at the root of that drive, addressed as the
// bare drive "P:", as the portfolio list shows a drive root, and its files are named in
// lower case: each is found and rewritten.
TEST(WindowsPaths, PortfolioInLowerCaseAtTheRootOfABareDrive) {
    const char* drive = std::getenv("BARWISE_TEST_DRIVE");
    if (drive == nullptr || std::string(drive).size() != 2 || drive[1] != ':') {
        GTEST_SKIP()
            << "BARWISE_TEST_DRIVE does not name a scratch drive (set by tools/windows-test)";
    }
    const std::string bare = drive;
    const auto reference = ReferenceResults();
    for (const RewriteCase& c : RewriteCases(kTestQuotes)) {
        SCOPED_TRACE(c.name);
        DirectoryContent lower;
        for (const auto& [name, bytes] : c.before) lower[ToLowerAscii(name)] = bytes;
        PortfolioRun r(bare + "\\", lower, c.run);
        r.reset();
        MasterRecord record;
        std::string found;
        ASSERT_EQ(FindSymbol(bare, "AAA", record, found), kSuccess);
        EXPECT_EQ(found.rfind(bare, 0), 0u) << found;
        EXPECT_EQ(QuotesOf(bare, "AAA"), kTestQuotes);
        // The rewrite is given the bare drive as its directory.
        ASSERT_EQ(c.run(fs::path(bare), RealFileSystem()), kSuccess);
        EXPECT_EQ(Upper(r.now()), Upper(reference.at(c.name)));
        EXPECT_EQ(r.temporaries(), std::vector<std::string>{});
    }
    EmptyDirectory(bare + "\\");
}

// Windows refuses to replace a file another program holds open without delete sharing,
// and a read-only file. The rewrite must then fail and leave everything as it was, and
// succeed once the file is free again. (Wine, unlike Windows, lets a rename replace a
// read-only file; the rewrite may then succeed, but only with the complete new files.)
TEST(WindowsReplace, RewriteOfAFileWindowsWillNotReplaceFailsCleanly) {
    const auto reference = ReferenceResults();
    for (const RewriteCase& c : RewriteCases(kTestQuotes)) {
        SCOPED_TRACE(c.name);
        for (const bool readOnly : {false, true}) {
            SCOPED_TRACE(readOnly ? "read-only" : "held open");
            ScratchDir dir;
            PortfolioRun r(dir.path(), c.before, c.run);
            r.reset();
            const std::wstring path = (dir.path() / c.writes.front()).wstring();
            HANDLE held = INVALID_HANDLE_VALUE;
            if (readOnly) {
                ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
            } else {
                held = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
                ASSERT_NE(held, INVALID_HANDLE_VALUE);
            }
            const DataStatus status = r.run(RealFileSystem());
            if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
            if (readOnly) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            EXPECT_EQ(r.temporaries(), std::vector<std::string>{});
            if (status == kSuccess && readOnly) {
                EXPECT_EQ(r.now(), reference.at(c.name));
                continue;
            }
            EXPECT_NE(status, kSuccess);
            EXPECT_EQ(r.now(), r.before());
            ASSERT_EQ(r.run(RealFileSystem()), kSuccess);
            EXPECT_EQ(r.now(), reference.at(c.name));
        }
    }
}

}  // namespace
}  // namespace barwise::robustness
