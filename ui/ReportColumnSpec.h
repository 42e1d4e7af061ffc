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


// Splits a column specification string such as "No, 60; Time, 140; Message, 605": entries at
// ";", parts at ","; empty pieces are dropped and nothing is trimmed. The first part is the
// title, the second the width, the third the alignment (1 centre, 2 right, else left).
QList<ReportColumnSpec> ParseColumnSpec(const QString& spec);
