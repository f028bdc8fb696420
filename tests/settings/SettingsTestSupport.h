#pragma once

#include <string>

namespace settings_test {

// A scenario on files in a folder; 0 when every step went as expected,
// otherwise the number of the step that failed.
using TScenario = int (*)(const std::string& folder);

// Runs the scenario and expects 0. Root may read and write any file, so as
// root it runs in a child process as nobody/nogroup, in a folder that lets
// anyone replace its entries.
void ExpectScenarioPassesUnprivileged(const std::string& folder, TScenario scenario);

} // namespace settings_test
