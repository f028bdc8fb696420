// Starts a program with SIGTERM already sent and held back (blocked and
// pending), as a request that arrives in the very moment the program starts.
//   start_with_held_signal <program> [arguments...]
#include <csignal>
#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    // Both the mask and the pending signal survive exec.
    if (sigprocmask(SIG_BLOCK, &term, nullptr) != 0 || kill(getpid(), SIGTERM) != 0)
        return 3;
    execv(argv[1], argv + 1);
    std::perror(argv[1]);
    return 127;
}
