#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidget;

// The program's icon in the desktop's notification area: its menu shows or
// hides the main window, adds a task and ends the program; a click on it
// shows or hides the window; failed starts become desktop notifications.
class TTrayIcon : public QObject {
    Q_OBJECT

public:
    // Whether the desktop offers a notification area now.
    static bool Available();

    // `window` is the main window; `addTask` its add command. The icon stays
    // out of the notification area until Show.
    TTrayIcon(QWidget* window, QAction* addTask);
    ~TTrayIcon() override;

    void Show();

    QSystemTrayIcon& Icon() const { return *icon_; }
    QMenu& Menu() const { return *menu_; }

    // Shows the window when it is hidden or minimised, else hides it.
    void ShowOrHideWindow();
    // The notification area's own balloon; never blocks.
    void ShowBalloon(const QString& title, const QString& text);

signals:
    // "Exit" was chosen.
    void ExitRequested();

private:
    void ShowWindow();
    void UpdateShowHideText();

    QWidget* window_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> icon_;
    QAction* showHide_ = nullptr;
};
