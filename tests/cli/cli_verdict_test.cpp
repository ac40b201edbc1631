// What every subcommand says and returns for the same damaged database, and where -o writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <streambuf>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

#include "cli/clirun.h"
#include "commands/symbols/symboltestdb.h"
#include "demo/demodb.h"
#include "testsupport/tempdir.h"

namespace barwise {
namespace {

using testing::Cli;
using testing::Lines;
using testing::ReadText;
using testing::Says;
using testing::TempDir;

namespace fs = std::filesystem;

using testing::FlatSeries;

// Records 1 AAA (a 2-for-1 jump), 2 a blank symbol, 3 CCC (12 quotes of 24 bytes; 264 bytes
// hold 10 after the header), 4 file number 144
// (a number that does not fit a signed byte).
class CliPortfolio : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testing::Portfolio(
            dir(), {FlatSeries(1, "AAA", "ALPHA", 30, 15), FlatSeries(2, "", "BLANK NAME", 3),
                    FlatSeries(3, "CCC", "CHARLIE", 12), FlatSeries(144, "BIG", "BIG NUMBER", 5)}));
    }
    fs::path dir() const { return tmp_.path() / "p"; }
    fs::path out() const { return tmp_.path() / "out"; }

    TempDir tmp_;
};

TEST_F(CliPortfolio, OneVerdictPerDatabaseAndMessagesNameTheFile) {
    enum Damage { kCount, kShort, kFourBytes, kBlankGone, kOutputIsDir, kLinkToData };
    const std::vector<std::string> all = {"export", "DIR", "--all", "-o", "OUT"};
    const char* kMaster = "MASTER holds 4 records, its header says 5";
    const char* kShortDat = "F3.DAT holds 10 quotes, its header says 12";
    const char* kEmpty = "F3.DAT holds 0 quotes, its header says 12";
    const char* kBlank = "(record 2 (BLANK NAME))";
    const struct {
        Damage damage;
        std::vector<std::string> args;  // DIR: the portfolio, OUT: an output directory
        int status;
        const char* said;               // on standard error
        int lines = -1;                 // lines on standard output, when checked
        const char* notSaid = nullptr;  // never on standard error
    } rows[] = {
        // The window refuses to list such a portfolio: so does every subcommand that lists it.
        {kCount, {"symbols", "DIR"}, 1, kMaster},
        {kCount, all, 1, kMaster},
        {kCount, {"split-search", "DIR"}, 1, kMaster},
        // One security looked up: a warning.
        {kCount, {"export", "DIR", "CCC"}, 0, kMaster, 12},
        {kCount, {"facts", "DIR", "CCC"}, 0, kMaster},
        // A DAT file shorter than its header: the quotes it holds, and a warning everywhere.
        {kShort, {"export", "DIR", "CCC"}, 0, kShortDat, 10},
        {kShort, {"export", "DIR", "CCC", "--newest-first"}, 0, kShortDat, 10},
        {kShort, all, 0, kShortDat},
        {kShort, {"split-search", "DIR"}, 0, kShortDat},
        {kShort, {"facts", "DIR", "CCC"}, 0, kShortDat},
        {kFourBytes, {"facts", "DIR", "CCC"}, 0, kEmpty},
        {kFourBytes, {"export", "DIR", "CCC"}, 0, kEmpty, 0},
        // A blank symbol is named by its record; a failed output by the output file.
        {kBlankGone, all, 1, kBlank, -1, "symbol )"},
        {kBlankGone, {"export", "DIR", "--file", "2"}, 1, kBlank, -1, "symbol )"},
        {kOutputIsDir, all, 1, "F1.txt: File Open", -1, "F1.DAT"},
#ifndef _WIN32
        {kLinkToData, all, 1, "refusing to write over a quote-data file"},
#endif
    };
    for (const auto& row : rows) {
        SetUp();
        fs::remove_all(out());
        const Damage d = row.damage;
        if (d == kCount) {
            auto bytes = testing::ReadBytes(dir() / "MASTER");
            PutI16(bytes.data(), 5);
            testing::WriteBytes(dir() / "MASTER", bytes);
        }
        if (d == kShort || d == kFourBytes)
            fs::resize_file(dir() / "F3.DAT", d == kShort ? 264 : 4);
        if (d == kBlankGone) fs::remove(dir() / "F2.DAT");
        if (d == kOutputIsDir) fs::create_directories(out() / "F1.txt");
        if (d == kLinkToData) fs::create_directories(out());
        if (d == kLinkToData) fs::create_symlink(dir() / "F3.DAT", out() / "F1.txt");
        std::vector<std::string> args;
        std::string what = std::to_string(row.damage);
        for (const std::string& a : row.args) {
            args.push_back(a == "DIR" ? dir().string() : a == "OUT" ? out().string() : a);
            what += " " + a;
        }
        const auto r = Cli(args);
        EXPECT_TRUE(Says(r, row.status, row.said)) << what << ": " << r.status << " " << r.err;
        if (row.notSaid != nullptr) {
            EXPECT_EQ(r.err.find(row.notSaid), std::string::npos) << what << ": " << r.err;
        }
        if (row.lines >= 0) {
            EXPECT_EQ(static_cast<int>(Lines(r.out).size()), row.lines) << what;
        }
    }
}

