#include "settings/classQMSettings.h"

#include "lib/InOutError.h"
#include "lib/QMException.h"
#include "lib/classZQStringUtil.h"
#include "platform/files.h"
#include "platform/textfile.h"

#include "lib/AsciiText.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>
#include <unordered_set>
#include <utility>

namespace {

using ascii::TrimView;

bool IsHeader(std::string_view trimmed) {
    return trimmed.starts_with('[');
}

// CR, LF or NUL inside a line would split it, or end the file, on the next
// load; they are written as blanks.
bool BreaksLine(char c) {
    return c == '\r' || c == '\n' || c == '\0';
}

// A section name or key as written and as matched: trimmed, lower-cased,
// line breaks inside as blanks (they are blanks at the ends, so trimmed).
void AppendNormalName(std::string& out, std::string_view name) {
    const std::size_t at = out.size();
    out.append(TrimView(name));
    for (std::size_t i = at; i < out.size(); ++i)
        out[i] = BreaksLine(out[i]) ? ' ' : ascii::ToLower(out[i]);
}

std::string NormalName(std::string_view name) {
    std::string normal;
    normal.reserve(name.size());
    AppendNormalName(normal, name);
    return normal;
}

// "key=value" as written: the key normalised, CR, LF and NUL in the value
// as blanks.
void AppendKeyText(std::string& line, std::string_view key, std::string_view value) {
    AppendNormalName(line, key);
    line += '=';
    const std::size_t valueAt = line.size();
    line += value;
    std::replace_if(line.begin() + static_cast<std::ptrdiff_t>(valueAt), line.end(), BreaksLine,
                    ' ');
}

std::string Header(std::string_view section) {
    std::string header;
    header.reserve(section.size() + 2);
    header += '[';
    AppendNormalName(header, section);
    header += ']';
    return header;
}

// The key of a key line (the trimmed line up to its first "="); none for
// headers and lines without "=".
std::optional<std::string_view> KeyOfLine(std::string_view trimmed) {
    const auto eq = trimmed.find('=');
    if (eq == std::string_view::npos || IsHeader(trimmed))
        return std::nullopt;
    return trimmed.substr(0, eq);
}

// Lines end at CR, LF or CR LF; the text ends at the first NUL. A line break
// at the very end does not start another line.
std::vector<std::string_view> SplitLines(std::string_view content) {
    content = content.substr(0, std::min(content.find('\0'), content.size()));
    std::vector<std::string_view> lines;
    lines.reserve(content.size() / 32 + 1);
    const char* const data = content.data();
    const std::size_t end = content.size();
    std::size_t start = 0;
    while (start < end) {
        // Lines are found by LF; a CR ends one too, alone or before the LF.
        const auto* lf = static_cast<const char*>(std::memchr(data + start, '\n', end - start));
        const std::size_t stop = lf != nullptr ? static_cast<std::size_t>(lf - data) : end;
        while (const auto* cr =
                   static_cast<const char*>(std::memchr(data + start, '\r', stop - start))) {
            const auto at = static_cast<std::size_t>(cr - data);
            lines.push_back(content.substr(start, at - start));
            start = at + 1;
            if (start == stop)
                break;
        }
        if (start < stop || (lf != nullptr && (start == 0 || data[start - 1] != '\r')))
            lines.push_back(content.substr(start, stop - start));
        start = stop + 1;
    }
    return lines;
}

// Text the line reader cannot take as 8-bit text: it stops at a NUL byte.
std::string UnreadBytes(std::string_view content) {
    if (content.starts_with("\xFF\xFE") || content.starts_with("\xFE\xFF"))
        return "UTF-16 text";
    const std::size_t nul = content.find('\0');
    if (nul != std::string_view::npos)
        return "a NUL byte at byte " + std::to_string(nul + 1) + "; the text ends there";
    return {};
}

// The keys of one section so far, without regard to letter case. A section
// of the program's holds a few dozen: a plain scan beats hashing each one;
// the keys past those go to a hash set, so a huge hand-made section costs
// no more than its size.
class TSectionKeys {
public:
    // False when the section has the key already.
    bool Add(std::string_view key) {
        for (const std::string_view k : few_)
            if (k.size() == key.size() && ascii::EqualsNoCase(k, key))
                return false;
        if (few_.size() < 64) {
            few_.push_back(key);
            return true;
        }
        return many_.insert(ascii::Lower(std::string(key))).second;
    }
    void Clear() {
        few_.clear();
        many_.clear();
    }

private:
    std::vector<std::string_view> few_;
    std::unordered_set<std::string> many_; // lower-cased
};

// The first line that is no line of a settings file at all, or that repeats
// a key of its section: a save writes each key once, so a repeat means a
// header line between the two was lost and two sections' keys now mix.
// Blank lines and comments are dropped by the next save, as are sections
// and keys nobody reads; none of them is lost content.
std::string UnreadLine(const TQMSettingsLines& lines) {
    TSectionKeys keys;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = lines.View(i);
        while (!line.empty() && static_cast<unsigned char>(line.front()) <= ' ')
            line.remove_prefix(1);
        while (!line.empty() && static_cast<unsigned char>(line.back()) <= ' ')
            line.remove_suffix(1);
        if (line.empty() || line.front() == ';' || line.front() == '#')
            continue;
        const auto at = [i] { return "line " + std::to_string(i + 1); };
        if (line.front() == '[') {
            // "[abc" or "[ abc ]": no lookup finds such a section.
            if (line.size() < 2 || line.back() != ']' ||
                static_cast<unsigned char>(line[1]) <= ' ' ||
                static_cast<unsigned char>(line[line.size() - 2]) <= ' ')
                return at() + " is no header, key line or comment";
            keys.Clear();
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string_view::npos)
            return at() + " is no header, key line or comment";
        if (!keys.Add(TrimView(line.substr(0, eq))))
            return at() + " repeats a key of its section; a header line before it may be lost";
    }
    return {};
}

