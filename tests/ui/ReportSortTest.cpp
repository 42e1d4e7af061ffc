#include <gtest/gtest.h>

#include <QLocale>

#include "tests/ui/QtPrinters.h"
#include "ui/ReportRowState.h"
#include "ui/ReportSort.h"

namespace {

QStringList Sorted(const QStringList& texts, bool ascending = true,
                   const QLocale& locale = QLocale::c()) {
    QStringList out;
    for (int i : SortedRowOrder(texts, ascending, locale)) out.append(texts[i]);
    return out;
}

struct SortCase {
    QStringList in;
    QStringList ascending;
    QLocale locale = QLocale::c();
};

class SortCases : public testing::TestWithParam<SortCase> {};

TEST_P(SortCases, AscendingThenDescendingReversesEqualFreeLists) {
    const SortCase& c = GetParam();
    EXPECT_EQ(Sorted(c.in, true, c.locale), c.ascending);
    QStringList descending(c.ascending.rbegin(), c.ascending.rend());
    EXPECT_EQ(Sorted(c.in, false, c.locale), descending);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SortCases,
    testing::Values(
        // numbers, not texts: "10" < "9" as text
        SortCase{{"10", "9", "100"}, {"9", "10", "100"}},
        SortCase{{"2.5%", "10%", "1.25%"}, {"1.25%", "2.5%", "10%"}},
        SortCase{{"-1.5", "0.25", "-10", "3e2"}, {"-10", "-1.5", "0.25", "3e2"}},
        // hexadecimal, any case, any length, leading zeros ignored
        SortCase{{"ff", "0A", "1F", "B"}, {"0A", "B", "1F", "ff"}},
        SortCase{{"10000000000000000000000", "ffffffffffffffffffff", "0000001"},
                 {"0000001", "ffffffffffffffffffff", "10000000000000000000000"}},
        // device manager MAC addresses and IP addresses fall to the text rule
        SortCase{{"00-1A-2B-3c-4d-5E", "00-0A-2B-3c-4d-5E"},
                 {"00-0A-2B-3c-4d-5E", "00-1A-2B-3c-4d-5E"}},
        // case-sensitive, upper case first
        SortCase{{"beta", "Alpha", "alpha", "Beta"}, {"Alpha", "Beta", "alpha", "beta"}},
        // C locale times and dates, chronological rather than textual
        SortCase{{"9:05 AM", "1:00 PM", "10:00 AM"},
                 {"9:05 AM", "10:00 AM", "1:00 PM"},
                 QLocale(QLocale::English, QLocale::UnitedStates)},
        SortCase{{"12 Mar 2024", "1 Jan 2025", "3 Feb 2024"},
                 {"3 Feb 2024", "12 Mar 2024", "1 Jan 2025"}},
        SortCase{{"2024-03-01T10:00:00", "2024-02-29T23:59:59"},
                 {"2024-02-29T23:59:59", "2024-03-01T10:00:00"}}));

TEST(ReportSort, OnlyTheFirstRuleThatFitsBothTextsDecides) {
    const QLocale c = QLocale::c();
    struct {
        const char* a;
        const char* b;
        int sign;
    } cases[] = {
        {"A", "10", -1},                   // both hex: 0xA < 0x10
        {"1e1", "20", 1},                  // both hex (0x1E1 > 0x20), though 10 < 20 as numbers
        {"1.5", "10", -1},                 // not both hex: as numbers
        {"1.5", "10%", -1},                // a percentage is a number
        {"5%%", "10%", 1},                 // two "%" make a text: '5' > '1'
        {"12 Mar 2024", "3 Feb 2024", 1},  // dates, though '1' < '3' as text
        {"", "5", -1},                     // an empty text is text
        {"1.5", "abc", -1},                // mixed kinds: text
        {"abc", "abc", 0},
        {"007", "7", 0},  // equal as numbers
    };
    for (const auto& t : cases) {
        const int got = CompareCellTexts(t.a, t.b, c);
        EXPECT_EQ((got > 0) - (got < 0), t.sign) << t.a << " vs " << t.b;
    }
}

TEST(ReportSort, MixedKindsNeverLeaveTheListAndKeepEveryRow) {
    // Across kinds the rules are not transitive; the sort must still return a permutation.
    QStringList texts;
    const char* kinds[] = {"1e1", "20", "1.5", "abc", "", "12:00:00", "9", "Z", "-3%", "ff"};
    for (int i = 0; i < 3000; ++i)
        texts.append(QString(kinds[(i * 7 + i / 10) % 10]) +
                     (i % 3 == 0 ? QString() : QString::number(i % 13)));
    for (bool ascending : {true, false}) {
        std::vector<int> order = SortedRowOrder(texts, ascending, QLocale::c());
        ASSERT_EQ(order.size(), size_t(texts.size()));
        std::sort(order.begin(), order.end());
        for (int i = 0; i < texts.size(); ++i) ASSERT_EQ(order[i], i);
    }
}

TEST(ReportSort, EqualRowsKeepTheirOrder) {
    const std::vector<int> order = SortedRowOrder({"b", "a", "b", "a"}, true, QLocale::c());
    EXPECT_EQ(order, (std::vector<int>{1, 3, 0, 2}));
}

TEST(ReportRowState, FiltersMatchRowsHoldingEveryBit) {
    using namespace ReportRows;
    const unsigned selectedTicked = StateOf(true, true, false);
    const unsigned plain = StateOf(false, false, false);
    EXPECT_TRUE(Matches(plain, kAll));
    EXPECT_TRUE(Matches(selectedTicked, kSelected | kChecked));
    EXPECT_TRUE(Matches(selectedTicked, kNotFocused));
    EXPECT_FALSE(Matches(selectedTicked, kSelected | kNotChecked));
    EXPECT_FALSE(Matches(plain, kSelected | kNotSelected));  // no row holds both of a pair
    EXPECT_FALSE(Matches(plain, kAll | kNotSelected));       // bit 1 only counts on its own
}

}  // namespace
