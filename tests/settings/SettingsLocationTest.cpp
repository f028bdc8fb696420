#include "lib/QMException.h"
#include "settings/classQMSettings.h"
#include "tests/settings/SettingsTestSupport.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

const char* const Name = "qmtaskscheduler2.ini";

// A program folder and a not yet existing per-user folder some levels deep.
struct Locations {
    Locations() {
        fs::create_directories(program);
        s.ProgramFolder = program;
        s.UserFolder = user;
        s.FileName = Name;
    }
    std::string ProgramFile() const { return program + Name; }
    std::string UserFile() const { return user + Name; }
    std::string Value(const std::string& key) const {
        std::string v;
        return s.ReadString("test", key, v) ? v : "<absent>";
    }

    TempDir dir;
    std::string program = dir.File("opt/scheduler/");
    std::string user = dir.File("home/.local/share/Quillmar/QMTaskScheduler/");
    TQMSettings s;
};

std::string FileWith(const std::string& key) {
    return "[test]\r\n" + key + "=1\r\n";
}

unsigned Mode(const std::string& path) {
    return static_cast<unsigned>(fs::status(path).permissions() & fs::perms::mask);
}

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Makes every write beyond the given file size fail with EFBIG, even for
// root, for the scope's lifetime.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &previous_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previous_{};
    void (*oldHandler_)(int) = nullptr;
};

// Enough lines to pass a small file size limit.
void FillLarge(TQMSettings& s) {
    for (int i = 0; i < 400; ++i)
        s.Lines.push_back("key" + std::to_string(i) + "=a value of some length");
}

} // namespace

TEST(SettingsLocation, NeitherFileLoadsEmptyAndSavesToNewUserFolder) {
    Locations at;
    at.s.Lines = {"stale"};
    at.s.Load();
    EXPECT_TRUE(at.s.Lines.empty());

    at.s.WriteString("Test", "user", "1");
    at.s.Save();
    EXPECT_EQ(ReadFile(at.UserFile()), FileWith("user") + "\r\n[system]\r\ninitype=inifile\r\n");
    EXPECT_FALSE(fs::exists(at.ProgramFile()));
    EXPECT_EQ(Mode(at.UserFile()), 0600u);
}

TEST(SettingsLocation, UserFileOnlyIsLoadedAndSavedInPlace) {
    Locations at;
    fs::create_directories(at.user);
    WriteFile(at.UserFile(), FileWith("user"));
    at.s.Load();
    EXPECT_EQ(at.Value("user"), "1");
    at.s.WriteString("test", "more", "2");
    at.s.Save();
    EXPECT_NE(ReadFile(at.UserFile()).find("more=2"), std::string::npos);
    EXPECT_FALSE(fs::exists(at.ProgramFile()));
}

TEST(SettingsLocation, ProgramFileOnlyIsLoadedAndSavedWithoutMakingUserFolder) {
    Locations at;
    WriteFile(at.ProgramFile(), FileWith("program"));
    at.s.Load();
    EXPECT_EQ(at.Value("program"), "1");
    at.s.Save();
    EXPECT_NE(ReadFile(at.ProgramFile()).find("initype=inifile"), std::string::npos);
    EXPECT_FALSE(fs::exists(at.user));
}

// The user folder's file may belong to another installation running side by
// side: a save in the program folder never deletes it.
TEST(SettingsLocation, ProgramFileWinsEvenEmptyAndTheUserFileStaysOnSave) {
    Locations at;
    fs::create_directories(at.user);
    WriteFile(at.UserFile(), FileWith("user"));
    WriteFile(at.ProgramFile(), "");
    at.s.Load();
    EXPECT_TRUE(at.s.Lines.empty());
    EXPECT_EQ(at.Value("user"), "<absent>");

    at.s.WriteString("test", "saved", "1");
    at.s.Save();
    EXPECT_EQ(ReadFile(at.ProgramFile()),
              FileWith("saved") + "\r\n[system]\r\ninitype=inifile\r\n");
    EXPECT_EQ(ReadFile(at.UserFile()), FileWith("user"));
}

