// Dialogs and controls: modal dialogs with and without an answer, keys, edit,
// buttons, lists, track bars, message boxes.
#include <algorithm>

#include "desktop_fixture.h"

namespace {

const WinNamedText kDialogs[] = {
    {"FIND",
     "DIALOG 0 0 200 100\n"
     "STYLE popup|caption\n"
     "CAPTION \"Find\"\n"
     "CONTROL EDIT 100 5 5 100 12 tabstop \"\"\n"
     "CONTROL BUTTON 1 120 5 40 14 defpushbutton|tabstop \"OK\"\n"
     "CONTROL BUTTON 2 120 25 40 14 tabstop \"Cancel\"\n"
     "CONTROL BUTTON 10 5 30 60 10 autoradiobutton|group \"Up\"\n"
     "CONTROL BUTTON 11 5 40 60 10 autoradiobutton \"Down\"\n"
     "CONTROL BUTTON 12 5 50 60 10 autocheckbox|group \"Case\"\n"
     "CONTROL BUTTON 13 5 60 60 10 ownerdraw \"\"\n"
     "CONTROL LISTBOX 20 70 40 40 40 - \"\"\n"
     "CONTROL COMBOBOX 21 120 45 60 12 - \"\"\n"
     "CONTROL TRACKBAR 22 120 60 60 12 horz \"\"\n"},
};
const WinResourceTable kTable = {nullptr, 0, nullptr, 0, kDialogs, 1, nullptr, 0};

std::vector<std::pair<int, int>>& Commands() {
    static std::vector<std::pair<int, int>> commands;
    return commands;
}
// What the dialog was told by WM_HSCROLL: request, position, control.
struct Scroll {
    int request, position;
    WinHandle control;
    bool operator==(const Scroll&) const = default;
};
std::vector<Scroll>& Scrolls() {
    static std::vector<Scroll> scrolls;
    return scrolls;
}
intptr_t g_initParameter = 0;
std::string g_textAtOk;
WinDrawItem g_drawn;

intptr_t FindProc(WinHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
        case WM_INITDIALOG: g_initParameter = lParam; return 1;
        case WM_COMMAND:
            Commands().emplace_back(WinLowWord(wParam), WinHighWord(wParam));
            if (WinLowWord(wParam) == IDOK) {
                g_textAtOk = Win_GetDlgItemText(dialog, 100);
                Win_EndDialog(dialog, 42);
            }
            return 1;
        case WM_DRAWITEM: g_drawn = *reinterpret_cast<WinDrawItem*>(lParam); return 1;
        case WM_HSCROLL:
            Scrolls().push_back({WinLowWord(wParam), WinHighWord(wParam), static_cast<WinHandle>(lParam)});
            return 1;
        default: return 0;
    }
}

class Dialogs : public DesktopTest {
protected:
    void SetUp() override {
        DesktopTest::SetUp();
        module = Win_ModuleFromTable(&kTable);
        Commands().clear();
        Scrolls().clear();
        g_textAtOk.clear();
        g_drawn = WinDrawItem{};
    }
    WinModule* module = nullptr;
};

TEST_F(Dialogs, ModalDialogAnsweredByTheHook) {
    WinHandle owner = Top();
    bool ownerEnabledDuring = true;
    WinHooks hooks;
    hooks.dialog = [&](WinHandle dialog, const std::string& name) {
        EXPECT_EQ(name, "FIND");
        EXPECT_EQ(Win_GetFocus(), Win_GetDlgItem(dialog, 100)) << "WM_INITDIALOG asked for the default focus";
        ownerEnabledDuring = Win_IsWindowEnabled(owner);
        Win_SetDlgItemText(dialog, 100, "needle");
        Win_ClickButton(dialog, IDOK);
        return true;
    };
    Win_SetHooks(hooks);
    EXPECT_EQ(Win_DialogBox(module, "FIND", owner, FindProc, 77), 42);
    EXPECT_EQ(g_initParameter, 77);
    EXPECT_EQ(g_textAtOk, "needle");
    EXPECT_FALSE(ownerEnabledDuring);
    EXPECT_TRUE(Win_IsWindowEnabled(owner));
    EXPECT_EQ(Win_GetChildren(owner).size(), 0u);
    EXPECT_TRUE(EventContains("\"event\":\"end\",\"name\":\"FIND\""));
    EXPECT_TRUE(EventContains("\"result\":42,\"hook\":true,\"endedWhenIdle\":false"));
}

