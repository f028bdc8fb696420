// The main window as a resident of the desktop: the tray icon and its menu,
// keeping running with the window closed, start at login, starting hidden and
// the notifications of failed starts. The offscreen platform has no
// notification area, so the tests hand the window one (as the desktop's
// answer would); the tray icon, its menu and the window are the real ones.

#include "ui/Desktop.h"
#include "lib/SupportLibrary.h"
#include "scheduler/classQMTaskScheduler.h"
#include "settings/classQMLogFile.h"
#include "settings/classQMSettings.h"
#include "settings/classQMTaskSchedulerSettings.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/ModalHelper.h"
#include "ui/Autostart.h"
#include "ui/FMain.h"
#include "ui/FTaskEdit.h"
#include "ui/TrayIcon.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

using namespace testing_support;

namespace {

const char* const Guid = "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA1";

// Preferences and one daily task "Backup" at 09:00:30 that starts `file`.
std::string Settings(const std::string& preferences, const std::string& file) {
    std::string text = "[qmtaskscheduler]\r\n" + preferences + "\r\n[tasks\\" + Guid +
                       "]\r\ntaskname=Backup\r\nguid=" + Guid + "\r\ntaskfilename=" + file +
                       "\r\nactive=1\r\ndaily=1\r\ndatetime=20261101-090030000\r\n"
                       "datetime_lastexecuted=20261206-090030000\r\n";
    return text + "\r\n[system]\r\ninitype=qmtaskscheduler\r\n";
}

class DesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        QApplication::setQuitOnLastWindowClosed(false);
        runs_ = dir_.File("runs.txt");
        probe_ = dir_.File("probe.sh");
        WriteFile(probe_, "#!/bin/sh\necho run >> '" + runs_ + "'\n", 0755);
        savedConfigHome_ = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(configDir_.Path() + "config"));
    }

    void TearDown() override {
        if (form_) {
            form_->Store().AskWhenClose = false;
            form_.reset();
        }
        qputenv("XDG_CONFIG_HOME", savedConfigHome_);
        EXPECT_TRUE(modal_.Unexpected().isEmpty()) << modal_.Unexpected().join('\n').toStdString();
    }

    // A window on a desktop with or without a notification area, its
    // settings file written first; not shown yet.
    void Create(const std::string& settings, bool notificationArea) {
        WriteFile(IniPath(), settings);
        form_ = std::make_unique<TFormMain>(nullptr, notificationArea ? TDesktop::TArea::Assumed
                                                                      : TDesktop::TArea::Watched);
        form_->Store().Settings().ProgramFolder = dir_.Path();
        form_->Store().Settings().UserFolder = userDir_.Path();
        exits_ = std::make_unique<QSignalSpy>(form_.get(), &TFormMain::ExitAccepted);
    }

    void AnswerConfirm(bool yes) {
        modal_.When<QMessageBox>([yes](QMessageBox* box) {
            EXPECT_EQ(box->windowTitle(), "Confirm");
            for (QAbstractButton* button : box->buttons())
                if (button->text() == (yes ? "&Yes" : "&No"))
                    QTest::mouseClick(button, Qt::LeftButton);
        });
    }

    QAction* Item(const char* name) const { return Child<QAction>(form_.get(), name); }
    QAction* TrayItem(const char* name) const {
        return Child<QAction>(&form_->Desktop().Tray().Menu(), name);
    }

    // The tray menu's texts as the user sees them when it opens.
    QStringList TrayMenuTexts() const {
        QMenu& menu = form_->Desktop().Tray().Menu();
        menu.popup(QPoint(0, 0));
        QStringList texts;
        for (QAction* action : menu.actions())
            texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        menu.hide();
        return texts;
    }

    int Runs() const {
        return static_cast<int>(
            QString::fromStdString(ReadFile(runs_)).count(QStringLiteral("run")));
    }
    std::string IniPath() const { return dir_.File("qmtaskscheduler2.ini"); }
    // The settings file once the window's saves (on a thread of their own)
    // are written.
    std::string Ini() const {
        if (form_) {
            EXPECT_TRUE(WaitUntil([this] { return !form_->SavesPending(); }));
        }
        return ReadFile(IniPath());
    }
    std::string EntryText() const { return ReadFile(ui::AutostartEntryPath().toStdString()); }

    TLogFileModule logFileModule_;
    TSupportLibrary supportLibrary_;
    ScopedRegional regional_{EnglishUS()};
    TestClock clock_{MakeDateTime(2026, 12, 7, 9, 0, 0)};
    ModalHelper modal_;
    TempDir dir_;
    TempDir userDir_;
    TempDir configDir_;
    QByteArray savedConfigHome_;
    std::string runs_;
    std::string probe_;
    std::unique_ptr<TFormMain> form_;
    std::unique_ptr<QSignalSpy> exits_;
};

