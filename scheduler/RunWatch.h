#pragma once

#include "lib/RunRecord.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

class QSocketNotifier;
class QTimer;

// How a run came about.
enum class TRunKind { Scheduled, ByHand, Early, CaughtUp };
const char* RunKindText(TRunKind kind);

// Keeps the programs that tasks started as children: sees each end without
// blocking (a descriptor of the child watched by the event loop), reaps it,
// keeps the tail of its output, stops it at its time limit, and reports
// every start and end. The task list owns one; task runs reach it through
// Current().
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

    TRunWatch();
    ~TRunWatch();
    TRunWatch(const TRunWatch&) = delete;
    TRunWatch& operator=(const TRunWatch&) = delete;

    // The watch of the task list alive now; null when there is none.
    static TRunWatch* Current();

    TPrepare OnPrepare;
    TReport OnReport;

    // A new run's record: identifier, task, how and when, output file.
    TRunRecord NewRun(const std::string& taskGuid, const std::string& taskName, TRunKind kind,
                      TDateTime now);
    // Starts the program of the run as a watched child in the folder; with a
    // limit above 0 minutes it is stopped after that time. Returns 0 or the
    // errno value of the failed start (then nothing is reported: the caller
    // reports the run as not started).
    [[nodiscard]] int StartProgram(TRunRecord run, const std::string& commandLine,
                                   const std::string& folder, const std::string& taskFileName,
                                   int timeLimitMinutes);
    // Reports a run that ended at its start (not started, a document handed on).
    void ReportFinished(TRunRecord run, TDateTime now);

    // Runs being watched.
    int Running() const { return static_cast<int>(runs_.size()); }

private:
    struct TChild;
    void Check();
    void Ended(int pid);
    void Report(const TRunRecord& run);

    std::map<int, std::unique_ptr<TChild>> runs_; // by process id
    std::unique_ptr<QTimer> timer_;
};
