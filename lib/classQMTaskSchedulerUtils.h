#pragma once

#include <string>

// Entry point for new task identifiers.
class TQMTaskSchedulerUtils {
public:
    TQMTaskSchedulerUtils() = delete;

    // A new identifier: 40 upper-case hexadecimal digits from the
    // process-wide identifier generator.
    static std::string NewTaskIdentifier();
};
