#include <gtest/gtest.h>

#include "protocol/DecimalText.h"

TEST(DecimalText, ConvertsLikeTheCLibraryWithThirtyTwoBitLongs) {
    struct Case {
        const char* text;
        int32_t asInt;
        uint32_t asUnsigned;
    };
    const Case cases[] = {
        {"", 0, 0},
        {"abc", 0, 0},
        {"42", 42, 42},
        {" \t+17x", 17, 17},
        {"3232235523l", INT32_MAX, 3232235523u},
        {"-1", -1, 4294967295u},
        {"-2147483648", INT32_MIN, 2147483648u},
        {"-99999999999", INT32_MIN, 4294967295u},
        {"4294967296", INT32_MAX, 4294967295u},
        {"123456789012345678901234567890", INT32_MAX, 4294967295u},
        {"- 5", 0, 0},
        {"\r\n7", 7, 7},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LeadingInt32(c.text), c.asInt) << c.text;
        EXPECT_EQ(LeadingUInt32(c.text), c.asUnsigned) << c.text;
    }
}