TEST_F(Dialogs, UnansweredModalDialogIsCancelledWhenIdle) {
    EXPECT_EQ(Win_DialogBox(module, "FIND", 0, FindProc, 0), IDCANCEL);
    EXPECT_TRUE(EventContains("\"endedWhenIdle\":true"));
    EXPECT_EQ(Win_DialogBox(module, "MISSING", 0, FindProc, 0), -1);
    EXPECT_EQ(Win_DialogBox(nullptr, "FIND", 0, FindProc, 0), -1);
    EXPECT_EQ(Win_CreateDialog(module, "MISSING", 0, FindProc, 0), 0u);
}

TEST_F(Dialogs, EnterClicksTheDefaultButtonEscapeCancelsTabMoves) {
    WinHandle dialog = Win_CreateDialog(module, "FIND", 0, FindProc, 0);
    ASSERT_NE(dialog, 0u);
    EXPECT_EQ(Win_SetDialogData(dialog, 5), 0);
    EXPECT_EQ(Win_GetDialogData(dialog), 5);
    EXPECT_EQ(Win_GetFocus(), Win_GetDlgItem(dialog, 100));
    Win_InputKey(VK_RETURN);
    Win_InputKey(VK_ESCAPE);
    EXPECT_EQ(Commands(), (std::vector<std::pair<int, int>>{{IDOK, BN_CLICKED}, {IDCANCEL, BN_CLICKED}}));
    Win_ShowWindow(dialog, SW_SHOW);  // OK ended (hid) it; hidden controls take no focus
    Win_InputKey(VK_TAB);
    EXPECT_EQ(Win_GetFocus(), Win_GetDlgItem(dialog, IDOK));
    Win_InputKey(VK_TAB);
    Win_InputKey(VK_TAB);
    EXPECT_EQ(Win_GetFocus(), Win_GetDlgItem(dialog, 100)) << "wraps to the first tab stop";
}

TEST_F(Dialogs, EditTypingNotifiesEachChange) {
    WinHandle dialog = Win_CreateDialog(module, "FIND", 0, FindProc, 0);
    Win_SetFocus(Win_GetDlgItem(dialog, 100));
    Win_InputText("ab\xC3\xA9\x01");
    EXPECT_EQ(Win_GetDlgItemText(dialog, 100), "ab\xC3\xA9");
    Win_InputKey(VK_BACK);
    EXPECT_EQ(Win_GetDlgItemText(dialog, 100), "ab");
    Win_SetDlgItemInt(dialog, 100, -12);
    Win_SetDlgItemInt(dialog, 100, -12);
    EXPECT_EQ(Win_GetDlgItemText(dialog, 100), "-12");
    int changes = 0;
    for (auto& [id, code] : Commands()) changes += id == 100 && code == EN_CHANGE;
    EXPECT_EQ(changes, 5) << "3 typed, 1 deleted, 1 set; the same text again is no change";
}

TEST_F(Dialogs, AutomaticButtonsKeepTheirState) {
    WinHandle dialog = Win_CreateDialog(module, "FIND", 0, FindProc, 0);
    struct Case {
        uint32_t click;
        int up, down, caseBox;
    } cases[] = {{10, 1, 0, 0}, {11, 0, 1, 0}, {12, 0, 1, 1}, {12, 0, 1, 0}, {10, 1, 0, 0}};
    for (const Case& c : cases) {
        ASSERT_TRUE(Win_ClickButton(dialog, c.click));
        EXPECT_EQ(Win_IsDlgButtonChecked(dialog, 10), c.up) << c.click;
        EXPECT_EQ(Win_IsDlgButtonChecked(dialog, 11), c.down) << c.click;
        EXPECT_EQ(Win_IsDlgButtonChecked(dialog, 12), c.caseBox) << c.click;
    }
    EXPECT_TRUE(Win_CheckRadioButton(dialog, 10, 11, 11));
    EXPECT_EQ(Win_IsDlgButtonChecked(dialog, 10), 0);
    EXPECT_EQ(Win_IsDlgButtonChecked(dialog, 11), 1);
    Win_EnableWindow(Win_GetDlgItem(dialog, 12), false);
    EXPECT_FALSE(Win_ClickButton(dialog, 12));
    EXPECT_FALSE(Win_ClickButton(dialog, 100)) << "an edit is no button";
}

