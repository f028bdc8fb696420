#include "lib/SupportLibrary.h"
#include "platform/files.h"
#include "scheduler/StartJournal.h"
#include "scheduler/TaskLog.h"
#include "scheduler/classQMTask.h"
#include "scheduler/classQMTaskScheduler.h"
#include "settings/classQMLogFile.h"
#include "settings/classQMSettings.h"
#include "settings/classQMTaskSchedulerSettings.h"
#include "tests/settings/SettingsTestSupport.h"
#include "tests/support/Processes.h"
#include "tests/support/TestSupport.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <regex>
#include <sys/stat.h>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

const char* const IniName = "qmtaskscheduler2.ini";

// A task list and its store, with the program and user folders in a
// temporary folder.
class StoreFixture : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir.Path() + "program");
        store.Settings().ProgramFolder = dir.Path() + "program/";
        store.Settings().UserFolder = dir.Path() + "user/Quillmar/QMTaskScheduler/";
    }

    std::string ProgramFile() const { return store.Settings().ProgramFolderFileName(); }
    std::string UserFile() const { return store.Settings().UserFolderFileName(); }

    TSupportLibrary support;
    TempDir dir;
    TQMTaskScheduler tasks;
    TQMTaskSchedulerSettings store{tasks};
};

// A task list whose settings file is IniName in a temporary folder, the
// user folder; the program folder is never made.
struct FolderStore {
    FolderStore() {
        store.Settings().ProgramFolder = dir.File("program/");
        store.Settings().UserFolder = dir.Path();
    }

    TempDir dir;
    TSupportLibrary support;
    TQMTaskScheduler tasks;
    TQMTaskSchedulerSettings store{tasks};
    const std::string ini = dir.File(IniName);
};

