// What the text fields of a security's entry may hold: printable single-byte text, as the
// index files use it.
//   Symbol: printable ASCII, 0x20 to 0x7E, not beginning with a blank. A symbol text is
//   read up to its first blank, control byte or byte above 0x7E, so anything else would be
//   stored but never shown or found; a blank first would leave no symbol text at all.
//   Name: printable Latin-1, 0x20 to 0x7E and 0xA0 to 0xFF.
// Characters are given as code points: a Latin-1 byte is its own code point, so the rule
// reads bytes of a field and characters of typed text alike.
#pragma once

#include <cstddef>
#include <string_view>

namespace barwise {

enum class TextField { kSymbol, kName };

constexpr bool FieldMayHold(TextField field, char32_t c, bool first) {
    if (field == TextField::kSymbol) return c >= (first ? 0x21u : 0x20u) && c <= 0x7Eu;
    return (c >= 0x20u && c <= 0x7Eu) || (c >= 0xA0u && c <= 0xFFu);
}

// The position of the first character the field may not hold; npos when it may hold all.
template <typename Char>
std::size_t FirstUnfitChar(std::basic_string_view<Char> text, TextField field) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = static_cast<char32_t>(text[i]);
        if constexpr (sizeof(Char) == 1) c = static_cast<unsigned char>(text[i]);
        if (!FieldMayHold(field, c, i == 0)) return i;
    }
    return std::basic_string_view<Char>::npos;
}

}  // namespace barwise
