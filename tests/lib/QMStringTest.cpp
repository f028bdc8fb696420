#include "lib/QMException.h"
#include "lib/classQMString10.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

// The text read both ways: by its count and as a zero-terminated string.
std::string Text(const TQMFixedString& s) {
    EXPECT_EQ(std::strlen(s.Text()), static_cast<size_t>(s.Length())) << "terminator misplaced";
    return s.ToString();
}

} // namespace

TEST(QMString, DecimalAppends) {
    TQMString s;
    s.AppendInt(0);
    s.AppendChar('|');
    s.AppendInt(-7);
    s.AppendChar('|');
    s.AppendInt(INT_MIN);
    s.AppendChar('|');
    s.AppendInt(INT_MAX);
    EXPECT_EQ(Text(s), "0|-7|-2147483648|2147483647");

    s.AssignInt(INT_MIN);
    EXPECT_EQ(Text(s), "-2147483648");
    s.AssignInt(42);
    EXPECT_EQ(Text(s), "42");

    TQMFixedString f;
    f.SetCapacity(10);
    f.AppendInt(INT_MIN); // 11 characters: all or nothing
    EXPECT_EQ(Text(f), "");
    f.AppendInt(-123456789);
    EXPECT_EQ(Text(f), "-123456789");
    f.AssignInt(1);
    f.SetCapacity(3);
    f.AssignInt(1234);
    EXPECT_EQ(Text(f), "");
}

TEST(QMString, HexAndDigitAppends) {
    TQMString s;
    s.AppendHex8(10);
    s.AppendHex8(0xFF);
    s.AppendHex16(0xBEEF);
    s.AppendHex32(305441741);
    s.AppendHex32(0);
    EXPECT_EQ(Text(s), "0AFFBEEF1234ABCD00000000");

    s.Clear();
    s.AppendTwoDigits(7);
    s.AppendTwoDigits(123);
    s.AppendTwoDigits(255);
    s.AppendDigit(19);
    s.AppendCR();
    EXPECT_EQ(Text(s), "072355"
                       "9\r");

    TQMFixedString f;
    f.SetCapacity(3);
    f.AppendHex8(0xAB);
    f.AppendHex8(0xCD); // does not fit
    f.AppendHex16(1);
    f.AppendHex32(1);
    EXPECT_EQ(Text(f), "AB");
    f.AppendTwoDigits(45); // only the tens digit fits
    f.AppendChar('x');
    EXPECT_EQ(Text(f), "AB4");
}

TEST(QMString, GrowthKeepsTheTextAndIsExact) {
    TQMString s;
    s.Assign("hello");
    EXPECT_EQ(s.GetCapacity(), 5);
    s.SetCapacity(60);
    EXPECT_EQ(Text(s), "hello");
    EXPECT_EQ(s.GetCapacity(), 60);
    s.SetCapacity(3); // never shrinks
    EXPECT_EQ(Text(s), "hello");
    EXPECT_EQ(s.GetCapacity(), 60);
    s.SetCapacity(0);
    EXPECT_EQ(Text(s), "");
    EXPECT_EQ(s.GetCapacity(), 0);

    s.AppendChar('a');
    EXPECT_EQ(s.GetCapacity(), 1);
    s.Append(" long tail");
    EXPECT_EQ(s.GetCapacity(), 11);
    s.AppendString(s); // grows while appending its own text
    EXPECT_EQ(Text(s), "a long taila long tail");
    s.SetLength(30); // the room beyond the text holds zeros, not garbage
    EXPECT_EQ(s.Length(), 30);
    s.RecalcLength();
    EXPECT_EQ(Text(s), "a long taila long tail");
    s.SetLengthBefore(3);
    EXPECT_EQ(Text(s), "a ");

    // Through the base class the growing behaviour still applies.
    TQMFixedString& base = s;
    base.Assign("0123456789012345678901234567890123456789");
    EXPECT_EQ(s.Length(), 40);
}

