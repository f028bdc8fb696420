// What an edit, a scheduled run, a start and idling cost the main window with
// many tasks, each beside a bare Qt reference measured in the same run on the
// same machine. One line per measure:
//     <measure>: <project> ms, bare <reference> ms, ratio <r>
// The edits drive the window's own commands, their editor and question
// answered through the real widgets, from the click that ends the dialog to
// the repainted list and the save written; the bare reference is a
// QTreeWidget one-row change plus the disk work of the program's save
// (write, sync of the file and its folder, rename) of the same bytes. Program
// and bare edits alternate; the first edit after a start is a line of its
// own. A start is a process of its own, from its launch to its painted list,
// beside a bare Qt program that reads the file line by line with QTextStream
// and a lean reader (bench/LeanReader.h). Polls and run ends are timed by
// what the user waits for: until the window answers a key, and the longest
// time it did not answer.
//
//     build/bench/EditCost [sizes...] [--idle seconds]   (default 10000 100000, 20 s)
//
// Offscreen unless QT_QPA_PLATFORM says otherwise. The machine's load counts:
// run it on a quiet machine, or note the load beside the figures.
#include "bench/IdleWindow.h"
#include "bench/LeanReader.h"
#include "bench/VariedTasks.h"
#include "lib/SupportLibrary.h"
#include "platform/textfile.h"
#include "scheduler/classQMTask.h"
#include "scheduler/classQMTaskScheduler.h"
#include "settings/classQMLogFile.h"
#include "settings/classQMSettings.h"
#include "settings/classQMTaskSchedulerSettings.h"
#include "ui/FMain.h"
#include "ui/FTaskEdit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTextStream>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int Repeats = 9;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Print(const std::string& measure, double project, double bare) {
    std::printf("%s: %.1f ms, bare %.1f ms, ratio %.2f\n", measure.c_str(), project, bare,
                project / bare);
    std::fflush(stdout);
}

// The settings file of count varied tasks, nothing due, where the program
// looks for it (XDG_DATA_HOME is ours).
std::string MakeSettingsFile(int count) {
    TQMTaskScheduler tasks;
    bench_support::FillVariedTasks(tasks, count);
    bench_support::MakeNothingDue(tasks);
    TQMTaskSchedulerSettings store(tasks);
    if (!store.Save())
        throw std::runtime_error("cannot save the settings file");
    return store.Settings().ChosenFileName();
}

QTreeView* ListOf(const TFormMain& window) {
    auto* list = window.findChild<QTreeView*>(QStringLiteral("ListViewMain"));
    if (list == nullptr)
        throw std::runtime_error("no ListViewMain");
    return list;
}

template <class T> T* Child(QWidget* parent, const char* name) {
    T* child = parent->findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr)
        throw std::runtime_error(std::string("no ") + name);
    return child;
}

// The writer thread's saves, written.
void AwaitSaves(const TFormMain& window) {
    while (window.SavesPending())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// Runs the command; its dialog, once open, is filled in by `answer`, which
// returns the button that closes it. The user clicks a dialog that is painted
// and shows what was typed, so the dialog's paints come before the clock
// starts. Returns the time from the click to the repainted list.
double TimeCommand(TFormMain& window, const std::function<void()>& command,
                   const std::function<QAbstractButton*(QWidget* dialog)>& answer) {
    QElapsedTimer clock;
    QTimer::singleShot(0, &window, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (dialog == nullptr)
            return;
        QAbstractButton* button = answer(dialog);
        QCoreApplication::processEvents();
        window.repaint();
        dialog->repaint();
        clock.start();
        button->click();
    });
    command();
    ListOf(window)->viewport()->repaint();
    if (!clock.isValid())
        throw std::runtime_error("the command opened no dialog");
    AwaitSaves(window);
    return clock.nsecsElapsed() / 1e6;
}

void SelectRow(TFormMain& window, int row) {
    QTreeView* list = ListOf(window);
    list->selectionModel()->setCurrentIndex(list->model()->index(row, 0),
                                            QItemSelectionModel::ClearAndSelect |
                                                QItemSelectionModel::Rows);
}

struct TEditTimes {
    std::vector<double> Add, Delete, Toggle;
};

