#include "lib/InOutError.h"

#include <system_error>

namespace io {

namespace {

std::string PlainMessage(int code) {
    return "I/O error " + std::to_string(code);
}

// 0 when the number has no meaning in the table.
int KnownCode(int osError, bool creating) {
    switch (static_cast<std::errc>(osError)) {
    case std::errc::no_such_file_or_directory:
        return creating ? InvalidFilename : FileNotFound;
    case std::errc::not_a_directory:
        return InvalidFilename;
    case std::errc::is_a_directory:
    case std::errc::permission_denied:
    case std::errc::operation_not_permitted:
        return FileAccessDenied;
    case std::errc::too_many_files_open:
    case std::errc::too_many_files_open_in_system:
        return TooManyOpenFiles;
    case std::errc::no_space_on_device:
        return DiskFull;
    default:
        return 0;
    }
}

} // namespace

std::string InOutErrorMessage(int code) {
    switch (code) {
    case FileNotFound:
        return "File not found";
    case InvalidFilename:
        return "Invalid filename";
    case TooManyOpenFiles:
        return "Too many open files";
    case FileAccessDenied:
        return "File access denied";
    case ReadBeyondEndOfFile:
        return "Read beyond end of file";
    case DiskFull:
        return "Disk full";
    case InvalidNumericInput:
        return "Invalid numeric input";
    default:
        return PlainMessage(code);
    }
}

int InOutErrorCode(int osError, bool creating) {
    const int known = KnownCode(osError, creating);
    return known ? known : osError;
}

EInOutError MakeInOutError(int osError, bool creating, const std::string& context) {
    const int known = KnownCode(osError, creating);
    // An errno without a meaning of its own keeps the plain form, also where
    // its number happens to equal a code of the table (EIO is 5).
    const int code = known ? known : osError;
    std::string message = known ? InOutErrorMessage(code) : PlainMessage(code);
    if (!context.empty())
        message = context + message;
    return EInOutError(code, message, osError);
}

} // namespace io
