#include "settings/SettingsWriter.h"

#include "lib/QMException.h"

#include <QMetaObject>
#include <QObject>
#include <QTimer>

TSettingsWriter::TSettingsWriter(TQMTaskSchedulerSettings& store)
    : store_(store), context_(std::make_unique<QObject>()), start_(std::make_unique<QTimer>()) {
    // A zero timer fires once the handler that asked (an edit, a poll, a
    // burst of run ends) has returned: all its requests become one save.
    start_->setSingleShot(true);
    start_->setInterval(0);
    QObject::connect(start_.get(), &QTimer::timeout, context_.get(), [this] { Start(); });
    thread_ = std::thread([this] { Run(); });
}

TSettingsWriter::~TSettingsWriter() {
    Finish();
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
    // News posted to the context and not yet delivered goes with it.
}

void TSettingsWriter::Request() {
    requested_ = true;
    if (!writing_ && !start_->isActive())
        start_->start();
}

void TSettingsWriter::Start() {
    if (writing_ || !requested_)
        return;
    requested_ = false;
    std::shared_ptr<const TSaveSnapshot> snapshot;
    try {
        snapshot = store_.TakeSnapshot();
    } catch (const Exception& e) {
        ++saves_;
        if (OnSaved)
            OnSaved({false, e.Message, {}});
        return;
    }
    writing_ = true;
    inFlight_ = snapshot;
    {
        std::lock_guard lock(mutex_);
        job_ = std::move(snapshot);
    }
    changed_.notify_all();
}

void TSettingsWriter::Collect() {
    TStoreResult result;
    {
        std::lock_guard lock(mutex_);
        if (!result_)
            return;
        result = std::move(*result_);
        result_.reset();
    }
    writing_ = false;
    if (result && inFlight_)
        store_.SnapshotWritten(*inFlight_);
    inFlight_.reset();
    ++saves_;
    if (OnSaved)
        OnSaved(result);
    if (requested_ && !start_->isActive())
        start_->start();
}

void TSettingsWriter::AwaitWritten() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return result_.has_value(); });
}

void TSettingsWriter::Finish() {
    if (writing_) {
        AwaitWritten();
        Collect();
    }
    if (!requested_)
        return;
    start_->stop();
    Start();
    if (writing_) {
        AwaitWritten();
        Collect();
    }
}

void TSettingsWriter::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stop_ || job_ != nullptr; });
        if (job_ == nullptr)
            return;
        const std::shared_ptr<const TSaveSnapshot> job = std::move(job_);
        job_.reset();
        lock.unlock();
        TStoreResult result = store_.WriteSnapshot(*job);
        lock.lock();
        result_ = std::move(result);
        changed_.notify_all();
        // Collected on the owner's thread, unless Finish took it already.
        QMetaObject::invokeMethod(
            context_.get(), [this] { Collect(); }, Qt::QueuedConnection);
    }
}
