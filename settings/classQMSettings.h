#pragma once

#include "lib/DateTimeUtil.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TQMSettings;

// One section of the settings file as found by the last load.
class TQMSettingsSection {
public:
    explicit TQMSettingsSection(TQMSettings* owner);
    virtual ~TQMSettingsSection() = default;
    TQMSettingsSection(const TQMSettingsSection&) = delete;
    TQMSettingsSection& operator=(const TQMSettingsSection&) = delete;

    // Empties Name and sets LineIndex and LineCount to 0.
    virtual void Reset();

    // True when Name lies below parent ("tasks" holds "Tasks\X"), without
    // regard to letter case. An empty parent holds nothing.
    bool IsSubsectionOf(std::string parent) const;

    TQMSettings* Owner;         // the store that made the entry; not owned
    std::string Name;           // as in the header line
    std::int32_t LineIndex = 0; // index in Lines of the header line
    std::int32_t LineCount = 0; // lines after the header up to the next header
};

// A store of named sections with key=value lines: the lines of one INI-style
// settings file, in file order, read and written whole.
//
// File format: every line ends in CR LF; headers are "[name]" and key lines
// "key=value", names and keys written trimmed and lower-cased; one empty
// line before every header but the first. Lookups trim each line and ignore
// letter case; the first matching header and key win.
class TQMSettings {
public:
    TQMSettings();
    virtual ~TQMSettings();
    TQMSettings(const TQMSettings&) = delete;
    TQMSettings& operator=(const TQMSettings&) = delete;

    // The file's lines as read or inserted, untrimmed.
    std::vector<std::string> Lines;
    std::string ProgramFolder; // ends in the folder separator
    std::string UserFolder;    // ends in the folder separator
    std::string FileName;      // without folder
    std::string IniType = "inifile";

    // Removes every line; the section list stays.
    void Clear();

    // Replaces the lines with the file's and rebuilds the section list.
    // False (and an empty store) when no file exists at the path; a file
    // that cannot be read raises EInOutError.
    [[nodiscard]] bool LoadFromFile(const std::string& path);
    // Creates the folder when missing, records IniType and replaces the file
    // at the path with the lines, atomically: on failure the old file stays
    // as it was and EInOutError is raised.
    void SaveToFile(const std::string& path);

    // Loads from the program folder when a settings file exists there,
    // otherwise from the user folder; no file leaves an empty store.
    void Load();
    // Saves to the program folder when a settings file exists there,
    // otherwise to the user folder; after a successful write the copy at
    // the other location is deleted.
    void Save();

    std::string ProgramFolderFileName() const;
    std::string UserFolderFileName() const;
    // The folder the location rule picks now: the program folder when a
    // settings file exists there, else the user folder.
    std::string ChosenFolder() const;
    // ChosenFolder() + FileName.
    std::string ChosenFileName() const;
    bool ProgramFolderFileExists() const;

    // The section list of the last load.
    std::int32_t SectionCount() const;
    // Raises Exception for an index outside 0 .. SectionCount() - 1.
    TQMSettingsSection& Section(std::int32_t index) const;

    // Index of the section's header line, -1 when absent.
    std::int32_t IndexOfSection(const std::string& section) const;
    bool SectionExists(const std::string& section) const;
    // Appends a header line and returns its index; raises Exception when the
    // section exists.
    std::int32_t AddSection(const std::string& section);
    // Index of the key's line in the section, -1 when absent.
    std::int32_t IndexOfKey(const std::string& section, const std::string& key) const;

    // The text after the first "=" of the key's line; empty and false when
    // the key is absent.
    bool ReadString(const std::string& section, const std::string& key, std::string& value) const;
    // As ReadString, the value trimmed and lower-cased.
    bool ReadLowerString(const std::string& section, const std::string& key,
                         std::string& value) const;
    // Inserts a key line at the end of the section's body (before its first
    // blank line), adding the section when missing. An existing line of the
    // key is not replaced. CR, LF and NUL in key or value become blanks.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);

    // "0"/"false" and "1"/"true"; value unchanged and false for other texts.
    bool ReadBool(const std::string& section, const std::string& key, bool& value) const;
    void WriteBool(const std::string& section, const std::string& key, bool value);

    // Reads a stamp with ParseDateTimeStamp; false and value unchanged when
    // the key is absent.
    bool ReadDateTime(const std::string& section, const std::string& key, TDateTime& value) const;
    // Writes the 18-character stamp YYYYMMDD-HHNNSSZZZ.
    void WriteDateTime(const std::string& section, const std::string& key, TDateTime value);

    // A stamp to its value; a short or invalid stamp gives the current local
    // date and time. Never fails.
    static TDateTime ParseDateTimeStamp(const std::string& text);

protected:
    // The run-time class name, used in error messages.
    virtual std::string ClassName() const { return "TQMSettings"; }

    // Rebuilds the section list from the lines.
    void ParseSections();

private:
    std::vector<std::unique_ptr<TQMSettingsSection>> sections_;
};
