#include "platform/volume.h"

#include <sys/statvfs.h>

namespace platform {

std::uint32_t VolumeSerial(const std::string& path) {
    struct statvfs info {};
    if (path.empty() || statvfs(path.c_str(), &info) != 0)
        return 0;
    return static_cast<std::uint32_t>(info.f_fsid & 0xFFFFFFFFu);
}

} // namespace platform
