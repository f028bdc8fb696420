#include "lib/QMException.h"
#include "scheduler/classQMTaskScheduler.h"
#include "tests/scheduler/SchedulerTestSupport.h"
#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QTimer>
#include <QTimerEvent>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

namespace fs = std::filesystem;
using testing_support::MakeDateTime;
using testing_support::TempDir;
using testing_support::TestClock;

using scheduler_test::ErrorOf;
namespace {

// A task that tells when it is freed.
class TracedTask : public TQMTask {
public:
    TracedTask(std::string name, std::vector<std::string>& freed) : freed_(freed) {
        TaskName = std::move(name);
    }
    ~TracedTask() override { freed_.push_back(TaskName); }

private:
    std::vector<std::string>& freed_;
};

std::vector<std::string> Names(const TQMTaskScheduler& list) {
    std::vector<std::string> names;
    for (int i = 0; i < list.Count(); ++i)
        names.push_back(list.GetTask(i)->TaskName);
    return names;
}

TQMTask* AddDaily(TQMTaskScheduler& list, const std::string& name, TDateTime start,
                  const std::string& file) {
    TQMTask* task = list.AddNewTask();
    task->TaskName = name;
    task->Daily = true;
    task->DateTime = start;
    task->TaskFileName = file;
    return task;
}
} // namespace

TEST(TaskList, PollsEveryTwoSecondsFromConstructionOn) {
    TQMTaskScheduler list;
    ASSERT_NE(list.Timer(), nullptr);
    EXPECT_TRUE(list.Timer()->isActive());
    EXPECT_EQ(list.Timer()->interval(), 2000);
    EXPECT_EQ(list.Count(), 0);
}

TEST(TaskList, AddCopyGetAndTheirErrors) {
    TQMTaskScheduler list;
    std::unique_ptr<TQMTask> made = list.CreateTask();
    EXPECT_EQ(list.Count(), 0) << "CreateTask does not add";
    TQMTask* added = list.AddTask(std::move(made));
    EXPECT_EQ(list.GetTask(0), added);
    TQMTask* fresh = list.AddNewTask();
    EXPECT_EQ(fresh, list.GetTask(1));

    TQMTask original;
    original.TaskName = "original";
    original.Guid = "00112233445566778899AABBCCDDEEFF00112233";
    original.DateTimeLastExecuted = MakeDateTime(2026, 2, 2, 2, 2);
    TQMTask* copy = list.AddCopy(&original);
    EXPECT_NE(copy, &original);
    EXPECT_EQ(list.IndexOf(&original), -1);
    EXPECT_EQ(list.IndexOf(copy), 2);
    EXPECT_EQ(copy->Guid, original.Guid);
    EXPECT_EQ(copy->DateTimeLastExecuted, original.DateTimeLastExecuted);
    copy->TaskName = "changed";
    EXPECT_EQ(original.TaskName, "original");

    EXPECT_EQ(ErrorOf([&] { list.AddTask(nullptr); }), "TQMTaskScheduler ; task = nil");
    EXPECT_EQ(ErrorOf([&] { list.AddCopy(nullptr); }), "TQMTaskScheduler ; task = nil");
    EXPECT_EQ(ErrorOf([&] { list.GetTask(-1); }), "TQMTaskScheduler; list index out of bounds: -1");
    EXPECT_EQ(ErrorOf([&] { list.GetTask(3); }), "TQMTaskScheduler; list index out of bounds: 3");
    EXPECT_EQ(ErrorOf([&] { list.DeleteTask(5); }),
              "TQMTaskScheduler; list index out of bounds: 5");
    EXPECT_EQ(list.Count(), 3);
    EXPECT_TRUE(list.IsValidIndex(2));
    EXPECT_FALSE(list.IsValidIndex(3));
}

