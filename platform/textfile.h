#pragma once

#include <string>

namespace platform {

// Whole-file text input and output for the settings file and the log file.
// Each call returns 0 on success or the errno value of the step that failed.

// Reads the whole file into content (bytes unchanged). content is left empty
// on failure.
[[nodiscard]] int ReadWholeFile(const std::string& path, std::string& content);

// Replaces the file at path with content so that, whatever happens (a crash,
// a kill, a full disk), the path afterwards holds either the old file whole
// or the new one whole: the content goes to a temporary file in the same
// folder, is flushed to disk and renamed over the old file. An existing file
// keeps its permission bits (and, where allowed, its owner); a new one gets
// read and write for its owner only; an existing file that the user may not
// write is not replaced (EACCES). A symbolic link is followed, so the
// file it points at is replaced. On failure the old file is untouched and
// no temporary file is left behind.
[[nodiscard]] int WriteFileAtomically(const std::string& path, const std::string& content);

// Appends text to the file, creating it (with the default permissions) when
// it does not exist. The file is open only for this call and is closed on
// every path; what was written before a failure stays.
[[nodiscard]] int AppendToFile(const std::string& path, const std::string& text);

// True when both paths name the same existing file (same device and inode).
bool IsSameFile(const std::string& a, const std::string& b);

} // namespace platform
