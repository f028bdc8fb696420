#include "ui/StatusNotifierItem.h"

#include "ui/DBusMenu.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QImage>
#include <QtEndian>

namespace {

const QString ObjectPath = QStringLiteral("/StatusNotifierItem");
const QString Watcher = QStringLiteral("org.kde.StatusNotifierWatcher");

// Hosts scale the picture nearest to their panel; these cover panels from
// small to high density. Each is drawn at its own size in device pixels:
// the scale of our screens (QT_SCALE_FACTOR=2) would double them all, and
// a host wanting 16 pixels would shrink a 32-pixel one.
TSniPixmaps PixmapsOf(const QIcon& icon) {
    TSniPixmaps pixmaps;
    for (const int side : {16, 22, 32, 48, 64, 128}) {
        const QImage image =
            icon.pixmap(QSize(side, side), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
        if (image.isNull())
            continue;
        TSniPixmap pixmap{image.width(), image.height(), {}};
        pixmap.Argb.resize(static_cast<qsizetype>(image.width()) * image.height() * 4);
        auto* out = reinterpret_cast<uchar*>(pixmap.Argb.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto* line = reinterpret_cast<const quint32*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x, out += 4)
                qToBigEndian<quint32>(line[x], out);
        }
        pixmaps.append(pixmap);
    }
    return pixmaps;
}

} // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const TSniPixmap& pixmap) {
    argument.beginStructure();
    argument << pixmap.Width << pixmap.Height << pixmap.Argb;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, TSniPixmap& pixmap) {
    argument.beginStructure();
    argument >> pixmap.Width >> pixmap.Height >> pixmap.Argb;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const TSniToolTip& toolTip) {
    argument.beginStructure();
    argument << toolTip.IconName << toolTip.Pixmaps << toolTip.Title << toolTip.Text;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, TSniToolTip& toolTip) {
    argument.beginStructure();
    argument >> toolTip.IconName >> toolTip.Pixmaps >> toolTip.Title >> toolTip.Text;
    argument.endStructure();
    return argument;
}

TStatusNotifierItem::TStatusNotifierItem(const QString& id, const QString& title, const QIcon& icon,
                                         QMenu* menu)
    : id_(id), title_(title), pixmaps_(PixmapsOf(icon)), menu_(std::make_unique<TDBusMenu>(menu)) {
    qDBusRegisterMetaType<TSniPixmap>();
    qDBusRegisterMetaType<TSniPixmaps>();
    qDBusRegisterMetaType<TSniToolTip>();
    new TStatusNotifierItemAdaptor(this); // owned by the item, as Qt's adaptors are
}

TStatusNotifierItem::~TStatusNotifierItem() {
    Unregister();
}

void TStatusNotifierItem::Register() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    if (!registered_) {
        // The name the watcher knows the item by, unique on the bus.
        static int instance = 0;
        serviceName_ = QStringLiteral("org.kde.StatusNotifierItem-%1-%2")
                           .arg(QCoreApplication::applicationPid())
                           .arg(++instance);
        if (!bus.registerObject(ObjectPath, this, QDBusConnection::ExportAdaptors))
            return;
        const QString menuPath = QString::fromLatin1(TDBusMenu::ObjectPath);
        if (!bus.registerObject(menuPath, menu_.get(), QDBusConnection::ExportAdaptors) ||
            !bus.registerService(serviceName_)) {
            bus.unregisterObject(menuPath);
            bus.unregisterObject(ObjectPath);
            return;
        }
        registered_ = true;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(Watcher, QStringLiteral("/StatusNotifierWatcher"), Watcher,
                                       QStringLiteral("RegisterStatusNotifierItem"));
    call << serviceName_;
    // No answer is awaited: the host shows the icon when it has read it.
    bus.asyncCall(call);
}

void TStatusNotifierItem::Unregister() {
    if (!registered_)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(serviceName_);
    bus.unregisterObject(QString::fromLatin1(TDBusMenu::ObjectPath));
    bus.unregisterObject(ObjectPath);
    registered_ = false;
}

TStatusNotifierItemAdaptor::TStatusNotifierItemAdaptor(TStatusNotifierItem* item)
    : QDBusAbstractAdaptor(item), item_(item) {
    // Hosts read the properties when the item registers; nothing changes later.
    setAutoRelaySignals(false);
}

QDBusObjectPath TStatusNotifierItemAdaptor::Menu() const {
    return QDBusObjectPath(QString::fromLatin1(TDBusMenu::ObjectPath));
}

TSniToolTip TStatusNotifierItemAdaptor::ToolTip() const {
    return TSniToolTip{IconName(), item_->Pixmaps(), item_->Title(), {}};
}

void TStatusNotifierItemAdaptor::Activate(int, int) {
    emit item_->Activated();
}

void TStatusNotifierItemAdaptor::SecondaryActivate(int, int) {
    emit item_->Activated();
}

void TStatusNotifierItemAdaptor::ContextMenu(int x, int y) {
    emit item_->MenuRequested(QPoint(x, y));
}

void TStatusNotifierItemAdaptor::Scroll(int, const QString&) {}
