#pragma once

#include <QString>
#include <QStringList>

namespace ui {

// What the program's command line asks for.
struct TCommandLine {
    enum class TAction {
        Start,   // start the scheduler
        Help,    // print the usage, end with status 0
        Version, // print the caption and version, end with status 0
        Error    // print the error and the usage to standard error, end with status 2
    };
    TAction Action = TAction::Start;
    // Start hidden in the notification area, or minimised without one.
    bool Minimized = false;
    // What to print for Help, Version and Error.
    QString Text;
};

// Reads the arguments, the program's own path first. Needs no application
// object, so that a wrong option starts nothing at all.
TCommandLine ParseCommandLine(const QStringList& arguments);

// Prints what a command line other than Start asks for; returns the exit
// status (0, or 2 for an error).
int ReportCommandLine(const TCommandLine& command);

} // namespace ui
