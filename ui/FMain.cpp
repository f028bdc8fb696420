#include "ui/FMain.h"

#include "lib/DateTimeUtil.h"
#include "lib/QMException.h"
#include "lib/classQMTaskSchedulerUtils.h"
#include "scheduler/classQMTask.h"
#include "scheduler/classQMTaskScheduler.h"
#include "settings/TaskRunHistory.h"
#include "settings/classQMSettings.h"
#include "settings/classQMTaskSchedulerSettings.h"
#include "ui/Autostart.h"
#include "ui/DesignScale.h"
#include "ui/Dialogs.h"
#include "ui/FHistory.h"
#include "ui/FLogView.h"
#include "ui/FTaskEdit.h"
#include "ui/ListViewRow.h"
#include "ui/OpenFileDialog.h"
#include "ui/QtDateTime.h"
#include "ui/TrayIcon.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

namespace {

const char* const ColumnCaptions[TFormMain::ColumnCount] = {"Taak name", "Frequency", "Time",
                                                            "Active", "Last started on"};
constexpr std::array<int, TFormMain::ColumnCount> ColumnWidths{300, 150, 50, 80, 120};
constexpr std::array<int, 4> PanelWidths{200, 100, 200, 160};
// Sort key of the task ordering for each column.
constexpr std::array<int, TFormMain::ColumnCount> ColumnSortKeys{2, 4, 0, 3, 1};

const char* const PublisherNotice = "(c) Quillmar";
const char* const PublisherWebAddress = "www.quillmar.example";

// The hourglass for the length of a scope, restored on every path.
class TWaitCursor {
public:
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

// Suspends a widget's redrawing for the length of a scope.
class TUpdatesSuspended {
public:
    explicit TUpdatesSuspended(QWidget* widget) : widget_(widget) {
        widget_->setUpdatesEnabled(false);
    }
    ~TUpdatesSuspended() { widget_->setUpdatesEnabled(true); }
    TUpdatesSuspended(const TUpdatesSuspended&) = delete;
    TUpdatesSuspended& operator=(const TUpdatesSuspended&) = delete;

private:
    QWidget* widget_;
};

// Makes the task's row (else the first) the current one without selecting
// it, so that the keys have a row to start from.
void MakeCurrentRow(QTreeWidget* list, const TQMTask* task) {
    QTreeWidgetItem* current = list->topLevelItem(0);
    for (int row = 0; task != nullptr && row < list->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = list->topLevelItem(row);
        if (item->data(0, Qt::UserRole).value<TQMTask*>() == task) {
            current = item;
            break;
        }
    }
    if (current != nullptr)
        list->selectionModel()->setCurrentIndex(list->indexFromItem(current),
                                                QItemSelectionModel::NoUpdate);
}

bool IsRowMoveKey(const QKeyEvent& key) {
    if ((key.modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    switch (key.key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        return true;
    default:
        return false;
    }
}

} // namespace

template <class Handler> void TFormMain::Run(Handler&& handler) {
    ui::Guarded(this, std::forward<Handler>(handler));
}

TFormMain::TFormMain(QWidget* parent, bool hasNotificationArea) : QMainWindow(parent) {
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("Quillmar Task Scheduler"));

    // FormCreate: the task list first (its polling starts now), then the store.
    taskList_ = std::make_unique<TQMTaskScheduler>();
    taskList_->OnTasksExecuted = [this](QObject* sender) { TasksExecuted(sender); };
    taskList_->OnPollError = [this](const std::string& message) { PollError(message); };
    taskList_->OnRunFailed = [this](const TQMTask& task, const std::string& reason) {
        RunFailed(task, reason);
    };
    store_ = std::make_unique<TQMTaskSchedulerSettings>(*taskList_);

    CreateControls();
    CreateActions();
    CreateMenu();
    resize(Px(665), Px(480));
    if (hasNotificationArea) {
        tray_ = std::make_unique<TTrayIcon>(this, ActionAddTask);
        connect(tray_.get(), &TTrayIcon::ExitRequested, this, [this] { RequestExit(true); });
    }
    // Without a notification area a hidden window could not be brought back.
    MenuKeepRunning->setEnabled(tray_ != nullptr);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, [this] { Run([this] { Timer1Timer(); }); });
    Timer1->start();
}

TFormMain::~TFormMain() {
    // No callback may reach a half-destroyed window; the store goes before the
    // list it refers to.
    taskList_->OnTasksExecuted = nullptr;
    taskList_->OnPollError = nullptr;
    taskList_->OnRunFailed = nullptr;
    runHistory_.reset();
    tray_.reset();
    store_.reset();
    taskList_.reset();
}

int TFormMain::Px(int designPixels) const {
    return ui::ScaledPixels(designPixels, scale_);
}

void TFormMain::ComputeScale() {
    // Also large enough for a time and a last-run text to fit their columns.
    ui::TDesignScale scale(font());
    scale.FitText(QStringLiteral("0000-Mmm-00 / 00:00"), ColumnWidths[ColLastExecuted]);
    scale.FitText(QStringLiteral("00:00"), ColumnWidths[ColTime]);
    scale_ = scale.Factor();
}

void TFormMain::CreateControls() {
    ComputeScale();
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("CentralWidget"));
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* panel1 = new QWidget(central);
    panel1->setObjectName(QStringLiteral("Panel1"));
    panel1->setFixedHeight(Px(18));
    layout->addWidget(panel1);

