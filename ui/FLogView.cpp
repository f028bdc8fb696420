#include "ui/FLogView.h"

#include "platform/files.h"
#include "settings/LogTail.h"
#include "ui/ByteText.h"
#include "ui/WindowPlace.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileSystemWatcher>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

TFormLogView::TFormLogView(const QString& logFileName, QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("FormLogView"));
    ui::ReportAsWindow(this);
    setWindowTitle(QStringLiteral("Log"));
    setAttribute(Qt::WA_DeleteOnClose, false);

    auto* layout = new QVBoxLayout(this);
    LabelLogFile = new QLabel(this);
    LabelLogFile->setObjectName(QStringLiteral("LabelLogFile"));
    LabelLogFile->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(LabelLogFile);

    MemoLog = new QPlainTextEdit(this);
    MemoLog->setObjectName(QStringLiteral("MemoLog"));
    MemoLog->setAccessibleName(QStringLiteral("Log lines"));
    MemoLog->setReadOnly(true);
    MemoLog->setUndoRedoEnabled(false);
    MemoLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    MemoLog->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(MemoLog, 1);

    auto* buttons = new QHBoxLayout;
    ButtonOpenFolder = new QPushButton(QStringLiteral("&Open folder"), this);
    ButtonOpenFolder->setObjectName(QStringLiteral("ButtonOpenFolder"));
    ButtonOpenFolder->setToolTip(QStringLiteral("Show the log's folder in the file manager"));
    LabelProblem = new QLabel(this);
    LabelProblem->setObjectName(QStringLiteral("LabelProblem"));
    LabelProblem->setWordWrap(true);
    ButtonClose = new QPushButton(QStringLiteral("&Close"), this);
    ButtonClose->setObjectName(QStringLiteral("ButtonClose"));
    buttons->addWidget(ButtonOpenFolder);
    buttons->addWidget(LabelProblem, 1);
    buttons->addWidget(ButtonClose);
    layout->addLayout(buttons);

    setTabOrder(MemoLog, ButtonOpenFolder);
    setTabOrder(ButtonOpenFolder, ButtonClose);

    const int charWidth = MemoLog->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    resize(charWidth * 110, charWidth * 50);

    watcher_ = new QFileSystemWatcher(this);
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, [this] { Refresh(false); });
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { Refresh(false); });
    poll_ = new QTimer(this);
    poll_->setInterval(1000);
    connect(poll_, &QTimer::timeout, this, [this] { Refresh(false); });
    connect(ButtonOpenFolder, &QPushButton::clicked, this, [this] { ButtonOpenFolderClick(); });
    connect(ButtonClose, &QPushButton::clicked, this, &QWidget::close);
    auto* escape = new QShortcut(QKeySequence::Cancel, this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    SetLogFileName(logFileName);
}

TFormLogView::~TFormLogView() = default;

TFormLogView* TFormLogView::ShowFor(QWidget* owner, const QString& logFileName) {
    auto* view = owner->findChild<TFormLogView*>(QString(), Qt::FindDirectChildrenOnly);
    if (view == nullptr)
        view = new TFormLogView(logFileName, owner);
    else
        view->SetLogFileName(logFileName);
    // Opened again, it comes beside the window again.
    if (!view->isVisible())
        ui::PlaceBeside(view, owner);
    view->show();
    view->raise();
    view->activateWindow();
    return view;
}

void TFormLogView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Refresh(false);
}

void TFormLogView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // Closed, the window follows nothing; it reads the file again when shown.
    const QStringList watched = watcher_->files() + watcher_->directories();
    if (!watched.isEmpty())
        watcher_->removePaths(watched);
    poll_->stop();
}

void TFormLogView::SetLogFileName(const QString& logFileName) {
    fileName_ = logFileName;
    path_ = ui::ToStdString(logFileName);
    LabelLogFile->setText(ui::ToDisplayText(path_));
    Refresh(true);
}

namespace {

// The folder part of a path, without its last '/'; "/" for the root.
std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

} // namespace

void TFormLogView::Rewatch() {
    std::string folder = FolderOf(path_);
    while (!platform::DirectoryExists(folder) && folder != "/" && folder != ".")
        folder = FolderOf(folder);
    QStringList wanted;
    bool unwatchable = false;
    for (const std::string& bytes : {platform::FileExists(path_) ? path_ : std::string(),
                                     platform::DirectoryExists(folder) ? folder : std::string()}) {
        if (bytes.empty())
            continue;
        const QByteArray encoded = QByteArray::fromStdString(bytes);
        const QString name = QFile::decodeName(encoded);
        if (QFile::encodeName(name) == encoded)
            wanted << name;
        else
            unwatchable = true;
    }
    const QStringList watched = watcher_->files() + watcher_->directories();
    for (const QString& path : watched)
        if (!wanted.contains(path))
            watcher_->removePath(path);
    for (const QString& path : wanted)
        if (!watched.contains(path))
            watcher_->addPath(path);
    if (!unwatchable)
        poll_->stop();
    else if (!poll_->isActive())
        poll_->start();
}

void TFormLogView::Refresh(bool always) {
    if (isVisible())
        Rewatch();
    const platform::FileStamp stamp = platform::StampOf(path_);
    if (!always && stamp == stamp_)
        return;
    stamp_ = stamp;

    QString text;
    const TLogTail tail = ReadLogTail(path_, MaxLines);
    switch (tail.State) {
    case TLogTail::TState::Read:
        for (const std::string& line : tail.Lines) {
            if (!text.isEmpty())
                text += QLatin1Char('\n');
            text += ui::ToDisplayText(line);
        }
        break;
    case TLogTail::TState::Missing:
        text = QStringLiteral("There is no log file yet at %1. It is written when a task runs.")
                   .arg(ui::ToDisplayText(path_));
        break;
    case TLogTail::TState::Unreadable:
        text = QStringLiteral("The log file %1 cannot be read: %2.")
                   .arg(ui::ToDisplayText(path_), ui::ToDisplayText(tail.Error));
        break;
    }
    QScrollBar* bar = MemoLog->verticalScrollBar();
    // Newest at the bottom: a reader at the bottom keeps following it, one
    // who scrolled up keeps the place.
    const bool follow = always || bar->value() >= bar->maximum();
    const int place = bar->value();
    MemoLog->setPlainText(text);
    bar->setValue(follow ? bar->maximum() : place);
}

void TFormLogView::ButtonOpenFolderClick() {
    const std::string folder = FolderOf(path_);
    if (!platform::DirectoryExists(folder)) {
        LabelProblem->setText(QStringLiteral("The folder does not exist yet."));
        return;
    }
    // Percent-encoded byte for byte, so that a folder name that is no UTF-8
    // reaches the file manager as it is on disk.
    const QUrl url = QUrl::fromEncoded(
        "file://" + QByteArray::fromStdString(folder).toPercentEncoding("/"), QUrl::StrictMode);
    if (QDesktopServices::openUrl(url))
        LabelProblem->clear();
    else
        LabelProblem->setText(QStringLiteral("No file manager could be started."));
}
