#include "platform/files.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int FileLookupError(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? 0 : errno;
    return S_ISDIR(st.st_mode) ? EISDIR : 0;
}

bool IsSpecialFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) &&
           !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsExecutableFile(const std::string& path) {
    return FileExists(path) && access(path.c_str(), X_OK) == 0;
}

bool HasProgramFormat(const std::string& path) {
    if (!FileExists(path))
        return false;
    // Non-blocking: a FIFO put in the file's place meanwhile must not hang
    // the poll.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return false;
    char head[4] = {};
    ssize_t got;
    while ((got = read(fd, head, sizeof head)) < 0 && errno == EINTR) {
    }
    close(fd);
    return (got >= 2 && std::memcmp(head, "#!", 2) == 0) || (got == 4 && std::memcmp(head,
                                                                                     "\x7f"
                                                                                     "ELF",
                                                                                     4) == 0);
}

std::string MissingInterpreter(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return {};
    // The kernel reads no more of the line than this either.
    char head[256] = {};
    ssize_t got;
    while ((got = read(fd, head, sizeof head)) < 0 && errno == EINTR) {
    }
    close(fd);
    if (got < 2 || std::memcmp(head, "#!", 2) != 0)
        return {};
    const std::string line(head + 2, static_cast<std::size_t>(got) - 2);
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] != '/')
        return {};
    const std::string interpreter =
        line.substr(start, line.find_first_of(std::string(" \t\n\0", 4), start) - start);
    struct stat st {};
    return stat(interpreter.c_str(), &st) != 0 && errno == ENOENT ? interpreter : std::string();
}

bool ForceDirectories(const std::string& path) {
    if (path.empty())
        return false;
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    if (DirectoryExists(p))
        return true;
    auto slash = p.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !ForceDirectories(p.substr(0, slash)))
        return false;
    // Another process may have made it in between; that is success too.
    return mkdir(p.c_str(), 0777) == 0 || (errno == EEXIST && DirectoryExists(p));
}

int CreatePrivateFile(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0)
        return errno;
    close(fd);
    return 0;
}

void MakeFilePrivate(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 077) != 0)
        (void)chmod(path.c_str(), st.st_mode & 0700);
}

bool DeleteFile(const std::string& path) {
    return unlink(path.c_str()) == 0;
}

std::string ProgramFilePath() {
    char buf[PATH_MAX + 1];
    ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
    if (n <= 0)
        return {};
    return std::string(buf, static_cast<std::size_t>(n));
}

std::string ProgramFolder() {
    std::string exe = ProgramFilePath();
    auto slash = exe.find_last_of('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
}

void IgnoreFileSizeSignal() {
    // SIGXFSZ would end the program in the middle of a save and leave a cut
    // temporary file; ignored, the write returns EFBIG instead.
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace platform
