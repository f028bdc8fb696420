#include "lib/classQMPlatformUtils10.h"

#include "lib/classQMString10.h"
#include "platform/files.h"
#include "platform/volume.h"

#include <utility>

namespace {

std::function<std::uint32_t()>& SerialSource() {
    static std::function<std::uint32_t()> source;
    return source;
}

} // namespace

// The system directory of this platform is "/", which is its own root; no
// drive letters and no network paths to reduce.
std::uint32_t TQMPlatformUtils::VolumeSerialNumber() {
    if (SerialSource())
        return SerialSource()();
    return platform::VolumeSerial("/");
}

bool TQMPlatformUtils::IsDirectory(const TQMString& path) {
    return platform::DirectoryExists(path.ToString());
}

void TQMPlatformUtils::SetVolumeSerialSource(std::function<std::uint32_t()> source) {
    SerialSource() = std::move(source);
}
