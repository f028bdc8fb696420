// A saver killed at random moments must never leave a cut-off or mixed
// settings file: after every kill the file loads whole, as the generation
// last reported saved or the one after it. Its temporary files do not pile up:
// the next save removes them. The saver is the settings file's own save, or
// the program's writer thread, killed between a save's request and its write.
#include "scheduler/classQMTask.h"
#include "scheduler/classQMTaskScheduler.h"
#include "settings/SettingsWriter.h"
#include "settings/classQMSettings.h"
#include "settings/classQMTaskSchedulerSettings.h"
#include "tests/settings/helper/SaveLoopContent.h"
#include "tests/support/Processes.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

// The save-loop helper as a child process whose reports arrive on a pipe.
// Killed and reaped on destruction at the latest.
class SaveLoopChild {
public:
    explicit SaveLoopChild(std::vector<std::string> command) {
        std::vector<char*> argv;
        for (std::string& word : command)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        int fds[2];
        if (pipe(fds) != 0)
            throw std::runtime_error("pipe failed");
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], STDOUT_FILENO);
            close(fds[0]);
            close(fds[1]);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(fds[1]);
        fd_ = fds[0];
        if (pid_ < 0)
            throw std::runtime_error("fork failed");
    }
    ~SaveLoopChild() {
        Kill();
        close(fd_);
    }
    SaveLoopChild(const SaveLoopChild&) = delete;
    SaveLoopChild& operator=(const SaveLoopChild&) = delete;

    struct Report {
        bool Starting = false;     // "saving N": the save of N begins
        long long Generation = -1; // -1: no more reports
    };

    // Blocks for the helper's next line.
    Report Next() {
        std::string line;
        char c;
        while (read(fd_, &c, 1) == 1) {
            if (c != '\n') {
                line += c;
            } else if (line.starts_with("saving ")) {
                return {true, std::stoll(line.substr(7))};
            } else {
                return {false, std::stoll(line)};
            }
        }
        return {};
    }

    // Blocks until the save of the generation begins or ends.
    void WaitFor(bool starting, long long generation) {
        for (Report r = Next(); r.Generation >= 0; r = Next())
            if (r.Starting == starting && r.Generation == generation)
                return;
        throw std::runtime_error("the helper stopped");
    }

    void Kill() {
        if (pid_ <= 0)
            return;
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = 0;
    }

private:
    pid_t pid_ = 0;
    int fd_ = -1;
};

std::vector<std::string> Expected(long long generation) {
    auto lines = save_loop::Lines(generation);
    lines.insert(lines.end(), {"", "[system]", "initype=inifile"});
    return lines;
}

// Temporary files a killed saver left; the next save removes them.
int CountTemporaries(const std::string& folder, const std::string& keep) {
    int n = 0;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().filename() != keep)
            ++n;
    return n;
}

// The generation the file holds, checked whole; -1 when it is not. The
// store's file is checked by the saver, which loads it as the program does.
long long LoadedGeneration(const std::string& folder, bool throughStore) {
    if (throughStore) {
        FILE* check = popen((std::string(SETTINGS_SAVER) + " check " + folder).c_str(), "r");
        char line[32] = "";
        const bool read = std::fgets(line, sizeof line, check) != nullptr;
        return pclose(check) == 0 && read ? std::atoll(line) : -1;
    }
    TQMSettings s;
    std::string n;
    if (!s.LoadFromFile(folder + "qmtaskscheduler2.ini") || !s.ReadString("generation", "n", n))
        return -1;
    return s.Lines == Expected(std::stoll(n)) ? std::stoll(n) : -1;
}

