// Taking UTF-8 text apart by whole characters, for what is shown or cut.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace runtime {

// Whether a byte continues a character rather than starting one.
constexpr bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// How many bytes a character that begins with `lead` has; 0 when no valid
// character begins with it.
constexpr std::size_t SequenceLength(unsigned char lead) {
    return lead < 0x80 ? 1 : lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
}

// Whether `next` can follow `begun` (a lead byte and what followed it so far)
// in a valid character: no overlong forms, no UTF-16 surrogates, nothing
// above U+10FFFF.
constexpr bool Continues(std::string_view begun, unsigned char next) {
    if (!IsContinuationByte(static_cast<char>(next))) return false;
    if (begun.size() != 1) return true;
    switch (static_cast<unsigned char>(begun[0])) {
    case 0xE0: return next >= 0xA0;
    case 0xED: return next <= 0x9F;
    case 0xF0: return next >= 0x90;
    case 0xF4: return next <= 0x8F;
    default: return true;
    }
}

// The bytes of the valid character that starts at `at`; 0 when none does.
constexpr std::size_t ValidCharacterLength(std::string_view text, std::size_t at) {
    const std::size_t length = SequenceLength(static_cast<unsigned char>(text[at]));
    if (length == 0 || at + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k)
        if (!Continues(text.substr(at, k), static_cast<unsigned char>(text[at + k]))) return 0;
    return length;
}

// The code point of one valid character.
constexpr char32_t CodePoint(std::string_view character) {
    char32_t code = static_cast<unsigned char>(character[0]);
    if (character.size() > 1) code &= 0x3Fu >> (character.size() - 1);
    for (std::size_t i = 1; i < character.size(); ++i) code = (code << 6) | (static_cast<unsigned char>(character[i]) & 0x3Fu);
    return code;
}

// The bytes of the character that starts at `at`.
inline std::size_t CharacterLength(std::string_view text, std::size_t at) {
    std::size_t length = 1;
    while (at + length < text.size() && IsContinuationByte(text[at + length])) ++length;
    return length;
}

// The text's first `keep` bytes or fewer, whole characters.
constexpr std::string_view Head(std::string_view text, std::size_t keep) {
    if (text.size() <= keep) return text;
    while (keep > 0 && IsContinuationByte(text[keep])) --keep;
    return text.substr(0, keep);
}

// The text's first and last `keep` bytes or fewer, whole characters, with
// `gap` between them; the text itself when it is no longer than both.
inline std::string WithoutMiddle(std::string_view text, std::size_t keep, std::string_view gap) {
    if (text.size() <= 2 * keep) return std::string(text);
    std::size_t tail = text.size() - keep;
    while (IsContinuationByte(text[tail])) ++tail;
    return std::string(Head(text, keep)).append(gap).append(text.substr(tail));
}

}  // namespace runtime
