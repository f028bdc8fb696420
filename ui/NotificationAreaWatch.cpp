#include "ui/NotificationAreaWatch.h"

#include "platform/xembed.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QGuiApplication>

namespace {

const QString WatcherName = QStringLiteral("org.kde.StatusNotifierWatcher");
constexpr int XEmbedPollMs = 2000;

} // namespace

TNotificationAreaWatch::TNotificationAreaWatch() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        watcher_ = std::make_unique<QDBusServiceWatcher>(WatcherName, bus,
                                                         QDBusServiceWatcher::WatchForOwnerChange);
        connect(watcher_.get(), &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString&, const QString&, const QString& newOwner) {
                    SetStatusNotifierHost(!newOwner.isEmpty());
                });
        // The watcher only reports changes: ask once for the present owner.
        QDBusMessage ask = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
        ask << WatcherName;
        auto* answer = new QDBusPendingCallWatcher(bus.asyncCall(ask), this);
        connect(answer, &QDBusPendingCallWatcher::finished, this,
                [this](QDBusPendingCallWatcher* done) {
                    done->deleteLater();
                    const QDBusPendingReply<bool> reply = *done;
                    if (!reply.isError() && reply.value())
                        SetStatusNotifierHost(true);
                });
    }
    if (qGuiApp != nullptr && qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
        xembedPoll_.setInterval(XEmbedPollMs);
        connect(&xembedPoll_, &QTimer::timeout, this, &TNotificationAreaWatch::PollXEmbedTray);
        xembedPoll_.start();
        QTimer::singleShot(0, this, &TNotificationAreaWatch::PollXEmbedTray);
    }
}

TNotificationAreaWatch::~TNotificationAreaWatch() = default;

void TNotificationAreaWatch::SetStatusNotifierHost(bool present) {
    if (present == statusNotifierHost_)
        return;
    statusNotifierHost_ = present;
    emit Changed();
}

void TNotificationAreaWatch::PollXEmbedTray() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    const bool present = x11 != nullptr && platform::XEmbedTrayPresent(x11->connection(), 0);
    if (present == xembedTray_)
        return;
    xembedTray_ = present;
    emit Changed();
}
