#pragma once

#include <string>

// String routines of the program launcher; never instantiated.
class TQMTaskSchedulerStringUtils {
public:
    TQMTaskSchedulerStringUtils() = delete;

    // Replaces every occurrence of pattern in text, left to right; text that
    // a replacement put in is never searched again. True when at least one
    // occurrence was replaced; an empty pattern replaces nothing.
    static bool ReplaceAll(std::string& text, const std::string& pattern,
                           const std::string& replacement);
};
