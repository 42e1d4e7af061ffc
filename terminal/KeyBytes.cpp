#include "terminal/KeyBytes.h"

#include <QRegularExpression>

namespace term {

namespace {

struct KeySequence {
    int key;
    const char* bytes;
};
// The cursor and editing keys as xterm sends them in its normal cursor mode.
constexpr KeySequence kSequences[] = {
    {Qt::Key_Escape, "\x1b"},    {Qt::Key_Tab, "\t"},           {Qt::Key_Backtab, "\x1b[Z"},
    {Qt::Key_Backspace, "\b"},   {Qt::Key_Up, "\x1b[A"},        {Qt::Key_Down, "\x1b[B"},
    {Qt::Key_Right, "\x1b[C"},   {Qt::Key_Left, "\x1b[D"},      {Qt::Key_Home, "\x1b[H"},
    {Qt::Key_End, "\x1b[F"},     {Qt::Key_Insert, "\x1b[2~"},   {Qt::Key_Delete, "\x1b[3~"},
    {Qt::Key_PageUp, "\x1b[5~"}, {Qt::Key_PageDown, "\x1b[6~"},
};

// Ctrl with a key outside the letters, as terminals map them.
constexpr KeySequence kControlKeys[] = {
    {Qt::Key_Space, "\0"},          {Qt::Key_At, "\0"},
    {Qt::Key_BracketLeft, "\x1b"},  {Qt::Key_Backslash, "\x1c"},
    {Qt::Key_BracketRight, "\x1d"}, {Qt::Key_AsciiCircum, "\x1e"},
    {Qt::Key_Underscore, "\x1f"},
};

constexpr char kControlMask = 0x1F;

QByteArray ControlBytes(int key) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return QByteArray(1, static_cast<char>((key - Qt::Key_A + 'A') & kControlMask));
    for (const KeySequence& k : kControlKeys)
        if (k.key == key) return QByteArray(k.bytes, 1);
    return {};
}

}  // namespace

QByteArray KeyBytes(const KeyPress& press, LineEnding enter) {
    const bool ctrl = press.modifiers & Qt::ControlModifier;
    const bool alt = press.modifiers & Qt::AltModifier;
    if (press.key == Qt::Key_Return || press.key == Qt::Key_Enter) return LineEndingBytes(enter);
    for (const KeySequence& k : kSequences)
        if (k.key == press.key) return alt ? kEscape + QByteArray(k.bytes) : QByteArray(k.bytes);
    QByteArray bytes = ctrl ? ControlBytes(press.key) : QByteArray();
    // Text as the keyboard layout (or an input method) made it.
    if (bytes.isEmpty() && !ctrl) bytes = press.text.toUtf8();
    if (bytes.isEmpty()) return {};
    return alt ? kEscape + bytes : bytes;
}

QByteArray PasteBytes(const QString& text, LineEnding enter) {
    static const QRegularExpression kLineBreak(QStringLiteral("\r\n|\n|\r"));
    QString lines = text;
    const QString ending = QString::fromLatin1(LineEndingBytes(enter));
    return lines.replace(kLineBreak, ending).toUtf8();
}

bool PasteNeedsConfirmation(const QString& text) {
    QString body = text;
    while (body.endsWith(u'\n') || body.endsWith(u'\r')) body.chop(1);
    return body.contains(u'\n') || body.contains(u'\r') ||
           text.toUtf8().size() > kPasteConfirmBytes;
}

}  // namespace term
