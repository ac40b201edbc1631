// ReadDataFacts and the dialog's texts on a fuzzed MASTER record, DOP and DAT header.
//
// Input: see portfolio_input.h (no target parameters).
#include <cstdint>
#include <string>

#include "commands/datafacts/facttexts.h"
#include "datafiles/datafacts.h"
#include "fuzz/portfolio_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace barwise;
    fuzz::Input in(data, size);
    const fuzz::PortfolioInput p = fuzz::ReadPortfolioHead(in);
    const std::string dat = fuzz::WritePortfolioFiles(p, in);

    DataFacts facts;
    facts.symbol = "untouched";
    const DataStatus r = ReadDataFacts(fuzz::PortfolioDir(), fuzz::kPortfolioKey, facts);
    if (r != kSuccess) {
        BARWISE_FUZZ_CHECK(facts.symbol == "untouched");
        return 0;
    }
    BARWISE_FUZZ_CHECK(p.withDat && dat.size() >= 4);
    BARWISE_FUZZ_CHECK(facts.directory == fuzz::PortfolioDir());
    BARWISE_FUZZ_CHECK(facts.fileNumber == 1);
    BARWISE_FUZZ_CHECK(facts.symbol.rfind(fuzz::kPortfolioKey, 0) == 0);
    BARWISE_FUZZ_CHECK(facts.symbol.size() <= kMasterSymbolSize);
    BARWISE_FUZZ_CHECK(facts.issueName.size() <= kMasterNameSize);
    const auto texts = FactLines(facts);
    // The facts and the two formats of each field, then a note on the layout when there is one.
    BARWISE_FUZZ_CHECK(texts.size() == 26u + (LayoutNote(facts).empty() ? 0u : 1u));
    for (std::size_t f = 0; f < kQuoteFieldCount; ++f) {
        BARWISE_FUZZ_CHECK(facts.inputFormatName[f].size() <= 16);
        BARWISE_FUZZ_CHECK(facts.displayFormatName[f].size() <= 16);
    }
    return 0;
}