// A field of decimal digits only; no sign, no blanks. An empty field is 0.
bool ParseField(std::string_view text, std::size_t pos, std::size_t len, int& value) {
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

// --- TQMSettingsLines ---

TQMSettingsLines& TQMSettingsLines::Assign(std::vector<std::string> lines) {
    ++changes_;
    lines_ = std::move(lines);
    // Released, not only emptied: after a load this is the whole file.
    text_.reset();
    views_ = std::vector<std::string_view>();
    viewed_ = false;
    return *this;
}

void TQMSettingsLines::AssignText(std::string text,
                                  std::vector<std::string_view> (*split)(std::string_view text)) {
    Assign({});
    // First: the views point into it, and it never moves.
    text_ = std::make_shared<const std::string>(std::move(text));
    views_ = split(*text_);
    viewed_ = true;
}

std::vector<std::string>& TQMSettingsLines::Strings() const {
    if (viewed_) {
        // The same lines, so no change: the store's index stays valid.
        lines_.assign(views_.begin(), views_.end());
        views_ = {};
        text_.reset();
        viewed_ = false;
    }
    return lines_;
}

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
    return ascii::StartsWithNoCase(Name, parent);
}

// --- TQMSettings ---

TQMSettings::TQMSettings() = default;

TQMSettings::~TQMSettings() = default;

void TQMSettings::Clear() {
    Lines.clear();
    ResetIndex();
}

void TQMSettings::ReleaseSections() {
    sections_.clear();
    sections_.shrink_to_fit();
}

bool TQMSettings::LoadFromFile(const std::string& path) {
    Lines.clear();
    sections_.clear();
    unreadContent_.clear();
    fileStamp_ = {};
    if (!platform::FileExists(path))
        return false;
    std::string content;
    if (int err = platform::ReadWholeFile(path, content, &fileStamp_))
        throw io::MakeInOutError(err, false, "Cannot open file \"" + path + "\". ");
    unreadContent_ = UnreadBytes(content);
    Lines.AssignText(std::move(content), SplitLines);
    if (unreadContent_.empty())
        unreadContent_ = UnreadLine(Lines);
    ParseSections();
    return true;
}

void TQMSettings::MakeFolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0)
        static_cast<void>(platform::ForceDirectories(path.substr(0, slash)));
}

