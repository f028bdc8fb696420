#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class TQMSettings;
class TQMSettingsSection;
class TQMTask;
class TQMTaskScheduler;

// Outcome of a load or save: never raised, but never hidden either.
struct TStoreResult {
    bool Ok = true;
    std::string Error; // the failure's message when !Ok
    // The system's own words for the failure's error number, when it had one.
    std::string SystemText;
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
    // Writes the whole file, re-rendering only the sections of the tasks
    // added or changed since the last save; the bytes are those that
    // WriteToSettings and a save of the settings' lines would give.
    [[nodiscard]] TStoreResult Save();

    void ReadFromSettings();
    // Renders preferences and every task into the settings' lines.
    void WriteToSettings();
    void ReadTasks();
    void WriteTasks();
    void ReadTask(const std::string& sectionName, TQMTask& task);
    void WriteTask(TQMTask& task);

    // Where the last settings file that could not be read was set aside;
    // empty when none was. Its tasks are no longer scheduled.
    const std::string& SetAsideFileName() const { return setAsideFile_; }
    // Where the last save set aside a settings file that another program
    // had changed since the load or the save before; empty when none.
    const std::string& ChangedFileName() const { return changedFile_; }

    std::string LogFileName() const;
    void Log(const std::string& text);

private:
    // A task's section as the file has it, with what it was rendered from.
    struct TSectionText {
        std::uint64_t Fingerprint = 0; // of the task's values
        std::uint64_t GuidKey = 0;     // of its identifier, without letter case
        std::uint64_t Seen = 0;        // the save that last found the task listed
        std::string Text;              // blank line, header and key lines
    };
    // Brings every listed task's section up to date; false when identifiers
    // clash, which only a render of all of them in list order settles.
    bool RenderChangedSections();
    void RenderAllSections();
    void RenderSection(TQMTask& task, TSectionText& section);
    std::string RenderPreferences() const;

    // Fills one task from the lines of one section entry.
    void ReadTaskSection(const TQMSettingsSection& section, TQMTask& task);

    // Sets aside a settings file that failed to load, so that a save never
    // replaces it; false when that was impossible.
    [[nodiscard]] bool KeepUnreadableFile();
    // Sets aside a settings file that changed on disk since the last load
    // or save (a hand edit), so that the save does not write over it; false
    // when that was impossible.
    [[nodiscard]] bool KeepChangedFile();
    // Renames the file to file + suffix + a time stamp into keptName.
    [[nodiscard]] bool SetAside(const std::string& file, const char* suffix, std::string& keptName);

    TQMTaskScheduler& taskList_;
    std::unique_ptr<TQMSettings> settings_;
    std::string unreadableFile_; // set by a failed load, until set aside
    std::string setAsideFile_;
    std::string changedFile_;
    // By task; kept from save to save.
    std::unordered_map<const TQMTask*, TSectionText> sections_;
    // The listed tasks' sections in list order, as of the last render.
    struct TListedSection {
        const TQMTask* Task;
        TSectionText* Section;
    };
    std::vector<TListedSection> order_;
    // Which task's section carries an identifier (by GuidKey).
    std::unordered_map<std::uint64_t, const TQMTask*> guidOwners_;
    std::uint64_t saves_ = 0;
};
