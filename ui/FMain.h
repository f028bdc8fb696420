#pragma once

#include "scheduler/classQMTask.h"

#include <QMainWindow>
#include <QString>

#include <array>
#include <memory>
#include <set>
#include <string>

class QAction;
class QCloseEvent;
class QLabel;
class QMenu;
class QPushButton;
class QShowEvent;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class TQMTaskScheduler;
class TQMTaskSchedulerSettings;
class TTaskRunHistory;
class TTrayIcon;
struct TRunRecord;

// Rows hold their task (not owned) under Qt::UserRole of column 0.
Q_DECLARE_METATYPE(TQMTask*)

// The program's main window: owns the task list and the application store,
// lists the tasks in five sortable columns and carries out every command.
// After every change it refills the list and saves everything at once.
class TFormMain : public QMainWindow {
    Q_OBJECT

public:
    // Column indexes of ListViewMain.
    enum Column { ColName = 0, ColFrequency, ColTime, ColActive, ColLastExecuted, ColumnCount };

    // Creates the task list (its polling starts at once) and the application
    // store; the store is loaded when the window is first shown. With a
    // notification area the window also has its tray icon there.
    explicit TFormMain(QWidget* parent = nullptr,
                       bool hasNotificationArea = DesktopHasNotificationArea());
    ~TFormMain() override;

    static bool DesktopHasNotificationArea();

    TQMTaskScheduler& TaskList() const { return *taskList_; }
    TQMTaskSchedulerSettings& Store() const { return *store_; }
    // The run history, open once the settings are loaded; null before.
    TTaskRunHistory* RunHistory() const { return runHistory_.get(); }

    int SortColumn = -1;
    bool SortAscending = true;

    // Callback of the task list after a poll in which a task ran.
    void TasksExecuted(QObject* sender);
    void FillListView();
    void ClearListView();
    TQMTask* TaskOfItem(const QTreeWidgetItem* item) const;
    TQMTask* TaskAtRow(int row) const;
    bool HasSelection() const;
    int SelectedRow() const;
    void RequireSelection() const;
    TQMTask* SelectedTask() const;
    QString TaskNameAtRow(int row) const;
    void ShowSelectFirst();
    void SortBy(int column);
    // <0, 0 or >0 as row a sorts before, with or after row b.
    int ListViewMainCompare(const QTreeWidgetItem* a, const QTreeWidgetItem* b) const;

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

    // --- Living on the desktop ---
    // Shows the window, or with `minimized` starts hidden in the notification
    // area (minimised without one); the settings load either way.
    void StartWindow(bool minimized);
    // Ends the program as File > Exit does, asking first when `ask` and the
    // preference say so; true when the window closed.
    bool RequestExit(bool ask);
    // The icon in the notification area; none without one.
    TTrayIcon* Tray() const { return tray_.get(); }
    void MenuKeepRunningClick();
    void MenuStartAtLoginClick();

signals:
    // The window closed for good: the program should end.
    void ExitAccepted();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
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
    void SortRows();
    void SelectTask(const TQMTask* task);
    // Saves everything; a failure stays in status panel 3 until a save succeeds.
    void SaveSettings();
    // Runs the selected task by hand, after the question when asked to.
    void ExecuteSelectedTask(bool ask, bool stampTheRun);
    // Puts a load or save failure into status panel 3; an empty text clears it.
    void ShowStoreProblem(const QString& text);
    // Shows an error that ended a poll of the task list.
    void PollError(const std::string& message);
    void ListViewMainColumnClick(int column);
    void ListViewMainDblClick();
    bool FormCloseQuery();
    // The list's task, looked up again by address: a refill may have run meanwhile.
    TQMTask* TaskStillListed(const TQMTask* task) const;
    template <class Handler> void Run(Handler&& handler);
    void CreatePreferenceItems(QMenu* preferences);
    // Closing only hides the window: the preference is on and there is a
    // notification area to come back from.
    bool KeepsRunningInTray() const;
    // Hidden or minimised with a tray icon: news goes out as notifications.
    bool NotifiesInsteadOfBoxes() const;
    void RunFailed(const TQMTask& task, const std::string& reason);
    // Opens the run history beside the settings file.
    void OpenRunHistory();
    void RunEnded(const TRunRecord& run);
    // The row's mark and tool tip of its task's last result.
    void ShowLastResult(QTreeWidgetItem* row, const TQMTask& task) const;

    std::unique_ptr<TQMTaskScheduler> taskList_;
    std::unique_ptr<TQMTaskSchedulerSettings> store_;
    std::unique_ptr<TTaskRunHistory> runHistory_;
    bool shown_ = false;
    double scale_ = 1.0;
    bool pollErrorShown_ = false;
    std::unique_ptr<TTrayIcon> tray_;
    bool exitRequested_ = false;
    bool askOnExit_ = true;
    // The first close to the tray of a run says where the program went.
    bool toldStillRunning_ = false;
    // The reason of the last failed start a notification told of, so that
    // the same launcher error is not told twice.
    std::string notifiedReason_;
    // Failed starts told of today (task identifier and reason): a missing
    // file fails again on every poll of its start window.
    std::set<std::string> notifiedToday_;
    TDateTime notifiedDay_ = 0;
    QString loadProblem_; // why the settings file could not be read, if so

    QTreeWidget* ListViewMain = nullptr;
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
    QAction* MenuKeepRunning = nullptr;
    QAction* MenuStartAtLogin = nullptr;
    QTimer* Timer1 = nullptr;
};
