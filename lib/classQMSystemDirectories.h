#pragma once

#include <string>

// Looks up the user's special folders. Class-level operations only.
class TQMSystemDirectories {
public:
    TQMSystemDirectories() = delete;

    // Folder number of the user's local (non-roaming) application-data folder.
    static constexpr int CSIDL_LOCAL_APPDATA = 0x1C;

    // The special folder's absolute path ending in the folder separator, or
    // empty when the system does not know it or the number is not one this
    // system has. Never raises.
    static std::string GetSpecialFolder(int folder);

    // GetSpecialFolder(CSIDL_LOCAL_APPDATA).
    static std::string GetLocalAppDataFolder();
};
