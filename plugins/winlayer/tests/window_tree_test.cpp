// Window tree: creation and destruction order, failures, window words, subclassing,
// properties, geometry, visibility and enable state.
#include "desktop_fixture.h"

namespace {

using WindowTree = DesktopTest;

TEST_F(WindowTree, CreateSendsCreateSizeShowAndDestroyGoesChildrenFirst) {
    WinHandle top = Top(120, 80);
    WinHandle child = Child(top, 5, 5, 50, 40);
    WinHandle grandchild = Child(child, 1, 1, 10, 10);
    EXPECT_EQ(MessagesOf(top), (std::vector<uint32_t>{WM_CREATE, WM_SIZE, WM_SHOWWINDOW}));
    ASSERT_FALSE(Log().empty());
    const Received& size = Log()[1];
    EXPECT_EQ(WinLowWord(size.lParam), 120);
    EXPECT_EQ(WinHighWord(size.lParam), 80);

    Log().clear();
    ASSERT_TRUE(Win_DestroyWindow(top));
    std::vector<WinHandle> destroyed;
    for (const Received& r : Log()) {
        if (r.message == WM_DESTROY) destroyed.push_back(r.window);
    }
    EXPECT_EQ(destroyed, (std::vector<WinHandle>{grandchild, child, top}));
    for (WinHandle w : {top, child, grandchild}) EXPECT_FALSE(Win_IsWindow(w));
    EXPECT_FALSE(Win_DestroyWindow(top));
}

TEST_F(WindowTree, HiddenWindowIsSizedWhenFirstShown) {
    WinHandle top = Top(100, 100, 0);
    EXPECT_EQ(MessagesOf(top), (std::vector<uint32_t>{WM_CREATE}));
    EXPECT_FALSE(Win_ShowWindow(top, SW_SHOW));
    EXPECT_TRUE(Win_ShowWindow(top, SW_SHOW));
    EXPECT_EQ(MessagesOf(top), (std::vector<uint32_t>{WM_CREATE, WM_SIZE, WM_SHOWWINDOW}));
}

intptr_t RefuseCreate(WinHandle w, uint32_t m, uintptr_t wp, intptr_t lp) {
    Log().push_back(Received{w, m, wp, lp});
    return m == WM_CREATE ? -1 : 0;
}

TEST_F(WindowTree, CreateFailures) {
    WinClass refusing;
    refusing.name = "Refusing";
    refusing.procedure = RefuseCreate;
    ASSERT_TRUE(Win_RegisterClass(refusing));
    EXPECT_FALSE(Win_RegisterClass(refusing)) << "a taken name";
    EXPECT_FALSE(Win_RegisterClass(WinClass{"NoProc", 0, 0, nullptr, 0}));
    struct Case {
        const char* className;
        WinHandle parent;
    } cases[] = {{"NoSuchClass", 0}, {"Recorder", 999}, {"Refusing", 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(Win_CreateWindow(c.className, "", WS_VISIBLE, 0, 0, 10, 10, c.parent, 0, nullptr), 0u)
            << c.className;
    }
    // The refusing window was torn down again and saw no WM_SIZE.
    for (const Received& r : Log()) EXPECT_NE(r.message, static_cast<uint32_t>(WM_SIZE));
}

TEST_F(WindowTree, WindowWordsStayInsideTheClassExtraBytes) {
    WinHandle w = Top();
    struct Case {
        int index;
        bool valid;
    } cases[] = {{0, true}, {4, true}, {8, false}, {-4, false}, {2, false}};
    for (const Case& c : cases) {
        EXPECT_EQ(Win_SetWindowWord(w, c.index, 42), 0) << c.index;
        EXPECT_EQ(Win_GetWindowWord(w, c.index), c.valid ? 42 : 0) << c.index;
        EXPECT_EQ(Win_SetWindowWord(w, c.index, 7), c.valid ? 42 : 0) << c.index;
    }
}

WinProc g_previous = nullptr;
int g_subclassed = 0;
intptr_t Subclass(WinHandle w, uint32_t m, uintptr_t wp, intptr_t lp) {
    if (m == WM_USER) return ++g_subclassed * 100;
    return Win_CallWindowProc(g_previous, w, m, wp, lp);
}

TEST_F(WindowTree, SubclassingChainsToThePreviousProcedure) {
    WinHandle w = Top();
    g_previous = Win_SetWindowProc(w, Subclass);
    EXPECT_EQ(g_previous, &RecorderProc);
    EXPECT_EQ(Win_GetWindowProc(w), &Subclass);
    EXPECT_EQ(Win_SetWindowProc(w, nullptr), nullptr);
    EXPECT_EQ(Win_GetWindowProc(w), &Subclass);
    Log().clear();
    EXPECT_EQ(Win_SendMessage(w, WM_USER, 0, 0), 100);
    Win_SendMessage(w, WM_USER + 1, 3, 4);
    EXPECT_EQ(MessagesOf(w), (std::vector<uint32_t>{WM_USER + 1})) << "the rest goes on to the recorder";
}

TEST_F(WindowTree, Properties) {
    WinHandle w = Top();
    EXPECT_TRUE(Win_SetProp(w, "engine", 11));
    EXPECT_TRUE(Win_SetProp(w, "engine", 12));
    EXPECT_FALSE(Win_SetProp(w, "", 1));
    EXPECT_FALSE(Win_SetProp(999, "x", 1));
    EXPECT_EQ(Win_GetProp(w, "engine"), 12);
    EXPECT_EQ(Win_GetProp(w, "other"), 0);
    EXPECT_EQ(Win_RemoveProp(w, "engine"), 12);
    EXPECT_EQ(Win_RemoveProp(w, "engine"), 0);
    EXPECT_EQ(Win_GetProp(w, "engine"), 0);
}

TEST_F(WindowTree, GeometryAndCoordinates) {
    WinHandle top = Win_CreateWindow("Recorder", "", WS_POPUP | WS_VISIBLE, 100, 50, 300, 200, 0, 0, nullptr);
    WinHandle child = Child(top, 10, 20, 100, 80);
    WinHandle inner = Child(child, 5, 6, 20, 20);
    WinPoint p{1, 2};
    ASSERT_TRUE(Win_ClientToScreen(inner, &p));
    EXPECT_EQ(p.x, 100 + 10 + 5 + 1);
    EXPECT_EQ(p.y, 50 + 20 + 6 + 2);
    ASSERT_TRUE(Win_ScreenToClient(child, &p));
    EXPECT_EQ(p.x, 6);
    EXPECT_EQ(p.y, 8);

    Log().clear();
    ASSERT_TRUE(Win_MoveWindow(child, 15, 20, 120, 80, true));
    EXPECT_EQ(MessagesOf(child), (std::vector<uint32_t>{WM_MOVE, WM_SIZE}));
    Log().clear();
    ASSERT_TRUE(Win_MoveWindow(child, 15, 20, 120, 80, true));
    EXPECT_TRUE(MessagesOf(child).empty()) << "no change, no message";
    WinRect r;
    ASSERT_TRUE(Win_GetWindowRect(child, &r));
    EXPECT_EQ(r.left, 15);
    EXPECT_EQ(r.Width(), 120);
    ASSERT_TRUE(Win_GetClientRect(child, &r));
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.right, 120);
    EXPECT_FALSE(Win_GetClientRect(999, &r));
}

TEST_F(WindowTree, VisibilityFollowsParentsAndEnableStateReportsThePrevious) {
    WinHandle top = Top();
    WinHandle child = Child(top, 0, 0, 10, 10);
    EXPECT_TRUE(Win_IsWindowVisible(child));
    Win_ShowWindow(top, SW_HIDE);
    EXPECT_FALSE(Win_IsWindowVisible(child));
    EXPECT_TRUE(Win_GetStyle(child) & WS_VISIBLE);

    Log().clear();
    EXPECT_FALSE(Win_EnableWindow(child, false)) << "was enabled";
    EXPECT_TRUE(Win_EnableWindow(child, false)) << "was disabled";
    EXPECT_FALSE(Win_IsWindowEnabled(child));
    EXPECT_TRUE(Win_EnableWindow(child, true));
    EXPECT_EQ(MessagesOf(child, {WM_PAINT, WM_ERASEBKGND}), (std::vector<uint32_t>{WM_ENABLE, WM_ENABLE}));
}

TEST_F(WindowTree, TextGoesThroughSetText) {
    WinHandle w = Top();
    Log().clear();
    ASSERT_TRUE(Win_SetWindowText(w, std::string_view("Page 1 of 3xxx", 11)));
    EXPECT_EQ(Win_GetWindowText(w), "Page 1 of 3");
    EXPECT_EQ(MessagesOf(w), (std::vector<uint32_t>{WM_SETTEXT}));
    EXPECT_FALSE(Win_SetWindowText(999, "x"));
}

}  // namespace
