#pragma once

#include <QByteArray>
#include <QString>
#include <Qt>

#include "terminal/TerminalRules.h"

// What a key typed into a terminal's log sends, as a terminal on Linux sends it: UTF-8 for
// text, the usual VT100/xterm sequences for Esc, Tab and the cursor keys, Ctrl+letter as its
// control byte, Alt as ESC before the key's text.
namespace term {

struct KeyPress {
    int key = 0;  // Qt::Key
    Qt::KeyboardModifiers modifiers;
    QString text;  // what the keyboard layout made of the key
};

// Empty for a key that sends nothing (a modifier alone, a function key).
QByteArray KeyBytes(const KeyPress& press, LineEnding enter);

// Pasted text as bytes: UTF-8, each line break (CR LF, LF or CR) sent as Enter sends it.
QByteArray PasteBytes(const QString& text, LineEnding enter);

// A paste of more than one line, or above this size, is confirmed first.
inline constexpr qsizetype kPasteConfirmBytes = 256;
bool PasteNeedsConfirmation(const QString& text);

}  // namespace term
