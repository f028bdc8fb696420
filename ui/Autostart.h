#pragma once

#include <QString>

// The user's autostart entry of the desktop: a desktop entry in
// $XDG_CONFIG_HOME/autostart (default ~/.config/autostart) that starts the
// program, hidden, at login.
namespace ui {

// Outcome of writing or removing the entry; never raised.
struct TAutostartResult {
    bool Ok = true;
    QString Error; // the failure in words when !Ok
    explicit operator bool() const { return Ok; }
};

// Path of the entry.
QString AutostartEntryPath();

// The value of the entry's Exec key for the program at that absolute path:
// the path, quoted and escaped as desktop entries require, then --minimized.
QString AutostartExecValue(const QString& programPath);

// The entry exists, is not hidden, and its Exec starts that program.
bool AutostartEntryStartsProgram(const QString& programPath);

// Writes the entry for that program (replacing one that is there), creating
// the folder. Refuses a path that is empty or not UTF-8 text (Qt's answer
// for a folder named in another code set).
[[nodiscard]] TAutostartResult WriteAutostartEntry(const QString& programPath);

// Removes the entry; no entry is no failure.
[[nodiscard]] TAutostartResult RemoveAutostartEntry();

} // namespace ui
