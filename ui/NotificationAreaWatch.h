#pragma once

#include <QObject>
#include <QTimer>

#include <memory>

class QDBusServiceWatcher;

// Watches the desktop for a notification area for as long as the program
// runs: a StatusNotifierItem host (its watcher's name on the session bus)
// and an XEmbed tray (the owner of the X11 tray selection). Either may come
// after the program, go with a panel restart and come back.
class TNotificationAreaWatch : public QObject {
    Q_OBJECT

public:
    // Starts watching; the first answers come from the event loop, so
    // nothing here waits for a panel.
    TNotificationAreaWatch();
    ~TNotificationAreaWatch() override;

    bool StatusNotifierHost() const { return statusNotifierHost_; }
    bool XEmbedTray() const { return xembedTray_; }

signals:
    // One of the two answers changed.
    void Changed();

private:
    void SetStatusNotifierHost(bool present);
    void PollXEmbedTray();

    std::unique_ptr<QDBusServiceWatcher> watcher_;
    // The X server tells nobody of a new selection owner unasked, so the
    // selection is looked at again every few seconds (one round trip).
    QTimer xembedPoll_;
    bool statusNotifierHost_ = false;
    bool xembedTray_ = false;
};
