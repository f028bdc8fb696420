#pragma once

#include <string>

namespace platform {

// This user's folder for files that live only while the program runs (the
// one-copy lock and the socket beside it).
struct RuntimeFolder {
    std::string Path;    // absolute, without a trailing '/'; empty when none
    std::string Problem; // why there is none, for the user
};

// $XDG_RUNTIME_DIR when it is set to an absolute path (it must then be an
// existing folder). Otherwise /tmp/qmtaskscheduler2-<uid>, made with mode
// 0700 when missing; when it exists as a symbolic link, as something else
// than a folder, with another owner or with another mode than 0700, another
// user could reach into it, and there is none.
RuntimeFolder UserRuntimeFolder();

// The absolute form of a path with every symbolic link resolved, also when
// its last parts do not exist yet: the longest existing folder above it is
// resolved and the rest follows as written ("." and ".." taken by name).
// Bytes are kept as they are; no encoding is assumed.
std::string CanonicalPath(const std::string& path);

// An exclusive advisory lock (flock) on a file, held while the object lives.
// The kernel drops it when the holder ends, however it ends: no process id
// is written or guessed. The holder removes the file when it lets go; a file
// left by a holder that died is simply locked again.
class FileLock {
public:
    enum class TState {
        Held,   // this object holds the lock
        Busy,   // another open of the file holds it
        Failed, // the file cannot be made or opened, or does not lock
    };

    // Opens the file (made with the given mode when missing; a symbolic link
    // in its place is refused) and tries to lock it without waiting.
    FileLock(const std::string& path, unsigned mode);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // After Busy or Failed: opens and tries again, without waiting.
    TState TryAgain();
    TState State() const { return state_; }
    // The errno value of a failure; 0 otherwise.
    int Error() const { return error_; }

private:
    void Release();
    bool NameLeadsToOpenFile() const;

    std::string path_;
    unsigned mode_;
    int fd_ = -1;
    TState state_ = TState::Failed;
    int error_ = 0;
};

} // namespace platform
