#include "lib/ZQFileAndShellUtil.h"
#include "lib/classQMSystemDirectories.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include <pwd.h>
#include <unistd.h>

namespace {

// Sets or removes an environment variable for the scope's lifetime.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name))
            previous_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (previous_)
            setenv(name_, previous_->c_str(), 1);
        else
            unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> previous_;
};

} // namespace

TEST(FileAndShellUtil, AddTrailingBackslashTrimsAndEndsInOneSeparator) {
    EXPECT_EQ(TZQFileAndShellUtil::AddTrailingBackslash("/home/ann/.local/share"),
              "/home/ann/.local/share/");
    EXPECT_EQ(TZQFileAndShellUtil::AddTrailingBackslash("/home/ann/"), "/home/ann/");
    EXPECT_EQ(TZQFileAndShellUtil::AddTrailingBackslash(" \t/my data \r\n"), "/my data/");
    EXPECT_EQ(TZQFileAndShellUtil::AddTrailingBackslash("/"), "/");
    EXPECT_EQ(TZQFileAndShellUtil::AddTrailingBackslash(""), "");
    EXPECT_EQ(TZQFileAndShellUtil::AddTrailingBackslash("  \t "), "");
}

TEST(SystemDirectories, LocalAppDataFromXdgDataHomeElseHome) {
    ScopedEnv home("HOME", "/home/ann");
    {
        ScopedEnv xdg("XDG_DATA_HOME", "/data/ann");
        EXPECT_EQ(TQMSystemDirectories::GetLocalAppDataFolder(), "/data/ann/");
        EXPECT_EQ(TQMSystemDirectories::GetSpecialFolder(28), "/data/ann/");
        EXPECT_EQ(TQMSystemDirectories::GetSpecialFolder(26), ""); // not a folder we know
    }
    {
        ScopedEnv xdg("XDG_DATA_HOME", "/data/ann/");
        EXPECT_EQ(TQMSystemDirectories::GetLocalAppDataFolder(), "/data/ann/");
    }
    for (const char* ignored : {"relative/data", ""}) {
        ScopedEnv xdg("XDG_DATA_HOME", ignored);
        EXPECT_EQ(TQMSystemDirectories::GetLocalAppDataFolder(), "/home/ann/.local/share/");
    }
    ScopedEnv xdg("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(TQMSystemDirectories::GetLocalAppDataFolder(), "/home/ann/.local/share/");
    {
        ScopedEnv root("HOME", "/");
        EXPECT_EQ(TQMSystemDirectories::GetLocalAppDataFolder(), "/.local/share/");
    }
    // Without a usable HOME the user's home comes from the password
    // database, never from the working folder.
    const passwd* user = getpwuid(geteuid());
    ASSERT_NE(user, nullptr);
    const std::string fromDatabase = std::string(user->pw_dir) + "/.local/share/";
    ASSERT_EQ(fromDatabase.front(), '/');
    for (const char* unusable : {static_cast<const char*>(nullptr), "", "relative"}) {
        ScopedEnv noHome("HOME", unusable);
        EXPECT_EQ(TQMSystemDirectories::GetLocalAppDataFolder(), fromDatabase);
    }
}
