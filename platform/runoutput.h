#pragma once

#include <cstddef>
#include <string>

namespace platform {

// The files that take a started program's standard output and error.

// Reads at most the last `bytes` bytes of a file into tail. Returns 0 or the
// errno value of the failure (tail empty then).
[[nodiscard]] int ReadFileTail(const std::string& path, std::size_t bytes, std::string& tail);

// Opens (creating, for its owner only) a file to append a run's output to;
// -1 and errno when it cannot.
[[nodiscard]] int OpenOutputFile(const std::string& path);
// Writes all of the data; false when the disk refuses (the rest is lost).
bool AppendOutput(int fd, const char* data, std::size_t size);

// Reads what a non-blocking pipe holds, at most size bytes: the count, 0 at
// its end (every writer has closed it), -1 when it holds nothing now.
long ReadPipe(int fd, char* buffer, std::size_t size);

// Keeps an output file from taking more than about `limit` bytes of disk:
// when more is allocated, the space of everything but the last `keep` bytes
// is given back (a hole is punched; the file's length stays). Where the file
// system cannot punch holes the file is emptied instead. Returns true when it
// cut anything.
bool BoundOutputFile(int fd, std::size_t limit, std::size_t keep);

} // namespace platform
