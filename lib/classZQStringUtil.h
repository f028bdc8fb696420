#pragma once

#include <cstdint>
#include <string>

// Text helpers of the utility library. Class-level operations only.
class TZQStringUtil {
public:
    TZQStringUtil() = delete;

    // The decimal text of number with "0" put in front until it is at least
    // width characters long (width 0 to 255); a longer text stays whole.
    static std::string ZeroPad(std::int64_t number, int width);
    // Appends ZeroPad(number, width) to text.
    static void AppendZeroPad(std::string& text, std::int64_t number, int width);

    // The text without the characters of code 0 to 32 at both ends.
    static std::string Trim(const std::string& text);

    // The text with the ASCII letters A to Z lower-cased; other bytes stay.
    static std::string LowerCase(std::string text);
};
