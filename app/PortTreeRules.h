#pragma once

#include <QString>

// The one entry the port tree's context menu offers for an item text.
enum class PortMenuEntry { None, Create, Close, Remove };

// The root ("Virtual COM Ports") creates; an item in use ("COM5 (10.0.0.3)") closes; a bare
// port ("COM5") is removed; anything else offers nothing.
PortMenuEntry PortMenuEntryFor(const QString& itemText);
// The menu's text for an entry: "&Create", "&Close" or "&Remove"; empty for none.
QString PortMenuText(PortMenuEntry entry);
// The port name of an item text: the text up to its first space.
QString PortNameOf(const QString& itemText);
// What an item shows in parentheses ("10.0.0.3" for "COM5 (10.0.0.3)"); empty when nothing.
QString PeerOf(const QString& itemText);