TEST_F(Dialogs, MouseClickOnAButtonAndOwnerDrawing) {
    WinHandle dialog = Win_CreateDialog(module, "FIND", 0, FindProc, 0);
    Win_ShowWindow(dialog, SW_SHOW);
    WinHandle ok = Win_GetDlgItem(dialog, IDOK);
    WinRect r;
    Win_GetWindowRect(ok, &r);
    Win_InputMouse(dialog, WM_LBUTTONDOWN, r.left + 2, r.top + 2, MK_LBUTTON);
    EXPECT_TRUE(Commands().empty()) << "a click completes on release";
    Win_InputMouse(dialog, WM_LBUTTONUP, r.left + 3, r.top + 3, 0);
    EXPECT_EQ(Commands(), (std::vector<std::pair<int, int>>{{IDOK, BN_CLICKED}}));

    Win_ShowWindow(dialog, SW_SHOW);  // OK ended (hid) it
    WinHandle drawn = Win_GetDlgItem(dialog, 13);
    Win_SetFocus(drawn);
    Win_PumpMessages();
    EXPECT_EQ(g_drawn.ctlId, 13u);
    EXPECT_EQ(g_drawn.ctlType, static_cast<uint32_t>(ODT_BUTTON));
    EXPECT_EQ(g_drawn.item, drawn);
    EXPECT_NE(g_drawn.dc, nullptr);
    EXPECT_EQ(g_drawn.itemState, static_cast<uint32_t>(ODS_FOCUS));
    EXPECT_EQ(g_drawn.rect.right, 90);
}

TEST_F(Dialogs, ListsChooseWithNotifications) {
    WinHandle dialog = Win_CreateDialog(module, "FIND", 0, FindProc, 0);
    for (uint32_t id : {20u, 21u}) {
        WinHandle list = Win_GetDlgItem(dialog, id);
        EXPECT_EQ(Win_ListAddString(list, "one"), 0);
        EXPECT_EQ(Win_ListAddString(list, "two"), 1);
        EXPECT_EQ(Win_ListCount(list), 2);
        EXPECT_EQ(Win_ListFind(list, "two"), 1);
        EXPECT_EQ(Win_ListFind(list, "tw"), -1);
        EXPECT_TRUE(Win_ListSetSelection(list, 0));
        EXPECT_FALSE(Win_ListSetSelection(list, 2));
        EXPECT_TRUE(Commands().empty()) << "a program's selection is not notified";
        EXPECT_TRUE(Win_ListChoose(list, 1, true));
        EXPECT_FALSE(Win_ListChoose(list, 5, false));
        EXPECT_EQ(Win_ListSelection(list), 1);
        EXPECT_EQ(Commands(),
                  (std::vector<std::pair<int, int>>{{static_cast<int>(id), 1}, {static_cast<int>(id), 2}}));
        Commands().clear();
        EXPECT_TRUE(Win_ListReset(list));
        EXPECT_EQ(Win_ListCount(list), 0);
        EXPECT_EQ(Win_ListSelection(list), -1);
    }
    EXPECT_EQ(Win_GetDlgItemText(dialog, 21), "two") << "a combo box shows its choice";
    EXPECT_EQ(Win_ListAddString(Win_GetDlgItem(dialog, 100), "x"), -1);
}

