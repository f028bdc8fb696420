#include "lib/SupportLibrary.h"
#include "lib/classQMTaskSchedulerUtils.h"
#include "scheduler/classQMTask.h"
#include "scheduler/classQMTaskScheduler.h"
#include "settings/classQMSettings.h"
#include "settings/classQMTaskSchedulerSettings.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>

using namespace testing_support;

namespace {

// A hand-edited file: keys in another order and letter case, a key the
// program does not know, and two sections of one identifier.
const char* const HandEdited = "[QMTaskScheduler]\r\nAskWhenClose=0\r\n\r\n"
                               "[Tasks\\AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA]\r\n"
                               "Daily=1\r\nTaskName=first\r\nextra=kept?\r\n\r\n"
                               "[tasks\\aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa]\r\n"
                               "taskname=second\r\nactive=0\r\n\r\n"
                               "[tasks\\short]\r\ntaskname=third\r\n";

// Every save after a random edit gives the bytes a full render of the same
// tasks gives, whatever the edits: values, identifiers that clash, tasks
// added and deleted (new tasks often get a deleted one's address).
TEST(IncrementalSave, WritesTheBytesOfAFullSaveAfterRandomEdits) {
    TSupportLibrary support;
    for (const unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        // Every save stamps when the program last ran: both saves see one moment.
        TestClock clock(MakeDateTime(2026, 12, 7, 12, 0));
        TempDir dir;
        std::filesystem::create_directories(dir.Path() + "program");
        TQMTaskScheduler tasks;
        TQMTaskSchedulerSettings store(tasks);
        store.Settings().ProgramFolder = dir.Path() + "program/";
        store.Settings().UserFolder = dir.Path() + "user/";
        WriteFile(store.Settings().UserFolderFileName(), HandEdited);
        ASSERT_TRUE(store.Load());
        const std::string full = dir.Path() + "full.ini";

        std::mt19937 random(seed);
        const auto pick = [&](int count) {
            return std::uniform_int_distribution<int>(0, count - 1)(random);
        };
        const auto anyTask = [&]() -> TQMTask* {
            return tasks.Count() == 0 ? nullptr : tasks.GetTask(pick(tasks.Count()));
        };
        for (int step = 0; step < 60; ++step) {
            for (int edit = pick(3); edit >= 0; --edit) {
                TQMTask* task = anyTask();
                switch (pick(9)) {
                case 0:
                    tasks.AddNewTask()->TaskName = "new " + std::to_string(step);
                    break;
                case 1:
                    if (task != nullptr)
                        tasks.RemoveTask(task);
                    break;
                case 2:
                    if (task != nullptr)
                        task->Active = !task->Active;
                    break;
                case 3:
                    if (task != nullptr)
                        task->DateTimeLastExecuted =
                            MakeDateTime(2026, 12, 7, 9, step / 60, step % 60);
                    break;
                case 4:
                    if (task != nullptr)
                        task->TaskName = pick(2) ? "line\r\nbreak" : " padded ";
                    break;
                case 5:
                    // Another task's identifier, in other letter case.
                    if (TQMTask* other = anyTask(); task != nullptr && other != nullptr) {
                        task->Guid = other->Guid;
                        for (char& c : task->Guid)
                            c = static_cast<char>(std::tolower(c));
                    }
                    break;
                case 6:
                    if (task != nullptr)
                        task->Guid = pick(2) ? "" : "not an identifier";
                    break;
                case 7:
                    if (task != nullptr) {
                        task->Weekly = !task->Weekly;
                        task->DateTime += 1.5;
                    }
                    break;
                default:
                    store.KeepRunning = !store.KeepRunning;
                    break;
                }
            }
            ASSERT_TRUE(store.Save());
            const std::string saved = ReadFile(store.Settings().UserFolderFileName());
            store.WriteToSettings();
            store.Settings().SaveToFile(full);
            ASSERT_EQ(saved, ReadFile(full)) << "step " << step;
        }
    }
}

// The first save after a load writes the bytes a full render gives, and
// renders only the sections whose bytes in the file differ from what it
// would write (or whose task changed since the load).
TEST(IncrementalSave, FirstSaveAfterALoadRendersOnlyWhatDiffers) {
    TSupportLibrary support;
    TestClock clock(MakeDateTime(2026, 12, 7, 12, 0));
    constexpr int Count = 40;
    TempDir dir;
    const auto pointAt = [&](TQMTaskSchedulerSettings& store) {
        store.Settings().ProgramFolder = dir.Path() + "program/";
        store.Settings().UserFolder = dir.Path() + "user/";
    };
    TQMTaskScheduler original;
    TQMTaskSchedulerSettings saver(original);
    pointAt(saver);
    for (int i = 0; i < Count; ++i) {
        TQMTask* task = original.AddNewTask();
        task->TaskName = "task " + std::to_string(i);
        task->Guid = TQMTaskSchedulerUtils::NewTaskIdentifier();
        task->TaskFileName = "/usr/bin/program " + std::to_string(i);
        task->Active = true;
        task->Weekly = i % 2 == 0;
        task->TimeLimitMinutes = i % 3;
    }
    ASSERT_TRUE(saver.Save());
    const std::string saved = ReadFile(saver.Settings().UserFolderFileName());
    const struct {
        const char* Name;
        const char* Find; // in the file a save wrote, replaced by Put
        const char* Put;
        bool Edit;  // a task changes after the load
        bool Clash; // the second task gets the first one's identifier
        std::uint64_t Rendered;
    } cases[] = {
        {"as saved", "", "", false, false, 0},
        {"one task changed", "", "", true, false, 1},
        {"one key in capitals", "taskname=task 3\r", "TASKNAME=task 3\r", false, false, 1},
        {"a value the save writes otherwise", "active=1", "active=true", false, false, 1},
        {"a stamp the save writes otherwise", "served=18991230-", "served=18991230 ", false, false,
         1},
        {"two tasks of one identifier", "", "", false, true, Count},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        std::string file = saved;
        if (const auto at = file.find(c.Find); *c.Find != '\0')
            file.replace(at, std::strlen(c.Find), c.Put);
        if (c.Clash) {
            const auto first = saved.find("\r\nguid=") + 7;
            file.replace(saved.find("\r\nguid=", first) + 7, 40, saved.substr(first, 40));
        }
        TQMTaskScheduler tasks;
        TQMTaskSchedulerSettings store(tasks);
        pointAt(store);
        WriteFile(store.Settings().UserFolderFileName(), file);
        ASSERT_TRUE(store.Load());
        if (c.Edit)
            tasks.GetTask(7)->Active = false;
        ASSERT_TRUE(store.Save());
        EXPECT_EQ(store.RenderedSections(), c.Rendered);
        const std::string written = ReadFile(store.Settings().UserFolderFileName());
        store.WriteToSettings();
        store.Settings().SaveToFile(dir.Path() + "full.ini");
        EXPECT_EQ(written, ReadFile(dir.Path() + "full.ini"));
    }
}

} // namespace
