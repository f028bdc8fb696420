#pragma once

// What the POSIX back end's forked and vforked children share. The functions
// that run in a child make only async-signal-safe calls: the parent may have
// threads.

#include <csignal>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform::posix {

// The signal mask through the system call itself: the C library's wrappers
// leave its own internal signals out, and those must be blocked around a
// fork and unblocked for what the child becomes.
inline void SetSignalMask(int how, const sigset_t& set, sigset_t* old = nullptr) {
    syscall(SYS_rt_sigprocmask, how, &set, old, NSIG / 8);
}

// In the child: every signal at its default (an ignored one would survive
// exec) and none blocked. Defaults come before the unblocking, so that no
// pending signal reaches one of the parent's handlers. Signals that cannot be
// changed just refuse.
inline void RestoreDefaultSignals() {
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    for (int sig = 1; sig < NSIG; ++sig)
        sigaction(sig, &byDefault, nullptr);
    sigset_t none;
    sigemptyset(&none);
    SetSignalMask(SIG_SETMASK, none);
}

// One above the highest descriptor a child needs to look at, read in the
// parent (capped, so that a huge limit does not make a long loop).
inline int DescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        return static_cast<int>(limit.rlim_cur < 65536 ? limit.rlim_cur : 65536);
    return 1024;
}

} // namespace platform::posix
