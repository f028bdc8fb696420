#pragma once

// The XEmbed notification area of an X11 display: the window that owns the
// selection _NET_SYSTEM_TRAY_S<screen>.
namespace platform {

// True when a notification area owns the tray selection of `screen` on the
// X connection `xcbConnection` (an xcb_connection_t*); false without one,
// for a null connection or when the question fails. One round trip to the
// X server, no waiting beyond it.
bool XEmbedTrayPresent(void* xcbConnection, int screen);

} // namespace platform
