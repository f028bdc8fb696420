#include "scheduler/TaskLog.h"

#include <utility>

namespace {

TaskLogHandler& Handler() {
    static TaskLogHandler handler;
    return handler;
}

} // namespace

void SetTaskLogHandler(TaskLogHandler handler) {
    Handler() = std::move(handler);
}

void WriteTaskLog(const std::string& line) {
    if (Handler())
        Handler()(line);
}
