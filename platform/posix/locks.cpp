#include "platform/locks.h"

#include "platform/folders.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::string TrimSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string RealPath(const std::string& path) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved)
        return {};
    std::string result(resolved);
    std::free(resolved);
    return result;
}

// Why a folder found in the way is not this user's private one; empty when
// it is.
std::string Unfit(const struct stat& st) {
    if (S_ISLNK(st.st_mode))
        return "is a symbolic link";
    if (!S_ISDIR(st.st_mode))
        return "is no folder";
    if (st.st_uid != geteuid())
        return "belongs to another user";
    if ((st.st_mode & 07777) != 0700)
        return "has another mode than 0700";
    return {};
}

// Makes the folder (mode 0700) when missing and takes it when it is this
// user's own, giving it mode 0700; else says why not. The checks and the
// mode change go through one descriptor opened without following a link, so
// another user cannot swap the name in between.
std::string TakeFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return std::string("cannot be made (") + std::strerror(errno) + ")";
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        struct stat st {};
        if (lstat(path.c_str(), &st) == 0 && !Unfit(st).empty())
            return Unfit(st);
        return std::string("cannot be opened (") + std::strerror(error) + ")";
    }
    struct stat st {};
    std::string why;
    if (fstat(fd, &st) != 0)
        why = std::string("cannot be examined (") + std::strerror(errno) + ")";
    else if (st.st_uid != geteuid())
        why = "belongs to another user";
    else if ((st.st_mode & 07777) != 0700 && fchmod(fd, 0700) != 0)
        why = std::string("cannot be given mode 0700 (") + std::strerror(errno) + ")";
    close(fd);
    return why;
}

} // namespace

RuntimeFolder UserRuntimeFolder(const RuntimeRoots& roots) {
    RuntimeFolder result;
    const std::string uid = std::to_string(geteuid());
    const auto passOver = [&result](const std::string& path, const std::string& why) {
        result.Warnings.push_back(path + " " + why + "; passed over");
    };

    // Made by the login manager, never by us: only used as it is.
    const std::string perUser = TrimSlashes(roots.PerUser) + "/" + uid;
    struct stat st {};
    if (lstat(perUser.c_str(), &st) == 0) {
        const std::string why = Unfit(st);
        if (why.empty())
            return {perUser, {}, {}};
        passOver(perUser, why);
    }

    const std::string shared = TrimSlashes(roots.Shared) + "/qmtaskscheduler2-" + uid;
    std::string why = TakeFolder(shared);
    if (why.empty()) {
        result.Path = shared;
        return result;
    }
    passOver(shared, why);

    const std::string home =
        roots.Home.empty() ? SpecialFolderPath(SpecialFolder::UserHome) : roots.Home;
    if (home.empty()) {
        result.Problem = "no run-time folder: no home folder is known";
        return result;
    }
    const std::string cache = TrimSlashes(home) + "/.cache";
    static_cast<void>(mkdir(cache.c_str(), 0700));
    const std::string own = cache + "/qmtaskscheduler2";
    why = TakeFolder(own);
    if (why.empty()) {
        result.Path = own;
        return result;
    }
    result.Problem = "no run-time folder: " + own + " " + why;
    return result;
}

std::string CanonicalPath(const std::string& path) {
    std::string absolute = path;
    if (absolute.empty() || absolute.front() != '/') {
        const std::string here = RealPath(".");
        absolute = (here == "/" ? std::string() : here) + "/" + path;
    }
    // Split into names; resolve the longest existing folder above.
    std::string existing = TrimSlashes(absolute);
    std::string rest;
    std::string resolved;
    while (true) {
        resolved = RealPath(existing);
        if (!resolved.empty() || existing == "/")
            break;
        const auto slash = existing.find_last_of('/');
        rest = existing.substr(slash + 1) + (rest.empty() ? "" : "/" + rest);
        existing = slash == 0 ? std::string("/") : existing.substr(0, slash);
    }
    if (resolved.empty())
        resolved = "/";
    std::size_t start = 0;
    while (start <= rest.size() && !rest.empty()) {
        auto end = rest.find('/', start);
        if (end == std::string::npos)
            end = rest.size();
        const std::string name = rest.substr(start, end - start);
        if (name == "..") {
            const auto slash = resolved.find_last_of('/');
            resolved = slash == 0 ? std::string("/") : resolved.substr(0, slash);
        } else if (!name.empty() && name != ".") {
            resolved += (resolved == "/" ? "" : "/") + name;
        }
        start = end + 1;
    }
    return resolved;
}

LockHolder FindLockHolder(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return {};
    // Lines such as "1: FLOCK  ADVISORY  WRITE 4711 08:01:1234 0 EOF". The
    // inode decides: on an overlay file system the lock sits on the file
    // below, whose device is not the one stat gives.
    const std::string inode = ":" + std::to_string(st.st_ino);
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, file;
        if (!(fields >> number >> kind) || kind == "->")
            continue; // a waiter, not a holder
        if (!(fields >> mode >> access >> pid >> file) || kind != "FLOCK" || !file.ends_with(inode))
            continue;
        LockHolder holder;
        holder.Pid = std::atoi(pid.c_str());
        struct stat process {};
        holder.SameUser =
            stat(("/proc/" + pid).c_str(), &process) == 0 && process.st_uid == geteuid();
        return holder;
    }
    return {};
}

FileLock::FileLock(const std::string& path, unsigned mode) : path_(path), mode_(mode) {
    TryAgain();
}

FileLock::~FileLock() {
    // Removed while still locked: whoever opened the old file meanwhile
    // finds that its name leads elsewhere once it has the lock, and tries
    // again.
    if (state_ == TState::Held)
        unlink(path_.c_str());
    Release();
}

void FileLock::Release() {
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

bool FileLock::NameLeadsToOpenFile() const {
    struct stat byName {};
    struct stat open {};
    return lstat(path_.c_str(), &byName) == 0 && fstat(fd_, &open) == 0 &&
           byName.st_dev == open.st_dev && byName.st_ino == open.st_ino;
}

FileLock::TState FileLock::TryAgain() {
    if (state_ == TState::Held)
        return state_;
    for (int attempt = 0; attempt < 8; ++attempt) {
        Release();
        error_ = 0;
        // Reading is enough for flock, so a lock file that another user
        // sharing the folder made still locks. Non-blocking: a FIFO in its
        // place must not hang the start.
        fd_ =
            open(path_.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK,
                 static_cast<mode_t>(mode_));
        if (fd_ < 0) {
            error_ = errno;
            state_ = TState::Failed;
            return state_;
        }
        int result;
        while ((result = flock(fd_, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
        }
        if (result != 0) {
            error_ = errno == EWOULDBLOCK ? 0 : errno;
            state_ = error_ == 0 ? TState::Busy : TState::Failed;
            Release();
            return state_;
        }
        // The holder before may have removed the file just before letting go.
        if (NameLeadsToOpenFile()) {
            state_ = TState::Held;
            return state_;
        }
    }
    Release();
    state_ = TState::Busy;
    return state_;
}

} // namespace platform
