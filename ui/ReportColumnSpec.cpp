#include "ui/ReportColumnSpec.h"

#include "protocol/DecimalText.h"

namespace {

constexpr int kSpecCentre = 1;
constexpr int kSpecRight = 2;

ReportAlign AlignFromSpec(int code) {
    if (code == kSpecCentre) return ReportAlign::Center;
    if (code == kSpecRight) return ReportAlign::Right;
    return ReportAlign::Left;
}

}  // namespace

QList<ReportColumnSpec> ParseColumnSpec(const QString& spec) {
    QList<ReportColumnSpec> columns;
    for (const QString& entry : spec.split(u';', Qt::SkipEmptyParts)) {
        const QStringList parts = entry.split(u',', Qt::SkipEmptyParts);
        if (parts.isEmpty()) continue;
        ReportColumnSpec column;
        column.title = parts[0];
        if (parts.size() > 1) column.width = LeadingInt32(parts[1].toLatin1());
        if (parts.size() > 2) column.align = AlignFromSpec(LeadingInt32(parts[2].toLatin1()));
        columns.append(column);
    }
    return columns;
}