TEST_F(Dialogs, TrackBarMovesItselfAndTellsItsParent) {
    WinHandle dialog = Win_CreateDialog(module, "FIND", 0, FindProc, 0);
    WinHandle track = Win_GetDlgItem(dialog, 22);
    ASSERT_TRUE(Win_SetScrollRange(track, SB_CTL, 0, 20, false));
    struct Case {
        int request, thumb, expect;
    } cases[] = {{SB_LINEDOWN, 0, 1},  {SB_PAGEDOWN, 0, 3}, {SB_THUMBPOSITION, 15, 15}, {SB_BOTTOM, 0, 20},
                 {SB_LINEDOWN, 0, 20}, {SB_TOP, 0, 0},      {SB_LINEUP, 0, 0}};
    for (const Case& c : cases) {
        Scrolls().clear();
        ASSERT_TRUE(Win_ScrollControl(track, c.request, c.thumb));
        EXPECT_EQ(Win_GetScrollPos(track, SB_CTL), c.expect) << c.request;
        EXPECT_EQ(Scrolls(), (std::vector<Scroll>{{c.request, c.expect, track}})) << c.request;
    }
    Scrolls().clear();
    EXPECT_FALSE(Win_ScrollControl(Win_GetDlgItem(dialog, 100), SB_LINEUP, 0));
    EXPECT_FALSE(Win_ScrollControl(track, 9, 0));
    EXPECT_TRUE(Scrolls().empty()) << "a refused request tells nobody";
}

TEST_F(Dialogs, MessageBoxAnswers) {
    WinHandle owner = Top();
    EXPECT_EQ(Win_MessageBox(owner, "Save?", "Viewer", MB_YESNOCANCEL), IDYES)
        << "nobody answers: the first button";
    EXPECT_TRUE(EventContains("\"source\":\"messagebox\",\"text\":\"Save?\",\"caption\":\"Viewer\""));
    std::string seenText;
    WinHooks hooks;
    hooks.messageBox = [&](const std::string& text, const std::string&, uint32_t flags, int* answer) {
        seenText = text;
        // The box is a real dialog, painted before anyone answers.
        EXPECT_TRUE(EventContains("\"class\":\"BUTTON\",\"message\":15,\"name\":\"WM_PAINT\""));
        EXPECT_TRUE(EventContains("\"class\":\"STATIC\",\"message\":15"));
        *answer = (flags & 0xF) == MB_OKCANCEL ? IDCANCEL : IDNO;
        return true;
    };
    Win_SetHooks(hooks);
    events.clear();
    EXPECT_EQ(Win_MessageBox(owner, "Print\nall pages?", "Viewer", MB_OKCANCEL | MB_ICONQUESTION), IDCANCEL);
    EXPECT_EQ(seenText, "Print\nall pages?");
    EXPECT_TRUE(EventContains("\"answer\":2,\"hook\":true"));
    EXPECT_TRUE(Win_IsWindowEnabled(owner));
    EXPECT_EQ(Win_GetChildren(owner).size(), 0u);

    Win_MessageBeep(MB_ICONERROR);
    EXPECT_TRUE(EventContains("{\"source\":\"beep\",\"type\":16}"));
    EXPECT_TRUE(Win_WinHelp(owner, "viewer.hlp", HELP_CONTEXT, 12));
    EXPECT_TRUE(EventContains("\"file\":\"viewer.hlp\",\"command\":1,\"data\":12"));
}

}  // namespace

