#pragma once

class QWidget;

// The windows that open from the main window beside it (history, log).
namespace ui {

// Places `window` beside `owner` on the owner's screen: on the side with
// more room, as wide as that room allows, never past the screen's free
// area. Call before the first show.
void PlaceBeside(QWidget* window, const QWidget* owner);

// Screen readers take `window`, a plain widget with a frame of its own, for
// a window rather than a filler inside one.
void ReportAsWindow(QWidget* window);

} // namespace ui
