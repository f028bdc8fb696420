#pragma once

#include <string>

namespace platform {

// An append-only file of small records that must outlive a crash of the
// program or of the machine. Opened at the first append, kept open.
class JournalFile {
public:
    explicit JournalFile(std::string path);
    ~JournalFile();
    JournalFile(const JournalFile&) = delete;
    JournalFile& operator=(const JournalFile&) = delete;

    // Appends text in one write. With `durable`, returns only once the text
    // (and all appended before it) is on the disk, and a file made by this
    // call has its folder entry there too. A write that returned survives a
    // kill of the process either way. 0 or the errno of the failed step.
    [[nodiscard]] int Append(const std::string& text, bool durable);
    // Empties the file when it exists; 0 or the errno.
    [[nodiscard]] int Clear();

    const std::string& Path() const { return path_; }

private:
    [[nodiscard]] int Open();

    std::string path_;
    int fd_ = -1;
    bool created_ = false; // made by this object, its folder entry not yet synced
};

} // namespace platform
