// Zoom, rotation, transform and scrolling arithmetic.
#include <gtest/gtest.h>

#include "view.h"

using namespace knvw;

namespace {

// A letter page (8.5 x 11 inches at 1440 units) in a 400 x 300 window.
View LetterView() {
    View v;
    v.SetPage(12240, 15840, 1440);
    v.SetWindowSize(400, 300);
    return v;
}

}  // namespace

TEST(View, ZoomAndRotationSetThePageSize) {
    struct Case {
        int zoom, rotation, width, height;
    };
    const Case cases[] = {
        {100, 1, 816, 1056}, {50, 1, 408, 528},   {200, 2, 1632, 2112},
        {100, 3, 1056, 816}, {100, 4, 1056, 816}, {1000, 1, 6528, 8448},  // zoom capped at 800
        {1, 1, 41, 53},                                                   // and at 5
    };
    for (const auto& c : cases) {
        View v = LetterView();
        v.SetZoom(c.zoom);
        v.SetRotation(c.rotation);
        EXPECT_EQ(v.PagePixelWidth(), c.width) << c.zoom << " " << c.rotation;
        EXPECT_EQ(v.PagePixelHeight(), c.height) << c.zoom << " " << c.rotation;
    }
}

TEST(View, TransformPutsThePageCornersInPlace) {
    // Where the page's top-left corner (0, 0) and the point (1440, 0) land, per rotation.
    struct Case {
        int rotation;
        double originX, originY, inchX, inchY;
    };
    const Case cases[] = {
        {1, 0, 0, 96, 0},
        {2, 816, 1056, 720, 1056},
        {3, 1056, 0, 1056, 96},  // a quarter turn clockwise: the top edge becomes the right edge
        {4, 0, 816, 0, 720},
    };
    for (const auto& c : cases) {
        View v = LetterView();
        v.SetRotation(c.rotation);
        const Affine m = v.PageToWindow();
        double x, y;
        m.Apply(0, 0, &x, &y);
        EXPECT_NEAR(x, c.originX, 1e-6) << c.rotation;
        EXPECT_NEAR(y, c.originY, 1e-6) << c.rotation;
        m.Apply(1440, 0, &x, &y);
        EXPECT_NEAR(x, c.inchX, 1e-6) << c.rotation;
        EXPECT_NEAR(y, c.inchY, 1e-6) << c.rotation;
        double u, w;
        ASSERT_TRUE(m.Invert(x, y, &u, &w));
        EXPECT_NEAR(u, 1440, 1e-6);
        EXPECT_NEAR(w, 0, 1e-6);
    }
}

TEST(View, ScrollingStaysOnThePage) {
    View v = LetterView();  // page 816 x 1056 in 400 x 300: room 416 x 756
    struct Step {
        bool vertical, forward;
        int request;
        Scroll result;
        int x, y;
    };
    const Step steps[] = {
        {true, false, 38, Scroll::Unchanged, 0, 0},            // up at the top: nothing
        {true, false, 33, Scroll::PastStart, 0, 0},            // page up at the top: before the page
        {true, true, 40, Scroll::Moved, 0, -20},               // down key: a line
        {true, true, 1, Scroll::Moved, 0, -40},                // scroll-bar line down
        {true, true, 3 | (77 << 16), Scroll::Moved, 0, -320},  // page down; the high word is ignored
        {true, true, 34, Scroll::Moved, 0, -600},
        {true, true, 34, Scroll::Moved, 0, -756},    // clamped at the bottom
        {true, true, 34, Scroll::PastEnd, 0, -756},  // paging on past the end
        {true, true, 40, Scroll::Unchanged, 0, -756},
        {false, true, 39, Scroll::Moved, -20, -756},
        {false, true, 3, Scroll::Moved, -400, -756},
        {false, true, 3, Scroll::Moved, -416, -756},
        {false, true, 3, Scroll::Unchanged, -416, -756},
        {false, false, 37, Scroll::Moved, -396, -756},
        {true, true, 99, Scroll::Unchanged, -396, -756},  // unknown request
    };
    for (const auto& s : steps) {
        const Scroll r =
            s.vertical ? v.ScrollVertical(s.forward, s.request) : v.ScrollHorizontal(s.forward, s.request);
        EXPECT_EQ(r, s.result) << s.request;
        EXPECT_EQ(v.XPos(), s.x) << s.request;
        EXPECT_EQ(v.YPos(), s.y) << s.request;
    }
    EXPECT_EQ(v.HScrollPos(), 396);
    EXPECT_EQ(v.HScrollRange(), 416);
    EXPECT_EQ(v.VScrollPos(), 756);
    EXPECT_EQ(v.VScrollRange(), 756);
}

TEST(View, ThumbAndLargeRanges) {
    View v = LetterView();
    EXPECT_TRUE(v.ThumbTo(true, 100));
    EXPECT_EQ(v.YPos(), -100);
    EXPECT_FALSE(v.ThumbTo(true, 100));
    EXPECT_TRUE(v.ThumbTo(true, 5000));  // clamped
    EXPECT_EQ(v.YPos(), -756);
    // A page of 100 inches at 800 %: the bar counts in coarser units and stays in range.
    v.SetPage(144000, 144000, 1440);
    v.SetZoom(800);
    EXPECT_LE(v.VScrollRange(), 30000);
    EXPECT_GT(v.VScrollRange(), 20000);
    v.ThumbTo(true, v.VScrollRange());
    EXPECT_EQ(v.YPos(), -(v.PagePixelHeight() - 300));
}

TEST(View, PageSmallerThanTheWindowDoesNotMove) {
    View v = LetterView();
    v.SetWindowSize(2000, 2000);
    v.SetXPos(-50);
    v.SetYPos(30);
    EXPECT_EQ(v.XPos(), 0);
    EXPECT_EQ(v.YPos(), 0);
    EXPECT_EQ(v.ScrollVertical(true, 40), Scroll::Unchanged);
    EXPECT_EQ(v.VScrollRange(), 0);
}

TEST(View, RevealScrollsJustEnough) {
    View v = LetterView();
    EXPECT_FALSE(v.Reveal(0, 0, 1440, 240));    // already visible
    EXPECT_TRUE(v.Reveal(0, 7200, 1440, 240));  // 5 inches down: 480..496 px
    EXPECT_LE(v.YPos(), -(496 - 300));
    EXPECT_GE(v.YPos(), -(480));
}