    ListViewMain = new QTreeWidget(central);
    ListViewMain->setObjectName(QStringLiteral("ListViewMain"));
    ListViewMain->setColumnCount(ColumnCount);
    QStringList captions;
    for (const char* caption : ColumnCaptions)
        captions << QString::fromLatin1(caption);
    ListViewMain->setHeaderLabels(captions);
    for (int column = 0; column < ColumnCount; ++column)
        ListViewMain->setColumnWidth(column, Px(ColumnWidths[static_cast<size_t>(column)]));
    ListViewMain->setRootIsDecorated(false);
    ListViewMain->setItemsExpandable(false);
    ListViewMain->setUniformRowHeights(true);
    ListViewMain->setAllColumnsShowFocus(true);
    ListViewMain->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewMain->setSelectionMode(QAbstractItemView::SingleSelection);
    // ListViewMainEditing: no caption is ever edited in place.
    ListViewMain->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewMain->setSortingEnabled(false);
    ListViewMain->header()->setSectionsClickable(true);
    ListViewMain->header()->setStretchLastSection(false);
    // The selection stays visible when the list loses the focus.
    QPalette palette = ListViewMain->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    ListViewMain->setPalette(palette);
    connect(ListViewMain->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { Run([this, column] { ListViewMainColumnClick(column); }); });
    ListViewMain->viewport()->installEventFilter(this);
    ListViewMain->installEventFilter(this);
    layout->addWidget(ListViewMain, 1);

    auto* panelBottom = new QWidget(central);
    panelBottom->setObjectName(QStringLiteral("PanelBottom"));
    panelBottom->setFixedHeight(Px(41));
    auto makeButton = [this, panelBottom](const char* name, int left, const char* hint) {
        auto* button = new QPushButton(panelBottom);
        button->setObjectName(QString::fromLatin1(name));
        button->setGeometry(Px(left), Px(7), Px(41), Px(28));
        button->setToolTip(QString::fromLatin1(hint));
        // Clicking a button leaves the focus, and so the keys, with the list.
        button->setFocusPolicy(Qt::NoFocus);
        return button;
    };
    ButtonAdd = makeButton("ButtonAdd", 8, "Add new task");
    ButtonAdd->setText(QStringLiteral("+"));
    QFont addFont = ButtonAdd->font();
    addFont.setBold(true);
    addFont.setPointSize(14);
    ButtonAdd->setFont(addFont);
    ButtonDelete = makeButton("ButtonDelete", 56, "Delete selected task");
    ButtonEdit = makeButton("ButtonEdit", 104, "Modify selected task");
    ButtonExecute = makeButton("ButtonExecute", 152, "Execute task");
    // The desktop's icon theme when it has the picture, else the style's own.
    ButtonDelete->setIcon(QIcon::fromTheme(QStringLiteral("edit-delete"),
                                           style()->standardIcon(QStyle::SP_TrashIcon)));
    ButtonEdit->setIcon(QIcon::fromTheme(QStringLiteral("document-properties"),
                                         style()->standardIcon(QStyle::SP_FileDialogDetailedView)));
    ButtonExecute->setIcon(QIcon::fromTheme(QStringLiteral("system-run"),
                                            style()->standardIcon(QStyle::SP_MediaPlay)));
    layout->addWidget(panelBottom);

    setCentralWidget(central);

    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    for (size_t i = 0; i < StatusPanels.size(); ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        // A fixed size in both directions: a new text (the clock's, every
        // second) then repaints the panel alone instead of laying out the bar.
        panel->setFixedSize(Px(PanelWidths[i]),
                            panel->fontMetrics().height() + 2 * panel->frameWidth());
        bar->addWidget(panel);
        StatusPanels[i] = panel;
    }
    StatusPanels[0]->setText(QString::fromLatin1(PublisherNotice));
    StatusPanels[2]->setText(QString::fromLatin1(PublisherWebAddress));
}

