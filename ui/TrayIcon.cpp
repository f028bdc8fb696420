#include "ui/TrayIcon.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QWidget>

bool TTrayIcon::Available() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

TTrayIcon::TTrayIcon(QWidget* window, QAction* addTask)
    : window_(window), menu_(std::make_unique<QMenu>()) {
    menu_->setObjectName(QStringLiteral("TrayMenu"));
    showHide_ = menu_->addAction(QStringLiteral("Hide window"));
    showHide_->setObjectName(QStringLiteral("TrayShowHide"));
    connect(showHide_, &QAction::triggered, this, [this] { ShowOrHideWindow(); });
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

    QIcon picture = QApplication::windowIcon();
    if (picture.isNull())
        picture = window->style()->standardIcon(QStyle::SP_ComputerIcon);
    icon_ = std::make_unique<QSystemTrayIcon>(picture);
    icon_->setObjectName(QStringLiteral("TrayIcon"));
    icon_->setToolTip(window->windowTitle());
    icon_->setContextMenu(menu_.get());
    connect(icon_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    ShowOrHideWindow();
            });
}

void TTrayIcon::Show() {
    UpdateShowHideText();
    icon_->show();
}

TTrayIcon::~TTrayIcon() {
    // The icon leaves the notification area before its menu goes.
    icon_.reset();
}

void TTrayIcon::ShowOrHideWindow() {
    if (window_->isVisible() && !window_->isMinimized())
        window_->hide();
    else
        ShowWindow();
    UpdateShowHideText();
}

void TTrayIcon::ShowWindow() {
    window_->showNormal();
    window_->raise();
    window_->activateWindow();
}

void TTrayIcon::UpdateShowHideText() {
    const bool shown = window_->isVisible() && !window_->isMinimized();
    showHide_->setText(shown ? QStringLiteral("Hide window") : QStringLiteral("Show window"));
}

void TTrayIcon::ShowBalloon(const QString& title, const QString& text) {
    icon_->showMessage(title, text, QSystemTrayIcon::Warning);
}
