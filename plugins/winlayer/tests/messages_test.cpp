// Messages: posting from threads, pumping, painting, drawing contexts, timers on
// virtual time, the run loop and the event log.
#include <thread>

#include "desktop_fixture.h"

namespace {

using Messages = DesktopTest;

TEST_F(Messages, PostFromManyThreadsArrivesOnce) {
    WinHandle w = Top();
    Win_PumpMessages();
    Log().clear();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([w, t] {
            for (int i = 0; i < 100; ++i) Win_PostMessage(w, WM_USER, static_cast<uintptr_t>(t), i);
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(CountOf(w, WM_USER), 0) << "nothing before the pump";
    EXPECT_EQ(Win_PumpMessages(), 400);
    EXPECT_EQ(CountOf(w, WM_USER), 400);
    EXPECT_FALSE(Win_PostMessage(999, WM_USER, 0, 0));
    Win_PostMessage(w, WM_USER, 0, 0);
    Win_DestroyWindow(w);
    EXPECT_EQ(Win_PumpMessages(), 1) << "a message for a destroyed window is dropped";
}

WinRect g_paintArea;
bool g_paintErase = true;
intptr_t PaintRecorder(WinHandle w, uint32_t m, uintptr_t wp, intptr_t lp) {
    Log().push_back(Received{w, m, wp, lp});
    if (m == WM_PAINT) {
        WinPaint paint;
        Win_BeginPaint(w, &paint);
        g_paintArea = paint.area;
        g_paintErase = paint.erase;
        Win_EndPaint(w, &paint);
        return 0;
    }
    return Win_DefWindowProc(w, m, wp, lp);
}

TEST_F(Messages, PaintErasesWithTheClassBackgroundAndValidates) {
    WinClass red;
    red.name = "Red";
    red.procedure = PaintRecorder;
    red.background = WinRgb(255, 0, 0);
    ASSERT_TRUE(Win_RegisterClass(red));
    WinHandle w = Win_CreateWindow("Red", "", WS_POPUP | WS_VISIBLE, 0, 0, 40, 30, 0, 0, nullptr);
    Win_PumpMessages();
    EXPECT_EQ(MessagesOf(w),
              (std::vector<uint32_t>{WM_CREATE, WM_SIZE, WM_SHOWWINDOW, WM_PAINT, WM_ERASEBKGND}));
    EXPECT_FALSE(g_paintErase) << "the background was erased";
    EXPECT_EQ(g_paintArea.right, 40);
    EXPECT_FALSE(Win_GetUpdateRect(w, nullptr));
    WinBitmap* shot = Win_CaptureWindow(w);
    ASSERT_NE(shot, nullptr);
    EXPECT_EQ(Win_BitmapPixel(shot, 5, 5), 0xFF0000u);
    Win_DeleteBitmap(shot);

    // Two invalid areas paint once, as their union, without erasing.
    Log().clear();
    WinRect a{1, 1, 5, 5}, b{10, 2, 20, 8};
    Win_InvalidateRect(w, &a, false);
    Win_InvalidateRect(w, &b, false);
    WinRect update;
    EXPECT_TRUE(Win_GetUpdateRect(w, &update));
    Win_PumpMessages();
    EXPECT_EQ(MessagesOf(w), (std::vector<uint32_t>{WM_PAINT}));
    EXPECT_EQ(g_paintArea.left, 1);
    EXPECT_EQ(g_paintArea.right, 20);
    EXPECT_EQ(g_paintArea.bottom, 8);
}

TEST_F(Messages, ParentPaintsBeforeItsChildrenAndRepaintsThem) {
    WinHandle top = Top();
    WinHandle child = Child(top, 10, 10, 20, 20);
    WinHandle away = Child(top, 100, 100, 20, 20);
    Win_PumpMessages();
    Log().clear();
    WinRect corner{0, 0, 15, 15};
    Win_InvalidateRect(top, &corner, true);
    Win_PumpMessages();
    std::vector<WinHandle> painted;
    for (const Received& r : Log()) {
        if (r.message == WM_PAINT) painted.push_back(r.window);
    }
    EXPECT_EQ(painted, (std::vector<WinHandle>{top, child})) << "the far child is not repainted";
    (void)away;
    EXPECT_TRUE(EventContains("\"name\":\"WM_PAINT\""));
}

TEST_F(Messages, UpdateWindowPaintsNowOnlyWhenInvalid) {
    WinHandle w = Top();
    Win_PumpMessages();
    Log().clear();
    Win_UpdateWindow(w);
    EXPECT_EQ(CountOf(w, WM_PAINT), 0);
    Win_InvalidateRect(w, nullptr, false);
    Win_UpdateWindow(w);
    EXPECT_EQ(CountOf(w, WM_PAINT), 1);
}

TEST_F(Messages, OwnDcIsKeptOthersAreFresh) {
    WinClass own;
    own.name = "Own";
    own.style = CS_OWNDC;
    own.procedure = RecorderProc;
    ASSERT_TRUE(Win_RegisterClass(own));
    WinHandle top = Top();
    WinHandle owning = Win_CreateWindow("Own", "", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, top, 0, nullptr);
    WinDC* first = Win_GetDC(owning);
    Win_ReleaseDC(owning, first);
    WinDC* second = Win_GetDC(owning);
    Win_ReleaseDC(owning, second);
    EXPECT_EQ(first, second);
    WinPaint paint;
    Win_InvalidateRect(owning, nullptr, false);
    EXPECT_EQ(Win_BeginPaint(owning, &paint), first);
    Win_EndPaint(owning, &paint);

    WinDC* plain = Win_GetDC(top);
    ASSERT_NE(plain, nullptr);
    EXPECT_NE(plain, first);
    Win_ReleaseDC(top, plain);
}

TEST_F(Messages, TimersFireInVirtualTimeOrder) {
    WinHandle w = Top();
    Win_PumpMessages();
    ASSERT_TRUE(Win_SetTimer(w, 1, 100));
    ASSERT_TRUE(Win_SetTimer(w, 2, 250));
    EXPECT_FALSE(Win_SetTimer(999, 1, 10));
    Log().clear();
    Win_PumpMessages();
    EXPECT_EQ(CountOf(w, WM_TIMER), 0) << "time stands still without Win_AdvanceTime";
    Win_AdvanceTime(500);
    std::vector<uintptr_t> ids;
    for (const Received& r : Log()) {
        if (r.message == WM_TIMER) ids.push_back(r.wParam);
    }
    EXPECT_EQ(ids, (std::vector<uintptr_t>{1, 1, 2, 1, 1, 1, 2}));
    EXPECT_EQ(Win_TickCount(), 500u);

    EXPECT_TRUE(Win_KillTimer(w, 1));
    EXPECT_FALSE(Win_KillTimer(w, 1));
    Win_DestroyWindow(w);
    Win_AdvanceTime(1000);
    EXPECT_EQ(Win_TickCount(), 1500u);
    EXPECT_EQ(CountOf(w, WM_TIMER), 7) << "no timer outlives its window";
}

intptr_t Quitter(WinHandle w, uint32_t m, uintptr_t wp, intptr_t lp) {
    if (m == WM_USER) Win_Quit(static_cast<int>(wp));
    return Win_DefWindowProc(w, m, wp, lp);
}

TEST_F(Messages, RunLoopEndsOnQuitOrWhenIdle) {
    WinClass quitting;
    quitting.name = "Quitting";
    quitting.procedure = Quitter;
    ASSERT_TRUE(Win_RegisterClass(quitting));
    WinHandle w = Win_CreateWindow("Quitting", "", WS_POPUP, 0, 0, 10, 10, 0, 0, nullptr);
    Win_PostMessage(w, WM_USER, 7, 0);
    EXPECT_EQ(Win_RunLoop(), 7);
    EXPECT_EQ(Win_RunLoop(), 0) << "headless and idle";
}

TEST_F(Messages, EventLogSkipsMouseMovesAndEscapesJson) {
    WinHandle w = Top();
    events.clear();
    Win_SendMessage(w, WM_MOUSEMOVE, 0, 0);
    EXPECT_TRUE(events.empty());
    Win_SendMessage(w, WM_USER, 5, 6);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], "{\"source\":\"message\",\"window\":" + std::to_string(w) +
                             ",\"class\":\"Recorder\",\"message\":1024,\"wParam\":5,\"lParam\":6}");
    Win_LogEvent("engine", "\"name\":\"VSDocStart\"");
    EXPECT_EQ(events.back(), "{\"source\":\"engine\",\"name\":\"VSDocStart\"}");

    struct Case {
        std::string in, out;
    } cases[] = {
        {"plain", "\"plain\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"line\nnext\ttab", "\"line\\nnext\\ttab\""},
        {std::string("\x01", 1), "\"\\u0001\""},
        {"\xC3\xA9", "\"\xC3\xA9\""},
        {"bad\xFF", "\"bad\xEF\xBF\xBD\""},
        {"cut\xE2\x82", "\"cut\xEF\xBF\xBD\xEF\xBF\xBD\""},
    };
    for (const Case& c : cases) EXPECT_EQ(Win_JsonString(c.in), c.out) << c.in;
}

}  // namespace