void ExpectSameTask(const TQMTask& a, const TQMTask& b) {
    EXPECT_EQ(a.TaskName, b.TaskName);
    EXPECT_EQ(a.TaskFileName, b.TaskFileName);
    EXPECT_EQ(a.TaskParameters, b.TaskParameters);
    EXPECT_EQ(a.Guid, b.Guid);
    EXPECT_EQ(std::make_tuple(a.Active, a.Daily, a.Weekly, a.OneShot),
              std::make_tuple(b.Active, b.Daily, b.Weekly, b.OneShot));
    EXPECT_EQ(std::make_tuple(a.Monday, a.Tuesday, a.Wednesday, a.Thursday, a.Friday, a.Saturday,
                              a.Sunday),
              std::make_tuple(b.Monday, b.Tuesday, b.Wednesday, b.Thursday, b.Friday, b.Saturday,
                              b.Sunday));
    EXPECT_EQ(dt::FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", a.DateTime),
              dt::FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", b.DateTime));
    EXPECT_EQ(dt::FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", a.DateTimeLastExecuted),
              dt::FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", b.DateTimeLastExecuted));
}

std::string RandomText(std::mt19937& rng) {
    static const std::string chars = "abcXYZ 019=[]\\/.;:-_\"'%$#";
    std::uniform_int_distribution<std::size_t> len(0, 24), pick(0, chars.size() - 1);
    std::string s(len(rng), ' ');
    for (char& c : s)
        c = chars[pick(rng)];
    return s;
}

} // namespace

TEST_F(StoreFixture, SaveThenLoadGivesBackPreferencesAndEveryTaskInOrder) {
    std::mt19937 rng(2026);
    std::uniform_int_distribution<int> coin(0, 1), year(1, 9999), month(1, 12), day(1, 28),
        hour(0, 23), minute(0, 59), ms(0, 999);
    auto randomMoment = [&] {
        return MakeDateTime(year(rng), month(rng), day(rng), hour(rng), minute(rng), minute(rng),
                            ms(rng));
    };
    for (int i = 0; i < 60; ++i) {
        TQMTask* t = tasks.AddNewTask();
        t->TaskName = "task " + std::to_string(i) + RandomText(rng);
        t->TaskFileName = RandomText(rng);
        t->TaskParameters = RandomText(rng);
        t->Active = coin(rng);
        t->Daily = coin(rng);
        t->Weekly = coin(rng);
        t->OneShot = coin(rng);
        t->Monday = coin(rng);
        t->Tuesday = coin(rng);
        t->Wednesday = coin(rng);
        t->Thursday = coin(rng);
        t->Friday = coin(rng);
        t->Saturday = coin(rng);
        t->Sunday = coin(rng);
        t->DateTime = randomMoment();
        t->DateTimeLastExecuted = i % 7 == 0 ? 0.0 : randomMoment();
    }
    store.AskWhenClose = false;
    store.AskWhenExecuteTaskManually = true;
    store.KeepRunning = false;
    store.StartAtLogin = true;
    ASSERT_TRUE(store.Save());

    TQMTaskScheduler reloaded;
    TQMTaskSchedulerSettings other(reloaded);
    other.Settings().ProgramFolder = store.Settings().ProgramFolder;
    other.Settings().UserFolder = store.Settings().UserFolder;
    other.AskWhenClose = true;
    other.AskWhenExecuteTaskManually = false;
    other.KeepRunning = true;
    other.StartAtLogin = false;
    ASSERT_TRUE(other.Load());
    EXPECT_FALSE(other.AskWhenClose);
    EXPECT_TRUE(other.AskWhenExecuteTaskManually);
    EXPECT_FALSE(other.KeepRunning);
    EXPECT_TRUE(other.StartAtLogin);
    ASSERT_EQ(reloaded.Count(), tasks.Count());
    for (int i = 0; i < tasks.Count(); ++i) {
        SCOPED_TRACE("task " + std::to_string(i));
        EXPECT_EQ(tasks.GetTask(i)->Guid.size(), 40u);
        ExpectSameTask(*tasks.GetTask(i), *reloaded.GetTask(i));
    }
}

TEST_F(StoreFixture, SavedFileMatchesTheReferenceLayoutByteForByte) {
    TestClock clock(MakeDateTime(2024, 3, 7, 8, 30, 0, 5));
    TQMTask* t = tasks.AddNewTask();
    t->TaskName = "Nightly backup";
    t->Guid = "8F3A62C4D91B07E5A2C8F46D13B9E07A5C2D8F41";
    t->TaskFileName = "C:\\Tools\\backup.exe";
    t->TaskParameters = "/quiet /target=D:\\Backup";
    t->Active = true;
    t->Weekly = true;
    t->Monday = t->Wednesday = t->Friday = true;
    t->DateTime = MakeDateTime(2024, 3, 4, 23, 0, 0, 0);
    t->DateTimeLastExecuted = MakeDateTime(2024, 3, 6, 23, 0, 1, 42);
    t->CatchUp = true;
    t->OccurrenceServed = MakeDateTime(2024, 3, 4, 23, 0);
    t->CatchUpOwed = MakeDateTime(2024, 3, 6, 23, 0);
    store.AskWhenClose = true;
    store.AskWhenExecuteTaskManually = false;
    store.KeepRunning = true;
    ASSERT_TRUE(store.Save());

    const std::string expected = "[qmtaskscheduler]\r\n"
                                 "askwhenclose=1\r\n"
                                 "askwhenexecutetaskmanually=0\r\n"
                                 "keeprunning=1\r\n"
                                 "startatlogin=0\r\n"
                                 "lastrunning=20240307-083000005\r\n"
                                 "\r\n"
                                 "[tasks\\8f3a62c4d91b07e5a2c8f46d13b9e07a5c2d8f41]\r\n"
                                 "taskname=Nightly backup\r\n"
                                 "guid=8F3A62C4D91B07E5A2C8F46D13B9E07A5C2D8F41\r\n"
                                 "taskfilename=C:\\Tools\\backup.exe\r\n"
                                 "taskparameters=/quiet /target=D:\\Backup\r\n"
                                 "active=1\r\n"
                                 "weekly=1\r\n"
                                 "daily=0\r\n"
                                 "one_shot=0\r\n"
                                 "datetime=20240304-230000000\r\n"
                                 "monday=1\r\n"
                                 "tuesday=0\r\n"
                                 "wednesday=1\r\n"
                                 "thursday=0\r\n"
                                 "friday=1\r\n"
                                 "saturday=0\r\n"
                                 "sunday=0\r\n"
                                 "datetime_lastexecuted=20240306-230001042\r\n"
                                 "schedulechanged=20240307-083000005\r\n"
                                 "catchup=1\r\n"
                                 "occurrence_served=20240304-230000000\r\n"
                                 "catchup_owed=20240306-230000000\r\n"
                                 "\r\n"
                                 "[system]\r\n"
                                 "initype=qmtaskscheduler\r\n";
    EXPECT_EQ(ReadFile(UserFile()), expected);
    EXPECT_FALSE(platform::FileExists(ProgramFile()));
}

TEST_F(StoreFixture, HandEditedSectionsLoadAsTheFileSays) {
    TestClock clock(MakeDateTime(2026, 12, 7, 10, 15));
    fs::create_directories(fs::path(UserFile()).parent_path());
    WriteFile(UserFile(), "[QMTaskScheduler]\n"
                          "askwhenclose=yes\n"
                          "askwhenexecutetaskmanually=FALSE\n"
                          "[Tasks\\abc]\n"
                          "taskname=Test\n"
                          "[tasks]\n"
                          "taskname=not a task\n"
                          "[mytasks\\x]\n"
                          "taskname=not a task either\n"
                          "[TASKS\\x]\n"
                          "taskname=Upper\n"
                          "guid=ABCDEF\n"
                          "datetime_lastexecuted=garbage\n");
    store.KeepRunning = store.StartAtLogin = true;
    ASSERT_TRUE(store.Load());
    EXPECT_TRUE(store.AskWhenClose); // "yes" is not a boolean text
    EXPECT_FALSE(store.AskWhenExecuteTaskManually);
    // A file without the two later preferences loads with both off.
    EXPECT_FALSE(store.KeepRunning);
    EXPECT_FALSE(store.StartAtLogin);
    ASSERT_EQ(tasks.Count(), 2);

    const TQMTask* test = tasks.GetTask(0);
    TQMTask fresh;
    EXPECT_EQ(test->TaskName, "Test");
    EXPECT_TRUE(test->Guid.empty());
    EXPECT_TRUE(test->TaskFileName.empty());
    EXPECT_TRUE(test->Active);
    EXPECT_FALSE(test->Daily || test->Weekly || test->OneShot);
    EXPECT_EQ(test->DateTime, fresh.DateTime);
    EXPECT_TRUE(TQMTask::IsNeverDate(test->DateTimeLastExecuted));

    const TQMTask* upper = tasks.GetTask(1);
    EXPECT_EQ(upper->TaskName, "Upper");
    EXPECT_EQ(upper->DateTimeLastExecuted, clock.Now()); // garbage reads as "now"
    EXPECT_TRUE(upper->HasRunToday());

    // The next save gives the unnamed task an identifier and drops the
    // hand-made section name.
    ASSERT_TRUE(store.Save());
    const std::string guid = tasks.GetTask(0)->Guid;
    ASSERT_TRUE(std::regex_match(guid, std::regex("[0-9A-F]{40}"))) << guid;
    std::string lowered = guid;
    for (char& c : lowered)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string saved = ReadFile(UserFile());
    EXPECT_NE(saved.find("[tasks\\" + lowered + "]\r\n"), std::string::npos);
    EXPECT_NE(saved.find("guid=" + guid + "\r\n"), std::string::npos);
    EXPECT_EQ(saved.find("[tasks\\abc]"), std::string::npos);
    EXPECT_EQ(saved.find("mytasks"), std::string::npos);
}

// The keys this program added: a value that cannot be read is absent and a
// stamp after the load is the load's moment; the file format's own keys keep
// their reading. "told": the first poll tells the 09:00 start missed since
// the program last ran at 08:00.
TEST_F(StoreFixture, ThisProgramsOwnKeysReadAsAbsentWhenTheyCannotBeRead) {
    TestClock clock(MakeDateTime(2026, 12, 7, 10, 15));
    const TDateTime now = clock.Now(), changed = MakeDateTime(2026, 12, 1),
                    ran = MakeDateTime(2026, 12, 6, 9, 0);
    const struct {
        std::string Line; // in place of the usual one of its key
        TDateTime ScheduleChanged, OccurrenceServed, LastExecuted;
        int Limit;
        bool Told;
    } cases[] = {
        {"", changed, 0, ran, 0, true},
        {"occurrence_served=garbage", changed, 0, ran, 0, true},
        {"occurrence_served=20261206-090000000", changed, ran, ran, 0, true},
        {"occurrence_served=99991231-235959999", changed, now, ran, 0, false},
        {"schedulechanged=29991231-000000000", now, 0, ran, 0, false},
        {"timelimit= 30 ", changed, 0, ran, 30, true},
        {"timelimit=-5", changed, 0, ran, 0, true},
        {"timelimit=100000000000000000000000", changed, 0, ran, 0, true},
        {"timelimit=ten", changed, 0, ran, 0, true},
        {"datetime_lastexecuted=29991231-000000000", changed, 0, MakeDateTime(2999, 12, 31), 0,
         true},
        {"datetime_lastexecuted=garbage", changed, 0, now, 0, false},
        {"lastrunning=garbage", changed, 0, ran, 0, false},
        {"lastrunning=29991231-000000000", changed, 0, ran, 0, false},
    };
    const std::string usual = "[QMTaskScheduler]\nlastrunning=20261207-080000000\n[Tasks\\ABC]\n"
                              "taskname=T\ndaily=1\ndatetime=20260101-090000000\n"
                              "schedulechanged=20261201-000000000\noccurrence_served=\n"
                              "datetime_lastexecuted=20261206-090000000\ntimelimit=0\n";
    fs::create_directories(fs::path(UserFile()).parent_path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Line);
        const std::string key = c.Line.substr(0, c.Line.find('=') + 1);
        WriteFile(UserFile(), c.Line.empty()
                                  ? usual
                                  : std::regex_replace(usual, std::regex("\n" + key + "[^\n]*"),
                                                       "\n" + c.Line));
        ASSERT_TRUE(store.Load());
        ASSERT_EQ(tasks.Count(), 1);
        const TQMTask& task = *tasks.GetTask(0);
        EXPECT_EQ(std::make_tuple(task.ScheduleChanged, task.OccurrenceServed,
                                  task.DateTimeLastExecuted, task.TimeLimitMinutes),
                  std::make_tuple(c.ScheduleChanged, c.OccurrenceServed, c.LastExecuted, c.Limit));
        // A save before the first look keeps the moment to look back from.
        ASSERT_TRUE(store.Save());
        ASSERT_TRUE(store.Load());
        bool told = false;
        tasks.OnStartsMissed = [&](const auto&) { told = true; };
        tasks.Tick(tasks.Timer());
        EXPECT_EQ(told, c.Told);
    }
}

