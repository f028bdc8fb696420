// A save beyond the file-size limit (ulimit -f) takes the failed-save path:
// the program goes on, the settings file stays as it was and no temporary
// file is left. Without the signal ignored the limit kills the saver
// mid-write, which is what the program must never let happen.
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

struct Outcome {
    int Status = 0;     // wait status
    std::string Output; // what the saver printed
};

// Runs the saver as a child process, with the file-size limit in bytes
// (0: none) applied to it alone.
Outcome RunSaver(const std::vector<std::string>& args, rlim_t sizeLimit) {
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        if (sizeLimit) {
            const rlimit limit{sizeLimit, sizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        std::vector<char*> argv{const_cast<char*>(SETTINGS_SAVER)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(SETTINGS_SAVER, argv.data());
        _exit(127);
    }
    close(fds[1]);
    Outcome outcome;
    char buf[256];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
        outcome.Output.append(buf, static_cast<std::size_t>(n));
    close(fds[0]);
    waitpid(pid, &outcome.Status, 0);
    return outcome;
}

int FilesIn(const std::string& folder) {
    int n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder))
        ++n;
    return n;
}

} // namespace

TEST(SettingsFileLimit, ASaveOverTheLimitFailsCleanlyInsteadOfKillingTheProgram) {
    TempDir dir;
    const std::string folder = dir.Path();
    const std::string file = dir.File("qmtaskscheduler2.ini");
    Outcome first = RunSaver({"once", folder, "1"}, 0);
    ASSERT_TRUE(WIFEXITED(first.Status) && WEXITSTATUS(first.Status) == 0) << first.Output;
    const std::string saved = ReadFile(file);
    ASSERT_GT(saved.size(), 200000u);

    // Over the limit: the write fails with EFBIG, which the store reports.
    const rlim_t limit = 64 * 1024;
    Outcome over = RunSaver({"once", folder, "2"}, limit);
    ASSERT_TRUE(WIFEXITED(over.Status)) << "ended by signal " << WTERMSIG(over.Status);
    EXPECT_EQ(WEXITSTATUS(over.Status), 1);
    EXPECT_EQ(over.Output.rfind("failed: ", 0), 0u) << over.Output;
    EXPECT_EQ(ReadFile(file), saved);
    EXPECT_EQ(FilesIn(folder), 1);

    // The same save with the signal's default action: killed mid-write, a cut
    // temporary file left behind.
    Outcome killed = RunSaver({"once", folder, "3", "keep-signal"}, limit);
    ASSERT_TRUE(WIFSIGNALED(killed.Status));
    EXPECT_EQ(WTERMSIG(killed.Status), SIGXFSZ);
    EXPECT_EQ(ReadFile(file), saved);
    EXPECT_EQ(FilesIn(folder), 2);

    // The next save within limits removes it.
    Outcome after = RunSaver({"once", folder, "4"}, 0);
    ASSERT_TRUE(WIFEXITED(after.Status) && WEXITSTATUS(after.Status) == 0) << after.Output;
    EXPECT_EQ(FilesIn(folder), 1);
    Outcome check = RunSaver({"check", folder}, 0);
    EXPECT_EQ(check.Output, "4\n");
}
