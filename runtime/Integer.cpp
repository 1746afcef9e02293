#include "Integer.h"

#include <limits>

#include "RuntimeError.h"

namespace runtime {

Integer operator+(Integer a, Integer b) {
    const int sum = int{a.value_} + int{b.value_};
    if (sum > std::numeric_limits<std::int16_t>::max() ||
        sum < std::numeric_limits<std::int16_t>::min())
        Raise(ErrorNumber::Overflow, {});
    return Integer(static_cast<std::int16_t>(sum));
}

std::string NumberToText(Integer number) { return std::to_string(number.Value()); }

}  // namespace runtime
