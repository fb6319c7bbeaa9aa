// Number rules of the zoom and contrast dialogs.
#include <gtest/gtest.h>

#include "dialog_rules.h"
#include "qel_win.h"

namespace {

TEST(DialogRulesTest, FieldNumbers) {
    struct Case {
        const char* text;
        int expected;
    } cases[] = {
        {"150", 150},
        {"0010", 10},
        {"", 0},
        {"15x", 0},
        {"x15", 0},
        {"-5", 0},
        {" 5", 0},
        {"1.5", 0},
        {"999999999", 999999999},
        {"1234567890", 123456789},  // only nine characters are read
        {"123456789x", 123456789},
    };
    for (const Case& c : cases) EXPECT_EQ(zyp::ParseFieldNumber(c.text), c.expected) << c.text;
}

TEST(DialogRulesTest, ScrollStepsOfTheZoomBar) {
    struct Case {
        int request, thumb, current;
        std::optional<int> expected;
    } cases[] = {
        {SB_LINELEFT, 0, 100, 99},
        {SB_LINERIGHT, 0, 100, 101},
        {SB_LINELEFT, 0, 10, std::nullopt},
        {SB_LINERIGHT, 0, 1000, std::nullopt},
        {SB_PAGELEFT, 0, 500, 401},
        {SB_PAGELEFT, 0, 12, 10},
        {SB_PAGELEFT, 0, 109, 10},
        {SB_PAGERIGHT, 0, 1000, 1000},
        {SB_PAGERIGHT, 0, 950, 1000},
        {SB_LEFT, 0, 500, 10},
        {SB_RIGHT, 0, 500, 1000},
        {SB_THUMBTRACK, 333, 500, 333},
        {SB_THUMBPOSITION, 5, 500, std::nullopt},
        {SB_ENDSCROLL, 0, 500, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(zyp::ScrollStepTarget(c.request, c.thumb, c.current, 10, 1000, 99), c.expected)
            << "request " << c.request << " at " << c.current;
    }
    // The contrast bars: 0..255, page step 25.
    EXPECT_EQ(zyp::ScrollStepTarget(SB_PAGELEFT, 0, 20, 0, 255, 25), 0);
    EXPECT_EQ(zyp::ScrollStepTarget(SB_PAGERIGHT, 0, 240, 0, 255, 25), 255);
    EXPECT_EQ(zyp::ScrollStepTarget(SB_LINELEFT, 0, 0, 0, 255, 25), std::nullopt);
}

TEST(DialogRulesTest, ZoomRadiosAndMessages) {
    const int percents[] = {25, 50, 75, 100, 150, 200, 500, 1000};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(zyp::ZoomOfRadio(200 + i), percents[i]);
        EXPECT_EQ(zyp::RadioOfZoom(percents[i]), 200 + i);
    }
    EXPECT_EQ(zyp::ZoomOfRadio(208), 0);
    EXPECT_EQ(zyp::RadioOfZoom(151), 0);
    EXPECT_EQ(zyp::FormatRangeMessage("from %1 to %2 (%3%)", 10, 1000), "from 10 to 1000 (%3%)");
}

}  // namespace
