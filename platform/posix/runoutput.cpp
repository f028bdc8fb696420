#include "platform/runoutput.h"

#include "platform/posix/childstart.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

} // namespace

int ReadFileTail(const std::string& path, std::size_t bytes, std::string& tail) {
    tail.clear();
    const Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0)
        return errno;
    struct stat st {};
    if (fstat(fd.get(), &st) != 0)
        return errno;
    if (!S_ISREG(st.st_mode))
        return EINVAL;
    const off_t size = st.st_size;
    const off_t from = size > static_cast<off_t>(bytes) ? size - static_cast<off_t>(bytes) : 0;
    std::string buffer(static_cast<std::size_t>(size - from), '\0');
    std::size_t got = 0;
    while (got < buffer.size()) {
        const ssize_t n = pread(fd.get(), buffer.data() + got, buffer.size() - got,
                                from + static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    buffer.resize(got);
    tail = std::move(buffer);
    return 0;
}

int OpenOutputFile(const std::string& path) {
    return open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0600);
}

bool AppendOutput(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

long ReadPipe(int fd, char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t n = read(fd, buffer, size);
        if (n >= 0)
            return static_cast<long>(n);
        if (errno != EINTR)
            return errno == EAGAIN || errno == EWOULDBLOCK ? -1 : 0;
    }
}

bool BoundOutputFile(int fd, std::size_t limit, std::size_t keep) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    // st_blocks counts 512-byte units actually allocated: a punched file's
    // length keeps growing, its use of the disk does not.
    if (static_cast<unsigned long long>(st.st_blocks) * 512 <= limit)
        return false;
    const off_t block = st.st_blksize > 0 ? st.st_blksize : 4096;
    off_t end = st.st_size - static_cast<off_t>(keep);
    end -= end % block;
    if (end > 0 && fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, 0, end) == 0)
        return true;
    // Appending, the next write then goes to the start.
    return ftruncate(fd, 0) == 0;
}

namespace {

// Runs in the forked child: only async-signal-safe calls, the parent may have
// threads. Everything it uses was allocated before the fork.
[[noreturn]] void Drain(pollfd* pipes, const int* files, std::size_t* sinceBound, std::size_t count,
                        int maxFd, std::size_t limit, std::size_t keep) {
    posix::RestoreDefaultSignals();
    // No hang-up of the parent's terminal or session reaches it.
    setsid();
    for (int fd = 0; fd < maxFd; ++fd) {
        bool kept = false;
        for (std::size_t i = 0; i < count && !kept; ++i)
            kept = pipes[i].fd == fd || files[i] == fd;
        if (!kept)
            close(fd);
    }
    std::size_t open = count;
    char buffer[64 * 1024];
    while (open > 0) {
        if (poll(pipes, count, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (std::size_t i = 0; i < count; ++i) {
            if (pipes[i].fd < 0 || pipes[i].revents == 0)
                continue;
            const long got = ReadPipe(pipes[i].fd, buffer, sizeof buffer);
            if (got < 0)
                continue;
            if (got == 0) {
                close(pipes[i].fd);
                if (files[i] >= 0)
                    close(files[i]);
                pipes[i].fd = -1; // poll passes over it from now on
                --open;
                continue;
            }
            if (files[i] < 0)
                continue;
            (void)AppendOutput(files[i], buffer, static_cast<std::size_t>(got));
            sinceBound[i] += static_cast<std::size_t>(got);
            if (sinceBound[i] >= keep) {
                sinceBound[i] = 0;
                (void)BoundOutputFile(files[i], limit, keep);
            }
        }
    }
    _exit(0);
}

} // namespace

int DrainInBackground(const std::vector<PipeToDrain>& pipes, std::size_t limit, std::size_t keep) {
    if (pipes.empty())
        return 0;
    std::vector<pollfd> polled;
    std::vector<int> files;
    for (const PipeToDrain& pipe : pipes) {
        polled.push_back({pipe.PipeFd, POLLIN, 0});
        files.push_back(pipe.FileFd);
    }
    std::vector<std::size_t> sinceBound(pipes.size(), 0);
    const int maxFd = posix::DescriptorLimit();
    // None of our handlers, nor the C library's, may run in the child
    // before it has reset them.
    sigset_t all;
    std::memset(&all, 0xff, sizeof all);
    sigset_t previous;
    posix::SetSignalMask(SIG_BLOCK, all, &previous);
    const pid_t pid = fork();
    if (pid == 0)
        Drain(polled.data(), files.data(), sinceBound.data(), polled.size(), maxFd, limit, keep);
    const int error = pid < 0 ? errno : 0;
    posix::SetSignalMask(SIG_SETMASK, previous);
    return error;
}

} // namespace platform
