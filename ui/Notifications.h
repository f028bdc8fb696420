#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <set>

class QDBusPendingCallWatcher;

// Desktop notifications through the freedesktop notification service
// (org.freedesktop.Notifications on the session bus), with the program's
// name and icon and a "Show" action. Calls are asynchronous: a service that
// hangs never holds up the caller.
class TNotifications : public QObject {
    Q_OBJECT

public:
    // `appName` names the program in the notification, `iconName` is its
    // icon in the desktop's icon theme.
    TNotifications(const QString& appName, const QString& iconName);
    ~TNotifications() override;

    // Hands the notification to the service and returns at once.
    // `failed` runs later, from the event loop, when the service does not
    // take it (no service, an error, no answer in time), with the reason.
    void Send(const QString& title, const QString& body,
              std::function<void(const QString& error)> failed);

signals:
    // The user chose "Show" (or clicked one of ours).
    void ShowRequested();

private slots:
    void ActionInvoked(uint id, const QString& actionKey);
    void NotificationClosed(uint id, uint reason);

private:
    QString appName_;
    QString iconName_;
    // The identifiers the service gave ours, until it closes them.
    std::set<uint> open_;
};
