#include "platform/locks.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
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

} // namespace

RuntimeFolder UserRuntimeFolder() {
    const char* given = std::getenv("XDG_RUNTIME_DIR");
    if (given && given[0] == '/') {
        struct stat st {};
        if (stat(given, &st) != 0 || !S_ISDIR(st.st_mode))
            return {{}, "XDG_RUNTIME_DIR (" + std::string(given) + ") is no folder"};
        return {TrimSlashes(given), {}};
    }
    // A fixed name in a folder everyone may write: someone else may have
    // made it first, so it is used only when it is plainly ours alone.
    const std::string path = "/tmp/qmtaskscheduler2-" + std::to_string(geteuid());
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return {{}, "cannot make " + path};
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() ||
        (st.st_mode & 07777) != 0700)
        return {{},
                path + " is not a folder of this user's own with mode 0700; remove it or set "
                       "XDG_RUNTIME_DIR"};
    return {path, {}};
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
