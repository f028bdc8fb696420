#include "lib/InOutError.h"

#include <gtest/gtest.h>

#include <cerrno>

TEST(InOutError, ErrnoMapsToTheTableCodesAndOthersKeepTheirNumber) {
    struct Case {
        int os;
        bool creating;
        int code;
        const char* message;
    };
    const Case cases[] = {
        {ENOENT, true, 3, "Invalid filename"},
        {ENOENT, false, 2, "File not found"},
        {ENOTDIR, false, 3, "Invalid filename"},
        {EISDIR, true, 5, "File access denied"},
        {EACCES, true, 5, "File access denied"},
        {EPERM, false, 5, "File access denied"},
        {EMFILE, true, 4, "Too many open files"},
        {ENFILE, true, 4, "Too many open files"},
        {ENOSPC, true, 101, "Disk full"},
        // EIO has the number of "File access denied" but not its meaning.
        {EIO, true, EIO, "I/O error 5"},
        {EROFS, true, EROFS, "I/O error 30"},
    };
    for (const auto& c : cases) {
        EInOutError e = io::MakeInOutError(c.os, c.creating, "ctx: ");
        EXPECT_EQ(e.ErrorCode, c.code) << c.os;
        EXPECT_EQ(e.Message, std::string("ctx: ") + c.message) << c.os;
        EXPECT_EQ(io::InOutErrorCode(c.os, c.creating), c.code);
    }
    EXPECT_EQ(io::InOutErrorMessage(100), "Read beyond end of file");
    EXPECT_EQ(io::InOutErrorMessage(106), "Invalid numeric input");
    EXPECT_EQ(io::InOutErrorMessage(32), "I/O error 32");
}
