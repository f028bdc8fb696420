#pragma once

#include "lib/DateTimeUtil.h"
#include "scheduler/classQMTaskScheduler.h"

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
class TQMTaskSchedulerSettings;
class TTrayIcon;

// The main window's life on the desktop: its icon in the notification area,
// the desktop notifications, keeping running with the window closed and
// starting at login. The window owns one and hands it its events.
class TDesktop : public QObject {
    Q_OBJECT

public:
    // Whether the desktop offers a notification area now.
    static bool NotificationAreaAvailable();

    // `window` is the main window, `addTask` its add command, `store` holds
    // the two preferences of this unit. With `hasNotificationArea` the icon
    // is made, shown once the window starts.
    TDesktop(QWidget* window, QAction* addTask, TQMTaskSchedulerSettings& store,
             bool hasNotificationArea);
    ~TDesktop() override;

    // The one way the program tells the user something outside its window
    // (a failed start, a missed run, ...); never blocks.
    void Notify(const QString& title, const QString& text);

    // The window is hidden or minimised with a notification area to come
    // back from: news then go out as notifications, not as boxes.
    bool NotifiesInsteadOfBoxes() const;

    // The icon in the notification area; none without one.
    TTrayIcon* Tray() const { return tray_.get(); }

    // Adds "Keep running when the window is closed" and "Start at login".
    void AddPreferenceItems(QMenu* preferences);
    // The preferences have been loaded: the items show them; the autostart
    // entry on disk decides "Start at login".
    void PreferencesLoaded();

    // The window starts, shown or hidden: the icon appears.
    void WindowStarted();
    // Starts the window hidden: in the notification area when there is one,
    // else minimised. False when the window has to be shown minimised.
    bool StartsHidden() const { return tray_ != nullptr; }

    // The user closes the window. True when the program keeps running: the
    // window has been put away instead of closed.
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
    // A failure for the status bar.
    void Problem(const QString& text);
    // A notification went out.
    void Notified(const QString& title, const QString& text);

private:
    void KeepRunningClicked();
    void StartAtLoginClicked();

    QWidget* window_;
    TQMTaskSchedulerSettings& store_;
    std::unique_ptr<TTrayIcon> tray_;
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