void TQMSettings::SaveToFile(const std::string& path) {
    MakeFolderOf(path);
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
    SaveWith([this](const std::string& path) { SaveToFile(path); });
}

void TQMSettings::SavePieces(std::span<const std::string_view> pieces) {
    SaveWith([this, pieces](const std::string& path) {
        MakeFolderOf(path);
        bool first = true;
        for (const std::string_view piece : pieces)
            first = first && piece.empty();
        std::string system;
        AppendHeaderLine(system, "System", first);
        AppendKeyLine(system, "initype", IniType);
        std::vector<std::string_view> all;
        all.reserve(pieces.size() + 1);
        all.assign(pieces.begin(), pieces.end());
        all.push_back(system);
        if (int err = platform::WriteFileAtomically(path, all))
            throw io::MakeInOutError(err, true, "Cannot create file \"" + path + "\". ");
    });
}

void TQMSettings::AppendHeaderLine(std::string& out, std::string_view section, bool first) {
    if (!first)
        out += "\r\n";
    out += '[';
    AppendNormalName(out, section);
    out += "]\r\n";
}

void TQMSettings::AppendKeyLine(std::string& out, std::string_view key, std::string_view value) {
    AppendKeyText(out, key, value);
    out += "\r\n";
}

void TQMSettings::SaveWith(const std::function<void(const std::string& path)>& write) {
    const bool inProgramFolder = ProgramFolderFileExists();
    if (!inProgramFolder && UserFolder.empty())
        throw Exception("No folder is known for the settings file " + FileName +
                        ": no home folder and none beside the program.");
    const std::string target = inProgramFolder ? ProgramFolderFileName() : UserFolderFileName();
    // The copy at the other location stays: it may belong to another
    // installation (a portable copy beside its own program) running side by
    // side with this one.
    write(target);
    fileStamp_ = platform::StampOf(target);
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

// --- The index ---

void TQMSettings::ResetIndex() const {
    index_.clear();
    last_ = nullptr;
    lastNamed_ = nullptr;
    lastName_.clear();
    indexed_ = true;
    indexedChanges_ = Lines.Changes();
}

void TQMSettings::IndexHeader(std::string_view trimmed, std::int32_t line) const {
    last_ = nullptr;
    if (trimmed.size() < 2 || !trimmed.ends_with(']'))
        return; // "[abc": ends the section before it, but no lookup finds it
    const auto [it, added] = index_.try_emplace(ascii::Lower(std::string(trimmed)));
    if (!added)
        return; // the first header of a name wins
    it->second.Header = line;
    last_ = &it->second;
}

void TQMSettings::IndexCurrent() const {
    if (indexed_ && indexedChanges_ == Lines.Changes())
        return;
    ResetIndex();
    for (std::size_t i = 0; i < Lines.size(); ++i) {
        const std::string_view t = TrimView(Lines.View(i));
        if (IsHeader(t))
            IndexHeader(t, static_cast<std::int32_t>(i));
    }
}

TQMSettings::TIndexedSection* TQMSettings::FindSection(const std::string& section) const {
    IndexCurrent();
    if (lastNamed_ != nullptr && section == lastName_)
        return lastNamed_;
    const auto it = index_.find(Header(section));
    if (it == index_.end())
        return nullptr;
    lastName_ = section;
    lastNamed_ = &it->second;
    return lastNamed_;
}

std::int32_t TQMSettings::FindKey(TIndexedSection& entry, const std::string& normalKey) const {
    const std::size_t first = static_cast<std::size_t>(entry.Header) + 1;
    if (normalKey.find('=') != std::string::npos || normalKey.starts_with('[')) {
        // Such a key can match more than a line's key, even a header line:
        // look it up as a plain scan does.
        const std::string probe = normalKey + "=";
        for (std::size_t i = first; i < Lines.size(); ++i) {
            const std::string_view t = TrimView(Lines.View(i));
            if (ascii::StartsWithNoCase(t, probe))
                return static_cast<std::int32_t>(i);
            if (IsHeader(t))
                return -1;
        }
        return -1;
    }
    if (!entry.KeysIndexed) {
        // Blank lines do not end a section for reading; the next header does.
        for (std::size_t i = first; i < Lines.size(); ++i) {
            const std::string_view t = TrimView(Lines.View(i));
            if (IsHeader(t))
                break;
            if (const auto key = KeyOfLine(t))
                entry.Keys.try_emplace(ascii::Lower(std::string(*key)),
                                       static_cast<std::int32_t>(i));
        }
        entry.KeysIndexed = true;
    }
    const auto it = entry.Keys.find(normalKey);
    return it == entry.Keys.end() ? -1 : it->second;
}

std::int32_t TQMSettings::InsertPoint(TIndexedSection& entry) const {
    if (entry.InsertAt < 0) {
        std::size_t i = static_cast<std::size_t>(entry.Header) + 1;
        while (i < Lines.size()) {
            const std::string_view t = TrimView(Lines.View(i));
            if (t.empty() || IsHeader(t))
                break;
            ++i;
        }
        entry.InsertAt = static_cast<std::int32_t>(i);
    }
    return entry.InsertAt;
}

void TQMSettings::AppendLine(std::string line) {
    IndexCurrent();
    const auto at = static_cast<std::int32_t>(Lines.size());
    Lines.push_back(std::move(line));
    indexedChanges_ = Lines.Changes();
    const std::string_view t = TrimView(Lines.View(Lines.size() - 1));
    if (IsHeader(t)) {
        IndexHeader(t, at);
        if (last_ != nullptr) // a new section, empty so far
            last_->InsertAt = at + 1;
        return;
    }
    // The line joins the body of the last section.
    if (last_ == nullptr)
        return;
    if (last_->InsertAt == at && !t.empty())
        last_->InsertAt = at + 1;
    if (last_->KeysIndexed)
        if (const auto key = KeyOfLine(t))
            last_->Keys.try_emplace(ascii::Lower(std::string(*key)), at);
}

// --- Lookups and writes ---

std::int32_t TQMSettings::IndexOfSection(const std::string& section) const {
    const TIndexedSection* entry = FindSection(section);
    return entry != nullptr ? entry->Header : -1;
}

bool TQMSettings::SectionExists(const std::string& section) const {
    return IndexOfSection(section) >= 0;
}

std::int32_t TQMSettings::AddSection(const std::string& section) {
    if (SectionExists(section))
        throw Exception(ClassName() + ": section \"" + section + "\" already exists.");
    AppendSection(section);
    return static_cast<std::int32_t>(Lines.size()) - 1;
}

void TQMSettings::AppendSection(const std::string& section) {
    if (!Lines.empty())
        AppendLine(std::string());
    AppendLine(Header(section));
}

std::int32_t TQMSettings::IndexOfKey(const std::string& section, const std::string& key) const {
    TIndexedSection* entry = FindSection(section);
    return entry != nullptr ? FindKey(*entry, NormalName(key)) : -1;
}

bool TQMSettings::ReadString(const std::string& section, const std::string& key,
                             std::string& value) const {
    value.clear();
    const std::int32_t i = IndexOfKey(section, key);
    if (i < 0)
        return false;
    const std::string_view line = Lines.View(static_cast<std::size_t>(i));
    value = line.substr(line.find('=') + 1);
    return true;
}

bool TQMSettings::ReadLowerString(const std::string& section, const std::string& key,
                                  std::string& value) const {
    if (!ReadString(section, key, value))
        return false;
    value = ascii::Lower(ascii::Trim(value));
    return true;
}

void TQMSettings::ReadSectionKeys(
    const TQMSettingsSection& section,
    const std::function<void(std::string_view key, std::string_view value)>& visit) const {
    if (!HasKeys(section))
        return;
    const auto header = static_cast<std::size_t>(section.LineIndex);
    const std::size_t end = std::min(
        Lines.size(), header + 1 + static_cast<std::size_t>(std::max(0, section.LineCount)));
    for (std::size_t i = header + 1; i < end; ++i) {
        const std::string_view line = Lines.View(i);
        const std::string_view t = TrimView(line);
        if (IsHeader(t))
            break; // lines changed since the load
        if (const auto key = KeyOfLine(t))
            visit(*key, line.substr(line.find('=') + 1));
    }
}

bool TQMSettings::HasKeys(const TQMSettingsSection& section) const {
    const auto header = static_cast<std::size_t>(section.LineIndex);
    return section.LineIndex >= 0 && header < Lines.size() &&
           ascii::EqualsNoCase(TrimView(Lines.View(header)), Header(section.Name));
}

const TQMSettingsSection* TQMSettings::FirstSection(const std::string& section) const {
    const std::string header = Header(section);
    for (const auto& entry : sections_) {
        const auto line = static_cast<std::size_t>(entry->LineIndex);
        if (line < Lines.size() && ascii::EqualsNoCase(TrimView(Lines.View(line)), header))
            return entry.get();
    }
    return nullptr;
}

void TQMSettings::WriteString(const std::string& section, const std::string& key,
                              const std::string& value) {
    std::string line;
    line.reserve(key.size() + 1 + value.size());
    AppendKeyText(line, key, value);

    TIndexedSection* entry = FindSection(section);
    if (entry == nullptr) {
        AppendSection(section);
        AppendLine(std::move(line));
        return;
    }
    // Before the first blank line of the section's body, or the next header.
    const auto at = static_cast<std::size_t>(InsertPoint(*entry));
    if (at == Lines.size()) {
        AppendLine(std::move(line));
        return;
    }
    // Lines behind move down: the index is rebuilt at the next lookup.
    auto& lines = Lines.Edit();
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
}

bool TQMSettings::ReadBool(const std::string& section, const std::string& key, bool& value) const {
    std::string text;
    return ReadString(section, key, text) && ParseBool(text, value);
}

bool TQMSettings::ParseBool(std::string_view text, bool& value) {
    const std::string_view t = TrimView(text);
    if (t == "0" || ascii::EqualsNoCase(t, "false")) {
        value = false;
        return true;
    }
    if (t == "1" || ascii::EqualsNoCase(t, "true")) {
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
    std::string stamp;
    stamp.reserve(18);
    AppendStamp(stamp, value);
    WriteString(section, key, stamp);
}

void TQMSettings::AppendStamp(std::string& stamp, TDateTime value) {
    const dt::DateTimeFields f = dt::DecodeDateTime(value);
    const int ms = f.Millisecond > 999 ? 0 : f.Millisecond;
    using S = TZQStringUtil;
    S::AppendZeroPad(stamp, f.Year, 4);
    S::AppendZeroPad(stamp, f.Month, 2);
    S::AppendZeroPad(stamp, f.Day, 2);
    stamp += '-';
    S::AppendZeroPad(stamp, f.Hour, 2);
    S::AppendZeroPad(stamp, f.Minute, 2);
    S::AppendZeroPad(stamp, f.Second, 2);
    S::AppendZeroPad(stamp, ms, 3);
}

TDateTime TQMSettings::ParseDateTimeStamp(std::string_view text) {
    // The clock is read only for a stamp that does not parse: a load reads
    // thousands of good ones.
    TDateTime result = 0;
    return TryParseDateTimeStamp(text, result) ? result : dt::Now();
}

bool TQMSettings::TryParseDateTimeStamp(std::string_view text, TDateTime& value) {
    const std::string_view t = TrimView(text);
    if (t.size() < 15)
        return false;
    // Fixed positions: YYYYMMDD?HHNNSS[ZZZ]; character 9 is not examined.
    dt::DateTimeFields f;
    return ParseField(t, 0, 4, f.Year) && ParseField(t, 4, 2, f.Month) &&
           ParseField(t, 6, 2, f.Day) && ParseField(t, 9, 2, f.Hour) &&
           ParseField(t, 11, 2, f.Minute) && ParseField(t, 13, 2, f.Second) &&
           ParseField(t, 15, 3, f.Millisecond) && dt::TryEncodeDateTime(f, value);
}

void TQMSettings::ParseSections() {
    // The index of headers is built by the first lookup that needs it.
    sections_.clear();
    ResetIndex();
    indexed_ = false;
    TQMSettingsSection* current = nullptr;
    for (std::size_t i = 0; i < Lines.size(); ++i) {
        const std::string_view t = TrimView(Lines.View(i));
        if (IsHeader(t)) {
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
