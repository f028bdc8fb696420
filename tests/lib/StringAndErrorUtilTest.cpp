#include "lib/InOutError.h"
#include "lib/classZQStringUtil.h"

#include <gtest/gtest.h>

#include <cerrno>

TEST(ZQStringUtil, ZeroPadFillsToWidthAndKeepsLongerNumbers) {
    EXPECT_EQ(TZQStringUtil::ZeroPad(5, 4), "0005");
    EXPECT_EQ(TZQStringUtil::ZeroPad(45, 3), "045");
    EXPECT_EQ(TZQStringUtil::ZeroPad(0, 2), "00");
    EXPECT_EQ(TZQStringUtil::ZeroPad(12345, 4), "12345");
    EXPECT_EQ(TZQStringUtil::ZeroPad(7, 0), "7");
    EXPECT_EQ(TZQStringUtil::ZeroPad(1, 255).size(), 255u);
    EXPECT_EQ(TZQStringUtil::ZeroPad(1, 1000).size(), 255u);
}

TEST(ZQStringUtil, TrimRemovesControlCodesAndBlanksLowerCaseOnlyAscii) {
    EXPECT_EQ(TZQStringUtil::Trim(std::string("\0 \t a b \r\n\x1f", 11)), "a b");
    EXPECT_EQ(TZQStringUtil::Trim(" \x7f "), "\x7f"); // DEL is above 32
    EXPECT_EQ(TZQStringUtil::Trim("   "), "");
    EXPECT_EQ(TZQStringUtil::LowerCase("Tasks\\ABC-\xC4Z"), "tasks\\abc-\xC4z");
}

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
