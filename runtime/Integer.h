// The 16-bit signed integer and truth values of the classic runtime.
#pragma once

#include <compare>
#include <cstdint>
#include <string>

namespace runtime {

// Truth values are 16-bit: True is -1 (all bits set), False is 0.
using Boolean = std::int16_t;
inline constexpr Boolean True = -1;
inline constexpr Boolean False = 0;

// A 16-bit signed integer whose arithmetic raises run-time error 6 (Overflow)
// instead of wrapping.
class Integer {
public:
    constexpr Integer(std::int16_t value = 0) : value_(value) {}
    constexpr std::int16_t Value() const { return value_; }

    friend Integer operator+(Integer a, Integer b);
    Integer& operator+=(Integer other) { return *this = *this + other; }
    friend constexpr auto operator<=>(Integer a, Integer b) = default;

private:
    std::int16_t value_;
};

// Decimal digits with no leading space ("-" for negatives).
std::string NumberToText(Integer number);

}  // namespace runtime