TEST_F(StoreFixture, TasksSharingAnIdentifierBothSurviveASave) {
    for (const char* guid :
         {"0123456789ABCDEF0123456789ABCDEF01234567", "0123456789abcdef0123456789abcdef01234567"}) {
        TQMTask* t = tasks.AddNewTask();
        t->TaskName = std::string("copy ") + guid[10];
        t->Guid = guid;
    }
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(tasks.GetTask(0)->Guid, "0123456789ABCDEF0123456789ABCDEF01234567");
    EXPECT_NE(tasks.GetTask(1)->Guid, tasks.GetTask(0)->Guid);

    ASSERT_TRUE(store.Load());
    ASSERT_EQ(tasks.Count(), 2);
    EXPECT_EQ(tasks.GetTask(0)->TaskName, "copy A");
    EXPECT_EQ(tasks.GetTask(1)->TaskName, "copy a");
}

TEST_F(StoreFixture, IdentifiersThatNameTheSameSectionAreTreatedAsShared) {
    // Values are read untrimmed, so a hand-edited "guid=ABC " gives an
    // identifier with a blank that still names the section tasks\abc.
    WriteFile(ProgramFile(), "[tasks\\x]\r\ntaskname=first\r\nguid=ABC\r\n\r\n"
                             "[tasks\\y]\r\ntaskname=second\r\nguid=ABC \r\n");
    ASSERT_TRUE(store.Load());
    ASSERT_EQ(tasks.Count(), 2);
    ASSERT_TRUE(store.Save());
    ASSERT_TRUE(store.Load());
    ASSERT_EQ(tasks.Count(), 2);
    EXPECT_EQ(tasks.GetTask(0)->TaskName, "first");
    EXPECT_EQ(tasks.GetTask(1)->TaskName, "second");
}

