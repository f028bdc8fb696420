#include "ui/FMain.h"

#include "lib/DateTimeUtil.h"
#include "lib/QMException.h"
#include "lib/classQMTaskSchedulerUtils.h"
#include "scheduler/classQMTask.h"
#include "scheduler/classQMTaskScheduler.h"
#include "settings/SettingsWriter.h"
#include "settings/TaskRunHistory.h"
#include "settings/classQMSettings.h"
#include "settings/classQMTaskSchedulerSettings.h"
#include "ui/DesignScale.h"
#include "ui/Desktop.h"
#include "ui/Dialogs.h"
#include "ui/FHistory.h"
#include "ui/FLogView.h"
#include "ui/FTaskEdit.h"
#include "ui/ListFocusStyle.h"
#include "ui/OpenFileDialog.h"
#include "ui/QtDateTime.h"
#include "ui/TaskListModel.h"
#include "ui/Version.h"

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
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStringList>
#include <QStyle>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

namespace {

// Keys of the standing messages of this window.
const QString SettingsUnreadable = QStringLiteral("settings-unreadable");
const QString SaveFailed = QStringLiteral("save-failed");
const QString SettingsChanged = QStringLiteral("settings-changed");
const QString StartAtLoginFailed = QStringLiteral("start-at-login");

// A store failure's message and, for the tool tip, the system's own words
// for its error.
QString ToolTipOf(const QString& text, const TStoreResult& result) {
    if (result.SystemText.empty())
        return text;
    return text + QLatin1Char('\n') + ui::ToDisplayText(result.SystemText);
}

} // namespace

namespace {

constexpr std::array<int, TFormMain::ColumnCount> ColumnWidths{300, 150, 50, 80, 120};
constexpr std::array<int, 4> PanelWidths{200, 100, 200, 160};

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

// "Run": a triangle in the button's text colour, which the palette keeps
// readable on the button's own colour, light or dark; the style's picture
// is dark whatever the palette.
QIcon ExecuteIcon(const QPalette& palette) {
    QIcon icon;
    for (const int side : {16, 24, 32, 48, 64})
        for (const auto& [mode, group] : {std::pair{QIcon::Normal, QPalette::Active},
                                          std::pair{QIcon::Disabled, QPalette::Disabled}}) {
            QPixmap picture(side, side);
            picture.fill(Qt::transparent);
            QPainterPath triangle;
            triangle.moveTo(side * 0.25, side * 0.15);
            triangle.lineTo(side * 0.85, side * 0.5);
            triangle.lineTo(side * 0.25, side * 0.85);
            triangle.closeSubpath();
            QPainter painter(&picture);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.fillPath(triangle, palette.color(group, QPalette::ButtonText));
            painter.end();
            icon.addPixmap(picture, mode);
        }
    return icon;
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

TFormMain::TFormMain(QWidget* parent, TDesktop::TArea area) : QMainWindow(parent) {
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("Quillmar Task Scheduler"));

    // FormCreate: the task list first (its polling starts now), then the store.
    taskList_ = std::make_unique<TQMTaskScheduler>();
    taskList_->OnTasksExecuted = [this](QObject* sender) { TasksExecuted(sender); };
    taskList_->OnPollError = [this](const std::string& message) { PollError(message); };
    taskList_->OnRunFailed = [this](const TQMTask& task, const std::string& reason) {
        desktop_->TaskFailed(task, reason);
    };
    taskList_->OnStartsMissed = [this](const std::vector<TQMTaskScheduler::TMissedReport>& missed) {
        desktop_->StartsMissed(missed);
    };
    store_ = std::make_unique<TQMTaskSchedulerSettings>(*taskList_);
    writer_ = std::make_unique<TSettingsWriter>(*store_);
    writer_->OnSaved = [this](const TStoreResult& result) { Saved(result); };
    // Run ends are saved with the next poll: a burst of any size is one save.
    connect(taskList_->Timer(), &QTimer::timeout, this, [this] {
        if (std::exchange(endsUnsaved_, false))
            SaveSettings();
    });

    CreateControls();
    CreateActions();
    desktop_ = std::make_unique<TDesktop>(this, ActionAddTask, *store_, area);
    connect(desktop_.get(), &TDesktop::ExitRequested, this, [this] { RequestExit(true); });
    connect(desktop_.get(), &TDesktop::PreferenceChanged, this,
            [this] { Run([this] { SaveSettings(); }); });
    connect(desktop_.get(), &TDesktop::Problem, this, [this](const QString& text) {
        if (text.isEmpty())
            ClearStanding(StartAtLoginFailed);
        else
            SetStanding(StartAtLoginFailed, TImportance::Note, text);
    });
    CreateMenu();
    resize(Px(665), Px(480));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, [this] { Run([this] { Timer1Timer(); }); });
    Timer1->start();

