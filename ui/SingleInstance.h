#pragma once

#include <QString>

#include <functional>
#include <memory>

class QLocalServer;
class QLockFile;
class QWidget;

// One running copy per settings file. The first start takes a lock beside
// the settings file and listens on a local socket named after that file and
// the user; a later start for the same file finds the lock taken, asks the
// running copy to show its window and ends without running anything. Copies
// with different settings files do not meet. A lock left by a copy that
// crashed or was killed is taken over.
class TSingleInstance {
public:
    enum class TRole {
        First,       // this copy runs the tasks
        Second,      // the running copy was asked to show its window
        Unreachable, // another copy holds the lock but did not answer
    };

    // Takes the lock for the settings file (making its folder when missing),
    // or asks the copy that holds it. Blocks for a few seconds at most.
    explicit TSingleInstance(const QString& settingsFileName);
    ~TSingleInstance();
    TSingleInstance(const TSingleInstance&) = delete;
    TSingleInstance& operator=(const TSingleInstance&) = delete;

    TRole Role() const { return role_; }
    // The line to print on standard error: why a later start ends, or, for
    // the first copy, why it runs without the lock (empty when all is well).
    const QString& Message() const { return message_; }

    // First copy: `show` runs (from the event loop) whenever a later start
    // asks for the window.
    void OnShowRequest(std::function<void()> show);

    // The local socket's name for a settings file and the current user.
    static QString ServerName(const QString& settingsFileName);
    // The lock file beside the settings file.
    static QString LockFileName(const QString& settingsFileName);

private:
    void Listen();
    // Asks the copy that holds the lock to show its window; true when it said so.
    bool AskRunningCopy();

    QString settingsFileName_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
    std::function<void()> show_;
    TRole role_ = TRole::First;
    QString message_;
};

namespace ui {

// Shows the window, un-minimised, raised and active.
void BringToFront(QWidget* window);

} // namespace ui
