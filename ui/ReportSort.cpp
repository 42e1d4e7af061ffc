#include "ui/ReportSort.h"

#include <QDateTime>
#include <QTimeZone>
#include <algorithm>
#include <numeric>

namespace {

bool IsHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Any length is compared exactly: leading zeros go, then the longer number is the larger.
bool ReadHex(const QString& text, QString* digits) {
    if (text.isEmpty() || !std::all_of(text.begin(), text.end(), IsHexDigit)) return false;
    qsizetype first = 0;
    while (first + 1 < text.size() && text[first] == u'0') ++first;
    *digits = text.mid(first).toLower();
    return true;
}

// [sign] digits [. digits] [e [sign] digits] [%], at least one mantissa digit.
bool ReadNumber(const QString& text, double* value) {
    qsizetype end = text.size();
    if (end > 0 && text[end - 1] == u'%') --end;
    qsizetype i = 0;
    if (i < end && (text[i] == u'+' || text[i] == u'-')) ++i;
    int mantissaDigits = 0;
    for (; i < end && IsDigit(text[i]); ++i) ++mantissaDigits;
    if (i < end && text[i] == u'.')
        for (++i; i < end && IsDigit(text[i]); ++i) ++mantissaDigits;
    if (mantissaDigits == 0) return false;
    if (i < end && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (i < end && (text[i] == u'+' || text[i] == u'-')) ++i;
        const qsizetype exponentStart = i;
        for (; i < end && IsDigit(text[i]); ++i) {
        }
        if (i == exponentStart) return false;
    }
    if (i != end) return false;
    // Overflow reads as an infinity and underflow as zero, which still order correctly.
    *value = QStringView(text).first(end).toDouble();
    return true;
}

// A time without a date counts from the day the platform's date values start at.
const QDate kTimeOnlyDay(1899, 12, 30);

qint64 ToMsecs(QDate date, QTime time) {
    return QDateTime(date, time, QTimeZone::utc()).toMSecsSinceEpoch();
}

bool ReadDateTime(const QString& text, const QLocale& locale, qint64* msecs) {
    if (!std::any_of(text.begin(), text.end(), IsDigit)) return false;
    for (auto format : {QLocale::ShortFormat, QLocale::LongFormat}) {
        if (QDateTime dt = locale.toDateTime(text, format); dt.isValid()) {
            *msecs = ToMsecs(dt.date(), dt.time());
            return true;
        }
        if (QDate d = locale.toDate(text, format); d.isValid()) {
            *msecs = ToMsecs(d, QTime(0, 0));
            return true;
        }
        if (QTime t = locale.toTime(text, format); t.isValid()) {
            *msecs = ToMsecs(kTimeOnlyDay, t);
            return true;
        }
    }
    if (QDateTime dt = QDateTime::fromString(text, Qt::ISODate); dt.isValid()) {
        *msecs = ToMsecs(dt.date(), dt.time());
        return true;
    }
    return false;
}

template <typename T>
int Sign(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

ReportSortKey MakeSortKey(const QString& text, const QLocale& locale) {
    ReportSortKey key;
    key.text = text;
    key.isHex = ReadHex(text, &key.hexDigits);
    key.isNumber = ReadNumber(text, &key.number);
    // No locale writes a date or time as a bare number; skipping them keeps sorting fast.
    if (!key.isHex && !key.isNumber) key.isDateTime = ReadDateTime(text, locale, &key.msecs);
    return key;
}

int CompareSortKeys(const ReportSortKey& a, const ReportSortKey& b) {
    if (a.isHex && b.isHex) {
        if (a.hexDigits.size() != b.hexDigits.size())
            return Sign(a.hexDigits.size(), b.hexDigits.size());
        return Sign(a.hexDigits.compare(b.hexDigits), 0);
    }
    if (a.isNumber && b.isNumber) return Sign(a.number, b.number);
    if (a.isDateTime && b.isDateTime) return Sign(a.msecs, b.msecs);
    return Sign(a.text.compare(b.text, Qt::CaseSensitive), 0);
}

int CompareCellTexts(const QString& a, const QString& b, const QLocale& locale) {
    return CompareSortKeys(MakeSortKey(a, locale), MakeSortKey(b, locale));
}

std::vector<int> SortedRowOrder(const QStringList& texts, bool ascending, const QLocale& locale) {
    std::vector<ReportSortKey> keys;
    keys.reserve(texts.size());
    for (const QString& text : texts) keys.push_back(MakeSortKey(text, locale));
    std::vector<int> order(keys.size());
    std::iota(order.begin(), order.end(), 0);
    // A merge sort never leaves the range, whatever the comparison answers.
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
        const int c = CompareSortKeys(keys[x], keys[y]);
        return ascending ? c < 0 : c > 0;
    });
    return order;
}