void TFormMain::CreateActions() {
    auto makeAction = [this](const char* name, const char* text, const QKeySequence& shortcut,
                             void (TFormMain::*handler)()) {
        auto* action = new QAction(QString::fromLatin1(text), this);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(shortcut);
        // Active wherever the focus is in this window, and only in it: the
        // editor is a window of its own, so Space and Delete reach its boxes.
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        addAction(action);
        return action;
    };
    ActionAddTask = makeAction("ActionAddTask", "&Add", QKeySequence(Qt::Key_Insert),
                               &TFormMain::ActionAddTaskExecute);
    ActionRemoveTask = makeAction("ActionRemoveTask", "&Delete", QKeySequence(Qt::Key_Delete),
                                  &TFormMain::ActionRemoveTaskExecute);
    ActionModifyTask = makeAction("ActionModifyTask", "&Modify", QKeySequence(Qt::Key_Space),
                                  &TFormMain::ActionModifyTaskExecute);
    ActionExecuteTask_notime =
        makeAction("ActionExecuteTask_notime", "Execute task", QKeySequence(Qt::CTRL | Qt::Key_X),
                   &TFormMain::ActionExecuteTask_notimeExecute);
    ActionExecuteTask_withtime =
        makeAction("ActionExecuteTask_withtime", "Execute task prematurely",
                   QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_X),
                   &TFormMain::ActionExecuteTask_withtimeExecute);

    connect(ButtonAdd, &QPushButton::clicked, ActionAddTask, &QAction::trigger);
    connect(ButtonDelete, &QPushButton::clicked, ActionRemoveTask, &QAction::trigger);
    connect(ButtonEdit, &QPushButton::clicked, ActionModifyTask, &QAction::trigger);
    connect(ButtonExecute, &QPushButton::clicked, ActionExecuteTask_notime, &QAction::trigger);
}

void TFormMain::CreateMenu() {
    QMenuBar* menu = menuBar();
    menu->setObjectName(QStringLiteral("MainMenu1"));
    auto addMenu = [](QWidget* owner, const char* name, const char* text) {
        auto* sub = new QMenu(QString::fromLatin1(text), owner);
        sub->setObjectName(QString::fromLatin1(name));
        if (auto* bar = qobject_cast<QMenuBar*>(owner))
            bar->addMenu(sub);
        else
            static_cast<QMenu*>(owner)->addMenu(sub);
        return sub;
    };
    auto addItem = [this](QMenu* owner, const char* name, const char* text, auto handler) {
        QAction* item = owner->addAction(QString::fromLatin1(text));
        item->setObjectName(QString::fromLatin1(name));
        connect(item, &QAction::triggered, this, handler);
        return item;
    };

    QMenu* file = addMenu(menu, "File1", "&File");
    QMenu* import = addMenu(file, "Import1", "Import");
    addItem(import, "MenuImporTasksFromVersion1", "Tasks from version 1.x",
            [this] { MenuImporTasksFromVersion1Click(); });
    file->addSeparator();
    addItem(file, "Exit1", "E&xit", [this] { Exit1Click(); });

    QMenu* edit = addMenu(menu, "Edit1", "Edit");
    QMenu* preferences = addMenu(edit, "Preferences1", "Preferences");
    MenuAskwhenclose = addItem(preferences, "MenuAskwhenclose", "Confirm when exit program",
                               [this] { MenuAskwhencloseClick(); });
    MenuAskwhenclose->setCheckable(true);
    MenuConfirmbeforeexecutetaskmanually = addItem(
        preferences, "MenuConfirmbeforeexecutetaskmanually", "Confirm before execute task manually",
        [this] { MenuConfirmbeforeexecutetaskmanuallyClick(); });
    MenuConfirmbeforeexecutetaskmanually->setCheckable(true);
    CreatePreferenceItems(preferences);

    QMenu* task = addMenu(menu, "Task1", "&Task");
    task->addAction(ActionAddTask);
    task->addAction(ActionRemoveTask);
    task->addAction(ActionModifyTask);
    task->addSeparator();
    task->addAction(ActionExecuteTask_notime);
    task->addAction(ActionExecuteTask_withtime);

    QMenu* view = addMenu(menu, "View1", "&View");
    QMenu* sortBy = addMenu(view, "Sortby1", "Sort by");
    const std::array<std::pair<const char*, const char*>, ColumnCount> sortItems{{
        {"Naam1", "Task name"},
        {"Taakfrequentie1", "Task frequency"},
        {"Tijd1", "Task Time"},
        {"Actief1", "Task Active"},
        {"Laatstgestart1", "Task Last started"},
    }};
    for (int column = 0; column < ColumnCount; ++column) {
        const auto& [name, text] = sortItems[static_cast<size_t>(column)];
        addItem(sortBy, name, text, [this, column] { Run([this, column] { SortBy(column); }); });
    }
    view->addSeparator();
    MenuHistory = addItem(view, "MenuHistory", "History", [this] { MenuHistoryClick(); });
    MenuHistory->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    ListViewMain->setContextMenuPolicy(Qt::ActionsContextMenu);
    ListViewMain->addAction(MenuHistory);
    addItem(view, "MenuLog", "Log", [this] {
        Run([this] { TFormLogView::ShowFor(this, ui::ToQString(store_->LogFileName())); });
    });

    QMenu* help = addMenu(menu, "Help1", "&Help");
    addItem(help, "Info1", "&About", [this] { Info1Click(); });
}

