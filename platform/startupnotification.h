#pragma once

#include <string>

// The X11 start-up notification protocol: a launcher shows a busy cursor for
// a start until the started program says it is done, or a time-out passes.
namespace platform {

// Ends the launch feedback of startupId: sends "remove: ID=<startupId>" to
// the root window of the connection's first screen, as the protocol's
// client messages of 20 bytes each. `xcbConnection` is an
// xcb_connection_t*; false for a null or broken connection or an empty id.
bool SendStartupRemove(void* xcbConnection, const std::string& startupId);

} // namespace platform
