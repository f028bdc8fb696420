#include "settings/classQMLogFile.h"

#include "lib/DateTimeUtil.h"
#include "lib/InOutError.h"
#include "platform/textfile.h"

TQMLogFile* LogFile = nullptr;

void TQMLogFile::AddLine(const std::string& message) {
    const std::string line = TimeStamp() + "   " + message + "\r\n";
    // An empty name would be resolved against whatever folder is current.
    if (FileName.empty())
        throw EInOutError(io::InvalidFilename, io::InOutErrorMessage(io::InvalidFilename));
    if (int err = platform::AppendToFile(FileName, line))
        throw io::MakeInOutError(err, true);
}

std::string TQMLogFile::TimeStamp() const {
    return dt::FormatDateTime("yyyy-mmm-dd hh:nn:ss", dt::Now());
}

TLogFileModule::TLogFileModule() : logFile_(std::make_unique<TQMLogFile>()), previous_(LogFile) {
    LogFile = logFile_.get();
}

TLogFileModule::~TLogFileModule() {
    LogFile = previous_;
}
