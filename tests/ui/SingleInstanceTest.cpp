#include "ui/SingleInstance.h"

#include "tests/support/TestSupport.h"
#include "tests/ui/ModalHelper.h"

#include <QFile>
#include <QLocalSocket>
#include <QWidget>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using testing_support::TempDir;
using testing_support::WaitUntil;
using TRole = TSingleInstance::TRole;

namespace {

// The run-time folder rule's roots, fresh per test: nothing at the per-user
// root, so the rule takes its shared folder.
platform::RuntimeRoots Roots(const TempDir& dir) {
    for (const char* root : {"run", "tmp", "home"})
        fs::create_directory(dir.File(root));
    return {dir.File("run"), dir.File("tmp"), dir.File("home")};
}

} // namespace

// The first copy's side, driven through its real socket as a later start
// drives it: the minimised window comes back, and the asker hears so.
TEST(SingleInstance, TheFirstCopyShowsItsMinimisedWindowWhenALaterStartAsks) {
    TempDir dir;
    const platform::RuntimeRoots roots = Roots(dir);
    const std::string settings = dir.File("sub/qmtaskscheduler2.ini");
    TSingleInstance first(settings, roots);
    ASSERT_EQ(first.Role(), TRole::First);
    EXPECT_TRUE(first.Message().isEmpty()) << first.Message().toStdString();
    EXPECT_TRUE(fs::exists(TSingleInstance::LockFileName(settings))) << "the folder is made";

    QWidget window;
    window.showMinimized();
    ASSERT_TRUE(WaitUntil([&] { return window.isMinimized(); }));
    QStringList handedOn; // token, start-up id
    first.OnShowRequest([&](const QString& token, const QString& startupId) {
        handedOn << token + "/" + startupId;
        ui::BringToFront(&window);
    });

    // On Wayland the later start hands on its activation token, on X11 its
    // start-up id.
    for (const char* request : {"show\n", "show wayland-token_1\n", "show startup-id=x11_2\n"}) {
        QLocalSocket asker;
        asker.connectToServer(TSingleInstance::ServerName(settings, roots));
        ASSERT_TRUE(WaitUntil([&] { return asker.state() == QLocalSocket::ConnectedState; }));
        asker.write(request);
        ASSERT_TRUE(WaitUntil([&] { return asker.canReadLine(); }));
        EXPECT_EQ(asker.readLine(), "shown\n");
    }
    EXPECT_EQ(handedOn, QStringList({"/", "wayland-token_1/", "/x11_2"}));
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(window.isVisible());

    // Another settings file, another name: copies with their own files never meet.
    EXPECT_NE(TSingleInstance::ServerName(settings, roots),
              TSingleInstance::ServerName(dir.File("qmtaskscheduler2.ini"), roots));
    // Anything but the request gets no answer and changes nothing.
    QLocalSocket stranger;
    stranger.connectToServer(TSingleInstance::ServerName(settings, roots));
    ASSERT_TRUE(WaitUntil([&] { return stranger.state() == QLocalSocket::ConnectedState; }));
    stranger.write("hello\n");
    ASSERT_TRUE(WaitUntil([&] { return stranger.state() == QLocalSocket::UnconnectedState; }));
    EXPECT_EQ(stranger.bytesAvailable(), 0);
    EXPECT_EQ(handedOn.size(), 3);
}

// A later start (in a thread of its own, as its own process would block)
// asks the first copy, whatever the settings folder's state and by whatever
// path it names the file; folders whose names differ only in bytes that are
// no UTF-8 hold different files.
TEST(SingleInstance, ALaterStartForTheSameFileNeverRunsASecondCopy) {
    TempDir dir;
    const platform::RuntimeRoots roots = Roots(dir);
    const std::string settings = dir.File("sub/qmtaskscheduler2.ini");
    // The lock file beside the settings file cannot be made.
    fs::create_directories(TSingleInstance::LockFileName(settings));
    fs::create_directory_symlink(dir.File("sub"), dir.File("alias"));
    TSingleInstance first(settings, roots);
    ASSERT_EQ(first.Role(), TRole::First);
    QStringList handedOn;
    first.OnShowRequest([&](const QString& token, const QString& startupId) {
        handedOn = {token, startupId};
    });
    // What the launcher gave the later start reaches the first copy, which
    // ends the launch feedback with it.
    qputenv("XDG_ACTIVATION_TOKEN", "token-1");
    qputenv("DESKTOP_STARTUP_ID", "launcher-2_TIME3");

    for (const std::string& later : {settings, dir.File("alias/qmtaskscheduler2.ini"),
                                     dir.File("sub/../sub/qmtaskscheduler2.ini")}) {
        handedOn.clear();
        std::atomic<int> role{-1};
        std::thread start([&] { role = static_cast<int>(TSingleInstance(later, roots).Role()); });
        const bool ended = WaitUntil([&] { return role >= 0; });
        start.join();
        ASSERT_TRUE(ended);
        EXPECT_EQ(role, static_cast<int>(TRole::Second)) << later;
        EXPECT_EQ(handedOn, QStringList({"token-1", "launcher-2_TIME3"}));
    }

    qunsetenv("XDG_ACTIVATION_TOKEN");
    qunsetenv("DESKTOP_STARTUP_ID");
    TSingleInstance latin1(dir.File("caf\xe9/qmtaskscheduler2.ini"), roots);
    TSingleInstance other(dir.File("caf\xe8/qmtaskscheduler2.ini"), roots);
    EXPECT_EQ(latin1.Role(), TRole::First);
    EXPECT_EQ(other.Role(), TRole::First);
}

