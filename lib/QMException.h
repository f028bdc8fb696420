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
    EInOutError(int errorCode, std::string message)
        : Exception(std::move(message)), ErrorCode(errorCode) {}

    int ErrorCode;
};
