#include "ui/WindowPlace.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLayout>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace ui {

namespace {

const char* const WindowRole = "qmtsWindowRole";

QAccessibleInterface* WindowFactory(const QString& /*className*/, QObject* object) {
    if (object == nullptr || !object->isWidgetType() || !object->property(WindowRole).toBool())
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
}

} // namespace

void PlaceBeside(QWidget* window, const QWidget* owner) {
    const QScreen* screen = owner->screen();
    if (screen == nullptr)
        return;
    // The minimum size as it will be shown, with the style's metrics.
    window->ensurePolished();
    if (window->layout() != nullptr)
        window->layout()->activate();
    const QRect free = screen->availableGeometry();
    const QRect main = owner->frameGeometry();
    // The frame around the window's contents, as the owner has it.
    const QSize frame = main.size() - owner->geometry().size();
    const int rightRoom = free.right() - main.right();
    const int leftRoom = main.left() - free.left();
    const bool right = rightRoom >= leftRoom;
    const int room = std::max(right ? rightRoom : leftRoom, window->minimumSizeHint().width());
    QSize size = window->size().boundedTo(free.size() - frame);
    size.setWidth(std::min(size.width(), room - frame.width()));
    size = size.expandedTo(window->minimumSizeHint());
    window->resize(size);
    const int outerWidth = size.width() + frame.width();
    int x = right ? main.right() + 1 : main.left() - outerWidth;
    x = std::clamp(x, free.left(), std::max(free.left(), free.right() + 1 - outerWidth));
    const int y =
        std::clamp(main.top(), free.top(),
                   std::max(free.top(), free.bottom() + 1 - size.height() - frame.height()));
    window->move(x, y);
}

void ReportAsWindow(QWidget* window) {
    static const bool installed = [] {
        QAccessible::installFactory(WindowFactory);
        return true;
    }();
    (void)installed;
    window->setProperty(WindowRole, true);
}

} // namespace ui
