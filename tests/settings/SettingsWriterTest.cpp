#include "settings/SettingsWriter.h"
#include "scheduler/classQMTask.h"
#include "scheduler/classQMTaskScheduler.h"
#include "settings/classQMSettings.h"
#include "settings/classQMTaskSchedulerSettings.h"
#include "tests/support/Processes.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <set>
#include <string>

using namespace testing_support;

namespace {

// The file's generation: every task's parameters name the edit that made
// them; -1 when the file holds a mix or not all the tasks.
int GenerationOnDisk(const std::string& folder, int count) {
    TQMTaskScheduler tasks;
    TQMTaskSchedulerSettings store(tasks);
    store.Settings().UserFolder = folder;
    store.Settings().ProgramFolder = folder + "program/";
    if (!store.Load() || tasks.Count() != count)
        return -1;
    std::set<std::string> seen;
    for (int i = 0; i < tasks.Count(); ++i)
        seen.insert(tasks.GetTask(i)->TaskParameters);
    return seen.size() == 1 ? std::stoi(*seen.begin()) : -1;
}

// Edits come from the event loop as fast as it runs, each one asking for a
// save; the window's thread goes on editing while the writer thread writes,
// so saves are fewer than edits. Every generation written is whole, never
// older than the one before, and the last one holds the last edit.
TEST(SettingsWriter, SavesAStreamOfEditsWholeAndEndsWithTheLastEdit) {
    TempDir dir;
    TQMTaskScheduler tasks;
    TQMTaskSchedulerSettings store(tasks);
    store.Settings().UserFolder = dir.Path();
    store.Settings().ProgramFolder = dir.Path() + "program/";
    constexpr int Count = 2000;
    constexpr int Edits = 300;
    for (int i = 0; i < Count; ++i) {
        TQMTask* task = tasks.AddNewTask();
        task->TaskName = "task " + std::to_string(i);
        task->Guid = std::string(40 - std::to_string(i).size(), '0') + std::to_string(i);
    }
    TSettingsWriter writer(store);
    std::vector<int> generations;
    writer.OnSaved = [&](const TStoreResult& saved) {
        ASSERT_TRUE(saved) << saved.Error;
        generations.push_back(GenerationOnDisk(dir.Path(), Count));
    };
    int edit = 0;
    QTimer editor;
    editor.setInterval(0);
    QObject::connect(&editor, &QTimer::timeout, [&] {
        ++edit;
        for (int i = 0; i < Count; ++i)
            tasks.GetTask(i)->TaskParameters = std::to_string(edit);
        writer.Request();
        if (edit == Edits)
            editor.stop();
    });
    editor.start();
    ASSERT_TRUE(WaitUntil([&] { return edit == Edits && !writer.Pending(); }, 60000));

    ASSERT_FALSE(generations.empty());
    EXPECT_LT(generations.size(), static_cast<std::size_t>(Edits / 2));
    for (std::size_t i = 0; i < generations.size(); ++i) {
        ASSERT_GE(generations[i], 1) << "save " << i << " left a mixed or cut file";
        if (i > 0) {
            ASSERT_GT(generations[i], generations[i - 1]) << "save " << i;
        }
    }
    EXPECT_EQ(generations.back(), Edits);
    EXPECT_EQ(writer.Saves(), generations.size());

    // An orderly end: an edit asked for just before it is written.
    for (int i = 0; i < Count; ++i)
        tasks.GetTask(i)->TaskParameters = "0";
    writer.Request();
    writer.Finish();
    EXPECT_EQ(GenerationOnDisk(dir.Path(), Count), 0);
}

} // namespace
