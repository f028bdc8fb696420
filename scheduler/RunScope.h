#pragma once

#include <string>

// Puts a run's processes into a transient scope of the user's service
// manager (a control group of its own), so that stopping the run reaches
// every process it started, whatever session or parent they took.
class TRunScope {
public:
    // Whether a service manager answers on the session bus.
    static bool ServiceManagerRuns();

    // Asks for a scope named `unit` ("...scope") holding the process and
    // waits, a bounded time, until the manager has placed it there. False
    // when the manager refused or did not answer in time.
    static bool Enter(int pid, const std::string& unit, const std::string& description);

    // Sends the signal to every process of the scope (SIGTERM, or with force
    // SIGKILL). Nothing happens when the scope is gone.
    static void Signal(const std::string& unit, bool force);
};
