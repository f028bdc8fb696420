#include "scheduler/classQMTaskSchedulerStringUtils.h"

bool TQMTaskSchedulerStringUtils::ReplaceAll(std::string& text, const std::string& pattern,
                                             const std::string& replacement) {
    if (pattern.empty())
        return false;
    std::size_t pos = text.find(pattern);
    if (pos == std::string::npos)
        return false;
    // One pass that copies the text between occurrences: no recursion, and
    // the search always resumes behind the part just replaced.
    std::string result;
    std::size_t from = 0;
    while (pos != std::string::npos) {
        result.append(text, from, pos - from);
        result += replacement;
        from = pos + pattern.size();
        pos = text.find(pattern, from);
    }
    result.append(text, from, std::string::npos);
    text = std::move(result);
    return true;
}
