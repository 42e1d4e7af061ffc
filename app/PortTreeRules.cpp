#include "app/PortTreeRules.h"

PortMenuEntry PortMenuEntryFor(const QString& itemText) {
    if (itemText.startsWith('V')) return PortMenuEntry::Create;
    if (itemText.contains('(')) return PortMenuEntry::Close;
    if (itemText.startsWith(QStringLiteral("COM"))) return PortMenuEntry::Remove;
    return PortMenuEntry::None;
}

QString PortMenuText(PortMenuEntry entry) {
    switch (entry) {
        case PortMenuEntry::Create:
            return QStringLiteral("&Create");
        case PortMenuEntry::Close:
            return QStringLiteral("&Close");
        case PortMenuEntry::Remove:
            return QStringLiteral("&Remove");
        case PortMenuEntry::None:
            break;
    }
    return {};
}

QString PortNameOf(const QString& itemText) {
    return itemText.section(' ', 0, 0);
}

QString PeerOf(const QString& itemText) {
    const qsizetype open = itemText.indexOf(QStringLiteral(" ("));
    if (open < 0 || !itemText.endsWith(QLatin1Char(')'))) return {};
    return itemText.mid(open + 2, itemText.size() - open - 3);
}
