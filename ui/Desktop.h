#pragma once

#include "lib/DateTimeUtil.h"
#include "scheduler/classQMTaskScheduler.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <memory>
#include <set>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QWidget;
class TQMTask;
class TNotificationAreaWatch;
class TNotifications;
class TQMTaskSchedulerSettings;
class TTrayIcon;

// The main window's life on the desktop: its icon in the notification area,
// the desktop notifications, keeping running with the window closed and
// starting at login. The window owns one and hands it its events.
class TDesktop : public QObject {
    Q_OBJECT

public:
    // Where the notification area is learnt of: watched on the desktop
    // (the program), or taken as an XEmbed tray that is there (window tests
    // on a platform without one).
    enum class TArea { Watched, Assumed };

    // `window` is the main window, `addTask` its add command, `store` holds
    // the two preferences of this unit. The icon appears in the area once
    // the window starts, whenever the area comes.
    TDesktop(QWidget* window, QAction* addTask, TQMTaskSchedulerSettings& store, TArea area);
    ~TDesktop() override;

    // The one way the program tells the user something outside its window
    // (a failed start, a missed run, ...); never blocks. Goes to the
    // desktop's notification service; when that does not take it, to the
    // tray icon's balloon; without an icon to standard error alone.
    enum class TKind { Information, Warning };
    void Notify(const QString& title, const QString& text, TKind kind = TKind::Warning);

    // The window is out of the user's sight (hidden, minimised, or held
    // unexposed by the compositor): news then go out as notifications, not
    // as boxes nobody sees.
    bool NotifiesInsteadOfBoxes() const;

    // The icon for the notification area (out of it while there is none).
    TTrayIcon& Tray() const { return *tray_; }
    // The desktop has a notification area now.
    bool HasNotificationArea() const;

    // Adds "Keep running when the window is closed" and "Start at login".
    void AddPreferenceItems(QMenu* preferences);
    // The preferences have been loaded: the items show them; the autostart
    // entry on disk decides "Start at login".
    void PreferencesLoaded();

    // The window starts, shown or hidden: the icon appears.
    void WindowStarted();
    // The window starts minimised for want of a notification area: it goes
    // there if one comes within two minutes.
    void StartedMinimized();

    // The user closes the window. True when the program keeps running: the
    // window has been put away instead of closed, hidden to the notification
    // area or, without one, minimised.
    bool PutAwayOnClose();

    // A task could not start: told once per task, reason and day while the
    // window is out of sight.
    void TaskFailed(const TQMTask& task, const std::string& reason);
    // A poll ended in an error while the window is out of sight: told unless
    // TaskFailed has just told the same reason. False when the window is in
    // sight, so that the caller shows its box.
    bool TellPollError(const std::string& message);
    // Starts that one poll found missed, while the window is out of sight:
    // told once per task and day, several at once in one notification.
    void StartsMissed(const std::vector<TQMTaskScheduler::TMissedReport>& missed);

signals:
    // "Exit" of the icon's menu was chosen.
    void ExitRequested();
    // A preference of this unit changed: the window saves.
    void PreferenceChanged();
    // Start at login could not be set (the text says why), or was set after
    // all (an empty text).
    void Problem(const QString& text);
    // A notification went out (before the service has answered).
    void Notified(const QString& title, const QString& text);
    // The notification service did not take one: `fallback` says where it
    // went instead ("balloon" or "none").
    void NotificationFellBack(const QString& title, const QString& fallback);

private:
    void AreaChanged();
    void KeepRunningClicked();
    void StartAtLoginClicked();
    void NotificationFailed(const QString& title, const QString& text, TKind kind,
                            const QString& error);

    QWidget* window_;
    TQMTaskSchedulerSettings& store_;
    std::unique_ptr<TNotifications> notifications_;
    std::unique_ptr<TTrayIcon> tray_;
    std::unique_ptr<TNotificationAreaWatch> watch_;
    // Since a start minimised for want of a notification area; invalid
    // otherwise.
    QElapsedTimer startedMinimized_;
    QAction* keepRunning_ = nullptr;
    QAction* startAtLogin_ = nullptr;
    // The first close to the tray of a run says where the program went.
    bool toldStillRunning_ = false;
    // The reason of the last failed start told of, so that the poll error
    // of the same start is not told twice.
    std::string notifiedReason_;
    // Failed starts told of today (task identifier and reason): a missing
    // file fails again on every poll of its start window.
    std::set<std::string> notifiedToday_;
    TDateTime notifiedDay_ = 0;
    // Tasks told today to have missed a start (identifier and name).
    std::set<std::string> missedToday_;
};
