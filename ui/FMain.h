#pragma once

#include "scheduler/classQMTask.h"
#include "ui/Desktop.h"

#include <QMainWindow>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

class QAction;
class QCloseEvent;
class QLabel;
class QMenu;
class QPushButton;
class QShowEvent;
class QTimer;
class QTreeView;
class TQMTaskScheduler;
class TQMTaskSchedulerSettings;
class TSettingsWriter;
class TTaskRunHistory;
struct TStoreResult;
struct TRunRecord;

namespace ui {
class TTaskListModel;
}

// The program's main window: owns the task list and the application store,
// lists the tasks in five sortable columns and carries out every command.
// After a change it updates the rows of the tasks that changed and saves.
class TFormMain : public QMainWindow {
    Q_OBJECT

public:
    // Column indexes of ListViewMain.
    enum Column { ColName = 0, ColFrequency, ColTime, ColActive, ColLastExecuted, ColumnCount };

    // Creates the task list (its polling starts at once) and the application
    // store; the store is loaded when the window is first shown. The
    // window's icon goes to the desktop's notification area whenever one is
    // there (`area`).
    explicit TFormMain(QWidget* parent = nullptr, TDesktop::TArea area = TDesktop::TArea::Watched);
    ~TFormMain() override;

    TQMTaskScheduler& TaskList() const { return *taskList_; }
    TQMTaskSchedulerSettings& Store() const { return *store_; }
    // The run history, open once the settings are loaded; null before.
    TTaskRunHistory* RunHistory() const { return runHistory_.get(); }

    // How often the settings are saved to stamp that the program runs.
    static constexpr int RunningStampIntervalMs = 10 * 60 * 1000;

    int SortColumn = -1;
    bool SortAscending = true;

    // Callback of the task list after a poll in which a task ran.
    void TasksExecuted(QObject* sender);
    // Rows again for every task: nothing stays selected, the keyboard keeps
    // the row of the task it was on.
    void FillListView();
    TQMTask* TaskAtRow(int row) const;
    bool HasSelection() const;
    int SelectedRow() const;
    void RequireSelection() const;
    TQMTask* SelectedTask() const;
    QString TaskNameAtRow(int row) const;
    void ShowSelectFirst();
    void SortBy(int column);

    // The commands (each shows its own errors).
    void ActionAddTaskExecute();
    void ActionRemoveTaskExecute();
    void ActionModifyTaskExecute();
    void ActionExecuteTask_notimeExecute();
    void ActionExecuteTask_withtimeExecute();
    void MenuImporTasksFromVersion1Click();
    // View > History: the runs of the selected task.
    void MenuHistoryClick();
    void MenuAskwhencloseClick();
    void MenuConfirmbeforeexecutetaskmanuallyClick();
    void Info1Click();
    void Exit1Click();
    void Timer1Timer();

    // Text of the about box.
    static QString AboutText();

    // Shows the window, or with `minimized` starts hidden in the notification
    // area (minimised without one); the settings load either way.
    void StartWindow(bool minimized);
    // Ends the program as File > Exit does, asking first when `ask` and the
    // preference say so; true when the window closed.
    bool RequestExit(bool ask);
    // The window's life on the desktop: tray icon, notifications (Notify),
    // keeping running, start at login.
    TDesktop& Desktop() const { return *desktop_; }

    // A save is asked for or being written.
    bool SavesPending() const;
    // Saves written (or failed) so far.
    std::uint64_t SaveCount() const;

