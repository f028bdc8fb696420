#include "settings/LogTail.h"

#include "platform/readonlyfile.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace {

constexpr std::int64_t BlockSize = 64 * 1024;

TLogTail Unreadable(std::string reason) {
    TLogTail tail;
    tail.State = TLogTail::TState::Unreadable;
    tail.Error = std::move(reason);
    return tail;
}

TLogTail Unreadable(int error) {
    if (error == EISDIR)
        return Unreadable("it is a folder");
    return Unreadable(std::generic_category().message(error));
}

} // namespace

TLogTail ReadLogTail(const std::string& path, int maxLines, std::int64_t maxBytes) {
    const platform::ReadOnlyFile file(path);
    if (file.Error() == ENOENT || file.Error() == ENOTDIR)
        return {};
    if (file.Error())
        return Unreadable(file.Error());

    // Blocks from the end until the buffer holds one line end more than the
    // lines wanted (the line before it is then whole), or the start is reached.
    const std::int64_t size = file.Size();
    const std::int64_t first = size - std::min(size, maxBytes);
    std::string buffer;
    std::string block;
    std::int64_t start = size;
    std::int64_t lineEnds = 0;
    while (start > first && lineEnds <= maxLines) {
        const std::int64_t length = std::min(BlockSize, start - first);
        start -= length;
        if (const int error = file.ReadAt(start, static_cast<std::size_t>(length), block))
            return Unreadable(error);
        lineEnds += std::count(block.begin(), block.end(), '\n');
        buffer.insert(0, block);
    }

    std::vector<std::string_view> lines;
    for (std::size_t from = 0;;) {
        const std::size_t end = buffer.find('\n', from);
        if (end == std::string::npos) {
            // The text after the last line end is an unfinished line, or nothing.
            if (from < buffer.size())
                lines.emplace_back(buffer.data() + from, buffer.size() - from);
            break;
        }
        lines.emplace_back(buffer.data() + from, end - from);
        from = end + 1;
    }
    // A line cut by the start of the buffer is dropped while whole ones remain.
    if (start > 0 && lines.size() > 1)
        lines.erase(lines.begin());
    TLogTail tail;
    tail.State = TLogTail::TState::Read;
    const std::size_t from =
        lines.size() - std::min(lines.size(), static_cast<std::size_t>(maxLines));
    tail.Lines.reserve(lines.size() - from);
    for (std::size_t i = from; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        tail.Lines.emplace_back(line);
    }
    return tail;
}
