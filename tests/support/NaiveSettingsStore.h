#pragma once

// A deliberately naive settings store: every lookup scans the lines from the
// top, the plain reading of the file rules. The benchmarks measure the real
// store against it; the store's tests check that both find and write the
// same lines.

#include "lib/AsciiText.h"

#include <string>
#include <string_view>
#include <vector>

namespace naive {

struct TStore {
    std::vector<std::string> Lines;

    static std::string Normal(std::string_view name) {
        std::string n;
        for (const char c : ascii::TrimView(name))
            n += c == '\r' || c == '\n' || c == '\0' ? ' ' : ascii::ToLower(c);
        return n;
    }

    int IndexOfSection(std::string_view section) const {
        const std::string target = "[" + Normal(section) + "]";
        for (std::size_t i = 0; i < Lines.size(); ++i)
            if (ascii::EqualsNoCase(ascii::TrimView(Lines[i]), target))
                return static_cast<int>(i);
        return -1;
    }

    int IndexOfKey(std::string_view section, std::string_view key) const {
        const int h = IndexOfSection(section);
        if (h < 0)
            return -1;
        const std::string probe = Normal(key) + "=";
        for (std::size_t i = static_cast<std::size_t>(h) + 1; i < Lines.size(); ++i) {
            const std::string_view t = ascii::TrimView(Lines[i]);
            if (ascii::StartsWithNoCase(t, probe))
                return static_cast<int>(i);
            if (t.starts_with('['))
                return -1;
        }
        return -1;
    }

    bool ReadString(std::string_view section, std::string_view key, std::string& value) const {
        value.clear();
        const int i = IndexOfKey(section, key);
        if (i < 0)
            return false;
        const std::string& line = Lines[static_cast<std::size_t>(i)];
        value = line.substr(line.find('=') + 1);
        return true;
    }

    void WriteString(std::string_view section, std::string_view key, std::string value) {
        for (char& c : value)
            c = c == '\r' || c == '\n' || c == '\0' ? ' ' : c;
        std::string line = Normal(key) + "=" + value;
        const int h = IndexOfSection(section);
        if (h < 0) {
            if (!Lines.empty())
                Lines.emplace_back();
            Lines.push_back("[" + Normal(section) + "]");
            Lines.push_back(std::move(line));
            return;
        }
        for (auto i = Lines.begin() + h + 1; i != Lines.end(); ++i) {
            const std::string_view t = ascii::TrimView(*i);
            if (t.empty() || t.starts_with('[')) {
                Lines.insert(i, std::move(line));
                return;
            }
        }
        Lines.push_back(std::move(line));
    }
};

} // namespace naive
