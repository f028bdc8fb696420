#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Serial number of the volume that holds path: the low 32 bits of the file
// system id. 0 when the query fails (a missing path, for example).
std::uint32_t VolumeSerial(const std::string& path);

} // namespace platform