    // A save stamps when the program last ran; a crash or a power cut thus
    // loses at most this much, and no start of that time is taken as missed.
    auto* stampTimer = new QTimer(this);
    stampTimer->setObjectName(QStringLiteral("TimerRunningStamp"));
    stampTimer->setInterval(RunningStampIntervalMs);
    connect(stampTimer, &QTimer::timeout, this, [this] {
        if (shown_)
            SaveSettings();
    });
    stampTimer->start();
}

TFormMain::~TFormMain() {
    // No callback may reach a half-destroyed window; the store goes before the
    // list it refers to.
    taskList_->OnTasksExecuted = nullptr;
    taskList_->OnPollError = nullptr;
    taskList_->OnRunFailed = nullptr;
    taskList_->OnStartsMissed = nullptr;
    runHistory_.reset();
    desktop_.reset();
    // What is asked for is written before the store goes; the window hears
    // no more of it.
    writer_->OnSaved = nullptr;
    writer_.reset();
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

    ListViewMain = new QTreeView(central);
    ListViewMain->setObjectName(QStringLiteral("ListViewMain"));
    ListViewMain->setAccessibleName(QStringLiteral("Tasks"));
    listModel_ = new ui::TTaskListModel(*taskList_, ListViewMain);
    ListViewMain->setModel(listModel_);
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
    // After a refill the keyboard's row stands without a selection and must
    // not look chosen.
    ListViewMain->setStyle(new TListFocusStyle(*ListViewMain));
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
        // Three of them show only a picture: a screen reader reads the hint.
        button->setAccessibleName(QString::fromLatin1(hint));
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
    ButtonExecute->setIcon(ExecuteIcon(ButtonExecute->palette()));
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
    desktop_->AddPreferenceItems(preferences);

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
    MenuHistory = addItem(view, "MenuHistory", "&History", [this] { MenuHistoryClick(); });
    MenuHistory->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    ListViewMain->setContextMenuPolicy(Qt::ActionsContextMenu);
    ListViewMain->addAction(MenuHistory);
    addItem(view, "MenuLog", "&Log", [this] {
        Run([this] { TFormLogView::ShowFor(this, ui::ToQString(store_->LogFileName())); });
    });

    QMenu* help = addMenu(menu, "Help1", "&Help");
    addItem(help, "Info1", "&About", [this] { Info1Click(); });
}

// --- Showing, closing ---

void TFormMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // The desktop switched between light and dark.
    if ((event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) &&
        ButtonExecute != nullptr)
        // The window has its new palette; its children take it after this.
        ButtonExecute->setIcon(ExecuteIcon(palette()));
}

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
    desktop_->WindowStarted();
    Run([this] { FormShow(); });
}

void TFormMain::FormShow() {
    StatusPanels[1]->setText(QStringLiteral("Version ") + QLatin1String(ui::ProgramVersion));
    SortColumn = -1;
    SortAscending = true;
    if (!placed_)
        PlaceWindow();

    ButtonDelete->setText(QString());
    ButtonEdit->setText(QString());
    ButtonExecute->setText(QString());
    writer_->Finish(); // a load must not meet a write
    const TStoreResult loaded = store_->Load();
    if (!loaded) {
        loadProblem_ =
            QStringLiteral("Settings could not be read: ") + ui::ToDisplayText(loaded.Error);
        SetStanding(SettingsUnreadable, TImportance::Warning, loadProblem_,
                    ToolTipOf(loadProblem_, loaded));
    }
    MenuAskwhenclose->setChecked(store_->AskWhenClose);
    MenuConfirmbeforeexecutetaskmanually->setChecked(store_->AskWhenExecuteTaskManually);
    desktop_->PreferencesLoaded();
    OpenRunHistory();
    FillListView();
}

