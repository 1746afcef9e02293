// Taking UTF-8 text apart by whole characters, for what is shown or cut.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace runtime {

// Whether a byte continues a character rather than starting one.
constexpr bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The bytes of the character that starts at `at`.
inline std::size_t CharacterLength(std::string_view text, std::size_t at) {
    std::size_t length = 1;
    while (at + length < text.size() && IsContinuationByte(text[at + length])) ++length;
    return length;
}

// The text's first and last `keep` bytes or fewer, whole characters, with
// `gap` between them; the text itself when it is no longer than both.
inline std::string WithoutMiddle(std::string_view text, std::size_t keep, std::string_view gap) {
    if (text.size() <= 2 * keep) return std::string(text);
    std::size_t head = keep, tail = text.size() - keep;
    while (IsContinuationByte(text[head])) --head;
    while (IsContinuationByte(text[tail])) ++tail;
    std::string shown(text.substr(0, head));
    return shown.append(gap).append(text.substr(tail));
}

}  // namespace runtime
