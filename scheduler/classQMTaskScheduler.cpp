#include "scheduler/classQMTaskScheduler.h"

#include "lib/QMException.h"
#include "platform/profile.h"

#include <QTimer>

#include <exception>
#include <iostream>
#include <optional>

namespace {

// The message of the error in flight, as the poll's error handler gets it.
std::string MessageOf(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown error";
    }
}

} // namespace

TQMTaskScheduler::TQMTaskScheduler()
    : timer_(std::make_unique<QTimer>()), runs_(std::make_unique<TRunWatch>()) {
    runs_->OnPrepare = [this](TRunRecord& run) {
        if (OnPrepareRun)
            OnPrepareRun(run);
    };
    runs_->OnReport = [this](const TRunRecord& run) { RunReported(run); };
    timer_->stop();
    timer_->setInterval(PollIntervalMs);
    // The timer is freed before the tasks and before this object is gone, so
    // the connection never outlives either.
    QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [this] { TimerTick(); });
    timer_->start();
}

TQMTaskScheduler::~TQMTaskScheduler() {
    timer_->stop();
    timer_.reset();
    runs_.reset();
    while (!tasks_.empty())
        tasks_.pop_back();
}

std::unique_ptr<TQMTask> TQMTaskScheduler::CreateTask() const {
    return std::make_unique<TQMTask>();
}

bool TQMTaskScheduler::IsValidIndex(int index) const {
    return index >= 0 && index < Count();
}

void TQMTaskScheduler::CheckIndex(int index) const {
    if (!IsValidIndex(index))
        throw Exception("TQMTaskScheduler; list index out of bounds: " + std::to_string(index));
}

void TQMTaskScheduler::CheckTask(const TQMTask* task) const {
    if (!task)
        throw Exception("TQMTaskScheduler ; task = nil");
}

TQMTask* TQMTaskScheduler::GetTask(int index) const {
    CheckIndex(index);
    return tasks_[static_cast<std::size_t>(index)].get();
}

TQMTask* TQMTaskScheduler::AddNewTask() {
    return AddTask(CreateTask());
}

TQMTask* TQMTaskScheduler::AddTask(std::unique_ptr<TQMTask> task) {
    CheckTask(task.get());
    tasks_.push_back(std::move(task));
    return tasks_.back().get();
}

TQMTask* TQMTaskScheduler::AddCopy(const TQMTask* task) {
    CheckTask(task);
    std::unique_ptr<TQMTask> copy = CreateTask();
    copy->Assign(task);
    return AddTask(std::move(copy));
}

void TQMTaskScheduler::DeleteTask(int index) {
    CheckIndex(index);
    tasks_.erase(tasks_.begin() + index);
}

void TQMTaskScheduler::RemoveTask(const TQMTask* task) {
    const int index = IndexOf(task);
    if (index >= 0)
        DeleteTask(index);
}

void TQMTaskScheduler::ClearTasks() {
    while (Count() > 0)
        DeleteTask(Count() - 1);
}

void TQMTaskScheduler::ImportVersion1(const std::string& path) {
    const platform::ProfileFile file(path);
    const std::vector<std::string> names = file.SectionNames();
    for (const std::string& name : names) {
        // The task is in the list before its values are read, so that an
        // unexpected error leaves what was read so far.
        TQMTask* task = AddNewTask();
        task->TaskName = name;
        task->ReadVersion1(file);
    }
}

int TQMTaskScheduler::IndexOf(const TQMTask* task) const {
    for (std::size_t i = 0; i < tasks_.size(); ++i)
        if (tasks_[i].get() == task)
            return static_cast<int>(i);
    return -1;
}

int TQMTaskScheduler::Count() const {
    return static_cast<int>(tasks_.size());
}

void TQMTaskScheduler::Tick(QObject* sender) {
    // One reading of the clock serves every task of the poll.
    const TScheduleMoment moment = TScheduleMoment::At(dt::Now());
    bool anyRan = false;
    // The count is read again on every step: a run may not change the list,
    // but nothing here relies on that.
    for (int i = 0; i < Count(); ++i) {
        const TQMTask& task = *GetTask(i);
        std::optional<TRunResult> result;
        try {
            result = GetTask(i)->ExecuteIfDue(true, moment);
        } catch (...) {
            if (OnRunFailed)
                OnRunFailed(task, MessageOf(std::current_exception()));
            // The failing task and those that ran before it carry new stamps:
            // they are saved with this poll, or a restart the same day would
            // run them again. The tasks after it wait for the next poll.
            if (OnTasksExecuted)
                OnTasksExecuted(sender);
            throw;
        }
        if (!result)
            continue;
        anyRan = true;
        if (*result != TRunResult::Executed && OnRunFailed)
            OnRunFailed(task, RunResultText(*result));
    }
    if (anyRan && OnTasksExecuted)
        OnTasksExecuted(sender);
}

void TQMTaskScheduler::TimerTick() {
    std::string message;
    try {
        Tick(timer_.get());
        return;
    } catch (const std::exception& e) {
        message = e.what();
    } catch (...) {
        message = "Unknown error";
    }
    // Shown after the poll has returned: a box opened inside the timer's
    // handler would hold back every later poll until it is closed. The timer
    // is the context, so nothing is called once the list is gone.
    QTimer::singleShot(0, timer_.get(), [this, message] { ReportPollError(message); });
}

void TQMTaskScheduler::ReportPollError(const std::string& message) {
    try {
        if (OnPollError) {
            OnPollError(message);
            return;
        }
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
    } catch (...) {
    }
    std::cerr << message << '\n';
}

TQMTask* TQMTaskScheduler::TaskOfRun(const TRunRecord& run) const {
    if (run.TaskGuid.empty())
        return nullptr;
    for (const auto& task : tasks_)
        if (task->Guid == run.TaskGuid)
            return task.get();
    return nullptr;
}

void TQMTaskScheduler::RunReported(const TRunRecord& run) {
    if (run.Outcome != TRunOutcome::Running) {
        if (TQMTask* task = TaskOfRun(run)) {
            task->LastResult = ResultText(run);
            task->LastRunFailed = IsFailure(run);
        }
    }
    if (OnRunRecorded)
        OnRunRecorded(run);
}

QTimer* TQMTaskScheduler::Timer() const {
    return timer_.get();
}
