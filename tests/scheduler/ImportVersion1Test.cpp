#include "platform/regional.h"
#include "scheduler/classQMTaskScheduler.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

using namespace testing_support;

namespace {

std::string Stamp(TDateTime value) {
    return dt::FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", value);
}

class ImportFixture : public ::testing::Test {
protected:
    TQMTask* Import(const std::string& content) {
        WriteFile(file, content);
        const int before = tasks.Count();
        tasks.ImportVersion1(file);
        return tasks.Count() > before ? tasks.GetTask(before) : nullptr;
    }

    TestClock clock{MakeDateTime(2026, 12, 7, 9, 30)};
    ScopedRegional regional{EnglishUS()};
    TempDir dir;
    std::string file = dir.File("tasks_v1.ini");
    TQMTaskScheduler tasks;
};

} // namespace

TEST_F(ImportFixture, AFullSectionFillsEveryField) {
    TQMTask* t = Import("[Backup]\n"
                        "TaskFileName = \"/usr/bin/backup tool\" \n"
                        "taskparameters='-q --all'\n"
                        "active=1\nweekly=0\ndaily=1\none_shot=0\n"
                        "time=23:30:15\ndate=3/5/2011\n"
                        "monday=1\ntuesday=0\nwednesday=$1\nthursday=0\nfriday=0x1\n"
                        "saturday=0\nsunday=-5\n"
                        "time_last_executed=2:05 PM\ndate_last_executed=12/6/2026\n");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->TaskName, "Backup");
    EXPECT_EQ(t->TaskFileName, "/usr/bin/backup tool");
    EXPECT_EQ(t->TaskParameters, "-q --all");
    EXPECT_TRUE(t->Active);
    EXPECT_TRUE(t->Daily);
    EXPECT_FALSE(t->Weekly || t->OneShot);
    EXPECT_EQ(Stamp(t->DateTime), "2011-03-05 23:30:15.000");
    EXPECT_EQ(std::make_tuple(t->Monday, t->Tuesday, t->Wednesday, t->Thursday, t->Friday,
                              t->Saturday, t->Sunday),
              std::make_tuple(true, false, true, false, true, false, true));
    EXPECT_EQ(Stamp(t->DateTimeLastExecuted), "2026-12-06 14:05:00.000");
    EXPECT_TRUE(t->Guid.empty());
}

TEST_F(ImportFixture, MissingAndUnreadableValuesTakeTheirDefaults) {
    TQMTask* bare = Import("[Empty]\n[Odd]\nactive=yes\ntime=25:00\ndate=2011/3/5\n"
                           "date_last_executed=today\n");
    ASSERT_EQ(tasks.Count(), 2);
    // A section without keys: inactive, no frequency, 2000-01-01 12:00, never run.
    EXPECT_EQ(bare->TaskName, "Empty");
    EXPECT_FALSE(bare->Active);
    EXPECT_FALSE(bare->Daily || bare->Weekly || bare->OneShot);
    EXPECT_EQ(Stamp(bare->DateTime), "2000-01-01 12:00:00.000");
    EXPECT_EQ(bare->LastExecutedText(), "unknown");

    const TQMTask* odd = tasks.GetTask(1);
    EXPECT_FALSE(odd->Active);
    // A four-digit year in the wrong place for a month-first format.
    EXPECT_EQ(Stamp(odd->DateTime), "2000-01-01 12:00:00.000");
    EXPECT_TRUE(TQMTask::IsNeverDate(odd->DateTimeLastExecuted));
}

TEST_F(ImportFixture, DatesBeforeDayZeroKeepTheirDayAndTime) {
    TQMTask* t = Import("[old]\ndate=3/5/1850\ntime=6:15\n"
                        "date_last_executed=12/29/1899\ntime_last_executed=18:00\n");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(Stamp(t->DateTime), "1850-03-05 06:15:00.000");
    EXPECT_EQ(Stamp(t->DateTimeLastExecuted), "1899-12-29 18:00:00.000");
}

TEST_F(ImportFixture, TodaysLastRunKeepsTheTaskFromRunningAgainToday) {
    TQMTask* t = Import("[Daily]\nactive=1\ndaily=1\ntime=9:30\n"
                        "date_last_executed=12/7/2026\ntime_last_executed=0:00\n");
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(t->IsInStartWindow());
    EXPECT_TRUE(t->HasRunToday());
    EXPECT_FALSE(t->IsDue());
}