TEST(QMString, FixedBuffersTruncate) {
    TQMFixedString f;
    f.SetCapacity(4);
    f.Assign("abcdef");
    EXPECT_EQ(Text(f), "abcd");
    f.RecalcLength(); // a full buffer
    EXPECT_EQ(f.Length(), 4);
    f.AppendChar('x');
    EXPECT_EQ(Text(f), "abcd");
    f.Assign("ab");
    f.Append("cdef");
    EXPECT_EQ(Text(f), "abcd");

    f.SetCapacity(8); // a different capacity drops the text
    EXPECT_EQ(Text(f), "");
    f.Assign("xy");
    f.SetCapacity(8);
    EXPECT_EQ(Text(f), "xy");

    EXPECT_THROW(f.SetLength(9), Exception);
    EXPECT_THROW(f.SetLengthBefore(0), Exception);
    try {
        TQMString s;
        s.SetLength(-1);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message, "TQMString; length out of bounds: -1");
    }
}

TEST(QMString, RangeAssignments) {
    TQMString s;
    s.AssignRange("abcdef", -3, 2);
    EXPECT_EQ(Text(s), "abc");
    s.AssignRange("abcdef", 4, INT_MAX);
    EXPECT_EQ(Text(s), "ef");
    EXPECT_LE(s.GetCapacity(), 6); // grew to what was copied, not to the range
    s.AssignRange("abc", 10, 12);
    EXPECT_EQ(Text(s), "");
    s.AssignRange("abc", 2, 1);
    EXPECT_EQ(Text(s), "");
    s.AssignLeft("abcdef", 4);
    EXPECT_EQ(Text(s), "abcd");
    s.AssignRange(s.Text(), 1, 2); // a part of its own text
    EXPECT_EQ(Text(s), "bc");
    s.Assign(s.Text());
    EXPECT_EQ(Text(s), "bc");

    TQMString other;
    other.Assign("0123456789");
    s.AssignString(other);
    EXPECT_EQ(Text(s), "0123456789");
    s.AssignStringRange(other, 7, 20);
    EXPECT_EQ(Text(s), "789");
    s.AssignString(TQMString());
    EXPECT_EQ(Text(s), "");
    s.Assign(nullptr);
    s.Append(nullptr);
    EXPECT_EQ(Text(s), "");

    TQMFixedString f;
    f.SetCapacity(3);
    f.AssignStringRange(other, 2, 8);
    EXPECT_EQ(Text(f), "234");
    f.AssignLeft("xyz", 0);
    EXPECT_EQ(Text(f), "");
}

TEST(QMString, ReduceToRoot) {
    TQMString s;
    s.Assign("c:\\windows");
    s.ReduceToRoot();
    EXPECT_EQ(Text(s), "c:\\");
    s.Assign("\\\\server\\share");
    s.ReduceToRoot();
    EXPECT_EQ(Text(s), "\\\\server\\share");
    for (const char* other : {"/usr/lib", "c:", "x", "", "\\single"}) {
        s.Assign(other);
        s.ReduceToRoot();
        EXPECT_EQ(Text(s), "") << other;
    }
}

TEST(QMString, CopyTo) {
    TQMString s;
    s.Assign("hello");
    char dest[10];
    std::memset(dest, '#', sizeof dest);
    s.CopyTo(dest, 0);
    EXPECT_EQ(dest[0], '#');
    s.CopyTo(dest, 3); // fills all places: one zero after them
    EXPECT_EQ(std::string(dest, 5), std::string("hel\0#", 5));
    std::memset(dest, '#', sizeof dest);
    s.CopyTo(dest, 8); // zeros through index size - 1, nothing beyond
    EXPECT_EQ(std::string(dest, 10), std::string("hello\0\0\0##", 10));
    EXPECT_EQ(TQMFixedString::StrLength("abc"), 3);
    EXPECT_EQ(TQMFixedString::StrLength(nullptr), 0);
}