TEST_F(DesktopTest, KeepRunningHidesTheWindowToTheTrayWhereTasksGoOnUntilExit) {
    Create(Settings("askwhenclose=1\r\naskwhenexecutetaskmanually=1\r\nkeeprunning=1\r\n", probe_),
           true);
    form_->StartWindow(false);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    EXPECT_TRUE(form_->Desktop().Tray().IsVisible());
    EXPECT_EQ(form_->Desktop().Tray().QtIcon()->toolTip(), "Quillmar Task Scheduler");
    EXPECT_FALSE(form_->Desktop().Tray().QtIcon()->icon().isNull());
    EXPECT_EQ(TrayMenuTexts(), QStringList({"Hide window", "Add task...", "-", "Exit"}));
    EXPECT_TRUE(Item("MenuKeepRunning")->isEnabled());
    EXPECT_TRUE(Item("MenuKeepRunning")->isChecked());

    // Closing asks nothing and only hides, once saying where it went; the
    // poll goes on.
    form_->showMaximized();
    ASSERT_TRUE(WaitUntil([&] { return form_->isMaximized(); }));
    QSignalSpy notified(&form_->Desktop(), &TDesktop::Notified);
    EXPECT_FALSE(form_->close());
    EXPECT_FALSE(form_->isVisible());
    EXPECT_EQ(exits_->count(), 0);
    ASSERT_EQ(notified.count(), 1);
    EXPECT_TRUE(notified.at(0).at(1).toString().startsWith("Still running"));
    clock_.Set(MakeDateTime(2026, 12, 7, 9, 0, 31));
    EXPECT_TRUE(WaitUntil([&] { return Runs() == 1; }));
    EXPECT_TRUE(WaitUntil([&] {
        return Ini().find("datetime_lastexecuted=20261207-090031000") != std::string::npos;
    }));

    EXPECT_EQ(TrayMenuTexts(), QStringList({"Show window", "Add task...", "-", "Exit"}));
    TrayItem("TrayShowHide")->trigger();
    EXPECT_TRUE(form_->isVisible());
    EXPECT_TRUE(form_->isMaximized()) << "shown as it was";
    // In front once the window system has shown it.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    TrayItem("TrayShowHide")->trigger();
    EXPECT_FALSE(form_->isVisible());
    EXPECT_EQ(notified.count(), 1);

    // "Add task..." brings the window up with the editor over it.
    bool shownUnderEditor = false;
    modal_.When<TFormTaskEdit>([&](TFormTaskEdit* editor) {
        shownUnderEditor = form_->isVisible();
        editor->reject();
    });
    TrayItem("TrayAddTask")->trigger();
    ASSERT_TRUE(modal_.Done());
    EXPECT_TRUE(shownUnderEditor);

    // "Exit" ends the program, also from the hidden window, after the close
    // question.
    TrayItem("TrayShowHide")->trigger();
    ASSERT_FALSE(form_->isVisible());
    AnswerConfirm(false);
    TrayItem("TrayExit")->trigger();
    ASSERT_TRUE(modal_.Done());
    EXPECT_EQ(exits_->count(), 0);
    AnswerConfirm(true);
    TrayItem("TrayExit")->trigger();
    ASSERT_TRUE(modal_.Done());
    EXPECT_EQ(exits_->count(), 1);

    // Turned off, closing ends the program again; the file keeps the choice.
    Create(Settings("askwhenclose=0\r\nkeeprunning=1\r\n", probe_), true);
    form_->StartWindow(false);
    Item("MenuKeepRunning")->trigger();
    EXPECT_NE(Ini().find("keeprunning=0"), std::string::npos);
    EXPECT_TRUE(form_->close());
    EXPECT_EQ(exits_->count(), 1);
    EXPECT_FALSE(form_->isVisible());
}

