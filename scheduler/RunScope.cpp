#include "scheduler/RunScope.h"

#include "platform/process.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QList>
#include <QPair>
#include <QThread>

namespace {

const QString Service = QStringLiteral("org.freedesktop.systemd1");
const QString ManagerPath = QStringLiteral("/org/freedesktop/systemd1");
const QString ManagerInterface = QStringLiteral("org.freedesktop.systemd1.Manager");
// The manager's answer to a start comes at once; the job that places the
// process may take a moment longer on a busy machine.
constexpr int CallTimeoutMs = 2000;

// A unit property, a(sv) on the bus.
struct TProperty {
    QString Name;
    QDBusVariant Value;
};

QDBusArgument& operator<<(QDBusArgument& out, const TProperty& p) {
    out.beginStructure();
    out << p.Name << p.Value;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, TProperty& p) {
    in.beginStructure();
    in >> p.Name >> p.Value;
    in.endStructure();
    return in;
}

// Auxiliary units, a(sa(sv)) on the bus; a scope has none.
struct TAuxUnit {
    QString Name;
    QList<TProperty> Properties;
};

QDBusArgument& operator<<(QDBusArgument& out, const TAuxUnit& u) {
    out.beginStructure();
    out << u.Name << u.Properties;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, TAuxUnit& u) {
    in.beginStructure();
    in >> u.Name >> u.Properties;
    in.endStructure();
    return in;
}

} // namespace

Q_DECLARE_METATYPE(TProperty)
Q_DECLARE_METATYPE(TAuxUnit)

namespace {

QDBusMessage ManagerCall(const QString& method) {
    return QDBusMessage::createMethodCall(Service, ManagerPath, ManagerInterface, method);
}

void RegisterTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<TProperty>();
        qDBusRegisterMetaType<QList<TProperty>>();
        qDBusRegisterMetaType<TAuxUnit>();
        qDBusRegisterMetaType<QList<TAuxUnit>>();
        return true;
    }();
    (void)registered;
}

} // namespace

bool TRunScope::ServiceManagerRuns() {
    // The bus needs the application object (a tool or a benchmark may have none).
    if (QCoreApplication::instance() == nullptr)
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || bus.interface() == nullptr)
        return false;
    return bus.interface()->isServiceRegistered(Service).value();
}

bool TRunScope::Enter(int pid, const std::string& unit, const std::string& description) {
    RegisterTypes();
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QList<TProperty> properties{
        {QStringLiteral("PIDs"), QDBusVariant(QVariant::fromValue(QList<uint>{uint(pid)}))},
        {QStringLiteral("Description"), QDBusVariant(QString::fromStdString(description))},
        // Gone from the manager's list once its processes are, also after a failure.
        {QStringLiteral("CollectMode"), QDBusVariant(QStringLiteral("inactive-or-failed"))},
    };
    QDBusMessage start = ManagerCall(QStringLiteral("StartTransientUnit"));
    start << QString::fromStdString(unit) << QStringLiteral("fail")
          << QVariant::fromValue(properties) << QVariant::fromValue(QList<TAuxUnit>{});
    const QDBusMessage reply = bus.call(start, QDBus::Block, CallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    const QString job = reply.arguments().front().value<QDBusObjectPath>().path();
    // The process is in the scope once the start job is done, when the
    // manager drops the job's object.
    const QDeadlineTimer deadline(CallTimeoutMs);
    while (!deadline.hasExpired()) {
        QDBusMessage ask = QDBusMessage::createMethodCall(
            Service, job, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        ask << QStringLiteral("org.freedesktop.systemd1.Job") << QStringLiteral("State");
        const QDBusMessage state = bus.call(ask, QDBus::Block, CallTimeoutMs);
        if (state.type() == QDBusMessage::ErrorMessage)
            return true;
        QThread::msleep(1);
    }
    return false;
}

void TRunScope::Signal(const std::string& unit, bool force) {
    QDBusMessage kill = ManagerCall(QStringLiteral("KillUnit"));
    kill << QString::fromStdString(unit) << QStringLiteral("all") << platform::StopSignal(force);
    QDBusConnection::sessionBus().call(kill, QDBus::NoBlock);
}
