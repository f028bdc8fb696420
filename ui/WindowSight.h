#pragma once

class QWidget;

namespace ui {

// The window is in front of the user: shown, not minimised, and active or
// exposed while the application is not hidden. The window's own minimised
// flag is not enough: a Wayland compositor minimises a window without
// telling the client, and Qt's flag turns false at the next configure.
bool IsInSight(const QWidget* window);

} // namespace ui
