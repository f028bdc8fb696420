#include "platform/process.h"

#include <gtest/gtest.h>

using platform::QuoteArgument;
using platform::SplitCommandLine;
using Args = std::vector<std::string>;

TEST(SplitCommandLine, BlanksSeparateAndQuotesGroup) {
    EXPECT_EQ(SplitCommandLine(""), Args{});
    EXPECT_EQ(SplitCommandLine(" \t\n "), Args{});
    EXPECT_EQ(SplitCommandLine("  a\tb\n c  "), (Args{"a", "b", "c"}));
    EXPECT_EQ(SplitCommandLine("\"/opt/my app/run\" -q "), (Args{"/opt/my app/run", "-q"}));
    EXPECT_EQ(SplitCommandLine("'' \"\" x''y"), (Args{"", "", "xy"}));
    EXPECT_EQ(SplitCommandLine("a\"b c\"'d e'f"), (Args{"ab cd ef"}));
}

TEST(SplitCommandLine, BackslashFollowsShellRules) {
    // Outside quotes it keeps any next character; a line continuation vanishes.
    EXPECT_EQ(SplitCommandLine(R"(a\ b \"c \\ \x)"), (Args{"a b", "\"c", "\\", "x"}));
    EXPECT_EQ(SplitCommandLine("a\\\nb \\\n c"), (Args{"ab", "c"}));
    // In double quotes only $ ` " \ and line feed are escaped.
    EXPECT_EQ(SplitCommandLine(R"("\$ \` \" \\ \n \a")"), (Args{"$ ` \" \\ \\n \\a"}));
    // In single quotes nothing is.
    EXPECT_EQ(SplitCommandLine(R"('a\'b)"), (Args{"a\\b"}));
    EXPECT_EQ(SplitCommandLine("trailing\\"), (Args{"trailing\\"}));
}

TEST(SplitCommandLine, NothingIsExpandedAndOpenQuotesRunToTheEnd) {
    EXPECT_EQ(SplitCommandLine("$HOME ~ *.txt $(id) `id` a;b a|b >f"),
              (Args{"$HOME", "~", "*.txt", "$(id)", "`id`", "a;b", "a|b", ">f"}));
    EXPECT_EQ(SplitCommandLine("a \"b c"), (Args{"a", "b c"}));
    EXPECT_EQ(SplitCommandLine("a 'b c"), (Args{"a", "b c"}));
}

TEST(QuoteArgument, AnyTextComesBackAsOneArgument) {
    for (const std::string& text :
         {std::string(), std::string("plain"), std::string("two words"),
          std::string("it's \"quoted\""), std::string("$HOME `id` \\ \\\\ \\\" end\\"),
          std::string("line\nfeed\ttab"), std::string("\xE9t\xE9 * ? ~")}) {
        EXPECT_EQ(SplitCommandLine(QuoteArgument(text)), Args{text}) << text;
        EXPECT_EQ(SplitCommandLine("x " + QuoteArgument(text) + " y"), (Args{"x", text, "y"}));
    }
    EXPECT_EQ(QuoteArgument("/opt/tools/backup"), "\"/opt/tools/backup\"");
}
