#include "fuzz/FuzzSupport.h"

#include "lib/SupportLibrary.h"
#include "scheduler/classQMTask.h"
#include "scheduler/classQMTaskScheduler.h"
#include "settings/classQMSettings.h"
#include "settings/classQMTaskSchedulerSettings.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

namespace fs = std::filesystem;

namespace fuzz_support {

void Fail(const char* file, int line, const char* condition) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}

std::string Text(const std::uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

namespace {

struct Scratch {
    Scratch() {
        std::random_device rd;
        path = (fs::temp_directory_path() /
                ("qmts-fuzz-" + std::to_string(rd()) + "-" + std::to_string(rd())))
                   .string() +
               "/";
        fs::create_directories(path);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string path;
};

} // namespace

const std::string& ScratchFolder() {
    static Scratch scratch;
    return scratch.path;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    FUZZ_CHECK(out.good());
}

TDateTime FixedNow() {
    // 2026-12-07 10:30:15.250, a whole millisecond.
    static const TDateTime now = [] {
        TDateTime t = 0;
        FUZZ_CHECK(dt::TryEncodeDateTime({2026, 12, 7, 10, 30, 15, 250}, t));
        return t;
    }();
    return now;
}

void StartProgramObjects() {
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static TSupportLibrary support;
    dt::SetClock([] { return FixedNow(); });
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

namespace {

bool SameMillisecond(TDateTime a, TDateTime b) {
    const dt::DateTimeFields x = dt::DecodeDateTime(a);
    const dt::DateTimeFields y = dt::DecodeDateTime(b);
    return x.Year == y.Year && x.Month == y.Month && x.Day == y.Day && x.Hour == y.Hour &&
           x.Minute == y.Minute && x.Second == y.Second && x.Millisecond == y.Millisecond;
}

} // namespace

bool SameTask(const TQMTask& a, const TQMTask& b) {
    return SameMillisecond(a.DateTime, b.DateTime) &&
           SameMillisecond(a.DateTimeLastExecuted, b.DateTimeLastExecuted) &&
           a.Active == b.Active && a.Daily == b.Daily && a.Weekly == b.Weekly &&
           a.OneShot == b.OneShot && a.Monday == b.Monday && a.Tuesday == b.Tuesday &&
           a.Wednesday == b.Wednesday && a.Thursday == b.Thursday && a.Friday == b.Friday &&
           a.Saturday == b.Saturday && a.Sunday == b.Sunday && a.TaskName == b.TaskName &&
           a.TaskFileName == b.TaskFileName && a.Guid == b.Guid &&
           a.TaskParameters == b.TaskParameters;
}

namespace {

void PrintTask(const char* title, const TQMTask& t) {
    std::fprintf(stderr,
                 "%s: name [%s] guid [%s] file [%s] parameters [%s] start %.17g last %.17g "
                 "flags %d%d%d%d %d%d%d%d%d%d%d\n",
                 title, t.TaskName.c_str(), t.Guid.c_str(), t.TaskFileName.c_str(),
                 t.TaskParameters.c_str(), t.DateTime, t.DateTimeLastExecuted, t.Active, t.Daily,
                 t.Weekly, t.OneShot, t.Monday, t.Tuesday, t.Wednesday, t.Thursday, t.Friday,
                 t.Saturday, t.Sunday);
}

// The store's folders inside the scratch folder: the program folder stays
// without a settings file, so the user folder is the one written and read.
void PointAtScratch(TQMTaskSchedulerSettings& store) {
    const std::string& folder = ScratchFolder();
    fs::create_directories(folder + "program");
    store.Settings().ProgramFolder = folder + "program/";
    store.Settings().UserFolder = folder + "user/";
}

} // namespace

void CheckSaveAndLoadKeepsTasks(TQMTaskScheduler& list, bool askWhenClose, bool askWhenExecute) {
    {
        TQMTaskSchedulerSettings store(list);
        PointAtScratch(store);
        // A store that loaded nothing sets aside any file it finds there as
        // changed by another program; the round trip starts without one.
        fs::remove(store.Settings().UserFolderFileName());
        store.AskWhenClose = askWhenClose;
        store.AskWhenExecuteTaskManually = askWhenExecute;
        const TStoreResult saved = store.Save();
        FUZZ_CHECK(saved.Ok);
    }
    TQMTaskScheduler reloaded;
    TQMTaskSchedulerSettings store(reloaded);
    PointAtScratch(store);
    const TStoreResult loaded = store.Load();
    FUZZ_CHECK(loaded.Ok);
    FUZZ_CHECK(store.AskWhenClose == askWhenClose);
    FUZZ_CHECK(store.AskWhenExecuteTaskManually == askWhenExecute);
    FUZZ_CHECK(reloaded.Count() == list.Count());
    for (int i = 0; i < list.Count(); ++i) {
        FUZZ_CHECK(list.GetTask(i)->Guid.size() > 0);
        if (!SameTask(*list.GetTask(i), *reloaded.GetTask(i))) {
            PrintTask("saved", *list.GetTask(i));
            PrintTask("loaded", *reloaded.GetTask(i));
            FUZZ_CHECK(SameTask(*list.GetTask(i), *reloaded.GetTask(i)));
        }
    }
}

} // namespace fuzz_support
