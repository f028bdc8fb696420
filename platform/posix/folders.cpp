#include "platform/folders.h"

#include <cstdlib>

namespace platform {

namespace {

// An environment variable's value when it is an absolute path, else empty:
// a relative one would move with the working folder.
std::string AbsoluteFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (!value || value[0] != '/')
        return {};
    return value;
}

} // namespace

std::string SpecialFolderPath(SpecialFolder folder) {
    switch (folder) {
    case SpecialFolder::LocalAppData: {
        // The XDG base-directory rule for user data.
        std::string data = AbsoluteFromEnvironment("XDG_DATA_HOME");
        if (!data.empty())
            return data;
        std::string home = AbsoluteFromEnvironment("HOME");
        if (home.empty())
            return {};
        if (home.back() != '/')
            home += '/';
        return home + ".local/share";
    }
    }
    return {};
}

} // namespace platform