TEST_F(StoreFixture, AnIdentifierNoHeaderCanCarryIsReplacedAndTheTaskKept) {
    // Found by fuzzing: the header [tasks\a]b] names the section "tasks\a]b]",
    // which no lookup of "tasks\a]b" finds, so the task came back empty.
    WriteFile(ProgramFile(), "[tasks\\x]\r\ntaskname=odd\r\nguid=a]b\r\ntaskfilename=/bin/true\r\n"
                             "active=0\r\n");
    ASSERT_TRUE(store.Load());
    ASSERT_EQ(tasks.Count(), 1);
    ASSERT_EQ(tasks.GetTask(0)->Guid, "a]b");
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(tasks.GetTask(0)->Guid.size(), 40u);

    TQMTaskScheduler reloaded;
    TQMTaskSchedulerSettings other(reloaded);
    other.Settings().ProgramFolder = store.Settings().ProgramFolder;
    other.Settings().UserFolder = store.Settings().UserFolder;
    ASSERT_TRUE(other.Load());
    ASSERT_EQ(reloaded.Count(), 1);
    ExpectSameTask(*tasks.GetTask(0), *reloaded.GetTask(0));
    EXPECT_EQ(reloaded.GetTask(0)->TaskName, "odd");
    EXPECT_FALSE(reloaded.GetTask(0)->Active);
}

