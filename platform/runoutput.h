#pragma once

#include <cstddef>
#include <string>

namespace platform {

// The files that take a started program's standard output and error.

// Reads at most the last `bytes` bytes of a file into tail. Returns 0 or the
// errno value of the failure (tail empty then).
[[nodiscard]] int ReadFileTail(const std::string& path, std::size_t bytes, std::string& tail);

// True while a program started with the file as its output (StartChild), or
// anything it started, still has it open.
bool IsOutputFileHeld(const std::string& path);

// Keeps a file that another process appends to from taking more than about
// `limit` bytes of disk: when more is allocated, the space of everything but
// the last `keep` bytes is given back (a hole is punched; the file's length
// and the writer's position stay). Where the file system cannot punch holes
// the file is emptied instead. Returns true when it cut anything.
bool BoundAppendedFile(const std::string& path, std::size_t limit, std::size_t keep);

} // namespace platform
