#include "scheduler/classQMTaskScheduler.h"
#include "tests/scheduler/SchedulerTestSupport.h"
#include "tests/support/TestSupport.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace testing_support;

// Every failed start of a poll reaches OnRunFailed with its task and reason,
// in list order, a launcher error before it goes on to OnPollError after the
// poll; a start that works is not reported.
TEST(TaskListPoll, TellsOfEachFailedStartWithItsTaskAndReason) {
    TempDir dir;
    scheduler_test::CapturedTaskLog log;
    TestClock clock(MakeDateTime(2026, 3, 4, 8, 0, 0));
    TQMTaskScheduler list;
    auto add = [&](const char* name, const std::string& file) {
        TQMTask* task = list.AddNewTask();
        task->TaskName = name;
        task->Daily = true;
        task->DateTime = MakeDateTime(2026, 1, 1, 8, 0);
        task->TaskFileName = file;
    };
    const std::string notes = dir.File("notes");
    WriteFile(notes, "text", 0644);
    const std::string broken = dir.File("broken.exe");
    WriteFile(broken, "no program", 0644);
    add("Missing", dir.File("gone"));
    add("Fine", "/bin/true");
    add("Notes", notes);
    add("Broken", broken);

    std::vector<std::string> told;
    list.OnRunFailed = [&](const TQMTask& task, const std::string& reason) {
        told.push_back(task.TaskName + ": " + reason);
    };
    std::vector<std::string> errors;
    list.OnPollError = [&](const std::string& message) {
        errors.push_back(message);
        told.push_back("poll error");
    };
    list.TimerTick();
    QCoreApplication::processEvents();
    EXPECT_EQ(told, (std::vector<std::string>{
                        "Missing: file not found", "Notes: no associated program",
                        "Broken: Can not create process: \r" + broken + ".\rLastError = 13",
                        "poll error"}));
}
