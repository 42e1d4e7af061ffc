#pragma once

#include <QList>
#include <QString>
#include <QStringView>

// Alignment codes of a report list column, as InsertReportColumn takes them.
enum class ReportAlign { Left = 0, Right = 1, Center = 2 };

constexpr int kDefaultColumnWidth = 100;

struct ReportColumnSpec {
    QString title;
    int width = kDefaultColumnWidth;
    ReportAlign align = ReportAlign::Left;

    bool operator==(const ReportColumnSpec&) const = default;
};

// Reads a signed decimal number after optional leading white space and stops at the first
// character that is not a digit; no digits give 0. Saturates at the int range.
int ParseLeadingInt(QStringView text);

// Splits a column specification string such as "No, 60; Time, 140; Message, 605": entries at
// ";", parts at ","; empty pieces are dropped and nothing is trimmed. The first part is the
// title, the second the width, the third the alignment (1 centre, 2 right, else left).
QList<ReportColumnSpec> ParseColumnSpec(const QString& spec);
