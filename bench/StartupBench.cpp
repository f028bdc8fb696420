// Start of the program to a filled, painted main window with many varied
// tasks, on the offscreen platform: the window's creation, its first showing
// (which loads the settings file and fills the list) and the first paint.
// Beside it, the list's refill and its sort by each column, and a bare
// QTreeWidget filled with as many rows of the same texts.
#include "bench/VariedTasks.h"
#include "lib/SupportLibrary.h"
#include "settings/classQMLogFile.h"
#include "settings/classQMSettings.h"
#include "settings/classQMTaskSchedulerSettings.h"
#include "ui/FMain.h"

#include <QApplication>
#include <QTreeView>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <random>
#include <stdexcept>

namespace {

namespace fs = std::filesystem;

QTreeView* ListOf(const TFormMain& window) {
    auto* list = window.findChild<QTreeView*>(QStringLiteral("ListViewMain"));
    if (list == nullptr)
        throw std::runtime_error("no ListViewMain");
    return list;
}

// The settings file of count tasks where the program looks for it: the user
// folder under XDG_DATA_HOME, set to a folder of our own.
class TSettingsFile {
public:
    explicit TSettingsFile(int count) {
        TQMTaskScheduler tasks;
        bench_support::FillVariedTasks(tasks, count);
        bench_support::MakeNothingDue(tasks);
        TQMTaskSchedulerSettings store(tasks);
        if (store.Settings().ProgramFolderFileExists())
            throw std::runtime_error("a settings file beside the benchmark would be used");
        if (!store.Save())
            throw std::runtime_error("cannot save the settings file");
        file_ = store.Settings().ChosenFileName();
    }
    ~TSettingsFile() { fs::remove(file_); }
    TSettingsFile(const TSettingsFile&) = delete;
    TSettingsFile& operator=(const TSettingsFile&) = delete;

private:
    std::string file_;
};

void BM_StartToFilledWindow(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    TSettingsFile file(count);
    for (auto _ : state) {
        auto window = std::make_unique<TFormMain>();
        window->show();
        QApplication::processEvents(); // the first paint
        if (ListOf(*window)->model()->rowCount() != count)
            state.SkipWithError("the list is not filled");
        state.PauseTiming();
        window.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartToFilledWindow)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// One window loaded with count tasks for the fill and sort figures.
std::unique_ptr<TFormMain> LoadedWindow(int count) {
    auto window = std::make_unique<TFormMain>();
    window->show();
    QApplication::processEvents();
    if (ListOf(*window)->model()->rowCount() != count)
        throw std::runtime_error("the list is not filled");
    return window;
}

void BM_FillList(benchmark::State& state) {
    TSettingsFile file(static_cast<int>(state.range(0)));
    const auto window = LoadedWindow(static_cast<int>(state.range(0)));
    for (auto _ : state)
        window->FillListView();
}
BENCHMARK(BM_FillList)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_SortBy(benchmark::State& state) {
    const int count = 10000;
    TSettingsFile file(count);
    const auto window = LoadedWindow(count);
    const int column = static_cast<int>(state.range(0));
    for (auto _ : state)
        window->SortBy(column); // each call turns the order round
}
BENCHMARK(BM_SortBy)->DenseRange(0, TFormMain::ColumnCount - 1)->Unit(benchmark::kMillisecond);

// The same rows in a QTreeWidget with nothing of ours: the toolkit's share.
void BM_BareTreeWidgetFill(benchmark::State& state) {
    TQMTaskScheduler tasks;
    bench_support::FillVariedTasks(tasks, static_cast<int>(state.range(0)));
    QTreeWidget tree;
    tree.setColumnCount(TFormMain::ColumnCount);
    tree.show();
    for (auto _ : state) {
        tree.clear();
        QList<QTreeWidgetItem*> rows;
        for (int i = 0; i < tasks.Count(); ++i) {
            const TQMTask* t = tasks.GetTask(i);
            rows.append(new QTreeWidgetItem(QStringList{
                QString::fromStdString(t->TaskName), QString::fromStdString(t->FrequencyText()),
                QString::fromStdString(t->TimeText()), QString::fromStdString(t->ActiveText()),
                QString::fromStdString(t->LastExecutedText())}));
        }
        tree.addTopLevelItems(rows);
    }
}
BENCHMARK(BM_BareTreeWidgetFill)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    // A folder of our own for the settings file; no display needed.
    const fs::path data =
        fs::temp_directory_path() / ("qmts-startup-" + std::to_string(std::random_device{}()));
    fs::create_directories(data);
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(data.string()));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    TLogFileModule logFile;
    TSupportLibrary support;
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(data);
    return 0;
}
