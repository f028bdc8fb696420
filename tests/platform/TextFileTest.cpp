// Temporary files of the atomic write: the leftovers of ended writers go at
// the next write, and nothing else does.
#include "platform/textfile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

std::set<std::string> Entries(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.insert(e.path().filename().string());
    return names;
}

// Holds a file locked the way a live writer holds its temporary file.
class HeldLock {
public:
    explicit HeldLock(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        EXPECT_GE(fd_, 0);
        EXPECT_EQ(flock(fd_, LOCK_EX | LOCK_NB), 0);
    }
    ~HeldLock() { close(fd_); }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

private:
    int fd_;
};

} // namespace

TEST(AtomicWrite, NextWriteRemovesLeftoversOfEndedWritersAndNothingElse) {
    TempDir dir;
    const std::string name = "qmtaskscheduler2.ini";
    const std::string path = dir.File(name);
    WriteFile(path, "old");
    // What killed writers leave: no process holds them locked any more.
    WriteFile(dir.File(".qmtaskscheduler2.ini.qmtmp-a1B2c3"), std::string(100000, 'x'));
    WriteFile(dir.File(".qmtaskscheduler2.ini.qmtmp-ZZZZZZ"), "");
    // A writer still at work, and files that only look alike.
    const std::set<std::string> kept = {
        name,
        ".qmtaskscheduler2.ini.qmtmp-Live00",
        "qmtaskscheduler2.ini.lock",           // the single-instance lock
        "qmtaskscheduler2.ini.lock.rmlock",    // and its helper
        ".qmtaskscheduler2.ini.backup",        // the user's own, or
        ".qmtaskscheduler2.ini.a1B2c3",        // another tool's temporary
        ".qmtaskscheduler2.ini.qmtmp-a1B2c",   // five
        ".qmtaskscheduler2.ini.qmtmp-a1B2c3d", // seven
        ".qmtaskscheduler2.ini.qmtmp-a1-2c3",  // not a letter or digit
        "qmtaskscheduler2.ini.qmtmp-a1B2c3",   // no leading dot
        ".other.ini.qmtmp-a1B2c3",             // another file's
        "..qmtaskscheduler2.ini.qmtmp-a1B2c3", // two dots
        ".qmtaskscheduler2.ini.unreadable-2026",
        "qmtaskscheduler2.log",
        ".qmtaskscheduler2.ini.qmtmp-Dir000", // a folder
        ".qmtaskscheduler2.ini.qmtmp-Link00", // a link
        "target",
    };
    for (const std::string& k : kept)
        if (k != name && k != ".qmtaskscheduler2.ini.qmtmp-Dir000" &&
            k != ".qmtaskscheduler2.ini.qmtmp-Link00")
            WriteFile(dir.File(k), "keep");
    fs::create_directory(dir.File(".qmtaskscheduler2.ini.qmtmp-Dir000"));
    fs::create_symlink(dir.File("target"), dir.File(".qmtaskscheduler2.ini.qmtmp-Link00"));

    {
        HeldLock live(dir.File(".qmtaskscheduler2.ini.qmtmp-Live00"));
        ASSERT_EQ(platform::WriteFileAtomically(path, "new"), 0);
        EXPECT_EQ(ReadFile(path), "new");
        EXPECT_EQ(Entries(dir.Path()), kept);
        EXPECT_EQ(platform::RemoveStaleTemporaries(path), 0);
    }
    // Its writer gone, the last one goes too; the look-alikes stay.
    EXPECT_EQ(platform::RemoveStaleTemporaries(path), 1);
    std::set<std::string> rest = kept;
    rest.erase(".qmtaskscheduler2.ini.qmtmp-Live00");
    EXPECT_EQ(Entries(dir.Path()), rest);
    for (const std::string& k : rest) {
        if (fs::is_regular_file(fs::symlink_status(dir.File(k))) && k != name) {
            EXPECT_EQ(ReadFile(dir.File(k)), "keep") << k;
        }
    }
}
