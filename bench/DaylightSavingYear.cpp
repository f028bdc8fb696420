// A whole year of polls every 2000 ms of real time, in Europe/Amsterdam and
// America/New_York, with the local clock jumping at the daylight-saving
// changes as a machine's does, and with random suspends (minutes to days),
// clock steps forward and back, program restarts and edits. Prints, per zone
// and task, the days on which the task ran on time, was missed and logged,
// or was caught up, and the faults: days with two runs (or a run on a day
// not meant), misses nobody was told of, and catch-ups of starts more than 7
// days old or from before the task's last change. Every fault count must be
// 0; ends with status 1 otherwise. Takes a few minutes; not part of the suite.
#include "platform/clock.h"
#include "scheduler/TaskLog.h"
#include "scheduler/classQMTaskScheduler.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

TDateTime Local(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    return dt::EncodeDateTime({year, month, day, hour, minute, second, 0});
}

TDateTime LocalAt(long long unixMs) {
    const platform::LocalTime t = platform::LocalTimeAt(unixMs);
    return dt::EncodeDateTime({t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond});
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

// One task of the simulation, with catch-up on or off. A one-shot task "on
// the 15th" is a new one-shot task every month (the user adds the next one).
struct SimTask {
    std::string Name;
    const Task* Rule = nullptr;
    bool CatchUp = false;
    std::vector<TDateTime> Edits;  // moments its schedule was set
    std::map<TDateTime, int> Runs; // start day, runs standing for it
    std::set<TDateTime> Told;      // start days told missed
    std::set<TDateTime> CaughtUp;  // start days caught up
    int OldCatchUps = 0;           // more than 7 days old, or before an edit
};

struct Tally {
    int OnTime = 0, MissedTold = 0, CaughtUp = 0, Doubles = 0, Silent = 0, OldCatchUps = 0;
};

bool MeantFor(const SimTask& t, const Zone& zone, TDateTime day) {
    switch (t.Rule->Kind) {
    case Task::Daily:
        return true;
    case Task::Sunday:
        return dt::DayOfWeek(day) == 1;
    case Task::MondayThursday:
        return dt::DayOfWeek(day) == 2 || dt::DayOfWeek(day) == 5;
    case Task::OnceOnSpringDay:
        return day == zone.Spring;
    case Task::OnceOnAutumnDay:
        return day == zone.Autumn;
    case Task::OnceEveryMonth:
        return dt::DecodeDateTime(day).Day == 15;
    }
    return false;
}

class Simulation {
public:
    explicit Simulation(const Zone& zone, unsigned seed) : zone_(zone), random_(seed) {}

    Tally Run();

private:
    void Restart();
    void Poll();
    TDateTime Now() const { return LocalAt(unixMs_ + offsetMs_); }
    long long Uniform(long long low, long long high) {
        return std::uniform_int_distribution<long long>(low, high)(random_);
    }
    void SetUp(TQMTask& task, SimTask& sim, TDateTime now);

    const Zone& zone_;
    std::mt19937_64 random_;
    long long unixMs_ = 0;
    long long offsetMs_ = 0; // how far the wall clock is set from real time
    long long monotonicMs_ = 1'000'000;
    long long suspendedMs_ = 0;
    TDateTime lastSave_ = 0;
    long long lastSaveMs_ = 0; // monotonic
    TDateTime rolledOver_ = 0;
    std::vector<SimTask> sims_;
    std::unique_ptr<TQMTaskScheduler> list_;
    std::map<std::string, SimTask*> byName_;
};

void Simulation::SetUp(TQMTask& task, SimTask& sim, TDateTime now) {
    task.TaskName = sim.Name;
    task.TaskFileName = "/bin/true";
    task.CatchUp = sim.CatchUp;
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
        task.OneShot = true;
        task.DateTime += zone_.Spring - dt::DatePart(task.DateTime);
        break;
    case Task::OnceOnAutumnDay:
        task.OneShot = true;
        task.DateTime += zone_.Autumn - dt::DatePart(task.DateTime);
        break;
    case Task::OnceEveryMonth: {
        task.OneShot = true;
        dt::DateTimeFields f = dt::DecodeDateTime(now);
        if (f.Day >= 15 && ++f.Month > 12) {
            f.Month = 1;
            ++f.Year;
        }
        task.DateTime += Local(f.Year, f.Month, 15) - dt::DatePart(task.DateTime);
        break;
    }
    }
    task.ScheduleChanged = now;
    sim.Edits.push_back(now);
}

