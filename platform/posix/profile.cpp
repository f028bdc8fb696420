#include "platform/profile.h"

#include "platform/files.h"
#include "platform/textfile.h"

#include <algorithm>

namespace platform {

namespace {

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

std::string Trim(const std::string& s, std::size_t begin, std::size_t end) {
    while (begin < end && IsBlank(s[begin]))
        ++begin;
    while (end > begin && IsBlank(s[end - 1]))
        --end;
    return s.substr(begin, end - begin);
}

std::string Trim(const std::string& s) {
    return Trim(s, 0, s.size());
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    return true;
}

} // namespace

ProfileFile::ProfileFile(const std::string& path) {
    std::string content;
    // A folder is no profile file.
    open_ = FileExists(path) && ReadWholeFile(path, content) == 0;
    if (open_)
        Parse(content);
}

void ProfileFile::Parse(const std::string& content) {
    std::size_t pos = 0;
    if (content.compare(0, 3, "\xEF\xBB\xBF") == 0)
        pos = 3;
    Section* current = nullptr;
    while (pos < content.size()) {
        std::size_t end = content.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = content.size();
        // Names and values end up as C strings (task names, program paths):
        // a zero byte ends its line's text, and the lines after it count.
        const std::size_t start = pos;
        const std::size_t zero = content.find('\0', pos);
        std::string line = Trim(content, pos, zero < end ? zero : end);
        pos = end + 1;

        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            // In a header a zero byte ends only the name: the line's last
            // ']' still closes it, so the keys below are the new section's.
            const std::string whole = Trim(content, start, end);
            std::size_t close = whole.rfind(']');
            if (close == std::string::npos)
                continue;
            sections_.push_back({Trim(whole, 1, std::min(close, whole.find('\0'))), {}});
            current = &sections_.back();
            continue;
        }
        std::size_t eq = line.find('=');
        if (!current || eq == std::string::npos)
            continue;
        current->Entries.push_back({Trim(line, 0, eq), Trim(line, eq + 1, line.size())});
    }
}

const ProfileFile::Section* ProfileFile::FindSection(const std::string& name) const {
    for (const Section& s : sections_)
        if (EqualNoCase(s.Name, name))
            return &s;
    return nullptr;
}

std::vector<std::string> ProfileFile::SectionNames() const {
    std::vector<std::string> names;
    std::size_t used = 1; // the list's closing zero byte
    for (const Section& s : sections_) {
        if (s.Name.empty())
            continue;
        used += s.Name.size() + 1;
        if (used > SectionNameListSize)
            break;
        names.push_back(s.Name);
    }
    return names;
}

std::string ProfileFile::ReadString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue) const {
    const Section* s = FindSection(Trim(section));
    if (!s)
        return defaultValue;
    const std::string wanted = Trim(key);
    for (const Entry& e : s->Entries) {
        if (!EqualNoCase(e.Key, wanted))
            continue;
        std::string value = e.Value;
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        if (value.size() > MaxValueLength)
            value.resize(MaxValueLength);
        return value;
    }
    return defaultValue;
}

} // namespace platform