// --- Showing, closing ---

void TFormMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Narrower, the status bar would squeeze its fixed panels over each
    // other and cut the clock; its size grip and style are known by now.
    setMinimumWidth(statusBar()->minimumSizeHint().width());
    if (!shown_)
        FirstShow();
}

void TFormMain::FirstShow() {
    shown_ = true;
    // Only a window that is really starting takes a place in the notification area.
    if (tray_)
        tray_->Show();
    Run([this] { FormShow(); });
}

void TFormMain::FormShow() {
    StatusPanels[1]->setText(QStringLiteral("Version 2.0"));
    SortColumn = -1;
    SortAscending = true;
    int width = 4;
    for (int column = 0; column < ColumnCount; ++column)
        width += ListViewMain->columnWidth(column);
    resize(width, height());
    if (QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }

    ButtonDelete->setText(QString());
    ButtonEdit->setText(QString());
    ButtonExecute->setText(QString());
    const TStoreResult loaded = store_->Load();
    if (!loaded) {
        loadProblem_ =
            QStringLiteral("Settings could not be read: ") + ui::ToDisplayText(loaded.Error);
        ShowStoreProblem(loadProblem_);
    }
    MenuAskwhenclose->setChecked(store_->AskWhenClose);
    MenuConfirmbeforeexecutetaskmanually->setChecked(store_->AskWhenExecuteTaskManually);
    MenuKeepRunning->setChecked(store_->KeepRunning);
    // The entry on disk is the truth: it may have been removed or written by
    // another copy of the program since the last save.
    store_->StartAtLogin = ui::AutostartEntryStartsProgram(QCoreApplication::applicationFilePath());
    MenuStartAtLogin->setChecked(store_->StartAtLogin);
    OpenRunHistory();
    FillListView();
}

void TFormMain::OpenRunHistory() {
    runHistory_ = std::make_unique<TTaskRunHistory>(*taskList_, store_->Settings().ChosenFolder());
    runHistory_->OnRunEnded = [this](const TRunRecord& run) { RunEnded(run); };
    runHistory_->OnSetAside = [this](const std::string& file) {
        ShowStoreProblem(QStringLiteral("The run history was damaged; set aside as ") +
                         ui::ToDisplayText(file));
    };
    if (!runHistory_->Open())
        ShowStoreProblem(QStringLiteral("The run history could not be opened: ") +
                         ui::ToDisplayText(runHistory_->History().Problem()));
}

void TFormMain::ShowLastResult(QTreeWidgetItem* row, const TQMTask& task) const {
    const QString tip = task.LastResult.empty()
                            ? QString()
                            : QStringLiteral("Last run: ") + ui::ToDisplayText(task.LastResult);
    for (int column = 0; column < ColumnCount; ++column)
        row->setToolTip(column, tip);
    row->setIcon(0, task.LastRunFailed ? style()->standardIcon(QStyle::SP_MessageBoxWarning)
                                       : QIcon());
}

void TFormMain::RunEnded(const TRunRecord& run) {
    // The mark of the task's last result, and its key in the settings file.
    // Only its row changes: a refill would take the user's selection.
    if (const TQMTask* task = taskList_->TaskOfRun(run))
        for (int row = 0; row < ListViewMain->topLevelItemCount(); ++row)
            if (TaskOfItem(ListViewMain->topLevelItem(row)) == task)
                ShowLastResult(ListViewMain->topLevelItem(row), *task);
    SaveSettings();
    if (auto* view = findChild<TFormHistory*>(QString(), Qt::FindDirectChildrenOnly);
        view != nullptr && view->isVisible() && view->TaskGuid() == run.TaskGuid)
        view->ShowTask(run.TaskGuid, run.TaskName);
    if (!IsFailure(run) || run.Outcome == TRunOutcome::NotStarted)
        return; // a failed start is told by RunFailed
    if (!NotifiesInsteadOfBoxes())
        return;
    const TDateTime today = dt::DatePart(dt::Now());
    if (today != notifiedDay_) {
        notifiedToday_.clear();
        notifiedDay_ = today;
    }
    if (!notifiedToday_.insert(run.TaskGuid + "|ended").second)
        return;
    tray_->Notify(QStringLiteral("A task ended badly"),
                  QStringLiteral("Task \"") + ui::ToDisplayText(run.TaskName) +
                      QStringLiteral("\": ") + ui::ToDisplayText(ResultText(run)));
}

