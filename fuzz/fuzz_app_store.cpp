// The application store on any bytes as its settings file: the file loads,
// and a save and a second load give back the same preferences and the same
// tasks in the same order, every field equal. Identifiers of the program's
// own form read from the file survive unless two tasks share one.
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
    // Any bytes load: content that forms no settings text is reported, and
    // what could be read is loaded all the same.
    FUZZ_CHECK(loaded.Ok || !store.Settings().UnreadContent().empty());

    // Each task comes from one section below "tasks\" whose header is one,
    // in file order.
    int taskSections = 0;
    for (int i = 0; i < store.Settings().SectionCount(); ++i)
        if (store.Settings().Section(i).IsSubsectionOf("tasks") &&
            store.Settings().HasKeys(store.Settings().Section(i)))
            ++taskSections;
    FUZZ_CHECK(list.Count() == taskSections);

    std::vector<std::string> guids;
    for (int i = 0; i < list.Count(); ++i)
        guids.push_back(list.GetTask(i)->Guid);

    fuzz_support::CheckSaveAndLoadKeepsTasks(list, store.AskWhenClose,
                                             store.AskWhenExecuteTaskManually);

    // An identifier of the program's own form (40 hexadecimal digits) keeps
    // its task's section unless an earlier task has it already; section
    // names compare without letter case, so identifiers do.
    auto ownForm = [](const std::string& guid) {
        return guid.size() == 40 &&
               guid.find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos;
    };
    std::set<std::string> seen;
    for (int i = 0; i < list.Count(); ++i)
        if (ownForm(guids[i]) && seen.insert(TZQStringUtil::LowerCase(guids[i])).second)
            FUZZ_CHECK(list.GetTask(i)->Guid == guids[i]);
    return 0;
}
