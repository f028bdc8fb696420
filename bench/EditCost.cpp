// What an edit, a scheduled run, a start and idling cost the main window with
// many tasks, each beside a bare Qt reference measured in the same run on the
// same machine. One line per measure:
//     <measure>: <project> ms, bare <reference> ms, ratio <r>
// The edits drive the window's own commands, their editor and question
// answered through the real widgets, from the click that ends the dialog to
// the repainted list; the bare reference is a QTreeWidget one-row change plus
// writing and syncing a file of the same bytes.
//
//     build/bench/EditCost [sizes...] [--idle seconds]   (default 10000 100000, 20 s)
//
// Offscreen unless QT_QPA_PLATFORM says otherwise. The machine's load counts:
// run it on a quiet machine, or note the load beside the figures.
#include "bench/VariedTasks.h"
#include "lib/SupportLibrary.h"
#include "platform/textfile.h"
#include "scheduler/classQMTaskScheduler.h"
#include "settings/classQMLogFile.h"
#include "settings/classQMSettings.h"
#include "settings/classQMTaskSchedulerSettings.h"
#include "ui/FMain.h"
#include "ui/FTaskEdit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int Repeats = 5;

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

// Runs the command; its dialog, once open, is answered by `answer`, which
// starts the clock just before the click that closes it. Returns the time
// from that click to the repainted list.
double TimeCommand(TFormMain& window, const std::function<void()>& command,
                   const std::function<void(QWidget* dialog)>& answer) {
    QElapsedTimer clock;
    QTimer::singleShot(0, &window, [&] {
        // The answer's last step is a click queued behind the clock's start.
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            answer(dialog);
            clock.start();
        }
    });
    command();
    ListOf(window)->viewport()->repaint();
    if (!clock.isValid())
        throw std::runtime_error("the command opened no dialog");
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

TEditTimes TimeEdits(TFormMain& window) {
    TEditTimes times;
    QTreeView* list = ListOf(window);
    for (int i = 0; i < Repeats; ++i) {
        times.Add.push_back(TimeCommand(
            window, [&] { window.findChild<QAction*>(QStringLiteral("ActionAddTask"))->trigger(); },
            [](QWidget* editor) {
                Child<QLineEdit>(editor, "EditTaskName")->setText(QStringLiteral("added"));
                Child<QLineEdit>(editor, "EditTaskFileName")->setText(QStringLiteral("/bin/true"));
                Child<QRadioButton>(editor, "RadioDaily")->setChecked(true);
                QTimer::singleShot(0, Child<QPushButton>(editor, "ButtonSave"),
                                   &QPushButton::click);
            }));
        SelectRow(window, list->model()->rowCount() / 2);
        times.Toggle.push_back(TimeCommand(
            window,
            [&] { window.findChild<QAction*>(QStringLiteral("ActionModifyTask"))->trigger(); },
            [](QWidget* editor) {
                Child<QCheckBox>(editor, "CheckActive")->toggle();
                // Some varied tasks have no frequency, which the editor refuses.
                if (!Child<QRadioButton>(editor, "RadioDaily")->isChecked() &&
                    !Child<QRadioButton>(editor, "RadioWeekly")->isChecked() &&
                    !Child<QRadioButton>(editor, "RadioOne_Shot")->isChecked())
                    Child<QRadioButton>(editor, "RadioDaily")->setChecked(true);
                QTimer::singleShot(0, Child<QPushButton>(editor, "ButtonSave"),
                                   &QPushButton::click);
            }));
        SelectRow(window, list->model()->rowCount() / 3);
        times.Delete.push_back(TimeCommand(
            window,
            [&] { window.findChild<QAction*>(QStringLiteral("ActionRemoveTask"))->trigger(); },
            [](QWidget* box) {
                for (QAbstractButton* button : static_cast<QMessageBox*>(box)->buttons())
                    if (button->text() == QStringLiteral("&Yes"))
                        QTimer::singleShot(0, button, &QAbstractButton::click);
            }));
    }
    return times;
}

// The bare reference: one row added, removed or changed in a QTreeWidget of
// count rows, repainted, and the same bytes written and synced.
TEditTimes TimeBareEdits(int count, const QByteArray& bytes, const QString& file) {
    QTreeWidget tree;
    tree.setColumnCount(5);
    tree.setUniformRowHeights(true);
    tree.resize(665, 400);
    QList<QTreeWidgetItem*> rows;
    for (int i = 0; i < count; ++i)
        rows.append(new QTreeWidgetItem(QStringList{
            QStringLiteral("Task %1").arg(i), QStringLiteral("daily"), QStringLiteral("12:00"),
            QStringLiteral("Yes"), QStringLiteral("2026-Dec-07 / 12:00")}));
    tree.addTopLevelItems(rows);
    tree.show();
    QApplication::processEvents();
    const auto write = [&] {
        QSaveFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
            throw std::runtime_error("cannot write the bare file");
    };
    const auto timed = [&](const std::function<void()>& change) {
        QElapsedTimer clock;
        clock.start();
        change();
        tree.viewport()->repaint();
        write();
        return clock.nsecsElapsed() / 1e6;
    };
    TEditTimes times;
    for (int i = 0; i < Repeats; ++i) {
        times.Add.push_back(timed([&] {
            tree.addTopLevelItem(new QTreeWidgetItem(QStringList{QStringLiteral("added")}));
        }));
        times.Toggle.push_back(timed([&] {
            QTreeWidgetItem* item = tree.topLevelItem(tree.topLevelItemCount() / 2);
            item->setText(3, item->text(3) == QStringLiteral("Yes") ? QStringLiteral("No")
                                                                    : QStringLiteral("Yes"));
        }));
        times.Delete.push_back(
            timed([&] { delete tree.takeTopLevelItem(tree.topLevelItemCount() / 3); }));
    }
    return times;
}