// The run-time folder depends on the user alone, never on XDG_RUNTIME_DIR:
// each folder in the rule's order that does not fit is passed over with a
// warning, and none of another user's stops the start.
TEST(SingleInstance, TheRunTimeFolderFollowsOneRuleThatDependsOnTheUserAlone) {
    const std::string uid = std::to_string(geteuid());
    const std::string perUser = "run/" + uid;
    const std::string shared = "tmp/qmtaskscheduler2-" + uid;
    qputenv("XDG_RUNTIME_DIR", "/tmp");
    enum TThing { Private, Open, Link, Foreign };
    const struct {
        const char* Name;
        std::string At;
        TThing Thing;
        int Chosen; // per-user, shared, home
        const char* Warning;
    } cases[] = {
        {"the per-user folder", perUser, Private, 0, ""},
        {"a per-user folder others may open", perUser, Open, 1, "has another mode than 0700"},
        {"a shared folder of ours others may open", shared, Open, 1, ""},
        {"a link in the shared folder's place", shared, Link, 2, "is a symbolic link"},
        {"another user's shared folder", shared, Foreign, 2, "belongs to another user"},
    };
    for (const auto& c : cases) {
        if (c.Thing == Foreign && geteuid() != 0)
            continue; // only root can give a folder away
        SCOPED_TRACE(c.Name);
        TempDir dir;
        const platform::RuntimeRoots roots = Roots(dir);
        const std::string at = dir.File(c.At);
        if (c.Thing == Link)
            fs::create_directory_symlink(dir.File("home"), at);
        else
            fs::create_directory(at); // 0755
        if (c.Thing == Private || c.Thing == Foreign)
            fs::permissions(at, fs::perms::owner_all);
        ASSERT_TRUE(c.Thing != Foreign || chown(at.c_str(), 65534, 65534) == 0);
        const std::string wanted[] = {dir.File(perUser), dir.File(shared),
                                      dir.File("home/.cache/qmtaskscheduler2")};
        const platform::RuntimeFolder folder = platform::UserRuntimeFolder(roots);
        EXPECT_EQ(folder.Path, wanted[c.Chosen]);
        EXPECT_EQ(fs::symlink_status(folder.Path).permissions() & fs::perms::mask,
                  fs::perms::owner_all);
        ASSERT_EQ(folder.Warnings.size(), *c.Warning == 0 ? 0u : 1u);
        if (folder.Warnings.empty())
            continue;
        EXPECT_NE(folder.Warnings[0].find(c.Warning), std::string::npos) << folder.Warnings[0];
        // The start goes on and says once why it passed the folder over.
        TSingleInstance start(dir.File("qmtaskscheduler2.ini"), roots);
        EXPECT_EQ(start.Role(), TRole::First);
        EXPECT_EQ(start.Message().count(QStringLiteral("passed over")), 1);
    }
    qunsetenv("XDG_RUNTIME_DIR");
}

// A later start that finds the settings file's lock held by a copy of the
// same user (one that is ending, or runs with another run-time folder) says
// so when it gives up, naming the process.
TEST(SingleInstance, ALaterStartThatGivesUpNamesACopyOfTheSameUser) {
    TempDir dir;
    const platform::RuntimeRoots roots = Roots(dir);
    const std::string settings = dir.File("qmtaskscheduler2.ini");
    platform::FileLock ending(TSingleInstance::LockFileName(settings), 0644);
    ASSERT_EQ(ending.State(), platform::FileLock::TState::Held);
    TSingleInstance later(settings, roots);
    EXPECT_EQ(later.Role(), TRole::Unreachable);
    const std::string message = later.Message().toStdString();
    EXPECT_NE(message.find("as this user (process " + std::to_string(getpid()) + " holds"),
              std::string::npos)
        << message;
    EXPECT_EQ(message.find("another user"), std::string::npos) << message;
}
