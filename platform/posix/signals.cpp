#include "platform/signals.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <initializer_list>
#include <unistd.h>

namespace platform {

namespace {

// The self-pipe: the handler may only use async-signal-safe calls, and a
// write of one byte is one.
int pipeEnds[2] = {-1, -1};

extern "C" void OnTerminationSignal(int signalNumber) {
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a request; losing this one changes nothing.
    [[maybe_unused]] const ssize_t written = write(pipeEnds[1], &byte, 1);
    errno = savedErrno;
}

bool Install() {
    // Close-on-exec: started programs must not inherit either end.
    if (pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls resume; the loop sees the request afterwards.
    action.sa_flags = SA_RESTART;
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        // A hang-up or interrupt that our starter ignores (nohup, a shell's
        // background job) stays ignored, as shells and daemons leave it.
        struct sigaction old = {};
        if (signalNumber != SIGTERM && sigaction(signalNumber, nullptr, &old) == 0 &&
            old.sa_handler == SIG_IGN)
            continue;
        if (sigaction(signalNumber, &action, nullptr) != 0)
            return false;
    }
    return true;
}

sigset_t TerminationSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&set, signalNumber);
    return set;
}

} // namespace

void HoldTerminationSignals() {
    const sigset_t set = TerminationSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void ReleaseTerminationSignals() {
    const sigset_t set = TerminationSet();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

int WatchTerminationSignals() {
    static const bool installed = Install();
    return installed ? pipeEnds[0] : -1;
}

int TakeTerminationSignal(int descriptor) {
    unsigned char byte = 0;
    ssize_t got = 0;
    do
        got = read(descriptor, &byte, 1);
    while (got < 0 && errno == EINTR);
    return got == 1 ? byte : 0;
}

} // namespace platform
