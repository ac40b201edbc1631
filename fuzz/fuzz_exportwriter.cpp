// The export line writer: lines for fuzzed options, dates and values. Each number must be
// printf's own "%.4f" / "%.2f" text of the float, each line must hold one delimiter per
// column written and end in CR LF.
//
// Input: [options: 1 byte] [omit mask: 1 byte] [date: u16] [6 floats: 24 bytes]
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "export/exportwriter.h"
#include "fuzz/fuzz_support.h"

namespace {

void CheckFixed(float v) {
    char ours[80];
    char theirs[80];
    char* end = barwise::FormatFixed4(ours, v);
    std::snprintf(theirs, sizeof theirs, "%.4f", static_cast<double>(v));
    BARWISE_FUZZ_CHECK(std::string(ours, end) == theirs);
    end = barwise::FormatFixed2(ours, v);
    std::snprintf(theirs, sizeof theirs, "%.2f", static_cast<double>(v));
    BARWISE_FUZZ_CHECK(std::string(ours, end) == theirs);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace barwise;
    fuzz::Input in(data, size);
    const std::uint8_t flags = in.byte();
    const std::uint8_t omit = in.byte();
    const auto date = static_cast<DateCode>(kFirstDay + static_cast<int>(in.u16()) * 2);
    std::array<float, kExportValueColumns> values{};
    for (float& v : values) {
        const std::uint32_t bits = in.u32();
        std::memcpy(&v, &bits, 4);
    }

    ExportOptions options;
    options.delimiter = ExportDelimiterFor(flags & 3);
    options.title = (flags & 4) != 0;
    options.newestFirst = (flags & 8) != 0;
    options.dateFormat = (flags & 16) != 0 ? ExportDateFormat::kIso : ExportDateFormat::kMmDdYy;
    int written = 0;
    for (int c = 0; c < kExportValueColumns; ++c) {
        options.omit[static_cast<std::size_t>(c)] = (omit >> c & 1) != 0;
        written += (omit >> c & 1) != 0 ? 0 : 1;
    }

    for (float v : values) {
        CheckFixed(v);
    }

    const ExportLineWriter writer(options);
    const std::string line = writer.lineText(date, values);
    std::string appended;
    writer.appendLine(appended, date, values);
    BARWISE_FUZZ_CHECK(appended == line + std::string(kExportLineEnd));
    std::size_t delimiters = 0;
    for (char ch : line) {
        BARWISE_FUZZ_CHECK(ch != '\r' && ch != '\n');
        delimiters += ch == options.delimiter ? 1 : 0;
    }
    BARWISE_FUZZ_CHECK(delimiters == static_cast<std::size_t>(written));
    const std::string dateText = line.substr(0, line.find(options.delimiter));
    if (options.dateFormat == ExportDateFormat::kMmDdYy) {
        BARWISE_FUZZ_CHECK(dateText == FormatDateMdy(date));
    } else {
        BARWISE_FUZZ_CHECK(dateText.size() == 10);
    }
    std::string title;
    writer.appendTitle(title);
    BARWISE_FUZZ_CHECK(title == writer.titleText() + std::string(kExportLineEnd));
    return 0;
}
