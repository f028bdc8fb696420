#include "lib/QMException.h"
#include "settings/classQMSettings.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <random>

using namespace testing_support;

namespace {

using Lines = std::vector<std::string>;

// A store holding the given lines, as if loaded.
struct Store {
    explicit Store(Lines lines) { s.Lines = std::move(lines); }
    TQMSettings s;
};

std::string Read(const TQMSettings& s, const std::string& section, const std::string& key) {
    std::string value = "<unset>";
    if (!s.ReadString(section, key, value))
        return "<absent:" + value + ">";
    return value;
}

} // namespace

TEST(SettingsLookup, HeadersMatchTrimmedAndWithoutLetterCaseButNotWithInnerBlanks) {
    Store inner({"[ qmtaskscheduler ]", "askwhenclose=1"});
    EXPECT_EQ(inner.s.IndexOfSection("QMTaskScheduler"), -1);
    EXPECT_EQ(Read(inner.s, "QMTaskScheduler", "askwhenclose"), "<absent:>");

    Store outer({"x=y", "  [QMTaskScheduler]  ", "askwhenclose=1"});
    EXPECT_EQ(outer.s.IndexOfSection("QMTaskScheduler"), 1);
    EXPECT_EQ(outer.s.IndexOfSection("  qmtaskSCHEDULER\t"), 1);
    EXPECT_TRUE(outer.s.SectionExists("qmtaskscheduler"));
    EXPECT_FALSE(outer.s.SectionExists("qmtask"));
}

TEST(SettingsLookup, KeysMatchTrimmedValueIsRawAndMayHoldEquals) {
    Store st({"[QMTaskScheduler]", "askwhenclose = 1", "  AskWhenClose=1  ", "taskparameters=/a=b",
              "empty=", "taskparameters=second"});
    EXPECT_EQ(st.s.IndexOfKey("qmtaskscheduler", "askwhenclose"), 2);
    EXPECT_EQ(Read(st.s, "qmtaskscheduler", "AskWhenClose"), "1  ");
    bool b = false;
    EXPECT_TRUE(st.s.ReadBool("qmtaskscheduler", "askwhenclose", b));
    EXPECT_TRUE(b);
    EXPECT_EQ(Read(st.s, "qmtaskscheduler", "taskparameters"), "/a=b"); // first line wins
    EXPECT_EQ(Read(st.s, "qmtaskscheduler", "empty"), "");
    // A key's name must not merely begin the line's key.
    EXPECT_EQ(Read(st.s, "qmtaskscheduler", "task"), "<absent:>");
    std::string lower;
    EXPECT_TRUE(st.s.ReadLowerString("QMTASKSCHEDULER", "TaskParameters", lower));
    EXPECT_EQ(lower, "/a=b");
}

TEST(SettingsLookup, KeySearchStopsAtNextHeaderAndIgnoresStrayLines) {
    Store st({"orphan=1", "; comment=1", "[a]", "no equals sign", "", "k=a", "[b]", "k=b", "[A]",
              "k=second a"});
    EXPECT_EQ(Read(st.s, "a", "k"), "a"); // blank lines do not end a section for reading
    EXPECT_EQ(Read(st.s, "b", "k"), "b");
    EXPECT_EQ(Read(st.s, "b", "orphan"), "<absent:>");
    EXPECT_EQ(st.s.IndexOfKey("missing", "k"), -1);
    // Only the first of two equal headers is used, for reads and writes.
    st.s.WriteString("A", "new", "v");
    EXPECT_EQ(st.s.Lines[4], "new=v");
    EXPECT_EQ(Read(st.s, "a", "new"), "v");
}

TEST(SettingsWrite, InsertsAtEndOfSectionBodyBeforeBlankOrHeader) {
    Store st({"[one]", "a=1", "", "junk", "[two]", "b=2", "[three]"});
    st.s.WriteString("one", "c", "3");     // before the first blank line of [one]
    st.s.WriteString("two", "d", "4");     // right before the next header
    st.s.WriteString("three", "e", "5");   // at the end of the list
    st.s.WriteString(" One ", "a", "dup"); // a second line; reads keep the first
    EXPECT_EQ(st.s.Lines, (Lines{"[one]", "a=1", "c=3", "a=dup", "", "junk", "[two]", "b=2", "d=4",
                                 "[three]", "e=5"}));
    EXPECT_EQ(Read(st.s, "one", "a"), "1");
}

