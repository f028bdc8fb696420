#include "platform/textfile.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

int WriteAll(int fd, const std::string& text) {
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return 0;
}

// A rename is only durable once the folder's entry is on disk too. Some file
// systems refuse to sync a folder; the file itself is safe by then, so that
// is not a failure.
void SyncFolder(const std::string& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    static_cast<void>(fsync(fd));
    close(fd);
}

// Writing through a symbolic link must replace the file it points at, not
// turn the link into a file of its own.
std::string ResolveLink(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved)
        return path;
    std::string target(resolved);
    std::free(resolved);
    return target;
}

} // namespace

int ReadWholeFile(const std::string& path, std::string& content) {
    content.clear();
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int err = 0;
    // One buffer of the file's size: growing it while reading costs more
    // than the read itself for a large file.
    struct stat info {};
    if (fstat(fd, &info) == 0 && info.st_size > 0)
        content.reserve(static_cast<std::size_t>(info.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            err = errno;
            break;
        }
        if (n == 0)
            break;
        content.append(buf, static_cast<std::size_t>(n));
    }
    close(fd);
    if (err)
        content.clear();
    return err;
}

int WriteFileAtomically(const std::string& path, const std::string& content) {
    if (path.empty())
        return ENOENT;
    const std::string target = ResolveLink(path);

    struct stat old {};
    bool exists = false;
    if (stat(target.c_str(), &old) == 0) {
        if (S_ISDIR(old.st_mode))
            return EISDIR;
        // The rename needs only the folder's permission; a file the user may
        // not write must not be replaced all the same.
        if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
            return errno;
        exists = true;
    }

    // The temporary file must lie in the same folder: rename is atomic only
    // within one file system.
    const auto slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : target.substr(0, slash);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temp = folder + "/." + base + ".XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;

    int err = 0;
    // Only root may hand a file on to its old owner; otherwise it stays ours.
    if (exists)
        static_cast<void>(fchown(fd, old.st_uid, old.st_gid));
    const mode_t mode = exists ? (old.st_mode & 0777) : 0600;
    if (fchmod(fd, mode) != 0)
        err = errno;
    if (!err)
        err = WriteAll(fd, content);
    if (!err && fsync(fd) != 0)
        err = errno;
    if (close(fd) != 0 && !err)
        err = errno;
    if (!err && rename(temp.c_str(), target.c_str()) != 0)
        err = errno;
    if (err) {
        unlink(temp.c_str());
        return err;
    }
    SyncFolder(folder);
    return 0;
}

int AppendToFile(const std::string& path, const std::string& text) {
    int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno;
    int err = WriteAll(fd, text);
    if (close(fd) != 0 && !err)
        err = errno;
    return err;
}

bool IsSameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

} // namespace platform