double ProgramAdd(TFormMain& window) {
    return TimeCommand(
        window, [&] { window.findChild<QAction*>(QStringLiteral("ActionAddTask"))->trigger(); },
        [](QWidget* editor) -> QAbstractButton* {
            Child<QLineEdit>(editor, "EditTaskName")->setText(QStringLiteral("added"));
            Child<QLineEdit>(editor, "EditTaskFileName")->setText(QStringLiteral("/bin/true"));
            Child<QRadioButton>(editor, "RadioDaily")->setChecked(true);
            return Child<QPushButton>(editor, "ButtonSave");
        });
}

double ProgramToggle(TFormMain& window) {
    SelectRow(window, ListOf(window)->model()->rowCount() / 2);
    return TimeCommand(
        window, [&] { window.findChild<QAction*>(QStringLiteral("ActionModifyTask"))->trigger(); },
        [](QWidget* editor) -> QAbstractButton* {
            Child<QCheckBox>(editor, "CheckActive")->toggle();
            // Some varied tasks have no frequency, which the editor refuses.
            if (!Child<QRadioButton>(editor, "RadioDaily")->isChecked() &&
                !Child<QRadioButton>(editor, "RadioWeekly")->isChecked() &&
                !Child<QRadioButton>(editor, "RadioOne_Shot")->isChecked())
                Child<QRadioButton>(editor, "RadioDaily")->setChecked(true);
            return Child<QPushButton>(editor, "ButtonSave");
        });
}

double ProgramDelete(TFormMain& window) {
    SelectRow(window, ListOf(window)->model()->rowCount() / 3);
    return TimeCommand(
        window, [&] { window.findChild<QAction*>(QStringLiteral("ActionRemoveTask"))->trigger(); },
        [](QWidget* box) -> QAbstractButton* {
            for (QAbstractButton* button : static_cast<QMessageBox*>(box)->buttons())
                if (button->text() == QStringLiteral("&Yes"))
                    return button;
            throw std::runtime_error("no Yes button");
        });
}

// The bare reference: one row added, removed or changed in a QTreeWidget of
// count rows, repainted, and the same bytes written as the program's save
// writes them.
class TBareList {
public:
    TBareList(int count, const QByteArray& bytes, std::string file)
        : bytes_(bytes), file_(std::move(file)) {
        tree_.setColumnCount(5);
        tree_.setUniformRowHeights(true);
        tree_.resize(665, 400);
        QList<QTreeWidgetItem*> rows;
        for (int i = 0; i < count; ++i)
            rows.append(new QTreeWidgetItem(QStringList{
                QStringLiteral("Task %1").arg(i), QStringLiteral("daily"), QStringLiteral("12:00"),
                QStringLiteral("Yes"), QStringLiteral("2026-Dec-07 / 12:00")}));
        tree_.addTopLevelItems(rows);
        tree_.show();
        QApplication::processEvents();
    }

    double Add() {
        return Timed([&] {
            tree_.addTopLevelItem(new QTreeWidgetItem(QStringList{QStringLiteral("added")}));
        });
    }
    double Toggle() {
        return Timed([&] {
            QTreeWidgetItem* item = tree_.topLevelItem(tree_.topLevelItemCount() / 2);
            item->setText(3, item->text(3) == QStringLiteral("Yes") ? QStringLiteral("No")
                                                                    : QStringLiteral("Yes"));
        });
    }
    double Delete() {
        return Timed([&] { delete tree_.takeTopLevelItem(tree_.topLevelItemCount() / 3); });
    }
    // The program's save: write, sync the file, rename, sync the folder.
    void Write() const {
        const std::string_view whole(bytes_.constData(), static_cast<std::size_t>(bytes_.size()));
        if (platform::WriteFileAtomically(file_, std::span<const std::string_view>(&whole, 1)) != 0)
            throw std::runtime_error("cannot write the bare file");
    }

private:
    double Timed(const std::function<void()>& change) {
        QElapsedTimer clock;
        clock.start();
        change();
        tree_.viewport()->repaint();
        Write();
        return clock.nsecsElapsed() / 1e6;
    }

    QTreeWidget tree_;
    QByteArray bytes_;
    std::string file_;
};

