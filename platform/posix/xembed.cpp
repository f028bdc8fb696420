#include "platform/xembed.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace platform {

bool XEmbedTrayPresent(void* xcbConnection, int screen) {
    auto* connection = static_cast<xcb_connection_t*>(xcbConnection);
    if (connection == nullptr || xcb_connection_has_error(connection) != 0)
        return false;
    const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(screen);
    // The atom exists once any tray has asked for it; a missing one means
    // no tray has ever run on this display.
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(
            connection,
            xcb_intern_atom(connection, 1, static_cast<uint16_t>(name.size()), name.c_str()),
            nullptr),
        &std::free);
    if (!atom || atom->atom == XCB_ATOM_NONE)
        return false;
    const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom),
                                      nullptr),
        &std::free);
    return owner && owner->owner != XCB_WINDOW_NONE;
}

} // namespace platform
