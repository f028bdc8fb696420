#include "ui/ByteText.h"

#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QFile>
#include <QFontMetrics>

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}

bool IsValidUtf8(const std::string& s) {
    // Qt's decoder marks what is not UTF-8; a valid text survives the trip.
    const QByteArray bytes(s.data(), static_cast<qsizetype>(s.size()));
    const QString decoded = QString::fromUtf8(bytes);
    return decoded.toUtf8() == bytes && !decoded.contains(QChar::ReplacementCharacter);
}

} // namespace

TEST(ByteText, EveryByteAndEveryPairOfBytesComesBackUnchanged) {
    for (int b = 0; b < 256; ++b) {
        const std::string one = Bytes({b});
        const QString text = ui::ToQString(one);
        ASSERT_EQ(text.size(), 1) << b;
        // ASCII as itself, every other lone byte as its escape.
        EXPECT_EQ(text[0].unicode(), b < 0x80 ? b : 0xDC00 + b) << b;
        EXPECT_EQ(ui::ToStdString(text), one) << b;
    }
    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 256; ++b) {
            const std::string two = Bytes({a, b});
            ASSERT_EQ(ui::ToStdString(ui::ToQString(two)), two) << a << ' ' << b;
        }
}

TEST(ByteText, RandomByteStringsComeBackUnchangedAndValidUtf8DecodesAsUsual) {
    // Pieces of valid UTF-8 of every length among raw bytes, so that valid,
    // cut and overlong sequences meet.
    const std::string pieces[] = {
        "a",        "\xc3\xbc",         "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\xc3",
        "\xe2\x82", "\xf4\x90\x80\x80", "\xc0\xaf",     "\xed\xa0\x80",     "\xef\xbf\xbd"};
    std::mt19937 random(20261207);
    int valid = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string s;
        const int length = static_cast<int>(random() % 24);
        for (int i = 0; i < length; ++i) {
            if (random() % 2)
                s += pieces[random() % std::size(pieces)];
            else
                s.push_back(static_cast<char>(random() % 256));
        }
        const QString text = ui::ToQString(s);
        ASSERT_EQ(ui::ToStdString(text), s);
        if (IsValidUtf8(s)) {
            ++valid;
            ASSERT_EQ(text, QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())));
        }
    }
    EXPECT_GT(valid, 100); // the valid branch was really taken
}

TEST(ByteText, TextsNoStoredBytesDecodeToGetTheDocumentedBytes) {
    const QString text = ui::ToQString(std::string("\xe9\xff-raw \xc3\xbc"));
    EXPECT_EQ(text, QStringLiteral("\xdce9\xdcff-raw \u00fc"));
    EXPECT_EQ(ui::ToDisplayText(std::string("\xe9\xff-raw \xc3\xbc")),
              QStringLiteral("\ufffd\ufffd-raw \u00fc"));

    // A pasted escape-range surrogate is its byte; other lone surrogates have
    // no UTF-8 form; a pair is one character even with a low half in the
    // escape range.
    EXPECT_EQ(ui::ToStdString(QStringLiteral("a\xdc80")), "a\x80");
    EXPECT_EQ(ui::ToStdString(QStringLiteral("\xd800z\xdfff\xdc7f")),
              "\xef\xbf\xbdz\xef\xbf\xbd\xef\xbf\xbd");
    EXPECT_EQ(ui::ToStdString(QStringLiteral("\xd800\xdc80")), "\xf0\x90\x82\x80");
    // Escapes put next to each other by the user are written as their bytes.
    EXPECT_EQ(ui::ToQString(ui::ToStdString(QStringLiteral("\xdcc3\xdcbc"))),
              QStringLiteral("\u00fc"));
}

TEST(ByteText, AnEscapeIsDrawnAsTheReplacementCharacter) {
    // What the user sees in an edit box: Qt draws a lone surrogate with the
    // glyph of U+FFFD, so an escaped byte takes the room of one.
    const QFontMetrics metrics(QApplication::font());
    const int replacement = metrics.horizontalAdvance(QChar(QChar::ReplacementCharacter));
    EXPECT_EQ(metrics.horizontalAdvance(ui::ToQString(std::string("\xe9"))), replacement);
    EXPECT_EQ(metrics.horizontalAdvance(ui::ToQString(std::string("a\xe9\xff"))),
              metrics.horizontalAdvance(QStringLiteral("a\ufffd\ufffd")));
}

TEST(ByteText, AFileDialogsPathFindsTheFileWhoseNameQtCouldNotDecode) {
    testing_support::TempDir dir;
    const std::string folder = dir.File("d\xff");
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    const std::string file = folder + "/caf\xe9.sh";
    testing_support::WriteFile(file, "");
    // Qt shows, and its dialogs give back, the name as decoded by QFile.
    const QString shown = ui::DialogPath(file);
    EXPECT_TRUE(shown.endsWith(QStringLiteral("d\ufffd/caf\ufffd.sh"))) << shown.toStdString();
    EXPECT_EQ(ui::ChosenPath(shown), file);
    // A path that exists as written is taken as it is; a new name keeps its text.
    EXPECT_EQ(ui::ChosenPath(ui::ToQString(folder)), folder);
    EXPECT_EQ(ui::ChosenPath(ui::ToQString(folder + "/new \xc3\xbc")), folder + "/new \xc3\xbc");

    // Two names Qt shows alike: no guess.
    testing_support::WriteFile(folder + "/caf\xe8.sh", "");
    EXPECT_EQ(ui::ChosenPath(shown), ui::ToStdString(shown));
    // Typed as the user knows the name, its bytes read as Latin-1: still one.
    const QString typed = ui::ToQString(dir.Path()) + QStringLiteral("d\u00ff/caf\u00e9.sh");
    EXPECT_EQ(ui::ChosenPath(typed), file);
}
