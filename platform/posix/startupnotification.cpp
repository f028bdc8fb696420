#include "platform/startupnotification.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace platform {

namespace {

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(
            connection,
            xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name),
            nullptr),
        &std::free);
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// A value with a blank, a quote or a backslash is quoted, the last two
// escaped with a backslash.
std::string Quoted(const std::string& value) {
    if (value.find_first_of(" \"\\") == std::string::npos)
        return value;
    std::string quoted = "\"";
    for (const char c : value) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

} // namespace

bool SendStartupRemove(void* xcbConnection, const std::string& startupId) {
    auto* connection = static_cast<xcb_connection_t*>(xcbConnection);
    if (connection == nullptr || startupId.empty() || xcb_connection_has_error(connection) != 0)
        return false;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_atom_t begin = Atom(connection, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = Atom(connection, "_NET_STARTUP_INFO");
    if (screen == nullptr || begin == XCB_ATOM_NONE || more == XCB_ATOM_NONE)
        return false;
    // The messages name a window of the sender's, which must live until they
    // are sent.
    const xcb_window_t window = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, -100, -100, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    // The text with its closing zero byte, 20 bytes per message.
    const std::string text = "remove: ID=" + Quoted(startupId);
    const std::size_t length = text.size() + 1;
    for (std::size_t at = 0; at < length; at += 20) {
        xcb_client_message_event_t event = {};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 8;
        event.window = window;
        event.type = at == 0 ? begin : more;
        const std::size_t piece =
            std::min<std::size_t>(20, text.size() - std::min(at, text.size()));
        std::memcpy(event.data.data8, text.data() + std::min(at, text.size()), piece);
        xcb_send_event(connection, 0, screen->root, XCB_EVENT_MASK_PROPERTY_CHANGE,
                       reinterpret_cast<const char*>(&event));
    }
    xcb_destroy_window(connection, window);
    return xcb_flush(connection) > 0;
}

} // namespace platform