TEST_F(DesktopTest, WithoutANotificationAreaKeepRunningMinimisesAndMinimizedMeansMinimised) {
    Create(Settings("askwhenclose=0\r\nkeeprunning=1\r\n", probe_), false);
    form_->StartWindow(true);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()) || form_->isVisible());
    EXPECT_TRUE(form_->isMinimized());
    EXPECT_FALSE(form_->Desktop().Tray().IsVisible());
    EXPECT_EQ(Child<QTreeView>(form_.get(), "ListViewMain")->model()->rowCount(), 1);

    // Closing keeps the program on the taskbar, never without a window.
    form_->showNormal();
    EXPECT_TRUE(Item("MenuKeepRunning")->isEnabled());
    EXPECT_FALSE(form_->close());
    EXPECT_TRUE(form_->isVisible());
    EXPECT_TRUE(form_->isMinimized());
    EXPECT_EQ(exits_->count(), 0);
    Item("MenuKeepRunning")->trigger();
    EXPECT_TRUE(form_->close());
    EXPECT_EQ(exits_->count(), 1);
}

TEST_F(DesktopTest, StartsHiddenInTheTrayAndNotifiesFailedStartsWithoutABox) {
    const std::string missing = dir_.File("gone.sh");
    Create(Settings("askwhenclose=1\r\n", missing), true);
    // A window that is not started yet has no icon in the notification area.
    EXPECT_FALSE(form_->Desktop().Tray().IsVisible());
    form_->StartWindow(true);
    EXPECT_FALSE(form_->isVisible());
    EXPECT_TRUE(form_->Desktop().Tray().IsVisible());
    // Loaded as at a first show, so the tasks run.
    EXPECT_EQ(form_->TaskList().Count(), 1);
    QSignalSpy notified(&form_->Desktop(), &TDesktop::Notified);

    clock_.Set(MakeDateTime(2026, 12, 7, 9, 0, 31));
    ASSERT_TRUE(WaitUntil([&] { return notified.count() == 1; }));
    const QString text = notified.at(0).at(1).toString();
    EXPECT_TRUE(text.contains("Backup")) << text.toStdString();
    EXPECT_TRUE(text.contains("file not found")) << text.toStdString();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    // The next poll of the start window fails again: logged, not told twice.
    ASSERT_TRUE(WaitUntil([&] {
        return QString::fromStdString(ReadFile(dir_.File("qmtaskscheduler2.log")))
                   .count("file not found") >= 2;
    }));
    EXPECT_EQ(notified.count(), 1);

    // A script whose interpreter is missing: the notification and the log name it.
    const std::string script = dir_.File("report.sh");
    WriteFile(script, "#!/nonexistent/interp\n", 0755);
    form_->Store().AskWhenClose = false;
    form_.reset(); // the next window's store takes the log over
    clock_.Set(MakeDateTime(2026, 12, 7, 9, 0, 0));
    Create(Settings("askwhenclose=0\r\n", script), true);
    form_->StartWindow(true);
    QSignalSpy told(&form_->Desktop(), &TDesktop::Notified);
    clock_.Set(MakeDateTime(2026, 12, 7, 9, 0, 31));
    ASSERT_TRUE(WaitUntil([&] { return told.count() == 1; }));
    // The notification gives the system's words for the number; the log
    // keeps the number alone.
    EXPECT_TRUE(told.at(0).at(1).toString().contains(
        "LastError = 2 (No such file or directory); interpreter not found: /nonexistent/interp"))
        << told.at(0).at(1).toString().toStdString();
    EXPECT_NE(ReadFile(dir_.File("qmtaskscheduler2.log"))
                  .find("LastError = 2; interpreter not found: /nonexistent/interp"),
              std::string::npos);
}