TEST_F(CliPortfolio, SplitSearchScansEachEntryNotTheFirstOfItsText) {
    // Two entries whose symbols read the same: only the second holds a jump.
    ASSERT_TRUE(testing::Portfolio(
        dir(), {FlatSeries(1, "BRK A", "FIRST", 20), FlatSeries(2, "BRK B", "SECOND", 20, 10)}));
    const auto r = Cli({"split-search", dir().string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "BRK possible 2 for 1 split on 01/11/01\n");
}

class FailingBuffer : public std::streambuf {
protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
};

// Standard output that cannot be written is a failure; a failed export leaves no file, and
// an earlier one of that name as it was.
TEST_F(CliPortfolio, AFailedOutputIsAFailureAndLeavesNoPartialFile) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"symbols", dir().string()},
          {"export", dir().string(), "AAA"},
          {"split-search", dir().string()}}) {
        FailingBuffer buffer;
        std::ostream out(&buffer);
        std::istringstream in;
        std::ostringstream err;
        EXPECT_EQ(RunCli(args, {in, out, err}), 1) << args[0];
        EXPECT_NE(err.str().find("standard output: File Write"), std::string::npos) << err.str();
    }
    const fs::path file = tmp_.path() / "earlier.txt";
    testing::WriteText(file, "earlier");
    fs::remove(dir() / "F3.DAT");
    EXPECT_EQ(Cli({"export", dir().string(), "CCC", "-o", file.string()}).status, 1);
    EXPECT_EQ(ReadText(file), "earlier");
    // Only the portfolio and the earlier file are there.
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp_.path()), fs::directory_iterator()), 2);
}

#ifndef _WIN32
// The null (minor 3) or full (minor 7) device. As root, who could replace the system's, a
// node of the test's own (made afresh each time: a faulty run may have replaced it), or none
// when it cannot be made; for anyone else the system's, which they cannot replace.
fs::path Device(const char* name, unsigned minor) {
    if (::geteuid() != 0) return fs::path("/dev") / name;
    static TempDir nodes;
    const fs::path own = nodes.path() / name;
    std::error_code ec;
    fs::remove(own, ec);
    if (::mknod(own.c_str(), S_IFCHR | 0666, makedev(1, minor)) != 0) return {};
    const int fd = ::open(own.c_str(), O_WRONLY);  // fails where the file system is mounted nodev
    if (fd < 0) return {};
    ::close(fd);
    return own;
}

// -o on what is not a regular file: a device is written, never replaced; a link keeps
// pointing at its file, whose content is replaced with its permissions kept. (That a FIFO is
// written as it is, is the output file's own test.)
TEST_F(CliPortfolio, OutputThatIsNoRegularFile) {
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"export", dir().string(), "AAA"},
          {"split-search", dir().string()}}) {
        SCOPED_TRACE(command[0]);
        auto with = [&](const fs::path& target) {
            auto args = command;
            args.insert(args.end(), {"-o", target.string()});
            return Cli(args);
        };
        const fs::path plain = tmp_.path() / "plain.txt";
        ASSERT_EQ(with(plain).status, 0);
        const std::string expected = ReadText(plain);
        ASSERT_FALSE(expected.empty());

        const fs::path real = tmp_.path() / "real.txt", link = tmp_.path() / "link.txt";
        testing::WriteText(real, "old");
        fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
        fs::remove(link);
        fs::create_symlink("real.txt", link);
        EXPECT_EQ(with(link).status, 0);
        EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
        EXPECT_EQ(ReadText(real), expected);
        EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write);

        // Devices stay devices; a full one is a failure naming it.
        if (const fs::path null = Device("null", 3); !null.empty()) {
            EXPECT_EQ(with(null).status, 0);
            EXPECT_TRUE(fs::is_character_file(null));
        }
        if (const fs::path full = Device("full", 7); !full.empty() && fs::exists(full)) {
            const auto failed = with(full);
            EXPECT_TRUE(Says(failed, 1, full.string() + ": File Write")) << failed.err;
            EXPECT_TRUE(fs::is_character_file(full));
        }
        // A pipe that nothing reads is named as such.
        const fs::path pipe = tmp_.path() / "pipe";
        fs::remove(pipe);
        ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
        EXPECT_TRUE(Says(with(pipe), 1, "a pipe that no program reads from"));
        for (const auto& e : fs::directory_iterator(tmp_.path()))
            EXPECT_NE(e.path().extension(), ".part") << e.path();
    }
}
#endif

}  // namespace
}  // namespace barwise
