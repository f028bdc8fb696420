#include "ui/Desktop.h"

#include "scheduler/classQMTask.h"
#include "settings/classQMTaskSchedulerSettings.h"
#include "ui/Autostart.h"
#include "ui/ByteText.h"
#include "ui/NotificationAreaWatch.h"
#include "ui/Notifications.h"
#include "ui/ReasonText.h"
#include "ui/SingleInstance.h"
#include "ui/TrayIcon.h"
#include "ui/WindowSight.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

#include <cstdio>

namespace {

// A window started minimised at login goes to a notification area that
// comes this soon; a later one leaves it where the user may have put it.
constexpr qint64 LateAreaMs = 2 * 60 * 1000;

} // namespace

TDesktop::TDesktop(QWidget* window, QAction* addTask, TQMTaskSchedulerSettings& store, TArea area)
    : window_(window), store_(store),
      notifications_(std::make_unique<TNotifications>(window->windowTitle(),
                                                      QStringLiteral("qmtaskscheduler2"))) {
    setObjectName(QStringLiteral("Desktop"));
    connect(notifications_.get(), &TNotifications::ShowRequested, this,
            [this] { ui::BringToFront(window_); });
    tray_ = std::make_unique<TTrayIcon>(window, addTask);
    connect(tray_.get(), &TTrayIcon::ExitRequested, this, &TDesktop::ExitRequested);
    if (area == TArea::Assumed) {
        tray_->SetHost(TTrayIcon::THost::XEmbed);
        return;
    }
    watch_ = std::make_unique<TNotificationAreaWatch>();
    connect(watch_.get(), &TNotificationAreaWatch::Changed, this, &TDesktop::AreaChanged);
}

bool TDesktop::HasNotificationArea() const {
    return tray_->Host() != TTrayIcon::THost::None;
}

void TDesktop::AreaChanged() {
    // A host that shows XEmbed icons through a proxy also runs a watcher:
    // the StatusNotifierItem then is the one icon.
    const bool had = HasNotificationArea();
    tray_->SetHost(watch_->StatusNotifierHost() ? TTrayIcon::THost::StatusNotifier
                   : watch_->XEmbedTray()       ? TTrayIcon::THost::XEmbed
                                                : TTrayIcon::THost::None);
    const bool has = HasNotificationArea();
    if (had && !has && !window_->isVisible()) {
        // The panel went away: the hidden window must not be left unreachable.
        window_->showNormal();
    } else if (!had && has && startedMinimized_.isValid()) {
        if (startedMinimized_.elapsed() < LateAreaMs && window_->isMinimized())
            window_->hide();
        startedMinimized_.invalidate();
    }
}

void TDesktop::StartedMinimized() {
    startedMinimized_.start();
}

TDesktop::~TDesktop() {
    // The icon leaves the notification area before the window goes.
    tray_.reset();
}

void TDesktop::Notify(const QString& title, const QString& text, TKind kind) {
    notifications_->Send(title, text, [this, title, text, kind](const QString& error) {
        NotificationFailed(title, text, kind, error);
    });
    emit Notified(title, text);
}

void TDesktop::NotificationFailed(const QString& title, const QString& text, TKind kind,
                                  const QString& error) {
    // A missing name on the bus proves nothing (many services start on
    // their first call), so the balloon waits for the call's failure.
    if (tray_->QtIcon() != nullptr && tray_->QtIcon()->isVisible()) {
        tray_->ShowBalloon(title, text, kind == TKind::Warning);
        emit NotificationFellBack(title, QStringLiteral("balloon"));
        return;
    }
    std::fprintf(stderr, "QMTaskScheduler2: notification not shown (%s): %s: %s\n",
                 qPrintable(error), qPrintable(title), qPrintable(text));
    emit NotificationFellBack(title, QStringLiteral("none"));
}

bool TDesktop::NotifiesInsteadOfBoxes() const {
    return !ui::IsInSight(window_);
}

void TDesktop::AddPreferenceItems(QMenu* preferences) {
    keepRunning_ =
        preferences->addAction(QStringLiteral("&Keep running when the window is closed"));
    keepRunning_->setObjectName(QStringLiteral("MenuKeepRunning"));
    keepRunning_->setCheckable(true);
    connect(keepRunning_, &QAction::triggered, this, [this] { KeepRunningClicked(); });
    startAtLogin_ = preferences->addAction(QStringLiteral("&Start at login"));
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
    tray_->Show();
}

bool TDesktop::PutAwayOnClose() {
    if (!store_.KeepRunning)
        return false;
    if (!tray_->IsVisible()) {
        // On the taskbar or in the overview, the one way back without an icon.
        window_->showMinimized();
        return true;
    }
    window_->hide();
    if (!toldStillRunning_) {
        toldStillRunning_ = true;
        Notify(window_->windowTitle(),
               QStringLiteral("Still running in the notification area, so your tasks "
                              "keep running. \"Exit\" in its menu ends it."),
               TKind::Information);
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
    Notify(QStringLiteral("A task could not start"),
           QStringLiteral("Task \"") + ui::ToDisplayText(task.TaskName) + QStringLiteral("\": ") +
               ui::ReasonInWords(reason));
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
    // The failed start's notification told it already; its reason is the
    // error's message, with the start's detail after it.
    if (notifiedReason_.rfind(message, 0) != 0)
        Notify(window_->windowTitle(), ui::ReasonInWords(message));
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
    emit Problem(QString());
    emit PreferenceChanged();
}
