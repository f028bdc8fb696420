#include "settings/LogTail.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

constexpr qint64 BlockSize = 64 * 1024;

TLogTail Unreadable(const QString& reason) {
    TLogTail tail;
    tail.State = TLogTail::TState::Unreadable;
    tail.Error = reason.toStdString();
    return tail;
}

} // namespace

TLogTail ReadLogTail(const std::string& path, int maxLines, std::int64_t maxBytes) {
    const QString name = QFile::decodeName(QByteArray::fromStdString(path));
    const QFileInfo info(name);
    if (!info.exists())
        return {};
    if (info.isDir())
        return Unreadable(QStringLiteral("it is a folder"));
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return Unreadable(file.errorString());

    // Blocks from the end until the buffer holds one line end more than the
    // lines wanted (the line before it is then whole), or the start is reached.
    const qint64 size = file.size();
    const qint64 first = size - std::min<qint64>(size, maxBytes);
    QByteArray buffer;
    qint64 start = size;
    qsizetype lineEnds = 0;
    while (start > first && lineEnds <= maxLines) {
        const qint64 length = std::min(BlockSize, start - first);
        start -= length;
        if (!file.seek(start))
            return Unreadable(file.errorString());
        const QByteArray block = file.read(length);
        if (block.size() != length)
            return Unreadable(file.errorString());
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
    TLogTail tail;
    tail.State = TLogTail::TState::Read;
    const qsizetype from = std::max<qsizetype>(0, lines.size() - maxLines);
    tail.Lines.reserve(static_cast<std::size_t>(lines.size() - from));
    for (qsizetype i = from; i < lines.size(); ++i) {
        QByteArray& line = lines[i];
        if (line.endsWith('\r'))
            line.chop(1);
        tail.Lines.push_back(line.toStdString());
    }
    return tail;
}