namespace {

TEST_F(Messages, ResizedTopLevelWindowGetsANewSurface) {
    WinHandle w = Top(30, 20);
    Win_PumpMessages();
    ASSERT_TRUE(Win_MoveWindow(w, 0, 0, 50, 40, false));
    Win_PumpMessages();
    WinBitmap* shot = Win_CaptureWindow(w);
    ASSERT_NE(shot, nullptr);
    EXPECT_EQ(Win_BitmapWidth(shot), 50);
    EXPECT_EQ(Win_BitmapHeight(shot), 40);
    Win_DeleteBitmap(shot);
    EXPECT_EQ(Win_CaptureWindow(999), nullptr);
}

intptr_t PostOnTimer(WinHandle w, uint32_t m, uintptr_t wp, intptr_t lp) {
    Log().push_back(Received{w, m, wp, lp});
    if (m == WM_TIMER) Win_PostMessage(w, WM_USER, wp, 0);
    return Win_DefWindowProc(w, m, wp, lp);
}

TEST_F(Messages, WhatATimerPostsIsHandledBeforeItsNextTurn) {
    WinClass poster;
    poster.name = "Poster";
    poster.procedure = PostOnTimer;
    ASSERT_TRUE(Win_RegisterClass(poster));
    WinHandle w = Win_CreateWindow("Poster", "", WS_POPUP, 0, 0, 10, 10, 0, 0, nullptr);
    Win_SetTimer(w, 3, 10);
    Log().clear();
    Win_AdvanceTime(30);
    EXPECT_EQ(MessagesOf(w),
              (std::vector<uint32_t>{WM_TIMER, WM_USER, WM_TIMER, WM_USER, WM_TIMER, WM_USER}));
}

}  // namespace
