#include "platform/folders.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

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

// The home folder the password database gives the user, when absolute.
std::string HomeFromPasswordDatabase() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 16384));
    passwd entry{};
    passwd* found = nullptr;
    while (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    if (!found || !found->pw_dir || found->pw_dir[0] != '/')
        return {};
    return found->pw_dir;
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
        // Without a usable HOME (a service, a cron job, a stripped
        // environment) the user still has a home: never fall back to the
        // working folder.
        if (home.empty())
            home = HomeFromPasswordDatabase();
        if (home.empty())
            return {};
        if (home.back() != '/')
            home += '/';
        return home + ".local/share";
    }
    case SpecialFolder::UserHome: {
        const std::string home = HomeFromPasswordDatabase();
        return home.empty() ? AbsoluteFromEnvironment("HOME") : home;
    }
    }
    return {};
}

} // namespace platform
