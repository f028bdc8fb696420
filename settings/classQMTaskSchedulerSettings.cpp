#include "settings/classQMTaskSchedulerSettings.h"

#include "lib/DateTimeUtil.h"
#include "lib/InOutError.h"
#include "lib/QMException.h"
#include "lib/classQMSystemDirectories.h"
#include "lib/classQMTaskSchedulerUtils.h"
#include "lib/classZQStringUtil.h"
#include "platform/files.h"
#include "platform/textfile.h"
#include "scheduler/TaskLog.h"
#include "scheduler/classQMTask.h"
#include "scheduler/classQMTaskScheduler.h"
#include "settings/classQMLogFile.h"
#include "settings/classQMSettings.h"

#include <cstdio>
#include <unordered_set>

namespace {

const char* const PreferencesSection = "QMTaskScheduler";
const char* const TasksSectionPrefix = "Tasks\\";
const char* const LogFileBaseName = "qmtaskscheduler2.log";

} // namespace

TQMTaskSchedulerSettings::TQMTaskSchedulerSettings(TQMTaskScheduler& taskList)
    : taskList_(taskList), settings_(std::make_unique<TQMSettings>()) {
    settings_->IniType = "qmtaskscheduler";
    settings_->FileName = "qmtaskscheduler2.ini";
    settings_->ProgramFolder = platform::ProgramFolder();
    settings_->UserFolder =
        TQMSystemDirectories::GetLocalAppDataFolder() + "Quillmar/QMTaskScheduler/";
    SetDefaults();
    // Every task run hands its log line to this store.
    SetTaskLogHandler([this](const std::string& line) { Log(line); });
}

TQMTaskSchedulerSettings::~TQMTaskSchedulerSettings() {
    SetTaskLogHandler({});
}

TQMSettings& TQMTaskSchedulerSettings::Settings() const {
    return *settings_;
}

void TQMTaskSchedulerSettings::SetDefaults() {
    AskWhenClose = true;
    AskWhenExecuteTaskManually = true;
}

TStoreResult TQMTaskSchedulerSettings::Load() {
    try {
        // Only "no file there" means no settings: a folder in the file's
        // place or a folder that cannot be searched is a failure to report.
        const std::string chosen = settings_->ChosenFileName();
        if (const int error = platform::FileLookupError(chosen))
            throw io::MakeInOutError(error, false, "Cannot open file \"" + chosen + "\". ");
        settings_->Load();
        unreadableFile_.clear();
        ReadFromSettings();
    } catch (const Exception& e) {
        // What is there but could not be read must survive the next save;
        // remember it so that Save can set it aside first (when it is there
        // by then).
        unreadableFile_ = settings_->ChosenFileName();
        return {false, e.Message};
    }
    return {};
}

TStoreResult TQMTaskSchedulerSettings::Save() {
    try {
        if (!KeepUnreadableFile())
            return {false, "The settings file " + unreadableFile_ +
                               " could not be read and could not be set aside; it is kept "
                               "unchanged."};
        WriteToSettings();
        settings_->Save();
    } catch (const Exception& e) {
        return {false, e.Message};
    }
    return {};
}

bool TQMTaskSchedulerSettings::KeepUnreadableFile() {
    if (unreadableFile_.empty())
        return true;
    const bool lookedUp = platform::FileLookupError(unreadableFile_) == 0;
    if (lookedUp && !platform::FileExists(unreadableFile_)) {
        unreadableFile_.clear(); // nothing there (any more) to lose
        return true;
    }
    // Still hidden (a folder that cannot be searched): writing would replace
    // a file nobody has seen.
    if (!lookedUp && !platform::DirectoryExists(unreadableFile_))
        return false;
    const bool inProgramFolder = unreadableFile_ == settings_->ProgramFolderFileName();
    const std::string keptName =
        unreadableFile_ + ".unreadable-" + dt::FormatDateTime("yyyymmdd-hhnnsszzz", dt::Now());
    if (std::rename(unreadableFile_.c_str(), keptName.c_str()) != 0)
        return false;
    setAsideFile_ = keptName;
    // The file in the program folder decides where settings live; an empty
    // placeholder keeps that choice for the save that follows.
    // It is a new file, so it is made for its owner only, like any new
    // settings file.
    if (inProgramFolder && platform::WriteFileAtomically(unreadableFile_, {}) != 0)
        return false;
    unreadableFile_.clear();
    return true;
}

void TQMTaskSchedulerSettings::ReadFromSettings() {
    SetDefaults();
    settings_->ReadBool(PreferencesSection, "askwhenclose", AskWhenClose);
    settings_->ReadBool(PreferencesSection, "askwhenexecutetaskmanually",
                        AskWhenExecuteTaskManually);
    ReadTasks();
}

