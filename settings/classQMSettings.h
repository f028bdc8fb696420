#pragma once

#include "lib/DateTimeUtil.h"
#include "platform/textfile.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
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

// The store's lines: a list of texts that counts its changes, so that the
// store's index notices lines put in or changed from outside. A reference
// from the non-const operator[] is meant for an immediate change.
//
// After a load the lines are views into the file's text; each becomes a
// string of its own only when the lines are used as strings or changed, so
// that reading a large file costs no allocation per line.
class TQMSettingsLines {
public:
    using value_type = std::string;
    using size_type = std::size_t;
    using const_iterator = std::vector<std::string>::const_iterator;
    using iterator = const_iterator;

    TQMSettingsLines() = default;
    TQMSettingsLines(const TQMSettingsLines& other) : lines_(other.Strings()) {}
    TQMSettingsLines& operator=(const TQMSettingsLines& other) { return Assign(other.Strings()); }
    TQMSettingsLines& operator=(std::vector<std::string> lines) { return Assign(std::move(lines)); }

    size_type size() const { return viewed_ ? views_.size() : lines_.size(); }
    bool empty() const { return size() == 0; }
    const std::string* data() const { return Strings().data(); }
    const_iterator begin() const { return Strings().begin(); }
    const_iterator end() const { return Strings().end(); }
    const std::string& back() const { return Strings().back(); }
    const std::string& operator[](size_type i) const { return Strings()[i]; }
    std::string& operator[](size_type i) { return Edit()[i]; }
    void push_back(std::string line) { Edit().push_back(std::move(line)); }
    template <class... Args> void emplace_back(Args&&... args) {
        Edit().emplace_back(std::forward<Args>(args)...);
    }
    void clear() { Assign({}); }
    // Any other change: insert, erase, sort.
    std::vector<std::string>& Edit() {
        ++changes_;
        return Strings();
    }
    operator const std::vector<std::string>&() const { return Strings(); }
    // Grows with every change.
    std::uint64_t Changes() const { return changes_; }

    // Line i without making it a string; valid until the lines change or are
    // used as strings.
    std::string_view View(size_type i) const { return viewed_ ? views_[i] : lines_[i]; }
    // Takes the text and the lines split from it (views into that text).
    void AssignText(std::string text,
                    std::vector<std::string_view> (*split)(std::string_view text));
    // The text the views point into, while the lines are views; nullptr
    // once they are strings. A holder keeps the views' bytes alive.
    std::shared_ptr<const std::string> SharedText() const { return viewed_ ? text_ : nullptr; }

    friend bool operator==(const TQMSettingsLines& a, const std::vector<std::string>& b) {
        return a.Strings() == b;
    }
    friend bool operator==(const TQMSettingsLines& a, const TQMSettingsLines& b) {
        return a.Strings() == b.Strings();
    }

private:
    TQMSettingsLines& Assign(std::vector<std::string> lines);
    // The lines as strings, made from the views on first use.
    std::vector<std::string>& Strings() const;

    mutable std::vector<std::string> lines_;
    mutable std::shared_ptr<const std::string> text_;
    mutable std::vector<std::string_view> views_;
    mutable bool viewed_ = false;
    std::uint64_t changes_ = 0;
};

// A store of named sections with key=value lines: the lines of one INI-style
// settings file, in file order, read and written whole.
//
// File format: every line ends in CR LF; headers are "[name]" and key lines
// "key=value", names and keys written trimmed and lower-cased; one empty
// line before every header but the first. Lookups trim each line and ignore
// letter case; the first matching header and key win.
//
// Lookups go through an index of the headers (by trimmed, lower-cased name)
// and, per section, of its keys, kept up to date while lines are appended and
// rebuilt after any other change; writing sections one after the other, as
// the application store does, never rebuilds it.
class TQMSettings {
public:
    TQMSettings();
    virtual ~TQMSettings();
    TQMSettings(const TQMSettings&) = delete;
    TQMSettings& operator=(const TQMSettings&) = delete;

    // The file's lines as read or inserted, untrimmed.
    TQMSettingsLines Lines;
    std::string ProgramFolder; // ends in the folder separator
    std::string UserFolder;    // ends in the folder separator
    std::string FileName;      // without folder
    std::string IniType = "inifile";

    // Removes every line; the section list stays.
    void Clear();
    // Forgets the section list, for a reader that has taken what it needs
    // from the last load.
    void ReleaseSections();

    // Replaces the lines with the file's and rebuilds the section list.
    // False (and an empty store) when no file exists at the path; a file
    // that cannot be read raises EInOutError. What the file holds besides
    // settings text is told by UnreadContent.
    [[nodiscard]] bool LoadFromFile(const std::string& path);
    // Creates the folder when missing, records IniType and replaces the file
    // at the path with the lines, atomically: on failure the old file stays
    // as it was and EInOutError is raised.
    void SaveToFile(const std::string& path);