TEST(SettingsWrite, MissingSectionsAreAppendedWithTrimmedLowerCaseNames) {
    TQMSettings s;
    s.WriteString("  QMTaskScheduler ", "  AskWhenClose\t", " value kept  ");
    s.WriteBool("Tasks\\ABC", "Active", true);
    s.WriteBool("Tasks\\ABC", "Daily", false);
    EXPECT_EQ(s.Lines, (Lines{"[qmtaskscheduler]", "askwhenclose= value kept  ", "", "[tasks\\abc]",
                              "active=1", "daily=0"}));
}

TEST(SettingsWrite, LineBreaksAndNulInKeysAndValuesBecomeBlanks) {
    TQMSettings s;
    s.WriteString("Sec\ntion", "ke\ry", std::string("a\r\nb\0c", 6));
    EXPECT_EQ(s.Lines, (Lines{"[sec tion]", "ke y=a  b c"}));
    EXPECT_EQ(Read(s, "sec\ntion", "ke\ry"), "a  b c");
    // Lines put into the list directly are flattened when saved.
    TempDir dir;
    s.Lines.push_back(std::string("raw=x\ny\0z", 9));
    s.SaveToFile(dir.File("f.ini"));
    EXPECT_EQ(ReadFile(dir.File("f.ini")),
              "[sec tion]\r\nke y=a  b c\r\nraw=x y z\r\n\r\n[system]\r\ninitype=inifile\r\n");
}

TEST(SettingsWrite, AddSectionRefusesExistingSectionAndNamesItAsPassed) {
    Store st({"[tasks\\x]"});
    try {
        st.s.AddSection("Tasks\\X");
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message, "TQMSettings: section \"Tasks\\X\" already exists.");
    }
    EXPECT_EQ(st.s.Lines, Lines{"[tasks\\x]"});
    EXPECT_EQ(st.s.AddSection("Other"), 2);
    EXPECT_EQ(st.s.Lines, (Lines{"[tasks\\x]", "", "[other]"}));
}

TEST(SettingsRead, BoolTexts) {
    Store st({"[s]", "t= TRUE ", "f=False", "one=1", "zero=0", "yes=yes", "empty=", "two=2"});
    for (const char* key : {"t", "one"}) {
        bool v = false;
        EXPECT_TRUE(st.s.ReadBool("s", key, v)) << key;
        EXPECT_TRUE(v) << key;
    }
    for (const char* key : {"f", "zero"}) {
        bool v = true;
        EXPECT_TRUE(st.s.ReadBool("s", key, v)) << key;
        EXPECT_FALSE(v) << key;
    }
    for (const char* key : {"yes", "empty", "two", "absent"}) {
        bool t = true;
        bool f = false;
        EXPECT_FALSE(st.s.ReadBool("s", key, t)) << key;
        EXPECT_FALSE(st.s.ReadBool("s", key, f)) << key;
        EXPECT_TRUE(t) << key;
        EXPECT_FALSE(f) << key;
    }
}

TEST(SettingsDateTime, ParseStampByFixedPositions) {
    const TDateTime now = MakeDateTime(2026, 12, 7, 8, 30, 15, 250);
    TestClock clock(now);
    auto parse = [](const std::string& t) { return TQMSettings::ParseDateTimeStamp(t); };

    EXPECT_EQ(parse("20240305-140709045"), MakeDateTime(2024, 3, 5, 14, 7, 9, 45));
    EXPECT_EQ(parse("20240305-140709"), MakeDateTime(2024, 3, 5, 14, 7, 9, 0));
    EXPECT_EQ(parse("20240305-1407091"), MakeDateTime(2024, 3, 5, 14, 7, 9, 1));
    EXPECT_EQ(parse("20240305x140709045"), MakeDateTime(2024, 3, 5, 14, 7, 9, 45));
    EXPECT_EQ(parse("  20240305-140709045trailing"), MakeDateTime(2024, 3, 5, 14, 7, 9, 45));
    EXPECT_EQ(parse("18991230-000000000"), 0.0);
    EXPECT_EQ(parse("00010101-000000000"), MakeDateTime(1, 1, 1));

    for (const char* bad :
         {"", "20240305-1407", "20241305-140709045", "20240230-140709045", "20240305-240000000",
          "20240305-146009045", "00000101-000000000", "2024+305-140709045", "2024 305-140709045",
          "20240305-14070904x", "abcdefgh-ijklmnopq"})
        EXPECT_EQ(parse(bad), now) << '"' << bad << '"';
}

