#include "ui/Notifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");
const QString ShowKey = QStringLiteral("show");
// A service that has not answered by then is taken as failed; the call
// itself never waits.
constexpr int AnswerTimeoutMs = 10000;

} // namespace

TNotifications::TNotifications(const QString& appName, const QString& iconName)
    : appName_(appName), iconName_(iconName) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(Service, Path, Interface, QStringLiteral("ActionInvoked"), this,
                SLOT(ActionInvoked(uint, QString)));
    bus.connect(Service, Path, Interface, QStringLiteral("NotificationClosed"), this,
                SLOT(NotificationClosed(uint, uint)));
}

TNotifications::~TNotifications() = default;

void TNotifications::Send(const QString& title, const QString& body,
                          std::function<void(const QString& error)> failed) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Notify"));
    // "default" is what a click on the notification itself invokes; servers
    // that show buttons show the other one.
    const QStringList actions{QStringLiteral("default"), QStringLiteral("Show"), ShowKey,
                              QStringLiteral("Show")};
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("qmtaskscheduler2"));
    call << appName_ << uint(0) << iconName_ << title << body << actions << hints << int(-1);
    // Without a bus the call fails at once, through the same watcher.
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(call, AnswerTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, failed = std::move(failed)](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                const QDBusPendingReply<uint> reply = *done;
                if (reply.isError()) {
                    if (failed)
                        failed(reply.error().message());
                    return;
                }
                open_.insert(reply.value());
            });
}

void TNotifications::ActionInvoked(uint id, const QString& actionKey) {
    // Other programs' notifications come through the same signal.
    if (open_.count(id) == 0)
        return;
    if (actionKey == ShowKey || actionKey == QStringLiteral("default"))
        emit ShowRequested();
}

void TNotifications::NotificationClosed(uint id, uint /*reason*/) {
    open_.erase(id);
}
