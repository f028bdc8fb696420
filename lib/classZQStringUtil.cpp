#include "lib/classZQStringUtil.h"

#include <algorithm>

std::string TZQStringUtil::ZeroPad(std::int64_t number, int width) {
    std::string text = std::to_string(number);
    const std::size_t w = static_cast<std::size_t>(std::clamp(width, 0, 255));
    if (text.size() < w)
        text.insert(0, w - text.size(), '0');
    return text;
}

std::string TZQStringUtil::Trim(const std::string& text) {
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && isBlank(text[first]))
        ++first;
    while (last > first && isBlank(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

std::string TZQStringUtil::LowerCase(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}
