#include "lib/classZQStringUtil.h"

#include "lib/AsciiText.h"

#include <algorithm>

std::string TZQStringUtil::ZeroPad(std::int64_t number, int width) {
    std::string text = std::to_string(number);
    const std::size_t w = static_cast<std::size_t>(std::clamp(width, 0, 255));
    if (text.size() < w)
        text.insert(0, w - text.size(), '0');
    return text;
}

std::string TZQStringUtil::Trim(const std::string& text) {
    return ascii::Trim(text);
}

std::string TZQStringUtil::LowerCase(std::string text) {
    return ascii::Lower(std::move(text));
}
