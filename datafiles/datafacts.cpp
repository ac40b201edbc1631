#include "datafiles/datafacts.h"

#include <cstdio>
#include <cstring>

#include "datafiles/master.h"
#include "datafiles/series.h"

namespace barwise {

std::string PeriodText(char letter) {
    const char* name = nullptr;
    switch (letter) {
        case 'D':
            name = "Daily";
            break;
        case 'I':
            name = "Intra-day";
            break;
        case 'M':
            name = "Monthly";
            break;
        case 'Q':
            name = "Quarterly";
            break;
        case 'W':
            name = "Weekly";
            break;
        case 'Y':
            name = "Yearly";
            break;
        default:
            return "ERROR";
    }
    return std::string(1, letter) + " " + name;
}

namespace {

DataStatus ReadFactsOf(const SecurityId& id, std::string directory, DataFacts& facts) {
    SeriesFiles files;
    const DataStatus opened = OpenSeriesFiles(id, files);
    // The facts are shown for an impossible record shape too: they are how a user finds it.
    const bool oddShape =
        opened == kFileRead && !IsPlausibleRecordShape(files.recordLength, files.fieldCount);
    if (opened != kSuccess && !oddShape) return opened;
    InputFile dat(files.datPath);
    std::uint8_t header[4];
    if (!dat.isOpen()) return kFileOpen;
    if (!dat.read(header, sizeof header)) return kFileRead;
    const std::int64_t size = dat.size();

    const MasterRecord& record = files.record;
    facts = DataFacts{};
    facts.directory = std::move(directory);
    facts.fileNumber = record.fileNumber();
    facts.recordLength = static_cast<std::int8_t>(record.bytes[kMasterRecordLengthOffset]);
    facts.fieldCount = static_cast<std::int8_t>(record.bytes[kMasterFieldCountOffset]);
    facts.quoteCount = DatLastRecord(header) - 1;
    facts.dopIgnored = files.dopIgnored;
    facts.dopFile = files.dopPath.filename().string();
    const auto len = static_cast<std::int64_t>(files.recordLength);
    facts.quotesInFile = len <= 0 || size < len ? 0 : static_cast<std::int32_t>((size - len) / len);
    const std::string name = record.nameField();
    // The whole name where EMASTER or XMASTER holds one longer than MASTER's 16 characters.
    facts.issueName = record.longName.empty() ? name.substr(0, name.find('\0')) : record.longName;
    facts.dataFile = files.datPath.filename().string();
    facts.firstDate = MbfToFloat(record.bytes.data() + kMasterFirstDateOffset);
    facts.lastDate = MbfToFloat(record.bytes.data() + kMasterLastDateOffset);
    facts.periodText = PeriodText(record.period());
    const std::string symbol = record.symbolField();
    facts.symbol = symbol.substr(0, symbol.find('\0'));
    for (std::size_t f = 0; f < kQuoteFieldCount; ++f) {
        if (files.layout.column[f] == 0) continue;
        facts.inputFormatName[f] = std::string(FormatCodeName(files.layout.inputFormat[f]));
        facts.displayFormatName[f] = std::string(FormatCodeName(files.layout.displayFormat[f]));
    }
    return kSuccess;
}

}  // namespace

DataStatus ReadDataFacts(std::string_view directory, std::string_view key, DataFacts& facts) {
    MasterRecord record;
    SecurityId id;
    if (const DataStatus found = FindSymbol(directory, key, record, id); found != kSuccess)
        return found;
    return ReadFactsOf(id, std::string(directory), facts);
}

DataStatus ReadDataFacts(const SecurityId& id, DataFacts& facts) {
    std::string directory = id.directory;
    // Shown as Barwise shows a portfolio: without a trailing separator, unless a root.
    if (directory.size() > 1 && IsPathSeparator(directory.back()) &&
        directory[directory.size() - 2] != ':')
        directory.pop_back();
    return ReadFactsOf(id, std::move(directory), facts);
}

}  // namespace barwise
