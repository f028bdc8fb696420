#include "lib/SupportLibrary.h"
#include "scheduler/classQMTask.h"
#include "scheduler/classQMTaskScheduler.h"
#include "settings/classQMSettings.h"
#include "settings/classQMTaskSchedulerSettings.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace testing_support;

namespace {

bool IsUpperHex40(const std::string& text) {
    return text.size() == 40 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
           });
}

const char* const SharedGuid = "0123456789ABCDEF0123456789ABCDEF01234567";

class HandEditedTasks : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir.Path() + "program");
        store.Settings().ProgramFolder = dir.Path() + "program/";
        store.Settings().UserFolder = dir.Path() + "user/";
    }
    std::string File() const { return store.Settings().ProgramFolderFileName(); }

    TSupportLibrary support;
    TempDir dir;
    TQMTaskScheduler tasks;
    TQMTaskSchedulerSettings store{tasks};
};

} // namespace

// A header written twice (by hand, or by a copy and paste) holds two tasks:
// each is read from its own lines, and the next save gives the second its own
// identifier, so that neither is lost nor doubled.
TEST_F(HandEditedTasks, ARepeatedTaskHeaderGivesTwoTasksWithTheirOwnValues) {
    WriteFile(File(), std::string("[tasks\\x]\r\ntaskname=first\r\nguid=") + SharedGuid +
                          "\r\ntaskfilename=/bin/first\r\ndaily=1\r\n\r\n"
                          "[Tasks\\X]\r\ntaskname=second\r\nguid=" +
                          SharedGuid + "\r\ntaskfilename=/bin/second\r\nweekly=1\r\nfriday=1\r\n");
    ASSERT_TRUE(store.Load());
    ASSERT_EQ(tasks.Count(), 2);
    EXPECT_EQ(tasks.GetTask(0)->TaskName, "first");
    EXPECT_EQ(tasks.GetTask(1)->TaskName, "second");
    EXPECT_EQ(tasks.GetTask(1)->TaskFileName, "/bin/second");
    EXPECT_TRUE(tasks.GetTask(0)->Daily && !tasks.GetTask(0)->Weekly);
    EXPECT_TRUE(tasks.GetTask(1)->Weekly && tasks.GetTask(1)->Friday && !tasks.GetTask(1)->Daily);

    ASSERT_TRUE(store.Save());
    EXPECT_EQ(tasks.GetTask(0)->Guid, SharedGuid);
    const std::string second = tasks.GetTask(1)->Guid;
    EXPECT_NE(second, SharedGuid);

    ASSERT_TRUE(store.Load());
    ASSERT_EQ(tasks.Count(), 2);
    EXPECT_EQ(tasks.GetTask(0)->TaskName, "first");
    EXPECT_EQ(tasks.GetTask(0)->Guid, SharedGuid);
    EXPECT_EQ(tasks.GetTask(1)->TaskName, "second");
    EXPECT_EQ(tasks.GetTask(1)->TaskFileName, "/bin/second");
    EXPECT_EQ(tasks.GetTask(1)->Guid, second);
}

// An identifier names a section in a header line; one that cannot (a "]", a
// blank, a short hand-made text) is replaced at the save, so that the task
// comes back whole. Forty hexadecimal digits stay, in either letter case.
TEST_F(HandEditedTasks, IdentifiersThatCannotNameASectionAreReplacedAtSave) {
    const std::string lowerHex = "0123456789abcdef0123456789abcdef0123456f";
    const std::vector<std::string> guids = {"backup]1", " " + std::string(SharedGuid), "ABC",
                                            std::string(SharedGuid) + "0", lowerHex};
    for (std::size_t i = 0; i < guids.size(); ++i) {
        TQMTask* task = tasks.AddNewTask();
        task->TaskName = "task " + std::to_string(i);
        task->TaskFileName = "/bin/program-" + std::to_string(i);
        task->Guid = guids[i];
    }
    ASSERT_TRUE(store.Save());
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(IsUpperHex40(tasks.GetTask(i)->Guid)) << tasks.GetTask(i)->Guid;
    EXPECT_EQ(tasks.GetTask(4)->Guid, lowerHex);

    ASSERT_TRUE(store.Load());
    ASSERT_EQ(tasks.Count(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(tasks.GetTask(i)->TaskName, "task " + std::to_string(i));
        EXPECT_EQ(tasks.GetTask(i)->TaskFileName, "/bin/program-" + std::to_string(i));
    }
}