TEST_F(DesktopTest, StartAtLoginWritesAndRemovesTheAutostartEntry) {
    const QString program = QCoreApplication::applicationFilePath();
    Create(Settings("askwhenclose=0\r\n", probe_), true);
    form_->StartWindow(false);
    EXPECT_FALSE(Item("MenuStartAtLogin")->isChecked());

    Item("MenuStartAtLogin")->trigger();
    EXPECT_EQ(ui::AutostartEntryPath().toStdString(),
              configDir_.Path() + "config/autostart/qmtaskscheduler2.desktop");
    const std::string entry = EntryText();
    EXPECT_NE(entry.find("[Desktop Entry]\n"), std::string::npos);
    EXPECT_NE(entry.find("\nExec=" + program.toStdString() + " --minimized\n"), std::string::npos)
        << entry;
    EXPECT_NE(entry.find("\nTryExec=" + program.toStdString() + "\n"), std::string::npos) << entry;
    EXPECT_NE(Ini().find("startatlogin=1"), std::string::npos);

    // A new start finds the entry; one that starts another program does not count.
    Create(Ini(), true);
    form_->StartWindow(false);
    EXPECT_TRUE(Item("MenuStartAtLogin")->isChecked());
    Item("MenuStartAtLogin")->trigger();
    EXPECT_FALSE(std::filesystem::exists(ui::AutostartEntryPath().toStdString()));
    EXPECT_NE(Ini().find("startatlogin=0"), std::string::npos);

    ASSERT_TRUE(ui::WriteAutostartEntry(QStringLiteral("/opt/other copy/QMTaskScheduler2")));
    Create(Ini(), true);
    form_->StartWindow(false);
    EXPECT_FALSE(Item("MenuStartAtLogin")->isChecked());

    // A folder that cannot be made: the check stays off, status panel 3 says why.
    std::filesystem::remove_all(configDir_.Path() + "config");
    WriteFile(configDir_.Path() + "config", "");
    Item("MenuStartAtLogin")->trigger();
    EXPECT_FALSE(Item("MenuStartAtLogin")->isChecked());
    EXPECT_TRUE(Child<QLabel>(form_.get(), "StatusPanel3")
                    ->text()
                    .startsWith("Start at login could not be set: "));
}

// The desktop's notification service, played by python3-dbusmock's
// notification daemon on the test's private session bus; its log holds
// every call it got.
class NotificationService {
public:
    explicit NotificationService(const std::string& log) : log_(log) {
        process_.start(QStringLiteral("/usr/bin/python3"),
                       {"-m", "dbusmock", "--session", "-t", "notification_daemon", "-l",
                        QString::fromStdString(log)});
    }
    ~NotificationService() { Stop(); }
    bool WaitForBus() {
        QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
        return bus != nullptr && WaitUntil([bus] { return Registered(bus); }, 30000);
    }
    void Stop() {
        process_.kill();
        process_.waitForFinished();
        if (QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface())
            WaitUntil([bus] { return !Registered(bus); });
    }
    std::string Calls() const { return ReadFile(log_); }
    // The user chooses an action of notification `id`.
    void Invoke(uint id, const QString& action) {
        QDBusMessage signal = QDBusMessage::createMethodCall(
            "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
            "org.freedesktop.DBus.Mock", "EmitSignal");
        signal << "org.freedesktop.Notifications"
               << "ActionInvoked"
               << "us"
               << QVariantList{QVariant::fromValue(QDBusVariant(id)),
                               QVariant::fromValue(QDBusVariant(action))};
        QDBusConnection::sessionBus().call(signal);
    }

private:
    static bool Registered(QDBusConnectionInterface* bus) {
        return bus->isServiceRegistered(QStringLiteral("org.freedesktop.Notifications")).value();
    }
    std::string log_;
    QProcess process_;
};

