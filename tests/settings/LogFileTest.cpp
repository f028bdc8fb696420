#include "lib/QMException.h"
#include "settings/classQMLogFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

struct LogFileTest : ::testing::Test {
    TLogFileModule module;
    TempDir dir;
    TestClock clock{MakeDateTime(2026, 12, 6, 15, 39, 10, 900)};
    ScopedRegional english{EnglishUS()};
    std::string path = dir.File("qmtaskscheduler2.log");

    void ExpectError(int code, const std::string& message) {
        try {
            LogFile->AddLine("lost");
            ADD_FAILURE() << "no error for " << LogFile->FileName;
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.ErrorCode, code);
            EXPECT_EQ(e.Message, message);
        }
    }
};

} // namespace

TEST(LogFileModule, LogFileExistsOnlyWithinTheModuleScope) {
    EXPECT_EQ(LogFile, nullptr);
    {
        TLogFileModule outer;
        ASSERT_NE(LogFile, nullptr);
        TQMLogFile* first = LogFile;
        EXPECT_EQ(first->FileName, "");
        {
            TLogFileModule inner;
            EXPECT_NE(LogFile, first);
        }
        EXPECT_EQ(LogFile, first);
    }
    EXPECT_EQ(LogFile, nullptr);
}

TEST_F(LogFileTest, CreatesOnFirstLineAppendsAfterAndRecreatesAfterDeletion) {
    LogFile->FileName = path;
    LogFile->AddLine("task (Backup): executed (/usr/bin/backup)");
    const std::string first =
        "2026-Dec-06 15:39:10   task (Backup): executed (/usr/bin/backup)\r\n";
    EXPECT_EQ(ReadFile(path), first);

    // Same second twice, in call order; a message with a line break stays whole.
    LogFile->AddLine("second");
    LogFile->AddLine("two\nlines");
    EXPECT_EQ(ReadFile(path),
              first + "2026-Dec-06 15:39:10   second\r\n2026-Dec-06 15:39:10   two\nlines\r\n");

    fs::remove(path);
    clock.AdvanceMs(60 * 60 * 1000);
    LogFile->AddLine("again");
    EXPECT_EQ(ReadFile(path), "2026-Dec-06 16:39:10   again\r\n");
}

TEST_F(LogFileTest, FolderOrMissingFolderRaisesWithCodeAndNothingIsCreated) {
    LogFile->FileName = dir.File("folder");
    fs::create_directory(LogFile->FileName);
    ExpectError(5, "File access denied");
    EXPECT_TRUE(fs::is_empty(LogFile->FileName));

    LogFile->FileName = dir.File("missing/qmtaskscheduler2.log");
    ExpectError(3, "Invalid filename");
    EXPECT_FALSE(fs::exists(dir.File("missing")));

    LogFile->FileName = "";
    ExpectError(3, "Invalid filename");
}

TEST_F(LogFileTest, TimeStampFollowsRegionalMonthNamesAndTheDayClock) {
    clock.Set(MakeDateTime(2024, 3, 5, 0, 7, 9));
    EXPECT_EQ(LogFile->TimeStamp(), "2024-Mar-05 00:07:09");
    {
        ScopedRegional dutch(Dutch());
        EXPECT_EQ(LogFile->TimeStamp(), "2024-mrt-05 00:07:09");
        clock.Set(MakeDateTime(2024, 5, 31, 23, 59, 59, 999));
        LogFile->FileName = path;
        LogFile->AddLine("x");
        EXPECT_EQ(ReadFile(path), "2024-mei-31 23:59:59   x\r\n");
    }
    // A Latin-1 locale's month names are written as UTF-8, like the rest of
    // the line.
    ScopedRegional german(GermanLatin1());
    clock.Set(MakeDateTime(2024, 3, 5, 0, 7, 9));
    EXPECT_EQ(LogFile->TimeStamp(), "2024-M\xc3\xa4r-05 00:07:09");
}
