#include "ui/TrayIcon.h"

#include "ui/SingleInstance.h"
#include "ui/StatusNotifierItem.h"
#include "ui/WindowSight.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QWidget>

namespace {

QIcon Picture(const QWidget* window) {
    QIcon picture = QApplication::windowIcon();
    if (picture.isNull())
        picture = window->style()->standardIcon(QStyle::SP_ComputerIcon);
    return picture;
}

} // namespace

TTrayIcon::TTrayIcon(QWidget* window, QAction* addTask)
    : window_(window), menu_(std::make_unique<QMenu>()) {
    menu_->setObjectName(QStringLiteral("TrayMenu"));
    showHide_ = menu_->addAction(QStringLiteral("Hide window"));
    showHide_->setObjectName(QStringLiteral("TrayShowHide"));
    connect(showHide_, &QAction::triggered, this, [this] {
        if (ui::IsInSight(window_))
            window_->hide();
        else
            ShowWindow();
    });
    QAction* add = menu_->addAction(QStringLiteral("Add task..."));
    add->setObjectName(QStringLiteral("TrayAddTask"));
    // The editor belongs to the window, so the window comes up first.
    connect(add, &QAction::triggered, this, [this, addTask] {
        ShowWindow();
        addTask->trigger();
    });
    menu_->addSeparator();
    QAction* exit = menu_->addAction(QStringLiteral("Exit"));
    exit->setObjectName(QStringLiteral("TrayExit"));
    connect(exit, &QAction::triggered, this, &TTrayIcon::ExitRequested);
    connect(menu_.get(), &QMenu::aboutToShow, this, [this] { UpdateShowHideText(); });
}

TTrayIcon::~TTrayIcon() {
    // The icon leaves the notification area before its menu goes.
    qtIcon_.reset();
    item_.reset();
}

void TTrayIcon::Show() {
    shown_ = true;
    Apply();
}

void TTrayIcon::SetHost(THost host) {
    host_ = host;
    Apply();
}

bool TTrayIcon::IsVisible() const {
    return shown_ && host_ != THost::None;
}

void TTrayIcon::Apply() {
    const bool sni = shown_ && host_ == THost::StatusNotifier;
    const bool xembed = shown_ && host_ == THost::XEmbed;
    // Qt's icon is made only while no StatusNotifierItem host is about: Qt
    // picks its back end for the whole process when the first icon is made,
    // and ours must be the X11 one.
    if (xembed && !qtIcon_) {
        qtIcon_ = std::make_unique<QSystemTrayIcon>(Picture(window_));
        qtIcon_->setObjectName(QStringLiteral("TrayIcon"));
        qtIcon_->setToolTip(window_->windowTitle());
        qtIcon_->setContextMenu(menu_.get());
        connect(qtIcon_.get(), &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::Trigger)
                        Clicked();
                });
    }
    if (qtIcon_)
        qtIcon_->setVisible(xembed);
    if (sni && !item_) {
        item_ = std::make_unique<TStatusNotifierItem>(QStringLiteral("qmtaskscheduler2"),
                                                      window_->windowTitle(), Picture(window_),
                                                      menu_.get());
        connect(item_.get(), &TStatusNotifierItem::Activated, this, &TTrayIcon::Clicked);
        connect(item_.get(), &TStatusNotifierItem::MenuRequested, this,
                [this](const QPoint& where) { menu_->popup(where); });
    }
    if (item_ && sni)
        item_->Register();
    else if (item_)
        item_->Unregister();
}

void TTrayIcon::Clicked() {
    // A window that is open but covered comes to the front; only the window
    // in front goes away.
    if (window_->isVisible() && !window_->isMinimized() && window_->isActiveWindow())
        window_->hide();
    else
        ShowWindow();
}

void TTrayIcon::ShowWindow() {
    ui::BringToFront(window_);
}

void TTrayIcon::UpdateShowHideText() {
    const bool shown = ui::IsInSight(window_);
    showHide_->setText(shown ? QStringLiteral("Hide window") : QStringLiteral("Show window"));
}

void TTrayIcon::ShowBalloon(const QString& title, const QString& text, bool warning) {
    if (qtIcon_ && qtIcon_->isVisible())
        qtIcon_->showMessage(title, text,
                             warning ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information);
}
