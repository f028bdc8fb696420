#pragma once

#include "scheduler/classQMTask.h"

struct TNextStart {
    enum class TKind { At, Inactive, OneShotPast, NoWeekday };
    TKind Kind = TKind::Inactive;
    TDateTime When = 0; // local date-time the start window opens; only for At
};

// When the task will start next, seen at `now`, by the same rule the poll uses
// (including daylight-saving gaps): a window that is open now and not yet run counts.
// A task without any frequency never starts and answers Inactive.
TNextStart NextStart(const TQMTask& task, TDateTime now);
