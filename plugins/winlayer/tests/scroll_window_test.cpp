// Win_ScrollWindow: pixels moved on the surface, the uncovered strip invalidated,
// children moved with the contents or left in place, windows lying over the area.
#include "desktop_fixture.h"

namespace {

constexpr int kWidth = 100, kHeight = 60;

// Each pixel of the pattern has its own colour.
uint32_t PatternRgb(int x, int y) { return static_cast<uint32_t>((x * 2) << 16 | (y * 3) << 8 | 50); }

std::vector<WinRect>& Paints() {
    static std::vector<WinRect> paints;
    return paints;
}

// Paints nothing, erases nothing: what is on the surface stays for the test to see.
intptr_t CanvasProc(WinHandle w, uint32_t m, uintptr_t wp, intptr_t lp) {
    Log().push_back(Received{w, m, wp, lp});
    if (m == WM_ERASEBKGND) return 1;
    if (m == WM_PAINT) {
        WinPaint paint;
        Win_BeginPaint(w, &paint);
        Paints().push_back(paint.area);
        Win_EndPaint(w, &paint);
        return 0;
    }
    return Win_DefWindowProc(w, m, wp, lp);
}

bool Same(const WinRect& a, const WinRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
std::string Show(const WinRect& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}
bool IsEmptyRect(const WinRect& r) { return r.right <= r.left || r.bottom <= r.top; }
bool Inside(const WinRect& r, int x, int y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

class ScrollWindow : public DesktopTest {
protected:
    void SetUp() override {
        DesktopTest::SetUp();
        Paints().clear();
        WinClass canvas;
        canvas.name = "Canvas";
        canvas.procedure = CanvasProc;
        canvas.background = WIN_NO_BACKGROUND;
        ASSERT_TRUE(Win_RegisterClass(canvas));
    }

    WinHandle Canvas(WinHandle parent, int x, int y, int w, int h) {
        uint32_t style = WS_VISIBLE | (parent == 0 ? WS_POPUP : WS_CHILD);
        return Win_CreateWindow("Canvas", "", style, x, y, w, h, parent, 0, nullptr);
    }

    // The pattern over the whole top-level window, nothing left to paint.
    void DrawPattern(WinHandle top) {
        Win_PumpMessages();
        WinDC* dc = Win_GetDC(top);
        ASSERT_NE(dc, nullptr);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                uint32_t rgb = PatternRgb(x, y);
                Win_FillSolid(dc, WinRect{x, y, x + 1, y + 1},
                              WinRgb(static_cast<int>(rgb >> 16), static_cast<int>(rgb >> 8 & 0xFF), 50));
            }
        }
        Win_ReleaseDC(top, dc);
        Paints().clear();
        Log().clear();
    }

    // Surface pixels: inside moved (top-level coordinates) each comes from dx, dy
    // away; every other pixel is still the pattern's own.
    void ExpectPixels(WinHandle top, const WinRect& moved, int dx, int dy, const std::string& label) {
        WinBitmap* shot = Win_CaptureWindow(top);
        ASSERT_NE(shot, nullptr);
        int wrong = 0;
        for (int y = 0; y < kHeight && wrong < 3; ++y) {
            for (int x = 0; x < kWidth && wrong < 3; ++x) {
                bool in = Inside(moved, x, y);
                uint32_t want = in ? PatternRgb(x - dx, y - dy) : PatternRgb(x, y);
                uint32_t got = Win_BitmapPixel(shot, x, y);
                if (got != want) {
                    ++wrong;
                    ADD_FAILURE() << label << ": pixel " << x << "," << y << (in ? " (moved)" : " (kept)")
                                  << " is " << std::hex << got << ", not " << want;
                }
            }
        }
        Win_DeleteBitmap(shot);
    }
};

TEST_F(ScrollWindow, MovesPixelsAndInvalidatesTheUncoveredStrip) {
    struct Case {
        const char* name;
        int dx, dy;
        bool hasScroll, hasClip;
        WinRect scroll, clip;
        WinRect moved;   // pixels that come from dx, dy away
        WinRect update;  // invalid afterwards (one rectangle: the strips' union)
    };
    const Case cases[] = {
        {"left", -10, 0, false, false, {}, {}, {0, 0, 90, 60}, {90, 0, 100, 60}},
        {"right", 10, 0, false, false, {}, {}, {10, 0, 100, 60}, {0, 0, 10, 60}},
        {"down", 0, 5, false, false, {}, {}, {0, 5, 100, 60}, {0, 0, 100, 5}},
        {"up", 0, -5, false, false, {}, {}, {0, 0, 100, 55}, {0, 55, 100, 60}},
        {"both ways: the strips' bounding box",
         -10,
         5,
         false,
         false,
         {},
         {},
         {0, 5, 90, 60},
         {0, 0, 100, 60}},
        {"inside a scroll rectangle",
         -10,
         0,
         true,
         false,
         {20, 10, 60, 40},
         {},
         {20, 10, 50, 40},
         {50, 10, 60, 40}},
        {"pixels from outside the clip come in",
         10,
         0,
         false,
         true,
         {},
         {0, 0, 50, 60},
         {10, 0, 50, 60},
         {0, 0, 10, 60}},
        {"scroll rectangle larger than the client area",
         0,
         5,
         true,
         false,
         {-20, -20, 500, 500},
         {},
         {0, 5, 100, 60},
         {0, 0, 100, 5}},
        {"farther than the window is wide", 150, 0, false, false, {}, {}, {}, {0, 0, 100, 60}},
        {"clip outside the window changes nothing", 10, 0, false, true, {}, {200, 0, 300, 60}, {}, {}},
    };
    for (const Case& c : cases) {
        WinHandle top = Canvas(0, 0, 0, kWidth, kHeight);
        ASSERT_NE(top, 0u);
        DrawPattern(top);
        ASSERT_FALSE(Win_GetUpdateRect(top, nullptr));
        EXPECT_TRUE(Win_ScrollWindow(top, c.dx, c.dy, c.hasScroll ? &c.scroll : nullptr,
                                     c.hasClip ? &c.clip : nullptr))
            << c.name;
        ExpectPixels(top, c.moved, c.dx, c.dy, c.name);
        WinRect update;
        bool invalid = Win_GetUpdateRect(top, &update);
        EXPECT_EQ(invalid, !IsEmptyRect(c.update)) << c.name;
        if (invalid) {
            EXPECT_TRUE(Same(update, c.update)) << c.name << ": " << Show(update);
        }
        Win_PumpMessages();
        if (invalid) {
            ASSERT_EQ(Paints().size(), 1u) << c.name;
            EXPECT_TRUE(Same(Paints()[0], c.update)) << c.name << ": painted " << Show(Paints()[0]);
        } else {
            EXPECT_TRUE(Paints().empty()) << c.name;
        }
        Win_DestroyWindow(top);
    }
}

TEST_F(ScrollWindow, ChildWindowScrollsInsideItsOwnClientArea) {
    WinHandle top = Canvas(0, 0, 0, kWidth, kHeight);
    WinHandle view = Canvas(top, 20, 10, 60, 40);
    ASSERT_NE(view, 0u);
    DrawPattern(top);
    ASSERT_TRUE(Win_ScrollWindow(view, -5, 0, nullptr, nullptr));
    // The view's client area is 20..80 x 10..50 of the surface; the rest keeps its pixels.
    ExpectPixels(top, WinRect{20, 10, 75, 50}, -5, 0, "child");
    WinRect update;
    ASSERT_TRUE(Win_GetUpdateRect(view, &update));
    EXPECT_TRUE(Same(update, WinRect{55, 0, 60, 40})) << Show(update);
    EXPECT_FALSE(Win_GetUpdateRect(top, nullptr)) << "the parent keeps its pixels";
}

TEST_F(ScrollWindow, ChildrenMoveWithTheWholeClientAreaOnly) {
    WinHandle top = Canvas(0, 0, 0, kWidth, kHeight);
    WinHandle child = Canvas(top, 30, 20, 20, 20);
    DrawPattern(top);

    // The whole client area: the child goes along, pixels and all, and is told so.
    ASSERT_TRUE(Win_ScrollWindow(top, -10, 0, nullptr, nullptr));
    WinRect rect;
    ASSERT_TRUE(Win_GetWindowRect(child, &rect));
    EXPECT_TRUE(Same(rect, WinRect{20, 20, 40, 40})) << Show(rect);
    EXPECT_EQ(CountOf(child, WM_MOVE), 1);
    ExpectPixels(top, WinRect{0, 0, 90, 60}, -10, 0, "with the child");
    EXPECT_FALSE(Win_GetUpdateRect(child, nullptr)) << "the child's pixels moved with it";
    WinRect update;
    ASSERT_TRUE(Win_GetUpdateRect(top, &update));
    EXPECT_TRUE(Same(update, WinRect{90, 0, 100, 60})) << Show(update);
    Win_PumpMessages();

    // A scroll rectangle leaves the child in place; its pixels cannot be moved under it,
    // so the whole rectangle is painted again, the child too.
    DrawPattern(top);
    WinRect all{0, 0, kWidth, kHeight};
    ASSERT_TRUE(Win_ScrollWindow(top, -10, 0, &all, nullptr));
    ASSERT_TRUE(Win_GetWindowRect(child, &rect));
    EXPECT_TRUE(Same(rect, WinRect{20, 20, 40, 40})) << Show(rect);
    EXPECT_EQ(CountOf(child, WM_MOVE), 0);
    ExpectPixels(top, WinRect{}, 0, 0, "child in place");
    ASSERT_TRUE(Win_GetUpdateRect(top, &update));
    EXPECT_TRUE(Same(update, all)) << Show(update);
    EXPECT_TRUE(Win_GetUpdateRect(child, nullptr));

    // A scroll rectangle away from the child moves pixels as usual.
    DrawPattern(top);
    WinRect band{0, 45, kWidth, kHeight};
    ASSERT_TRUE(Win_ScrollWindow(top, 0, 5, &band, nullptr));
    ExpectPixels(top, WinRect{0, 50, kWidth, kHeight}, 0, 5, "band below the child");
    EXPECT_FALSE(Win_GetUpdateRect(child, nullptr));
}

TEST_F(ScrollWindow, AWindowLyingOverTheAreaIsPaintedAgainInsteadOfSmeared) {
    WinHandle top = Canvas(0, 0, 0, kWidth, kHeight);
    WinHandle view = Canvas(top, 0, 0, 80, 60);
    WinHandle over = Canvas(top, 60, 10, 30, 20);  // created later: lies on top of the view
    DrawPattern(top);
    ASSERT_TRUE(Win_ScrollWindow(view, -10, 0, nullptr, nullptr));
    ExpectPixels(top, WinRect{}, 0, 0, "covered");
    WinRect update;
    ASSERT_TRUE(Win_GetUpdateRect(view, &update));
    EXPECT_TRUE(Same(update, WinRect{0, 0, 80, 60})) << Show(update);
    EXPECT_TRUE(Win_GetUpdateRect(over, nullptr)) << "the window on top is painted over the view again";

    // Hidden, it no longer counts.
    Win_PumpMessages();
    Win_ShowWindow(over, SW_HIDE);
    DrawPattern(top);
    ASSERT_TRUE(Win_ScrollWindow(view, -10, 0, nullptr, nullptr));
    ExpectPixels(top, WinRect{0, 0, 70, 60}, -10, 0, "uncovered");
}

TEST_F(ScrollWindow, PendingInvalidAreaMovesWithThePixels) {
    WinHandle top = Canvas(0, 0, 0, kWidth, kHeight);
    DrawPattern(top);
    WinRect stale{0, 0, 10, 10};
    Win_InvalidateRect(top, &stale, false);
    ASSERT_TRUE(Win_ScrollWindow(top, 0, 20, nullptr, nullptr));
    WinRect update;
    ASSERT_TRUE(Win_GetUpdateRect(top, &update));
    // The stale square now at 0,20..10,30, the uncovered strip 0..20 across.
    EXPECT_TRUE(Same(update, WinRect{0, 0, 100, 30})) << Show(update);
}

TEST_F(ScrollWindow, NoWindowAndNoMove) {
    EXPECT_FALSE(Win_ScrollWindow(0, 1, 0, nullptr, nullptr));
    EXPECT_FALSE(Win_ScrollWindow(12345, 1, 0, nullptr, nullptr));
    WinHandle top = Canvas(0, 0, 0, kWidth, kHeight);
    DrawPattern(top);
    EXPECT_TRUE(Win_ScrollWindow(top, 0, 0, nullptr, nullptr));
    EXPECT_FALSE(Win_GetUpdateRect(top, nullptr));
    ExpectPixels(top, WinRect{}, 0, 0, "no move");

    // A hidden window moves no pixels: its area is painted when it shows.
    WinHandle hidden = Win_CreateWindow("Canvas", "", WS_CHILD, 0, 0, 50, 50, top, 0, nullptr);
    EXPECT_TRUE(Win_ScrollWindow(hidden, 5, 0, nullptr, nullptr));
    ExpectPixels(top, WinRect{}, 0, 0, "hidden");
}

}  // namespace
