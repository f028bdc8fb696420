#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidget;
class TStatusNotifierItem;

// The program's icon in the desktop's notification area: its menu shows or
// hides the main window, adds a task and ends the program; a click on it
// brings the window up, or hides it when it is the active window. The icon
// goes to whichever host the desktop has: a StatusNotifierItem host through
// an item of our own, an XEmbed tray through Qt's icon; never to both.
class TTrayIcon : public QObject {
    Q_OBJECT

public:
    enum class THost { None, StatusNotifier, XEmbed };

    // `window` is the main window; `addTask` its add command. The icon stays
    // out of the notification area until Show.
    TTrayIcon(QWidget* window, QAction* addTask);
    ~TTrayIcon() override;

    // The window starts: from now on the icon is in the host's area.
    void Show();
    // The host the desktop offers now.
    void SetHost(THost host);
    THost Host() const { return host_; }
    // The icon is in a notification area.
    bool IsVisible() const;

    QMenu& Menu() const { return *menu_; }
    // Qt's icon, made for an XEmbed host; none before one appeared.
    QSystemTrayIcon* QtIcon() const { return qtIcon_.get(); }
    // The StatusNotifierItem, made for such a host; none before one appeared.
    TStatusNotifierItem* Item() const { return item_.get(); }

    // A click on the icon.
    void Clicked();
    // The notification area's own balloon; never blocks.
    void ShowBalloon(const QString& title, const QString& text, bool warning);

signals:
    // "Exit" was chosen.
    void ExitRequested();

private:
    void Apply();
    void ShowWindow();
    void UpdateShowHideText();

    QWidget* window_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> qtIcon_;
    std::unique_ptr<TStatusNotifierItem> item_;
    QAction* showHide_ = nullptr;
    THost host_ = THost::None;
    bool shown_ = false;
};
