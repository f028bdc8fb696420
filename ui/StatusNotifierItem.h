#pragma once

#include <QByteArray>
#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QIcon>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QString>

#include <memory>

class QDBusArgument;
class QMenu;
class TDBusMenu;

// One picture of an icon as StatusNotifierItem hosts take it: ARGB32 in
// network byte order.
struct TSniPixmap {
    int Width = 0;
    int Height = 0;
    QByteArray Argb;
};
using TSniPixmaps = QList<TSniPixmap>;

// The tool tip: icon name, pictures, title and text.
struct TSniToolTip {
    QString IconName;
    TSniPixmaps Pixmaps;
    QString Title;
    QString Text;
};

Q_DECLARE_METATYPE(TSniPixmap)
Q_DECLARE_METATYPE(TSniToolTip)

QDBusArgument& operator<<(QDBusArgument& argument, const TSniPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& argument, TSniPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& argument, const TSniToolTip& toolTip);
const QDBusArgument& operator>>(const QDBusArgument& argument, TSniToolTip& toolTip);

// The program's icon for a StatusNotifierItem host (the notification area
// of Plasma and of panels that follow it), served over Qt D-Bus by the
// program itself: Qt decides once per process whether to use such a host,
// and the host may start after the program.
class TStatusNotifierItem : public QObject {
    Q_OBJECT

public:
    // `menu` is the icon's menu, served to the host over D-Bus; it must
    // outlive the item.
    TStatusNotifierItem(const QString& id, const QString& title, const QIcon& icon, QMenu* menu);
    ~TStatusNotifierItem() override;

    // Puts the item on the session bus and asks the host's watcher
    // (org.kde.StatusNotifierWatcher) to show it; again after the watcher
    // came back. Returns at once.
    void Register();
    // Takes the item off the bus: the host drops its icon.
    void Unregister();
    bool IsRegistered() const { return registered_; }
    // The item's name on the bus while registered.
    const QString& ServiceName() const { return serviceName_; }

    QString Id() const { return id_; }
    QString Title() const { return title_; }
    TSniPixmaps Pixmaps() const { return pixmaps_; }

signals:
    // A click on the icon.
    void Activated();
    // The host asks for the icon's menu at that place of the screen.
    void MenuRequested(const QPoint& where);

private:
    QString id_;
    QString title_;
    TSniPixmaps pixmaps_;
    QString serviceName_;
    std::unique_ptr<TDBusMenu> menu_;
    bool registered_ = false;
};

// The org.kde.StatusNotifierItem interface of the item's object.
class TStatusNotifierItemAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ Category)
    Q_PROPERTY(QString Id READ Id)
    Q_PROPERTY(QString Title READ Title)
    Q_PROPERTY(QString Status READ Status)
    Q_PROPERTY(int WindowId READ WindowId)
    Q_PROPERTY(QString IconName READ IconName)
    Q_PROPERTY(TSniPixmaps IconPixmap READ IconPixmap)
    Q_PROPERTY(QString OverlayIconName READ Empty)
    Q_PROPERTY(TSniPixmaps OverlayIconPixmap READ NoPixmaps)
    Q_PROPERTY(QString AttentionIconName READ Empty)
    Q_PROPERTY(TSniPixmaps AttentionIconPixmap READ NoPixmaps)
    Q_PROPERTY(TSniToolTip ToolTip READ ToolTip)
    Q_PROPERTY(bool ItemIsMenu READ ItemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ Menu)

public:
    explicit TStatusNotifierItemAdaptor(TStatusNotifierItem* item);

    QString Category() const { return QStringLiteral("ApplicationStatus"); }
    QString Id() const { return item_->Id(); }
    QString Title() const { return item_->Title(); }
    QString Status() const { return QStringLiteral("Active"); }
    int WindowId() const { return 0; }
    QString IconName() const { return QStringLiteral("qmtaskscheduler2"); }
    TSniPixmaps IconPixmap() const { return item_->Pixmaps(); }
    QString Empty() const { return {}; }
    TSniPixmaps NoPixmaps() const { return {}; }
    TSniToolTip ToolTip() const;
    bool ItemIsMenu() const { return false; }
    QDBusObjectPath Menu() const;

public slots:
    void Activate(int x, int y);
    void SecondaryActivate(int x, int y);
    void ContextMenu(int x, int y);
    void Scroll(int delta, const QString& orientation);

signals:
    void NewTitle();
    void NewIcon();
    void NewToolTip();
    void NewStatus(const QString& status);

private:
    TStatusNotifierItem* item_;
};
