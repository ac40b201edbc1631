// Clean portfolios for the check's tests, written once per run and copied for each case,
// and the byte patches that plant one damage into such a copy.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "datafiles/encoding.h"

namespace barwise::checktest {

namespace fs = std::filesystem;

enum class Base {
    kPlain,  // MASTER only: AAA (F1, 28 bytes), BBB (F2, 24 bytes with DOP), CCC (F3, intraday 32
             // bytes)
    kExtended,  // MASTER and EMASTER: three securities of 60 daily quotes
    kXmaster,   // MASTER, EMASTER and XMASTER: 257 securities of 20 quotes (F256, F257 in XMASTER)
};

inline constexpr int kPlainQuotes = 60;

// The clean portfolio of that kind (written on first use, never changed).
const fs::path& CleanPortfolio(Base base);
// A fresh copy of it in `dir`.
void CopyPortfolio(Base base, const fs::path& dir);

// The date of quote i of AAA and BBB in the plain portfolio (weekdays from 5 January 2015).
DateCode PlainDate(int i);

// A damage planted into a portfolio: a small change to its files in `dir`.
using Plant = std::function<void(const fs::path& dir)>;
std::vector<std::uint8_t> Bytes(const fs::path& path);
// Puts bytes into a file at `offset`, filling it up with zero bytes to there.
Plant PutAt(std::string file, std::size_t offset, std::vector<std::uint8_t> bytes);
// The `size` low bytes of a number, low byte first.
Plant Number(std::string file, std::size_t offset, std::uint32_t value, int size = 4);
Plant Mbf(std::string file, std::size_t offset, float value);
// Cuts a file to `size` bytes, or fills it up to them with zero bytes.
Plant Resize(std::string file, std::size_t size);
Plant CopyAs(std::string from, std::string to);
// The byte offset of field `column` (1-based) of quote i in a file of that record length.
inline std::size_t QuoteField(int recordLength, int quote, int column) {
    return static_cast<std::size_t>(recordLength) * static_cast<std::size_t>(quote + 1) +
           static_cast<std::size_t>(column - 1) * 4;
}
// Copies quote `from` over quote `to`.
Plant CopyQuote(std::string file, int recordLength, int from, int to);
// Swaps quotes a and b.
Plant SwapQuotes(std::string file, int recordLength, int a, int b);
// Takes quotes [first, last] out of a DAT file, its header count following.
Plant DropQuotes(std::string file, int recordLength, int first, int last);
Plant Both(Plant a, Plant b);

}  // namespace barwise::checktest
