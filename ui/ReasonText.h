#pragma once

#include <QString>

#include <string>

namespace ui {

// A run's result or a start's error as the user reads it: the system's
// words beside an error number ("LastError = 13 (Permission denied)"),
// the launcher's line breaks as blanks. The log keeps the bare number.
QString ReasonInWords(const std::string& reason);

} // namespace ui
