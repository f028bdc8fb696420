// A whole year of the scheduler in Europe/Amsterdam and America/New_York,
// with the local clock jumping at the daylight-saving changes as a machine's
// does, and with random suspends, clock steps, hold-ups, program ends, kills
// and edits, many of them within a minute of a start window. The program's
// own timers fire, on simulated time: the poll every 2000 ms and the precise
// timer when the program arms it. Restarts load the settings file the
// program saved.
//
// What should have happened is worked out here from the events the simulation
// made, never from what the program says: a window is seen when a poll falls
// inside it, missed when it lies wholly between two looks. Every run is
// judged against that: a start must lie in its own window (and on time when
// the program was polling over the opening), a catch-up must stand for a
// start that was missed and told, at a moment the rules allow; no start runs
// twice; every start told missed is caught up or told "not caught up".
// Prints the fault counts by kind and ends with status 1 when any is not 0.
//
//     DaylightSavingYear [seed]
#include "lib/SupportLibrary.h"
#include "platform/clock.h"
#include "scheduler/TaskLog.h"
#include "scheduler/classQMTaskScheduler.h"
#include "settings/classQMSettings.h"
#include "settings/classQMTaskSchedulerSettings.h"

#include <QCoreApplication>
#include <QTimer>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr long long WindowMs = 30000;
constexpr long long DayMs = 86400000;

TDateTime Local(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    return dt::EncodeDateTime({year, month, day, hour, minute, second, 0});
}

TDateTime LocalAt(long long unixMs) {
    const platform::LocalTime t = platform::LocalTimeAt(unixMs);
    return dt::EncodeDateTime({t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond});
}

long long TimeOfDayMs(TDateTime t) {
    return static_cast<long long>(std::llround(dt::TimePart(t) * dt::MSecsPerDay));
}

struct Task {
    const char* Name;
    int Hour, Minute, Second;
    enum { Daily, Sunday, MondayThursday, OnceOnSpringDay, OnceOnAutumnDay, OnceEveryMonth } Kind;
};

// Start times around both changes: inside the skipped hour, its edges, a
// window the jump cuts, and the hour that comes twice; an ordinary morning
// start; one-shot tasks through the year for the restarts to hit.
const Task Tasks[] = {
    {"daily 01:30", 1, 30, 0, Task::Daily},
    {"daily 01:59:45", 1, 59, 45, Task::Daily},
    {"daily 02:00", 2, 0, 0, Task::Daily},
    {"daily 02:30", 2, 30, 0, Task::Daily},
    {"daily 02:59:59", 2, 59, 59, Task::Daily},
    {"daily 03:00", 3, 0, 0, Task::Daily},
    {"daily 09:00", 9, 0, 0, Task::Daily},
    {"daily 09:00:10", 9, 0, 10, Task::Daily},
    {"daily 23:59:45", 23, 59, 45, Task::Daily},
    {"sunday 02:30", 2, 30, 0, Task::Sunday},
    {"mo+th 12:00", 12, 0, 0, Task::MondayThursday},
    {"once 02:30 spring", 2, 30, 0, Task::OnceOnSpringDay},
    {"once 02:30 autumn", 2, 30, 0, Task::OnceOnAutumnDay},
    {"once 10:00 on the 15th", 10, 0, 0, Task::OnceEveryMonth},
};

struct Zone {
    const char* Name;
    TDateTime Spring, Autumn; // the days of the changes in 2026
};

// The kinds of fault, as printed.
enum Fault {
    Twice,         // a start that ran more than once
    OutOfWindow,   // a start that ran outside its window or on a day not meant
    Late,          // a start more than 50 ms after its window opened, polled over
    Silent,        // the latest start a gap hid, never told missed
    ToldNotMissed, // a start told missed that was seen or ran
    Unowed,        // a catch-up of no start that was missed, told and owed
    NotDue,        // a catch-up too early, too old, or with a start that serves it
    WrongStart,    // a catch-up naming another start than the one owed
    Spacing,       // a catch-up more than 5 s after the one before it, while owed
    Lost,          // a start owed a catch-up, neither caught up nor told
    FaultKinds
};
const char* const FaultNames[FaultKinds] = {
    "twice",  "out of window", "late",        "silent",  "told not missed",
    "unowed", "not due",       "wrong start", "spacing", "lost",
};
using Faults = std::array<int, FaultKinds>;

