#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// A file opened for reading parts of it, for example the end of a long log.
// The path is taken byte for byte, whatever its encoding.
class ReadOnlyFile {
public:
    // Opens the file. Error() is then 0, or the errno of the failure: ENOENT
    // (or ENOTDIR) when nothing is there, EISDIR for a folder.
    explicit ReadOnlyFile(const std::string& path);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    int Error() const { return error_; }
    // The size at the moment it was opened.
    std::int64_t Size() const { return size_; }
    // Reads `length` bytes from `offset` into `out`, replacing its content:
    // 0, or the errno of the failure (EIO when the file ended sooner).
    [[nodiscard]] int ReadAt(std::int64_t offset, std::size_t length, std::string& out) const;

private:
    int fd_ = -1;
    int error_ = 0;
    std::int64_t size_ = 0;
};

// What a reader can tell of a file without reading it. Two equal stamps
// taken at different times mean that the file was not replaced, grown or
// written in between, as far as the file system's clock tells.
struct FileStamp {
    bool Exists = false;
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    std::int64_t Size = -1;
    std::int64_t ModifiedNs = 0;
    bool operator==(const FileStamp&) const = default;
};
// The stamp of what is at the path (links followed); Exists is false when
// nothing is there.
FileStamp StampOf(const std::string& path);

} // namespace platform
