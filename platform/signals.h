#pragma once

// Termination requests from outside (logging out, shutting down, Ctrl+C,
// a closed terminal) turned into bytes on a descriptor, so that the event loop
// can end in order instead of the process dying half-way through a save.

namespace platform {

// Installs the handlers of SIGTERM, SIGINT and SIGHUP, once per process (of
// SIGINT and SIGHUP only when they were not ignored at start: under nohup or
// as a background job they stay ignored), and
// returns the descriptor to watch for reading; -1 when the handlers could not
// be installed (the default actions then stay). A further call returns the
// same descriptor. The handlers only write the signal's number to it.
[[nodiscard]] int WatchTerminationSignals();

// Holds SIGTERM, SIGINT and SIGHUP back in the calling thread and in the
// threads it starts afterwards, so that a request arriving before the handlers
// are installed waits instead of ending the process at once.
void HoldTerminationSignals();

// Lets the three through again in the calling thread, also when they were
// blocked on arrival (inherited from whoever started us); a request held
// meanwhile is delivered now.
void ReleaseTerminationSignals();

// Takes one pending request from the descriptor: the signal's number, or 0
// when none is pending. Never blocks.
int TakeTerminationSignal(int descriptor);

} // namespace platform
