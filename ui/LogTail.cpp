#include "ui/LogTail.h"

#include "ui/QtDateTime.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <string>

namespace ui {

namespace {

constexpr qint64 BlockSize = 64 * 1024;

} // namespace

TLogTail ReadLogTail(const QString& path, int maxLines, qint64 maxBytes) {
    TLogTail tail;
    const QFileInfo info(path);
    if (!info.exists()) {
        tail.Problem = QStringLiteral("There is no log file yet at %1. It is written when a task "
                                      "runs.")
                           .arg(path);
        return tail;
    }
    QFile file(path);
    if (info.isDir() || !file.open(QIODevice::ReadOnly)) {
        const QString reason = info.isDir() ? QStringLiteral("it is a folder") : file.errorString();
        tail.Problem = QStringLiteral("The log file %1 cannot be read: %2.").arg(path, reason);
        return tail;
    }

    // Blocks from the end until the buffer holds one line end more than the
    // lines wanted (the line before it is then whole), or the start is reached.
    const qint64 size = file.size();
    const qint64 limit = std::min(size, maxBytes);
    QByteArray buffer;
    qint64 start = size;
    qsizetype lineEnds = 0;
    while (start > size - limit && lineEnds <= maxLines) {
        const qint64 length = std::min(BlockSize, start - (size - limit));
        start -= length;
        if (!file.seek(start)) {
            tail.Problem =
                QStringLiteral("The log file %1 cannot be read: %2.").arg(path, file.errorString());
            return tail;
        }
        const QByteArray block = file.read(length);
        if (block.size() != length) {
            tail.Problem =
                QStringLiteral("The log file %1 cannot be read: %2.").arg(path, file.errorString());
            return tail;
        }
        lineEnds += block.count('\n');
        buffer.prepend(block);
    }

    QList<QByteArray> lines = buffer.split('\n');
    // The text after the last line end is an unfinished line, or nothing.
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    // A line cut by the start of the buffer is dropped while whole ones remain.
    if (start > 0 && lines.size() > 1)
        lines.removeFirst();
    const qsizetype first = std::max<qsizetype>(0, lines.size() - maxLines);
    tail.Lines.reserve(lines.size() - first);
    for (qsizetype i = first; i < lines.size(); ++i) {
        QByteArray& line = lines[i];
        if (line.endsWith('\r'))
            line.chop(1);
        tail.Lines << ToQString(std::string(line.constData(), static_cast<size_t>(line.size())));
    }
    tail.Readable = true;
    return tail;
}

} // namespace ui
