#include "ui/SingleInstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QThread>
#include <QWidget>

namespace {

const char* const ShowRequest = "show\n";
const char* const ShowAnswer = "shown\n";
// A copy that has just taken the lock needs a moment before it listens; a
// copy that does not answer within this time counts as unreachable.
constexpr int AnswerWithinMs = 5000;

} // namespace

TSingleInstance::TSingleInstance(const QString& settingsFileName)
    : settingsFileName_(QFileInfo(settingsFileName).absoluteFilePath()) {
    QDir().mkpath(QFileInfo(settingsFileName_).absolutePath());
    lock_ = std::make_unique<QLockFile>(LockFileName(settingsFileName_));
    // A running copy holds the lock for days; only a dead holder makes it stale.
    lock_->setStaleLockTime(0);
    if (lock_->tryLock(0)) {
        Listen();
        return;
    }
    if (lock_->error() != QLockFile::LockFailedError) {
        // A folder that cannot be written: run rather than leave the tasks
        // unscheduled, and say so.
        message_ = QStringLiteral("QMTaskScheduler2: cannot lock %1; running without the "
                                  "check for another copy")
                       .arg(LockFileName(settingsFileName_));
        lock_.reset();
        return;
    }
    lock_.reset();
    if (AskRunningCopy()) {
        role_ = TRole::Second;
        message_ = QStringLiteral("QMTaskScheduler2 is already running with %1; its window has "
                                  "been brought to the front")
                       .arg(settingsFileName_);
    } else {
        role_ = TRole::Unreachable;
        message_ = QStringLiteral("QMTaskScheduler2 is already running with %1 but does not "
                                  "answer; this copy ends without running anything")
                       .arg(settingsFileName_);
    }
}

TSingleInstance::~TSingleInstance() = default;

QString TSingleInstance::LockFileName(const QString& settingsFileName) {
    return settingsFileName + QStringLiteral(".lock");
}

QString TSingleInstance::ServerName(const QString& settingsFileName) {
    // The path may be long and hold any character; a digest keeps the name
    // short and plain. The user's home tells users apart without an OS call.
    const QByteArray key =
        (QDir::homePath() + QLatin1Char('\n') + QFileInfo(settingsFileName).absoluteFilePath())
            .toUtf8();
    return QStringLiteral("qmtaskscheduler2-") +
           QString::fromLatin1(
               QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(24));
}

void TSingleInstance::Listen() {
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    const QString name = ServerName(settingsFileName_);
    // Holding the lock, this is the only copy for the file: a socket left
    // behind by a copy that died is in the way and goes.
    if (!server_->listen(name)) {
        QLocalServer::removeServer(name);
        if (!server_->listen(name)) {
            message_ = QStringLiteral("QMTaskScheduler2: a later start cannot reach this copy: %1")
                           .arg(server_->errorString());
            return;
        }
    }
    QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket,
                             &QLocalSocket::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                if (!socket->canReadLine())
                    return;
                if (socket->readLine() == ShowRequest) {
                    if (show_)
                        show_();
                    socket->write(ShowAnswer);
                    socket->flush();
                }
                socket->disconnectFromServer();
            });
        }
    });
}

bool TSingleInstance::AskRunningCopy() {
    const QString name = ServerName(settingsFileName_);
    const QDeadlineTimer deadline(AnswerWithinMs);
    QLocalSocket socket;
    while (true) {
        socket.connectToServer(name);
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime())))
            break;
        if (deadline.hasExpired())
            return false;
        // Not listening yet, or gone: try again shortly.
        QThread::msleep(100);
    }
    socket.write(ShowRequest);
    if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
        return false;
    while (!socket.canReadLine())
        if (deadline.hasExpired() ||
            !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            return false;
    return socket.readLine() == ShowAnswer;
}

void TSingleInstance::OnShowRequest(std::function<void()> show) {
    show_ = std::move(show);
}

namespace ui {

void BringToFront(QWidget* window) {
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace ui
