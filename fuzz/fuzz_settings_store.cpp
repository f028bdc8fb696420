// The settings store on any bytes: the file loads, every key of every section
// reads, and a save and a second load give back the same lines, sections,
// keys and values. A time stamp read and written again is the same stamp.
#include "fuzz/FuzzSupport.h"
#include "lib/classZQStringUtil.h"
#include "settings/classQMSettings.h"

#include <map>
#include <utility>

using fuzz_support::ScratchFolder;

namespace {

using Values = std::map<std::pair<std::string, std::string>, std::string>;

std::string Normal(const std::string& name) {
    return TZQStringUtil::LowerCase(TZQStringUtil::Trim(name));
}

// Every key line of every section, looked up by the section's and the key's
// name as the file spells them: "+" and the value when found, "-" when not.
Values ReadAll(const TQMSettings& s) {
    Values values;
    for (int i = 0; i < s.SectionCount(); ++i) {
        const TQMSettingsSection& section = s.Section(i);
        FUZZ_CHECK(section.Owner == &s);
        const auto first = static_cast<std::size_t>(section.LineIndex) + 1;
        const std::size_t end = first + static_cast<std::size_t>(section.LineCount);
        FUZZ_CHECK(end <= s.Lines.size());
        for (std::size_t j = first; j < end; ++j) {
            const std::string& line = s.Lines[j];
            const auto eq = line.find('=');
            if (eq == std::string::npos)
                continue;
            const std::string key = line.substr(0, eq);
            std::string value;
            const bool found = s.ReadString(section.Name, key, value);
            FUZZ_CHECK(found || value.empty());
            values[{section.Name, key}] = (found ? "+" : "-") + value;

            bool flag = false;
            const bool isFlag = s.ReadBool(section.Name, key, flag);
            const std::string lower = Normal(value);
            FUZZ_CHECK(isFlag ==
                       (lower == "0" || lower == "1" || lower == "false" || lower == "true"));

            TDateTime stamp = 0;
            if (s.ReadDateTime(section.Name, key, stamp)) {
                // What a read gives, a write and a read give again.
                TQMSettings scratch;
                scratch.WriteDateTime("s", "k", stamp);
                TDateTime again = -1;
                FUZZ_CHECK(scratch.ReadDateTime("s", "k", again));
                FUZZ_CHECK(again == stamp);
                std::string text;
                FUZZ_CHECK(scratch.ReadString("s", "k", text) && text.size() == 18);
            }
        }
    }
    return values;
}

std::vector<std::string> SectionNames(const TQMSettings& s) {
    std::vector<std::string> names;
    for (int i = 0; i < s.SectionCount(); ++i)
        names.push_back(s.Section(i).Name);
    return names;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_support::StartProgramObjects();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = ScratchFolder() + "store.ini";
    const std::string copy = ScratchFolder() + "store-saved.ini";
    fuzz_support::WriteBytes(path, fuzz_support::Text(data, size));

    TQMSettings first;
    FUZZ_CHECK(first.LoadFromFile(path));
    for (const std::string& line : first.Lines)
        FUZZ_CHECK(line.find_first_of(std::string("\r\n\0", 3)) == std::string::npos);
    const Values before = ReadAll(first);
    std::vector<std::string> sections = SectionNames(first);
    const bool hadSystem = first.SectionExists("System");

    first.SaveToFile(copy);
    TQMSettings second;
    FUZZ_CHECK(second.LoadFromFile(copy));
    // The save adds only the type line (and its section when missing).
    FUZZ_CHECK(second.Lines == first.Lines);
    if (!hadSystem)
        sections.push_back("system");
    FUZZ_CHECK(SectionNames(second) == sections);
    std::string type;
    FUZZ_CHECK(second.ReadString("System", "initype", type));

    const Values after = ReadAll(second);
    for (const auto& [where, value] : before) {
        // The type line the save added may now be the first of its key.
        if (Normal(where.first) == "system" && Normal(where.second) == "initype")
            continue;
        const auto it = after.find(where);
        FUZZ_CHECK(it != after.end());
        FUZZ_CHECK(it->second == value);
    }
    return 0;
}
