#pragma once

#include <string>

namespace platform {

// The command that opens documents with the given extension (with its
// leading dot, for example ".txt"), from the desktop's file-type
// associations: the content type is guessed from the extension alone and
// its default application's command is returned, with the document field
// codes (%f %F %u %U) written as %1 and the other field codes removed.
// Empty when the extension has no known type or the type no default
// application. Looked up afresh on every call.
std::string AssociationOpenCommand(const std::string& extension);

} // namespace platform