void TFormMain::MenuHistoryClick() {
    Run([this] {
        const TQMTask* task = SelectedTask();
        if (!runHistory_)
            return;
        TFormHistory::ShowFor(this, runHistory_->History(), task->Guid, task->TaskName);
    });
}

bool TFormMain::FormCloseQuery() {
    if (!store_->AskWhenClose)
        return true;
    return ui::Confirm(this, QStringLiteral("Are you sure that you want to close ") +
                                 windowTitle() + QStringLiteral(" ?"));
}

void TFormMain::closeEvent(QCloseEvent* event) {
    if (!exitRequested_ && KeepsRunningInTray()) {
        // Closing the window is not ending the program: no question.
        event->ignore();
        hide();
        if (!toldStillRunning_) {
            toldStillRunning_ = true;
            tray_->Notify(windowTitle(),
                          QStringLiteral("Still running in the notification area, so your tasks "
                                         "keep running. \"Exit\" in its menu ends it."));
        }
        return;
    }
    bool mayClose = true;
    if (askOnExit_)
        Run([this, &mayClose] { mayClose = FormCloseQuery(); });
    event->setAccepted(mayClose);
    if (mayClose)
        emit ExitAccepted();
}

void TFormMain::Exit1Click() {
    RequestExit(true);
}

void TFormMain::Info1Click() {
    Run([this] { ui::ShowMessage(this, AboutText()); });
}

QString TFormMain::AboutText() {
    return QStringLiteral("Quillmar Task Scheduler \n"
                          "version 2.0\n"
                          "for Windows and Linux/wine\n"
                          "\n") +
           QString::fromLatin1(PublisherWebAddress) +
           QStringLiteral("\nFree software, provided as it is, without any warranty.");
}

void TFormMain::Timer1Timer() {
    const auto panel = StatusPanels.size() - 2;
    StatusPanels[panel]->setText(
        ui::ToDisplayText(dt::FormatDateTime("yyyy-mmm-dd hh:nn:ss", dt::Now())));
}

// --- The list ---

void TFormMain::TasksExecuted(QObject* /*sender*/) {
    FillListView();
    SaveSettings();
}

void TFormMain::PollError(const std::string& message) {
    // Nobody sees a box over a hidden window; a notification blocks nothing.
    if (NotifiesInsteadOfBoxes()) {
        if (message != notifiedReason_)
            tray_->Notify(windowTitle(), ui::ToDisplayText(message));
        notifiedReason_.clear();
        std::fprintf(stderr, "%s\n", message.c_str());
        return;
    }
    // Polls go on while the error box is open; one box at a time is enough,
    // later errors of that time go to standard error.
    if (pollErrorShown_) {
        std::fprintf(stderr, "%s\n", message.c_str());
        return;
    }
    pollErrorShown_ = true;
    ui::ShowError(this, ui::ToDisplayText(message));
    pollErrorShown_ = false;
}

void TFormMain::SaveSettings() {
    const TStoreResult saved = store_->Save();
    // The tasks of a settings file that could not be read and was set aside
    // no longer run: the panel keeps saying so until the program ends.
    if (saved && !store_->SetAsideFileName().empty())
        ShowStoreProblem(loadProblem_ + QStringLiteral("; set aside as ") +
                         ui::ToDisplayText(store_->SetAsideFileName()));
    else if (saved)
        ShowStoreProblem(QString());
    else
        ShowStoreProblem(QStringLiteral("Changes could not be saved: ") +
                         ui::ToDisplayText(saved.Error));
}

void TFormMain::ShowStoreProblem(const QString& text) {
    // The panel is narrow; its tool tip holds the whole text.
    StatusPanels[3]->setText(text);
    StatusPanels[3]->setToolTip(text);
}

void TFormMain::ClearListView() {
    ListViewMain->clear();
}

