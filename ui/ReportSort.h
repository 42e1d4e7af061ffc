#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>
#include <vector>

// What a cell's text reads as for sorting, worked out once per cell so that a sort of a few
// thousand rows does not parse texts again at every comparison.
struct ReportSortKey {
    QString text;
    QString hexDigits;  // significant digits in lower case; empty if the text is not hex
    bool isHex = false;
    bool isNumber = false;  // a floating-point number, optionally followed by one "%"
    double number = 0;
    bool isDateTime = false;
    qint64 msecs = 0;  // on one time line for dates, times and both
};

ReportSortKey MakeSortKey(const QString& text, const QLocale& locale);

// Negative, zero or positive; the first rule that applies to both texts decides: hexadecimal
// numbers, floating-point numbers (with an optional "%"), dates and times in the locale, then
// the texts character by character, case-sensitively.
int CompareSortKeys(const ReportSortKey& a, const ReportSortKey& b);
int CompareCellTexts(const QString& a, const QString& b, const QLocale& locale);

// The order in which rows with these texts are listed: result[i] is the old index of the row
// that goes to position i. Safe with any mix of rules (the rules are not transitive across
// kinds), and rows that compare equal keep their order.
std::vector<int> SortedRowOrder(const QStringList& texts, bool ascending, const QLocale& locale);
