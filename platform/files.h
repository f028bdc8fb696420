#pragma once

#include <string>

namespace platform {

// True for an existing regular file (links followed); a folder does not count.
bool FileExists(const std::string& path);

// Why no settings or data file can be read at the path: 0 when a regular
// file is there or nothing is (no entry, or a part of the path is not a
// folder); EISDIR when a folder is there; else the errno of the look-up, for
// example EACCES when a folder of the path cannot be searched.
int FileLookupError(const std::string& path);

// True when something that is neither a regular file nor a folder is at the
// path, links followed: a device, a FIFO, a socket. Settings are never read
// from or written to such a thing.
bool IsSpecialFile(const std::string& path);

// True for an existing folder (links followed).
bool DirectoryExists(const std::string& path);

// True for an existing regular file that the user may execute.
bool IsExecutableFile(const std::string& path);

// True for an existing regular file whose first bytes mark it as something to
// execute rather than a document to open: an interpreter line ("#!") or an
// ELF binary. The execute permission plays no part.
bool HasProgramFormat(const std::string& path);

// The program that the file's interpreter line ("#!") names, when that is an
// absolute path where nothing exists; empty otherwise (no such line, a
// relative name, an interpreter that is there).
std::string MissingInterpreter(const std::string& path);

// Creates the folder and any missing parents. True when the folder exists
// afterwards.
[[nodiscard]] bool ForceDirectories(const std::string& path);

// Creates an empty file that only its owner may read and write; nothing may
// be at the path yet. Returns 0 or the errno value of the failure.
[[nodiscard]] int CreatePrivateFile(const std::string& path);

// Takes away every permission of group and others from an existing file; a
// file that is not there or not this user's is left as it is.
void MakeFilePrivate(const std::string& path);

// Removes a file. True when it was removed.
bool DeleteFile(const std::string& path);

// Full path of the running program's own file; empty when unknown.
std::string ProgramFilePath();

// Folder of the running program's own file, ending in '/'; empty when unknown.
std::string ProgramFolder();

// Makes a write beyond the process's file-size limit (ulimit -f) fail with
// EFBIG instead of killing the process with SIGXFSZ, so that a save over the
// limit takes the failed-save path like a full disk. Called once at start-up.
void IgnoreFileSizeSignal();

} // namespace platform
