#include "tests/settings/SettingsTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace settings_test {

void ExpectScenarioPassesUnprivileged(const std::string& folder, TScenario scenario) {
    if (geteuid() != 0) {
        EXPECT_EQ(scenario(folder), 0);
        return;
    }
    chmod(folder.c_str(), 0777);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // nobody/nogroup on Debian
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(20);
        _exit(scenario(folder));
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "scenario step failed (see return codes)";
}

} // namespace settings_test
