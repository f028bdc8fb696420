// Saves screenshots of the main window with a few tasks, of the task editor
// and of the log view, for reviewing the look:
//   ui_screenshots [output folder] [--dark]
// --dark draws them with Fusion in a dark palette. Runs on Qt's offscreen
// platform unless the environment names another (QT_SCALE_FACTOR=2 under
// Xvfb shows them at 200 %).

#include "lib/DateTimeUtil.h"
#include "lib/SupportLibrary.h"
#include "scheduler/classQMTask.h"
#include "scheduler/classQMTaskScheduler.h"
#include "settings/classQMLogFile.h"
#include "settings/classQMSettings.h"
#include "settings/classQMTaskSchedulerSettings.h"
#include "ui/Desktop.h"
#include "ui/FLogView.h"
#include "ui/FMain.h"
#include "ui/FTaskEdit.h"
#include "ui/TrayIcon.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QPalette>
#include <QPixmap>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTreeView>

#include <cstdio>
#include <cstring>

namespace {

TDateTime At(int year, int month, int day, int hour, int minute) {
    return dt::EncodeDateTime({year, month, day, hour, minute, 0, 0});
}

TQMTask* AddTask(TFormMain& form, const char* name, const char* file, TDateTime start) {
    TQMTask* task = form.TaskList().AddNewTask();
    task->TaskName = name;
    task->TaskFileName = file;
    task->DateTime = start;
    return task;
}

bool Save(QWidget& widget, const QString& path) {
    QApplication::processEvents();
    if (!widget.grab().save(path)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// A dark palette of the kind desktops give Qt programs.
QPalette DarkPalette() {
    const QColor window(53, 53, 53), base(35, 35, 35), text(230, 230, 230);
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Link, QColor(100, 160, 230));
    p.setColor(QPalette::Highlight, QColor(42, 130, 218));
    p.setColor(QPalette::HighlightedText, Qt::black);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(127, 127, 127));
    return p;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const bool dark = argc > 2 && std::strcmp(argv[2], "--dark") == 0;
    const QString folder =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");

    // English month names and a fixed moment, so that screenshots compare.
    dt::SetRegional(platform::RegionalSettings{});
    dt::SetClock([] { return At(2026, 12, 7, 9, 41); });
    TLogFileModule logFileModule;
    TSupportLibrary supportLibrary;
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    if (dark) {
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setPalette(DarkPalette());
    }
    QTemporaryDir settingsFolder;
    if (!settingsFolder.isValid() || !QDir().mkpath(folder))
        return 1;

    // With a notification area, so that its menu can be drawn.
    TFormMain form(nullptr, TDesktop::TArea::Assumed);
    const std::string settingsPath = settingsFolder.path().toStdString() + "/";
    form.Store().Settings().ProgramFolder = settingsPath;
    form.Store().Settings().UserFolder = settingsPath;
    form.show();

    TQMTask* backup = AddTask(form, "Backup", "/usr/local/bin/backup-home", At(2026, 11, 1, 22, 0));
    backup->Daily = true;
    backup->TaskParameters = "--quiet";
    backup->DateTimeLastExecuted = At(2026, 12, 6, 22, 0);
    TQMTask* mail = AddTask(form, "Mail_archive", "/usr/bin/archivemail", At(2026, 11, 1, 8, 30));
    mail->Weekly = true;
    mail->Monday = mail->Wednesday = mail->Friday = true;
    mail->DateTimeLastExecuted = At(2026, 12, 4, 8, 30);
    TQMTask* report = AddTask(form, "Year_report", "/home/me/report.ods", At(2026, 12, 24, 7, 15));
    report->OneShot = true;
    TQMTask* cleanup = AddTask(form, "Cleanup", "/usr/bin/tmpreaper", At(2026, 11, 1, 18, 0));
    cleanup->Weekly = true;
    cleanup->Sunday = true;
    cleanup->Active = false;
    form.FillListView();
    form.SortBy(TFormMain::ColName);
    auto* list = form.findChild<QTreeView*>(QStringLiteral("ListViewMain"));
    // The keyboard on a row that is not selected, as after a command.
    list->setCurrentIndex(list->model()->index(1, 0));
    list->selectionModel()->clearSelection();
    form.activateWindow();
    list->setFocus();
    form.Timer1Timer();

    bool ok = Save(form, folder + "/main-window.png");

    // The log view with a few runs in its file.
    TQMLogFile log;
    log.FileName = settingsPath + "qmtaskscheduler2.log";
    log.AddLine("task (Mail_archive): executed (/usr/bin/archivemail)");
    log.AddLine("task (Backup): executed (/usr/local/bin/backup-home)");
    log.AddLine("task (Year_report): no associated program (/home/me/report.ods)");
    TFormLogView* logView = TFormLogView::ShowFor(&form, QString::fromStdString(log.FileName));
    logView->resize(logView->width(), logView->height() / 2);
    ok = Save(*logView, folder + "/log-view.png") && ok;
    logView->close();

    TFormTaskEdit modify(&form);
    modify.setWindowTitle(QStringLiteral("Modify task"));
    modify.Task().Assign(mail);
    modify.show();
    ok = Save(modify, folder + "/task-editor-modify.png") && ok;
    modify.close();

    TFormTaskEdit define(&form);
    define.setWindowTitle(QStringLiteral("Define new task"));
    define.show();
    ok = Save(define, folder + "/task-editor-new.png") && ok;
    define.close();

    // The tray icon's menu, as over a hidden window, and the preferences.
    form.hide();
    QMenu& trayMenu = form.Desktop().Tray().Menu();
    trayMenu.popup(QPoint(0, 0));
    ok = Save(trayMenu, folder + "/tray-menu.png") && ok;
    trayMenu.hide();
    form.show();
    if (auto* preferences = form.findChild<QMenu*>(QStringLiteral("Preferences1"))) {
        preferences->popup(QPoint(0, 0));
        ok = Save(*preferences, folder + "/preferences-menu.png") && ok;
        preferences->hide();
    }

    form.Store().AskWhenClose = false;
    return ok ? 0 : 1;
}