TEST_F(StoreFixture, LocationRuleDecidesWhereTheFileAndTheLogGo) {
    // No file anywhere: the user folder is created and used.
    EXPECT_EQ(store.LogFileName(),
              dir.Path() + "user/Quillmar/QMTaskScheduler/qmtaskscheduler2.log");
    ASSERT_TRUE(store.Save());
    EXPECT_TRUE(platform::FileExists(UserFile()));

    // An empty file in the program folder wins; the user folder's file stays.
    WriteFile(ProgramFile(), "");
    ASSERT_TRUE(store.Load());
    EXPECT_EQ(tasks.Count(), 0);
    EXPECT_EQ(store.LogFileName(), dir.Path() + "program/qmtaskscheduler2.log");
    ASSERT_TRUE(store.Save());
    EXPECT_TRUE(platform::FileExists(UserFile()));
    EXPECT_NE(ReadFile(ProgramFile()).find("[qmtaskscheduler]"), std::string::npos);
}

TEST_F(StoreFixture, ARunAppendsItsLineToTheLogBesideTheSettingsFile) {
    TLogFileModule logModule;
    TQMTask* task = tasks.AddNewTask();
    task->TaskName = "Echo";
    task->TaskFileName = "/bin/true";
    task->Execute(false);
    task->TaskFileName = dir.Path() + "missing";
    task->Execute(false);

    std::string log = ReadFile(dir.Path() + "user/Quillmar/QMTaskScheduler/qmtaskscheduler2.log");
    EXPECT_TRUE(std::regex_search(
        log,
        std::regex(
            R"(^\d{4}-\w{3}-\d\d \d\d:\d\d:\d\d   task \(Echo\): executed \(/bin/true\)\r\n)")))
        << log;
    EXPECT_NE(log.find("task (Echo): file not found (" + dir.Path() + "missing)\r\n"),
              std::string::npos);

    // Beside a settings file in the program folder once there is one.
    WriteFile(ProgramFile(), "");
    task->TaskFileName = "/bin/true";
    task->Execute(false);
    EXPECT_NE(ReadFile(dir.Path() + "program/qmtaskscheduler2.log").find("executed (/bin/true)"),
              std::string::npos);
}

TEST_F(StoreFixture, AFailedSaveIsReportedUntilTheFileCanBeWritten) {
    // A file where the user folder should be makes the save fail, for root too.
    WriteFile(dir.Path() + "user", "in the way");
    TStoreResult result = store.Save();
    EXPECT_FALSE(result.Ok);
    EXPECT_FALSE(result.Error.empty());
    fs::remove(dir.Path() + "user");
    EXPECT_TRUE(store.Save().Ok);
}

// Runs the unreadable-file scenario; as root the test re-runs itself as an
// unprivileged user, because root reads a file without read permission.
namespace {

int UnreadableScenario(const std::string& folder) {
    TSupportLibrary support;
    TQMTaskScheduler tasks;
    TQMTaskSchedulerSettings store(tasks);
    store.Settings().ProgramFolder = folder;
    store.Settings().UserFolder = folder + "user/";
    const std::string ini = folder + IniName;
    WriteFile(ini, "[tasks\\a]\r\ntaskname=precious\r\n", 0);
    chmod(ini.c_str(), 0);
    if (store.Load().Ok)
        return 10; // the file was read after all
    tasks.AddNewTask()->TaskName = "new";
    if (!store.Save().Ok)
        return 11;
    // The unreadable file is kept under a name that says so.
    int kept = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(std::string(IniName) + ".unreadable-", 0) == 0) {
            ++kept;
            chmod(entry.path().c_str(), 0600);
            if (ReadFile(entry.path().string()).find("precious") == std::string::npos)
                return 12;
        }
    }
    if (kept != 1)
        return 13;
    // The save went to the same place, the program folder.
    if (ReadFile(ini).find("taskname=new") == std::string::npos)
        return 14;
    // The file that replaces it is a new one: for its owner only.
    struct stat st {};
    if (stat(ini.c_str(), &st) != 0 || (st.st_mode & 0777) != 0600)
        return 15;
    return 0;
}

} // namespace