namespace {

intptr_t DestroyOnOk(WinHandle dialog, uint32_t message, uintptr_t wParam, intptr_t) {
    if (message == WM_COMMAND && WinLowWord(wParam) == IDOK) {
        Win_DestroyWindow(dialog);
        return 1;
    }
    return message == WM_INITDIALOG ? 1 : 0;
}

TEST_F(Dialogs, ADialogDestroyedByItsOwnButtonLeavesNothingBehind) {
    // Enter, a mouse release and a hook click, each ending in the dialog's destruction
    // while the button that started it is still on the stack.
    for (int way = 0; way < 3; ++way) {
        WinHandle dialog = Win_CreateDialog(module, "FIND", 0, DestroyOnOk, 0);
        ASSERT_NE(dialog, 0u);
        Win_ShowWindow(dialog, SW_SHOW);
        WinHandle ok = Win_GetDlgItem(dialog, IDOK);
        if (way == 0) {
            Win_InputKey(VK_RETURN);
        } else if (way == 1) {
            WinRect r;
            Win_GetWindowRect(ok, &r);
            Win_InputMouse(dialog, WM_LBUTTONDOWN, r.left + 2, r.top + 2, MK_LBUTTON);
            Win_InputMouse(dialog, WM_LBUTTONUP, r.left + 2, r.top + 2, 0);
        } else {
            Win_ClickButton(dialog, IDOK);
        }
        EXPECT_FALSE(Win_IsWindow(dialog)) << way;
        EXPECT_FALSE(Win_IsWindow(ok)) << way;
        EXPECT_EQ(Win_GetFocus(), 0u) << way;
        EXPECT_EQ(Win_GetCapture(), 0u) << way;
        Win_PumpMessages();
    }
}

TEST_F(Dialogs, HookThatLeavesTheDialogOpenStillGetsCancel) {
    int asked = 0;
    WinHooks hooks;
    hooks.dialog = [&](WinHandle, const std::string&) {
        ++asked;
        return true;
    };
    Win_SetHooks(hooks);
    EXPECT_EQ(Win_DialogBox(module, "FIND", 0, FindProc, 0), IDCANCEL);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(EventContains("\"hook\":true,\"endedWhenIdle\":true"));
}

TEST_F(Dialogs, ComboBoxDropsDownAsAPopupMenu) {
    WinHandle dialog = Win_CreateDialog(module, "FIND", 0, FindProc, 0);
    Win_ShowWindow(dialog, SW_SHOW);
    WinHandle combo = Win_GetDlgItem(dialog, 21);
    Win_ListAddString(combo, "Fit width");
    Win_ListAddString(combo, "Fit page");
    std::vector<std::string> offered;
    WinHooks hooks;
    hooks.popupMenu = [&](WinMenu menu, uint32_t* chosen) {
        for (uint32_t id = 1; id <= 2; ++id) offered.push_back(Win_GetMenuText(menu, id));
        *chosen = 2;
        return true;
    };
    Win_SetHooks(hooks);
    WinRect r;
    Win_GetWindowRect(combo, &r);
    Win_InputMouse(dialog, WM_LBUTTONDOWN, r.left + 2, r.top + 2, MK_LBUTTON);
    EXPECT_TRUE(offered.empty()) << "the field is not the arrow";
    Win_InputMouse(dialog, WM_LBUTTONDOWN, r.right - 3, r.top + 2, MK_LBUTTON);
    EXPECT_EQ(offered, (std::vector<std::string>{"Fit width", "Fit page"}));
    EXPECT_EQ(Win_ListSelection(combo), 1);
    EXPECT_EQ(Win_GetWindowText(combo), "Fit page");
    EXPECT_EQ(Commands(), (std::vector<std::pair<int, int>>{{21, CBN_SELCHANGE}}));
    Win_SetFocus(combo);
    Win_InputText("x");
    EXPECT_EQ(Win_GetWindowText(combo), "Fit pagex");
    EXPECT_EQ(Win_ListSelection(combo), -1);
    EXPECT_EQ(Commands().back(), std::make_pair(21, static_cast<int>(CBN_EDITCHANGE)));
}

TEST_F(Dialogs, ScrollBarControlLeavesItsPositionToTheParent) {
    WinHandle top = Top(200, 200);
    WinHandle bar =
        Win_CreateWindow("SCROLLBAR", "", WS_CHILD | WS_VISIBLE | SBS_VERT, 10, 10, 16, 100, top, 9, nullptr);
    ASSERT_NE(bar, 0u);
    ASSERT_TRUE(Win_SetScrollRange(bar, SB_CTL, 0, 10, true));
    EXPECT_FALSE(Win_IsScrollBarShown(top, SB_VERT)) << "SB_CTL is the control's own range";
    Log().clear();
    Win_InputMouse(top, WM_LBUTTONDOWN, 15, 105, MK_LBUTTON);  // the lower arrow
    ASSERT_EQ(CountOf(top, WM_VSCROLL), 2);
    const Received& first =
        *std::find_if(Log().begin(), Log().end(), [](const Received& r) { return r.message == WM_VSCROLL; });
    EXPECT_EQ(WinLowWord(first.wParam), SB_LINEDOWN);
    EXPECT_EQ(first.lParam, static_cast<intptr_t>(bar));
    EXPECT_EQ(Win_GetScrollPos(bar, SB_CTL), 0);
}

}  // namespace
