// Input: focus, capture, routing of mouse input, double clicks, WM_SETCURSOR,
// keys, and the window scroll bars.
#include "desktop_fixture.h"

namespace {

using Input = DesktopTest;

TEST_F(Input, FocusChangeTellsBothWindows) {
    WinHandle top = Top();
    WinHandle a = Child(top, 0, 0, 10, 10);
    WinHandle b = Child(top, 20, 0, 10, 10);
    EXPECT_EQ(Win_SetFocus(a), 0u);
    Log().clear();
    EXPECT_EQ(Win_SetFocus(b), a);
    ASSERT_EQ(Log().size(), 2u);
    EXPECT_EQ(Log()[0].window, a);
    EXPECT_EQ(Log()[0].message, static_cast<uint32_t>(WM_KILLFOCUS));
    EXPECT_EQ(Log()[0].wParam, b);
    EXPECT_EQ(Log()[1].window, b);
    EXPECT_EQ(Log()[1].message, static_cast<uint32_t>(WM_SETFOCUS));
    EXPECT_EQ(Log()[1].wParam, a);
    EXPECT_EQ(Win_SetFocus(999), 0u);
    EXPECT_EQ(Win_GetFocus(), b);
    Win_DestroyWindow(b);
    EXPECT_EQ(Win_GetFocus(), 0u);
}

TEST_F(Input, MouseGoesToTheDeepestVisibleEnabledChild) {
    WinHandle top = Top(200, 200);
    WinHandle a = Child(top, 10, 10, 100, 100);
    WinHandle b = Child(a, 10, 10, 30, 30);
    WinHandle hidden = Child(top, 150, 0, 40, 40, 0);
    WinHandle disabled = Child(top, 150, 100, 40, 40, WS_VISIBLE | WS_DISABLED);
    WinHandle over = Child(top, 90, 90, 40, 40);  // later sibling lies on top of a
    (void)hidden, (void)disabled;
    struct Case {
        int x, y;
        WinHandle target;
        int clientX, clientY;
    } cases[] = {
        {5, 5, top, 5, 5},         {15, 15, a, 5, 5},    {25, 30, b, 5, 10},  {160, 10, top, 160, 10},
        {160, 110, top, 160, 110}, {95, 95, over, 5, 5}, {85, 85, a, 75, 75},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Win_WindowFromPoint(top, c.x, c.y), c.target) << c.x << "," << c.y;
        Log().clear();
        Win_InputMouse(top, WM_MOUSEMOVE, c.x, c.y, 0);
        ASSERT_EQ(CountOf(c.target, WM_MOUSEMOVE), 1) << c.x << "," << c.y;
        const Received& move = Log().back();
        EXPECT_EQ(WinPointX(move.lParam), c.clientX);
        EXPECT_EQ(WinPointY(move.lParam), c.clientY);
    }
    EXPECT_EQ(Win_WindowFromPoint(top, 300, 5), 0u);
    Win_EnableWindow(top, false);
    EXPECT_EQ(Win_WindowFromPoint(top, 5, 5), 0u) << "a disabled top-level window takes no input";
}

TEST_F(Input, CaptureTakesTheMouseAnywhere) {
    WinHandle top = Top(200, 200);
    WinHandle a = Child(top, 50, 50, 20, 20);
    WinHandle b = Child(top, 0, 0, 20, 20);
    EXPECT_EQ(Win_SetCapture(a), 0u);
    Log().clear();
    Win_InputMouse(top, WM_LBUTTONUP, 5, 5, 0);
    EXPECT_EQ(CountOf(b, WM_LBUTTONUP), 0);
    ASSERT_EQ(CountOf(a, WM_LBUTTONUP), 1);
    EXPECT_EQ(WinPointX(Log().back().lParam), -45);
    EXPECT_EQ(CountOf(a, WM_SETCURSOR), 0) << "no cursor queries while captured";
    EXPECT_TRUE(Win_ReleaseCapture());
    EXPECT_FALSE(Win_ReleaseCapture());
    EXPECT_EQ(Win_GetCapture(), 0u);
}

