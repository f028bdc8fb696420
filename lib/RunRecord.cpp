#include "lib/RunRecord.h"

std::string ResultText(const TRunRecord& run) {
    switch (run.Outcome) {
    case TRunOutcome::Running:
        return "still running";
    case TRunOutcome::Exited:
        return "exit status " + std::to_string(run.Code);
    case TRunOutcome::Signaled:
        return "ended by signal " + std::to_string(run.Code) +
               (run.Detail.empty() ? std::string() : " (" + run.Detail + ")");
    case TRunOutcome::NotStarted:
        return "could not start: " + run.Detail +
               (run.Tries > 1 ? " (" + std::to_string(run.Tries) + " tries)" : std::string());
    case TRunOutcome::TimedOut:
        return "stopped after " + std::to_string(run.Code) +
               (run.Code == 1 ? " minute" : " minutes");
    case TRunOutcome::Unknown:
        return "unknown";
    case TRunOutcome::Opened:
        return "opened with " + run.Detail;
    }
    return {};
}

bool IsFailure(const TRunRecord& run) {
    switch (run.Outcome) {
    case TRunOutcome::Exited:
        return run.Code != 0;
    case TRunOutcome::Signaled:
    case TRunOutcome::NotStarted:
    case TRunOutcome::TimedOut:
    case TRunOutcome::Unknown: // nobody saw it succeed
        return true;
    default:
        return false;
    }
}

long long DurationMs(const TRunRecord& run) {
    if (run.Outcome == TRunOutcome::Running)
        return 0;
    if (run.ElapsedMs >= 0)
        return run.ElapsedMs;
    if (run.End < run.Start)
        return 0;
    return static_cast<long long>((run.End - run.Start) * dt::MSecsPerDay + 0.5);
}