void TFormMain::OpenRunHistory() {
    runHistory_ = std::make_unique<TTaskRunHistory>(*taskList_, store_->Settings().ChosenFolder());
    runHistory_->OnRunEnded = [this](const TRunRecord& run) { RunEnded(run); };
    // Said until the program ends: a save that works does not mend it.
    runHistory_->OnSetAside = [this](const std::string& file) {
        const bool foreign = file.find(".foreign-") != std::string::npos;
        SetStanding(QStringLiteral("history-set-aside"), TImportance::Warning,
                    (foreign ? QStringLiteral("The run history held another program's tables")
                             : QStringLiteral("The run history was damaged")) +
                        QStringLiteral("; set aside as ") + ui::ToDisplayText(file));
    };
    // Records the history cannot take yet wait; said while they do.
    runHistory_->OnStateChanged = [this] {
        const history::THistory& runs = runHistory_->History();
        if (runs.IsOpen())
            ClearStanding(QStringLiteral("history-unopened"));
        const std::size_t waiting = runs.Waiting();
        if (waiting == 0) {
            ClearStanding(QStringLiteral("history-waiting"));
            return;
        }
        SetStanding(
            QStringLiteral("history-waiting"), TImportance::Warning,
            QString::number(waiting) +
                (waiting == 1 ? QStringLiteral(" run waits") : QStringLiteral(" runs wait")) +
                QStringLiteral(" to be recorded in the history: ") +
                ui::ToDisplayText(runs.Problem()));
    };
    if (!runHistory_->Open())
        SetStanding(QStringLiteral("history-unopened"), TImportance::Warning,
                    QStringLiteral("The run history could not be opened: ") +
                        ui::ToDisplayText(runHistory_->History().Problem()));
}

void TFormMain::RunEnded(const TRunRecord& run) {
    // The mark of the task's last result, and its key in the settings file.
    // Only its row changes: a refill would take the user's selection.
    if (const TQMTask* task = taskList_->TaskOfRun(run))
        listModel_->TaskChanged(task);
    endsUnsaved_ = true;
    if (auto* view = findChild<TFormHistory*>(QString(), Qt::FindDirectChildrenOnly);
        view != nullptr && view->isVisible() && view->TaskGuid() == run.TaskGuid)
        view->ShowTask(run.TaskGuid, run.TaskName);
    // A failed start is told by the desktop's TaskFailed.
    if (!IsFailure(run) || run.Outcome == TRunOutcome::NotStarted ||
        !desktop_->NotifiesInsteadOfBoxes())
        return;
    const TDateTime today = dt::DatePart(dt::Now());
    if (today != endsNotifiedDay_) {
        endsNotified_.clear();
        endsNotifiedDay_ = today;
    }
    if (!endsNotified_.insert(run.TaskGuid).second)
        return;
    desktop_->Notify(QStringLiteral("A task ended badly"),
                     QStringLiteral("Task \"") + ui::ToDisplayText(run.TaskName) +
                         QStringLiteral("\": ") + ui::ToDisplayText(ResultText(run)));
}

void TFormMain::MenuHistoryClick() {
    Run([this] {
        // The task the keys are on: after a command the row keeps the keys
        // without being selected.
        const TQMTask* task = KeyTask();
        if (task == nullptr)
            RequireSelection();
        if (!runHistory_)
            return;
        TFormHistory::ShowFor(this, runHistory_->History(), task->Guid, task->TaskName);
    });
}

void TFormMain::PlaceWindow() {
    placed_ = true;
    int width = 4;
    for (int column = 0; column < ColumnCount; ++column)
        width += ListViewMain->columnWidth(column);
    QSize size(width, height());
    QScreen* screen = this->screen();
    if (screen == nullptr) {
        resize(size);
        return;
    }
    // A large desktop font on a small screen scales the window past the
    // screen: it keeps to the free area, its title bar (not known before
    // the first show) included.
    const QRect free = screen->availableGeometry();
    const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    size = size.boundedTo(QSize(free.width(), free.height() - titleBar));
    resize(size);
    QRect frame(QPoint(0, 0), size + QSize(0, titleBar));
    frame.moveCenter(free.center());
    move(std::max(frame.left(), free.left()), std::max(frame.top(), free.top()));
}

bool TFormMain::FormCloseQuery() {
    if (!store_->AskWhenClose)
        return true;
    return ui::Confirm(this, QStringLiteral("Are you sure that you want to close ") +
                                 windowTitle() + QStringLiteral(" ?"));
}

void TFormMain::closeEvent(QCloseEvent* event) {
    if (!exitRequested_ && desktop_->PutAwayOnClose()) {
        // Closing the window is not ending the program: no question.
        event->ignore();
        return;
    }
    bool mayClose = true;
    if (askOnExit_)
        Run([this, &mayClose] { mayClose = FormCloseQuery(); });
    event->setAccepted(mayClose);
    if (mayClose) {
        // The moment the program stopped running, for the starts it misses;
        // the program ends once it is written.
        if (shown_) {
            SaveSettings();
            writer_->Finish();
        }
        emit ExitAccepted();
    }
}

