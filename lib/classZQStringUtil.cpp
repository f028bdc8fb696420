#include "lib/classZQStringUtil.h"

#include "lib/AsciiText.h"

#include <algorithm>
#include <charconv>
#include <iterator>

std::string TZQStringUtil::ZeroPad(std::int64_t number, int width) {
    std::string text;
    AppendZeroPad(text, number, width);
    return text;
}

void TZQStringUtil::AppendZeroPad(std::string& text, std::int64_t number, int width) {
    char digits[24];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), number).ptr;
    const auto length = static_cast<std::size_t>(end - digits);
    const std::size_t w = static_cast<std::size_t>(std::clamp(width, 0, 255));
    if (length < w)
        text.append(w - length, '0');
    text.append(digits, length);
}

std::string TZQStringUtil::Trim(const std::string& text) {
    return ascii::Trim(text);
}

std::string TZQStringUtil::LowerCase(std::string text) {
    return ascii::Lower(std::move(text));
}
