// Popup menus as the user works them: mouse and keys through the layer's input
// functions while the menu is open (a hook that acts and leaves the answer to the menu).
#include "desktop_fixture.h"
#include "desktop_state.h"

namespace {

using PopupMenu = DesktopTest;

// Positions in the menu below.
enum : int { kNext = 0, kSeparator = 1, kGreyed = 2, kChecked = 3, kMode = 4 };

WinMenu BuildMenu() {
    WinMenu sub = Win_CreatePopupMenu();
    Win_AppendMenu(sub, MF_STRING, 20, "Bitmap Selection");
    Win_AppendMenu(sub, MF_STRING, 21, "Text Selection");
    WinMenu menu = Win_CreatePopupMenu();
    Win_AppendMenu(menu, MF_STRING, 10, "Next Page");
    Win_AppendMenu(menu, MF_SEPARATOR, 0, "");
    Win_AppendMenu(menu, MF_GRAYED, 11, "Greyed");
    Win_AppendMenu(menu, MF_CHECKED, 12, "Checked");
    Win_AppendMenu(menu, MF_POPUP, sub, "Selection Mode");
    return menu;
}

struct Step {
    enum Kind { Move, Click, RightDown, Key, ClickOwner } kind;
    int level = 0;     // which open menu (0 the top one)
    int position = 0;  // item, or the virtual key
};

// Mouse at the centre of an item of an open menu, in that menu window's coordinates.
void MouseOnItem(int level, int position, uint32_t message) {
    std::vector<WinHandle> windows = PopupMenuWindows();
    ASSERT_LT(static_cast<size_t>(level), windows.size()) << "menu level " << level << " is not open";
    WinRect row;
    ASSERT_TRUE(PopupMenuItemRect(windows[static_cast<size_t>(level)], position, &row));
    Win_InputMouse(windows[static_cast<size_t>(level)], message, (row.left + row.right) / 2,
                   (row.top + row.bottom) / 2, 0);
}

void RunStep(const Step& step, WinHandle owner) {
    switch (step.kind) {
        case Step::Move: MouseOnItem(step.level, step.position, WM_MOUSEMOVE); break;
        case Step::Click:
            MouseOnItem(step.level, step.position, WM_MOUSEMOVE);
            MouseOnItem(step.level, step.position, WM_LBUTTONDOWN);
            MouseOnItem(step.level, step.position, WM_LBUTTONUP);
            break;
        case Step::RightDown: Win_InputMouse(owner, WM_RBUTTONDOWN, 190, 140, MK_RBUTTON); break;
        case Step::Key: Win_InputKey(step.position); break;
        case Step::ClickOwner: Win_InputMouse(owner, WM_LBUTTONDOWN, 190, 140, MK_LBUTTON); break;
    }
}

TEST_F(PopupMenu, MouseAndKeysChooseEnabledCommands) {
    using S = Step;
    struct Case {
        const char* what;
        std::vector<Step> steps;
        uint32_t chosen;
        size_t levelsOpenAtEnd;  // of the steps, before the menu closes
    } cases[] = {
        {"click a command", {{S::Click, 0, kNext}}, 10, 0},
        {"click a checked command", {{S::Click, 0, kChecked}}, 12, 0},
        {"click a greyed command", {{S::Click, 0, kGreyed}}, 0, 1},
        {"click a separator", {{S::Click, 0, kSeparator}}, 0, 1},
        {"hover opens the submenu", {{S::Move, 0, kMode}}, 0, 2},
        {"submenu command by mouse", {{S::Move, 0, kMode}, {S::Click, 1, 1}}, 21, 0},
        {"moving back closes the submenu", {{S::Move, 0, kMode}, {S::Move, 0, kNext}}, 0, 1},
        {"click outside", {{S::ClickOwner}}, 0, 0},
        {"right button outside", {{S::RightDown}}, 0, 0},
        {"Down Enter", {{S::Key, 0, VK_DOWN}, {S::Key, 0, VK_RETURN}}, 10, 0},
        {"Down skips the separator",
         {{S::Key, 0, VK_DOWN}, {S::Key, 0, VK_DOWN}, {S::Key, 0, VK_DOWN}, {S::Key, 0, VK_RETURN}},
         12,
         0},
        {"Enter on a greyed item",
         {{S::Key, 0, VK_DOWN}, {S::Key, 0, VK_DOWN}, {S::Key, 0, VK_RETURN}},
         0,
         1},
        {"Up wraps to the submenu, Enter opens it, Enter chooses",
         {{S::Key, 0, VK_UP}, {S::Key, 0, VK_RETURN}, {S::Key, 0, VK_RETURN}},
         20,
         0},
        {"Right opens, Down, Enter",
         {{S::Key, 0, VK_UP}, {S::Key, 0, VK_RIGHT}, {S::Key, 0, VK_DOWN}, {S::Key, 0, VK_RETURN}},
         21,
         0},
        {"Escape in the submenu closes only it",
         {{S::Key, 0, VK_UP}, {S::Key, 0, VK_RIGHT}, {S::Key, 0, VK_ESCAPE}},
         0,
         1},
        {"Left closes the submenu, Up Enter chooses in the menu",
         {{S::Key, 0, VK_UP},
          {S::Key, 0, VK_RIGHT},
          {S::Key, 0, VK_LEFT},
          {S::Key, 0, VK_UP},
          {S::Key, 0, VK_RETURN}},
         12,
         0},
        {"Escape closes the menu", {{S::Key, 0, VK_ESCAPE}}, 0, 0},
    };
    WinHandle owner = Top();
    WinMenu menu = BuildMenu();
    for (const Case& c : cases) {
        size_t openAtEnd = 99;
        WinHooks hooks;
        hooks.popupMenu = [&](WinMenu shown, uint32_t*) {
            EXPECT_EQ(shown, menu);
            EXPECT_EQ(PopupMenuWindows().size(), 1u) << c.what;
            EXPECT_EQ(Win_GetCapture(), PopupMenuWindows().front()) << c.what;
            for (const Step& step : c.steps) RunStep(step, owner);
            openAtEnd = PopupMenuWindows().size();
            return false;  // the menu answers
        };
        Win_SetHooks(hooks);
        Log().clear();
        EXPECT_EQ(Win_TrackPopupMenu(menu, 0, 20, 20, owner), c.chosen) << c.what;
        EXPECT_EQ(openAtEnd, c.levelsOpenAtEnd) << c.what;
        EXPECT_EQ(CountOf(owner, WM_COMMAND), c.chosen != 0 ? 1 : 0) << c.what;
        EXPECT_TRUE(PopupMenuWindows().empty()) << c.what;
        EXPECT_EQ(Win_GetCapture(), 0u) << c.what;
    }
}

TEST_F(PopupMenu, HeadlessWithoutHookShowsNothing) {
    WinHandle owner = Top();
    WinMenu menu = BuildMenu();
    EXPECT_EQ(Win_TrackPopupMenu(menu, 0, 20, 20, owner), 0u);
    EXPECT_TRUE(EventContains("\"shown\":false"));
    EXPECT_FALSE(EventContains("\"class\":\"#Menu\""));
    EXPECT_EQ(CountOf(owner, WM_COMMAND), 0);
}

TEST_F(PopupMenu, TextGoesNowhereWhileOpen) {
    WinHandle owner = Top();
    WinHandle edit = Win_CreateWindow("EDIT", "", WS_CHILD | WS_VISIBLE, 5, 5, 80, 20, owner, 3, nullptr);
    Win_SetFocus(edit);
    WinMenu menu = BuildMenu();
    WinHooks hooks;
    hooks.popupMenu = [&](WinMenu, uint32_t*) {
        Win_InputText("abc");
        return false;
    };
    Win_SetHooks(hooks);
    EXPECT_EQ(Win_TrackPopupMenu(menu, 0, 20, 20, owner), 0u);
    EXPECT_EQ(Win_GetWindowText(edit), "");
    EXPECT_EQ(Win_GetFocus(), edit) << "the focus stays where it was";
}

TEST_F(PopupMenu, PlacedOnTheScreenAndSubmenuBesideIt) {
    WinHandle owner = Top();
    WinMenu menu = BuildMenu();
    struct Case {
        int x, y;
    } cases[] = {{20, 30}, {kScreenWidth - 5, 40}, {40, kScreenHeight - 5}};
    for (const Case& c : cases) {
        WinRect top, sub;
        size_t popups = 0;
        WinHooks hooks;
        hooks.popupMenu = [&](WinMenu, uint32_t*) {
            Win_GetWindowRect(PopupMenuWindows().front(), &top);
            Win_InputKey(VK_UP);
            Win_InputKey(VK_RIGHT);
            popups = PopupMenuWindows().size();
            if (popups == 2) Win_GetWindowRect(PopupMenuWindows()[1], &sub);
            return false;
        };
        Win_SetHooks(hooks);
        Win_TrackPopupMenu(menu, 0, c.x, c.y, owner);
        ASSERT_EQ(popups, 2u) << c.x << "," << c.y << ": the submenu opened beside the menu";
        EXPECT_GT(top.right, top.left);
        EXPECT_GT(sub.right, sub.left);
        EXPECT_LE(top.right, kScreenWidth) << c.x;
        EXPECT_LE(top.bottom, kScreenHeight) << c.y;
        EXPECT_GE(top.left, 0);
        if (c.x < kScreenWidth / 2) {
            EXPECT_EQ(top.left, c.x);
            EXPECT_GE(sub.left, top.right - 4) << "submenu to the right";
        } else {
            EXPECT_LE(sub.right, top.left + 4) << "submenu to the left when the right has no room";
        }
        if (c.y < kScreenHeight / 2) {
            EXPECT_EQ(top.top, c.y);
        }
    }
}

// The drawn menu: the hot row in the selection colour, greyed text grey, a check
// mark, a submenu arrow.
TEST_F(PopupMenu, DrawnItems) {
    WinHandle owner = Top();
    WinMenu menu = BuildMenu();
    WinBitmap* shot = nullptr;
    WinRect rows[5];
    WinHooks hooks;
    hooks.popupMenu = [&](WinMenu, uint32_t*) {
        WinHandle window = PopupMenuWindows().front();
        for (int i = 0; i < 5; ++i) PopupMenuItemRect(window, i, &rows[i]);
        Win_InputKey(VK_DOWN);  // "Next Page" hot
        Win_PumpMessages();
        shot = Win_CaptureWindow(window);
        return false;
    };
    Win_SetHooks(hooks);
    Win_TrackPopupMenu(menu, 0, 20, 20, owner);
    ASSERT_NE(shot, nullptr);
    auto count = [&](const WinRect& r, auto test) {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) n += test(Win_BitmapPixel(shot, x, y));
        return n;
    };
    auto isSelection = [](uint32_t p) { return p == 0x005499; };
    auto isDark = [](uint32_t p) {
        return ((p >> 16) & 0xFF) < 60 && ((p >> 8) & 0xFF) < 60 && (p & 0xFF) < 60;
    };
    auto isGreyText = [](uint32_t p) {
        int r = (p >> 16) & 0xFF;
        return r > 80 && r < 200 && r == static_cast<int>((p >> 8) & 0xFF);
    };
    const WinRect& hot = rows[kNext];
    EXPECT_GT(count(hot, isSelection), hot.Width() * hot.Height() / 2) << "hot row highlighted";
    EXPECT_EQ(count(rows[kGreyed], isSelection), 0);
    EXPECT_EQ(count(rows[kGreyed], isDark), 0) << "greyed text is not black";
    EXPECT_GT(count(rows[kGreyed], isGreyText), 10);
    WinRect checkArea{rows[kChecked].left, rows[kChecked].top, rows[kChecked].left + 20,
                      rows[kChecked].bottom};
    WinRect plainCheckArea{rows[kGreyed].left, rows[kGreyed].top, rows[kGreyed].left + 20,
                           rows[kGreyed].bottom};
    EXPECT_GT(count(checkArea, isDark), 5) << "check mark";
    EXPECT_EQ(count(plainCheckArea, isDark), 0);
    WinRect arrowArea{rows[kMode].right - 16, rows[kMode].top, rows[kMode].right, rows[kMode].bottom};
    WinRect noArrowArea{rows[kChecked].right - 16, rows[kChecked].top, rows[kChecked].right,
                        rows[kChecked].bottom};
    EXPECT_GT(count(arrowArea, isDark), 5) << "submenu arrow";
    EXPECT_EQ(count(noArrowArea, isDark), 0);
    WinRect separator = rows[kSeparator];
    EXPECT_GT(count(separator, [](uint32_t p) { return p == 0x646464; }), separator.Width() / 2);
    Win_DeleteBitmap(shot);
}

// A combo box drops its list down as a popup menu; a click on an item chooses it.
TEST_F(PopupMenu, ComboBoxDropDownChooses) {
    WinHandle owner = Top();
    WinHandle combo =
        Win_CreateWindow("COMBOBOX", "", WS_CHILD | WS_VISIBLE, 10, 10, 120, 20, owner, 5, nullptr);
    Win_ListAddString(combo, "alpha");
    Win_ListAddString(combo, "beta");
    WinHooks hooks;
    hooks.popupMenu = [&](WinMenu, uint32_t*) {
        RunStep(Step{Step::Click, 0, 1}, owner);
        return false;
    };
    Win_SetHooks(hooks);
    Win_InputMouse(owner, WM_LBUTTONDOWN, 10 + 120 - 4, 20, MK_LBUTTON);
    EXPECT_EQ(Win_ListSelection(combo), 1);
    EXPECT_EQ(Win_GetWindowText(combo), "beta");
}

}  // namespace