// One start of one task on one day, as the simulation sees it.
struct Occurrence {
    TDateTime Open = 0; // local
    bool Seen = false;  // a poll fell inside its window
    bool Missed = false;
    bool Told = false;
    bool Owed = false;    // told missed, the task catches up, nothing settled it
    bool Settled = false; // caught up, told "not caught up", or no longer owed
    long long ToldMs = 0; // monotonic
    long long OwedAtMs = 0;
    int Runs = 0;
};

struct SimTask {
    std::string Name;
    const Task* Rule = nullptr;
    bool CatchUp = false;
    TDateTime OneShotDay = 0;  // the day of a one-shot task
    TDateTime ChangedAt = 0;   // local moment its schedule was last set
    TDateTime LastRegular = 0; // local moment of its last start in its window
    std::map<TDateTime, Occurrence> Days;
    int OnTime = 0, CaughtUp = 0, ToldMissed = 0;
    mutable TDateTime windowDay = -1;
    mutable std::pair<long long, long long> window;

    bool MeantFor(TDateTime day) const {
        switch (Rule->Kind) {
        case Task::Daily:
            return true;
        case Task::Sunday:
            return dt::DayOfWeek(day) == 1;
        case Task::MondayThursday:
            return dt::DayOfWeek(day) == 2 || dt::DayOfWeek(day) == 5;
        default:
            return day == OneShotDay;
        }
    }
    // The window on the day in milliseconds since the local midnight, both
    // ends inclusive: a start time the clock jumps over opens at the first
    // local time after the jump, a window the jump cuts keeps 30 s of real
    // time, and no window runs past midnight.
    std::pair<long long, long long> Window(TDateTime day) const {
        if (day != windowDay) {
            window = WindowOn(day);
            windowDay = day;
        }
        return window;
    }
    std::pair<long long, long long> WindowOn(TDateTime day) const {
        const dt::DateTimeFields f = dt::DecodeDateTime(day);
        const platform::SkippedTimes skipped = platform::SkippedLocalTimes(f.Year, f.Month, f.Day);
        const long long gapFrom = skipped.StartSecond * 1000LL, gapTo = skipped.EndSecond * 1000LL;
        long long open = ((Rule->Hour * 60LL + Rule->Minute) * 60 + Rule->Second) * 1000;
        if (gapTo > gapFrom && open >= gapFrom && open < gapTo)
            open = gapTo;
        long long close = open + WindowMs;
        if (gapTo > gapFrom && open < gapFrom && close >= gapFrom)
            close += gapTo - gapFrom;
        return {open, std::min(close, DayMs - 1)};
    }
    TDateTime OpenOn(TDateTime day) const {
        return day + static_cast<double>(Window(day).first) / dt::MSecsPerDay;
    }
    Occurrence& On(TDateTime day) {
        Occurrence& o = Days[day];
        o.Open = OpenOn(day);
        return o;
    }
};

