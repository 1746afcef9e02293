#include "WindowsPath.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "RuntimeError.h"
#include "Utf8.h"

namespace runtime {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsForbidden(unsigned char c) {
    return c < 32 || c == 0x7F || c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '?' || c == '*';
}

// Names are stored as given on the host; text that is not UTF-8 could never
// have come from a Windows string. Refused: overlong forms, UTF-16 surrogates
// and code points above U+10FFFF.
bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0, length; i < text.size(); i += length)
        if ((length = ValidCharacterLength(text, i)) == 0) return false;
    return true;
}

// Windows takes at most this many UTF-16 units in a path, and in a name.
constexpr std::size_t kLongestPath = 32767;
constexpr std::size_t kLongestName = 255;

std::size_t Utf16Length(std::string_view utf8) {
    std::size_t units = 0;
    for (const char c : utf8) {
        units += !IsContinuationByte(c);            // one for each character ...
        units += static_cast<unsigned char>(c) >= 0xF0;  // ... and two for those beyond U+FFFF
    }
    return units;
}

// A long path by its start and its end, so that a report of it stays short.
std::string Abbreviated(std::string_view path) {
    constexpr std::size_t kShown = 56;
    if (path.size() <= 2 * kShown + 8) return std::string(path);
    return WithoutMiddle(path, kShown, "\xE2\x80\xA6");
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}

// A character Windows refuses in a name, named so that an invisible one
// (a tab pasted with the path, say) can be found.
std::string CharacterName(unsigned char c) {
    static constexpr const char* kControls[] = {"a tab", "a line feed", "a vertical tab", "a form feed", "a carriage return"};
    if (c >= 9 && c <= 13) return std::string(kControls[c - 9]) + " (U+000" + "9ABCD"[c - 9] + ")";
    if (c == 0x7F) return "the delete character (U+007F)";
    if (c < 32) {
        char code[] = "U+0000";
        code[4] = "0123456789ABCDEF"[c >> 4];
        code[5] = "0123456789ABCDEF"[c & 0xF];
        return std::string("the control character ") + code;
    }
    return std::string("'") + static_cast<char>(c) + "'";
}

// CON, NUL, COM1 ... with or without an extension name devices, not files.
bool IsDeviceName(std::string_view name) {
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    static constexpr std::array<std::string_view, 4> kPlain = {"con", "nul", "aux", "prn"};
    for (std::string_view device : kPlain)
        if (EqualIgnoringAsciiCase(base, device)) return true;
    return base.size() == 4 && (EqualIgnoringAsciiCase(base.substr(0, 3), "com") ||
                                EqualIgnoringAsciiCase(base.substr(0, 3), "lpt")) &&
           base[3] >= '1' && base[3] <= '9';
}

// Why a path without a drive letter is refused. Windows could make folders
// on a share or through a device path, but a clone there is a poor idea.
std::string NotDriveAbsolute(std::string_view path) {
    if (path.size() < 2 || !IsSeparator(path[0]) || !IsSeparator(path[1])) return "not a full path with a drive letter";
    if (path.size() >= 4 && (path[2] == '?' || path[2] == '.') && IsSeparator(path[3]))
        return "a device path, which is not taken: type the path from its drive letter";
    return "a network path, which is not taken: map a drive letter to the share";
}

}  // namespace

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string WindowsPath::ToString() const {
    std::string text{static_cast<char>(drive - 'a' + 'A'), ':', '\\'};
    for (std::size_t i = 0; i < components.size(); ++i) text += (i ? "\\" : "") + components[i];
    return text;
}

std::string DirectoryPath(std::string_view text) {
    std::string path = ParseWindowsPath(text).ToString();
    if (path.back() != '\\') path += '\\';
    return path;
}

WindowsPath ParseWindowsPath(std::string_view path) {
    const bool driveAbsolute = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
                               path[1] == ':' && IsSeparator(path[2]);
    if (!driveAbsolute) Raise(ErrorNumber::PathNotFound, std::string(path), NotDriveAbsolute(path));
    if (!IsValidUtf8(path)) Raise(ErrorNumber::BadFileNameOrNumber, std::string(path));
    if (const std::size_t length = Utf16Length(path); length > kLongestPath)
        Raise(ErrorNumber::BadFileNameOrNumber, Abbreviated(path),
              std::to_string(length) + " characters; Windows takes at most " + std::to_string(kLongestPath));

    WindowsPath parsed{LowerAscii(path[0]), {}};
    std::size_t start = 3;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        std::string_view name = path.substr(start, end - start);
        start = end + 1;

        if (const auto forbidden = std::find_if(name.begin(), name.end(),
                                                [](char c) { return IsForbidden(static_cast<unsigned char>(c)); });
            forbidden != name.end())
            Raise(ErrorNumber::BadFileNameOrNumber, std::string(path),
                  CharacterName(static_cast<unsigned char>(*forbidden)) + ", which Windows takes in no name");
        if (name == "..") {
            if (!parsed.components.empty()) parsed.components.pop_back();
            continue;
        }
        // Windows drops trailing dots and spaces; what is left of "." or "..." is nothing.
        while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
        if (name.empty()) continue;
        if (IsDeviceName(name)) Raise(ErrorNumber::BadFileNameOrNumber, std::string(path), "a device name");
        if (const std::size_t length = Utf16Length(name); length > kLongestName)
            Raise(ErrorNumber::BadFileNameOrNumber, Abbreviated(path),
                  "a name of " + std::to_string(length) + " characters; Windows takes at most " + std::to_string(kLongestName));
        parsed.components.emplace_back(name);
    }
    return parsed;
}

}  // namespace runtime
