#include "ui/SingleInstance.h"

#include "tests/support/TestSupport.h"
#include "tests/ui/ModalHelper.h"

#include <QFile>
#include <QLocalSocket>
#include <QWidget>

#include <gtest/gtest.h>

using testing_support::TempDir;
using testing_support::WaitUntil;

// The first copy's side, driven through its real socket as a later start
// drives it: the minimised window comes back, and the asker hears so.
TEST(SingleInstance, TheFirstCopyShowsItsMinimisedWindowWhenALaterStartAsks) {
    TempDir dir;
    const QString settings = QString::fromStdString(dir.File("sub/qmtaskscheduler2.ini"));
    TSingleInstance first(settings);
    ASSERT_EQ(first.Role(), TSingleInstance::TRole::First);
    EXPECT_TRUE(first.Message().isEmpty()) << first.Message().toStdString();
    EXPECT_TRUE(QFile::exists(TSingleInstance::LockFileName(settings))) << "the folder is made";

    QWidget window;
    window.showMinimized();
    ASSERT_TRUE(WaitUntil([&] { return window.isMinimized(); }));
    int asked = 0;
    first.OnShowRequest([&] {
        ++asked;
        ui::BringToFront(&window);
    });

    QLocalSocket asker;
    asker.connectToServer(TSingleInstance::ServerName(settings));
    ASSERT_TRUE(WaitUntil([&] { return asker.state() == QLocalSocket::ConnectedState; }));
    asker.write("show\n");
    ASSERT_TRUE(WaitUntil([&] { return asker.canReadLine(); }));
    EXPECT_EQ(asker.readLine(), "shown\n");
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(window.isVisible());

    // Another settings file, another name: copies with their own files never meet.
    EXPECT_NE(
        TSingleInstance::ServerName(settings),
        TSingleInstance::ServerName(QString::fromStdString(dir.File("qmtaskscheduler2.ini"))));
    // Anything but the request gets no answer and changes nothing.
    QLocalSocket stranger;
    stranger.connectToServer(TSingleInstance::ServerName(settings));
    ASSERT_TRUE(WaitUntil([&] { return stranger.state() == QLocalSocket::ConnectedState; }));
    stranger.write("hello\n");
    ASSERT_TRUE(WaitUntil([&] { return stranger.state() == QLocalSocket::UnconnectedState; }));
    EXPECT_EQ(stranger.bytesAvailable(), 0);
    EXPECT_EQ(asked, 1);
}
