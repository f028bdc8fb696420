#pragma once

#include <memory>
#include <string>

class TQMSettings;
class TQMSettingsSection;
class TQMTask;
class TQMTaskScheduler;

// Outcome of a load or save: never raised, but never hidden either.
struct TStoreResult {
    bool Ok = true;
    std::string Error; // the failure's message when !Ok
    explicit operator bool() const { return Ok; }
};

// The application store: where the settings file lives, the two preferences,
// and the mapping of preferences and tasks onto the settings file.
class TQMTaskSchedulerSettings {
public:
    explicit TQMTaskSchedulerSettings(TQMTaskScheduler& taskList);
    virtual ~TQMTaskSchedulerSettings();
    TQMTaskSchedulerSettings(const TQMTaskSchedulerSettings&) = delete;
    TQMTaskSchedulerSettings& operator=(const TQMTaskSchedulerSettings&) = delete;

    TQMSettings& Settings() const;

    bool AskWhenClose = true;
    bool AskWhenExecuteTaskManually = true;
    // Closing the window hides it to the notification area. Off by default.
    bool KeepRunning = false;
    // The user asked for an autostart entry. Off by default.
    bool StartAtLogin = false;

    virtual void SetDefaults();

    [[nodiscard]] TStoreResult Load();
    [[nodiscard]] TStoreResult Save();

    void ReadFromSettings();
    void WriteToSettings();
    void ReadTasks();
    void WriteTasks();
    void ReadTask(const std::string& sectionName, TQMTask& task);
    void WriteTask(TQMTask& task);

    // Where the last settings file that could not be read was set aside;
    // empty when none was. Its tasks are no longer scheduled.
    const std::string& SetAsideFileName() const { return setAsideFile_; }

    std::string LogFileName() const;
    void Log(const std::string& text);

private:
    // Fills one task from the lines of one section entry.
    void ReadTaskSection(const TQMSettingsSection& section, TQMTask& task);

    // Sets aside a settings file that failed to load, so that a save never
    // replaces it; false when that was impossible.
    [[nodiscard]] bool KeepUnreadableFile();

    TQMTaskScheduler& taskList_;
    std::unique_ptr<TQMSettings> settings_;
    std::string unreadableFile_; // set by a failed load, until set aside
    std::string setAsideFile_;
};
