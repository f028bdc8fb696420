// The profile reader and the version-1 import on any bytes: the section list
// fits its buffer and names real sections, lookups ignore letter case and
// blanks around the names, values keep their limit; the import makes one task
// per listed section from exactly the values the reader gives, and the
// imported tasks survive a save and a load of the application store.
#include "fuzz/FuzzSupport.h"
#include "lib/Version1Values.h"
#include "platform/profile.h"
#include "scheduler/classQMTask.h"
#include "scheduler/classQMTaskScheduler.h"

using fuzz_support::ScratchFolder;

namespace {

const char* const Keys[] = {"taskfilename",
                            "taskparameters",
                            "active",
                            "weekly",
                            "daily",
                            "one_shot",
                            "time",
                            "date",
                            "monday",
                            "tuesday",
                            "wednesday",
                            "thursday",
                            "friday",
                            "saturday",
                            "sunday",
                            "time_last_executed",
                            "date_last_executed"};

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

// The date fields of one value and the time fields of another must make up
// the composed date-time.
void CheckComposed(TDateTime composed, TDateTime date, TDateTime time) {
    const dt::DateTimeFields c = dt::DecodeDateTime(composed);
    const dt::DateTimeFields d = dt::DecodeDateTime(date);
    const dt::DateTimeFields t = dt::DecodeDateTime(time);
    FUZZ_CHECK(c.Year == d.Year && c.Month == d.Month && c.Day == d.Day);
    FUZZ_CHECK(c.Hour == t.Hour && c.Minute == t.Minute && c.Second == t.Second &&
               c.Millisecond == t.Millisecond);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_support::StartProgramObjects();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = ScratchFolder() + "version1.ini";
    fuzz_support::WriteBytes(path, fuzz_support::Text(data, size));

    const platform::ProfileFile file(path);
    FUZZ_CHECK(file.IsOpen());
    const std::vector<std::string> names = file.SectionNames();
    std::size_t listSize = 1;
    for (const std::string& name : names) {
        FUZZ_CHECK(!name.empty() && !IsBlank(name.front()) && !IsBlank(name.back()));
        FUZZ_CHECK(name.find_first_of(std::string("\r\n\0", 3)) == std::string::npos);
        listSize += name.size() + 1;
        for (const char* key : Keys) {
            const std::string value = file.ReadString(name, key, "\x01");
            FUZZ_CHECK(value.size() <= platform::ProfileFile::MaxValueLength);
            FUZZ_CHECK(file.ReadString(" " + fuzz_support::Upper(name) + "\t",
                                       fuzz_support::Upper(key), "\x01") == value);
        }
    }
    FUZZ_CHECK(listSize <= platform::ProfileFile::SectionNameListSize);

    TQMTaskScheduler list;
    list.AddNewTask()->TaskName = "already there";
    list.ImportVersion1(path);
    FUZZ_CHECK(list.Count() == static_cast<int>(names.size()) + 1);
    FUZZ_CHECK(list.GetTask(0)->TaskName == "already there");

    TDateTime defaultDate = 0;
    FUZZ_CHECK(dt::TryEncodeDate(2000, 1, 1, defaultDate));
    for (std::size_t i = 0; i < names.size(); ++i) {
        const TQMTask& task = *list.GetTask(static_cast<int>(i) + 1);
        const std::string& name = names[i];
        auto value = [&](const char* key) { return file.ReadString(name, key, ""); };
        auto flag = [&](const char* key) { return version1::ReadFlag(value(key), false); };
        FUZZ_CHECK(task.TaskName == name);
        FUZZ_CHECK(task.Guid.empty());
        FUZZ_CHECK(task.TaskFileName == value("taskfilename"));
        FUZZ_CHECK(task.TaskParameters == value("taskparameters"));
        FUZZ_CHECK(task.Active == flag("active") && task.Weekly == flag("weekly") &&
                   task.Daily == flag("daily") && task.OneShot == flag("one_shot"));
        FUZZ_CHECK(task.Monday == flag("monday") && task.Tuesday == flag("tuesday") &&
                   task.Wednesday == flag("wednesday") && task.Thursday == flag("thursday") &&
                   task.Friday == flag("friday") && task.Saturday == flag("saturday") &&
                   task.Sunday == flag("sunday"));
        CheckComposed(task.DateTime, version1::ReadDate(value("date"), defaultDate),
                      version1::ReadTime(value("time"), 0.5));
        CheckComposed(task.DateTimeLastExecuted,
                      version1::ReadDate(value("date_last_executed"), TQMTask::NeverDate()),
                      version1::ReadTime(value("time_last_executed"), 0.0));
    }

    // The main window saves right after an import. The stores' cost grows
    // with the square of the task count; a few dozen tasks show every rule.
    if (list.Count() <= 64)
        fuzz_support::CheckSaveAndLoadKeepsTasks(list, true, false);
    return 0;
}
