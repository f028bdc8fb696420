#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

// A read-only .ini ("profile") file, read whole when opened.
//
// File format, line by line (lines end at CR, LF or CR LF; a UTF-8 byte
// order mark at the start of the file is skipped; a zero byte ends the text
// of its line, and the next line is read as usual; in a section header it
// ends only the name, and the header still closes at the line's last ']'):
// - blank lines and lines whose first non-blank character is ';' are ignored;
// - "[" name "]" opens a section; the name runs to the last ']' on the line
//   and is trimmed; a line starting with '[' without ']' is ignored;
// - key "=" value inside a section gives a value; key and value are trimmed;
//   lines without '=' and lines before the first section are ignored.
// "Trimmed" removes characters with codes 0 to 32 at both ends.
// Section names and keys match without regard to ASCII letter case; of two
// sections (or two keys in one section) with the same name the first counts.
class ProfileFile {
public:
    // Size of the section-name list: each name is followed by a zero byte,
    // and the list ends with one more zero byte.
    static constexpr std::size_t SectionNameListSize = 16384;
    // Longest value handed out; longer values are cut to this length.
    static constexpr std::size_t MaxValueLength = 2047;

    // Reads the file. A file that does not exist or cannot be read has no
    // sections (IsOpen() tells which).
    explicit ProfileFile(const std::string& path);

    // True when the file was read.
    bool IsOpen() const { return open_; }

    // The section names in file order, as far as they fit whole into the
    // name list of SectionNameListSize bytes. A name that would be cut by the
    // end of the list is left out with all names after it: a half name would
    // name no section of the file. Sections with an empty name are not listed
    // (they cannot be asked for); a name given twice is listed twice.
    std::vector<std::string> SectionNames() const;

    // The value of key in section, or defaultValue when the section, the key
    // or its '=' is missing. One pair of matching double or single quotes
    // around the value is removed (the blanks inside them kept); then the
    // value is cut to MaxValueLength characters. The names asked for are
    // trimmed before they are matched.
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;

private:
    struct Entry {
        std::string Key;
        std::string Value;
    };
    struct Section {
        std::string Name;
        std::vector<Entry> Entries;
    };

    void Parse(const std::string& content);
    const Section* FindSection(const std::string& name) const;

    bool open_ = false;
    std::vector<Section> sections_;
};

} // namespace platform
