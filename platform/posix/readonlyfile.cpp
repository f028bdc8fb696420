#include "platform/readonlyfile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

ReadOnlyFile::ReadOnlyFile(const std::string& path) {
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        error_ = errno;
        return;
    }
    struct stat st {};
    if (fstat(fd_, &st) != 0)
        error_ = errno;
    else if (S_ISDIR(st.st_mode))
        error_ = EISDIR; // a folder opens for reading, but holds no text
    else
        size_ = static_cast<std::int64_t>(st.st_size);
    if (error_) {
        close(fd_);
        fd_ = -1;
    }
}

ReadOnlyFile::~ReadOnlyFile() {
    if (fd_ >= 0)
        close(fd_);
}

int ReadOnlyFile::ReadAt(std::int64_t offset, std::size_t length, std::string& out) const {
    out.resize(length);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = pread(fd_, out.data() + done, length - done,
                                static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : EIO;
            out.clear();
            return err;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

FileStamp StampOf(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return {};
    return {true, static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
            static_cast<std::int64_t>(st.st_size),
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

} // namespace platform