void Simulation::Restart() {
    auto list = std::make_unique<TQMTaskScheduler>();
    list->Timer()->stop(); // the simulation polls by itself
    byName_.clear();
    for (int i = 0; list_ && i < list_->Count(); ++i)
        list->AddCopy(list_->GetTask(i));
    list->OnPollError = [](const std::string& message) {
        std::printf("poll error: %s\n", message.c_str());
    };
    list->OnTasksExecuted = [this](QObject*) {
        lastSave_ = dt::Now();
        lastSaveMs_ = monotonicMs_;
    };
    list->OnStartsMissed = [this](const std::vector<TQMTaskScheduler::TMissedReport>& missed) {
        for (const TQMTaskScheduler::TMissedReport& report : missed)
            byName_.at(report.Task->TaskName)->Told.insert(dt::DatePart(report.Missed.Start));
    };
    list_ = std::move(list);
    for (SimTask& sim : sims_)
        byName_[sim.Name] = &sim;
    list_->LookForStartsMissedSince(lastSave_);
}

void Simulation::Poll() {
    list_->Tick(nullptr);
    // A week after its day, the monthly one-shot task gets its next date, as
    // a user would set it.
    if (dt::Today() != rolledOver_) {
        rolledOver_ = dt::Today();
        for (int i = 0; i < list_->Count(); ++i) {
            TQMTask& task = *list_->GetTask(i);
            SimTask& sim = *byName_.at(task.TaskName);
            if (sim.Rule->Kind == Task::OnceEveryMonth && task.DatePart() < rolledOver_ - 8)
                SetUp(task, sim, dt::Now());
        }
    }
    // The program stamps that it runs every 10 minutes.
    if (monotonicMs_ - lastSaveMs_ >= 600000) {
        lastSave_ = dt::Now();
        lastSaveMs_ = monotonicMs_;
    }
}