TEST(TaskSchedulerSettingsUnreadable, AnUnreadableFileIsSetAsideBeforeTheNextSave) {
    TempDir dir;
    settings_test::ExpectScenarioPassesUnprivileged(dir.Path(), UnreadableScenario);
}

namespace {

// A settings folder that cannot be searched: the load says why, and no save
// replaces the file that could not be seen, until the folder opens again.
int HiddenFolderScenario(const std::string& folder) {
    TSupportLibrary support;
    TQMTaskScheduler tasks;
    TQMTaskSchedulerSettings store(tasks);
    store.Settings().ProgramFolder = folder + "program/";
    const std::string user = folder + "user/";
    store.Settings().UserFolder = user;
    const std::string ini = user + IniName;
    fs::create_directories(user);
    WriteFile(ini, "[tasks\\a]\r\ntaskname=precious\r\n", 0);
    chmod(user.c_str(), 0);
    const TStoreResult loaded = store.Load();
    if (loaded.Ok)
        return 30; // taken for "no settings file"
    if (loaded.Error.find("Cannot open file \"" + ini + "\"") == std::string::npos)
        return 31;
    tasks.AddNewTask()->TaskName = "new";
    if (store.Save().Ok)
        return 32;
    chmod(user.c_str(), 0700);
    // Open again: the file is set aside before the save, not overwritten.
    if (!store.Save().Ok)
        return 33;
    if (store.SetAsideFileName().rfind(ini + ".unreadable-", 0) != 0)
        return 34;
    if (ReadFile(store.SetAsideFileName()).find("precious") == std::string::npos)
        return 35;
    if (ReadFile(ini).find("taskname=new") == std::string::npos)
        return 36;
    return 0;
}

} // namespace

TEST(TaskSchedulerSettingsUnreadable, AFolderThatCannotBeSearchedIsAFailureAndNothingIsLost) {
    TempDir dir;
    settings_test::ExpectScenarioPassesUnprivileged(dir.Path(), HiddenFolderScenario);
}

TEST(TaskSchedulerSettingsUnreadable, AFolderInTheSettingsFilesPlaceIsAFailureAndIsSetAside) {
    FolderStore s;
    fs::create_directories(s.ini + "/inside");
    const TStoreResult loaded = s.store.Load();
    EXPECT_FALSE(loaded.Ok);
    EXPECT_NE(loaded.Error.find("Cannot open file \"" + s.ini + "\""), std::string::npos)
        << loaded.Error;
    EXPECT_TRUE(s.store.SetAsideFileName().empty());
    ASSERT_TRUE(s.store.Save().Ok);
    EXPECT_TRUE(platform::FileExists(s.ini));
    EXPECT_TRUE(fs::is_directory(s.store.SetAsideFileName() + "/inside"))
        << s.store.SetAsideFileName();

    // With nothing in the way a missing file is no failure.
    fs::remove(s.ini);
    EXPECT_TRUE(s.store.Load().Ok);
}

