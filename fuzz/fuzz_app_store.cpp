// The application store on any bytes as its settings file: the file loads,
// and a save and a second load give back the same preferences and the same
// tasks in the same order, every field equal. Identifiers read from the file
// survive unless two tasks share one or a section header cannot carry it.
#include "fuzz/FuzzSupport.h"
#include "lib/classZQStringUtil.h"
#include "scheduler/classQMTask.h"
#include "scheduler/classQMTaskScheduler.h"
#include "settings/classQMSettings.h"
#include "settings/classQMTaskSchedulerSettings.h"

#include <filesystem>
#include <set>

using fuzz_support::ScratchFolder;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_support::StartProgramObjects();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string user = ScratchFolder() + "user/";
    std::filesystem::create_directories(user);
    fuzz_support::WriteBytes(user + "qmtaskscheduler2.ini", fuzz_support::Text(data, size));

    TQMTaskScheduler list;
    TQMTaskSchedulerSettings store(list);
    std::filesystem::create_directories(ScratchFolder() + "program");
    store.Settings().ProgramFolder = ScratchFolder() + "program/";
    store.Settings().UserFolder = user;
    const TStoreResult loaded = store.Load();
    FUZZ_CHECK(loaded.Ok);

    // Each task comes from one section below "tasks\", in file order.
    int taskSections = 0;
    for (int i = 0; i < store.Settings().SectionCount(); ++i)
        if (store.Settings().Section(i).IsSubsectionOf("tasks"))
            ++taskSections;
    FUZZ_CHECK(list.Count() == taskSections);

    std::vector<std::string> guids;
    for (int i = 0; i < list.Count(); ++i)
        guids.push_back(list.GetTask(i)->Guid);

    fuzz_support::CheckSaveAndLoadKeepsTasks(list, store.AskWhenClose,
                                             store.AskWhenExecuteTaskManually);

    // Section names match trimmed and without letter case, so identifiers
    // are told apart the same way.
    std::set<std::string> seen;
    for (int i = 0; i < list.Count(); ++i) {
        const std::string key = TZQStringUtil::LowerCase(TZQStringUtil::Trim(guids[i]));
        // One holding ']' cannot name a section (a header ends at its first
        // ']') and is replaced too.
        if (!guids[i].empty() && guids[i].find(']') == std::string::npos && seen.insert(key).second)
            FUZZ_CHECK(list.GetTask(i)->Guid == guids[i]);
    }
    return 0;
}
