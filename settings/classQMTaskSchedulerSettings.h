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
class TStartJournal;

// Outcome of a load or save: never raised, but never hidden either.
struct TStoreResult {
    bool Ok = true;
    std::string Error; // the failure's message when !Ok
    // The system's own words for the failure's error number, when it had one.
    std::string SystemText;
    explicit operator bool() const { return Ok; }
};

// What one save writes: the file's pieces in order, and what keeps their
// bytes alive. Taken where the tasks live; written anywhere.
struct TSaveSnapshot {
    std::vector<std::string_view> Pieces;
    std::vector<std::shared_ptr<const std::string>> Keep;
    // The start journal's records that the pieces hold.
    std::uint64_t JournalRecords = 0;
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
    // added or changed since the last save (or, for the first save, since
    // the load); the bytes are those that WriteToSettings and a save of the
    // settings' lines would give. TakeSnapshot, then WriteSnapshot.
    [[nodiscard]] TStoreResult Save();
    // The file as it should be now, rendered from the tasks and preferences:
    // on the thread that changes them. Raises Exception.
    std::shared_ptr<const TSaveSnapshot> TakeSnapshot();
    // Writes a snapshot where the location rule says, replacing the file
    // atomically. Touches neither the tasks nor the preferences, so it may
    // run on another thread, one write at a time, with no TakeSnapshot or
    // Load meanwhile.
    [[nodiscard]] TStoreResult WriteSnapshot(const TSaveSnapshot& snapshot);
    // On the tasks' thread, after WriteSnapshot succeeded: the start journal
    // may let go of what the file now holds.
    void SnapshotWritten(const TSaveSnapshot& snapshot);
    // How many task sections were rendered so far: the others were written
    // as the last save or the load left them.
    std::uint64_t RenderedSections() const { return renderedSections_; }

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
        // Blank line, header and key lines: in Rendered, or in the loaded
        // file's text. A snapshot shares either, so neither changes in place.
        std::string_view Text;
        std::shared_ptr<const std::string> Rendered;
    };
    // Brings every listed task's section up to date; false when identifiers
    // clash, which only a render of all of them in list order settles.
    bool RenderChangedSections();
    void RenderAllSections();
    void RenderSection(TQMTask& task, TSectionText& section);
    // Keeps a loaded section's bytes as its rendering when they are exactly
    // what a save would write for the task read from it.
    void KeepLoadedSection(const TQMSettingsSection& entry, const TQMTask& task);
    std::string RenderPreferences() const;

    // Fills one task from the lines of one section entry.
    void ReadTaskSection(const TQMSettingsSection& section, TQMTask& task);

    // Reads the start journal beside the settings file into the task list
    // and has the list write its starts there.
    void OpenStartJournal();

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
    std::unique_ptr<TStartJournal> journal_;
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
    std::uint64_t renderedSections_ = 0;
    // The text of the last load, while sections point into it.
    std::shared_ptr<const std::string> loadedText_;
};
