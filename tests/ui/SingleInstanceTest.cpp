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

namespace fs = std::filesystem;
using testing_support::TempDir;
using testing_support::WaitUntil;
using TRole = TSingleInstance::TRole;

namespace {

// The user's run-time folder, a fresh one per test.
class ScopedRuntimeFolder {
public:
    explicit ScopedRuntimeFolder(const TempDir& dir)
        : saved_(qgetenv("XDG_RUNTIME_DIR")), had_(qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) {
        fs::create_directory(dir.File("runtime"));
        fs::permissions(dir.File("runtime"), fs::perms::owner_all);
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(dir.File("runtime")));
    }
    ~ScopedRuntimeFolder() {
        if (had_)
            qputenv("XDG_RUNTIME_DIR", saved_);
        else
            qunsetenv("XDG_RUNTIME_DIR");
    }
    ScopedRuntimeFolder(const ScopedRuntimeFolder&) = delete;
    ScopedRuntimeFolder& operator=(const ScopedRuntimeFolder&) = delete;

private:
    QByteArray saved_;
    bool had_;
};

} // namespace

// The first copy's side, driven through its real socket as a later start
// drives it: the minimised window comes back, and the asker hears so.
TEST(SingleInstance, TheFirstCopyShowsItsMinimisedWindowWhenALaterStartAsks) {
    TempDir dir;
    ScopedRuntimeFolder runtime(dir);
    const std::string settings = dir.File("sub/qmtaskscheduler2.ini");
    TSingleInstance first(settings);
    ASSERT_EQ(first.Role(), TRole::First);
    EXPECT_TRUE(first.Message().isEmpty()) << first.Message().toStdString();
    EXPECT_TRUE(fs::exists(TSingleInstance::LockFileName(settings))) << "the folder is made";

    QWidget window;
    window.showMinimized();
    ASSERT_TRUE(WaitUntil([&] { return window.isMinimized(); }));
    int asked = 0;
    QStringList tokens;
    first.OnShowRequest([&](const QString& token) {
        ++asked;
        tokens << token;
        ui::BringToFront(&window);
    });

    // On Wayland the later start hands on its activation token.
    for (const char* request : {"show\n", "show wayland-token_1\n"}) {
        QLocalSocket asker;
        asker.connectToServer(TSingleInstance::ServerName(settings));
        ASSERT_TRUE(WaitUntil([&] { return asker.state() == QLocalSocket::ConnectedState; }));
        asker.write(request);
        ASSERT_TRUE(WaitUntil([&] { return asker.canReadLine(); }));
        EXPECT_EQ(asker.readLine(), "shown\n");
    }
    EXPECT_EQ(tokens, QStringList({"", "wayland-token_1"}));
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(window.isVisible());

    // Another settings file, another name: copies with their own files never meet.
    EXPECT_NE(TSingleInstance::ServerName(settings),
              TSingleInstance::ServerName(dir.File("qmtaskscheduler2.ini")));
    // Anything but the request gets no answer and changes nothing.
    QLocalSocket stranger;
    stranger.connectToServer(TSingleInstance::ServerName(settings));
    ASSERT_TRUE(WaitUntil([&] { return stranger.state() == QLocalSocket::ConnectedState; }));
    stranger.write("hello\n");
    ASSERT_TRUE(WaitUntil([&] { return stranger.state() == QLocalSocket::UnconnectedState; }));
    EXPECT_EQ(stranger.bytesAvailable(), 0);
    EXPECT_EQ(asked, 2);
}

// A later start (in a thread of its own, as its own process would block)
// asks the first copy, whatever the settings folder's state and by whatever
// path it names the file; folders whose names differ only in bytes that are
// no UTF-8 hold different files.
TEST(SingleInstance, ALaterStartForTheSameFileNeverRunsASecondCopy) {
    TempDir dir;
    ScopedRuntimeFolder runtime(dir);
    const std::string settings = dir.File("sub/qmtaskscheduler2.ini");
    // The lock file beside the settings file cannot be made.
    fs::create_directories(TSingleInstance::LockFileName(settings));
    fs::create_directory_symlink(dir.File("sub"), dir.File("alias"));
    TSingleInstance first(settings);
    ASSERT_EQ(first.Role(), TRole::First);

    for (const std::string& later : {settings, dir.File("alias/qmtaskscheduler2.ini"),
                                     dir.File("sub/../sub/qmtaskscheduler2.ini")}) {
        std::atomic<int> role{-1};
        std::thread start([&] { role = static_cast<int>(TSingleInstance(later).Role()); });
        const bool ended = WaitUntil([&] { return role >= 0; });
        start.join();
        ASSERT_TRUE(ended);
        EXPECT_EQ(role, static_cast<int>(TRole::Second)) << later;
    }

    TSingleInstance latin1(dir.File("caf\xe9/qmtaskscheduler2.ini"));
    TSingleInstance other(dir.File("caf\xe8/qmtaskscheduler2.ini"));
    EXPECT_EQ(latin1.Role(), TRole::First);
    EXPECT_EQ(other.Role(), TRole::First);
}
