#pragma once

#include <QString>
#include <QStringList>

namespace ui {

// The end of a log file, for showing it.
struct TLogTail {
    // False when the file is missing or cannot be read; Problem then says so
    // in a sentence for the user.
    bool Readable = false;
    QString Problem;
    // The last lines, oldest first, without their line ends.
    QStringList Lines;
};

// Reads the last `maxLines` lines of the file. Only the end of the file is
// read, backwards in blocks, and never more than `maxBytes`: the cost does not
// grow with the length of the log. A line longer than that is shown cut at
// its start. Line ends may be "\r\n" or "\n".
TLogTail ReadLogTail(const QString& path, int maxLines, qint64 maxBytes = qint64(4) << 20);

} // namespace ui