    // --- Standing messages (status panel 3) ---
    // What the user should know until its cause ends: a save that failed, a
    // settings file set aside, a refused login entry. Each has a key of its
    // own, so that a success clears only its own failure. The most important
    // one shows in the panel (the newest of equals); the tool tip holds all
    // of them in full, most important first.
    enum class TImportance { Note, Warning, Failure };
    // Puts up the message of `key`, or replaces it. `toolTip` is its longer
    // form for the tool tip; the text itself when empty.
    void SetStanding(const QString& key, TImportance importance, const QString& text,
                     const QString& toolTip = QString());
    // The cause of `key` has ended; nothing happens when it has no message.
    void ClearStanding(const QString& key);

signals:
    // The window closed for good: the program should end.
    void ExitAccepted();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Asks for the version-1 file to import; empty when the user cancels.
    QString ChooseImportFile();
    // Design pixels (96 dpi, 8-point font) to pixels for the window's font.
    int Px(int designPixels) const;
    void ComputeScale();
    void CreateControls();
    void CreateActions();
    void CreateMenu();
    void FirstShow();
    void FormShow();
    // Sizes the window for its columns and centres it on its screen, within
    // the screen's free area; once, before the first show.
    void PlaceWindow();
    void SortRows();
    void ShowSortIndicator();
    void SelectTask(const TQMTask* task);
    // The selected task, else the one of the current row; nullptr for none.
    const TQMTask* KeyTask() const;
    // After a change of the rows, as after a refill: nothing selected, the
    // keyboard on the task's row, else on the first.
    void KeepKeysOn(const TQMTask* task);
    // Asks the writer to save everything, once the current handler returns.
    void SaveSettings();
    // A save's outcome: a failure stays in status panel 3 until a save succeeds.
    void Saved(const TStoreResult& saved);
    // Runs the selected task by hand, after the question when asked to.
    void ExecuteSelectedTask(bool ask, bool stampTheRun);
    void ShowStanding();
    // Shows an error that ended a poll of the task list.
    void PollError(const std::string& message);
    void ListViewMainColumnClick(int column);
    void ListViewMainDblClick();
    bool FormCloseQuery();
    // The list's task, looked up again by address: a refill may have run meanwhile.
    TQMTask* TaskStillListed(const TQMTask* task) const;
    template <class Handler> void Run(Handler&& handler);
    // Opens the run history beside the settings file.
    void OpenRunHistory();
    // A run ended: its task's mark, the settings, the history window, and
    // a notification when it ended badly out of sight.
    void RunEnded(const TRunRecord& run);

    std::unique_ptr<TQMTaskScheduler> taskList_;
    std::unique_ptr<TQMTaskSchedulerSettings> store_;
    std::unique_ptr<TSettingsWriter> writer_;
    std::unique_ptr<TTaskRunHistory> runHistory_;
    bool endsUnsaved_ = false; // a run ended since the last poll
    // Tasks whose bad end was notified today: once per task and day.
    std::set<std::string> endsNotified_;
    TDateTime endsNotifiedDay_ = 0;
    bool shown_ = false;
    bool placed_ = false;
    double scale_ = 1.0;
    bool pollErrorShown_ = false;
    std::unique_ptr<TDesktop> desktop_;
    bool exitRequested_ = false;
    bool askOnExit_ = true;
    QString loadProblem_; // why the settings file could not be read, if so
    struct TStanding {
        QString Key;
        TImportance Importance;
        QString Text;
        QString ToolTip;
        std::uint64_t Order; // grows with every SetStanding
    };
    std::vector<TStanding> standing_;
    std::uint64_t standingOrder_ = 0;

    QTreeView* ListViewMain = nullptr;
    ui::TTaskListModel* listModel_ = nullptr;
    std::array<QLabel*, 4> StatusPanels{};
    QPushButton* ButtonAdd = nullptr;
    QPushButton* ButtonDelete = nullptr;
    QPushButton* ButtonEdit = nullptr;
    QPushButton* ButtonExecute = nullptr;
    QAction* ActionAddTask = nullptr;
    QAction* ActionRemoveTask = nullptr;
    QAction* ActionModifyTask = nullptr;
    QAction* ActionExecuteTask_notime = nullptr;
    QAction* ActionExecuteTask_withtime = nullptr;
    QAction* MenuHistory = nullptr;
    QAction* MenuAskwhenclose = nullptr;
    QAction* MenuConfirmbeforeexecutetaskmanually = nullptr;
    QTimer* Timer1 = nullptr;
};