    // As Save, with the file's text given as pieces (each ending in CR LF)
    // instead of the lines, followed by the IniType section as SaveToFile
    // adds it. The pieces are written as they are, without a copy; the lines
    // stay as they were.
    void SavePieces(std::span<const std::string_view> pieces);

    // The lines as a save writes them, each with its CR LF: a header, with
    // its blank line before when `first` is false, and a key line.
    static void AppendHeaderLine(std::string& out, std::string_view section, bool first);
    static void AppendKeyLine(std::string& out, std::string_view key, std::string_view value);
    // The 18-character stamp YYYYMMDD-HHNNSSZZZ that WriteDateTime writes.
    static void AppendStamp(std::string& out, TDateTime value);

    // Loads from the program folder when a settings file exists there,
    // otherwise from the user folder; no file leaves an empty store.
    void Load();
    // Saves to the program folder when a settings file exists there,
    // otherwise to the user folder (raising Exception when that is empty:
    // unknown). A settings file at the other location is left as it is.
    void Save();

    // Why the last load could not read all of the file as settings text,
    // empty when it could: a NUL byte (the text ends there: UTF-16 text,
    // binary data), UTF-16 text, a line that is neither blank, a header
    // that a lookup finds, a key line nor a ";" or "#" comment, or a key
    // that its section already has (a lost header line). Unknown sections
    // and keys count as read.
    const std::string& UnreadContent() const { return unreadContent_; }

    // The file as the last load read it or the last Save or SavePieces left
    // it; Exists is false when the load found none.
    const platform::FileStamp& LastFileStamp() const { return fileStamp_; }

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

    // Visits the key lines of a section entry, in file order, in one pass:
    // key is the trimmed line up to its first "=", letter case as written,
    // value the rest as ReadString gives it. Lines without "=" are skipped.
    // A header that a lookup by the entry's name would not match (no closing
    // bracket, blanks inside the brackets) gives no keys, as for ReadString;
    // a later header of a name that occurs twice gives its own keys. The
    // entry must describe the current lines, as right after a load.
    void ReadSectionKeys(
        const TQMSettingsSection& section,
        const std::function<void(std::string_view key, std::string_view value)>& visit) const;
    // The entry that a lookup by the name finds (the first header of that
    // name), or nullptr; without the index of every section, which a load
    // that reads a few sections by name need not build. The entries must
    // describe the current lines, as right after a load.
    const TQMSettingsSection* FirstSection(const std::string& section) const;
    // False for an entry whose header a lookup would not match (no closing
    // bracket, blanks inside the brackets): ReadSectionKeys gives it no keys.
    bool HasKeys(const TQMSettingsSection& section) const;

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
    static TDateTime ParseDateTimeStamp(std::string_view text);
    // The same reading, but false (value unchanged) for a stamp that does
    // not parse.
    static bool TryParseDateTimeStamp(std::string_view text, TDateTime& value);
    // A value text as ReadBool takes it: trimmed, any letter case.
    static bool ParseBool(std::string_view text, bool& value);

protected:
    // The run-time class name, used in error messages.
    virtual std::string ClassName() const { return "TQMSettings"; }

    // Rebuilds the section list from the lines.
    void ParseSections();

private:
    // The first header of one name, where its next key line goes, and its
    // keys (built on the first lookup in the section).
    struct TIndexedSection {
        std::int32_t Header = 0;
        std::int32_t InsertAt = -1; // first blank or header line after it; -1: not yet known
        bool KeysIndexed = false;
        std::unordered_map<std::string, std::int32_t> Keys;
    };

    void IndexCurrent() const;
    void ResetIndex() const;
    void IndexHeader(std::string_view trimmed, std::int32_t line) const;
    TIndexedSection* FindSection(const std::string& section) const;
    std::int32_t FindKey(TIndexedSection& entry, const std::string& normalKey) const;
    std::int32_t InsertPoint(TIndexedSection& entry) const;
    void AppendLine(std::string line);
    // The folder of the path made when missing; a folder that cannot be
    // made is reported by the write that follows.
    static void MakeFolderOf(const std::string& path);
    // Save's location rule around a write of the chosen file.
    void SaveWith(const std::function<void(const std::string& path)>& write);
    // Appends the header of a section that does not exist yet.
    void AppendSection(const std::string& section);

    std::vector<std::unique_ptr<TQMSettingsSection>> sections_;
    std::string unreadContent_;
    platform::FileStamp fileStamp_;

    // By "[name]", trimmed and lower-cased. Node-based, so entries stay put.
    mutable std::unordered_map<std::string, TIndexedSection> index_;
    mutable std::uint64_t indexedChanges_ = 0;
    mutable bool indexed_ = false;
    // The section whose body ends the list, when it is the first of its name.
    mutable TIndexedSection* last_ = nullptr;
    // The section of the last write, by the name as passed.
    mutable std::string lastName_;
    mutable TIndexedSection* lastNamed_ = nullptr;
};