class Simulation {
public:
    Simulation(const Zone& zone, unsigned seed, const std::string& folder)
        : zone_(zone), random_(seed), folder_(folder) {}
    Faults Run();

private:
    long long Uniform(long long low, long long high) {
        return std::uniform_int_distribution<long long>(low, high)(random_);
    }
    bool Chance(double p) { return std::bernoulli_distribution(p)(random_); }
    TDateTime Now() const { return LocalAt(realMs_ + offsetMs_); }
    void Trace(const char* what, long long ms) {
        if (std::getenv("DAYLIGHT_SAVING_YEAR_TRACE") != nullptr)
            std::printf("    %s %s %lld ms\n",
                        dt::FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", Now()).c_str(), what, ms);
    }
    void Advance(long long ms) {
        realMs_ += ms;
        monotonicMs_ += ms;
    }
    void Report(Fault kind, const SimTask& sim, const std::string& what) {
        ++faults_[kind];
        if (faults_[kind] <= 3 || std::getenv("DAYLIGHT_SAVING_YEAR_TRACE") != nullptr)
            std::printf("  %s: %s %s at %s\n", FaultNames[kind], sim.Name.c_str(), what.c_str(),
                        dt::FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", Now()).c_str());
    }

    void Start();
    void Stop(bool orderly);
    void Save();
    void FireNow(QTimer* timer);
    void SetUp(TQMTask& task, SimTask& sim);
    SimTask* TaskNamed(const std::string& name);
    std::optional<TDateTime> StartNamed(const SimTask& sim, const std::string& text) const;

    // One look of the program (a poll or the precise timer) with the
    // simulation's account before and after.
    template <class Fire> void Look(Fire fire);
    void NoteTheGap(TDateTime since, TDateTime now);
    void Logged(const std::string& line);
    void Started(SimTask& sim);
    void CaughtUp(SimTask& sim, const std::string& named);
    void NoLongerOwed(SimTask& sim);
    void LookForLostCatchUps();
    long long MsToNextStart(const SimTask& sim, TDateTime at) const;
    void Event();
    long long NextEventMs();
    long long NearAWindow(long long low, long long high);

    const Zone& zone_;
    std::mt19937_64 random_;
    std::string folder_;
    long long realMs_ = 0;
    long long offsetMs_ = 0; // how far the wall clock is set from real time
    long long monotonicMs_ = 1'000'000;
    long long suspendedMs_ = 0;
    long long nextPollMs_ = 0;                // monotonic
    std::optional<long long> preciseAtMs_;    // monotonic
    long long lastSaveMs_ = 0;                // monotonic
    long long settledMs_ = 0;                 // catch-ups not before (monotonic)
    long long canActSinceMs_ = 0;             // end of the last hold-up (monotonic)
    long long undisturbedSinceMs_ = 0;        // monotonic end of the last event
    long long lastCatchUpMs_ = -1;            // monotonic
    std::optional<long long> killAtRunUntil_; // monotonic
    bool killNow_ = false;
    TDateTime lastLook_ = 0;
    TDateTime rolledOver_ = 0;
    int firings_ = 0;
    std::vector<SimTask> sims_;
    std::unique_ptr<TQMTaskScheduler> list_;
    std::unique_ptr<TQMTaskSchedulerSettings> store_;
    std::vector<std::string> skippedGaps_;             // of the look in progress
    std::vector<std::pair<SimTask*, TDateTime>> owed_; // told, maybe not settled
    Faults faults_{};
};

SimTask* Simulation::TaskNamed(const std::string& name) {
    for (SimTask& sim : sims_)
        if (sim.Name == name)
            return &sim;
    return nullptr;
}

void Simulation::SetUp(TQMTask& task, SimTask& sim) {
    const TDateTime now = Now();
    task.TaskName = sim.Name;
    task.TaskFileName = "/bin/true";
    task.CatchUp = sim.CatchUp;
    task.Daily = task.Weekly = task.OneShot = false;
    task.DateTime = Local(2025, 6, 1, sim.Rule->Hour, sim.Rule->Minute, sim.Rule->Second);
    switch (sim.Rule->Kind) {
    case Task::Daily:
        task.Daily = true;
        break;
    case Task::Sunday:
        task.Weekly = task.Sunday = true;
        break;
    case Task::MondayThursday:
        task.Weekly = task.Monday = task.Thursday = true;
        break;
    case Task::OnceOnSpringDay:
        sim.OneShotDay = zone_.Spring;
        break;
    case Task::OnceOnAutumnDay:
        sim.OneShotDay = zone_.Autumn;
        break;
    case Task::OnceEveryMonth: {
        dt::DateTimeFields f = dt::DecodeDateTime(now);
        if (f.Day >= 15 && ++f.Month > 12) {
            f.Month = 1;
            ++f.Year;
        }
        sim.OneShotDay = Local(f.Year, f.Month, 15);
        break;
    }
    }
    if (sim.OneShotDay > 0) {
        task.OneShot = true;
        task.DateTime += sim.OneShotDay - dt::DatePart(task.DateTime);
    }
    task.ScheduleChanged = now;
    sim.ChangedAt = now;
    NoLongerOwed(sim);
}

void Simulation::FireNow(QTimer* timer) {
    // Its wait is over on simulated time: the real timer fires now, through
    // the event loop, which also sees the ends of the runs.
    const int before = firings_;
    timer->start(0);
    for (int i = 0; i < 1000 && firings_ == before; ++i)
        QCoreApplication::processEvents();
    if (firings_ == before)
        std::printf("a timer did not fire\n");
}

void Simulation::Save() {
    lastSaveMs_ = monotonicMs_;
    const TStoreResult saved = store_->Save();
    if (!saved)
        std::printf("save failed: %s\n", saved.Error.c_str());
}

void Simulation::Start() {
    list_ = std::make_unique<TQMTaskScheduler>();
    // Its timers fire below, when their waits are over on simulated time.
    list_->Timer()->stop();
    for (QTimer* timer : {list_->Timer(), list_->PreciseTimer()})
        QObject::connect(timer, &QTimer::timeout, [this] { ++firings_; });
    list_->OnPollError = [](const std::string& message) {
        std::printf("poll error: %s\n", message.c_str());
    };
    list_->OnTasksExecuted = [this](QObject*) {
        // Killed after the starts, before the window saved them.
        if (killAtRunUntil_) {
            killNow_ = true;
            return;
        }
        Save();
    };
    store_ = std::make_unique<TQMTaskSchedulerSettings>(*list_);
    store_->Settings().ProgramFolder = folder_;
    store_->Settings().UserFolder = folder_;
    SetTaskLogHandler([this](const std::string& line) { Logged(line); });
    Trace("starts", 0);
    const TStoreResult loaded = store_->Load();
    if (!loaded)
        std::printf("load failed: %s\n", loaded.Error.c_str());
    nextPollMs_ = monotonicMs_ + TQMTaskScheduler::PollIntervalMs;
    preciseAtMs_.reset();
    settledMs_ = monotonicMs_ + CatchUpSettleMs;
    undisturbedSinceMs_ = monotonicMs_;
    lastSaveMs_ = monotonicMs_;
    killAtRunUntil_.reset();
    killNow_ = false;
}

void Simulation::Stop(bool orderly) {
    if (orderly)
        Save();
    QCoreApplication::processEvents(); // ends of runs seen so far
    store_.reset();
    list_.reset();
    // The account of what is owed stays: a program that keeps it catches up
    // soon after it is back.
}

std::optional<TDateTime> Simulation::StartNamed(const SimTask& sim, const std::string& text) const {
    // The start a log line names, among the task's days of the last weeks.
    const TDateTime today = dt::DatePart(Now());
    for (TDateTime day = today + 1; day > today - 20; day -= 1)
        if (dt::FormatDateTime("yyyy-mmm-dd hh:nn", sim.OpenOn(day)) == text)
            return day;
    return std::nullopt;
}

void Simulation::NoLongerOwed(SimTask& sim) {
    for (auto& [day, o] : sim.Days)
        if (o.Owed && !o.Settled)
            o.Settled = true;
}

void Simulation::LookForLostCatchUps() {
    // A program that keeps what it owes catches it up within a minute of
    // settling (5 s apart), or says why not: five minutes is plenty.
    std::erase_if(owed_, [this](const std::pair<SimTask*, TDateTime>& entry) {
        Occurrence& o = entry.first->On(entry.second);
        if (o.Settled)
            return true;
        if (monotonicMs_ < std::max({o.OwedAtMs, settledMs_, canActSinceMs_}) + 300000)
            return false;
        Report(Lost, *entry.first,
               "owed " + dt::FormatDateTime("yyyy-mmm-dd hh:nn", o.Open) + ", never settled");
        o.Settled = true;
        return true;
    });
}

long long Simulation::MsToNextStart(const SimTask& sim, TDateTime at) const {
    // 0 when its window is open and its start has not run.
    const TDateTime today = dt::DatePart(at);
    for (TDateTime day = today; day < today + 9; day += 1) {
        if (!sim.MeantFor(day))
            continue;
        const auto [open, close] = sim.Window(day);
        const TDateTime opens = day + static_cast<double>(open) / dt::MSecsPerDay;
        const TDateTime closes = day + static_cast<double>(close) / dt::MSecsPerDay;
        const auto o = sim.Days.find(day);
        const bool ran = o != sim.Days.end() && o->second.Runs > 0;
        if (opens <= at && at <= closes && !ran)
            return 0;
        if (opens > at)
            return std::llround((opens - at) * dt::MSecsPerDay);
    }
    return 9 * DayMs;
}

void Simulation::Started(SimTask& sim) {
    const TDateTime now = Now();
    const TDateTime day = dt::DatePart(now);
    const long long ms = TimeOfDayMs(now);
    if (!sim.MeantFor(day)) {
        Report(OutOfWindow, sim, "started on a day it is not meant for");
        return;
    }
    const auto [open, close] = sim.Window(day);
    Occurrence& o = sim.On(day);
    if (ms < open || ms > close) {
        Report(OutOfWindow, sim, "started outside its window");
        return;
    }
    if (o.Runs++ > 0)
        Report(Twice, sim, "started again");
    o.Settled = true; // its own start ran after all (the clock was set back)
    ++sim.OnTime;
    sim.LastRegular = now;
    // Real time since the opening: a window the jump cuts opens before it.
    const dt::DateTimeFields f = dt::DecodeDateTime(day);
    const platform::SkippedTimes skipped = platform::SkippedLocalTimes(f.Year, f.Month, f.Day);
    long long late = ms - open;
    if (skipped.EndSecond > skipped.StartSecond && open < skipped.StartSecond * 1000LL &&
        ms >= skipped.EndSecond * 1000LL)
        late -= (skipped.EndSecond - skipped.StartSecond) * 1000LL;
    if (late > 50 &&
        monotonicMs_ - late - 2 * TQMTaskScheduler::PollIntervalMs >= undisturbedSinceMs_)
        Report(Late, sim, "started " + std::to_string(late) + " ms after its window opened");
}

void Simulation::CaughtUp(SimTask& sim, const std::string& named) {
    const TDateTime now = Now();
    ++sim.CaughtUp;
    // The start it should stand for: the latest one owed.
    Occurrence* owed = nullptr;
    TDateTime owedDay = 0;
    for (auto& [day, o] : sim.Days)
        if (o.Owed && !o.Settled) {
            owed = &o;
            owedDay = day;
        }
    const std::optional<TDateTime> namedDay = StartNamed(sim, named);
    if (owed == nullptr) {
        Report(Unowed, sim, "caught up " + named + ", which nothing owed");
        if (namedDay && sim.On(*namedDay).Runs++ > 0)
            Report(Twice, sim, "caught up " + named + ", which had run");
        return;
    }
    if (!namedDay || *namedDay != owedDay)
        Report(WrongStart, sim,
               "caught up " + named + " for " +
                   dt::FormatDateTime("yyyy-mmm-dd hh:nn", owed->Open));
    owed->Settled = true;
    if (owed->Runs++ > 0)
        Report(Twice, sim, "caught up a start that had run");
    // The moment: settled after a start or a resume, at most 7 days after
    // the start, with no start of its own since or within the hour.
    if (monotonicMs_ < settledMs_)
        Report(NotDue, sim, "caught up before the desktop settled");
    else if (now - owed->Open > CatchUpMaxAgeDays)
        Report(NotDue, sim, "caught up a start more than 7 days old");
    else if (sim.LastRegular > owed->Open)
        Report(NotDue, sim, "caught up after a start of its own had run");
    else if (MsToNextStart(sim, now) <= NextStartServesMs)
        Report(NotDue, sim, "caught up with its next start within the hour");
    // Owed while the one before ran, with nothing in between: 5 s apart.
    if (lastCatchUpMs_ >= undisturbedSinceMs_ && owed->OwedAtMs <= lastCatchUpMs_ &&
        monotonicMs_ - lastCatchUpMs_ > CatchUpSpacingMs + 100)
        Report(Spacing, sim,
               "caught up " + std::to_string(monotonicMs_ - lastCatchUpMs_) +
                   " ms after the one before");
    lastCatchUpMs_ = monotonicMs_;
}

void Simulation::Logged(const std::string& line) {
    // task (<name>): <what> (<file>)
    const std::size_t close = line.find("): ");
    SimTask* sim = close == std::string::npos ? nullptr : TaskNamed(line.substr(6, close - 6));
    const std::size_t tail = line.rfind(" (");
    if (sim == nullptr || tail == std::string::npos || tail < close) {
        std::printf("unexpected log line: %s\n", line.c_str());
        return;
    }
    const std::string what = line.substr(close + 3, tail - close - 3);
    const std::string inPlaceOf = "executed, in place of its start at ";
    const std::string missed = "missed its start at ";
    if (what == "executed") {
        Started(*sim);
    } else if (what.rfind(inPlaceOf, 0) == 0) {
        CaughtUp(*sim, what.substr(inPlaceOf.size()));
    } else if (what.rfind(missed, 0) == 0) {
        const std::string named = what.substr(missed.size(), 17);
        const std::optional<TDateTime> day = StartNamed(*sim, named);
        ++sim->ToldMissed;
        if (!day) {
            Report(ToldNotMissed, *sim, "told " + named + ", no start of it");
            return;
        }
        Occurrence& o = sim->On(*day);
        if (!o.Missed || o.Runs > 0)
            Report(ToldNotMissed, *sim, "told " + named + (o.Runs > 0 ? ", which ran" : ", seen"));
        // A later start told missed stands for the earlier ones.
        NoLongerOwed(*sim);
        o.Told = true;
        o.ToldMs = monotonicMs_;
        if (sim->CatchUp && o.Runs == 0) {
            o.Owed = true;
            o.Settled = false;
            o.OwedAtMs = monotonicMs_;
            owed_.push_back({sim, *day});
        }
    } else if (what.rfind("not caught up", 0) == 0) {
        NoLongerOwed(*sim);
    } else {
        std::printf("unexpected log line: %s\n", line.c_str());
    }
}

void Simulation::NoteTheGap(TDateTime since, TDateTime now) {
    // The windows wholly between two looks were missed; the program must
    // tell the latest of each task after its schedule was set.
    if ((now - since) * dt::MSecsPerDay <= WindowMs)
        return;
    for (SimTask& sim : sims_) {
        std::optional<TDateTime> latest;
        for (TDateTime day = dt::DatePart(since); day <= dt::DatePart(now); day += 1) {
            if (!sim.MeantFor(day))
                continue;
            const auto [open, close] = sim.Window(day);
            const TDateTime opens = day + static_cast<double>(open) / dt::MSecsPerDay;
            const TDateTime closes = day + static_cast<double>(close) / dt::MSecsPerDay;
            if (opens <= since || closes >= now || opens <= sim.ChangedAt)
                continue;
            Occurrence& o = sim.On(day);
            if (o.Runs > 0 || o.Seen)
                continue;
            o.Missed = true;
            latest = day;
        }
        if (latest)
            skippedGaps_.push_back(sim.Name + "\n" + std::to_string(*latest));
    }
}

template <class Fire> void Simulation::Look(Fire fire) {
    const TDateTime now = Now();
    skippedGaps_.clear();
    if (lastLook_ > 0)
        NoteTheGap(lastLook_, now);
    lastLook_ = now;
    // What the program may see at this moment.
    const TDateTime day = dt::DatePart(now);
    const long long ms = TimeOfDayMs(now);
    for (SimTask& sim : sims_) {
        if (!sim.MeantFor(day))
            continue;
        const auto [open, close] = sim.Window(day);
        if (ms >= open && ms <= close && sim.ChangedAt < now)
            sim.On(day).Seen = true;
    }
    fire();
    for (const std::string& entry : skippedGaps_) {
        const std::size_t cut = entry.find('\n');
        SimTask& sim = *TaskNamed(entry.substr(0, cut));
        const Occurrence& o = sim.On(std::stod(entry.substr(cut + 1)));
        if (!o.Told && o.Runs == 0)
            Report(Silent, sim,
                   "missed " + dt::FormatDateTime("yyyy-mmm-dd hh:nn", o.Open) + " untold");
    }
    // The precise timer the look armed fires on simulated time.
    if (list_ && list_->PreciseTimer()->isActive())
        preciseAtMs_ = monotonicMs_ + list_->PreciseTimer()->interval();
    else
        preciseAtMs_.reset();
}

long long Simulation::NextEventMs() {
    // Half the events come within a minute of some task's window.
    if (Chance(0.5))
        return monotonicMs_ + Uniform(3600000LL, 10 * DayMs);
    const SimTask& sim = sims_[static_cast<std::size_t>(Uniform(0, std::ssize(sims_) - 1))];
    const long long toStart = MsToNextStart(sim, Now() + 1.0 / 24);
    return monotonicMs_ + 3600000 + toStart + Uniform(-60000, 60000);
}

long long Simulation::NearAWindow(long long low, long long high) {
    // Half of the long ones end within a minute of some task's window.
    const long long ms = Uniform(low, high);
    if (Chance(0.5))
        return ms;
    const SimTask& sim = sims_[static_cast<std::size_t>(Uniform(0, std::ssize(sims_) - 1))];
    const double afterMs = static_cast<double>(ms) / dt::MSecsPerDay;
    return std::max(low, ms + MsToNextStart(sim, Now() + afterMs) + Uniform(-60000, 60000));
}

void Simulation::Event() {
    const bool small = Chance(0.5);
    undisturbedSinceMs_ = monotonicMs_;
    switch (Uniform(0, 6)) {
    case 0: { // suspend
        const long long ms = small ? Uniform(5000, 300000) : NearAWindow(60000, 3 * DayMs);
        Trace("suspended for", ms);
        realMs_ += ms;
        suspendedMs_ += ms;
        nextPollMs_ = monotonicMs_; // overdue timers fire at once on resume
        if (ms >= StartWindowMs)
            settledMs_ = monotonicMs_ + CatchUpSettleMs;
        break;
    }
    case 1: // the clock is set forward, or back towards real time
        Trace("clock set from real time by", offsetMs_);
        offsetMs_ += offsetMs_ > 0 ? -Uniform(0, offsetMs_)
                                   : (small ? Uniform(5000, 120000) : Uniform(60000, 21600000));
        break;
    case 2: // the clock is set back, or forward towards real time
        Trace("clock set from real time by", offsetMs_);
        offsetMs_ -= offsetMs_ < 0 ? Uniform(offsetMs_, 0)
                                   : (small ? Uniform(5000, 120000) : Uniform(60000, 21600000));
        break;
    case 3: { // held up: stopped, or busy
        const long long ms = small ? Uniform(5000, 120000) : NearAWindow(120000, 5400000);
        Trace("held up for", ms);
        Advance(ms);
        nextPollMs_ = monotonicMs_;
        canActSinceMs_ = monotonicMs_;
        break;
    }
    case 4: // the program ends in order and is started again
        Trace("ends", 0);
        Stop(true);
        Advance(small ? Uniform(1000, 120000) : NearAWindow(60000, 4 * DayMs));
        Start();
        break;
    case 5: // killed after the starts of a poll, before it saved them, when
            // one comes within a minute; else then
        Trace("to be killed", 0);
        killAtRunUntil_ = monotonicMs_ + 60000;
        break;
    case 6: { // an edit of one task's schedule (the next date for "the 15th")
        SimTask& sim = sims_[static_cast<std::size_t>(Uniform(0, std::ssize(sims_) - 1))];
        for (int i = 0; i < list_->Count(); ++i)
            if (list_->GetTask(i)->TaskName == sim.Name)
                SetUp(*list_->GetTask(i), sim);
        Trace(sim.Name.c_str(), 0);
        Save();
        break;
    }
    }
    undisturbedSinceMs_ = monotonicMs_;
}

Faults Simulation::Run() {
    dt::UseTimeZone(zone_.Name);
    realMs_ = platform::InstantOfLocalTime({2026, 1, 1, 0, 0, 0, 500});
    dt::SetClock([this] { return Now(); });
    dt::SetClockReadings([this] {
        return dt::ClockReadings{realMs_ + offsetMs_, monotonicMs_, suspendedMs_};
    });
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    int number = 0;
    for (const Task& t : Tasks)
        for (bool catchUp : {false, true}) {
            SimTask sim;
            sim.Name = std::string(t.Name) + (catchUp ? " +catch-up" : "");
            sim.Rule = &t;
            sim.CatchUp = catchUp;
            sims_.push_back(std::move(sim));
        }
    Start();
    for (SimTask& sim : sims_) {
        TQMTask& task = *list_->AddNewTask();
        char guid[41];
        std::snprintf(guid, sizeof guid, "%040X", ++number);
        task.Guid = guid;
        SetUp(task, sim);
    }
    Save();

    const TDateTime end = Local(2027, 1, 1);
    long long nextEventMs = NextEventMs();
    while (Now() < end) {
        if (killNow_ || (killAtRunUntil_ && monotonicMs_ >= *killAtRunUntil_)) {
            Trace("killed", 0);
            Stop(false);
            Advance(Chance(0.5) ? Uniform(1000, 120000) : NearAWindow(60000, 4 * DayMs));
            Start();
            undisturbedSinceMs_ = monotonicMs_;
            // Another event soon after, now and then.
            if (Chance(0.3))
                nextEventMs = monotonicMs_ + Uniform(2000, 60000);
        }
        // Overdue timers (after a hold-up) fire at once.
        const bool precise = preciseAtMs_ && *preciseAtMs_ < nextPollMs_;
        const long long next = std::max(monotonicMs_, precise ? *preciseAtMs_ : nextPollMs_);
        if (nextEventMs <= next) {
            Advance(std::max(0LL, nextEventMs - monotonicMs_));
            Event();
            nextEventMs = Chance(0.3) ? monotonicMs_ + Uniform(2000, 60000) : NextEventMs();
            continue;
        }
        Advance(next - monotonicMs_);
        if (precise) {
            Look([this] { FireNow(list_->PreciseTimer()); });
            continue;
        }
        Look([this] {
            QTimer& poll = *list_->Timer();
            FireNow(&poll);
            poll.stop();
            poll.setInterval(TQMTaskScheduler::PollIntervalMs);
        });
        if (!owed_.empty())
            LookForLostCatchUps();
        nextPollMs_ += TQMTaskScheduler::PollIntervalMs;
        // A week after its day, the monthly one-shot task gets its next
        // date, as a user would set it.
        if (dt::DatePart(Now()) != rolledOver_) {
            rolledOver_ = dt::DatePart(Now());
            for (int i = 0; i < list_->Count(); ++i) {
                SimTask& sim = *TaskNamed(list_->GetTask(i)->TaskName);
                if (sim.Rule->Kind == Task::OnceEveryMonth && sim.OneShotDay < rolledOver_ - 8) {
                    SetUp(*list_->GetTask(i), sim);
                    Save();
                }
            }
        }
        // The program stamps that it runs every 10 minutes.
        if (monotonicMs_ - lastSaveMs_ >= 600000)
            Save();
    }
    Stop(true);
    SetTaskLogHandler({});
    dt::SetClock({});
    dt::SetClockReadings({});

    std::printf("%s (changes on %s and %s)\n", zone_.Name,
                dt::FormatDateTime("yyyy-mm-dd", zone_.Spring).c_str(),
                dt::FormatDateTime("yyyy-mm-dd", zone_.Autumn).c_str());
    std::printf("  %-32s %7s %7s %7s\n", "task", "on time", "told", "caught");
    for (const SimTask& sim : sims_)
        std::printf("  %-32s %7d %7d %7d\n", sim.Name.c_str(), sim.OnTime, sim.ToldMissed,
                    sim.CaughtUp);
    dt::UseTimeZone("");
    return faults_;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // the task list's timers need it
    TSupportLibrary support;
    const unsigned seed = argc > 1 ? static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)) : 19;
    // On a memory file system where there is one: every save is synced.
    const std::string base = std::filesystem::is_directory("/dev/shm")
                                 ? std::string("/dev/shm")
                                 : std::filesystem::temp_directory_path().string();
    const std::string folder =
        base + "/DaylightSavingYear-" + std::to_string(QCoreApplication::applicationPid()) + "/";
    const Zone zones[] = {
        {"Europe/Amsterdam", Local(2026, 3, 29), Local(2026, 10, 25)},
        {"America/New_York", Local(2026, 3, 8), Local(2026, 11, 1)},
    };
    Faults all{};
    for (std::size_t z = 0; z < std::size(zones); ++z) {
        std::seed_seq seq{seed, static_cast<unsigned>(z)};
        std::mt19937 mix(seq);
        Simulation simulation(zones[z], mix(), folder);
        const Faults f = simulation.Run();
        for (int k = 0; k < FaultKinds; ++k)
            all[static_cast<std::size_t>(k)] += f[static_cast<std::size_t>(k)];
    }
    std::filesystem::remove_all(folder);
    int total = 0;
    std::printf("seed %u faults:", seed);
    for (int k = 0; k < FaultKinds; ++k) {
        std::printf("%s %s %d", k == 0 ? "" : ",", FaultNames[k], all[static_cast<std::size_t>(k)]);
        total += all[static_cast<std::size_t>(k)];
    }
    std::printf("\n");
    return total == 0 ? 0 : 1;
}
