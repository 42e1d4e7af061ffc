#include <gtest/gtest.h>

#include "devmgr/DmPeriodForm.h"

using namespace dmperiod;

TEST(DmPeriodForm, ReadsIntegersAsTheDialogFrameworkDoes) {
    struct Case {
        QString text;
        std::optional<int> value;
    };
    const Case cases[] = {
        {"15", 15},
        {"  42 ", 42},
        {"+7", 7},
        {"-3", -3},
        {"0010", 10},
        {"", std::nullopt},
        {" ", std::nullopt},
        {"-", std::nullopt},
        {"12a", std::nullopt},
        {"1 2", std::nullopt},
        {"1.5", std::nullopt},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", std::nullopt},
        {"99999999999999999999", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseInteger(c.text), c.value) << c.text.toStdString();
}

TEST(DmPeriodForm, ReadsRebootThenRestoreThenSearchAndStopsAtTheFirstBadField) {
    struct Case {
        const char* what;
        Texts texts;
        std::optional<Field> failed;
        QString message;
        DmPeriods after;
    };
    const DmPeriods before{10, 10, 15};
    const Case cases[] = {
        {"all good", {"20", "30", "40"}, std::nullopt, {}, {20, 30, 40}},
        {"search too small: the value is taken all the same",
         {"3", "30", "40"},
         Field::kSearch,
         "Enter an integer between 5 and 1000.",
         {3, 30, 40}},
        {"reboot too large: restore and search are not read",
         {"20", "30", "2000"},
         Field::kReboot,
         "Enter an integer between 10 and 1000.",
         {10, 10, 2000}},
        {"restore not a number: search not read, restore kept",
         {"20", "abc", "40"},
         Field::kRestore,
         "Enter an integer.",
         {10, 10, 40}},
        {"every field bad: only reboot is reported",
         {"x", "1", "y"},
         Field::kReboot,
         "Enter an integer.",
         {10, 10, 15}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DmPeriods working = before;
        const std::optional<Failure> failure = ReadFields(c.texts, working);
        ASSERT_EQ(failure.has_value(), c.failed.has_value());
        if (failure) {
            EXPECT_EQ(failure->field, *c.failed);
            EXPECT_EQ(failure->message, c.message);
        }
        EXPECT_EQ(working, c.after);
    }
}

TEST(DmPeriodForm, ClosesOnlyWithSearchAndRestoreInRange) {
    EXPECT_TRUE(AllowsClose({5, 10, 2000}));  // the reboot period does not hold it open
    EXPECT_TRUE(AllowsClose({1000, 1000, -1}));
    EXPECT_FALSE(AllowsClose({4, 10, 15}));
    EXPECT_FALSE(AllowsClose({10, 9, 15}));
    EXPECT_FALSE(AllowsClose({10, 1001, 15}));
}
