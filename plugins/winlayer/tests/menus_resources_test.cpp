// Menus, resource modules (a library loaded by path and a table) and the clipboard.
#include <cstdio>
#include <cstring>

#include "desktop_fixture.h"

namespace {

using MenusResources = DesktopTest;

TEST_F(MenusResources, MenuStateSearchesSubmenus) {
    WinMenu sub = Win_CreatePopupMenu();
    ASSERT_TRUE(Win_AppendMenu(sub, MF_STRING, 20, "Inner"));
    WinMenu menu = Win_CreatePopupMenu();
    ASSERT_TRUE(Win_AppendMenu(menu, MF_STRING, 10, "Outer"));
    ASSERT_TRUE(Win_AppendMenu(menu, MF_SEPARATOR, 0, ""));
    ASSERT_TRUE(Win_AppendMenu(menu, MF_POPUP, sub, "Sub"));
    EXPECT_FALSE(Win_AppendMenu(menu, MF_POPUP, 999, "Nothing"));
    EXPECT_FALSE(Win_AppendMenu(999, MF_STRING, 1, "x"));
    EXPECT_EQ(Win_GetMenuItemCount(menu), 3);
    EXPECT_EQ(Win_GetSubMenu(menu, 2), sub);
    EXPECT_EQ(Win_GetSubMenu(menu, 0), 0u);
    EXPECT_EQ(Win_GetSubMenu(menu, 3), 0u);

    EXPECT_EQ(Win_CheckMenuItem(menu, 20, MF_CHECKED), static_cast<uint32_t>(MF_UNCHECKED));
    EXPECT_EQ(Win_CheckMenuItem(menu, 20, MF_UNCHECKED), static_cast<uint32_t>(MF_CHECKED));
    EXPECT_EQ(Win_EnableMenuItem(menu, 10, MF_GRAYED), static_cast<uint32_t>(MF_ENABLED));
    EXPECT_EQ(Win_GetMenuState(menu, 10), static_cast<uint32_t>(MF_GRAYED));
    EXPECT_EQ(Win_GetMenuState(menu, 99), 0xFFFFFFFFu);
    EXPECT_EQ(Win_CheckMenuItem(menu, 99, MF_CHECKED), 0xFFFFFFFFu);
    EXPECT_EQ(Win_EnableMenuItem(menu, 99, MF_GRAYED), 0xFFFFFFFFu);
    EXPECT_EQ(Win_GetMenuText(menu, 20), "Inner");
    EXPECT_TRUE(Win_DestroyMenu(menu));
    EXPECT_EQ(Win_GetMenuItemCount(sub), -1) << "submenus go with their menu";
    EXPECT_FALSE(Win_DestroyMenu(menu));
}

TEST_F(MenusResources, TrackPopupMenuTakesTheHooksEnabledChoice) {
    WinHandle owner = Top();
    WinMenu menu = Win_CreatePopupMenu();
    Win_AppendMenu(menu, MF_STRING, 10, "Enabled");
    Win_AppendMenu(menu, MF_GRAYED, 11, "Grayed");
    EXPECT_EQ(Win_TrackPopupMenu(menu, 0, 5, 5, owner), 0u) << "no hook chooses nothing";
    struct Case {
        uint32_t hookChoice;
        bool answers;
        uint32_t expect;
    } cases[] = {{10, true, 10}, {11, true, 0}, {12, true, 0}, {10, false, 0}};
    for (const Case& c : cases) {
        WinHooks hooks;
        hooks.popupMenu = [&](WinMenu m, uint32_t* chosen) {
            EXPECT_EQ(m, menu);
            *chosen = c.hookChoice;
            return c.answers;
        };
        Win_SetHooks(hooks);
        Log().clear();
        EXPECT_EQ(Win_TrackPopupMenu(menu, 0, 5, 5, owner), c.expect) << c.hookChoice;
        EXPECT_EQ(CountOf(owner, WM_COMMAND), c.expect != 0 ? 1 : 0);
    }
    EXPECT_TRUE(EventContains("\"source\":\"menu\""));
}

TEST_F(MenusResources, ModuleLoadedByPath) {
    EXPECT_EQ(Win_LoadModule("relative/libx.so"), nullptr);
    EXPECT_EQ(Win_LoadModule("/nonexistent/libx.so"), nullptr);
    EXPECT_EQ(Win_LoadModule(QEL_STAGE_DIR "/lib/libqelwin.so"), nullptr) << "no resource table";
    EXPECT_TRUE(EventContains("no QelWin_Resources table"));

    WinModule* module = Win_LoadModule(QELWIN_TEST_RESOURCES);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(Win_LoadStringText(module, 7), "Seven");
    EXPECT_EQ(Win_LoadStringText(module, 8), "");
    struct Case {
        uint32_t id;
        int size;
        std::string expect;
    } cases[] = {{7, 20, "Seven"}, {7, 6, "Seven"}, {7, 5, "Seve"},
                 {7, 1, ""},       {8, 20, ""},     {1000, 5, "Page"}};
    for (const Case& c : cases) {
        char buffer[32];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(Win_LoadString(module, c.id, buffer, c.size), static_cast<int>(c.expect.size())) << c.size;
        EXPECT_EQ(std::string(buffer), c.expect);
    }
    EXPECT_EQ(Win_LoadString(module, 7, nullptr, 5), 0);

    WinBitmap* checker = Win_LoadBitmap(module, "CHECKER");
    ASSERT_NE(checker, nullptr);
    EXPECT_EQ(Win_BitmapPixel(checker, 0, 0), 0x000000u);
    EXPECT_EQ(Win_BitmapPixel(checker, 1, 0), 0xFFFFFFu);
    Win_DeleteBitmap(checker);
    EXPECT_EQ(Win_LoadBitmap(module, "NONE"), nullptr);

    WinMenu menu = Win_LoadMenu(module, "MAIN");
    ASSERT_NE(menu, 0u);
    WinMenu main = Win_GetSubMenu(menu, 0);
    EXPECT_EQ(Win_GetMenuItemCount(main), 3);
    EXPECT_EQ(Win_GetMenuState(menu, 32093), static_cast<uint32_t>(MF_CHECKED));
    EXPECT_EQ(Win_GetMenuText(main, 32085), "Next Page");
    EXPECT_EQ(Win_LoadMenu(module, "NONE"), 0u);

    EXPECT_TRUE(Win_HasDialog(module, "GOTO"));
    EXPECT_FALSE(Win_HasDialog(module, "NONE"));
    EXPECT_EQ(
        Win_DialogBox(
            module, "GOTO", 0, [](WinHandle, uint32_t, uintptr_t, intptr_t) -> intptr_t { return 0; }, 0),
        IDCANCEL);
    Win_FreeModule(module);
}

TEST_F(MenusResources, BadDescriptionsInATableAreLoggedNotLoaded) {
    static const WinNamedText dialogs[] = {{"BROKEN", "DIALOG 0 0 10\n"}};
    static const WinNamedText menus[] = {{"BROKEN", "POPUP \"x\"\n"}};
    static const WinNamedText bitmaps[] = {{"BROKEN", "2 2 1\nb #000000\nbb\n"}};
    static const WinResourceTable table = {nullptr, 0, bitmaps, 1, dialogs, 1, menus, 1};
    WinModule* module = Win_ModuleFromTable(&table);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(Win_ModuleFromTable(nullptr), nullptr);
    EXPECT_EQ(Win_LoadMenu(module, "BROKEN"), 0u);
    EXPECT_EQ(Win_DialogBox(module, "BROKEN", 0, nullptr, 0), -1);
    EXPECT_EQ(Win_LoadBitmap(module, "BROKEN"), nullptr);
    EXPECT_TRUE(EventContains("\"kind\":\"menu\",\"name\":\"BROKEN\",\"error\":\"line 1: POPUP"));
    EXPECT_TRUE(
        EventContains("\"kind\":\"dialog\",\"name\":\"BROKEN\",\"error\":\"line 1: missing height\""));
    EXPECT_TRUE(EventContains("\"kind\":\"bitmap\""));
}

TEST_F(MenusResources, ClipboardTextAndBitmap) {
    EXPECT_FALSE(Win_SetClipboardText("early")) << "closed";
    ASSERT_TRUE(Win_OpenClipboard(0));
    EXPECT_FALSE(Win_OpenClipboard(0));
    ASSERT_TRUE(Win_EmptyClipboard());
    ASSERT_TRUE(Win_SetClipboardText("page 3"));
    WinHandle w = Top(4, 3);
    Win_PumpMessages();
    WinBitmap* shot = Win_CaptureWindow(w);
    ASSERT_NE(shot, nullptr);
    ASSERT_TRUE(Win_SetClipboardBitmap(shot));
    Win_DeleteBitmap(shot);
    EXPECT_FALSE(Win_SetClipboardBitmap(nullptr));
    ASSERT_TRUE(Win_CloseClipboard());
    EXPECT_FALSE(Win_CloseClipboard());
    EXPECT_EQ(Win_ClipboardText(), "page 3");
    WinBitmap* copy = Win_ClipboardBitmap();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(Win_BitmapWidth(copy), 4);
    Win_DeleteBitmap(copy);
    EXPECT_TRUE(EventContains("\"source\":\"clipboard\",\"action\":\"text\",\"text\":\"page 3\""));
    EXPECT_TRUE(EventContains("\"action\":\"bitmap\",\"width\":4,\"height\":3"));
}

TEST_F(MenusResources, ScreenshotWritesAPng) {
    WinHandle w = Top(30, 20);
    WinHandle child = Child(w, 0, 0, 5, 5);
    Win_PumpMessages();
    std::string path = ::testing::TempDir() + "qelwin_shot.png";
    ASSERT_TRUE(Win_Screenshot(w, path));
    FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    unsigned char signature[8] = {};
    EXPECT_EQ(std::fread(signature, 1, 8, file), 8u);
    std::fclose(file);
    std::remove(path.c_str());
    EXPECT_EQ(signature[1], 'P');
    EXPECT_FALSE(Win_Screenshot(child, path)) << "only top-level windows";
}

}  // namespace
