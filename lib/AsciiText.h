#pragma once

#include <string>
#include <string_view>

// The text rules of the file formats: a blank is any character of code 0 to
// 32, and letter case is that of the ASCII letters A to Z only, so that bytes
// of other code pages pass through unchanged and no locale is consulted.
namespace ascii {

constexpr bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

constexpr char ToLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char ToUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The text without blanks at both ends, as a view into it.
constexpr std::string_view TrimView(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

inline std::string Trim(std::string_view text) {
    return std::string(TrimView(text));
}

inline std::string Lower(std::string text) {
    for (char& c : text)
        c = ToLower(c);
    return text;
}

// text begins with prefix, without regard to letter case.
constexpr bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (ToLower(text[i]) != ToLower(prefix[i]))
            return false;
    return true;
}

constexpr bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && StartsWithNoCase(a, b);
}

} // namespace ascii
