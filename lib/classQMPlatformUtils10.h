#pragma once

#include <cstdint>
#include <functional>

class TQMString;

// Machine facts for the identifier seed.
class TQMPlatformUtils {
public:
    TQMPlatformUtils() = delete;

    // Serial number of the system volume (the one that holds "/"); 0 when it
    // cannot be read.
    static std::uint32_t VolumeSerialNumber();
    // True when path names an existing directory.
    static bool IsDirectory(const TQMString& path);

    // Replaces the source of VolumeSerialNumber (tests); an empty function
    // restores the volume query.
    static void SetVolumeSerialSource(std::function<std::uint32_t()> source);
};