// A poll in which `due` tasks start, until the list is repainted and the
// file saved. Their windows opened a second ago, so the poll sees no step of
// the clock.
double TimePoll(TFormMain& window, int due) {
    TQMTaskScheduler& list = window.TaskList();
    const TDateTime opened = dt::Now() - 1.0 / dt::SecsPerDay;
    for (int i = 0; i < due; ++i) {
        TQMTask* task = list.GetTask(i * (list.Count() / due));
        task->Active = true;
        task->Daily = true;
        task->DateTime = opened;
        task->TaskFileName = "/bin/true";
        task->TaskParameters.clear();
        task->ResetLastExecuted();
    }
    QElapsedTimer clock;
    clock.start();
    list.TimerTick();
    ListOf(window)->viewport()->repaint();
    return clock.nsecsElapsed() / 1e6;
}

// The bare start: the same file read and a QTreeWidget of one row per
// section shown.
double TimeBareStart(const std::string& file) {
    QElapsedTimer clock;
    clock.start();
    std::string bytes;
    if (platform::ReadWholeFile(file, bytes) != 0)
        throw std::runtime_error("cannot read the settings file");
    QTreeWidget tree;
    tree.setColumnCount(5);
    tree.setUniformRowHeights(true);
    QList<QTreeWidgetItem*> rows;
    for (std::size_t at = bytes.find("\n["); at != std::string::npos;
         at = bytes.find("\n[", at + 1))
        rows.append(
            new QTreeWidgetItem(QStringList{QString::fromLatin1(bytes.data() + at + 2, 40)}));
    tree.addTopLevelItems(rows);
    tree.resize(665, 400);
    tree.show();
    QApplication::processEvents();
    return clock.nsecsElapsed() / 1e6;
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

int MeasureIdle(int spanMs) {
    QEventLoop warmUp;
    QTimer::singleShot(2000, &warmUp, &QEventLoop::quit);
    warmUp.exec();
    const std::clock_t start = std::clock();
    QEventLoop span;
    QTimer::singleShot(spanMs, &span, &QEventLoop::quit);
    span.exec();
    std::printf("%.3f\n", 1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
    return 0;
}

int RunIdleProgram(int spanMs) {
    TFormMain window;
    window.show();
    return MeasureIdle(spanMs);
}

int RunIdleBare(int spanMs) {
    QMainWindow window;
    auto* clock = new QLabel(&window);
    window.statusBar()->addWidget(clock);
    QTimer second;
    QObject::connect(&second, &QTimer::timeout, [clock] {
        clock->setText(
            QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MMM-dd hh:mm:ss")));
    });
    second.start(1000);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [] {});
    poll.start(2000);
    window.resize(665, 480);
    window.show();
    return MeasureIdle(spanMs);
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

    // Start: window created to its filled, painted list.
    QElapsedTimer clock;
    clock.start();
    auto window = std::make_unique<TFormMain>();
    window->show();
    QApplication::processEvents();
    ListOf(*window)->viewport()->repaint();
    const double startMs = clock.nsecsElapsed() / 1e6;
    if (ListOf(*window)->model()->rowCount() != count)
        throw std::runtime_error("the list is not filled");
    Print("start " + n, startMs, TimeBareStart(file));

    QFile settings(QString::fromStdString(file));
    if (!settings.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read the settings file");
    const QByteArray bytes = settings.readAll();
    const TEditTimes bare = TimeBareEdits(count, bytes, bareFile);
    const TEditTimes edits = TimeEdits(*window);
    Print("add " + n, Median(edits.Add), Median(bare.Add));
    Print("delete " + n, Median(edits.Delete), Median(bare.Delete));
    Print("toggle " + n, Median(edits.Toggle), Median(bare.Toggle));
    window->SortBy(TFormMain::ColFrequency);
    const TEditTimes sorted = TimeEdits(*window);
    Print("add " + n + " sorted", Median(sorted.Add), Median(bare.Add));
    Print("delete " + n + " sorted", Median(sorted.Delete), Median(bare.Delete));
    Print("toggle " + n + " sorted", Median(sorted.Toggle), Median(bare.Toggle));
    if (withPoll) {
        window->SortBy(TFormMain::ColFrequency); // back to descending; still sorted
        Print("poll starting one " + n, TimePoll(*window, 1), Median(bare.Toggle));
        const double many = TimePoll(*window, 500);
        std::printf("poll starting 500 %s: %.1f ms, goal 1000 ms, ratio %.2f\n", n.c_str(), many,
                    many / 1000.0);
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
        return RunIdleBare(std::stoi(argv[2]));

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
