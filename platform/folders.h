#pragma once

#include <string>

namespace platform {

// The separator between folder names in a path.
constexpr char PathDelimiter = '/';

// Per-user folders the program may keep its files in.
enum class SpecialFolder {
    // The user's local, non-roaming application-data folder.
    LocalAppData,
    // The user's home folder as the password database gives it, which
    // depends on the user alone; $HOME only when the database has none.
    UserHome,
};

// The folder's absolute path, as the system names it (with or without a
// trailing separator), or empty when the system does not know it. The
// folder may not exist yet; it is not created. LocalAppData is
// $XDG_DATA_HOME when absolute, else the home folder's ".local/share": $HOME
// when absolute, else the user's entry in the password database.
std::string SpecialFolderPath(SpecialFolder folder);

} // namespace platform
