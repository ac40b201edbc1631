#include "commands/datafacts/facttexts.h"

#include <cstdio>

namespace barwise {

std::string_view FactLabel(Fact fact) {
    switch (fact) {
        case Fact::kPath:
            return "Path:";
        case Fact::kFileNumber:
            return "File number";
        case Fact::kRecordLength:
            return "DAT file record length";
        case Fact::kFieldCount:
            return "DAT file number of fields";
        case Fact::kQuoteCount:
            return "Number of quotes";
        case Fact::kIssueName:
            return "Name of issue";
        case Fact::kFirstDate:
            return "First date in file";
        case Fact::kLastDate:
            return "Last date in file";
        case Fact::kDataFormat:
            return "Data format";
        case Fact::kSymbol:
            return "Symbol";
    }
    return {};
}

std::string FactText(const DataFacts& facts, Fact fact) {
    const auto date = [](float v) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%6.0f", static_cast<double>(v));
        return std::string(buf);
    };
    switch (fact) {
        case Fact::kPath:
            return facts.directory;
        case Fact::kFileNumber:
            return std::to_string(facts.fileNumber);
        case Fact::kRecordLength:
            return std::to_string(facts.recordLength);
        case Fact::kFieldCount:
            return std::to_string(facts.fieldCount);
        case Fact::kQuoteCount:
            return std::to_string(facts.quoteCount);
        case Fact::kIssueName:
            return facts.issueName;
        case Fact::kFirstDate:
            return date(facts.firstDate);
        case Fact::kLastDate:
            return date(facts.lastDate);
        case Fact::kDataFormat:
            return facts.periodText;
        case Fact::kSymbol:
            return facts.symbol;
    }
    return {};
}

std::string LayoutNote(const DataFacts& facts) {
    if (!facts.dopIgnored) return {};
    return facts.dopFile +
           " not used (it names no date, or more fields than each record holds): "
           "the default layout for the record length is shown";
}

std::vector<FactLine> FactLines(const DataFacts& facts) {
    std::vector<FactLine> lines;
    for (const Fact f : kFacts) lines.push_back({std::string(FactLabel(f)), FactText(facts, f)});
    for (std::size_t f = 0; f < kQuoteFieldCount; ++f) {
        lines.push_back({std::string(kFieldLabels[f]) + " Input", facts.inputFormatName[f]});
        lines.push_back({std::string(kFieldLabels[f]) + " Display", facts.displayFormatName[f]});
    }
    if (const std::string note = LayoutNote(facts); !note.empty())
        lines.push_back({"Layout", note});
    return lines;
}

}  // namespace barwise
