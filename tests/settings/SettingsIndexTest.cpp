#include "settings/classQMSettings.h"
#include "tests/support/NaiveSettingsStore.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

// Lines and names chosen to collide: letter case, blanks around and inside
// names, unclosed and odd headers, keys holding "=" or "[", stray lines.
const std::vector<std::string> LineKinds = {
    "[a]",  "  [A]  ", "[ a ]", "[b]", "[B", "[a]b]", "[]",  "[k=1]", "k=1", " K=2 ", "k =3",
    "k==4", "=5",      "a=b=c", "x",   "",   "  ",    "K=6", "[k",    "b=7", "[c]",   "new=8"};
const std::vector<std::string> Names = {"a", "A", " a ", "b", "a]b", "", "k=1", "c", "a\n", "B"};
const std::vector<std::string> Keys = {"k", "K",   " k ", "k=", "=", "[k",
                                       "",  "a=b", "a",   "x",  "b", "new"};

} // namespace

// The index must answer every lookup and place every write exactly where a
// scan from the top does, also after lines were put into the list by hand
// and after writes into sections in the middle of the file.
TEST(SettingsIndex, LookupsAndWritesMatchATopDownScanOnHandEditedLines) {
    std::mt19937 rng(20261207);
    auto pick = [&rng](const std::vector<std::string>& from) -> const std::string& {
        return from[rng() % from.size()];
    };
    for (int round = 0; round < 400; ++round) {
        TQMSettings s;
        naive::TStore n;
        std::vector<std::string> start(rng() % 14);
        for (auto& line : start)
            line = pick(LineKinds);
        s.Lines = start;
        n.Lines = start;
        for (int step = 0; step < 60; ++step) {
            const std::string& section = pick(Names);
            const std::string& key = pick(Keys);
            const std::string where = "round " + std::to_string(round) + " step " +
                                      std::to_string(step) + " [" + section + "] " + key;
            switch (rng() % 8) {
            case 0:
            case 1: {
                std::string got = "?";
                std::string want = "?";
                ASSERT_EQ(s.ReadString(section, key, got), n.ReadString(section, key, want))
                    << where;
                ASSERT_EQ(got, want) << where;
                break;
            }
            case 2:
                ASSERT_EQ(s.IndexOfSection(section), n.IndexOfSection(section)) << where;
                ASSERT_EQ(s.IndexOfKey(section, key), n.IndexOfKey(section, key)) << where;
                break;
            case 3:
            case 4:
            case 5: {
                const std::string value = "v" + std::to_string(step) + (step % 5 ? "" : "\r\n");
                s.WriteString(section, key, value);
                n.WriteString(section, key, value);
                ASSERT_EQ(s.Lines, n.Lines) << where;
                break;
            }
            case 6: {
                const std::string& line = pick(LineKinds);
                if (s.Lines.empty() || rng() % 2) {
                    s.Lines.push_back(line);
                    n.Lines.push_back(line);
                } else {
                    const std::size_t i = rng() % n.Lines.size();
                    s.Lines[i] = line;
                    n.Lines[i] = line;
                }
                break;
            }
            default:
                if (rng() % 4 == 0) {
                    s.Clear();
                    n.Lines.clear();
                }
            }
        }
    }
}

// A section entry's own keys, read in one pass, give what a lookup by its name
// gives for the first header of a name; a header that no lookup by the
// entry's name finds gives no keys.
TEST(SettingsIndex, SectionEntryKeysMatchLookupsByName) {
    std::mt19937 rng(7);
    auto pick = [&rng](const std::vector<std::string>& from) -> const std::string& {
        return from[rng() % from.size()];
    };
    testing_support::TempDir dir;
    const std::string path = dir.File("s.ini");
    int compared = 0;
    for (int round = 0; round < 120; ++round) {
        naive::TStore n;
        n.Lines.resize(rng() % 16);
        std::string content;
        for (auto& line : n.Lines) {
            line = pick(LineKinds);
            content += line + "\r\n";
        }
        testing_support::WriteFile(path, content);
        TQMSettings s;
        ASSERT_TRUE(s.LoadFromFile(path));
        for (int e = 0; e < s.SectionCount(); ++e) {
            const TQMSettingsSection& entry = s.Section(e);
            std::vector<std::pair<std::string, std::string>> visited;
            s.ReadSectionKeys(entry, [&](std::string_view key, std::string_view value) {
                visited.emplace_back(key, value);
            });
            const int first = n.IndexOfSection(entry.Name);
            const std::string where = "round " + std::to_string(round) + " [" + entry.Name + "]";
            if (first < 0) {
                EXPECT_TRUE(visited.empty()) << where;
                continue;
            }
            if (first != entry.LineIndex)
                continue; // a repeated header reads its own lines
            for (const char* key : {"k", "K", " k ", "", "a", "x", "b", "new"}) {
                std::string want;
                const bool present = n.ReadString(entry.Name, key, want);
                const auto it = std::find_if(visited.begin(), visited.end(), [&](const auto& kv) {
                    return ascii::EqualsNoCase(kv.first, naive::TStore::Normal(key));
                });
                ASSERT_EQ(it != visited.end(), present) << where << " " << key;
                if (present) {
                    EXPECT_EQ(it->second, want) << where << " " << key;
                }
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 200); // the lines do make findable sections
}
