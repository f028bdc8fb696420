#include "ui/Desktop.h"

#include "scheduler/classQMTask.h"
#include "settings/classQMTaskSchedulerSettings.h"
#include "ui/Autostart.h"
#include "ui/ByteText.h"
#include "ui/TrayIcon.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QWidget>

bool TDesktop::NotificationAreaAvailable() {
    return TTrayIcon::Available();
}

TDesktop::TDesktop(QWidget* window, QAction* addTask, TQMTaskSchedulerSettings& store,
                   bool hasNotificationArea)
    : window_(window), store_(store) {
    setObjectName(QStringLiteral("Desktop"));
    if (hasNotificationArea) {
        tray_ = std::make_unique<TTrayIcon>(window, addTask);
        connect(tray_.get(), &TTrayIcon::ExitRequested, this, &TDesktop::ExitRequested);
    }
}

TDesktop::~TDesktop() {
    // The icon leaves the notification area before the window goes.
    tray_.reset();
}

void TDesktop::Notify(const QString& title, const QString& text) {
    if (tray_)
        tray_->ShowBalloon(title, text);
    emit Notified(title, text);
}

bool TDesktop::NotifiesInsteadOfBoxes() const {
    return tray_ != nullptr && (!window_->isVisible() || window_->isMinimized());
}

void TDesktop::AddPreferenceItems(QMenu* preferences) {
    keepRunning_ = preferences->addAction(QStringLiteral("Keep running when the window is closed"));
    keepRunning_->setObjectName(QStringLiteral("MenuKeepRunning"));
    keepRunning_->setCheckable(true);
    // Without a notification area a hidden window could not be brought back.
    keepRunning_->setEnabled(tray_ != nullptr);
    connect(keepRunning_, &QAction::triggered, this, [this] { KeepRunningClicked(); });
    startAtLogin_ = preferences->addAction(QStringLiteral("Start at login"));
    startAtLogin_->setObjectName(QStringLiteral("MenuStartAtLogin"));
    startAtLogin_->setCheckable(true);
    connect(startAtLogin_, &QAction::triggered, this, [this] { StartAtLoginClicked(); });
}

void TDesktop::PreferencesLoaded() {
    keepRunning_->setChecked(store_.KeepRunning);
    // The entry on disk is the truth: it may have been removed or written by
    // another copy of the program since the last save.
    store_.StartAtLogin = ui::AutostartEntryStartsProgram(QCoreApplication::applicationFilePath());
    startAtLogin_->setChecked(store_.StartAtLogin);
}

void TDesktop::WindowStarted() {
    // Only a window that is really starting takes a place in the notification area.
    if (tray_)
        tray_->Show();
}

bool TDesktop::PutAwayOnClose() {
    if (tray_ == nullptr || !store_.KeepRunning)
        return false;
    window_->hide();
    if (!toldStillRunning_) {
        toldStillRunning_ = true;
        Notify(window_->windowTitle(),
               QStringLiteral("Still running in the notification area, so your tasks "
                              "keep running. \"Exit\" in its menu ends it."));
    }
    return true;
}

void TDesktop::TaskFailed(const TQMTask& task, const std::string& reason) {
    if (!NotifiesInsteadOfBoxes())
        return;
    notifiedReason_ = reason;
    const TDateTime today = dt::DatePart(dt::Now());
    if (today != notifiedDay_) {
        notifiedToday_.clear();
        missedToday_.clear();
        notifiedDay_ = today;
    }
    if (!notifiedToday_.insert(task.Guid + '|' + reason).second)
        return;
    // Launcher messages break their lines with carriage returns.
    QString text = ui::ToDisplayText(reason);
    text.replace(u'\r', u' ');
    Notify(QStringLiteral("A task could not start"),
           QStringLiteral("Task \"") + ui::ToDisplayText(task.TaskName) + QStringLiteral("\": ") +
               text.simplified());
}

void TDesktop::StartsMissed(const std::vector<TQMTaskScheduler::TMissedReport>& missed) {
    if (!NotifiesInsteadOfBoxes())
        return;
    const TDateTime today = dt::DatePart(dt::Now());
    if (today != notifiedDay_) {
        notifiedToday_.clear();
        missedToday_.clear();
        notifiedDay_ = today;
    }
    std::vector<const TQMTaskScheduler::TMissedReport*> fresh;
    for (const TQMTaskScheduler::TMissedReport& report : missed)
        if (missedToday_.insert(report.Task->Guid + '|' + report.Task->TaskName).second)
            fresh.push_back(&report);
    if (fresh.empty())
        return;
    const QString cause = QString::fromLatin1(MissCauseText(fresh.front()->Missed.Cause));
    if (fresh.size() == 1) {
        const TQMTaskScheduler::TMissedReport& one = *fresh.front();
        Notify(QStringLiteral("A task missed its start"),
               QStringLiteral("Task \"") + ui::ToDisplayText(one.Task->TaskName) +
                   QStringLiteral("\" missed its start at ") +
                   ui::ToDisplayText(dt::FormatDateTime("yyyy-mmm-dd hh:nn", one.Missed.Start)) +
                   QStringLiteral(": ") + cause + QStringLiteral("."));
        return;
    }
    // After a long absence one notification sums up.
    QStringList names;
    for (std::size_t i = 0; i < fresh.size() && i < 5; ++i)
        names << QStringLiteral("\"") + ui::ToDisplayText(fresh[i]->Task->TaskName) +
                     QStringLiteral("\"");
    QString text = QString::number(fresh.size()) + QStringLiteral(" starts were missed (") + cause +
                   QStringLiteral("): ") + names.join(QStringLiteral(", "));
    if (fresh.size() > 5)
        text +=
            QStringLiteral(" and ") + QString::number(fresh.size() - 5) + QStringLiteral(" more");
    Notify(QStringLiteral("Starts were missed"), text + QStringLiteral("."));
}

bool TDesktop::TellPollError(const std::string& message) {
    // Nobody sees a box over a hidden window; a notification blocks nothing.
    if (!NotifiesInsteadOfBoxes())
        return false;
    if (message != notifiedReason_)
        Notify(window_->windowTitle(), ui::ToDisplayText(message));
    notifiedReason_.clear();
    return true;
}

void TDesktop::KeepRunningClicked() {
    // The toolkit has already inverted the item's check.
    store_.KeepRunning = keepRunning_->isChecked();
    emit PreferenceChanged();
}

void TDesktop::StartAtLoginClicked() {
    const QString program = QCoreApplication::applicationFilePath();
    const bool wanted = startAtLogin_->isChecked();
    const ui::TAutostartResult done =
        wanted ? ui::WriteAutostartEntry(program) : ui::RemoveAutostartEntry();
    if (!done) {
        // The check keeps showing what is on disk.
        startAtLogin_->setChecked(ui::AutostartEntryStartsProgram(program));
        emit Problem(QStringLiteral("Start at login could not be set: ") + done.Error);
        return;
    }
    store_.StartAtLogin = wanted;
    emit PreferenceChanged();
}
