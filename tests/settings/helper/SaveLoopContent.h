#pragma once

#include <string>
#include <vector>

// The settings file of one generation of the save loop: many task-like
// sections whose every value names the generation, so that any mix of two
// generations, or a cut-off file, is seen at once.
namespace save_loop {

constexpr int Sections = 1200; // 6000 lines with the blank ones

inline std::vector<std::string> Lines(long long generation) {
    const std::string g = std::to_string(generation);
    std::vector<std::string> lines{"[generation]", "n=" + g};
    for (int i = 0; i < Sections; ++i) {
        lines.emplace_back();
        lines.push_back("[tasks\\" + std::to_string(i) + "]");
        lines.push_back("taskname=task " + std::to_string(i) + " of generation " + g);
        lines.push_back("taskfilename=/usr/bin/program-" + g + "-" + std::to_string(i));
        lines.push_back("datetimelastexecuted=20261207-0830" + std::to_string(10 + i % 50) + "000");
    }
    return lines;
}

} // namespace save_loop
