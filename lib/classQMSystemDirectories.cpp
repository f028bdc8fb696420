#include "lib/classQMSystemDirectories.h"

#include "lib/ZQFileAndShellUtil.h"
#include "platform/folders.h"

std::string TQMSystemDirectories::GetSpecialFolder(int folder) {
    std::string path;
    if (folder == CSIDL_LOCAL_APPDATA)
        path = platform::SpecialFolderPath(platform::SpecialFolder::LocalAppData);
    return TZQFileAndShellUtil::AddTrailingBackslash(path);
}

std::string TQMSystemDirectories::GetLocalAppDataFolder() {
    return GetSpecialFolder(CSIDL_LOCAL_APPDATA);
}
