#pragma once

#include <QWidget>

#include <string>

class QLabel;
class QPlainTextEdit;
class QTreeWidget;
namespace history {
class THistory;
}

// A window of its own, not modal: the runs of one task, newest first, and
// the output of the selected run. It only reads the history.
class TFormHistory : public QWidget {
    Q_OBJECT

public:
    enum Column { ColStart = 0, ColHow, ColDuration, ColResult, ColumnCount };

    TFormHistory(history::THistory& runs, QWidget* parent = nullptr);

    // Shows the runs of the task (identifier and name) in the history window
    // that belongs to `owner`, creating it the first time.
    static TFormHistory* ShowFor(QWidget* owner, history::THistory& runs,
                                 const std::string& taskGuid, const std::string& taskName);

    // Reads the task's runs again.
    void ShowTask(const std::string& taskGuid, const std::string& taskName);
    const std::string& TaskGuid() const { return guid_; }

private:
    void ShowOutput();

    history::THistory& runs_;
    std::string guid_;
    QLabel* LabelTask = nullptr;
    QTreeWidget* ListViewRuns = nullptr;
    QPlainTextEdit* MemoOutput = nullptr;
};
