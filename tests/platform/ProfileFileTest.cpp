#include "platform/profile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using platform::ProfileFile;
using testing_support::TempDir;
using testing_support::WriteFile;
using Names = std::vector<std::string>;

TEST(ProfileFile, MissingFileOrFolderHasNoSections) {
    TempDir dir;
    ProfileFile missing(dir.File("nothing.ini"));
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_TRUE(missing.SectionNames().empty());
    EXPECT_EQ(missing.ReadString("a", "b", "fallback"), "fallback");

    ProfileFile folder(dir.Path());
    EXPECT_FALSE(folder.IsOpen());
    EXPECT_TRUE(folder.SectionNames().empty());

    WriteFile(dir.File("empty.ini"), "");
    ProfileFile empty(dir.File("empty.ini"));
    EXPECT_TRUE(empty.IsOpen());
    EXPECT_TRUE(empty.SectionNames().empty());
}

TEST(ProfileFile, SectionsAndKeysFollowTheProfileRules) {
    TempDir dir;
    WriteFile(dir.File("v1.ini"), "\xEF\xBB\xBF"
                                  "orphan=before any section\r\n"
                                  "[Backup]\r\n"
                                  "  TaskFileName  =  /bin/backup  \r\n"
                                  "; active=1\r\n"
                                  "   ;daily=1\r\n"
                                  "weekly\r\n"
                                  "time=\r\n"
                                  "key=first\r\n"
                                  "KEY=second\r\n"
                                  "\r\n"
                                  "[  Mail Check ]   \n"
                                  "note = a ; not a comment \n"
                                  "[]\n"
                                  "hidden=1\n"
                                  "[a]b] trailing\n"
                                  "x=y\n"
                                  "[no end\n"
                                  "[backup]\r"
                                  "key=duplicate section\r"
                                  "extra=1\r");
    ProfileFile f(dir.File("v1.ini"));
    ASSERT_TRUE(f.IsOpen());
    // File order; empty names are not listed; a repeated section is listed again.
    EXPECT_EQ(f.SectionNames(), (Names{"Backup", "Mail Check", "a]b", "backup"}));

    EXPECT_EQ(f.ReadString("BACKUP", "taskfilename", "-"), "/bin/backup");
    EXPECT_EQ(f.ReadString(" backup ", " TASKFILENAME ", "-"), "/bin/backup");
    EXPECT_EQ(f.ReadString("Backup", "active", "-"), "-");  // commented out
    EXPECT_EQ(f.ReadString("Backup", ";daily", "-"), "-");  // commented out
    EXPECT_EQ(f.ReadString("Backup", "weekly", "-"), "-");  // no '='
    EXPECT_EQ(f.ReadString("Backup", "time", "-"), "");     // present but empty
    EXPECT_EQ(f.ReadString("Backup", "key", "-"), "first"); // first of two keys
    EXPECT_EQ(f.ReadString("Backup", "extra", "-"), "-");   // only the first section counts
    EXPECT_EQ(f.ReadString("Backup", "orphan", "-"), "-");
    EXPECT_EQ(f.ReadString("mail check", "NOTE", "-"), "a ; not a comment");
    EXPECT_EQ(f.ReadString("a]b", "x", "-"), "y");
    EXPECT_EQ(f.ReadString("Other", "key", "-"), "-");
}

TEST(ProfileFile, AZeroByteEndsItsLineAndTheSectionsAfterItAreRead) {
    // Names and values never hold a zero byte (no C string could), and what
    // follows the line is read: a version-1 file with one in a value imports
    // all its tasks. In a header it ends only the name: the keys below
    // belong to that section, not to the one before.
    TempDir dir;
    using namespace std::string_literals;
    WriteFile(dir.File("v1.ini"), "[one]\r\nkey=a\0b\r\n[two\0three]\r\ndaily=1\r\n"
                                  "[four]\r\nname=\0\r\nkey=d\0\r\n"s);
    ProfileFile f(dir.File("v1.ini"));
    EXPECT_EQ(f.SectionNames(), (Names{"one", "two", "four"}));
    EXPECT_EQ(f.ReadString("one", "key", "-"), "a");
    EXPECT_EQ(f.ReadString("one", "daily", "-"), "-");
    EXPECT_EQ(f.ReadString("two", "daily", "-"), "1");
    EXPECT_EQ(f.ReadString("four", "name", "-"), "");
    EXPECT_EQ(f.ReadString("four", "key", "-"), "d");
}

