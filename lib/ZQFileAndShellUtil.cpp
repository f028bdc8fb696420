#include "lib/ZQFileAndShellUtil.h"

#include "lib/classZQStringUtil.h"
#include "platform/folders.h"

std::string TZQFileAndShellUtil::AddTrailingBackslash(const std::string& path) {
    std::string result = TZQStringUtil::Trim(path);
    if (!result.empty() && result.back() != platform::PathDelimiter)
        result += platform::PathDelimiter;
    return result;
}
