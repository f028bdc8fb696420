#pragma once

#include "platform/readonlyfile.h"

#include <QString>
#include <QWidget>

#include <string>

class QFileSystemWatcher;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;

// A window of its own, not modal, that shows the end of the log file and
// follows it while it is open. It only reads the file.
class TFormLogView : public QWidget {
    Q_OBJECT

public:
    // How many of the newest lines are shown.
    static constexpr int MaxLines = 1000;

    explicit TFormLogView(const QString& logFileName, QWidget* parent = nullptr);
    ~TFormLogView() override;

    QString LogFileName() const { return fileName_; }

    // Shows the log view that belongs to `owner`, creating it the first time,
    // and brings it to the front.
    static TFormLogView* ShowFor(QWidget* owner, const QString& logFileName);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void SetLogFileName(const QString& logFileName);
    // Reads the file again when it changed since the last read (or always).
    void Refresh(bool always);
    // A watcher drops a file that is removed or replaced and cannot watch a
    // file that does not exist yet: the file is watched when it exists, and
    // its folder (or the nearest folder above that exists) for its arrival.
    // Qt's watcher takes paths as Unicode text: a path whose bytes that text
    // cannot give back (a folder name that is no UTF-8) is looked at every
    // second instead.
    void Rewatch();
    void ButtonOpenFolderClick();

    QString fileName_;
    std::string path_; // fileName_'s bytes, as the store has them
    platform::FileStamp stamp_;
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer* poll_ = nullptr;
    QLabel* LabelLogFile = nullptr;
    QPlainTextEdit* MemoLog = nullptr;
    QLabel* LabelProblem = nullptr;
    QPushButton* ButtonOpenFolder = nullptr;
    QPushButton* ButtonClose = nullptr;
};