TEST(SettingsDateTime, WriteStampsAndReadBack) {
    TestClock clock(MakeDateTime(2026, 12, 7));
    TQMSettings s;
    s.WriteDateTime("t", "a", MakeDateTime(2024, 3, 5, 14, 7, 9, 45));
    s.WriteDateTime("t", "zero", 0.0);
    s.WriteDateTime("t", "old", MakeDateTime(1, 1, 1, 23, 59, 59, 999));
    s.WriteDateTime("t", "late", MakeDateTime(9999, 12, 31, 23, 59, 59, 999));
    EXPECT_EQ(s.Lines, (Lines{"[t]", "a=20240305-140709045", "zero=18991230-000000000",
                              "old=00010101-235959999", "late=99991231-235959999"}));

    TDateTime v = 42.0;
    EXPECT_FALSE(s.ReadDateTime("t", "absent", v));
    EXPECT_EQ(v, 42.0);
    EXPECT_TRUE(s.ReadDateTime("t", "late", v));
    EXPECT_EQ(v, MakeDateTime(9999, 12, 31, 23, 59, 59, 999));
}

// Any date-time of the years 1 to 9999, written and read back, keeps its
// value to the millisecond.
TEST(SettingsDateTime, RoundTripKeepsEveryMillisecondAcrossAllYears) {
    TestClock clock(MakeDateTime(2026, 12, 7));
    std::mt19937_64 rng(20261207);
    const TDateTime first = MakeDateTime(1, 1, 1);
    const TDateTime last = MakeDateTime(9999, 12, 31, 23, 59, 59, 999);
    std::uniform_real_distribution<double> anyValue(first, last);
    std::uniform_int_distribution<int> year(1, 9999), month(1, 12), day(1, 31), hour(0, 23),
        minsec(0, 59), ms(0, 999);
    for (int n = 0; n < 20000; ++n) {
        TDateTime value = 0;
        if (n % 2 == 0) { // exact fields, including near-midnight times
            dt::DateTimeFields f{year(rng),   month(rng),  day(rng), hour(rng),
                                 minsec(rng), minsec(rng), ms(rng)};
            f.Day = std::min(f.Day, dt::DaysInMonth(f.Year, f.Month));
            ASSERT_TRUE(dt::TryEncodeDateTime(f, value));
        } else { // arbitrary doubles, not on a millisecond
            value = anyValue(rng);
        }
        TQMSettings s;
        s.WriteDateTime("t", "v", value);
        TDateTime back = -1;
        ASSERT_TRUE(s.ReadDateTime("t", "v", back)) << s.Lines[1];
        const auto want = dt::DecodeDateTime(value);
        const auto got = dt::DecodeDateTime(back);
        ASSERT_TRUE(want.Year == got.Year && want.Month == got.Month && want.Day == got.Day &&
                    want.Hour == got.Hour && want.Minute == got.Minute &&
                    want.Second == got.Second && want.Millisecond == got.Millisecond)
            << "value " << value << " stamp " << s.Lines[1];
        // The value read back is the millisecond itself, and stable.
        TQMSettings again;
        again.WriteDateTime("t", "v", back);
        ASSERT_EQ(again.Lines[1], s.Lines[1]);
    }
}

TEST(SettingsSections, SnapshotOfLastLoadWithCountsAndNames) {
    TempDir dir;
    WriteFile(dir.File("s.ini"), "pre\r\n[Tasks\\A]\r\nk=1\r\n\r\n  [ My Sec ]  \r\n[tasks\\abc\r\n"
                                 "k=2\r\n[Tasks\\A]\r\n[]\r\nx]y\r\n");
    TQMSettings s;
    ASSERT_TRUE(s.LoadFromFile(dir.File("s.ini")));
    ASSERT_EQ(s.SectionCount(), 5);
    struct Want {
        const char* name;
        int index;
        int count;
    };
    const Want want[] = {{"Tasks\\A", 1, 2},
                         {" My Sec ", 4, 0},
                         {"tasks\\abc", 5, 1},
                         {"Tasks\\A", 7, 0},
                         {"", 8, 1}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(s.Section(i).Name, want[i].name) << i;
        EXPECT_EQ(s.Section(i).LineIndex, want[i].index) << i;
        EXPECT_EQ(s.Section(i).LineCount, want[i].count) << i;
        EXPECT_EQ(s.Section(i).Owner, &s);
    }
    EXPECT_THROW(s.Section(5), Exception);
    EXPECT_THROW(s.Section(-1), Exception);
    // The unclosed header gives an entry whose keys cannot be read.
    EXPECT_EQ(s.IndexOfSection("tasks\\abc"), -1);
    EXPECT_EQ(Read(s, "tasks\\abc", "k"), "<absent:>");
    EXPECT_EQ(Read(s, "tasks\\a", "k"), "1");

    // Clear and writes leave the snapshot alone; a load replaces it.
    s.Clear();
    s.WriteString("new", "k", "v");
    EXPECT_EQ(s.SectionCount(), 5);
    EXPECT_FALSE(s.LoadFromFile(dir.File("absent.ini")));
    EXPECT_EQ(s.SectionCount(), 0);
    EXPECT_TRUE(s.Lines.empty());
}

