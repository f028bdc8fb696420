#pragma once

#include <exception>
#include <string>
#include <utility>

// The program's general exception: every failure the program raises is one of
// these (or derived from it) and carries its message text.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : Message(std::move(message)) {}
    const char* what() const noexcept override { return Message.c_str(); }

    std::string Message;
};

// An input/output failure with its error code (see settings/classQMLogFile).
class EInOutError : public Exception {
public:
    EInOutError(int errorCode, std::string message, int osError = 0)
        : Exception(std::move(message)), ErrorCode(errorCode), OsError(osError) {}

    int ErrorCode;
    // The operating system's error number behind it (errno); 0 when none.
    int OsError;
};

// A program that could not be started. The message keeps the words of the
// error box; Detail names a cause that the system's error number alone does
// not tell (a missing interpreter), for the log and the notifications.
class EStartError : public Exception {
public:
    EStartError(std::string message, std::string detail)
        : Exception(std::move(message)), Detail(std::move(detail)) {}

    std::string Detail;
};

// Why something failed, in the log's and the notifications' words: the
// message, and the detail of a failed start when there is one.
inline std::string ReasonOf(const std::exception& error) {
    const auto* start = dynamic_cast<const EStartError*>(&error);
    if (start == nullptr || start->Detail.empty())
        return error.what();
    return start->Message + "; " + start->Detail;
}