// Program and bare edits in turn (ABAB), so that a change of the machine's
// load meets both alike.
void TimeEdits(TFormMain& window, TBareList& bare, TEditTimes& program, TEditTimes& reference) {
    for (int i = 0; i < Repeats; ++i) {
        program.Add.push_back(ProgramAdd(window));
        reference.Add.push_back(bare.Add());
        program.Toggle.push_back(ProgramToggle(window));
        reference.Toggle.push_back(bare.Toggle());
        program.Delete.push_back(ProgramDelete(window));
        reference.Delete.push_back(bare.Delete());
    }
}

// Records when the list gets a key: the window answers again.
class TKeyProbe : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress)
            answered = true;
        return QObject::eventFilter(watched, event);
    }
    bool answered = false;
};

// The longest time the event loop did not run a 1 ms timer.
class TGapProbe {
public:
    TGapProbe() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const double now = clock_.nsecsElapsed() / 1e6;
            longest = std::max(longest, now - last_);
            last_ = now;
        });
        clock_.start();
        timer_.start(1);
    }
    double longest = 0;

private:
    QTimer timer_;
    QElapsedTimer clock_;
    double last_ = 0;
};

// Runs the event loop until the condition holds (or a minute has passed).
void SpinUntil(const std::function<bool()>& condition) {
    QElapsedTimer limit;
    limit.start();
    while (!condition()) {
        if (limit.elapsed() > 60000)
            throw std::runtime_error("timed out");
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
}

void SpinFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The running stamp's save, from its timer (made to fire at once): the
// longest time the window did not answer until it was written.
double TimeRunningStamp(TFormMain& window) {
    auto* stamp = window.findChild<QTimer*>(QStringLiteral("TimerRunningStamp"));
    if (stamp == nullptr)
        throw std::runtime_error("no TimerRunningStamp");
    const int interval = stamp->interval();
    TGapProbe probe;
    stamp->start(100);
    SpinUntil([&] { return window.SavesPending(); });
    stamp->start(interval);
    AwaitSaves(window);
    SpinFor(50);
    return probe.longest;
}

// The longest time an idle event loop did not answer over as long a span.
double TimeIdleGap(int ms) {
    TGapProbe probe;
    SpinFor(ms);
    return probe.longest;
}

// Makes `due` tasks of the list due a second ago, running the program.
std::vector<TQMTask*> MakeDue(TQMTaskScheduler& list, int due, const std::string& program,
                              const std::string& parameters) {
    std::vector<TQMTask*> tasks;
    const TDateTime opened = dt::Now() - 1.0 / dt::SecsPerDay;
    for (int i = 0; i < due; ++i) {
        TQMTask* task = list.GetTask(i * (list.Count() / due));
        task->Active = true;
        task->Daily = true;
        task->DateTime = opened;
        task->TaskFileName = program;
        task->TaskParameters = parameters;
        task->LastResult.clear();
        task->ResetLastExecuted();
        tasks.push_back(task);
    }
    return tasks;
}

// 500 runs of a program that sleeps a second, started by one poll, end
// together; the longest time the window did not answer from the poll's end
// until every end is recorded and saved. Eight tasks due from 1.6 s to 2.3 s
// after the poll began start on the precise timer meanwhile, among the ends
// (the poll itself takes up to about a second and a half to start the 500):
// how late each started goes to `lateMs`.
double TimeEndsTogether(TFormMain& window, int ends, std::vector<double>& lateMs) {
    TQMTaskScheduler& list = window.TaskList();
    const std::vector<TQMTask*> ending = MakeDue(list, ends, "/bin/sleep", "1");
    std::vector<TQMTask*> starting;
    const TDateTime polled = dt::Now();
    for (int i = 0; i < 8; ++i) {
        TQMTask* task = list.GetTask(list.Count() / ends / 2 + i);
        task->Active = true;
        task->Daily = true;
        task->Weekly = task->OneShot = false;
        task->DateTime = polled + (1.6 + 0.1 * i) / dt::SecsPerDay;
        task->TaskFileName = "/bin/true";
        task->ResetLastExecuted();
        starting.push_back(task);
    }
    const TDateTime notRun = starting.front()->DateTimeLastExecuted;
    list.TimerTick();
    TGapProbe probe;
    const auto done = [](const std::vector<TQMTask*>& tasks, const auto& test) {
        return std::all_of(tasks.begin(), tasks.end(), test);
    };
    SpinUntil([&] {
        return done(ending, [](const TQMTask* t) { return !t->LastResult.empty(); }) &&
               done(starting, [&](const TQMTask* t) { return t->DateTimeLastExecuted != notRun; });
    });
    // The ends are saved with the next poll.
    SpinFor(TQMTaskScheduler::PollIntervalMs + 200);
    AwaitSaves(window);
    for (const TQMTask* task : starting)
        lateMs.push_back((task->DateTimeLastExecuted - task->DateTime) * dt::MSecsPerDay);
    return probe.longest;
}

// The same 500 programs ending together beside a bare window with the
// program's two timers, watched with QProcess; the file written once.
double TimeBareEndsTogether(int ends, const TBareList& bare) {
    const bench_support::TBareWindow window;
    QApplication::processEvents();
    std::vector<std::unique_ptr<QProcess>> children;
    int ended = 0;
    for (int i = 0; i < ends; ++i) {
        auto& child = children.emplace_back(std::make_unique<QProcess>());
        QObject::connect(child.get(), &QProcess::finished, [&] {
            if (++ended == ends)
                bare.Write();
        });
        child->start(QStringLiteral("/bin/sleep"), {QStringLiteral("1")});
    }
    TGapProbe probe;
    SpinUntil([&] { return ended == ends; });
    return probe.longest;
}

// A poll in which `due` tasks start, until the window answers a key pressed
// as the poll began. Their windows opened a second ago, so the poll sees no
// step of the clock.
double TimePoll(TFormMain& window, int due) {
    TQMTaskScheduler& list = window.TaskList();
    static_cast<void>(MakeDue(list, due, "/bin/true", ""));
    TKeyProbe keys;
    ListOf(window)->installEventFilter(&keys);
    QElapsedTimer clock;
    clock.start();
    QCoreApplication::postEvent(ListOf(window),
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier));
    list.TimerTick();
    SpinUntil([&] { return keys.answered; });
    const double ms = clock.nsecsElapsed() / 1e6;
    ListOf(window)->removeEventFilter(&keys);
    AwaitSaves(window);
    return ms;
}

double NowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Child: the program's window made, filled and painted; prints when.
int RunStartProgram() {
    TFormMain window;
    window.show();
    QApplication::processEvents();
    ListOf(window)->viewport()->repaint();
    std::printf("%.3f\n", NowMs());
    return 0;
}

// Child: the bare start, a Qt program that reads the same file line by
// line with QTextStream and shows the list's five columns of each task
// section in a QTreeWidget; prints when its list is painted.
int RunStartBare(const std::string& file) {
    QFile in(QString::fromStdString(file));
    if (!in.open(QIODevice::ReadOnly))
        return 2;
    QTextStream text(&in);
    QTreeWidget tree;
    tree.setColumnCount(5);
    tree.setUniformRowHeights(true);
    QList<QTreeWidgetItem*> rows;
    QStringList row;
    const auto addRow = [&] {
        if (!row.isEmpty())
            rows.append(new QTreeWidgetItem(row));
        row = QStringList(5);
    };
    QString line;
    while (text.readLineInto(&line)) {
        if (line.startsWith(u"[tasks\\")) {
            addRow();
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (row.isEmpty() || eq < 0)
            continue;
        const QStringView key = QStringView(line).left(eq);
        const QString value = line.mid(eq + 1);
        if (key == u"taskname")
            row[0] = value;
        else if ((key == u"daily" || key == u"weekly" || key == u"one_shot") && value == u"1")
            row[1] = key.toString();
        else if (key == u"datetime")
            row[2] = value.right(9);
        else if (key == u"active")
            row[3] = value == u"1" ? QStringLiteral("Yes") : QStringLiteral("No");
        else if (key == u"datetime_lastexecuted")
            row[4] = value;
    }
    addRow();
    if (rows.isEmpty())
        return 2;
    tree.addTopLevelItems(rows);
    tree.resize(665, 400);
    tree.show();
    QApplication::processEvents();
    tree.viewport()->repaint();
    std::printf("%.3f\n", NowMs());
    return 0;
}

// Child: the lean reader's start; prints when its list is painted.
int RunStartLean(const std::string& file) {
    bench_support::TLeanTaskModel model;
    if (!model.Load(QString::fromStdString(file)))
        return 2;
    QTreeView view;
    view.setUniformRowHeights(true);
    view.setRootIsDecorated(false);
    view.setModel(&model);
    view.resize(665, 400);
    view.show();
    QApplication::processEvents();
    view.viewport()->repaint();
    std::printf("%.3f\n", NowMs());
    return 0;
}

long PeakKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// Child: the peak memory after a load and after one toggle and save.
int RunPeak() {
    TQMTaskScheduler tasks;
    TQMTaskSchedulerSettings store(tasks);
    if (!store.Load())
        return 2;
    const long afterLoad = PeakKb();
    tasks.GetTask(tasks.Count() / 2)->Active = !tasks.GetTask(tasks.Count() / 2)->Active;
    if (!store.Save())
        return 2;
    std::printf("%ld %ld\n", afterLoad, PeakKb());
    return 0;
}

int RunIdleProgram(int spanMs) {
    TFormMain window;
    window.show();
    return bench_support::MeasureIdle(spanMs);
}

QByteArray RunChild(const QStringList& arguments) {
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), arguments);
    child.waitForFinished(-1);
    if (child.exitCode() != 0)
        throw std::runtime_error("child failed: " + child.readAllStandardError().toStdString());
    return child.readAllStandardOutput().trimmed();
}

