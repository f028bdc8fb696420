#pragma once

#include <string>
#include <vector>

namespace platform {

// This user's folder for files that live only while the program runs (the
// one-copy lock and the socket beside it).
struct RuntimeFolder {
    std::string Path;    // absolute, without a trailing '/'; empty when none
    std::string Problem; // why there is none, for the user
    // One line per folder passed over on the way (taken by another user, a
    // link, another mode), for standard error.
    std::vector<std::string> Warnings;
};

// Where the rule of UserRuntimeFolder looks; tests point it elsewhere.
struct RuntimeRoots {
    std::string PerUser = "/run/user"; // holds a folder named by the user id
    std::string Shared = "/tmp";       // holds qmtaskscheduler2-<user id>
    std::string Home;                  // empty: the user's home (SpecialFolder::UserHome)
};

// One rule that depends on the user alone, so that every start of one user
// meets the same lock whatever its environment ($XDG_RUNTIME_DIR plays no
// part):
// 1. <PerUser>/<uid> when it exists as this user's folder with mode 0700;
// 2. else <Shared>/qmtaskscheduler2-<uid>, made when missing, when it is
//    this user's folder (its mode is set to 0700);
// 3. else <Home>/.cache/qmtaskscheduler2, made as for 2.
// A folder that exists but does not fit (another user's, a link, not a
// folder, another mode at step 1) is passed over with a warning; none is
// ever changed but this user's own.
RuntimeFolder UserRuntimeFolder(const RuntimeRoots& roots = {});

// The absolute form of a path with every symbolic link resolved, also when
// its last parts do not exist yet: the longest existing folder above it is
// resolved and the rest follows as written ("." and ".." taken by name).
// Bytes are kept as they are; no encoding is assumed.
std::string CanonicalPath(const std::string& path);

// Who on this machine holds a lock (flock) on a file, as /proc/locks tells:
// Pid 0 when no holder is seen there (one on another machine sharing the
// file, or none at all).
struct LockHolder {
    int Pid = 0;
    bool SameUser = false; // runs as this process's user
};
LockHolder FindLockHolder(const std::string& path);

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