// Content the reader cannot take as settings text loads as far as it goes,
// and the file is set aside, byte for byte, before the first save over it.
// What a save drops anyway (comments, blank lines, unknown keys) is no loss.
TEST(TaskSchedulerSettingsUnreadable, ContentThatIsNoSettingsTextIsSetAsideBeforeTheFirstSave) {
    const std::string task = "[tasks\\a]\r\ntaskname=precious\r\n";
    const std::string nulStart = std::string(1, '\0') + task;
    std::string utf16 = "\xFF\xFE";
    for (char c : task)
        utf16 += std::string{c, '\0'};
    std::string longSection = task;
    for (int k = 0; k < 100; ++k)
        longSection += "k" + std::to_string(k) + "=1\r\n";
    const struct {
        const char* Name;
        std::string Content;
        bool SetAside;
        int Tasks; // loaded
    } cases[] = {
        {"UTF-16", utf16, true, 0},
        {"NUL first", nulStart, true, 0},
        {"NUL after a task", task + std::string(1, '\0') + "[tasks\\b]\r\n", true, 1},
        {"random bytes", task + "\x8f\x01\xfe\x9a\x13\xc4\x7f\x80", true, 1},
        {"long line without a break", task + std::string(1 << 20, 'x'), true, 1},
        {"comments, blanks, unknown keys",
         "; mine\r\n# also mine\r\n\r\n[other]\r\nkey=1\r\n" + task + "colour=red\r\n", false, 1},
        // A repeated key: the header line between was lost.
        {"a lost task header", task + "daily=0\r\nTaskName=second\r\ndaily=1\r\n", true, 1},
        {"a key repeated in a long section", longSection + "K80=2\r\n", true, 1},
        {"a long section", longSection, false, 1},
        {"a header without its bracket", task + "[tasks\\b\r\ntaskname=b\r\n", true, 1},
        {"a header with blanks inside", task + "[ tasks\\b ]\r\ntaskname=b\r\n", true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        FolderStore s;
        WriteFile(s.ini, c.Content);
        EXPECT_EQ(s.store.Load().Ok, !c.SetAside);
        ASSERT_EQ(s.tasks.Count(), c.Tasks);
        if (c.Tasks > 0) {
            EXPECT_EQ(s.tasks.GetTask(0)->TaskName, "precious"); // the first line of a key wins
            EXPECT_FALSE(s.tasks.GetTask(0)->Daily);
        }
        s.tasks.AddNewTask()->TaskName = "new";
        ASSERT_TRUE(s.store.Save().Ok);
        EXPECT_NE(ReadFile(s.ini).find("taskname=new"), std::string::npos);
        if (c.SetAside) {
            ASSERT_EQ(s.store.SetAsideFileName().rfind(s.ini + ".unreadable-", 0), 0u);
            EXPECT_EQ(ReadFile(s.store.SetAsideFileName()), c.Content);
        } else {
            EXPECT_TRUE(s.store.SetAsideFileName().empty());
        }
    }
}

// A file that another program changed since the load or the last save (a
// hand edit, an editor's new file) is set aside before the save writes over
// it; the program's own saves are no such change.
TEST(TaskSchedulerSettingsChanged, AFileChangedOnDiskIsSetAsideBeforeTheNextSave) {
    const struct {
        const char* Name;
        bool FileAtLoad; // and saved once since
        bool Replace;    // by a new file, as editors save
        std::string Added;
    } cases[] = {
        {"appended in place", true, false, "[tasks\\b]\r\ntaskname=hand\r\n"},
        {"the same bytes in a new file", true, true, ""},
        {"made after a load that found none", false, true, "[tasks\\b]\r\ntaskname=hand\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        FolderStore s;
        if (c.FileAtLoad)
            WriteFile(s.ini, "[tasks\\a]\r\ntaskname=mine\r\n");
        ASSERT_TRUE(s.store.Load().Ok);
        s.tasks.AddNewTask()->TaskName = "new";
        ASSERT_TRUE(!c.FileAtLoad || s.store.Save().Ok); // the program's own save is no change
        const std::string edited = (c.FileAtLoad ? ReadFile(s.ini) : std::string()) + c.Added;
        WriteFile(c.Replace ? s.ini + ".new" : s.ini, edited);
        if (c.Replace)
            fs::rename(s.ini + ".new", s.ini);
        EXPECT_TRUE(s.store.ChangedFileName().empty());

        ASSERT_TRUE(s.store.Save().Ok);
        ASSERT_EQ(s.store.ChangedFileName().rfind(s.ini + ".changed-", 0), 0u);
        EXPECT_EQ(ReadFile(s.store.ChangedFileName()), edited);
        EXPECT_NE(ReadFile(s.ini).find("taskname=new"), std::string::npos);
    }
}

// A settings path that leads to a pipe is reported, and no save replaces it.
TEST(TaskSchedulerSettingsUnreadable, APathLeadingToAPipeIsReportedAndNeverWritten) {
    FolderStore s;
    ASSERT_EQ(mkfifo(s.dir.File("pipe").c_str(), 0600), 0);
    fs::create_symlink(s.dir.File("pipe"), s.ini);
    const TStoreResult loaded = s.store.Load();
    EXPECT_FALSE(loaded.Ok);
    EXPECT_NE(loaded.Error.find("no regular file"), std::string::npos) << loaded.Error;
    s.tasks.AddNewTask()->TaskName = "new";
    EXPECT_FALSE(s.store.Save().Ok);
    EXPECT_TRUE(fs::is_symlink(s.ini));
    EXPECT_TRUE(fs::is_fifo(s.dir.File("pipe")));
}

// The program ends without a save, as a kill ends it: a start made durable is
// not made again, one whose program never started is told and owed, and what
// is owed is saved and caught up after a restart, once.
TEST(StartJournal, StartsAreMadeOnceAcrossAnEndWithoutASaveAndOwedCatchUpsSurvive) {
    TempDir dir;
    TSupportLibrary support;
    ScopedRegional english(EnglishUS());
    dt::ClockReadings readings{1'800'000'000'000, 5'000'000, 0};
    dt::SetClockReadings([&readings] { return readings; });
    TestClock clock(MakeDateTime(2026, 3, 3, 8, 58, 0)); // a Tuesday
    const std::string runs = dir.File("runs"), job = dir.File("job.sh");
    WriteFile(job, "#!/bin/sh\necho \"$1\" >> '" + runs + "'\n", 0755);
    std::vector<std::string> log;
    struct Session {
        Session(const std::string& folder, std::vector<std::string>& log) {
            store.Settings().ProgramFolder = folder + "program/";
            store.Settings().UserFolder = folder;
            SetTaskLogHandler([&log](const std::string& line) { log.push_back(line); });
            list.Timer()->setInterval(10);
        }
        TQMTaskScheduler list;
        TQMTaskSchedulerSettings store{list};
    };
    {
        Session first(dir.Path(), log);
        for (const auto& [name, minute] : {std::pair{'A', 9 * 60}, {'B', 8 * 60 + 59}}) {
            TQMTask* task = first.list.AddNewTask();
            task->TaskName = task->TaskParameters = std::string(1, name);
            task->Guid = std::string(40, name);
            task->TaskFileName = job;
            task->Daily = task->CatchUp = true;
            task->DateTime = MakeDateTime(2026, 1, 1, minute / 60, minute % 60);
            task->ScheduleChanged = MakeDateTime(2026, 3, 1);
        }
        ASSERT_TRUE(first.store.Save());
    }
    // B's 08:59 start was made durable; the program ended before it started it.
    TStartJournal journal(dir.File("qmtaskscheduler2.starts"));
    ASSERT_EQ(journal.Claim({{std::string(40, 'B'), MakeDateTime(2026, 3, 3, 8, 59, 5), 0,
                              MakeDateTime(2026, 3, 3, 8, 59)}}),
              0);
    const auto polls = [](Session& s) {
        int seen = 0;
        const QMetaObject::Connection counting =
            QObject::connect(s.list.Timer(), &QTimer::timeout, [&seen] { ++seen; });
        EXPECT_TRUE(WaitUntil([&] { return seen >= 3; }));
        QObject::disconnect(counting);
    };
    clock.Set(MakeDateTime(2026, 3, 3, 9, 0, 1));
    for (const bool save : {false, true}) {
        Session s(dir.Path(), log);
        ASSERT_TRUE(s.store.Load());
        polls(s);
        ASSERT_TRUE(WaitUntil([&] { return ReadFile(runs) == "A\n"; })) << "A once";
        ASSERT_TRUE(!save || s.store.Save());
        clock.AdvanceMs(2000);
    }
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         "task (B): missed its start at 2026-Mar-03 08:59: the program ended "
                         "before it could start it (" +
                             job + ")"),
              2);
    EXPECT_FALSE(fs::exists(journal.Path())) << "the save held every start";

    clock.Set(MakeDateTime(2026, 3, 3, 9, 10));
    Session last(dir.Path(), log);
    ASSERT_TRUE(last.store.Load());
    polls(last);
    EXPECT_EQ(last.list.OwedCatchUps(), 1u) << "kept across the save and the restart";
    clock.AdvanceMs(60000);
    readings.MonotonicMs += 60000;
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(runs) == "A\nB\n"; }));
    polls(last);
    EXPECT_EQ(ReadFile(runs), "A\nB\n");
    EXPECT_EQ(last.list.OwedCatchUps(), 0u);
    SetTaskLogHandler({});
    dt::SetClockReadings({});
}
