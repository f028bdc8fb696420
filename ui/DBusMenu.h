#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusVariant>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

class QAction;
class QMenu;

// One item of an exported menu with the properties asked for.
struct TDBusMenuItem {
    int Id = 0;
    QVariantMap Properties;
};
using TDBusMenuItems = QList<TDBusMenuItem>;

// A subtree of the menu: an item and its children, each in a variant.
struct TDBusMenuLayout {
    int Id = 0;
    QVariantMap Properties;
    QList<QDBusVariant> Children;
};

// An event of EventGroup: item, event ("clicked", ...), data, time.
struct TDBusMenuEvent {
    int Id = 0;
    QString EventId;
    QDBusVariant Data;
    uint Timestamp = 0;
};
using TDBusMenuEvents = QList<TDBusMenuEvent>;

Q_DECLARE_METATYPE(TDBusMenuItem)
Q_DECLARE_METATYPE(TDBusMenuLayout)
Q_DECLARE_METATYPE(TDBusMenuEvent)

// The menu of the icon as a StatusNotifierItem host reads it over D-Bus
// (com.canonical.dbusmenu), so that the host shows it in its own panel:
// the items, their captions, check marks and states are read from the
// QMenu at each request, and a click triggers the QMenu's action.
class TDBusMenu : public QObject {
    Q_OBJECT

public:
    // Serves `menu`, which must outlive it, at ObjectPath once registered.
    explicit TDBusMenu(QMenu* menu);

    static constexpr const char* ObjectPath = "/MenuBar";

    // The menu's items: identifier 0 is the menu, 1... its actions in order.
    TDBusMenuLayout Layout(int parentId, int depth, const QStringList& names) const;
    QVariantMap PropertiesOf(int id, const QStringList& names) const;
    // Runs what the host asks for an item, from the event loop (a command
    // may open a modal editor); false when there is no such item.
    bool Event(int id, const QString& eventId);
    // The host is about to show the menu: its captions are brought up to
    // date. True when the layout changed since the host last read it.
    bool AboutToShow();
    uint Revision() const { return revision_; }

signals:
    void LayoutChanged(uint revision);

private:
    QAction* ActionOf(int id) const;
    // Counts a new revision when the items' captions or states changed.
    bool Refresh();

    QMenu* menu_;
    uint revision_ = 1;
    QString shown_; // the captions and states of the last revision
};

// The com.canonical.dbusmenu interface of the menu's object.
class TDBusMenuAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ Version)
    Q_PROPERTY(QString TextDirection READ TextDirection)
    Q_PROPERTY(QString Status READ Status)
    Q_PROPERTY(QStringList IconThemePath READ IconThemePath)

public:
    explicit TDBusMenuAdaptor(TDBusMenu* menu);

    uint Version() const { return 3; }
    QString TextDirection() const { return QStringLiteral("ltr"); }
    QString Status() const { return QStringLiteral("normal"); }
    QStringList IconThemePath() const { return {}; }

public slots:
    uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                   TDBusMenuLayout& layout);
    TDBusMenuItems GetGroupProperties(const QList<int>& ids, const QStringList& propertyNames);
    QDBusVariant GetProperty(int id, const QString& name);
    void Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp);
    QList<int> EventGroup(const TDBusMenuEvents& events);
    bool AboutToShow(int id);
    QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

signals:
    // The captions or states changed: hosts read the layout again.
    void LayoutUpdated(uint revision, int parent);

private:
    TDBusMenu* menu_;
};
