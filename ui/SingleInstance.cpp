#include "ui/SingleInstance.h"

#include "platform/files.h"
#include "platform/locks.h"
#include "ui/ByteText.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QThread>
#include <QWidget>

namespace {

// "show", then on Wayland a blank and the later start's activation token.
const QByteArray ShowRequest = QByteArrayLiteral("show");
const char* const ShowAnswer = "shown\n";
// A copy that has just taken the lock needs a moment before it listens, and
// one that is ending still holds it for a moment; a copy that neither answers
// nor lets go within this time counts as unreachable.
constexpr int AnswerWithinMs = 5000;
constexpr int RetryPauseMs = 100;

// The run-time files of one settings file: its canonical path, as bytes, in
// a digest short enough for a socket path (108 bytes at most) and the same
// for every path that leads to the same place.
std::string RuntimeBase(const std::string& runtimeFolder, const std::string& canonicalSettings) {
    const QByteArray digest = QCryptographicHash::hash(
        QByteArray::fromRawData(canonicalSettings.data(),
                                static_cast<qsizetype>(canonicalSettings.size())),
        QCryptographicHash::Sha256);
    return runtimeFolder + "/qmtaskscheduler2-" + digest.toHex().left(32).toStdString();
}

} // namespace

TSingleInstance::TSingleInstance(const std::string& settingsFileName) {
    // The folder is made by bytes: its name need not be UTF-8. One that
    // cannot be made leaves the decision to the run-time lock.
    const auto slash = settingsFileName.find_last_of('/');
    if (slash != std::string::npos && slash > 0)
        static_cast<void>(platform::ForceDirectories(settingsFileName.substr(0, slash)));
    settingsFileName_ = platform::CanonicalPath(settingsFileName);
    const platform::RuntimeFolder runtime = platform::UserRuntimeFolder();
    if (runtime.Path.empty()) {
        role_ = TRole::Refused;
        message_ =
            QStringLiteral("QMTaskScheduler2: %1. Without it nothing keeps a second copy "
                           "from running with %2; this copy ends without running anything")
                .arg(ui::ToDisplayText(runtime.Problem), ui::ToDisplayText(settingsFileName_));
        return;
    }
    const std::string base = RuntimeBase(runtime.Path, settingsFileName_);
    serverName_ = QFile::decodeName(QByteArray::fromStdString(base + ".socket"));
    runtimeLockName_ = base + ".lock";
    runtimeLock_ = std::make_unique<platform::FileLock>(runtimeLockName_, 0600);

    const QDeadlineTimer deadline(AnswerWithinMs);
    for (;;) {
        if (TryLocks()) {
            Listen();
            return;
        }
        if (role_ == TRole::Refused)
            return;
        if (runtimeLock_->State() == platform::FileLock::TState::Busy &&
            AskRunningCopy(static_cast<int>(deadline.remainingTime()))) {
            role_ = TRole::Second;
            message_ = QStringLiteral("QMTaskScheduler2 is already running with %1; its window "
                                      "has been brought to the front")
                           .arg(ui::ToDisplayText(settingsFileName_));
            return;
        }
        if (deadline.hasExpired())
            break;
        QThread::msleep(RetryPauseMs);
    }
    role_ = TRole::Unreachable;
    if (runtimeLock_->State() == platform::FileLock::TState::Held)
        message_ = QStringLiteral("QMTaskScheduler2 is already running with %1 as another user, "
                                  "on another machine or in another session (%2 is locked); this "
                                  "copy ends without running anything")
                       .arg(ui::ToDisplayText(settingsFileName_),
                            ui::ToDisplayText(LockFileName(settingsFileName_)));
    else
        message_ = QStringLiteral("QMTaskScheduler2 is already running with %1 but does not "
                                  "answer; this copy ends without running anything")
                       .arg(ui::ToDisplayText(settingsFileName_));
    settingsLock_.reset();
    runtimeLock_.reset();
}

TSingleInstance::~TSingleInstance() = default;

bool TSingleInstance::TryLocks() {
    using TState = platform::FileLock::TState;
    const TState runtime = runtimeLock_->TryAgain();
    if (runtime == TState::Failed) {
        role_ = TRole::Refused;
        message_ =
            QStringLiteral("QMTaskScheduler2: cannot lock %1 (%2); this copy ends without "
                           "running anything")
                .arg(ui::ToDisplayText(runtimeLockName_), qt_error_string(runtimeLock_->Error()));
        return false;
    }
    if (runtime == TState::Busy)
        return false;
    // A settings folder that cannot hold a lock file (read-only, full, a
    // folder in its place) leaves the decision to the run-time lock.
    if (!settingsLock_)
        settingsLock_ = std::make_unique<platform::FileLock>(LockFileName(settingsFileName_), 0644);
    else
        settingsLock_->TryAgain();
    if (settingsLock_->State() == TState::Failed) {
        settingsLock_.reset();
        return true;
    }
    return settingsLock_->State() == TState::Held;
}

std::string TSingleInstance::LockFileName(const std::string& settingsFileName) {
    return settingsFileName + ".lock";
}

QString TSingleInstance::ServerName(const std::string& settingsFileName) {
    const platform::RuntimeFolder runtime = platform::UserRuntimeFolder();
    if (runtime.Path.empty())
        return {};
    return QFile::decodeName(QByteArray::fromStdString(
        RuntimeBase(runtime.Path, platform::CanonicalPath(settingsFileName)) + ".socket"));
}

void TSingleInstance::Listen() {
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // Holding the lock, this is the only copy for the file: a socket left
    // behind by a copy that died is in the way and goes. Closing the server
    // at the end removes the socket.
    QLocalServer::removeServer(serverName_);
    if (!server_->listen(serverName_)) {
        message_ = QStringLiteral("QMTaskScheduler2: a later start cannot reach this copy: %1")
                       .arg(server_->errorString());
        return;
    }
    QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket,
                             &QLocalSocket::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                if (!socket->canReadLine())
                    return;
                const QByteArray line = socket->readLine().trimmed();
                if (line == ShowRequest || line.startsWith(ShowRequest + ' ')) {
                    if (show_)
                        show_(QString::fromUtf8(line.mid(ShowRequest.size()).trimmed()));
                    socket->write(ShowAnswer);
                    socket->flush();
                }
                socket->disconnectFromServer();
            });
        }
    });
}

bool TSingleInstance::AskRunningCopy(int withinMs) {
    const QDeadlineTimer deadline(withinMs);
    QLocalSocket socket;
    socket.connectToServer(serverName_);
    // Not listening yet, or no more: the caller tries the lock again.
    if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime())))
        return false;
    // The compositor lets the running copy take the focus with the token it
    // gave this start; without it a Wayland window may not come to the front.
    QByteArray request = ShowRequest;
    if (const QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN").trimmed(); !token.isEmpty())
        request += ' ' + token;
    socket.write(request + '\n');
    if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
        return false;
    while (!socket.canReadLine())
        if (deadline.hasExpired() ||
            !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            return false;
    return socket.readLine() == ShowAnswer;
}

void TSingleInstance::OnShowRequest(std::function<void(const QString& activationToken)> show) {
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
