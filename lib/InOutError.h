#pragma once

#include "lib/QMException.h"

#include <string>

// Input/output errors: codes and messages, and how an operating-system
// error number (errno) becomes one.
namespace io {

// Error codes the file layer itself uses.
constexpr int FileNotFound = 2;
constexpr int InvalidFilename = 3; // also: a folder of the path is missing
constexpr int TooManyOpenFiles = 4;
constexpr int FileAccessDenied = 5;
constexpr int ReadBeyondEndOfFile = 100;
constexpr int DiskFull = 101;
constexpr int InvalidNumericInput = 106;

// The message of an error code: "File not found", ..., else "I/O error N".
std::string InOutErrorMessage(int code);

// The error code for an errno value. When creating, a missing entry can only
// be a missing folder of the path (code 3); when opening, it is the file
// itself (code 2). Numbers without a meaning of their own stay as they are.
int InOutErrorCode(int osError, bool creating);

// The error for an errno value, with its code and message; context, when
// given, goes in front of the message. An errno without a meaning in the
// table gives "I/O error N" with N the errno value.
EInOutError MakeInOutError(int osError, bool creating, const std::string& context = {});

} // namespace io
