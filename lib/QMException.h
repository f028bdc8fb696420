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