TEST(ProfileFile, OnePairOfMatchingQuotesIsRemoved) {
    TempDir dir;
    WriteFile(dir.File("q.ini"), "[s]\n"
                                 "double=  \" padded \"  \n"
                                 "single='it''s'\n"
                                 "nested=\"'x'\"\n"
                                 "mixed=\"x'\n"
                                 "open=\"x\n"
                                 "lone=\"\n"
                                 "pair=''\n"
                                 "inner=a\"b\"\n");
    ProfileFile f(dir.File("q.ini"));
    EXPECT_EQ(f.ReadString("s", "double", "-"), " padded ");
    EXPECT_EQ(f.ReadString("s", "single", "-"), "it''s");
    EXPECT_EQ(f.ReadString("s", "nested", "-"), "'x'");
    EXPECT_EQ(f.ReadString("s", "mixed", "-"), "\"x'");
    EXPECT_EQ(f.ReadString("s", "open", "-"), "\"x");
    EXPECT_EQ(f.ReadString("s", "lone", "-"), "\"");
    EXPECT_EQ(f.ReadString("s", "pair", "-"), "");
    EXPECT_EQ(f.ReadString("s", "inner", "-"), "a\"b\"");
}

TEST(ProfileFile, ValuesAreCutAfter2047Characters) {
    TempDir dir;
    const std::string fits(2047, 'a');
    const std::string longer = std::string(2047, 'b') + "END";
    WriteFile(dir.File("long.ini"),
              "[s]\nfits=" + fits + "\nlonger=" + longer + "\nquoted=\"" + fits + "\"\n");
    ProfileFile f(dir.File("long.ini"));
    EXPECT_EQ(f.ReadString("s", "fits", "-"), fits);
    EXPECT_EQ(f.ReadString("s", "longer", "-"), std::string(2047, 'b'));
    EXPECT_EQ(f.ReadString("s", "quoted", "-"), fits);
}

TEST(ProfileFile, SectionNameListKeepsOnlyWholeNames) {
    TempDir dir;
    // 16 names of 1023 characters take 16 * 1024 bytes: with the list's own
    // closing zero byte the last one no longer fits and must not appear cut.
    std::string content;
    Names all;
    for (char c = 'a'; c < 'a' + 16; ++c) {
        all.push_back(std::string(1022, c) + "!");
        content += "[" + all.back() + "]\nk=" + std::string(1, c) + "\n";
    }
    WriteFile(dir.File("many.ini"), content + "[short]\nk=s\n");
    ProfileFile f(dir.File("many.ini"));
    const Names names = f.SectionNames();
    ASSERT_EQ(names.size(), 15u);
    EXPECT_EQ(names, Names(all.begin(), all.begin() + 15));
    // The names that are left out are still readable by name.
    EXPECT_EQ(f.ReadString(all[15], "k", "-"), "p");

    // One byte shorter and the sixteenth fits exactly (16383 + closing zero).
    content.clear();
    all.clear();
    for (char c = 'a'; c < 'a' + 16; ++c) {
        all.push_back(std::string(c == 'a' + 15 ? 1022 : 1023, c));
        content += "[" + all.back() + "]\n";
    }
    WriteFile(dir.File("exact.ini"), content + "[z]\n");
    EXPECT_EQ(ProfileFile(dir.File("exact.ini")).SectionNames(), all);
}
