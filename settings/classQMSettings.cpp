#include "settings/classQMSettings.h"

#include "lib/InOutError.h"
#include "lib/QMException.h"
#include "lib/classZQStringUtil.h"
#include "platform/files.h"
#include "platform/textfile.h"

#include <algorithm>
#include <string_view>

namespace {

std::string Trim(const std::string& s) {
    return TZQStringUtil::Trim(s);
}
std::string Lower(const std::string& s) {
    return TZQStringUtil::LowerCase(s);
}

// Every lookup scans the lines from the top, so matching works on views of
// the lines instead of trimmed, lower-cased copies.
std::string_view TrimView(std::string_view s) {
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char LowerChar(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// text begins with prefix, which is already lower-cased, without regard to
// the letter case of text.
bool StartsWithNoCase(std::string_view text, std::string_view lowerPrefix) {
    if (text.size() < lowerPrefix.size())
        return false;
    for (std::size_t i = 0; i < lowerPrefix.size(); ++i)
        if (LowerChar(text[i]) != lowerPrefix[i])
            return false;
    return true;
}

bool EqualsNoCase(std::string_view text, std::string_view lower) {
    return text.size() == lower.size() && StartsWithNoCase(text, lower);
}

// CR, LF or NUL inside a line would split it, or end the file, on the next
// load; they are written as blanks.
bool BreaksLine(char c) {
    return c == '\r' || c == '\n' || c == '\0';
}

std::string Flatten(std::string text) {
    std::replace_if(text.begin(), text.end(), BreaksLine, ' ');
    return text;
}

// A section name or key as written and as matched.
std::string NormalName(const std::string& name) {
    return Lower(Trim(Flatten(name)));
}

std::string Header(const std::string& section) {
    // Built by appending: g++ 12 at -O3 warns falsely (-Wrestrict) on "[" + s.
    std::string header = "[";
    header += NormalName(section);
    header += ']';
    return header;
}

// Lines end at CR, LF or CR LF; the text ends at the first NUL. A line break
// at the very end does not start another line.
std::vector<std::string> SplitLines(const std::string& content) {
    std::vector<std::string> lines;
    const std::size_t end = std::min(content.find('\0'), content.size());
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < end) {
        const char c = content[i];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(content, start, i - start);
            i += (c == '\r' && i + 1 < end && content[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < end)
        lines.emplace_back(content, start, end - start);
    return lines;
}

// A field of decimal digits only; no sign, no blanks. An empty field is 0.
bool ParseField(const std::string& text, std::size_t pos, std::size_t len, int& value) {
    value = 0;
    for (std::size_t i = pos; i < pos + len && i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

} // namespace

// --- TQMSettingsSection ---

TQMSettingsSection::TQMSettingsSection(TQMSettings* owner) : Owner(owner) {
    TQMSettingsSection::Reset();
}

void TQMSettingsSection::Reset() {
    Name.clear();
    LineIndex = 0;
    LineCount = 0;
}

bool TQMSettingsSection::IsSubsectionOf(std::string parent) const {
    if (parent.empty())
        return false;
    if (parent.back() != '\\')
        parent += '\\';
    return StartsWithNoCase(Name, Lower(parent));
}

// --- TQMSettings ---

TQMSettings::TQMSettings() = default;

TQMSettings::~TQMSettings() = default;

void TQMSettings::Clear() {
    Lines.clear();
}

bool TQMSettings::LoadFromFile(const std::string& path) {
    Lines.clear();
    sections_.clear();
    if (!platform::FileExists(path))
        return false;
    std::string content;
    if (int err = platform::ReadWholeFile(path, content))
        throw io::MakeInOutError(err, false, "Cannot open file \"" + path + "\". ");
    Lines = SplitLines(content);
    ParseSections();
    return true;
}

void TQMSettings::SaveToFile(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        // A folder that cannot be made is reported by the write below.
        static_cast<void>(platform::ForceDirectories(path.substr(0, slash)));
    }
    WriteString("System", "initype", IniType);

    std::string content;
    std::size_t size = 0;
    for (const auto& line : Lines)
        size += line.size() + 2;
    content.reserve(size);
    for (const auto& line : Lines) {
        const std::size_t start = content.size();
        content += line;
        std::replace_if(content.begin() + static_cast<std::ptrdiff_t>(start), content.end(),
                        BreaksLine, ' ');
        content += "\r\n";
    }
    if (int err = platform::WriteFileAtomically(path, content))
        throw io::MakeInOutError(err, true, "Cannot create file \"" + path + "\". ");
}

void TQMSettings::Load() {
    static_cast<void>(LoadFromFile(ChosenFileName()));
}

void TQMSettings::Save() {
    const bool inProgramFolder = ProgramFolderFileExists();
    const std::string target = inProgramFolder ? ProgramFolderFileName() : UserFolderFileName();
    const std::string other = inProgramFolder ? UserFolderFileName() : ProgramFolderFileName();
    SaveToFile(target);
    // Both names may lead to the one file (equal folders, a link); deleting
    // "the other copy" would then delete what was just written.
    if (platform::FileExists(other) && !platform::IsSameFile(other, target))
        static_cast<void>(platform::DeleteFile(other)); // a stale copy only confuses; not fatal
}

std::string TQMSettings::ProgramFolderFileName() const {
    return ProgramFolder + FileName;
}

std::string TQMSettings::UserFolderFileName() const {
    return UserFolder + FileName;
}

std::string TQMSettings::ChosenFolder() const {
    return ProgramFolderFileExists() ? ProgramFolder : UserFolder;
}

std::string TQMSettings::ChosenFileName() const {
    return ChosenFolder() + FileName;
}

bool TQMSettings::ProgramFolderFileExists() const {
    return platform::FileExists(ProgramFolderFileName());
}

std::int32_t TQMSettings::SectionCount() const {
    return static_cast<std::int32_t>(sections_.size());
}

TQMSettingsSection& TQMSettings::Section(std::int32_t index) const {
    if (index < 0 || index >= SectionCount())
        throw Exception("List index out of bounds (" + std::to_string(index) + ")");
    return *sections_[static_cast<std::size_t>(index)];
}

std::int32_t TQMSettings::IndexOfSection(const std::string& section) const {
    const std::string target = Header(section);
    for (std::size_t i = 0; i < Lines.size(); ++i)
        if (EqualsNoCase(TrimView(Lines[i]), target))
            return static_cast<std::int32_t>(i);
    return -1;
}

bool TQMSettings::SectionExists(const std::string& section) const {
    return IndexOfSection(section) >= 0;
}

std::int32_t TQMSettings::AddSection(const std::string& section) {
    if (SectionExists(section))
        throw Exception(ClassName() + ": section \"" + section + "\" already exists.");
    if (!Lines.empty())
        Lines.emplace_back();
    Lines.push_back(Header(section));
    return static_cast<std::int32_t>(Lines.size()) - 1;
}

std::int32_t TQMSettings::IndexOfKey(const std::string& section, const std::string& key) const {
    const std::int32_t h = IndexOfSection(section);
    if (h < 0)
        return -1;
    const std::string probe = NormalName(key) + "=";
    for (std::size_t i = static_cast<std::size_t>(h) + 1; i < Lines.size(); ++i) {
        const std::string_view t = TrimView(Lines[i]);
        if (StartsWithNoCase(t, probe))
            return static_cast<std::int32_t>(i);
        if (t.starts_with('['))
            return -1;
    }
    return -1;
}

bool TQMSettings::ReadString(const std::string& section, const std::string& key,
                             std::string& value) const {
    value.clear();
    const std::int32_t i = IndexOfKey(section, key);
    if (i < 0)
        return false;
    const std::string& line = Lines[static_cast<std::size_t>(i)];
    value = line.substr(line.find('=') + 1);
    return true;
}

bool TQMSettings::ReadLowerString(const std::string& section, const std::string& key,
                                  std::string& value) const {
    if (!ReadString(section, key, value))
        return false;
    value = Lower(Trim(value));
    return true;
}

void TQMSettings::WriteString(const std::string& section, const std::string& key,
                              const std::string& value) {
    std::string line = NormalName(key) + "=" + Flatten(value);
    std::int32_t h = IndexOfSection(section);
    if (h < 0) {
        h = AddSection(section);
        Lines.insert(Lines.begin() + h + 1, std::move(line));
        return;
    }
    for (std::size_t i = static_cast<std::size_t>(h) + 1; i < Lines.size(); ++i) {
        const std::string_view t = TrimView(Lines[i]);
        if (t.empty() || t.starts_with('[')) {
            Lines.insert(Lines.begin() + static_cast<std::ptrdiff_t>(i), std::move(line));
            return;
        }
    }
    Lines.push_back(std::move(line));
}

bool TQMSettings::ReadBool(const std::string& section, const std::string& key, bool& value) const {
    std::string text;
    if (!ReadLowerString(section, key, text))
        return false;
    if (text == "0" || text == "false") {
        value = false;
        return true;
    }
    if (text == "1" || text == "true") {
        value = true;
        return true;
    }
    return false;
}

void TQMSettings::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

bool TQMSettings::ReadDateTime(const std::string& section, const std::string& key,
                               TDateTime& value) const {
    std::string text;
    if (!ReadLowerString(section, key, text))
        return false;
    try {
        value = ParseDateTimeStamp(text);
    } catch (const Exception&) {
        return false;
    }
    return true;
}

void TQMSettings::WriteDateTime(const std::string& section, const std::string& key,
                                TDateTime value) {
    const dt::DateTimeFields f = dt::DecodeDateTime(value);
    const int ms = f.Millisecond > 999 ? 0 : f.Millisecond;
    using S = TZQStringUtil;
    WriteString(section, key,
                S::ZeroPad(f.Year, 4) + S::ZeroPad(f.Month, 2) + S::ZeroPad(f.Day, 2) + "-" +
                    S::ZeroPad(f.Hour, 2) + S::ZeroPad(f.Minute, 2) + S::ZeroPad(f.Second, 2) +
                    S::ZeroPad(ms, 3));
}

TDateTime TQMSettings::ParseDateTimeStamp(const std::string& text) {
    const TDateTime now = dt::Now();
    const std::string t = Trim(text);
    if (t.size() < 15)
        return now;
    // Fixed positions: YYYYMMDD?HHNNSS[ZZZ]; character 9 is not examined.
    dt::DateTimeFields f;
    TDateTime result = 0;
    if (!ParseField(t, 0, 4, f.Year) || !ParseField(t, 4, 2, f.Month) ||
        !ParseField(t, 6, 2, f.Day) || !ParseField(t, 9, 2, f.Hour) ||
        !ParseField(t, 11, 2, f.Minute) || !ParseField(t, 13, 2, f.Second) ||
        !ParseField(t, 15, 3, f.Millisecond) || !dt::TryEncodeDateTime(f, result))
        return now;
    return result;
}

void TQMSettings::ParseSections() {
    sections_.clear();
    TQMSettingsSection* current = nullptr;
    for (std::size_t i = 0; i < Lines.size(); ++i) {
        const std::string t = Trim(Lines[i]);
        if (t.starts_with('[')) {
            const auto close = t.find(']');
            auto entry = std::make_unique<TQMSettingsSection>(this);
            entry->Name = close == t.size() - 1 ? t.substr(1, close - 1) : t.substr(1);
            entry->LineIndex = static_cast<std::int32_t>(i);
            current = entry.get();
            sections_.push_back(std::move(entry));
        } else if (current) {
            ++current->LineCount;
        }
    }
}
