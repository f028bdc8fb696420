#include "settings/LogTail.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace testing_support;
using Lines = std::vector<std::string>;

TEST(LogTail, ReadsOnlyTheEndAndKeepsWholeLines) {
    TempDir dir;
    const std::string path = dir.File("log");
    EXPECT_EQ(ReadLogTail(path, 3).State, TLogTail::TState::Missing);

    // Lines longer than the blocks read and a last line without its end.
    const std::string longLine(100000, 'x');
    WriteFile(path, "one\r\ntwo\r\n" + longLine + "\nbefore last\r\nlast");
    TLogTail tail = ReadLogTail(path, 3);
    ASSERT_EQ(tail.State, TLogTail::TState::Read);
    EXPECT_EQ(tail.Lines, (Lines{longLine, "before last", "last"}));
    EXPECT_EQ(ReadLogTail(path, 10).Lines, (Lines{"one", "two", longLine, "before last", "last"}));

    // Bounded by bytes: the cut line at the start is left out.
    EXPECT_EQ(ReadLogTail(path, 3, 20).Lines, (Lines{"before last", "last"}));

    WriteFile(path, "");
    tail = ReadLogTail(path, 10);
    EXPECT_EQ(tail.State, TLogTail::TState::Read);
    EXPECT_TRUE(tail.Lines.empty());

    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    tail = ReadLogTail(path, 10);
    EXPECT_EQ(tail.State, TLogTail::TState::Unreadable);
    EXPECT_EQ(tail.Error, "it is a folder");
}