TEST(SettingsSections, SubsectionTest) {
    TQMSettings owner;
    TQMSettingsSection sec(&owner);
    EXPECT_EQ(sec.Name, "");
    EXPECT_EQ(sec.LineIndex, 0);
    auto under = [&](const std::string& name, const std::string& parent) {
        sec.Name = name;
        return sec.IsSubsectionOf(parent);
    };
    EXPECT_TRUE(under("Tasks\\X", "tasks"));
    EXPECT_TRUE(under("tasks\\x", "TASKS\\"));
    EXPECT_TRUE(under("TASKS\\", "tasks"));
    EXPECT_FALSE(under("tasks", "tasks"));
    EXPECT_FALSE(under("tasksx\\y", "tasks"));
    EXPECT_FALSE(under("my\\tasks\\x", "tasks"));
    EXPECT_FALSE(under("tasks\\x", ""));
    sec.LineCount = 3;
    sec.Reset();
    EXPECT_TRUE(sec.Name.empty());
    EXPECT_EQ(sec.LineCount, 0);
}

TEST(SettingsFile, LinesSplitAtCrLfOrCrLfAndEndAtNul) {
    TempDir dir;
    const std::string content = std::string("[a]\r\nk=1\nm=2\rn=3\r\r\n\n[b]\r\nlast=x", 31) +
                                std::string("\0hidden=1\r\n", 11);
    WriteFile(dir.File("s.ini"), content);
    TQMSettings s;
    ASSERT_TRUE(s.LoadFromFile(dir.File("s.ini")));
    EXPECT_EQ(s.Lines, (Lines{"[a]", "k=1", "m=2", "n=3", "", "", "[b]", "last=x"}));

    WriteFile(dir.File("t.ini"), "one\r\n\r\n");
    ASSERT_TRUE(s.LoadFromFile(dir.File("t.ini")));
    EXPECT_EQ(s.Lines, (Lines{"one", ""}));
    WriteFile(dir.File("e.ini"), "");
    ASSERT_TRUE(s.LoadFromFile(dir.File("e.ini")));
    EXPECT_TRUE(s.Lines.empty());
}

TEST(SettingsFile, SavedBytesAndTypeNameRecordedOnEverySave) {
    TempDir dir;
    TQMSettings s;
    s.IniType = "qmtaskscheduler";
    s.WriteBool("QMTaskScheduler", "AskWhenClose", true);
    s.WriteString("Tasks\\ABC", "TaskName", "Backup = daily ");
    const std::string path = dir.File("s.ini");
    s.SaveToFile(path);
    const std::string once = "[qmtaskscheduler]\r\naskwhenclose=1\r\n\r\n"
                             "[tasks\\abc]\r\ntaskname=Backup = daily \r\n\r\n"
                             "[system]\r\ninitype=qmtaskscheduler\r\n";
    EXPECT_EQ(ReadFile(path), once);

    // Saved again without Clear: a second type line, and the first is read.
    s.IniType = "other";
    s.SaveToFile(path);
    EXPECT_EQ(ReadFile(path), once + "initype=other\r\n");
    TQMSettings back;
    ASSERT_TRUE(back.LoadFromFile(path));
    std::string type;
    EXPECT_TRUE(back.ReadString("system", "initype", type));
    EXPECT_EQ(type, "qmtaskscheduler");
    EXPECT_EQ(back.IniType, "inifile"); // loading does not take over the type

    // An empty store writes only the type section, without a blank line.
    TQMSettings empty;
    empty.SaveToFile(dir.File("e.ini"));
    EXPECT_EQ(ReadFile(dir.File("e.ini")), "[system]\r\ninitype=inifile\r\n");
}