void TFormMain::Exit1Click() {
    RequestExit(true);
}

void TFormMain::Info1Click() {
    Run([this] { ui::ShowMessage(this, AboutText()); });
}

QString TFormMain::AboutText() {
    return QStringLiteral("Quillmar Task Scheduler \nversion ") +
           QLatin1String(ui::ProgramVersion) + QStringLiteral("\nfor Windows and Linux/wine\n\n") +
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
    // A scheduled run is no command of the user's: the task the user
    // selected stays selected, so that a command right after it still has
    // its task. Only the rows of the tasks that ran change.
    const TQMTask* selected = HasSelection() ? TaskAtRow(SelectedRow()) : nullptr;
    const TQMTask* keyTask = KeyTask();
    for (const TQMTask* task : taskList_->LastPollRuns())
        listModel_->TaskChanged(task);
    if (selected != nullptr)
        SelectTask(selected);
    else
        KeepKeysOn(keyTask);
    SaveSettings();
}

void TFormMain::PollError(const std::string& message) {
    if (desktop_->TellPollError(message)) {
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
    writer_->Request();
}

bool TFormMain::SavesPending() const {
    return writer_->Pending();
}

std::uint64_t TFormMain::SaveCount() const {
    return writer_->Saves();
}

void TFormMain::Saved(const TStoreResult& saved) {
    if (!saved) {
        const QString text =
            QStringLiteral("Changes could not be saved: ") + ui::ToDisplayText(saved.Error);
        SetStanding(SaveFailed, TImportance::Failure, text, ToolTipOf(text, saved));
        return;
    }
    ClearStanding(SaveFailed);
    // The tasks of a settings file that could not be read and was set aside
    // no longer run: the panel keeps saying so until the program ends.
    if (!store_->SetAsideFileName().empty())
        SetStanding(SettingsUnreadable, TImportance::Warning,
                    loadProblem_ + QStringLiteral("; set aside as ") +
                        ui::ToDisplayText(store_->SetAsideFileName()));
    else
        ClearStanding(SettingsUnreadable); // gone before it had to be set aside
    // A hand edit made while the program ran is kept beside the file the
    // save wrote; the user merges it.
    if (!store_->ChangedFileName().empty())
        SetStanding(SettingsChanged, TImportance::Warning,
                    QStringLiteral("The settings file was changed by another program; that "
                                   "version was set aside as ") +
                        ui::ToDisplayText(store_->ChangedFileName()));
}

void TFormMain::SetStanding(const QString& key, TImportance importance, const QString& text,
                            const QString& toolTip) {
    std::erase_if(standing_, [&key](const TStanding& s) { return s.Key == key; });
    standing_.push_back(
        {key, importance, text, toolTip.isEmpty() ? text : toolTip, ++standingOrder_});
    ShowStanding();
}

void TFormMain::ClearStanding(const QString& key) {
    if (std::erase_if(standing_, [&key](const TStanding& s) { return s.Key == key; }) > 0)
        ShowStanding();
}

void TFormMain::ShowStanding() {
    // Most important first, the newest first among equals.
    std::vector<const TStanding*> order;
    for (const TStanding& s : standing_)
        order.push_back(&s);
    std::sort(order.begin(), order.end(), [](const TStanding* a, const TStanding* b) {
        return a->Importance != b->Importance ? a->Importance > b->Importance : a->Order > b->Order;
    });
    QStringList toolTips;
    for (const TStanding* s : order)
        toolTips << s->ToolTip;
    // The panel is narrow; the tool tip holds the whole of every message.
    StatusPanels[3]->setText(order.empty() ? QString() : order.front()->Text);
    StatusPanels[3]->setToolTip(toolTips.join(QStringLiteral("\n\n")));
}

void TFormMain::FillListView() {
    const TQMTask* keyTask = KeyTask();
    listModel_->Refill(SortColumn, SortAscending);
    ShowSortIndicator();
    KeepKeysOn(keyTask);
}

const TQMTask* TFormMain::KeyTask() const {
    if (const int selected = SelectedRow(); selected >= 0)
        return listModel_->TaskAt(selected);
    return listModel_->TaskAt(ListViewMain->currentIndex().row());
}

void TFormMain::KeepKeysOn(const TQMTask* task) {
    // Inserted or removed rows leave the selection of the others as it was.
    ListViewMain->selectionModel()->clearSelection();
    int row = listModel_->RowOf(task);
    if (row < 0)
        row = 0;
    if (row < listModel_->rowCount())
        ListViewMain->selectionModel()->setCurrentIndex(listModel_->index(row, 0),
                                                        QItemSelectionModel::NoUpdate);
}

TQMTask* TFormMain::TaskAtRow(int row) const {
    return listModel_->TaskAt(row);
}

bool TFormMain::HasSelection() const {
    return ListViewMain->selectionModel()->hasSelection();
}

int TFormMain::SelectedRow() const {
    const QModelIndexList selected = ListViewMain->selectionModel()->selectedRows();
    return selected.isEmpty() ? -1 : selected.first().row();
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
    const int row = listModel_->RowOf(task);
    if (row < 0)
        return;
    const QModelIndex index = listModel_->index(row, 0);
    ListViewMain->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                               QItemSelectionModel::Rows);
    ListViewMain->scrollTo(index);
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

void TFormMain::ShowSortIndicator() {
    QHeaderView* header = ListViewMain->header();
    header->setSortIndicatorShown(SortColumn >= 0);
    if (SortColumn >= 0)
        header->setSortIndicator(SortColumn,
                                 SortAscending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void TFormMain::SortRows() {
    ShowSortIndicator();
    // A selected row stays selected where the order puts it; without one,
    // the keyboard stays on its task's row.
    const bool selected = HasSelection();
    const TQMTask* keyTask = KeyTask();
    listModel_->SetSort(SortColumn, SortAscending);
    if (selected)
        SelectTask(keyTask);
    else
        KeepKeysOn(keyTask);
}

// --- Input ---

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
    // With a current row but nothing selected, the first move key selects
    // that row, and Space selects it before its shortcut modifies the
    // selected task: both work at once after a refill, also with one row.
    if (watched == ListViewMain &&
        (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) &&
        !HasSelection() && ListViewMain->currentIndex().isValid()) {
        const auto& key = static_cast<const QKeyEvent&>(*event);
        const auto selectCurrent = [this] {
            ListViewMain->selectionModel()->select(ListViewMain->currentIndex(),
                                                   QItemSelectionModel::ClearAndSelect |
                                                       QItemSelectionModel::Rows);
        };
        if (event->type() == QEvent::KeyPress && IsRowMoveKey(key)) {
            selectCurrent();
            return true;
        }
        if (event->type() == QEvent::ShortcutOverride && key.key() == Qt::Key_Space &&
            key.modifiers() == Qt::NoModifier)
            selectCurrent();
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
        const TQMTask* keyTask = KeyTask();
        TQMTask* added = taskList_->AddCopy(&editor.Task());
        added->Guid = TQMTaskSchedulerUtils::NewTaskIdentifier();
        // No start before this moment was missed.
        added->ScheduleChanged = dt::Now();
        listModel_->TaskAppended(added);
        KeepKeysOn(keyTask);
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
        listModel_->TaskRemoved(task);
        KeepKeysOn(nullptr);
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
        // So does what is owed, which polls may have run or told meanwhile.
        editor.Task().CatchUpOwed = task->CatchUpOwed;
        const TDateTime servedNow = task->OccurrenceServed;
        const bool rescheduled = !task->SameSchedule(editor.Task());
        task->Assign(&editor.Task());
        if (editor.Task().DateTimeLastExecuted == lastRunAtOpen && lastRunNow != lastRunAtOpen) {
            task->DateTimeLastExecuted = lastRunNow;
            task->OccurrenceServed = servedNow;
        }
        // Starts of the old schedule are neither told missed nor caught up.
        if (rescheduled)
            task->ScheduleChanged = dt::Now();
        listModel_->TaskChanged(task);
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
    TQMTask* listed = TaskStillListed(task);
    listed->Execute(stampTheRun);
    SaveSettings();
    listModel_->TaskChanged(listed);
    KeepKeysOn(listed);
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

void TFormMain::StartWindow(bool minimized) {
    // Placed before it is shown: some window managers restore a minimised
    // window that is moved or resized.
    PlaceWindow();
    if (!minimized) {
        show();
        return;
    }
    if (desktop_->HasNotificationArea()) {
        // Hidden in the notification area: load as a first show would.
        FirstShow();
        return;
    }
    desktop_->StartedMinimized();
    showMinimized();
}

bool TFormMain::RequestExit(bool ask) {
    exitRequested_ = true;
    askOnExit_ = ask;
    const bool closed = close();
    exitRequested_ = false;
    askOnExit_ = true;
    return closed;
}