TEST_F(Input, ButtonDownFocusesAndDoubleClicksNeedTheClassStyle) {
    WinClass dbl;
    dbl.name = "Dbl";
    dbl.style = CS_DBLCLKS;
    dbl.procedure = RecorderProc;
    ASSERT_TRUE(Win_RegisterClass(dbl));
    WinHandle top = Top(200, 200);
    WinHandle plain = Child(top, 0, 0, 50, 50);
    WinHandle wants = Win_CreateWindow("Dbl", "", WS_CHILD | WS_VISIBLE, 100, 0, 50, 50, top, 0, nullptr);

    Win_InputMouse(top, WM_LBUTTONDOWN, 10, 10, MK_LBUTTON);
    EXPECT_EQ(Win_GetFocus(), plain);
    Win_InputMouse(top, WM_LBUTTONDOWN, 11, 10, MK_LBUTTON);
    EXPECT_EQ(CountOf(plain, WM_LBUTTONDOWN), 2);
    EXPECT_EQ(CountOf(plain, WM_LBUTTONDBLCLK), 0);

    Win_InputMouse(top, WM_LBUTTONDOWN, 110, 10, MK_LBUTTON);
    Win_InputMouse(top, WM_LBUTTONDOWN, 111, 11, MK_LBUTTON);
    EXPECT_EQ(CountOf(wants, WM_LBUTTONDOWN), 1);
    EXPECT_EQ(CountOf(wants, WM_LBUTTONDBLCLK), 1);
    Win_InputMouse(top, WM_LBUTTONDOWN, 111, 11, MK_LBUTTON);
    EXPECT_EQ(CountOf(wants, WM_LBUTTONDOWN), 2) << "a third click starts over";
    Win_AdvanceTime(600);
    Win_InputMouse(top, WM_LBUTTONDOWN, 111, 11, MK_LBUTTON);
    EXPECT_EQ(CountOf(wants, WM_LBUTTONDBLCLK), 1) << "too late for a double click";
    EXPECT_EQ(Win_GetFocus(), wants);
}

intptr_t CursorSetter(WinHandle w, uint32_t m, uintptr_t wp, intptr_t lp) {
    Log().push_back(Received{w, m, wp, lp});
    return m == WM_SETCURSOR ? 1 : Win_DefWindowProc(w, m, wp, lp);
}

TEST_F(Input, SetCursorClimbsUntilAWindowAnswers) {
    WinClass setter;
    setter.name = "Setter";
    setter.procedure = CursorSetter;
    ASSERT_TRUE(Win_RegisterClass(setter));
    WinHandle top = Top(200, 200);
    WinHandle middle = Win_CreateWindow("Setter", "", WS_CHILD | WS_VISIBLE, 0, 0, 100, 100, top, 0, nullptr);
    WinHandle leaf = Child(middle, 0, 0, 50, 50);
    Log().clear();
    Win_InputMouse(top, WM_MOUSEMOVE, 10, 10, 0);
    EXPECT_EQ(CountOf(leaf, WM_SETCURSOR), 1);
    EXPECT_EQ(CountOf(middle, WM_SETCURSOR), 1);
    EXPECT_EQ(CountOf(top, WM_SETCURSOR), 0);
    for (const Received& r : Log()) {
        if (r.message == WM_SETCURSOR) {
            EXPECT_EQ(r.wParam, leaf) << "the window under the pointer";
        }
    }
}

TEST_F(Input, KeysGoToTheFocusWithCharacters) {
    WinHandle top = Top();
    Win_InputKey('A');
    EXPECT_TRUE(Log().size() == 3u) << "no focus, no key";
    Win_SetFocus(top);
    Log().clear();
    struct Case {
        int key;
        uintptr_t character;  // 0: none
    } cases[] = {{'A', 'a'}, {'7', '7'}, {VK_RETURN, 13}, {VK_LEFT, 0}, {VK_DELETE, 0}};
    for (const Case& c : cases) {
        Log().clear();
        Win_InputKey(c.key);
        ASSERT_GE(Log().size(), 1u);
        EXPECT_EQ(Log()[0].message, static_cast<uint32_t>(WM_KEYDOWN));
        EXPECT_EQ(Log()[0].wParam, static_cast<uintptr_t>(c.key));
        ASSERT_EQ(Log().size(), c.character != 0 ? 2u : 1u) << c.key;
        if (c.character != 0) {
            EXPECT_EQ(Log()[1].wParam, c.character);
        }
    }
    Log().clear();
    Win_InputText("a\xC3\xA9");
    ASSERT_EQ(Log().size(), 2u);
    EXPECT_EQ(Log()[1].wParam, 0xE9u);
}