void TFormMain::FillListView() {
    // The keyboard keeps its row over the refill: the selected task's, else
    // the current one's.
    const QTreeWidgetItem* keyRow = ListViewMain->currentItem();
    if (const QList<QTreeWidgetItem*> items = ListViewMain->selectedItems(); !items.isEmpty())
        keyRow = items.first();
    const TQMTask* keyTask = keyRow ? keyRow->data(0, Qt::UserRole).value<TQMTask*>() : nullptr;
    {
        TUpdatesSuspended suspended(ListViewMain);
        ClearListView();
        QList<QTreeWidgetItem*> rows;
        const int count = taskList_->Count();
        rows.reserve(count);
        for (int i = 0; i < count; ++i) {
            TQMTask* task = taskList_->GetTask(i);
            auto* row = new ui::TTaskRow(QStringList{
                ui::ToDisplayText(task->TaskName), ui::ToDisplayText(task->FrequencyText()),
                ui::ToDisplayText(task->TimeText()), ui::ToDisplayText(task->ActiveText()),
                ui::ToDisplayText(task->LastExecutedText())});
            row->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
            row->setData(0, Qt::UserRole, QVariant::fromValue(task));
            ShowLastResult(row, *task);
            rows.append(row);
        }
        ListViewMain->addTopLevelItems(rows);
    }
    SortRows();
    MakeCurrentRow(ListViewMain, keyTask);
}

TQMTask* TFormMain::TaskOfItem(const QTreeWidgetItem* item) const {
    if (item == nullptr)
        throw Exception("TFormMain listitem not assigned");
    auto* task = item->data(0, Qt::UserRole).value<TQMTask*>();
    if (task == nullptr)
        throw Exception("TFormMain listitem.data = nil");
    return task;
}

TQMTask* TFormMain::TaskAtRow(int row) const {
    if (row < 0 || row >= ListViewMain->topLevelItemCount())
        return nullptr;
    return TaskOfItem(ListViewMain->topLevelItem(row));
}

bool TFormMain::HasSelection() const {
    return !ListViewMain->selectedItems().isEmpty();
}

int TFormMain::SelectedRow() const {
    const QList<QTreeWidgetItem*> selected = ListViewMain->selectedItems();
    return selected.isEmpty() ? -1 : ListViewMain->indexOfTopLevelItem(selected.first());
}

void TFormMain::RequireSelection() const {
    if (!HasSelection())
        throw Exception("No task has been selected.");
}

TQMTask* TFormMain::SelectedTask() const {
    RequireSelection();
    return TaskAtRow(SelectedRow());
}

QString TFormMain::TaskNameAtRow(int row) const {
    const TQMTask* task = TaskAtRow(row);
    return task == nullptr ? QString() : ui::ToQString(task->TaskName);
}

void TFormMain::ShowSelectFirst() {
    ui::ShowMessage(this, QStringLiteral("Please first select a task."));
}

void TFormMain::SelectTask(const TQMTask* task) {
    for (int row = 0; row < ListViewMain->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = ListViewMain->topLevelItem(row);
        if (TaskOfItem(item) == task) {
            ListViewMain->setCurrentItem(item);
            ListViewMain->scrollToItem(item);
            return;
        }
    }
}

TQMTask* TFormMain::TaskStillListed(const TQMTask* task) const {
    const int index = taskList_->IndexOf(task);
    if (index < 0)
        throw Exception("The task is no longer in the task list.");
    return taskList_->GetTask(index);
}

// --- Sorting ---

void TFormMain::ListViewMainColumnClick(int column) {
    SortBy(column);
}

void TFormMain::SortBy(int column) {
    if (column < 0 || column >= ColumnCount)
        return;
    if (column != SortColumn)
        SortAscending = true;
    else
        SortAscending = !SortAscending;
    SortColumn = column;
    SortRows();
}

int TFormMain::ListViewMainCompare(const QTreeWidgetItem* a, const QTreeWidgetItem* b) const {
    if (SortColumn < 0 || SortColumn >= ColumnCount)
        return 0;
    const int key = ColumnSortKeys[static_cast<size_t>(SortColumn)];
    const TQMTask* taskA = TaskOfItem(a);
    const TQMTask* taskB = TaskOfItem(b);
    if (taskA->IsLessThan(taskB, key))
        return SortAscending ? -1 : 1;
    if (taskB->IsLessThan(taskA, key))
        return SortAscending ? 1 : -1;
    return 0;
}

