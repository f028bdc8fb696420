#pragma once

#include "platform/readonlyfile.h"

#include <span>
#include <string>
#include <string_view>

namespace platform {

// Whole-file text input and output for the settings file and the log file.
// Each call returns 0 on success or the errno value of the step that failed.

// Reads the whole file into content (bytes unchanged). content is left empty
// on failure. Only a regular file is read: anything else (a FIFO, a device)
// gives EINVAL without waiting for it. stamp, when given, receives the stamp
// of the file that was read (taken from the open file, not the path).
[[nodiscard]] int ReadWholeFile(const std::string& path, std::string& content,
                                FileStamp* stamp = nullptr);

// Replaces the file at path with content so that, whatever happens (a crash,
// a kill, a full disk), the path afterwards holds either the old file whole
// or the new one whole: the content goes to a temporary file in the same
// folder, is flushed to disk and renamed over the old file. An existing file
// keeps its permission bits (and, where allowed, its owner); a new one gets
// read and write for its owner only; an existing file that the user may not
// write is not replaced (EACCES). A symbolic link is followed, so the
// file it points at is replaced, or made when it does not exist yet (its
// folder must exist); when that is neither a regular file nor a folder (a
// device, a FIFO, a socket) nothing is written (EINVAL). On failure
// the old file is untouched and no temporary file is left behind.
// The temporary file is named "." + file name + ".qmtmp-" + six letters or
// digits and is locked (flock) from just after its creation until its rename.
// Every call first removes the temporaries of earlier writes of the same file
// whose writer is gone (a killed process): see RemoveStaleTemporaries.
[[nodiscard]] int WriteFileAtomically(const std::string& path, const std::string& content);
// The same with the content given as pieces, written in order.
[[nodiscard]] int WriteFileAtomically(const std::string& path,
                                      std::span<const std::string_view> pieces);

// Removes the temporary files that writes of the file at path left behind:
// regular files of this user in the same folder named exactly "." + file
// name + ".qmtmp-" + six letters or digits, that no process holds locked. A
// writer locks its temporary file just after creating it and keeps the lock
// until it has renamed it; a clean-up that takes the file in the moment
// between leaves the writer a name that leads nowhere, and the writer then
// starts over with a new temporary file. So only leftovers of ended writers
// go; any other file (a user's ".name.backup", another tool's temporary, a
// lock file) does not match. Returns how many were removed.
int RemoveStaleTemporaries(const std::string& path);

// Appends text to the file, creating it (read and write for its owner only:
// a log may name the user's tasks and programs) when it does not exist. The file is open only for
// this call and is closed on every path; what was written before a failure stays.
[[nodiscard]] int AppendToFile(const std::string& path, const std::string& text);

} // namespace platform