void MeasureSize(int count, bool withPoll) {
    const std::string file = MakeSettingsFile(count);
    const QString bareFile = QString::fromStdString(file + ".bare");
    const std::string n = std::to_string(count);

    // Start: a process of its own, from its start to the filled, painted list.
    const auto timeStart = [](const QStringList& arguments) {
        std::vector<double> times;
        for (int i = 0; i < 3; ++i) {
            const double started = NowMs();
            times.push_back(RunChild(arguments).toDouble() - started);
        }
        return Median(times);
    };
    const double programStart = timeStart({QStringLiteral("--start-program")});
    Print("start " + n, programStart,
          timeStart({QStringLiteral("--start-bare"), QString::fromStdString(file)}));
    Print("start " + n + " against the lean reader", programStart,
          timeStart({QStringLiteral("--start-lean"), QString::fromStdString(file)}));

    QFile settings(QString::fromStdString(file));
    if (!settings.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read the settings file");
    TBareList bare(count, settings.readAll(), bareFile.toStdString());
    const auto startWindow = [count] {
        auto window = std::make_unique<TFormMain>();
        window->show();
        QApplication::processEvents();
        if (ListOf(*window)->model()->rowCount() < count - Repeats)
            throw std::runtime_error("the list is not filled");
        AwaitSaves(*window); // none is asked for by a start, as yet
        return window;
    };
    // The first edit after a start, each in a window of its own.
    std::vector<double> first;
    std::vector<double> bareFirst;
    std::unique_ptr<TFormMain> window;
    for (int i = 0; i < 3; ++i) {
        window.reset();
        window = startWindow();
        first.push_back(ProgramToggle(*window));
        bareFirst.push_back(bare.Toggle());
    }
    Print("first edit " + n, Median(first), Median(bareFirst));

    TEditTimes edits;
    TEditTimes reference;
    TimeEdits(*window, bare, edits, reference);
    Print("add " + n, Median(edits.Add), Median(reference.Add));
    Print("delete " + n, Median(edits.Delete), Median(reference.Delete));
    Print("toggle " + n, Median(edits.Toggle), Median(reference.Toggle));
    window->SortBy(TFormMain::ColFrequency);
    TEditTimes sorted;
    TEditTimes sortedReference;
    TimeEdits(*window, bare, sorted, sortedReference);
    Print("add " + n + " sorted", Median(sorted.Add), Median(sortedReference.Add));
    Print("delete " + n + " sorted", Median(sorted.Delete), Median(sortedReference.Delete));
    Print("toggle " + n + " sorted", Median(sorted.Toggle), Median(sortedReference.Toggle));
    QElapsedTimer stampClock;
    stampClock.start();
    const double stamp = TimeRunningStamp(*window);
    Print("running stamp " + n + ", longest time the window did not answer", stamp,
          TimeIdleGap(static_cast<int>(stampClock.elapsed())));
    if (withPoll) {
        window->SortBy(TFormMain::ColFrequency); // back to descending; still sorted
        Print("poll starting one " + n, TimePoll(*window, 1), bare.Toggle());
        const double many = TimePoll(*window, 500);
        std::printf("poll starting 500 %s, until the window answers a key: %.1f ms, goal 1000 "
                    "ms, ratio %.2f\n",
                    n.c_str(), many, many / 1000.0);
        std::vector<double> lateMs;
        const double ends = TimeEndsTogether(*window, 500, lateMs);
        Print("500 runs ending together", ends, TimeBareEndsTogether(500, bare));
        const double latest = *std::max_element(lateMs.begin(), lateMs.end());
        std::printf("8 precise starts among 500 runs ending together: median %.1f ms late, at "
                    "most %.1f ms, goal 100 ms, ratio %.2f\n",
                    Median(lateMs), latest, latest / 100.0);
        std::fflush(stdout);
    }
    window.reset();
    QApplication::processEvents();

    const QList<QByteArray> peak = RunChild({QStringLiteral("--peak")}).split(' ');
    const double afterLoad = peak.value(0).toDouble() / 1024;
    const double afterSave = peak.value(1).toDouble() / 1024;
    std::printf("peak memory after a save %s: %.0f MB, after the load %.0f MB, ratio %.2f\n",
                n.c_str(), afterSave, afterLoad, afterSave / afterLoad);
    std::fflush(stdout);
    fs::remove(file);
    fs::remove(bareFile.toStdString());
}

void MeasureIdleCost(int count, int seconds) {
    const std::string file = MakeSettingsFile(count);
    const QString span = QString::number(seconds * 1000);
    QProcess program;
    QProcess bare;
    program.start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("--idle-program"), span});
    bare.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--idle-bare"), span});
    program.waitForFinished(-1);
    bare.waitForFinished(-1);
    const double programMs = program.readAllStandardOutput().trimmed().toDouble();
    const double bareMs = bare.readAllStandardOutput().trimmed().toDouble();
    std::printf("idle %d (%d s, CPU time): %.1f ms, bare %.1f ms, ratio %.2f\n", count, seconds,
                programMs, bareMs, programMs / bareMs);
    fs::remove(file);
}

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::string mode = argc >= 2 ? argv[1] : "";
    TLogFileModule logFile;
    TSupportLibrary support;
    if (mode == "--peak")
        return RunPeak();
    QApplication app(argc, argv);
    if (mode == "--idle-program" && argc >= 3)
        return RunIdleProgram(std::stoi(argv[2]));
    if (mode == "--idle-bare" && argc >= 3)
        return bench_support::MeasureIdleBareWindow(std::stoi(argv[2]));
    if (mode == "--start-program")
        return RunStartProgram();
    if (mode == "--start-bare" && argc >= 3)
        return RunStartBare(argv[2]);
    if (mode == "--start-lean" && argc >= 3)
        return RunStartLean(argv[2]);

    std::vector<int> sizes;
    int idleSeconds = 20;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--idle" && i + 1 < argc)
            idleSeconds = std::stoi(argv[++i]);
        else
            sizes.push_back(std::stoi(argv[i]));
    }
    if (sizes.empty())
        sizes = {10000, 100000};

    // The settings and the log live in a folder of our own, for the children too.
    const fs::path data =
        fs::temp_directory_path() / ("qmts-editcost-" + std::to_string(std::random_device{}()));
    fs::create_directories(data);
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(data.string()));
    int result = 0;
    try {
        for (const int count : sizes)
            MeasureSize(count, count <= 10000);
        if (idleSeconds > 0)
            MeasureIdleCost(sizes.front(), idleSeconds);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        result = 1;
    }
    fs::remove_all(data);
    return result;
}