TEST(TaskList, DeleteRemoveAndClearFreeTheirTasks) {
    std::vector<std::string> freed;
    {
        TQMTaskScheduler list;
        for (const char* name : {"a", "b", "c"})
            list.AddTask(std::make_unique<TracedTask>(name, freed));
        list.DeleteTask(0);
        EXPECT_EQ(freed, std::vector<std::string>{"a"});
        EXPECT_EQ(Names(list), (std::vector<std::string>{"b", "c"}));

        TracedTask stranger("stranger", freed);
        list.RemoveTask(&stranger);
        list.RemoveTask(nullptr);
        EXPECT_EQ(list.Count(), 2);
        list.RemoveTask(list.GetTask(1));
        EXPECT_EQ(Names(list), std::vector<std::string>{"b"});

        for (const char* name : {"d", "e"})
            list.AddTask(std::make_unique<TracedTask>(name, freed));
        freed.clear();
        list.ClearTasks();
        EXPECT_EQ(freed, (std::vector<std::string>{"e", "d", "b"})) << "last to first";
        EXPECT_EQ(list.Count(), 0);
        list.ClearTasks();
        EXPECT_EQ(list.Count(), 0);

        list.AddTask(std::make_unique<TracedTask>("kept", freed));
        freed.clear();
    }
    EXPECT_EQ(freed, (std::vector<std::string>{"stranger", "kept"}));
}

TEST(TaskListPoll, RunsDueTasksInListOrderThenNotifiesOnce) {
    TempDir dir;
    scheduler_test::CapturedTaskLog log;
    TestClock clock(MakeDateTime(2026, 3, 4, 8, 0, 10));
    TQMTaskScheduler list;
    int notifications = 0;
    QObject* notifiedSender = nullptr;
    list.OnTasksExecuted = [&](QObject* sender) {
        ++notifications;
        notifiedSender = sender;
    };

    list.Tick(nullptr);
    EXPECT_EQ(notifications, 0) << "empty list";

    // Missing programs: still due, so they count as having run.
    AddDaily(list, "second", MakeDateTime(2026, 1, 1, 8, 0), dir.File("b"));
    AddDaily(list, "first", MakeDateTime(2026, 1, 1, 8, 0), dir.File("a"));
    AddDaily(list, "later", MakeDateTime(2026, 1, 1, 9, 0), dir.File("c"));
    list.Tick(list.Timer());
    EXPECT_EQ(log.Lines,
              (std::vector<std::string>{"task (second): file not found (" + dir.File("b") + ")",
                                        "task (first): file not found (" + dir.File("a") + ")"}));
    EXPECT_EQ(notifications, 1);
    EXPECT_EQ(notifiedSender, list.Timer());

    clock.Set(MakeDateTime(2026, 3, 4, 8, 30, 0));
    list.Tick(list.Timer());
    EXPECT_EQ(notifications, 1) << "nothing due";

    // Without a listener the tasks still run.
    list.OnTasksExecuted = nullptr;
    log.Lines.clear();
    clock.Set(MakeDateTime(2026, 3, 4, 9, 0, 0));
    list.Tick(list.Timer());
    EXPECT_EQ(log.Lines.size(), 1u);
}