void KillSaverAtRandom(bool throughStore, int minKills) {
    TempDir dir;
    const std::string name = "qmtaskscheduler2.ini";
    const std::string path = dir.File(name);
    const unsigned seed = std::random_device{}();
    ::testing::Test::RecordProperty("seed", static_cast<int>(seed));
    std::mt19937 rng(seed);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    long long next = 1;
    int kills = 0;
    int killedMidSave = 0;
    // At least minKills kills, and on until five of them have hit a save in
    // progress: some builds spend most of a save outside the file write.
    while ((kills < minKills || killedMidSave < 5) && std::chrono::steady_clock::now() < deadline) {
        long long reported = -1;
        {
            const std::string generation = std::to_string(next);
            SaveLoopChild child(
                throughStore
                    ? std::vector<std::string>{SETTINGS_SAVER, "writer", dir.Path(), generation}
                    : std::vector<std::string>{SAVE_LOOP_HELPER, path, generation});
            // One whole save is timed; the kill then comes at a random moment
            // during the next save or just after it.
            child.WaitFor(true, next);
            const auto start = std::chrono::steady_clock::now();
            child.WaitFor(false, next);
            const auto saveTime = std::chrono::steady_clock::now() - start;
            child.WaitFor(true, next + 1);
            reported = next;
            std::uniform_int_distribution<long long> delay(0, saveTime.count() * 3 / 2);
            std::this_thread::sleep_for(std::chrono::steady_clock::duration(delay(rng)));
            child.Kill();
            for (auto r = child.Next(); r.Generation >= 0; r = child.Next())
                if (!r.Starting)
                    reported = r.Generation;
        }
        ++kills;
        // At most the one of this kill: the child's first save removed any
        // earlier one.
        const int left = CountTemporaries(dir.Path(), name);
        ASSERT_LE(left, 1) << "kill " << kills;
        killedMidSave += left;

        const long long found = LoadedGeneration(dir.Path(), throughStore);
        ASSERT_TRUE(found == reported || found == reported + 1)
            << "kill " << kills << ": generation " << found << " after " << reported << ", seed "
            << seed;
        next = found + 1;
    }
    ::testing::Test::RecordProperty("kills", kills);
    ::testing::Test::RecordProperty("killedMidSave", killedMidSave);
    std::printf("%d kills, %d of them during a save, %lld generations\n", kills, killedMidSave,
                next - 1);
    EXPECT_GE(kills, minKills * 5 / 6) << "too few kills within the time bound";
    // The kills must also have hit saves in progress, or nothing was shown.
    EXPECT_GE(killedMidSave, 5);

    // The next save leaves nothing but the file.
    TQMSettings s;
    s.Lines = save_loop::Lines(next);
    s.SaveToFile(path);
    EXPECT_EQ(CountTemporaries(dir.Path(), name), 0);
}

TEST(SettingsCrashSafety, KilledSaverLeavesOldOrNewFileWhole) {
    KillSaverAtRandom(false, 60);
}

TEST(SettingsCrashSafety, KilledWriterThreadLeavesTheLastWholeGeneration) {
    KillSaverAtRandom(true, 30);
}

// Edits come from the event loop as fast as it runs, each asking for a save;
// the window goes on editing while the writer thread writes, so saves are
// fewer than edits. Every generation written is whole and newer than the one
// before; the last holds the last edit, also one asked for just before the end.
TEST(SettingsWriter, SavesAStreamOfEditsWholeAndEndsWithTheLastEdit) {
    TempDir dir;
    TQMTaskScheduler tasks;
    TQMTaskSchedulerSettings store(tasks);
    store.Settings().UserFolder = dir.Path();
    store.Settings().ProgramFolder = dir.Path() + "no-program-folder/";
    constexpr int Edits = 300;
    for (int i = 0; i < 1000; ++i) {
        const std::string n = std::to_string(i);
        tasks.AddNewTask()->TaskName = "task " + n;
        tasks.GetTask(i)->Guid = std::string(40 - n.size(), '0') + n;
    }
    int edits = 0;
    TSettingsWriter writer(store);
    QTimer editor;
    const auto edit = [&] {
        ++edits;
        for (int i = 0; i < tasks.Count(); ++i)
            tasks.GetTask(i)->TaskParameters = "--generation " + std::to_string(edits);
        writer.Request();
        if (edits == Edits)
            editor.stop();
    };
    std::vector<long long> generations;
    writer.OnSaved = [&](const TStoreResult& saved) {
        ASSERT_TRUE(saved) << saved.Error;
        generations.push_back(LoadedGeneration(dir.Path(), true));
    };
    QObject::connect(&editor, &QTimer::timeout, edit);
    editor.start(0);
    ASSERT_TRUE(WaitUntil([&] { return edits == Edits && !writer.Pending(); }, 60000));

    ASSERT_FALSE(generations.empty());
    EXPECT_LT(generations.size(), static_cast<std::size_t>(Edits / 2));
    for (std::size_t i = 0; i < generations.size(); ++i)
        ASSERT_GT(generations[i], i == 0 ? 0 : generations[i - 1]) << "save " << i;
    EXPECT_EQ(generations.back(), Edits);
    edit();
    writer.Finish();
    EXPECT_EQ(LoadedGeneration(dir.Path(), true), Edits + 1);
}

} // namespace
