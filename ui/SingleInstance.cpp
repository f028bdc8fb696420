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

#include <utility>

namespace {

// "show", then, each after a blank when the later start has one, its
// Wayland activation token and "startup-id=" with its X11 start-up id.
const QByteArray ShowRequest = QByteArrayLiteral("show");
const QByteArray StartupIdField = QByteArrayLiteral("startup-id=");
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

TLaunchIds TLaunchIds::FromEnvironment() {
    return {qgetenv("XDG_ACTIVATION_TOKEN").trimmed(), qgetenv("DESKTOP_STARTUP_ID").trimmed()};
}

TSingleInstance::TSingleInstance(const std::string& settingsFileName,
                                 const platform::RuntimeRoots& roots, TLaunchIds launch)
    : launch_(std::move(launch)) {
    // The folder is made by bytes: its name need not be UTF-8. One that
    // cannot be made leaves the decision to the run-time lock.
    const auto slash = settingsFileName.find_last_of('/');
    if (slash != std::string::npos && slash > 0)
        static_cast<void>(platform::ForceDirectories(settingsFileName.substr(0, slash)));
    settingsFileName_ = platform::CanonicalPath(settingsFileName);
    const platform::RuntimeFolder runtime = platform::UserRuntimeFolder(roots);
    Start(runtime);
    // A folder passed over is worth a word whatever the start's outcome.
    QStringList lines;
    for (const std::string& warning : runtime.Warnings)
        lines << QStringLiteral("QMTaskScheduler2: ") + ui::ToDisplayText(warning);
    if (!message_.isEmpty())
        lines << message_;
    message_ = lines.join(QLatin1Char('\n'));
}

void TSingleInstance::Start(const platform::RuntimeFolder& runtime) {
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
    message_ = GivingUpMessage();
    settingsLock_.reset();
    runtimeLock_.reset();
}

QString TSingleInstance::GivingUpMessage() const {
    const QString settings = ui::ToDisplayText(settingsFileName_);
    // The run-time folder is this user's alone: its lock is held by a copy
    // of this user's that is still running or ending.
    if (runtimeLock_->State() != platform::FileLock::TState::Held)
        return QStringLiteral("QMTaskScheduler2 is already running with %1 as this user but "
                              "neither answered nor ended within %2 seconds; this copy ends "
                              "without running anything")
            .arg(settings)
            .arg(AnswerWithinMs / 1000);
    const std::string lockFile = LockFileName(settingsFileName_);
    const platform::LockHolder holder = platform::FindLockHolder(lockFile);
    if (holder.Pid != 0 && holder.SameUser)
        return QStringLiteral("QMTaskScheduler2 is already running with %1 as this user "
                              "(process %2 holds %3) and did not end within %4 seconds; this "
                              "copy ends without running anything")
            .arg(settings)
            .arg(holder.Pid)
            .arg(ui::ToDisplayText(lockFile))
            .arg(AnswerWithinMs / 1000);
    return QStringLiteral("QMTaskScheduler2 is already running with %1 as another user, "
                          "on another machine or in another session (%2 is locked); this "
                          "copy ends without running anything")
        .arg(settings, ui::ToDisplayText(lockFile));
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

QString TSingleInstance::ServerName(const std::string& settingsFileName,
                                    const platform::RuntimeRoots& roots) {
    const platform::RuntimeFolder runtime = platform::UserRuntimeFolder(roots);
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
                    QString token;
                    QString startupId;
                    for (const QByteArray& field : line.mid(ShowRequest.size()).split(' ')) {
                        if (field.startsWith(StartupIdField))
                            startupId = QString::fromUtf8(field.mid(StartupIdField.size()));
                        else if (token.isEmpty())
                            token = QString::fromUtf8(field);
                    }
                    if (show_)
                        show_(token, startupId);
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
    if (!launch_.ActivationToken.isEmpty())
        request += ' ' + launch_.ActivationToken;
    // On X11 the launcher's busy cursor waits for this start's id to be
    // ended; the running copy ends it as it shows its window.
    if (!launch_.StartupId.isEmpty())
        request += ' ' + StartupIdField + launch_.StartupId;
    socket.write(request + '\n');
    if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
        return false;
    while (!socket.canReadLine())
        if (deadline.hasExpired() ||
            !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            return false;
    return socket.readLine() == ShowAnswer;
}

void TSingleInstance::OnShowRequest(TShow show) {
    show_ = std::move(show);
}

namespace ui {

void BringToFront(QWidget* window) {
    // Only the minimised state goes: showNormal() would end a maximised or
    // full-screen one too.
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace ui
