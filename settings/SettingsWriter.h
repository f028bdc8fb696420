#pragma once

#include "settings/classQMTaskSchedulerSettings.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class QObject;
class QTimer;

// Saves the application store on a thread of its own, so that the thread
// that changes the tasks (the window's) never waits for the disk. The tasks
// are rendered there (TakeSnapshot) once its event loop runs again; the
// writer thread writes, syncs and renames (WriteSnapshot). Requests made
// while a save is being written are coalesced into one save after it.
class TSettingsWriter {
public:
    // Made on the thread that owns the store's tasks.
    explicit TSettingsWriter(TQMTaskSchedulerSettings& store);
    // Writes what was asked for, then ends the thread.
    ~TSettingsWriter();
    TSettingsWriter(const TSettingsWriter&) = delete;
    TSettingsWriter& operator=(const TSettingsWriter&) = delete;

    // Asks for a save of the tasks as they are when the event loop next runs.
    void Request();
    // Waits for the save being written, then writes what is asked for and
    // waits for that too: for an orderly end. OnSaved hears of both first.
    void Finish();
    // A save is asked for or being written.
    bool Pending() const { return requested_ || writing_; }
    // Saves written (or failed) so far.
    std::uint64_t Saves() const { return saves_; }

    // Each save's outcome, on the owner's thread, in order.
    std::function<void(const TStoreResult& result)> OnSaved;

private:
    // Owner's thread: renders the tasks and hands them to the writer thread.
    void Start();
    // Owner's thread: the outcome of the save written, if it is done.
    void Collect();
    // Owner's thread: blocks until the save handed over is written.
    void AwaitWritten();
    // The writer thread.
    void Run();

    TQMTaskSchedulerSettings& store_;
    std::unique_ptr<QObject> context_; // receives the writer thread's news
    std::unique_ptr<QTimer> start_;    // zero timer: coalesces requests
    bool requested_ = false;
    bool writing_ = false; // handed over, outcome not yet collected
    std::uint64_t saves_ = 0;
    std::shared_ptr<const TSaveSnapshot> inFlight_; // owner's copy of the save being written

    std::mutex mutex_;
    std::condition_variable changed_;
    std::shared_ptr<const TSaveSnapshot> job_;
    std::optional<TStoreResult> result_;
    bool stop_ = false;
    std::thread thread_; // last: starts once the rest is made
};