TEST_F(ImportFixture, ImportsAppendAfterExistingTasksEveryTime) {
    tasks.AddNewTask()->TaskName = "already there";
    const std::string content = "[first]\ndaily=1\n[second]\nweekly=1\n";
    Import(content);
    Import(content);
    ASSERT_EQ(tasks.Count(), 5);
    EXPECT_EQ(tasks.GetTask(0)->TaskName, "already there");
    EXPECT_EQ(tasks.GetTask(1)->TaskName, "first");
    EXPECT_EQ(tasks.GetTask(2)->TaskName, "second");
    EXPECT_EQ(tasks.GetTask(3)->TaskName, "first");
    EXPECT_EQ(tasks.GetTask(4)->TaskName, "second");
}

TEST_F(ImportFixture, AMissingFileImportsNothing) {
    tasks.ImportVersion1(dir.File("no-such-file.ini"));
    EXPECT_EQ(tasks.Count(), 0);
}

TEST_F(ImportFixture, DatesFollowTheRegionalShortDateFormat) {
    const std::string content = "[t]\ndate=05-03-11\ntime=7:05:09,250\n";
    {
        ScopedRegional nl(Dutch());
        TQMTask* t = Import(content);
        EXPECT_EQ(Stamp(t->DateTime), "2011-03-05 07:05:09.250");
    }
    {
        ScopedRegional ymd(YearFirstDotted());
        TQMTask* t = Import("[t]\ndate=11.3.5\ntime=12 AM\n");
        EXPECT_EQ(Stamp(t->DateTime), "2011-03-05 00:00:00.000");
    }
    // Two-digit years sit in the hundred years around the current one.
    TQMTask* t = Import("[t]\ndate=1/2/76\n");
    EXPECT_EQ(Stamp(t->DateTime), "1976-01-02 12:00:00.000");
    clock.Set(MakeDateTime(2030, 1, 1));
    t = Import("[t]\ndate=1/2/76\n");
    EXPECT_EQ(Stamp(t->DateTime), "2076-01-02 12:00:00.000");
}

TEST_F(ImportFixture, LocalesWithoutSingleByteSeparatorsReadSlashAndColonInTheirFieldOrder) {
    // ja_JP: "%Y年%m月%d日" and "%H時%M分%S秒"; version 1 wrote 2026/12/24.
    ScopedRegional ja(Japanese());
    TQMTask* t = Import("[t]\ndate=2026/12/24\ntime=07:15:30\n"
                        "date_last_executed=2026/12/6\ntime_last_executed=\u5348\u5f8c 3:05\n");
    EXPECT_EQ(Stamp(t->DateTime), "2026-12-24 07:15:30.000");
    EXPECT_EQ(Stamp(t->DateTimeLastExecuted), "2026-12-06 15:05:00.000");
    // Day-first is the wrong order here.
    t = Import("[t]\ndate=24/12/2026\n");
    EXPECT_EQ(Stamp(t->DateTime), "2000-01-01 12:00:00.000");

    // A Latin-1 locale's separators are single bytes and are read as given.
    ScopedRegional de(GermanLatin1());
    t = Import("[t]\ndate=24.12.2026\ntime=7:05:09,250\n");
    EXPECT_EQ(Stamp(t->DateTime), "2026-12-24 07:05:09.250");
}

// The machine's own EUC locales, as the program adopts them at start-up: a
// version-1 file written there holds the afternoon designator in the
// locale's code set; shown dates carry the month without the blank the C
// library puts before it.
TEST_F(ImportFixture, EucLocalesReadTheirOwnDesignatorAndShowMonthsWithoutABlank) {
    struct Case {
        const char* locale;
        const char* afternoon; // in the locale's code set
        const char* march;     // as shown, in UTF-8
    };
    for (const Case& c : {Case{"ja_JP.eucJP", "\xb8\xe1\xb8\xe5", "2026-3\u6708-15"},
                          Case{"ko_KR.eucKR", "\xbf\xc0\xc8\xc4", "2026-3\uc6d4-15"}}) {
        const std::string previous = std::setlocale(LC_ALL, nullptr);
        ASSERT_NE(std::setlocale(LC_ALL, c.locale), nullptr)
            << c.locale << " is missing: scripts/setup-deps.sh installs locales-all";
        const platform::RegionalSettings adopted = platform::ReadRegionalSettings();
        std::setlocale(LC_ALL, previous.c_str());
        ScopedRegional regional(adopted);

        const TQMTask* t = Import(std::string("[t]\ntime=") + c.afternoon + " 7:30\n");
        EXPECT_EQ(Stamp(t->DateTime), "2000-01-01 19:30:00.000") << c.locale;
        EXPECT_EQ(dt::FormatDateTime("yyyy-mmm-dd", MakeDateTime(2026, 3, 15)), c.march)
            << c.locale;
    }
}
