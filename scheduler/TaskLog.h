#pragma once

#include <functional>
#include <string>

// Where a task's run hands its log line. The application store fills this
// seam, so that the scheduling layer never depends on the settings layer.
using TaskLogHandler = std::function<void(const std::string& line)>;

// Replaces the handler; an empty function drops the lines.
void SetTaskLogHandler(TaskLogHandler handler);

// Hands the line to the handler. Failures of the handler reach the caller.
void WriteTaskLog(const std::string& line);
