#pragma once

#include <QDateTime>
#include <QString>
#include <QWidget>

class QFileSystemWatcher;
class QLabel;
class QPlainTextEdit;
class QPushButton;

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
    // What the file looked like at the last read.
    struct TStamp {
        bool Exists = false;
        qint64 Size = -1;
        QDateTime Modified;
        bool operator==(const TStamp&) const = default;
    };

    void SetLogFileName(const QString& logFileName);
    // Reads the file again when it changed since the last read (or always).
    void Refresh(bool always);
    // A watcher drops a file that is removed or replaced and cannot watch a
    // file that does not exist yet: the file is watched when it exists, and
    // its folder (or the nearest folder above that exists) for its arrival.
    void Rewatch();
    void ButtonOpenFolderClick();

    QString fileName_;
    TStamp stamp_;
    QFileSystemWatcher* watcher_ = nullptr;
    QLabel* LabelLogFile = nullptr;
    QPlainTextEdit* MemoLog = nullptr;
    QLabel* LabelProblem = nullptr;
    QPushButton* ButtonOpenFolder = nullptr;
    QPushButton* ButtonClose = nullptr;
};
