#include "platform/textfile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <vector>

namespace platform {

namespace {

// The pieces one after the other, up to IOV_MAX of them per call: a settings
// file of many sections is written without joining it first.
int WriteAll(int fd, std::span<const std::string_view> pieces) {
    std::vector<iovec> batch;
    std::size_t next = 0;
    while (next < pieces.size()) {
        batch.clear();
        for (; next < pieces.size() && batch.size() < IOV_MAX; ++next)
            if (!pieces[next].empty())
                batch.push_back({const_cast<char*>(pieces[next].data()), pieces[next].size()});
        std::size_t first = 0;
        while (first < batch.size()) {
            const ssize_t n =
                writev(fd, batch.data() + first, static_cast<int>(batch.size() - first));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            // A short write: drop what went out and go on with the rest.
            auto done = static_cast<std::size_t>(n);
            while (first < batch.size() && done >= batch[first].iov_len)
                done -= batch[first++].iov_len;
            if (first < batch.size()) {
                batch[first].iov_base = static_cast<char*>(batch[first].iov_base) + done;
                batch[first].iov_len -= done;
            }
        }
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
// turn the link into a file of its own; a link whose target does not exist
// yet (a dotfile kept elsewhere) gets its target made. A chain of links is
// followed as the kernel follows it, up to its limit of 40; empty for a
// longer chain (a loop).
std::string ResolveLink(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX), '\0');
        const ssize_t n = readlink(current.c_str(), target.data(), target.size());
        if (n <= 0)
            return current;
        target.resize(static_cast<std::size_t>(n));
        if (target.front() != '/') {
            const auto slash = current.find_last_of('/');
            if (slash != std::string::npos)
                target = current.substr(0, slash + 1) + target;
        }
        current = std::move(target);
    }
    return {}; // a loop
}

// The folder (without a trailing '/') and the name of a file path.
struct PathParts {
    std::string Folder;
    std::string Name;
};

PathParts SplitPath(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return {".", path};
    return {slash == 0 ? std::string("/") : path.substr(0, slash), path.substr(slash + 1)};
}

FileStamp ToStamp(const struct stat& st) {
    return {true, static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
            static_cast<std::int64_t>(st.st_size),
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

// Marks a temporary file as one of ours: only such names are ever removed,
// never a user's ".name.backup" or another tool's temporary.
constexpr char TemporaryMarker[] = ".qmtmp-";
constexpr std::size_t TemporaryMarkerLength = sizeof TemporaryMarker - 1;

// "." + name + marker + mkostemp's six letters or digits.
bool IsTemporaryName(const std::string& entry, const std::string& name) {
    const std::size_t prefix = 1 + name.size() + TemporaryMarkerLength;
    if (entry.size() != prefix + 6 || entry[0] != '.' || entry.compare(1, name.size(), name) != 0 ||
        entry.compare(1 + name.size(), TemporaryMarkerLength, TemporaryMarker) != 0)
        return false;
    for (std::size_t i = prefix; i < entry.size(); ++i) {
        const char c = entry[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

// True while the name in the folder still leads to the open file.
bool NameLeadsTo(int folderFd, const std::string& name, int fd) {
    struct stat byName {};
    struct stat open {};
    return fstatat(folderFd, name.c_str(), &byName, AT_SYMLINK_NOFOLLOW) == 0 &&
           fstat(fd, &open) == 0 && byName.st_dev == open.st_dev && byName.st_ino == open.st_ino;
}

} // namespace

int RemoveStaleTemporaries(const std::string& path) {
    const std::string target = ResolveLink(path);
    if (target.empty())
        return 0;
    const PathParts parts = SplitPath(target);
    DIR* dir = opendir(parts.Folder.c_str());
    if (!dir)
        return 0;
    const int folderFd = dirfd(dir);
    int removed = 0;
    while (const dirent* e = readdir(dir)) {
        const std::string entry = e->d_name;
        if (!IsTemporaryName(entry, parts.Name))
            continue;
        const int fd =
            openat(folderFd, entry.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st {};
        // A writer holds the lock until its rename: a lock that is free means
        // the writer is gone. Only the very file found unlocked is removed.
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() &&
            flock(fd, LOCK_EX | LOCK_NB) == 0 && NameLeadsTo(folderFd, entry, fd) &&
            unlinkat(folderFd, entry.c_str(), 0) == 0)
            ++removed;
        close(fd);
    }
    closedir(dir);
    return removed;
}

int ReadWholeFile(const std::string& path, std::string& content, FileStamp* stamp) {
    content.clear();
    if (stamp)
        *stamp = {};
    // Non-blocking, so that a FIFO in the file's place cannot hang the open.
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return errno;
    int err = 0;
    struct stat info {};
    if (fstat(fd, &info) != 0 || (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode))) {
        close(fd);
        return EINVAL;
    }
    if (stamp)
        *stamp = ToStamp(info);
    // One buffer of the file's size: growing it while reading costs more
    // than the read itself for a large file.
    if (info.st_size > 0)
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
    if (err) {
        content.clear();
        if (stamp)
            *stamp = {};
    }
    return err;
}

int WriteFileAtomically(const std::string& path, const std::string& content) {
    const std::string_view whole = content;
    return WriteFileAtomically(path, std::span<const std::string_view>(&whole, 1));
}

int WriteFileAtomically(const std::string& path, std::span<const std::string_view> pieces) {
    if (path.empty())
        return ENOENT;
    const std::string target = ResolveLink(path);
    if (target.empty())
        return ELOOP;

    struct stat old {};
    bool exists = false;
    if (stat(target.c_str(), &old) == 0) {
        if (S_ISDIR(old.st_mode))
            return EISDIR;
        // A rename over a device or a FIFO would replace it with a file.
        if (!S_ISREG(old.st_mode))
            return EINVAL;
        // The rename needs only the folder's permission; a file the user may
        // not write must not be replaced all the same.
        if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
            return errno;
        exists = true;
    }

    // Leftovers of killed writers would pile up beside the file for ever.
    static_cast<void>(RemoveStaleTemporaries(target));

    // The temporary file must lie in the same folder: rename is atomic only
    // within one file system.
    const PathParts parts = SplitPath(target);
    const std::string& folder = parts.Folder;
    std::string temp;
    int fd = -1;
    // The lock goes on a second descriptor, so that it lasts past the close
    // of fd (whose result says whether the data reached the file) until the
    // rename. A clean-up may remove the file between its creation and the
    // lock: then the name leads nowhere (or elsewhere) once it is locked, and
    // a new temporary file is made, up to nine in all (EAGAIN after that).
    int lockFd = -1;
    for (int attempt = 0;; ++attempt) {
        if (attempt == 9)
            return EAGAIN;
        temp = folder + "/." + parts.Name + TemporaryMarker + "XXXXXX";
        fd = mkostemp(temp.data(), O_CLOEXEC);
        if (fd < 0)
            return errno;
        lockFd = open(temp.c_str(), O_RDONLY | O_CLOEXEC);
        if (lockFd < 0) {
            const int err = errno;
            close(fd);
            if (err == ENOENT)
                continue; // removed before it could even be opened
            unlink(temp.c_str());
            return err;
        }
        // A file system without locks lets no cleaner lock either, so the
        // write goes on unlocked there.
        if (flock(lockFd, LOCK_EX) != 0 || NameLeadsTo(AT_FDCWD, temp, lockFd))
            break;
        close(fd);
        close(lockFd);
    }

    int err = 0;
    if (exists && fchown(fd, old.st_uid, old.st_gid) != 0) {
        // Only root may hand a file on to its old owner; otherwise it stays
        // ours, which is no reason to fail the save.
    }
    const mode_t mode = exists ? (old.st_mode & 0777) : 0600;
    if (fchmod(fd, mode) != 0)
        err = errno;
    if (!err)
        err = WriteAll(fd, pieces);
    if (!err && fsync(fd) != 0)
        err = errno;
    if (close(fd) != 0 && !err)
        err = errno;
    if (!err && rename(temp.c_str(), target.c_str()) != 0)
        err = errno;
    if (err)
        unlink(temp.c_str());
    close(lockFd);
    if (err)
        return err;
    SyncFolder(folder);
    return 0;
}

int AppendToFile(const std::string& path, const std::string& text) {
    // A new log is the user's own, like the settings file: it names tasks
    // and programs.
    int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno;
    const std::string_view whole = text;
    int err = WriteAll(fd, std::span<const std::string_view>(&whole, 1));
    if (close(fd) != 0 && !err)
        err = errno;
    return err;
}

} // namespace platform
