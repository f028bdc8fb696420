#pragma once

#include "ui/ByteText.h"

#include <QString>

#include <exception>
#include <utility>

class QWidget;

// The three kinds of modal box the windows use, and the one place where an
// error that leaves a command or a timer event is shown.
namespace ui {

// The program file's name without its extension: the caption of message boxes.
QString ApplicationTitle();

// Plain message box: the text, the application title, no icon, one "OK".
void ShowMessage(QWidget* parent, const QString& text);

// Confirmation: caption "Confirm", question icon, "&Yes" and "&No"; Enter
// chooses Yes, Escape No. True only when the user chose Yes.
bool Confirm(QWidget* parent, const QString& question);

// A name as it goes into the text of a box: whole; a word of it too wide
// for the box's line may wrap between any two of its characters, instead
// of widening the box past the screen.
QString NameForBox(QWidget* parent, const QString& name);

// Standard error box: the message (with a "." added when its last character
// sorts after "."), the application title, an error icon and "OK".
void ShowError(QWidget* parent, const QString& message);

// The text ShowError shows for a message.
QString ErrorText(const QString& message);

// Runs a handler; an exception that leaves it is shown by ShowError, so that
// no exception crosses the event loop. True when the handler finished.
template <class Handler> bool Guarded(QWidget* parent, Handler&& handler) {
    try {
        std::forward<Handler>(handler)();
        return true;
    } catch (const std::exception& e) {
        ShowError(parent, ToDisplayText(e.what()));
    } catch (...) {
        ShowError(parent, QStringLiteral("Unknown error"));
    }
    return false;
}

} // namespace ui
