// The C library's Unicode tables, whatever the user's locale says.
#pragma once

#include <clocale>

namespace runtime::posix {

// Character classes, widths and case as C.UTF-8 has them; nullptr where the
// C library has no such locale.
inline locale_t Utf8Locale() {
    static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return utf8;
}

}  // namespace runtime::posix
