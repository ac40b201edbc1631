// ParseDate on fuzzed text in every style, and the date texts FormatDate writes read back.
//
// Input: [style: 1 byte] [separator: 1 byte] [text: the rest]
#include <cstdint>
#include <string>

#include "datafiles/encoding.h"
#include "fuzz/fuzz_support.h"

namespace {

// Styles whose year has two digits: the text names 1960..2059 only.
bool TwoDigitYear(int style) {
    return style == 1 || style == 3 || style == 5 || style == 7 || style == 9 || style == 11;
}

void CheckReadBack(barwise::DateCode code, int style) {
    using namespace barwise;
    if (code == kNoDate) return;
    const std::string text = FormatDate(code, style, '/');
    BARWISE_FUZZ_CHECK(!text.empty());
    const DateParts p = SplitDate(code);
    BARWISE_FUZZ_CHECK(p.month >= 1 && p.month <= 12 && p.day >= 1 && p.day <= 31);
    if (TwoDigitYear(style) && (p.year < 60 || p.year > 159)) return;
    BARWISE_FUZZ_CHECK(ParseDate(text, style) == code);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace barwise;
    fuzz::Input in(data, size);
    const int style = static_cast<std::int8_t>(in.byte());
    const char sep = static_cast<char>(in.byte());
    const std::string text(in.rest());

    const DateCode code = ParseDate(text, style);
    if (style < 1 || style > 12) BARWISE_FUZZ_CHECK(code == kNoDate);
    if (code != kNoDate && style >= 1 && style <= 12) {
        for (int s = 1; s <= 12; ++s) CheckReadBack(code, s);
    }
    // Any date code in any style and with any separator formats without harm.
    if (text.size() >= 2) {
        const auto any = static_cast<DateCode>(static_cast<std::uint8_t>(text[0]) |
                                               (static_cast<std::uint8_t>(text[1]) << 8));
        const std::string out = FormatDate(any, style, sep);
        if (style >= 1 && style <= 12)
            BARWISE_FUZZ_CHECK(out.size() >= 6 && out.size() <= 12);
        else
            BARWISE_FUZZ_CHECK(out.empty());
    }
    return 0;
}