Tally Simulation::Run() {
    dt::UseTimeZone(zone_.Name);
    unixMs_ = platform::InstantOfLocalTime({2026, 1, 1, 0, 0, 0, 500});
    dt::SetClock([this] { return Now(); });
    dt::SetClockReadings([this] {
        return dt::ClockReadings{unixMs_ + offsetMs_, monotonicMs_, suspendedMs_};
    });
    for (const Task& t : Tasks)
        for (bool catchUp : {false, true}) {
            SimTask sim;
            sim.Name = std::string(t.Name) + (catchUp ? " +catch-up" : "");
            sim.Rule = &t;
            sim.CatchUp = catchUp;
            sims_.push_back(std::move(sim));
        }
    Restart();
    for (SimTask& sim : sims_)
        SetUp(*list_->AddNewTask(), sim, dt::Now());
    Restart();

    SetTaskLogHandler([this](const std::string& line) {
        const std::size_t close = line.find("): ");
        SimTask& sim = *byName_.at(line.substr(6, close - 6));
        const std::string result = line.substr(close + 3);
        if (result.rfind("executed (", 0) == 0) {
            ++sim.Runs[dt::Today()];
        } else if (result.rfind("executed, in place of", 0) == 0) {
            const TQMTask* task = nullptr;
            for (int i = 0; i < list_->Count(); ++i)
                if (list_->GetTask(i)->TaskName == sim.Name)
                    task = list_->GetTask(i);
            const TDateTime start = task->OccurrenceServed;
            ++sim.Runs[dt::DatePart(start)];
            sim.CaughtUp.insert(dt::DatePart(start));
            const TDateTime lastEdit = sim.Edits.back();
            if (dt::Now() - start > 7 || start < lastEdit)
                ++sim.OldCatchUps;
        } else if (result.rfind("missed its start", 0) != 0 &&
                   result.rfind("not caught up", 0) != 0) {
            std::printf("unexpected log line: %s\n", line.c_str());
        }
    });

    const TDateTime end = Local(2027, 1, 1);
    long long nextEventMs = unixMs_ + Uniform(3600000LL, 10LL * 86400000);
    while (dt::Now() < end) {
        Poll();
        unixMs_ += TQMTaskScheduler::PollIntervalMs;
        monotonicMs_ += TQMTaskScheduler::PollIntervalMs;
        if (unixMs_ < nextEventMs)
            continue;
        nextEventMs = unixMs_ + Uniform(3600000LL, 10LL * 86400000);
        switch (Uniform(0, 4)) {
        case 0: { // suspend, minutes to days
            const long long ms = Uniform(60000, 3LL * 86400000);
            unixMs_ += ms;
            suspendedMs_ += ms;
            break;
        }
        case 1: // the clock is set forward, or back towards real time
            offsetMs_ += offsetMs_ > 0 ? -Uniform(0, offsetMs_) : Uniform(60000, 6LL * 3600000);
            break;
        case 2: // the clock is set back, or forward towards real time
            offsetMs_ -= offsetMs_ < 0 ? Uniform(offsetMs_, 0) : Uniform(60000, 6LL * 3600000);
            break;
        case 3: { // the program ends for minutes to days
            const long long ms = Uniform(60000, 4LL * 86400000);
            lastSave_ = dt::Now();
            unixMs_ += ms;
            monotonicMs_ += ms;
            Restart();
            break;
        }
        case 4: { // an edit of one task's schedule (the next one-shot date for "the 15th")
            SimTask& sim = sims_[static_cast<std::size_t>(
                Uniform(0, static_cast<long long>(sims_.size()) - 1))];
            for (int i = 0; i < list_->Count(); ++i)
                if (list_->GetTask(i)->TaskName == sim.Name)
                    SetUp(*list_->GetTask(i), sim, dt::Now());
            break;
        }
        }
    }
    SetTaskLogHandler({});
    dt::SetClock({});
    dt::SetClockReadings({});
    list_.reset();

    // Days are judged up to a week before the end, so every start had its
    // chance to be told or caught up.
    const TDateTime first = Local(2026, 1, 2);
    const TDateTime last = end - 8;
    Tally all;
    std::printf("%s (changes on %s and %s)\n", zone_.Name,
                dt::FormatDateTime("yyyy-mm-dd", zone_.Spring).c_str(),
                dt::FormatDateTime("yyyy-mm-dd", zone_.Autumn).c_str());
    std::printf("  %-32s %7s %7s %7s %7s %7s %7s\n", "task", "on time", "told", "caught", "doubles",
                "silent", "old c.");
    for (const SimTask& sim : sims_) {
        Tally t;
        for (TDateTime day = first; day < last; day += 1) {
            const auto runs = sim.Runs.find(day);
            const int count = runs == sim.Runs.end() ? 0 : runs->second;
            const bool meant = MeantFor(sim, zone_, day);
            // The schedule as it was on that day: set before the day's start.
            TDateTime setAt = 0;
            for (TDateTime edit : sim.Edits)
                if (edit <= day + 1)
                    setAt = edit;
            const bool counts = meant && setAt < day; // set before the day began
            const bool told = sim.Told.count(day) > 0;
            if (count >= 2 || (count > 0 && !meant))
                ++t.Doubles;
            if (sim.CaughtUp.count(day) > 0)
                ++t.CaughtUp;
            else if (count == 1)
                ++t.OnTime;
            if (told)
                ++t.MissedTold;
            if (!counts || count > 0 || told)
                continue;
            // Only the latest of several missed starts is told: a later
            // start, with no run between, must have been.
            bool excused = false;
            for (TDateTime later = day + 1; later < end && !excused; later += 1) {
                if (!MeantFor(sim, zone_, later))
                    continue;
                excused = sim.Told.count(later) > 0;
                if (sim.Runs.count(later) > 0)
                    break;
            }
            if (!excused) {
                ++t.Silent;
                std::printf("  silent miss: %s on %s\n", sim.Name.c_str(),
                            dt::FormatDateTime("yyyy-mm-dd", day).c_str());
            }
        }
        t.OldCatchUps = sim.OldCatchUps;
        std::printf("  %-32s %7d %7d %7d %7d %7d %7d\n", sim.Name.c_str(), t.OnTime, t.MissedTold,
                    t.CaughtUp, t.Doubles, t.Silent, t.OldCatchUps);
        all.OnTime += t.OnTime;
        all.MissedTold += t.MissedTold;
        all.CaughtUp += t.CaughtUp;
        all.Doubles += t.Doubles;
        all.Silent += t.Silent;
        all.OldCatchUps += t.OldCatchUps;
    }
    dt::UseTimeZone("");
    return all;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // the task list's timers need it
    const Zone zones[] = {
        {"Europe/Amsterdam", Local(2026, 3, 29), Local(2026, 10, 25)},
        {"America/New_York", Local(2026, 3, 8), Local(2026, 11, 1)},
    };
    Tally all;
    unsigned seed = 19;
    for (const Zone& zone : zones) {
        Simulation simulation(zone, seed++);
        const Tally t = simulation.Run();
        all.Doubles += t.Doubles;
        all.Silent += t.Silent;
        all.OldCatchUps += t.OldCatchUps;
    }
    std::printf("doubles: %d   silent misses: %d   catch-ups too old or from before a change: %d\n",
                all.Doubles, all.Silent, all.OldCatchUps);
    return all.Doubles + all.Silent + all.OldCatchUps == 0 ? 0 : 1;
}