void TQMTaskSchedulerSettings::WriteToSettings() {
    settings_->Clear();
    settings_->WriteBool(PreferencesSection, "askwhenclose", AskWhenClose);
    settings_->WriteBool(PreferencesSection, "askwhenexecutetaskmanually",
                         AskWhenExecuteTaskManually);
    WriteTasks();
}

void TQMTaskSchedulerSettings::ReadTasks() {
    taskList_.ClearTasks();
    for (int i = 0; i < settings_->SectionCount(); ++i) {
        const TQMSettingsSection& section = settings_->Section(i);
        if (section.IsSubsectionOf("tasks")) {
            TQMTask* task = taskList_.AddNewTask();
            ReadTask(section.Name, *task);
        }
    }
}

void TQMTaskSchedulerSettings::WriteTasks() {
    // Section names are trimmed and compared without letter case, so
    // identifiers are too.
    auto sectionKey = [](const std::string& guid) {
        return TZQStringUtil::LowerCase(TZQStringUtil::Trim(guid));
    };
    std::unordered_set<std::string> used;
    for (int i = 0; i < taskList_.Count(); ++i) {
        TQMTask* task = taskList_.GetTask(i);
        // Two tasks with one identifier would share a section and one would
        // be lost at the next load: the later one gets a new identifier.
        while (!task->Guid.empty() && used.count(sectionKey(task->Guid)))
            task->Guid = TQMTaskSchedulerUtils::NewTaskIdentifier();
        WriteTask(*task);
        used.insert(sectionKey(task->Guid));
    }
}

void TQMTaskSchedulerSettings::ReadTask(const std::string& sectionName, TQMTask& task) {
    TQMSettings& s = *settings_;
    const std::string& n = sectionName;
    s.ReadString(n, "taskname", task.TaskName);
    s.ReadString(n, "guid", task.Guid);
    s.ReadString(n, "taskfilename", task.TaskFileName);
    s.ReadString(n, "taskparameters", task.TaskParameters);
    s.ReadBool(n, "active", task.Active);
    s.ReadBool(n, "weekly", task.Weekly);
    s.ReadBool(n, "daily", task.Daily);
    s.ReadBool(n, "one_shot", task.OneShot);
    s.ReadDateTime(n, "datetime", task.DateTime);
    s.ReadBool(n, "monday", task.Monday);
    s.ReadBool(n, "tuesday", task.Tuesday);
    s.ReadBool(n, "wednesday", task.Wednesday);
    s.ReadBool(n, "thursday", task.Thursday);
    s.ReadBool(n, "friday", task.Friday);
    s.ReadBool(n, "saturday", task.Saturday);
    s.ReadBool(n, "sunday", task.Sunday);
    s.ReadDateTime(n, "datetime_lastexecuted", task.DateTimeLastExecuted);
}

void TQMTaskSchedulerSettings::WriteTask(TQMTask& task) {
    if (task.Guid.empty())
        task.Guid = TQMTaskSchedulerUtils::NewTaskIdentifier();
    TQMSettings& s = *settings_;
    const std::string n = TasksSectionPrefix + task.Guid;
    s.WriteString(n, "taskname", task.TaskName);
    s.WriteString(n, "guid", task.Guid);
    s.WriteString(n, "taskfilename", task.TaskFileName);
    s.WriteString(n, "taskparameters", task.TaskParameters);
    s.WriteBool(n, "active", task.Active);
    s.WriteBool(n, "weekly", task.Weekly);
    s.WriteBool(n, "daily", task.Daily);
    s.WriteBool(n, "one_shot", task.OneShot);
    s.WriteDateTime(n, "datetime", task.DateTime);
    s.WriteBool(n, "monday", task.Monday);
    s.WriteBool(n, "tuesday", task.Tuesday);
    s.WriteBool(n, "wednesday", task.Wednesday);
    s.WriteBool(n, "thursday", task.Thursday);
    s.WriteBool(n, "friday", task.Friday);
    s.WriteBool(n, "saturday", task.Saturday);
    s.WriteBool(n, "sunday", task.Sunday);
    s.WriteDateTime(n, "datetime_lastexecuted", task.DateTimeLastExecuted);
}

std::string TQMTaskSchedulerSettings::LogFileName() const {
    return settings_->ChosenFolder() + LogFileBaseName;
}

void TQMTaskSchedulerSettings::Log(const std::string& text) {
    if (!LogFile)
        return;
    // The user folder appears with the first save; a run before that still
    // gets its line. When the folder cannot be made, the write reports it.
    const std::string folder = settings_->ChosenFolder();
    (void)platform::ForceDirectories(folder);
    LogFile->FileName = folder + LogFileBaseName;
    LogFile->AddLine(text);
}
