#include "platform/journalfile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include <utility>

namespace platform {

JournalFile::JournalFile(std::string path) : path_(std::move(path)) {}

JournalFile::~JournalFile() {
    if (fd_ >= 0)
        close(fd_);
}

int JournalFile::Open() {
    if (fd_ >= 0)
        return 0;
    // O_EXCL first: only a file this call made needs its folder synced.
    fd_ = open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
        created_ = true;
        return 0;
    }
    if (errno != EEXIST)
        return errno;
    fd_ = open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    return fd_ >= 0 ? 0 : errno;
}

int JournalFile::Append(const std::string& text, bool durable) {
    if (const int error = Open())
        return error;
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd_, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        done += static_cast<std::size_t>(n);
    }
    if (!durable)
        return 0;
    if (fdatasync(fd_) != 0)
        return errno;
    if (created_) {
        const std::string::size_type slash = path_.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : path_.substr(0, slash + 1);
        const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            // Some file systems refuse to sync a folder; the records are on
            // disk by then.
            static_cast<void>(fsync(dir));
            close(dir);
        }
        created_ = false;
    }
    return 0;
}

int JournalFile::Clear() {
    if (fd_ >= 0)
        return ftruncate(fd_, 0) == 0 ? 0 : errno;
    if (truncate(path_.c_str(), 0) == 0 || errno == ENOENT)
        return 0;
    return errno;
}

} // namespace platform
