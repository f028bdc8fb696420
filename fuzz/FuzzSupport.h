#pragma once

#include "lib/DateTimeUtil.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TQMTask;
class TQMTaskScheduler;

// A failed check ends the run the way a sanitizer does, so that libFuzzer
// keeps the input that broke it.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond))                                                                               \
            fuzz_support::Fail(__FILE__, __LINE__, #cond);                                         \
    } while (0)

namespace fuzz_support {

[[noreturn]] void Fail(const char* file, int line, const char* condition);

// The fuzzer's bytes as a text.
std::string Text(const std::uint8_t* data, std::size_t size);

// A folder of this process, made on first use and removed at exit; every
// input of one process reuses it. Ends in '/'.
const std::string& ScratchFolder();

// Writes the bytes to the file, replacing it.
void WriteBytes(const std::string& path, const std::string& bytes);

// The program-wide objects a task list and an application store need: a
// Qt core application for the polling timer, the support library for task
// identifiers, a fixed clock on a whole millisecond (so that a time stamp
// written and read back is the same value).
void StartProgramObjects();

// The fixed clock's value.
TDateTime FixedNow();

// ASCII upper case, for probing case-insensitive lookups.
std::string Upper(std::string text);

// Every field of the task, the identifier included: texts and flags exactly,
// date-times to the millisecond (what the settings file keeps).
bool SameTask(const TQMTask& a, const TQMTask& b);

// Saves the task list through an application store in the scratch folder and
// loads it into a second list, the way the program does after an import or
// an edit; checks that both lists hold the same tasks, identifiers included
// (the save gives every task without one an identifier).
void CheckSaveAndLoadKeepsTasks(TQMTaskScheduler& list, bool askWhenClose, bool askWhenExecute);

} // namespace fuzz_support
