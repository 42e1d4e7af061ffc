// Cell texts from devices (names, versions) reach the list's sort; column specifications are
// parsed from text. Any text must parse, and the comparison must be antisymmetric and the sort
// must return every row once.
#include <QLocale>
#include <QString>
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "ui/ReportColumnSpec.h"
#include "ui/ReportSort.h"

constexpr qsizetype kPairCells = 32;  // every pair of the first few cells is compared

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const ReportColumnSpec& column : ParseColumnSpec(text))
        if (column.title.isEmpty()) __builtin_trap();

    const QStringList cells = text.split(u'\n');
    const QStringList pairs = cells.first(std::min<qsizetype>(cells.size(), kPairCells));
    static const QLocale locales[] = {QLocale::c(),
                                      QLocale(QLocale::English, QLocale::UnitedStates)};
    for (const QLocale& locale : locales) {
        for (const QString& a : pairs)
            for (const QString& b : pairs) {
                const int ab = CompareCellTexts(a, b, locale);
                const int ba = CompareCellTexts(b, a, locale);
                if ((ab > 0) != (ba < 0) || (ab == 0) != (ba == 0)) __builtin_trap();
            }
        std::vector<int> order = SortedRowOrder(cells, true, locale);
        std::sort(order.begin(), order.end());
        for (size_t i = 0; i < order.size(); ++i)
            if (order[i] != static_cast<int>(i)) __builtin_trap();
    }
    return 0;
}
