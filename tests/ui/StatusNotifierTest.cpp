// The icon for a StatusNotifierItem host that comes after the window, over
// the test's private session bus: the host (python3-dbusmock with the
// watcher template of the program tests) gets the item, and its clicks come
// back as D-Bus calls, as a panel makes them.

#include "tests/support/TestWindow.h"
#include "tests/ui/ModalHelper.h"
#include "ui/FMain.h"
#include "ui/StatusNotifierItem.h"
#include "ui/TrayIcon.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QMenu>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <string>

using namespace testing_support;

namespace {

void CallItem(const QString& item, const char* method, const QVariantList& arguments) {
    QDBusMessage call = QDBusMessage::createMethodCall(item, QStringLiteral("/StatusNotifierItem"),
                                                       QStringLiteral("org.kde.StatusNotifierItem"),
                                                       QString::fromLatin1(method));
    call.setArguments(arguments);
    QDBusConnection::sessionBus().asyncCall(call);
}

TEST(StatusNotifierHost, ALateHostGetsTheOneIconWhoseClicksRaiseOrHideTheWindow) {
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "tests run on a private bus";
    TestWindow window("[qmtaskscheduler]\r\naskwhenclose=0\r\n");
    TFormMain& form = window.Form;
    const TempDir& dir = window.Dir;
    form.StartWindow(false);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    TTrayIcon& tray = form.Desktop().Tray();
    EXPECT_FALSE(tray.IsVisible());

    QProcess host;
    host.start(QStringLiteral("/usr/bin/python3"),
               {"-m", "dbusmock", "--session", "-t", QMTS_SNI_WATCHER, "-l",
                QString::fromStdString(dir.File("host.log"))});
    ASSERT_TRUE(WaitUntil([&] { return tray.IsVisible(); }, 30000));
    ASSERT_NE(tray.Item(), nullptr);
    const QString item = tray.Item()->ServiceName();
    ASSERT_TRUE(WaitUntil([&] {
        return ReadFile(dir.File("host.log"))
                   .find("RegisterStatusNotifierItem \"" + item.toStdString()) != std::string::npos;
    }));
    // One icon: Qt's own, which would reach the host a second time, is never made.
    EXPECT_EQ(tray.QtIcon(), nullptr);
    QDBusMessage title = QDBusMessage::createMethodCall(
        item, QStringLiteral("/StatusNotifierItem"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    title << QStringLiteral("org.kde.StatusNotifierItem") << QStringLiteral("Title");
    const QDBusReply<QDBusVariant> answer = QDBusConnection::sessionBus().call(title);
    ASSERT_TRUE(answer.isValid()) << answer.error().message().toStdString();
    EXPECT_EQ(answer.value().variant().toString(), "Quillmar Task Scheduler");

    // A click on the icon brings a covered window to the front; a click on
    // the window in front hides it.
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(WaitUntil([&] { return other.isActiveWindow(); }));
    CallItem(item, "Activate", {0, 0});
    ASSERT_TRUE(WaitUntil([&] { return form.isActiveWindow(); }));
    EXPECT_TRUE(form.isVisible());
    CallItem(item, "Activate", {0, 0});
    ASSERT_TRUE(WaitUntil([&] { return !form.isVisible(); }));

    // The host asks for the menu at the place of the click.
    CallItem(item, "ContextMenu", {5, 6});
    ASSERT_TRUE(WaitUntil([&] { return tray.Menu().isVisible(); }));
    tray.Menu().hide();

    // A host that draws the menu itself reads it over D-Bus where the
    // item's Menu property says, with the captions of the moment; a click
    // there runs the item.
    auto gdbus = [&item](const QStringList& arguments) {
        QProcess call;
        call.start(QStringLiteral("gdbus"),
                   QStringList{"call", "--session", "--dest", item} + arguments);
        EXPECT_TRUE(WaitUntil([&] { return call.state() == QProcess::NotRunning; }));
        return QString::fromUtf8(call.readAllStandardOutput()).trimmed();
    };
    EXPECT_EQ(gdbus({"--object-path", "/StatusNotifierItem", "--method",
                     "org.freedesktop.DBus.Properties.Get", "org.kde.StatusNotifierItem", "Menu"}),
              "(<objectpath '/MenuBar'>,)");
    const QStringList menu{"--object-path", "/MenuBar", "--method"};
    for (const char* caption : {"Show window", "Hide window"}) {
        gdbus(menu + QStringList{"com.canonical.dbusmenu.AboutToShow", "0"});
        const QString layout =
            gdbus(menu + QStringList{"com.canonical.dbusmenu.GetLayout", "--", "0", "-1", "[]"});
        // Properties come in the order of their names.
        for (const QString& part :
             {QStringLiteral("(1, {'enabled': <true>, 'label': <'%1'>").arg(caption),
              QStringLiteral("(2, {'enabled': <true>, 'label': <'Add task...'>"),
              QStringLiteral("(3, {'enabled': <true>, 'type': <'separator'>"),
              QStringLiteral("(4, {'enabled': <true>, 'label': <'Exit'>")})
            EXPECT_TRUE(layout.contains(part)) << layout.toStdString();
        const bool shown = form.isVisible();
        gdbus(menu + QStringList{"com.canonical.dbusmenu.Event", "1", "clicked", "<0>", "0"});
        ASSERT_TRUE(WaitUntil([&] { return form.isVisible() != shown; })) << caption;
        // In front once the window system has shown it.
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form) || !form.isVisible());
    }

    // The panel goes: the hidden window comes back, as nothing else could
    // bring it back; the item leaves the bus.
    host.kill();
    host.waitForFinished();
    ASSERT_TRUE(WaitUntil([&] { return form.isVisible() && !tray.IsVisible(); }));
    EXPECT_FALSE(tray.Item()->IsRegistered());
}

} // namespace