void TFormMain::SortRows() {
    QHeaderView* header = ListViewMain->header();
    if (SortColumn < 0) {
        // Rows that all compare equal keep the task list's order.
        header->setSortIndicatorShown(false);
        return;
    }
    header->setSortIndicatorShown(true);
    header->setSortIndicator(SortColumn, SortAscending ? Qt::AscendingOrder : Qt::DescendingOrder);

    QTreeWidgetItem* selected = nullptr;
    if (const QList<QTreeWidgetItem*> items = ListViewMain->selectedItems(); !items.isEmpty())
        selected = items.first();
    const QTreeWidgetItem* current = ListViewMain->currentItem();
    const TQMTask* currentTask =
        current ? current->data(0, Qt::UserRole).value<TQMTask*>() : nullptr;
    TUpdatesSuspended suspended(ListViewMain);
    QList<QTreeWidgetItem*> rows = ListViewMain->invisibleRootItem()->takeChildren();
    try {
        std::stable_sort(rows.begin(), rows.end(),
                         [this](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
                             return ListViewMainCompare(a, b) < 0;
                         });
    } catch (...) {
        ListViewMain->addTopLevelItems(rows);
        throw;
    }
    ListViewMain->addTopLevelItems(rows);
    if (selected != nullptr) {
        ListViewMain->setCurrentItem(selected);
        ListViewMain->scrollToItem(selected);
    } else if (currentTask != nullptr) {
        MakeCurrentRow(ListViewMain, currentTask);
    }
}

