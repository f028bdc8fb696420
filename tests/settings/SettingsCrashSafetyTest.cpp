// A saver killed at random moments must never leave a cut-off or mixed
// settings file: after every kill the file loads whole, as the generation
// last reported saved or the one after it. Its temporary files do not pile up:
// the next save removes them.
#include "settings/classQMSettings.h"
#include "tests/settings/helper/SaveLoopContent.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
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
    SaveLoopChild(const std::string& path, long long firstGeneration) {
        const std::string generation = std::to_string(firstGeneration);
        int fds[2];
        if (pipe(fds) != 0)
            throw std::runtime_error("pipe failed");
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], STDOUT_FILENO);
            close(fds[0]);
            close(fds[1]);
            execl(SAVE_LOOP_HELPER, SAVE_LOOP_HELPER, path.c_str(), generation.c_str(),
                  static_cast<char*>(nullptr));
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

} // namespace

TEST(SettingsCrashSafety, KilledSaverLeavesOldOrNewFileWhole) {
    TempDir dir;
    const std::string name = "qmtaskscheduler2.ini";
    const std::string path = dir.File(name);
    const unsigned seed = std::random_device{}();
    RecordProperty("seed", static_cast<int>(seed));
    std::mt19937 rng(seed);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    long long next = 1;
    int kills = 0;
    int killedMidSave = 0;
    // At least 60 kills, and on until five of them have hit a save in
    // progress: some builds spend most of a save outside the file write.
    while ((kills < 60 || killedMidSave < 5) && std::chrono::steady_clock::now() < deadline) {
        long long reported = -1;
        {
            SaveLoopChild child(path, next);
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

        TQMSettings s;
        ASSERT_TRUE(s.LoadFromFile(path));
        std::string n;
        ASSERT_TRUE(s.ReadString("generation", "n", n)) << "kill " << kills;
        const long long found = std::stoll(n);
        ASSERT_TRUE(found == reported || found == reported + 1)
            << "kill " << kills << ": generation " << found << " after " << reported;
        ASSERT_EQ(s.Lines, Expected(found)) << "kill " << kills << ", seed " << seed;
        next = found + 1;
    }
    RecordProperty("kills", kills);
    RecordProperty("killedMidSave", killedMidSave);
    std::printf("%d kills, %d of them during a save, %lld generations\n", kills, killedMidSave,
                next - 1);
    EXPECT_GE(kills, 50) << "too few kills within the time bound";
    // The kills must also have hit saves in progress, or nothing was shown.
    EXPECT_GE(killedMidSave, 5);

    // The next save leaves nothing but the file.
    TQMSettings s;
    s.Lines = save_loop::Lines(next);
    s.SaveToFile(path);
    EXPECT_EQ(CountTemporaries(dir.Path(), name), 0);
}
