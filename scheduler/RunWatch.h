#pragma once

#include "lib/RunRecord.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;
class QTimer;

// How a run came about.
enum class TRunKind { Scheduled, ByHand, Early, CaughtUp };
const char* RunKindText(TRunKind kind);

// Keeps the programs that tasks started as children: sees each end without
// blocking (a descriptor of the child, or SIGCHLD, watched by the event loop),
// reaps it, keeps the tail of its output, stops it and everything it started
// at its time limit, and reports every start and end. Durations and limits
// are measured on the monotonic clock. The task list owns one; task runs
// reach it through Current().
class TRunWatch {
public:
    // Fills a new run's Id and the file its output goes to (empty: none kept).
    using TPrepare = std::function<void(TRunRecord& run)>;
    // Gets a run when it starts (Outcome Running) and when it ends. An ended
    // run's output file is the receiver's to remove, once its record is safe.
    using TReport = std::function<void(const TRunRecord& run)>;

    static constexpr int CheckIntervalMs = 1000;
    // Time between SIGTERM at the limit and SIGKILL.
    static constexpr int KillGraceMs = 10000;
    // Disk an output file may take while its run goes on; cut back to its
    // last RunOutputTailBytes when it holds more.
    static constexpr std::size_t OutputFileLimit = 1024 * 1024;
    // Output read at one wake-up: a fast writer waits for the rest, and the
    // event loop goes on.
    static constexpr std::size_t OutputReadPerWake = 1024 * 1024;

    TRunWatch();
    ~TRunWatch();
    TRunWatch(const TRunWatch&) = delete;
    TRunWatch& operator=(const TRunWatch&) = delete;

    // The watch of the task list alive now; null when there is none.
    static TRunWatch* Current();

    TPrepare OnPrepare;
    TReport OnReport;

    // Whether runs go into scopes of the user's service manager: on when
    // one runs on the session bus at construction. Off, the processes that a
    // run leaves behind come back to this process and are tracked here.
    void UseScopes(bool use) { scopes_ = use; }

    // A new run's record: identifier, task, how and when, output file.
    TRunRecord NewRun(const std::string& taskGuid, const std::string& taskName, TRunKind kind,
                      TDateTime now);
    // Starts the program of the run as a watched child in the folder; with a
    // limit above 0 minutes it is stopped after that time. The run's start is
    // the moment the program started. Returns 0 or the errno value of the
    // failed start (then nothing is reported: the caller reports the run as
    // not started).
    [[nodiscard]] int StartProgram(TRunRecord run, const std::string& commandLine,
                                   const std::string& folder, const std::string& taskFileName,
                                   int timeLimitMinutes);
    // Reports a run that ended at its start (not started, a document handed on).
    void ReportFinished(TRunRecord run, TDateTime now);

    // Runs whose program has not ended.
    int Running() const;

private:
    struct TChild;
    void Check();
    void SeeEnds();
    void Finish(TChild& child);
    void ReadOutput(TChild& child, std::size_t budget);
    int Stop(TChild& child, bool force);
    void ReapOrphans();
    void Tidy();
    void TidySoon();
    // Every watch alive; the first listens for SIGCHLD for all of them.
    static std::vector<TRunWatch*>& AllWatches();
    void ListenForChildEnds();
    void Report(const TRunRecord& run);

    // Also runs whose program has ended while what it started is still to be
    // stopped or still holds its output open.
    std::vector<std::unique_ptr<TChild>> runs_;
    std::unique_ptr<QTimer> timer_;
    std::unique_ptr<QSocketNotifier> childEnds_;
    bool scopes_ = false;
    long long markers_ = 0;
};