// --- Input ---

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
    // With a current row but nothing selected, the first move key selects
    // that row, and Space selects it before its shortcut modifies the
    // selected task: both work at once after a refill, also with one row.
    if (watched == ListViewMain &&
        (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) &&
        !HasSelection() && ListViewMain->currentItem() != nullptr) {
        const auto& key = static_cast<const QKeyEvent&>(*event);
        if (event->type() == QEvent::KeyPress && IsRowMoveKey(key)) {
            ListViewMain->currentItem()->setSelected(true);
            return true;
        }
        if (event->type() == QEvent::ShortcutOverride && key.key() == Qt::Key_Space &&
            key.modifiers() == Qt::NoModifier)
            ListViewMain->currentItem()->setSelected(true);
    }
    if (watched == ListViewMain->viewport() && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        // After the click has been handled, so that it has selected its row.
        QTimer::singleShot(0, this, [this] { ListViewMainDblClick(); });
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFormMain::ListViewMainDblClick() {
    ActionModifyTaskExecute();
}

// --- Commands ---

void TFormMain::ActionAddTaskExecute() {
    Run([this] {
        TFormTaskEdit editor(this);
        editor.setWindowTitle(QStringLiteral("Define new task"));
        if (editor.exec() != 1)
            return;
        TWaitCursor wait;
        TQMTask* added = taskList_->AddCopy(&editor.Task());
        added->Guid = TQMTaskSchedulerUtils::NewTaskIdentifier();
        FillListView();
        SaveSettings();
    });
}

void TFormMain::ActionRemoveTaskExecute() {
    Run([this] {
        if (!HasSelection()) {
            ShowSelectFirst();
            return;
        }
        const TQMTask* task = SelectedTask();
        if (!ui::Confirm(this, QStringLiteral("Do you want to delete the task ") +
                                   ui::NameForBox(this, ui::ToDisplayText(task->TaskName)) +
                                   QStringLiteral(" ?")))
            return;
        TWaitCursor wait;
        // A poll may have refilled the list while the question was open.
        taskList_->RemoveTask(TaskStillListed(task));
        FillListView();
        SaveSettings();
    });
}

void TFormMain::ActionModifyTaskExecute() {
    Run([this] {
        const TQMTask* opened = SelectedTask();
        TFormTaskEdit editor(this);
        editor.setWindowTitle(QStringLiteral("Modify task"));
        editor.Task().Assign(opened);
        const TDateTime lastRunAtOpen = opened->DateTimeLastExecuted;
        if (editor.exec() != 1)
            return;
        TWaitCursor wait;
        // Polls keep running while the editor is open and may have refilled the
        // list, so the edit goes back to the task it came from, not to the row
        // selected now. A run stamped meanwhile is kept unless the user reset the
        // last run in the editor; otherwise the task would run a second time.
        TQMTask* task = TaskStillListed(opened);
        const TDateTime lastRunNow = task->DateTimeLastExecuted;
        // A run that ended while the editor was open keeps its result.
        editor.Task().LastResult = task->LastResult;
        editor.Task().LastRunFailed = task->LastRunFailed;
        task->Assign(&editor.Task());
        if (editor.Task().DateTimeLastExecuted == lastRunAtOpen && lastRunNow != lastRunAtOpen)
            task->DateTimeLastExecuted = lastRunNow;
        FillListView();
        SelectTask(task);
        SaveSettings();
    });
}

void TFormMain::ActionExecuteTask_notimeExecute() {
    // The scheduled run of today still happens: the run is not stamped.
    Run([this] { ExecuteSelectedTask(store_->AskWhenExecuteTaskManually, false); });
}

void TFormMain::ActionExecuteTask_withtimeExecute() {
    // Always asked: the run counts as today's and replaces the scheduled one.
    Run([this] { ExecuteSelectedTask(true, true); });
}

void TFormMain::ExecuteSelectedTask(bool ask, bool stampTheRun) {
    const TQMTask* task = SelectedTask();
    if (ask && !ui::Confirm(this, QStringLiteral("Do you want to execute the task ") +
                                      ui::NameForBox(this, ui::ToDisplayText(task->TaskName)) +
                                      QStringLiteral(" now?")))
        return;
    TaskStillListed(task)->Execute(stampTheRun);
    SaveSettings();
    FillListView();
}

QString TFormMain::ChooseImportFile() {
    ui::TOpenFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("OpenDialogImportFromVersion1"));
    dialog.setNameFilter(QStringLiteral(".ini files (*.ini)"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

void TFormMain::MenuImporTasksFromVersion1Click() {
    Run([this] {
        const QString path = ChooseImportFile();
        if (path.isEmpty())
            return;
        taskList_->ImportVersion1(ui::ChosenPath(path));
        FillListView();
        SaveSettings();
    });
}

// The toolkit has already inverted the item's check when its handler runs.
void TFormMain::MenuAskwhencloseClick() {
    Run([this] {
        store_->AskWhenClose = MenuAskwhenclose->isChecked();
        SaveSettings();
    });
}

void TFormMain::MenuConfirmbeforeexecutetaskmanuallyClick() {
    Run([this] {
        store_->AskWhenExecuteTaskManually = MenuConfirmbeforeexecutetaskmanually->isChecked();
        SaveSettings();
    });
}

// --- Living on the desktop ---

bool TFormMain::DesktopHasNotificationArea() {
    return TTrayIcon::Available();
}

void TFormMain::CreatePreferenceItems(QMenu* preferences) {
    MenuKeepRunning =
        preferences->addAction(QStringLiteral("Keep running when the window is closed"));
    MenuKeepRunning->setObjectName(QStringLiteral("MenuKeepRunning"));
    MenuKeepRunning->setCheckable(true);
    connect(MenuKeepRunning, &QAction::triggered, this, [this] { MenuKeepRunningClick(); });
    MenuStartAtLogin = preferences->addAction(QStringLiteral("Start at login"));
    MenuStartAtLogin->setObjectName(QStringLiteral("MenuStartAtLogin"));
    MenuStartAtLogin->setCheckable(true);
    connect(MenuStartAtLogin, &QAction::triggered, this, [this] { MenuStartAtLoginClick(); });
}

void TFormMain::StartWindow(bool minimized) {
    if (!minimized) {
        show();
        return;
    }
    if (tray_ == nullptr) {
        showMinimized();
        return;
    }
    // Hidden in the notification area: load as a first show would.
    FirstShow();
}

bool TFormMain::RequestExit(bool ask) {
    exitRequested_ = true;
    askOnExit_ = ask;
    const bool closed = close();
    exitRequested_ = false;
    askOnExit_ = true;
    return closed;
}

bool TFormMain::KeepsRunningInTray() const {
    return tray_ != nullptr && store_->KeepRunning;
}

bool TFormMain::NotifiesInsteadOfBoxes() const {
    return tray_ != nullptr && (!isVisible() || isMinimized());
}

void TFormMain::RunFailed(const TQMTask& task, const std::string& reason) {
    if (!NotifiesInsteadOfBoxes())
        return;
    notifiedReason_ = reason;
    const TDateTime today = dt::DatePart(dt::Now());
    if (today != notifiedDay_) {
        notifiedToday_.clear();
        notifiedDay_ = today;
    }
    if (!notifiedToday_.insert(task.Guid + '|' + reason).second)
        return;
    // Launcher messages break their lines with carriage returns.
    QString text = ui::ToDisplayText(reason);
    text.replace(u'\r', u' ');
    tray_->Notify(QStringLiteral("A task could not start"),
                  QStringLiteral("Task \"") + ui::ToDisplayText(task.TaskName) +
                      QStringLiteral("\": ") + text.simplified());
}

void TFormMain::MenuKeepRunningClick() {
    Run([this] {
        store_->KeepRunning = MenuKeepRunning->isChecked();
        SaveSettings();
    });
}

void TFormMain::MenuStartAtLoginClick() {
    Run([this] {
        const QString program = QCoreApplication::applicationFilePath();
        const bool wanted = MenuStartAtLogin->isChecked();
        const ui::TAutostartResult done =
            wanted ? ui::WriteAutostartEntry(program) : ui::RemoveAutostartEntry();
        if (!done) {
            // The check keeps showing what is on disk.
            MenuStartAtLogin->setChecked(ui::AutostartEntryStartsProgram(program));
            ShowStoreProblem(QStringLiteral("Start at login could not be set: ") + done.Error);
            return;
        }
        store_->StartAtLogin = wanted;
        SaveSettings();
    });
}
