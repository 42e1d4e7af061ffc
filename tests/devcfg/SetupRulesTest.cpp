#include <gtest/gtest.h>

#include "devcfg/SetupRules.h"

TEST(SetupRules, NumberEditsClampToTheirRanges) {
    struct Case {
        NumberLimits limits;
        uint32_t typed;
        uint32_t shown;
    };
    const Case cases[] = {
        {limits::kPort, 80, 1024},         {limits::kPort, 0, 1024},
        {limits::kPort, 1023, 1024},       {limits::kPort, 1024, 1024},
        {limits::kPort, 65536, 65535},     {limits::kPort, UINT32_MAX, 65535},
        {limits::kTransmitTimer, 9, 10},   {limits::kTransmitTimer, 70000, 65535},
        {limits::kServicePort, 0, 0},      {limits::kServicePort, 65536, 65535},
        {limits::kResponseTimeout, 5, 10}, {limits::kResponseTimeout, 65001, 65000},
        {limits::kFrameDelay, 5, 10},      {limits::kFrameDelay, 600, 500},
        {limits::kFrameDelay, 250, 250},
    };
    for (const Case& c : cases) EXPECT_EQ(c.limits.Clamp(c.typed), c.shown) << c.typed;
}

TEST(SetupRules, NumberTextsReadTheirLeadingDigitsAndSaturate) {
    EXPECT_EQ(ReadUnsigned(""), 0u);
    EXPECT_EQ(ReadUnsigned("80"), 80u);
    EXPECT_EQ(ReadUnsigned("12x4"), 12u);
    EXPECT_EQ(ReadUnsigned("99999999999999999999"), UINT32_MAX);
    EXPECT_EQ(OverLongMessage("User Name", 36),
              "User Name: Please enter no more than 36 characters.");
    EXPECT_EQ(OverLongMessage("Firmware File", 64, false),
              "Firmware File: The text has more than 64 characters and cannot be edited here; "
              "Load a setting file with a shorter one.");
}

TEST(SetupRules, ScrollRequestsMoveWithinTheRange) {
    using sheetscroll::Delta;
    using sheetscroll::Request;
    EXPECT_EQ(sheetscroll::RangeMaximum(455), 45);
    EXPECT_EQ(sheetscroll::RangeMaximum(-20), 0);
    struct Case {
        Request request;
        int position;
        int thumb;
        int delta;
    };
    const int max = 45;
    const Case cases[] = {
        {Request::LineDown, 0, 0, 1},      {Request::LineUp, 0, 0, 0},
        {Request::LineUp, 10, 0, -1},      {Request::LineDown, 45, 0, 0},
        {Request::PageDown, 0, 0, 45},     {Request::PageDown, 10, 0, 35},
        {Request::PageUp, 10, 0, -10},     {Request::ThumbTrack, 10, 30, 20},
        {Request::ThumbTrack, 10, 99, 35}, {Request::Top, 20, 0, -20},
        {Request::Bottom, 20, 0, 25},      {Request::Other, 20, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Delta(c.request, c.position, max, c.thumb), c.delta)
            << static_cast<int>(c.request) << " at " << c.position;
    }
    EXPECT_EQ(Delta(Request::PageDown, 0, 0), 0);  // nothing to scroll: at least one, clamped
}
