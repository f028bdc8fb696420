#include "ui/WindowSight.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

namespace ui {

bool IsInSight(const QWidget* window) {
    if (!window->isVisible() || window->isMinimized())
        return false;
    if (window->isActiveWindow())
        return true;
    // A window the compositor keeps out of sight gets no frame callbacks;
    // Qt's Wayland plugin takes it as not exposed once a repaint (the
    // status bar's clock, every second) waits for one in vain. On X11 a
    // minimised window is unmapped, and so not exposed either.
    const QWindow* handle = window->windowHandle();
    if (handle == nullptr || !handle->isExposed())
        return false;
    const Qt::ApplicationState state = QGuiApplication::applicationState();
    return state != Qt::ApplicationHidden && state != Qt::ApplicationSuspended;
}

} // namespace ui
