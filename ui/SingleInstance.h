#pragma once

#include "platform/locks.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <string>

class QLocalServer;
class QWidget;

// What a launcher gave this start, for a running copy to use instead.
struct TLaunchIds {
    QByteArray ActivationToken; // Wayland: XDG_ACTIVATION_TOKEN
    QByteArray StartupId;       // X11: DESKTOP_STARTUP_ID
    // Read before the application object exists: Qt's X11 back end takes
    // DESKTOP_STARTUP_ID out of the environment as it connects.
    static TLaunchIds FromEnvironment();
};

// One running copy per settings file. The first start takes a lock in the
// user's run-time folder, named from the settings file's canonical path, and
// listens on a local socket beside it; while the settings folder can hold
// one, it also locks a file beside the settings file, which keeps out copies
// of other users and machines sharing that file. A later start for the same
// file finds a lock taken, asks the running copy to show its window and ends
// without running anything. Copies with different settings files do not
// meet. The kernel drops the locks when a copy ends, however it ends.
class TSingleInstance {
public:
    enum class TRole {
        First,       // this copy runs the tasks
        Second,      // the running copy was asked to show its window
        Unreachable, // another copy holds the lock but did not answer
        Refused,     // no safe run-time folder: nothing can keep a second copy out
    };

    // Takes the locks for the settings file (making its folder when
    // missing), or asks the copy that holds them. A copy that holds them but
    // does not answer (it may be ending) is given 5 s: the locks are tried
    // again meanwhile. The run-time folder follows platform::UserRuntimeFolder
    // with the given roots.
    explicit TSingleInstance(const std::string& settingsFileName,
                             const platform::RuntimeRoots& roots = {},
                             TLaunchIds launch = TLaunchIds::FromEnvironment());
    ~TSingleInstance();
    TSingleInstance(const TSingleInstance&) = delete;
    TSingleInstance& operator=(const TSingleInstance&) = delete;

    TRole Role() const { return role_; }
    // The line to print on standard error: why a later start ends, or, for
    // the first copy, a problem it runs with (empty when all is well).
    const QString& Message() const { return message_; }

    // First copy: `show` runs (from the event loop) whenever a later start
    // asks for the window, with the later start's Wayland activation token
    // (XDG_ACTIVATION_TOKEN) and X11 start-up id (DESKTOP_STARTUP_ID), each
    // empty without one.
    using TShow = std::function<void(const QString& activationToken, const QString& startupId)>;
    void OnShowRequest(TShow show);

    // The path of the local socket for a settings file, in the user's
    // run-time folder; empty when there is no such folder.
    static QString ServerName(const std::string& settingsFileName,
                              const platform::RuntimeRoots& roots = {});
    // The lock file beside the settings file.
    static std::string LockFileName(const std::string& settingsFileName);

private:
    void Start(const platform::RuntimeFolder& runtime);
    // Both locks held (or the one beside the settings file not possible).
    bool TryLocks();
    // Why a later start gives up after waiting.
    QString GivingUpMessage() const;
    void Listen();
    // Asks the copy that holds the lock to show its window; true when it
    // said so within the time.
    bool AskRunningCopy(int withinMs);

    std::string settingsFileName_;
    std::string runtimeLockName_;
    QString serverName_;
    std::unique_ptr<platform::FileLock> runtimeLock_;
    std::unique_ptr<platform::FileLock> settingsLock_;
    std::unique_ptr<QLocalServer> server_;
    TShow show_;
    TLaunchIds launch_;
    TRole role_ = TRole::First;
    QString message_;
};

namespace ui {

// Shows the window as it was before it went out of sight (maximised stays
// maximised), not minimised, raised and active: for a later start of the
// program and for "Show window" of the tray icon.
void BringToFront(QWidget* window);

} // namespace ui
