#include <gtest/gtest.h>

#include "protocol/DecimalText.h"
#include "tests/ui/QtPrinters.h"
#include "ui/ReportColumnSpec.h"

namespace {

using Spec = QList<ReportColumnSpec>;
constexpr auto L = ReportAlign::Left;
constexpr auto R = ReportAlign::Right;
constexpr auto C = ReportAlign::Center;

struct SpecCase {
    const char* spec;
    Spec columns;
};

class ColumnSpecCases : public testing::TestWithParam<SpecCase> {};

TEST_P(ColumnSpecCases, ParsesAsTheListExpects) {
    EXPECT_EQ(ParseColumnSpec(GetParam().spec), GetParam().columns) << GetParam().spec;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ColumnSpecCases,
    testing::Values(
        // titles keep their leading blanks
        SpecCase{"No, 60; Time, 140; Message, 605",
                 {{"No", 60, L}, {" Time", 140, L}, {" Message", 605, L}}},
        SpecCase{"Port ID, 60;Port Name, 150;Status, 100;Remote IP, 120;Remote Port, 90",
                 {{"Port ID", 60, L},
                  {"Port Name", 150, L},
                  {"Status", 100, L},
                  {"Remote IP", 120, L},
                  {"Remote Port", 90, L}}},
        SpecCase{"Name", {{"Name", 100, L}}}, SpecCase{"A, 50, 1", {{"A", 50, C}}},
        SpecCase{"A,50,2", {{"A", 50, R}}},
        SpecCase{"A,50,3;B,50,0;C,50,x", {{"A", 50, L}, {"B", 50, L}, {"C", 50, L}}},
        SpecCase{"A, 50,  1 ", {{"A", 50, C}}},
        // empty entries and parts are dropped, not read as defaults
        SpecCase{"A;;B, 80", {{"A", 100, L}, {"B", 80, L}}},
        SpecCase{";;A,,40,,1;", {{"A", 40, C}}}, SpecCase{"", {}}, SpecCase{";;;,,;", {}},
        // a title of blanks is still a title; trailing text after the digits is ignored
        SpecCase{" , 30", {{" ", 30, L}}}, SpecCase{"A, 30px", {{"A", 30, L}}},
        SpecCase{"A, x", {{"A", 0, L}}}, SpecCase{"A, -5", {{"A", -5, L}}},
        SpecCase{"A, +7, +1", {{"A", 7, C}}}));

TEST(ColumnSpecNumbers, SkipsBlanksTakesSignStopsAtNonDigitAndSaturates) {
    EXPECT_EQ(LeadingInt32(" \t42abc"), 42);
    EXPECT_EQ(LeadingInt32("-17"), -17);
    EXPECT_EQ(LeadingInt32("- 17"), 0);
    EXPECT_EQ(LeadingInt32(""), 0);
    EXPECT_EQ(LeadingInt32("99999999999999999999"), 2147483647);
    EXPECT_EQ(LeadingInt32("-99999999999999999999"), -2147483647 - 1);
}

}  // namespace
