#pragma once

#include "lib/DateTimeUtil.h"
#include "platform/journalfile.h"

#include <cstdint>
#include <string>
#include <vector>

// A start a poll is about to make: the task's new stamps and the start it
// stands for (its window's opening, or the missed start a catch-up stands in
// for).
struct TStartClaim {
    std::string Guid;
    TDateTime Stamp = 0;  // the task's new last-run time
    TDateTime Served = 0; // the task's new served start; 0 for a start of its own
    TDateTime Start = 0;
};

// What an earlier run of the program wrote: a claim, and whether the attempt
// to start it was made afterwards (a start, a failed start, a start given up).
struct TRecalledClaim {
    TStartClaim Claim;
    bool Attempted = false;
    bool GivenUp = false; // the start was not made after all (no stamp was set)
};

// The small file beside the settings file that makes each start durable
// before its program starts: every poll writes its claims in one synced
// write, then one unsynced line per start attempt. A save of the settings
// that holds the stamps makes the file's records redundant, and it is
// emptied. Reading it back is idempotent: records older than the settings'
// stamps change nothing.
class TStartJournal {
public:
    explicit TStartJournal(const std::string& path);
    // An emptied file goes: an orderly end leaves nothing behind.
    ~TStartJournal();
    TStartJournal(const TStartJournal&) = delete;
    TStartJournal& operator=(const TStartJournal&) = delete;

    // One durable write for all claims of a poll; 0 or the errno.
    [[nodiscard]] int Claim(const std::vector<TStartClaim>& claims);
    // The start of a claim was attempted (or given up); it survives a kill
    // of the program as soon as this returns.
    [[nodiscard]] int Attempted(const TStartClaim& claim, bool givenUp);

    // The records of earlier runs, in the order they were written, one per
    // claim; unreadable lines are skipped.
    std::vector<TRecalledClaim> Read() const;
    static std::vector<TRecalledClaim> Parse(const std::string& text);

    // How many records were written so far; a save taken now holds them all.
    std::uint64_t Written() const { return written_; }
    // A save that held the first `written` records is on disk: the file is
    // emptied unless more were written since.
    void Saved(std::uint64_t written);

    const std::string& Path() const { return file_.Path(); }

private:
    platform::JournalFile file_;
    std::uint64_t written_ = 0;
    mutable bool holdsRecords_ = false; // the file may hold records to clear
};
