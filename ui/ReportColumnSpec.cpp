#include "ui/ReportColumnSpec.h"

#include <limits>

namespace {

constexpr int kSpecCentre = 1;
constexpr int kSpecRight = 2;

bool IsCSpace(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

ReportAlign AlignFromSpec(int code) {
    if (code == kSpecCentre) return ReportAlign::Center;
    if (code == kSpecRight) return ReportAlign::Right;
    return ReportAlign::Left;
}

}  // namespace

int ParseLeadingInt(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && IsCSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    constexpr long long kLimit = std::numeric_limits<int>::max();
    long long value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > kLimit + 1) value = kLimit + 1;  // keeps going through the digits, no overflow
    }
    if (negative) return static_cast<int>(-value);
    return static_cast<int>(value > kLimit ? kLimit : value);
}

QList<ReportColumnSpec> ParseColumnSpec(const QString& spec) {
    QList<ReportColumnSpec> columns;
    for (const QString& entry : spec.split(u';', Qt::SkipEmptyParts)) {
        const QStringList parts = entry.split(u',', Qt::SkipEmptyParts);
        if (parts.isEmpty()) continue;
        ReportColumnSpec column;
        column.title = parts[0];
        if (parts.size() > 1) column.width = ParseLeadingInt(parts[1]);
        if (parts.size() > 2) column.align = AlignFromSpec(ParseLeadingInt(parts[2]));
        columns.append(column);
    }
    return columns;
}