// Scripts without their execute bit ahead of a good task at the same time:
// each failure is logged and reported after the poll, and the good task's
// program starts in the same poll.
TEST(TaskListPoll, LauncherErrorsAreLoggedAndReportedAndThePollGoesOn) {
    TempDir dir;
    scheduler_test::CapturedTaskLog log;
    const std::string report = dir.File("report");
    scheduler_test::ScopedReportTarget target(report);
    TestClock clock(MakeDateTime(2026, 3, 4, 8, 0, 0));
    TQMTaskScheduler list;
    const TDateTime eight = MakeDateTime(2026, 1, 1, 8, 0);
    const std::string missing = dir.File("missing");
    TQMTask* before = AddDaily(list, "before", eight, missing);
    TQMTask* ran = AddDaily(list, "ran", eight, "/bin/true");
    std::vector<std::string> scripts;
    for (int i = 0; i < 3; ++i) {
        scripts.push_back(dir.File("script" + std::to_string(i) + ".sh"));
        testing_support::WriteFile(scripts.back(), "#!/bin/sh\nexit 0\n", 0644);
        AddDaily(list, "failing" + std::to_string(i), eight, scripts.back());
    }
    TQMTask* after = AddDaily(list, "after", eight, scheduler_test::ReportArgsProgram());
    std::vector<TDateTime> stampsAtNotification;
    list.OnTasksExecuted = [&](QObject*) {
        stampsAtNotification.push_back(after->DateTimeLastExecuted);
    };
    std::vector<std::string> errors;
    list.OnPollError = [&](const std::string& message) { errors.push_back(message); };

    // Through the real timer connection, without waiting for the timer.
    QTimerEvent event(list.Timer()->timerId());
    QCoreApplication::sendEvent(list.Timer(), &event);
    EXPECT_TRUE(errors.empty()) << "shown only after the poll has returned";
    std::vector<std::string> expected = {"task (before): file not found (" + missing + ")",
                                         "task (ran): executed (/bin/true)"};
    for (std::size_t i = 0; i < scripts.size(); ++i)
        expected.push_back("task (failing" + std::to_string(i) + "): Can not create process:  " +
                           scripts[i] + ". LastError = 13 (" + scripts[i] + ")");
    expected.push_back("task (after): executed (" +
                       std::string(scheduler_test::ReportArgsProgram()) + ")");
    EXPECT_EQ(log.Lines, expected);
    EXPECT_TRUE(scheduler_test::WaitForFile(report)) << "the good task's program started";
    EXPECT_EQ(stampsAtNotification, std::vector<TDateTime>{clock.Now()}) << "one notification";
    EXPECT_DOUBLE_EQ(ran->DateTimeLastExecuted, clock.Now());
    EXPECT_DOUBLE_EQ(before->DateTimeLastExecuted, 0);
    QCoreApplication::processEvents();
    ASSERT_EQ(errors.size(), scripts.size());
    EXPECT_EQ(errors[0], "Can not create process: \r" + scripts[0] + ".\rLastError = 13");
    EXPECT_TRUE(list.Timer()->isActive());

    clock.AdvanceMs(2000);
    QCoreApplication::sendEvent(list.Timer(), &event);
    QCoreApplication::processEvents();
    EXPECT_EQ(errors.size(), scripts.size()) << "the failed tasks are not retried that day";
    EXPECT_EQ(log.Lines.size(), expected.size() + 1) << "only file not found again";

    // Without a handler the message goes to standard error.
    list.OnPollError = nullptr;
    list.GetTask(2)->DateTimeLastExecuted = 0;
    testing::internal::CaptureStderr();
    list.TimerTick();
    QCoreApplication::processEvents();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("LastError = 13"), std::string::npos) << err;
}

