// FindSymbol's MASTER walk over a fuzzed MASTER and a fuzzed MASTER in the sub-directory
// SUB. SUB also holds LOOP, a link back to the top directory, so a sub-directory entry
// naming it tests the cycle check; an entry naming SUB inside SUB's own MASTER nests.
//
// Input: [key: u16 length + bytes] [top MASTER: u16 length + bytes] [SUB/MASTER: the rest]
#include <cstdint>
#include <filesystem>
#include <string>

#include "datafiles/master.h"
#include "fuzz/fuzz_support.h"

namespace {

const std::string& Portfolio() {
    static const std::string dir = [] {
        const std::string top = barwise::fuzz::ScratchDir() + "walk";
        std::filesystem::create_directories(top + "/SUB");
        std::error_code ec;
        std::filesystem::create_directory_symlink(top, top + "/SUB/LOOP", ec);
        return top;
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace barwise;
    fuzz::Input in(data, size);
    const std::string key(in.piece());
    const std::string_view top = in.piece();
    const std::string_view sub = in.rest();
    fuzz::WriteBytes(Portfolio() + "/MASTER", top);
    fuzz::WriteBytes(Portfolio() + "/SUB/MASTER", sub);

    MasterRecord record;
    std::string directory;
    const DataStatus s = FindSymbol(Portfolio(), key, record, directory);
    BARWISE_FUZZ_CHECK(s == kSuccess || s == kFileNotFound || s == kFileRead);
    if (s == kSuccess) {
        // The record found is an ordinary entry that matches, in a directory of the walk.
        BARWISE_FUZZ_CHECK(!record.isSubdirEntry());
        BARWISE_FUZZ_CHECK(MasterRecordMatches(record, key));
        BARWISE_FUZZ_CHECK(directory.rfind(Portfolio(), 0) == 0);
        BARWISE_FUZZ_CHECK(directory.size() <= kMaxDirectoryPath + 1);
        BARWISE_FUZZ_CHECK(!directory.empty() && directory.back() == '/');
    }
    return 0;
}
