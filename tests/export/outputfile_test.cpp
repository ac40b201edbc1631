// The output file of -o: which names it refuses, and a FIFO without a reader.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "export/outputfile.h"
#include "testsupport/tempdir.h"

namespace barwise {
namespace {

TEST(OutputFileNames, EveryIndexAndDataFileWithItsBackupsAndTemporariesIsRefused) {
    for (const char* name : {"MASTER", "emaster", "XMASTER", "MASTER.BAK", "EMASTER.BAK", "xmaster.bak",
                             "MASTER.~NU", "EMASTER.NEW", "MASTER.BAK.NEW", "barwise.lck", "F3.DAT", "F3.BAK", "f12.mwd",
                             "F3.DOP", "F3.NEW", "F3.DAT.NEW", "F3.BAK.NEW", "F255.DOP.NEW"}) {
        EXPECT_TRUE(IsQuoteDataFileName(fs::path("/some/dir") / name)) << name;
    }
    for (const char* name : {"MASTER.csv", "master.txt", "F3.txt", "F3.DAT.csv", "FX.DAT", "F.DAT", "report.BAK",
                             "F3", "MASTERS", "out.NEW"}) {
        EXPECT_FALSE(IsQuoteDataFileName(fs::path("/some/dir") / name)) << name;
    }
}

#ifndef _WIN32
// A FIFO no program reads from is refused after a short wait, not waited on forever (a
// wait for ever hangs the test); with a reader it is written through.
TEST(OutputFileFifo, WithoutAReaderTheOpenFails) {
    testing::TempDir tmp;
    const fs::path fifo = tmp.path() / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    {
        OutputFile out(fifo);
        EXPECT_EQ(out.open(), kFileOpen);
    }

    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    OutputFile out(fifo);
    ASSERT_EQ(out.open(), kSuccess);
    out.stream() << "quotes";
    ASSERT_EQ(out.commit(), kSuccess);
    char got[16] = {};
    EXPECT_EQ(::read(reader, got, sizeof got), 6);
    EXPECT_STREQ(got, "quotes");
    ::close(reader);
    EXPECT_TRUE(fs::is_fifo(fifo));
}
#endif

}  // namespace
}  // namespace barwise
