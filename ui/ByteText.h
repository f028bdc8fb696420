#pragma once

#include <QString>

#include <string>
#include <string_view>

// The one join between the 8-bit texts below the windows (task names, paths,
// parameters, messages) and the Unicode texts the widgets hold.
//
// Stored texts are UTF-8 as far as they are valid UTF-8; anything else is
// kept byte for byte. Going up, valid UTF-8 decodes as usual and each byte of
// an invalid sequence becomes the lone low surrogate U+DC80 + byte (a
// "surrogate escape"); going down, such an escape gives its byte back. So a
// text taken from a box the user edited keeps every byte the user did not
// touch, and ToStdString(ToQString(s)) == s for every byte string s.
//
// Going down, a QString can also hold what no stored text decodes to:
// - a genuine lone surrogate U+DC80..U+DCFF (pasted by the user) cannot be
//   told from an escape and gives the byte it escapes;
// - any other lone surrogate has no UTF-8 form and gives U+FFFD (EF BF BD),
//   the mark the windows show for it anyway;
// - a high surrogate followed by a low one is a pair, also when the low one
//   lies in the escape range: stored texts never decode to a lone high
//   surrogate, so this only joins what the user put side by side.
// Escaped bytes that end up next to each other are written as they are, and
// may then read back as a character when they form valid UTF-8.
namespace ui {

// Stored bytes to the text a widget holds; lossless.
QString ToQString(std::string_view bytes);

// A widget's text back to the stored bytes.
std::string ToStdString(const QString& text);

// For texts only shown (the task list, message and confirmation boxes):
// each escaped byte becomes U+FFFD. Qt draws a lone surrogate that way
// anyway; this keeps it out of copies and accessible names too.
QString ToDisplayText(std::string_view bytes);

// A path chosen in a file dialog, as bytes. Qt decodes file names as UTF-8
// and replaces what is not; when the path so encoded does not exist, each
// missing component is looked up among its folder's entries: one whose name
// Qt shows the same way, or whose bytes that are no UTF-8 read as Latin-1
// give the component ("t\xe2ches.ini" for "tâches.ini"). Only a unique
// match is taken; otherwise the path's own encoding is returned.
std::string ChosenPath(const QString& path);

// The text a file dialog can preselect for a stored path.
QString DialogPath(const std::string& bytes);

} // namespace ui
