// ReadQuoteText on fuzzed delimited text with a fuzzed format: whatever the text, every
// quote it takes is a real day inside the range with values that have an MBF form, each
// data line is taken or reported exactly once, in file order, and a refused file takes
// nothing; and read in two halves at once, it gives what it gives read whole.
//
// Input: [delimiter: 1 byte] [date form: 1 byte] [flags: 1 byte] [text: the rest]
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "datafiles/encoding.h"
#include "fuzz/fuzz_support.h"
#include "import/quotetext.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace barwise;
    fuzz::Input in(data, size);
    static constexpr char kDelimiters[] = {0, ',', ';', '\t', ' '};
    TextFormat format;
    format.delimiter = kDelimiters[in.byte() % sizeof kDelimiters];
    format.dateForm = static_cast<DateForm>(in.byte() % 6);
    const std::uint8_t flags = in.byte();
    format.checkHighLow = (flags & 1) != 0;
    if (flags & 2)
        format.columns = {ImportColumn::kSymbol, ImportColumn::kDate, ImportColumn::kOpen,
                          ImportColumn::kHigh,   ImportColumn::kLow,  ImportColumn::kClose,
                          ImportColumn::kVol};
    const std::string text(in.rest());

    const QuoteText read = ReadQuoteText(text, format, "fuzz.txt", SIZE_MAX);
    // Read in two halves at once, the text gives what it gives read whole.
    const QuoteText halves = ReadQuoteText(text, format, "fuzz.txt", 0);
    BARWISE_FUZZ_CHECK(halves.refusal == read.refusal && halves.lines == read.lines);
    BARWISE_FUZZ_CHECK(halves.quotes.size() == read.quotes.size() &&
                       halves.bad.size() == read.bad.size());
    for (std::size_t i = 0; i < read.quotes.size(); ++i) {
        const TextQuote &a = read.quotes[i], &b = halves.quotes[i];
        BARWISE_FUZZ_CHECK(a.line == b.line && a.date == b.date && a.time == b.time &&
                           a.hasTime == b.hasTime);
        BARWISE_FUZZ_CHECK(a.has == b.has &&
                           std::memcmp(a.values.data(), b.values.data(), sizeof a.values) == 0);
        BARWISE_FUZZ_CHECK(read.symbolOf(a) == halves.symbolOf(b) &&
                           read.nameOf(a) == halves.nameOf(b));
    }
    for (std::size_t i = 0; i < read.bad.size(); ++i)
        BARWISE_FUZZ_CHECK(read.bad[i].line == halves.bad[i].line &&
                           read.bad[i].reason == halves.bad[i].reason);
    if (!read.refusal.empty()) {
        BARWISE_FUZZ_CHECK(read.quotes.empty());
        return 0;
    }
    BARWISE_FUZZ_CHECK(read.quotes.size() + read.bad.size() ==
                       static_cast<std::size_t>(read.lines));
    BARWISE_FUZZ_CHECK(read.dateForm != DateForm::kDetect);
    int last = 0;
    for (const TextQuote& q : read.quotes) {
        BARWISE_FUZZ_CHECK(q.line > last);
        last = q.line;
        BARWISE_FUZZ_CHECK(q.date >= kFirstDay && q.date <= kLastDay);
        if (read.has(ImportColumn::kSymbol)) BARWISE_FUZZ_CHECK(!read.symbolOf(q).empty());
        for (std::size_t v = 0; v < q.values.size(); ++v) {
            if (!q.has[v]) continue;
            BARWISE_FUZZ_CHECK(std::isfinite(q.values[v]));
            BARWISE_FUZZ_CHECK(HasMbfForm(q.values[v]));
        }
        if (format.checkHighLow && q.has[1] && q.has[2])
            BARWISE_FUZZ_CHECK(q.values[1] >= q.values[2]);
    }
    last = 0;
    for (const BadLine& b : read.bad) {
        BARWISE_FUZZ_CHECK(b.line > last && !b.reason.empty());
        last = b.line;
    }
    // A value field read on its own agrees with itself: a number is refused or taken whole.
    const ValueField field = ParseValueText(text);
    if (field.problem.empty() && field.present) BARWISE_FUZZ_CHECK(HasMbfForm(field.value));
    return 0;
}