// Eight days of polls, every 2000 ms through the real poll, with the clock
// moving and real programs started.
TEST(TaskListPoll, EightDaysOfPollingRunEachTaskOnceOnEachOfItsDays) {
    TempDir dir;
    const std::string reports = dir.File("reports/");
    fs::create_directories(reports);
    scheduler_test::ScopedReportTarget target(reports);
    struct Run {
        std::string Line;
        TDateTime At;
    };
    std::vector<Run> runs;
    TestClock clock(MakeDateTime(2026, 3, 2, 0, 0, 0, 937)); // a Monday
    SetTaskLogHandler([&](const std::string& line) { runs.push_back({line, clock.Now()}); });

    TQMTaskScheduler list;
    const std::string program = scheduler_test::ReportArgsProgram();
    auto add = [&](const std::string& name, TDateTime start) {
        TQMTask* task = list.AddNewTask();
        task->TaskName = name;
        task->TaskFileName = program;
        task->TaskParameters = "'" + name + "'";
        task->DateTime = start;
        return task;
    };
    add("daily", MakeDateTime(2025, 6, 1, 6, 30, 0))->Daily = true;
    TQMTask* weekly = add("weekly", MakeDateTime(2025, 6, 1, 12, 0, 0));
    weekly->Weekly = weekly->Monday = weekly->Wednesday = weekly->Friday = true;
    add("once", MakeDateTime(2026, 3, 4, 18, 15, 10))->OneShot = true;
    add("late", MakeDateTime(2025, 6, 1, 23, 59, 50))->Daily = true;
    TQMTask* inactive = add("inactive", MakeDateTime(2025, 6, 1, 9, 0, 0));
    inactive->Daily = true;
    inactive->Active = false;
    add("twin A", MakeDateTime(2025, 6, 1, 7, 45, 0))->Daily = true;
    add("twin B", MakeDateTime(2025, 6, 1, 7, 45, 0))->Daily = true;

    std::vector<std::size_t> batches; // runs logged at each notification
    list.OnTasksExecuted = [&](QObject* sender) {
        EXPECT_EQ(sender, list.Timer());
        batches.push_back(runs.size());
    };
    list.OnPollError = [](const std::string& message) { ADD_FAILURE() << message; };

    const TDateTime end = MakeDateTime(2026, 3, 10, 0, 0, 5);
    while (clock.Now() < end) {
        list.TimerTick();
        clock.AdvanceMs(TQMTaskScheduler::PollIntervalMs);
    }
    SetTaskLogHandler({});

    const std::map<std::string, std::set<int>> expectedDays = {
        {"daily", {2, 3, 4, 5, 6, 7, 8, 9}},
        {"weekly", {2, 4, 6, 9}},
        {"once", {4}},
        {"late", {2, 3, 4, 5, 6, 7, 8, 9}},
        {"twin A", {2, 3, 4, 5, 6, 7, 8, 9}},
        {"twin B", {2, 3, 4, 5, 6, 7, 8, 9}}};
    std::map<std::string, std::multiset<int>> ranOn;
    for (const Run& run : runs) {
        const std::string prefix = "task (";
        const auto close = run.Line.find("): ");
        ASSERT_EQ(run.Line.rfind(prefix, 0), 0u) << run.Line;
        const std::string name = run.Line.substr(prefix.size(), close - prefix.size());
        EXPECT_EQ(run.Line, "task (" + name + "): executed (" + program + ")");
        const auto fields = dt::DecodeDateTime(run.At);
        EXPECT_EQ(fields.Month, 3) << run.Line;
        ranOn[name].insert(fields.Day);
        // Started within two seconds after its start time.
        TQMTask* task = nullptr;
        for (int i = 0; i < list.Count(); ++i)
            if (list.GetTask(i)->TaskName == name)
                task = list.GetTask(i);
        ASSERT_NE(task, nullptr);
        const long long late = std::llround((dt::TimePart(run.At) - task->TimePart()) * 86400000.0);
        EXPECT_GE(late, 0) << run.Line << " on day " << fields.Day;
        EXPECT_LT(late, 2000) << run.Line << " on day " << fields.Day;
    }
    std::map<std::string, std::multiset<int>> expected;
    for (const auto& [name, days] : expectedDays)
        expected[name] = std::multiset<int>(days.begin(), days.end());
    EXPECT_EQ(ranOn, expected);

    // One notification per poll that ran something; the twins share one, in
    // list order.
    std::set<TDateTime> pollsWithRuns;
    for (const Run& run : runs)
        pollsWithRuns.insert(run.At);
    EXPECT_EQ(batches.size(), pollsWithRuns.size());
    int twinPolls = 0;
    for (std::size_t i = 0; i + 1 < runs.size(); ++i) {
        if (runs[i].Line.find("(twin A)") == std::string::npos)
            continue;
        ++twinPolls;
        EXPECT_NE(runs[i + 1].Line.find("(twin B)"), std::string::npos);
        EXPECT_EQ(runs[i + 1].At, runs[i].At);
        EXPECT_NE(std::find(batches.begin(), batches.end(), i + 2), batches.end())
            << "one notification right after both";
    }
    EXPECT_EQ(twinPolls, 8);

    // Every run started a real program, which got its task's parameters.
    std::size_t total = 0;
    for (const auto& [name, days] : expectedDays)
        total += days.size();
    std::multiset<std::string> reported;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (true) {
        reported.clear();
        for (const auto& entry : fs::directory_iterator(reports))
            if (entry.path().extension() != ".part")
                for (const auto& arg :
                     scheduler_test::ParseReport(testing_support::ReadFile(entry.path().string()))
                         .Args)
                    reported.insert(arg);
        if (reported.size() >= total || std::chrono::steady_clock::now() > deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    for (const auto& [name, days] : expectedDays)
        EXPECT_EQ(reported.count(name), days.size()) << name;
    EXPECT_EQ(reported.count("inactive"), 0u);
    // The programs are the list's children until the event loop sees them end.
    while (!scheduler_test::ChildProcesses().empty() && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(scheduler_test::ChildProcesses().empty());
}
