// What an edit, a scheduled run, a start and idling cost the main window with
// many tasks, each beside a bare Qt reference measured in the same run on the
// same machine. One line per measure:
//     <measure>: <project> ms, bare <reference> ms, ratio <r>
// The edits drive the window's own commands, their editor and question
// answered through the real widgets, from the click that ends the dialog to
// the repainted list; the bare reference is a QTreeWidget one-row change plus
// writing and syncing a file of the same bytes. A start is a process of its
// own, from its launch to its painted list; the bare reference reads the
// same file line by line with QTextStream and shows the list's five columns
// in a QTreeWidget.
//
//     build/bench/EditCost [sizes...] [--idle seconds]   (default 10000 100000, 20 s)
//
// Offscreen unless QT_QPA_PLATFORM says otherwise. The machine's load counts:
// run it on a quiet machine, or note the load beside the figures.
#include "bench/IdleWindow.h"
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
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
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
            [](QWidget* editor) -> QAbstractButton* {
                Child<QLineEdit>(editor, "EditTaskName")->setText(QStringLiteral("added"));
                Child<QLineEdit>(editor, "EditTaskFileName")->setText(QStringLiteral("/bin/true"));
                Child<QRadioButton>(editor, "RadioDaily")->setChecked(true);
                return Child<QPushButton>(editor, "ButtonSave");
            }));
        SelectRow(window, list->model()->rowCount() / 2);
        times.Toggle.push_back(TimeCommand(
            window,
            [&] { window.findChild<QAction*>(QStringLiteral("ActionModifyTask"))->trigger(); },
            [](QWidget* editor) -> QAbstractButton* {
                Child<QCheckBox>(editor, "CheckActive")->toggle();
                // Some varied tasks have no frequency, which the editor refuses.
                if (!Child<QRadioButton>(editor, "RadioDaily")->isChecked() &&
                    !Child<QRadioButton>(editor, "RadioWeekly")->isChecked() &&
                    !Child<QRadioButton>(editor, "RadioOne_Shot")->isChecked())
                    Child<QRadioButton>(editor, "RadioDaily")->setChecked(true);
                return Child<QPushButton>(editor, "ButtonSave");
            }));
        SelectRow(window, list->model()->rowCount() / 3);
        times.Delete.push_back(TimeCommand(
            window,
            [&] { window.findChild<QAction*>(QStringLiteral("ActionRemoveTask"))->trigger(); },
            [](QWidget* box) -> QAbstractButton* {
                for (QAbstractButton* button : static_cast<QMessageBox*>(box)->buttons())
                    if (button->text() == QStringLiteral("&Yes"))
                        return button;
                throw std::runtime_error("no Yes button");
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
    Print("start " + n, timeStart({QStringLiteral("--start-program")}),
          timeStart({QStringLiteral("--start-bare"), QString::fromStdString(file)}));

    auto window = std::make_unique<TFormMain>();
    window->show();
    QApplication::processEvents();
    if (ListOf(*window)->model()->rowCount() != count)
        throw std::runtime_error("the list is not filled");
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
        return bench_support::MeasureIdleBareWindow(std::stoi(argv[2]));
    if (mode == "--start-program")
        return RunStartProgram();
    if (mode == "--start-bare" && argc >= 3)
        return RunStartBare(argv[2]);

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