TEST_F(DesktopTest, NotificationsGoToTheServiceWithAShowActionAndFallBackWhenItFails) {
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "tests run on a private bus";
    NotificationService service(dir_.File("service.log"));
    ASSERT_TRUE(service.WaitForBus());

    // No notification area: the failed start of a minimised window still
    // reaches the service, with the program's name and icon and "Show".
    const std::string missing = dir_.File("gone.sh");
    Create(Settings("askwhenclose=0\r\n", missing), false);
    form_->StartWindow(true);
    ASSERT_TRUE(form_->isMinimized());
    QSignalSpy fellBack(&form_->Desktop(), &TDesktop::NotificationFellBack);
    clock_.Set(MakeDateTime(2026, 12, 7, 9, 0, 31));
    ASSERT_TRUE(WaitUntil([&] { return service.Calls().find("Notify ") != std::string::npos; }));
    const std::string call = service.Calls();
    for (const char* part : {"\"Quillmar Task Scheduler\"", "\"qmtaskscheduler2\"",
                             "\"A task could not start\"", "Backup", "\"show\", \"Show\""})
        EXPECT_NE(call.find(part), std::string::npos) << part << " in " << call;

    // "Show" brings the window to the front; an action of a notification
    // that is not ours does nothing.
    service.Invoke(7, "show");
    service.Invoke(1, "show");
    ASSERT_TRUE(WaitUntil([&] { return !form_->isMinimized() && form_->isVisible(); }));

    // Without the service the tray's balloon tells it; without an icon as
    // well, standard error alone.
    service.Stop();
    form_->Desktop().Notify("Title", "Without a service");
    ASSERT_TRUE(WaitUntil([&] { return fellBack.count() == 1; }));
    EXPECT_EQ(fellBack.at(0).at(1).toString(), "none");
    Create(Settings("askwhenclose=0\r\n", probe_), true);
    form_->StartWindow(true);
    QSignalSpy balloon(&form_->Desktop(), &TDesktop::NotificationFellBack);
    form_->Desktop().Notify("Title", "Without a service");
    ASSERT_TRUE(WaitUntil([&] { return balloon.count() == 1; }));
    EXPECT_EQ(balloon.at(0).at(1).toString(), "balloon");
}

TEST(Autostart, ExecQuotesAndEscapesAPathThatNeedsItAndFindsItBack) {
    TempDir config;
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.Path()));
    const QString odd = QStringLiteral("/opt/my apps/$x%y\"z\\w");
    EXPECT_EQ(ui::AutostartExecValue(odd),
              QStringLiteral(R"("/opt/my apps/\\$x%%y\\"z\\\\w" --minimized)"));
    EXPECT_EQ(ui::AutostartExecValue("/usr/bin/plain"), "/usr/bin/plain --minimized");
    ASSERT_TRUE(ui::WriteAutostartEntry(odd));
    EXPECT_TRUE(ui::AutostartEntryStartsProgram(odd));
    EXPECT_FALSE(ui::AutostartEntryStartsProgram(QStringLiteral("/opt/my")));
    // An entry the user switched off in the desktop's settings is not one.
    WriteFile(ui::AutostartEntryPath().toStdString(),
              "[Desktop Entry]\nExec=/usr/bin/plain\nHidden=true\n");
    EXPECT_FALSE(ui::AutostartEntryStartsProgram(QStringLiteral("/usr/bin/plain")));
    ASSERT_TRUE(ui::RemoveAutostartEntry());
    ASSERT_TRUE(ui::RemoveAutostartEntry());
    // A path Qt could not decode is refused, not written as Exec="".
    for (const QString& undecoded :
         {QString(), QStringLiteral("/opt/caf\uFFFD/QMTaskScheduler2")}) {
        const ui::TAutostartResult written = ui::WriteAutostartEntry(undecoded);
        EXPECT_FALSE(written);
        EXPECT_TRUE(written.Error.contains("not UTF-8")) << written.Error.toStdString();
        EXPECT_FALSE(std::filesystem::exists(ui::AutostartEntryPath().toStdString()));
    }
    qputenv("XDG_CONFIG_HOME", saved);
}

} // namespace