TEST(SettingsLocation, FailedSaveKeepsOldFileAndOtherCopy) {
    Locations at;
    fs::create_directories(at.user);
    WriteFile(at.UserFile(), FileWith("user"));
    WriteFile(at.ProgramFile(), FileWith("program"), 0640);
    FillLarge(at.s);
    try {
        FileSizeLimit limit(4096);
        at.s.Save();
        FAIL() << "the save did not fail";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, 27); // EFBIG
        EXPECT_NE(e.Message.find("I/O error 27"), std::string::npos) << e.Message;
        EXPECT_NE(e.Message.find(at.ProgramFile()), std::string::npos) << e.Message;
    }
    EXPECT_EQ(ReadFile(at.ProgramFile()), FileWith("program"));
    EXPECT_EQ(Mode(at.ProgramFile()), 0640u);
    EXPECT_EQ(ReadFile(at.UserFile()), FileWith("user"));
    EXPECT_EQ(Entries(at.program), std::vector<std::string>{Name}); // no temporary left

    // Once the disk takes it, the same store saves.
    at.s.Save();
    EXPECT_EQ(ReadFile(at.UserFile()), FileWith("user"));
    EXPECT_EQ(Mode(at.ProgramFile()), 0640u);
}

TEST(SettingsLocation, SameFolderForBothKeepsTheFileJustWritten) {
    Locations at;
    at.s.UserFolder = at.program;
    WriteFile(at.ProgramFile(), FileWith("program"));
    at.s.Save();
    EXPECT_TRUE(fs::exists(at.ProgramFile()));

    // The same through a link to the program folder.
    fs::create_directories(at.dir.File("home"));
    fs::create_directory_symlink(at.program, at.dir.File("home/link"));
    at.s.UserFolder = at.dir.File("home/link/");
    at.s.Save();
    EXPECT_TRUE(fs::exists(at.ProgramFile()));
}

TEST(SettingsSave, KeepsPermissionsFollowsLinksAndLeavesNoTemporaryFiles) {
    TempDir dir;
    TQMSettings s;
    s.WriteString("a", "k", "v");
    WriteFile(dir.File("shared.ini"), "old", 0644);
    s.SaveToFile(dir.File("shared.ini"));
    EXPECT_EQ(Mode(dir.File("shared.ini")), 0644u);
    s.SaveToFile(dir.File("new.ini"));
    EXPECT_EQ(Mode(dir.File("new.ini")), 0600u);

    fs::create_symlink(dir.File("new.ini"), dir.File("link.ini"));
    s.Clear();
    s.WriteString("b", "k", "linked");
    s.SaveToFile(dir.File("link.ini"));
    EXPECT_TRUE(fs::is_symlink(dir.File("link.ini")));
    EXPECT_NE(ReadFile(dir.File("new.ini")).find("linked"), std::string::npos);
    EXPECT_EQ(Entries(dir.Path()), (std::vector<std::string>{"link.ini", "new.ini", "shared.ini"}));

    // A link whose target is not there yet: the target is made, by a
    // relative name beside the link, and the link stays.
    fs::create_symlink("later.ini", dir.File("dangling.ini"));
    s.SaveToFile(dir.File("dangling.ini"));
    EXPECT_TRUE(fs::is_symlink(dir.File("dangling.ini")));
    EXPECT_NE(ReadFile(dir.File("later.ini")).find("linked"), std::string::npos);
    EXPECT_EQ(Mode(dir.File("later.ini")), 0600u);
}

TEST(SettingsSave, FolderInTheWayIsAnAccessError) {
    TempDir dir;
    fs::create_directories(dir.File("taken.ini"));
    TQMSettings s;
    try {
        s.SaveToFile(dir.File("taken.ini"));
        FAIL() << "no error";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, 5);
        EXPECT_NE(e.Message.find("File access denied"), std::string::npos) << e.Message;
    }
    // A file where a folder should be: the folder cannot be made, the write
    // reports it.
    WriteFile(dir.File("file"), "x");
    try {
        s.SaveToFile(dir.File("file/sub/s.ini"));
        FAIL() << "no error";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, 3);
        EXPECT_NE(e.Message.find("Invalid filename"), std::string::npos) << e.Message;
    }
    EXPECT_EQ(ReadFile(dir.File("file")), "x");
}

namespace {

// Saves over a read-only file; 0 when the save fails with "File access
// denied" and leaves the file as it was.
int ReadOnlyScenario(const std::string& folder) {
    const std::string path = folder + "readonly.ini";
    TQMSettings s;
    s.WriteString("a", "k", "new");
    try {
        s.SaveToFile(path);
        return 1;
    } catch (const EInOutError& e) {
        if (e.ErrorCode != 5)
            return 2;
    }
    if (ReadFile(path) != "old")
        return 3;
    if (Entries(folder) != std::vector<std::string>{"readonly.ini"})
        return 4;
    return 0;
}

} // namespace

TEST(SettingsSave, AFileWithoutWritePermissionIsNotReplaced) {
    TempDir dir;
    WriteFile(dir.File("readonly.ini"), "old", 0444);
    settings_test::ExpectScenarioPassesUnprivileged(dir.Path(), ReadOnlyScenario);
}
