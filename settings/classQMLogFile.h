#pragma once

#include <memory>
#include <string>

// Appends time-stamped lines to a log file. The file is opened, written and
// closed again for every line; nothing is kept open between lines.
class TQMLogFile {
public:
    TQMLogFile() = default;

    // Full path of the log file; set before AddLine.
    std::string FileName;

    // Appends TimeStamp() + three spaces + message + CR LF, creating the file
    // when missing. Raises EInOutError when the file cannot be opened or
    // written (code 3 "Invalid filename" for a missing folder or an empty
    // FileName, code 5 "File access denied" for a folder or no permission).
    void AddLine(const std::string& message);

    // The current local date and time as "yyyy-mmm-dd hh:nn:ss", the month
    // from the regional settings.
    std::string TimeStamp() const;
};

// The program-wide log object; null outside a TLogFileModule's lifetime.
extern TQMLogFile* LogFile;

// The log module's start-up and shutdown: creates LogFile and frees it again.
// The program entry holds one for the whole run (tests hold their own). An
// inner module replaces LogFile for its lifetime and restores the outer one.
class TLogFileModule {
public:
    TLogFileModule();
    ~TLogFileModule();
    TLogFileModule(const TLogFileModule&) = delete;
    TLogFileModule& operator=(const TLogFileModule&) = delete;

private:
    std::unique_ptr<TQMLogFile> logFile_;
    TQMLogFile* previous_;
};
