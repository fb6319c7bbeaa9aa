// View arithmetic: image size by zoom and rotation, offsets that keep their share,
// scroll positions over all pages, scroll requests and selection zoom.
#include <gtest/gtest.h>

#include "geometry.h"
#include "qel_win.h"

namespace {

using zyp::VerticalMove;
using zyp::ViewGeometry;

// A browser window of 816 x 600 with a 29-pixel toolbar: the view is 800 wide.
ViewGeometry Portrait(int zoom, int rotation, int pages = 3) {
    ViewGeometry g;
    g.clientWidth = 816;
    g.clientHeight = 600;
    g.toolbarHeight = 29;
    g.pageWidth = 1700;
    g.pageHeight = 2200;
    g.zoom = zoom;
    g.rotation = rotation;
    g.pages = pages;
    zyp::UpdateGeometry(g);
    return g;
}

TEST(GeometryTest, ImageSizeByZoomAndRotation) {
    struct Case {
        int zoom, rotation;
        int viewHeight, imageWidth, imageHeight, hMax;
    } cases[] = {
        {100, 1, 571, 800, 1035, 0},  // the page width fills the view; no horizontal bar
        {100, 3, 571, 800, 1035, 0},      {100, 2, 571, 800, 618, 0},  // turned: wider than high
        {100, 4, 571, 800, 618, 0},       {50, 1, 571, 400, 517, 0},
        {200, 1, 555, 1600, 2070, 800},                             // horizontal bar takes 16 pixels
        {1000, 2, 555, 8000, 6181, 7200}, {5, 1, 571, 80, 103, 0},  // clamped to 10
    };
    for (const Case& c : cases) {
        ViewGeometry g = Portrait(c.zoom, c.rotation);
        SCOPED_TRACE(testing::Message() << "zoom " << c.zoom << " rotation " << c.rotation);
        EXPECT_EQ(g.viewWidth, 800);
        EXPECT_EQ(g.viewHeight, c.viewHeight);
        EXPECT_EQ(g.imageWidth, c.imageWidth);
        EXPECT_EQ(g.imageHeight, c.imageHeight);
        EXPECT_EQ(g.hMax, c.hMax);
        EXPECT_EQ(g.vMax, std::max(c.imageHeight - c.viewHeight, 0));
        EXPECT_EQ(g.HorizontalBar(), c.zoom > 100);
    }
}

// At zoom 1000 a wide view or a tall narrow page makes an image beyond what painting
// takes (it clamps to ZYPM_MAX_IMAGE_SIZE); the offsets must stay within the painted image.
TEST(GeometryTest, ImageSizeStopsAtThePaintingLimit) {
    struct Case {
        const char* what;
        int clientWidth, pageWidth, pageHeight;
        int imageWidth, imageHeight;
    } cases[] = {
        {"portrait", 816, 1700, 2200, 8000, 10352},
        {"one pixel wide", 2016, 1, 65535, 20000, 1000000},
        {"one pixel wide, rows stretched four times", 2016, 1, 262140, 20000, 1000000},
        {"very wide view", 200016, 2200, 1700, 1000000, 772727},
    };
    for (const Case& c : cases) {
        ViewGeometry g;
        g.clientWidth = c.clientWidth;
        g.clientHeight = 600;
        g.toolbarHeight = 29;
        g.pageWidth = c.pageWidth;
        g.pageHeight = c.pageHeight;
        g.zoom = 1000;
        g.pages = 1;
        zyp::UpdateGeometry(g);
        SCOPED_TRACE(c.what);
        EXPECT_EQ(g.imageWidth, c.imageWidth);
        EXPECT_EQ(g.imageHeight, c.imageHeight);
        EXPECT_EQ(g.hMax, c.imageWidth - g.viewWidth);
        EXPECT_EQ(g.vMax, c.imageHeight - 555);
    }
}

TEST(GeometryTest, OffsetsKeepTheirShareWhenTheMaximumChanges) {
    ViewGeometry g = Portrait(200, 1);
    g.hOffset = g.hMax / 2;  // 400 of 800
    g.vOffset = g.vMax / 4;
    int vShare = g.vOffset * 100 / g.vMax;
    g.zoom = 400;
    zyp::UpdateGeometry(g);
    EXPECT_EQ(g.hMax, 2400);
    EXPECT_EQ(g.hOffset, 1200);
    EXPECT_EQ(g.vOffset * 100 / g.vMax, vShare);
    // Back to a zoom that fits: nothing left to scroll sideways.
    g.zoom = 100;
    zyp::UpdateGeometry(g);
    EXPECT_EQ(g.hMax, 0);
    EXPECT_EQ(g.hOffset, 0);
}

TEST(GeometryTest, ScrollPositionsSpanAllPages) {
    ViewGeometry g = Portrait(100, 1, 4);  // page step 2500, vMax 464
    EXPECT_EQ(g.pageStep, 2500);
    struct Case {
        int page, vOffset, position;
    } cases[] = {
        {0, 0, 0},    {0, 232, 1250}, {1, 0, 2500},    {2, 464, 7500},
        {3, 0, 7500}, {3, 232, 8750}, {3, 464, 10000},
    };
    for (const Case& c : cases) {
        g.page = c.page;
        g.vOffset = c.vOffset;
        EXPECT_EQ(zyp::VerticalPosition(g), c.position) << c.page << "/" << c.vOffset;
    }
    ViewGeometry wide = Portrait(300, 1);
    wide.hOffset = wide.hMax / 4;
    EXPECT_EQ(zyp::HorizontalPosition(wide), 2500);
    wide.hOffset = wide.hMax;
    EXPECT_EQ(zyp::HorizontalPosition(wide), 10000);
}

TEST(GeometryTest, HorizontalRequests) {
    ViewGeometry g = Portrait(200, 1);  // hMax 800, line 80, page 400
    struct Case {
        int offset, request, thumb, expected;
    } cases[] = {
        {0, SB_LINELEFT, 0, 0},         {30, SB_LINELEFT, 0, 0},       {300, SB_LINELEFT, 0, 220},
        {300, SB_LINERIGHT, 0, 380},    {780, SB_LINERIGHT, 0, 800},   {300, SB_PAGELEFT, 0, 0},
        {300, SB_PAGERIGHT, 0, 700},    {600, SB_PAGERIGHT, 0, 800},   {300, SB_LEFT, 0, 0},
        {300, SB_RIGHT, 0, 800},        {0, SB_THUMBTRACK, 5000, 400}, {0, SB_THUMBPOSITION, 10000, 800},
        {0, SB_THUMBTRACK, 20000, 800}, {300, SB_ENDSCROLL, 0, 300},
    };
    for (const Case& c : cases) {
        g.hOffset = c.offset;
        EXPECT_EQ(zyp::HorizontalTarget(g, c.request, c.thumb), c.expected)
            << "offset " << c.offset << " request " << c.request;
    }
}

TEST(GeometryTest, VerticalRequestsCrossPages) {
    ViewGeometry g = Portrait(100, 1, 3);  // vMax 464, line 57, page 285
    using At = VerticalMove::At;
    struct Case {
        int page, offset, request, thumb;
        bool moves;
        int targetPage;
        At at;
        int targetOffset;
    } cases[] = {
        {1, 100, SB_LINEUP, 0, true, 1, At::Offset, 43},
        {1, 30, SB_PAGEUP, 0, true, 1, At::Offset, 0},
        {1, 0, SB_LINEUP, 0, true, 0, At::Bottom, 0},
        {0, 0, SB_PAGEUP, 0, false, 0, At::Offset, 0},  // first page's top: nothing
        {1, 100, SB_PAGEDOWN, 0, true, 1, At::Offset, 385},
        {1, 450, SB_LINEDOWN, 0, true, 1, At::Offset, 464},
        {1, 464, SB_LINEDOWN, 0, true, 2, At::Top, 0},
        {2, 464, SB_LINEDOWN, 0, false, 2, At::Offset, 0},  // last page's bottom: nothing
        {2, 464, SB_PAGEDOWN, 0, false, 2, At::Offset, 0},
        {1, 200, SB_TOP, 0, true, 0, At::Top, 0},
        {0, 200, SB_BOTTOM, 0, true, 2, At::Bottom, 0},
        {0, 0, SB_THUMBTRACK, 10000, true, 2, At::Bottom, 0},
    };
    for (const Case& c : cases) {
        g.page = c.page;
        g.vOffset = c.offset;
        VerticalMove move = zyp::VerticalTarget(g, c.request, c.thumb);
        SCOPED_TRACE(testing::Message()
                     << "page " << c.page << " offset " << c.offset << " request " << c.request);
        EXPECT_EQ(move.moves, c.moves);
        if (!c.moves) continue;
        EXPECT_EQ(move.page, c.targetPage);
        EXPECT_EQ(move.at, c.at);
        if (c.at == At::Offset) {
            EXPECT_EQ(move.offset, c.targetOffset);
        }
    }
}

TEST(GeometryTest, ThumbIsTheInverseOfThePosition) {
    ViewGeometry g = Portrait(100, 1, 4);
    for (int page = 0; page < 4; ++page) {
        for (int offset : {0, 116, 232, 400}) {
            g.page = page;
            g.vOffset = offset;
            int position = zyp::VerticalPosition(g);
            if (position == zyp::kScrollRange) continue;
            VerticalMove move = zyp::VerticalTarget(g, SB_THUMBPOSITION, position);
            ViewGeometry shown = g;
            shown.page = move.page;
            zyp::PlaceOnPage(shown, move);
            EXPECT_EQ(shown.page, page) << offset;
            EXPECT_NEAR(shown.vOffset, offset, 5) << "page " << page;
        }
    }
}

TEST(GeometryTest, SelectionZoomAndScroll) {
    ViewGeometry g = Portrait(100, 1);
    struct Case {
        int zoom, selectionWidth, expected;
    } cases[] = {{100, 400, 200}, {100, 80, 1000}, {100, 3, 1000}, {500, 800, 500}, {20, 1600, 10}};
    for (const Case& c : cases) {
        g.zoom = c.zoom;
        EXPECT_EQ(zyp::SelectionZoom(g, c.selectionWidth), c.expected) << c.zoom << " " << c.selectionWidth;
    }
    // A selection from (100, 50) 400 wide at zoom 100 shows at zoom 200 from (200, 100).
    g = Portrait(100, 1);
    g.zoom = zyp::SelectionZoom(g, 400);
    zyp::UpdateGeometry(g);
    zyp::ScrollToSelection(g, 100, 0, 0, 100, 50);
    EXPECT_EQ(g.hOffset, 200);
    EXPECT_EQ(g.vOffset, 100);
    // Near the bottom right corner the offsets stop at their maxima.
    zyp::ScrollToSelection(g, 100, 0, 0, 790, 1000);
    EXPECT_EQ(g.hOffset, g.hMax);
    EXPECT_EQ(g.vOffset, g.vMax);
}

}  // namespace
