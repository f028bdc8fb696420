#pragma once

#include <string>

// Path helpers of the utility library. Class-level operations only.
class TZQFileAndShellUtil {
public:
    TZQFileAndShellUtil() = delete;

    // The path trimmed (codes 0 to 32 removed at both ends) and ending in
    // the folder separator ('/' here); empty when the trimmed path is empty.
    static std::string AddTrailingBackslash(const std::string& path);
};
