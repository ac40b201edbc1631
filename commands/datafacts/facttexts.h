// The texts of a series' facts as "About Selected Quote Series" and `barwise-cli facts`
// show them, and the labels both give them.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "datafiles/datafacts.h"

namespace barwise {

// The facts of the left-hand box, in the dialog's order.
enum class Fact {
    kPath,
    kFileNumber,
    kRecordLength,
    kFieldCount,
    kQuoteCount,
    kIssueName,
    kFirstDate,
    kLastDate,
    kDataFormat,
    kSymbol,
};
inline constexpr std::array<Fact, 10> kFacts = {
    Fact::kPath,      Fact::kFileNumber, Fact::kRecordLength, Fact::kFieldCount, Fact::kQuoteCount,
    Fact::kIssueName, Fact::kFirstDate,  Fact::kLastDate,     Fact::kDataFormat, Fact::kSymbol,
};

std::string_view FactLabel(Fact fact);
std::string FactText(const DataFacts& facts, Fact fact);

// The quote fields by name, in QuoteField order (DATE TIME OPEN HIGH LOW CLOSE VOL OI).
inline constexpr std::array<std::string_view, kQuoteFieldCount> kFieldLabels = {
    "Date", "Time", "Open", "High", "Low", "Close", "Vol", "OI"};

// What is said of a DOP file that was not used; empty when the layout came from it.
std::string LayoutNote(const DataFacts& facts);

// Every fact with its label, in the dialog's order: the left-hand box, then "<Field> Input"
// and "<Field> Display" of each field, then "Layout" when LayoutNote has something to say.
struct FactLine {
    std::string label;
    std::string text;
};
std::vector<FactLine> FactLines(const DataFacts& facts);

}  // namespace barwise
