#include "ui/DBusMenu.h"

#include <QAction>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QMenu>
#include <QTimer>

QDBusArgument& operator<<(QDBusArgument& argument, const TDBusMenuItem& item) {
    argument.beginStructure();
    argument << item.Id << item.Properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, TDBusMenuItem& item) {
    argument.beginStructure();
    argument >> item.Id >> item.Properties;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const TDBusMenuLayout& layout) {
    argument.beginStructure();
    argument << layout.Id << layout.Properties;
    argument.beginArray(QMetaType::fromType<QDBusVariant>());
    for (const QDBusVariant& child : layout.Children)
        argument << child;
    argument.endArray();
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, TDBusMenuLayout& layout) {
    argument.beginStructure();
    argument >> layout.Id >> layout.Properties;
    layout.Children.clear();
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        layout.Children.append(child);
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const TDBusMenuEvent& event) {
    argument.beginStructure();
    argument << event.Id << event.EventId << event.Data << event.Timestamp;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, TDBusMenuEvent& event) {
    argument.beginStructure();
    argument >> event.Id >> event.EventId >> event.Data >> event.Timestamp;
    argument.endStructure();
    return argument;
}

TDBusMenu::TDBusMenu(QMenu* menu) : menu_(menu) {
    qDBusRegisterMetaType<TDBusMenuItem>();
    qDBusRegisterMetaType<TDBusMenuItems>();
    qDBusRegisterMetaType<TDBusMenuLayout>();
    qDBusRegisterMetaType<TDBusMenuEvent>();
    qDBusRegisterMetaType<TDBusMenuEvents>();
    new TDBusMenuAdaptor(this); // owned by the menu object, as Qt's adaptors are
    Refresh();
}

QAction* TDBusMenu::ActionOf(int id) const {
    const QList<QAction*> actions = menu_->actions();
    return id >= 1 && id <= actions.size() ? actions.at(id - 1) : nullptr;
}

QVariantMap TDBusMenu::PropertiesOf(int id, const QStringList& names) const {
    QVariantMap all;
    if (id == 0) {
        all.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    } else if (const QAction* action = ActionOf(id)) {
        if (action->isSeparator()) {
            all.insert(QStringLiteral("type"), QStringLiteral("separator"));
        } else {
            // The host's access key is marked by '_', a '_' of the text by two.
            QString label = action->text();
            label.replace(QLatin1Char('_'), QStringLiteral("__"));
            label.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
            label.replace(QLatin1Char('&'), QLatin1Char('_'));
            label.replace(QLatin1Char('\x01'), QLatin1Char('&'));
            all.insert(QStringLiteral("label"), label);
        }
        all.insert(QStringLiteral("enabled"), action->isEnabled());
        all.insert(QStringLiteral("visible"), action->isVisible());
        if (action->isCheckable()) {
            all.insert(QStringLiteral("toggle-type"), QStringLiteral("checkmark"));
            all.insert(QStringLiteral("toggle-state"), action->isChecked() ? 1 : 0);
        }
    }
    if (names.isEmpty())
        return all;
    QVariantMap asked;
    for (const QString& name : names)
        if (all.contains(name))
            asked.insert(name, all.value(name));
    return asked;
}

TDBusMenuLayout TDBusMenu::Layout(int parentId, int depth, const QStringList& names) const {
    TDBusMenuLayout layout{parentId, PropertiesOf(parentId, names), {}};
    if (parentId != 0 || depth == 0)
        return layout;
    for (int id = 1; id <= menu_->actions().size(); ++id)
        layout.Children.append(
            QDBusVariant(QVariant::fromValue(TDBusMenuLayout{id, PropertiesOf(id, names), {}})));
    return layout;
}

bool TDBusMenu::Refresh() {
    QString shown;
    for (int id = 1; id <= menu_->actions().size(); ++id) {
        const QVariantMap properties = PropertiesOf(id, {});
        for (auto it = properties.begin(); it != properties.end(); ++it)
            shown += it.key() + u'=' + it.value().toString() + u';';
        shown += u'\n';
    }
    if (shown == shown_)
        return false;
    shown_ = shown;
    ++revision_;
    emit LayoutChanged(revision_);
    return true;
}

bool TDBusMenu::AboutToShow() {
    // What the menu does before it opens in a window of its own.
    emit menu_->aboutToShow();
    return Refresh();
}

bool TDBusMenu::Event(int id, const QString& eventId) {
    QAction* action = ActionOf(id);
    if (id != 0 && action == nullptr)
        return false;
    if (eventId == QStringLiteral("opened"))
        AboutToShow();
    if (eventId != QStringLiteral("clicked") || action == nullptr || action->isSeparator() ||
        !action->isEnabled())
        return true;
    // The host waits for no command: one may open a modal editor.
    QTimer::singleShot(0, action, [action] { action->trigger(); });
    return true;
}

TDBusMenuAdaptor::TDBusMenuAdaptor(TDBusMenu* menu) : QDBusAbstractAdaptor(menu), menu_(menu) {
    setAutoRelaySignals(false);
    connect(menu, &TDBusMenu::LayoutChanged, this,
            [this](uint revision) { emit LayoutUpdated(revision, 0); });
}

uint TDBusMenuAdaptor::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                                 TDBusMenuLayout& layout) {
    layout = menu_->Layout(parentId, recursionDepth, propertyNames);
    return menu_->Revision();
}

TDBusMenuItems TDBusMenuAdaptor::GetGroupProperties(const QList<int>& ids,
                                                    const QStringList& propertyNames) {
    TDBusMenuItems items;
    for (const int id : ids)
        items.append(TDBusMenuItem{id, menu_->PropertiesOf(id, propertyNames)});
    return items;
}

QDBusVariant TDBusMenuAdaptor::GetProperty(int id, const QString& name) {
    return QDBusVariant(menu_->PropertiesOf(id, {name}).value(name));
}

void TDBusMenuAdaptor::Event(int id, const QString& eventId, const QDBusVariant&, uint) {
    menu_->Event(id, eventId);
}

QList<int> TDBusMenuAdaptor::EventGroup(const TDBusMenuEvents& events) {
    QList<int> errors;
    for (const TDBusMenuEvent& event : events)
        if (!menu_->Event(event.Id, event.EventId))
            errors.append(event.Id);
    return errors;
}

bool TDBusMenuAdaptor::AboutToShow(int /*id*/) {
    return menu_->AboutToShow();
}

QList<int> TDBusMenuAdaptor::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
    idErrors.clear();
    return ids.contains(0) && menu_->AboutToShow() ? QList<int>{0} : QList<int>{};
}