TEST_F(Input, WindowScrollBarsTakeClientRoomAndScroll) {
    WinHandle w = Top(200, 100);
    Log().clear();
    ASSERT_TRUE(Win_SetScrollRange(w, SB_VERT, 0, 50, true));
    EXPECT_TRUE(Win_IsScrollBarShown(w, SB_VERT));
    ASSERT_EQ(CountOf(w, WM_SIZE), 1);
    WinRect client;
    Win_GetClientRect(w, &client);
    EXPECT_EQ(client.right, 200 - Win_GetSystemMetric(SM_CXVSCROLL));
    EXPECT_EQ(client.bottom, 100);
    // The layer draws the bar in the non-client area; the client area stays the window's.
    Win_PumpMessages();
    WinBitmap* shot = Win_CaptureWindow(w);
    ASSERT_NE(shot, nullptr);
    EXPECT_NE(Win_BitmapPixel(shot, 192, 50), 0xFFFFFFu) << "the bar's track";
    EXPECT_EQ(Win_BitmapPixel(shot, 150, 50), 0xFFFFFFu) << "the client area";
    Win_DeleteBitmap(shot);
    EXPECT_FALSE(Win_SetScrollRange(w, SB_VERT, 10, 5, true));
    EXPECT_FALSE(Win_SetScrollRange(w, SB_CTL, 0, 5, true)) << "not a scroll control";

    struct PosCase {
        int set, expectPrevious, expectNow;
    } positions[] = {{20, 0, 20}, {80, 20, 50}, {-5, 50, 0}};
    for (const PosCase& c : positions) {
        EXPECT_EQ(Win_SetScrollPos(w, SB_VERT, c.set, true), c.expectPrevious);
        EXPECT_EQ(Win_GetScrollPos(w, SB_VERT), c.expectNow);
    }

    // Clicks on the bar: arrows and the track beside the thumb (at the top now).
    struct ClickCase {
        int y;
        int request;
    } clicks[] = {{5, SB_LINEUP}, {95, SB_LINEDOWN}, {60, SB_PAGEDOWN}};
    for (const ClickCase& c : clicks) {
        Log().clear();
        Win_InputMouse(w, WM_LBUTTONDOWN, 192, c.y, MK_LBUTTON);
        Win_AdvanceTime(1000);
        ASSERT_EQ(CountOf(w, WM_VSCROLL), 2) << c.y;
        EXPECT_EQ(CountOf(w, WM_LBUTTONDOWN), 0) << "the non-client area keeps the click";
        std::vector<int> requests;
        for (const Received& r : Log()) {
            if (r.message == WM_VSCROLL) requests.push_back(WinLowWord(r.wParam));
        }
        EXPECT_EQ(requests, (std::vector<int>{c.request, SB_ENDSCROLL})) << c.y;
    }

    ASSERT_TRUE(Win_SetScrollRange(w, SB_VERT, 0, 0, true));
    EXPECT_FALSE(Win_IsScrollBarShown(w, SB_VERT)) << "an empty range hides the bar";
    ASSERT_TRUE(Win_ShowScrollBar(w, SB_BOTH, true));
    Win_GetClientRect(w, &client);
    EXPECT_EQ(client.right, 184);
    EXPECT_EQ(client.bottom, 84);
}

TEST_F(Input, ThumbDragTracksThenSetsThePosition) {
    WinHandle w = Top(100, 216);
    Win_SetScrollRange(w, SB_VERT, 0, 100, true);
    Log().clear();
    // Track from 16 to 200, thumb 16 high at the top.
    Win_InputMouse(w, WM_LBUTTONDOWN, 92, 20, MK_LBUTTON);
    EXPECT_EQ(Win_GetCapture(), w);
    Win_InputMouse(w, WM_MOUSEMOVE, 92, 108, MK_LBUTTON);
    Win_InputMouse(w, WM_LBUTTONUP, 92, 300, 0);
    std::vector<std::pair<int, int>> seen;
    for (const Received& r : Log()) {
        if (r.message == WM_VSCROLL) seen.emplace_back(WinLowWord(r.wParam), WinHighWord(r.wParam));
    }
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], std::make_pair(static_cast<int>(SB_THUMBTRACK), 50));
    EXPECT_EQ(seen[1], std::make_pair(static_cast<int>(SB_THUMBPOSITION), 100));
    EXPECT_EQ(seen[2].first, SB_ENDSCROLL);
    EXPECT_EQ(Win_GetCapture(), 0u);
}

}  // namespace
