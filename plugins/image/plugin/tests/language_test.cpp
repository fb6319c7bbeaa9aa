// The language library: every dialog builds with the controls the plug-in drives,
// every toolbar picture loads, every text the plug-in shows is there.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "qel_win.h"

namespace {

intptr_t QuietDialog(WinHandle, uint32_t, uintptr_t, intptr_t) { return 0; }

class LanguageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Win_Initialize(WinBackend::Headless));
        module_ = Win_LoadModule(QEL_STAGE_DIR "/lib/libzaruveva.so");
        ASSERT_NE(module_, nullptr);
    }
    void TearDown() override { Win_Terminate(); }
    WinModule* module_ = nullptr;
};

TEST_F(LanguageTest, DialogsCarryTheirControls) {
    struct Case {
        const char* name;
        std::vector<uint32_t> controls;
        std::vector<std::string> classes;
    } cases[] = {
        {"ZYPTOOLBAR",
         {32071, 32072, 32073, 32074, 32075, 32076, 32077, 32078, 32079, 32080, 32090, 32092},
         {"BUTTON"}},
        {"ZYPZOOM", {200, 201, 202, 203, 204, 205, 206, 207, 208, 209, 1, 2, 32090}, {"EDIT", "SCROLLBAR"}},
        {"ZYPROTATE", {300, 301, 302, 303, 1, 2, 32090}, {"BUTTON"}},
        {"ZYPCONTRAST", {304, 305, 306, 307, 1, 2, 32090}, {"EDIT", "SCROLLBAR"}},
        {"ZYPSETTINGS", {308, 309, 310, 311, 312, 1, 2, 32090}, {"COMBOBOX"}},
    };
    WinClass host;
    host.name = "LanguageTestHost";
    host.procedure = Win_DefWindowProc;
    ASSERT_TRUE(Win_RegisterClass(host));
    WinHandle parent = Win_CreateWindow("LanguageTestHost", "", WS_VISIBLE, 0, 0, 800, 600, 0, 0, nullptr);
    for (const Case& c : cases) {
        ASSERT_TRUE(Win_HasDialog(module_, c.name)) << c.name;
        WinHandle dialog = Win_CreateDialog(module_, c.name, parent, QuietDialog, 0);
        ASSERT_NE(dialog, 0u) << c.name;
        std::vector<std::string> classes;
        for (uint32_t id : c.controls) {
            WinHandle control = Win_GetDlgItem(dialog, id);
            ASSERT_NE(control, 0u) << c.name << " control " << id;
            classes.push_back(Win_GetClassName(control));
        }
        for (const std::string& wanted : c.classes) {
            EXPECT_NE(std::find(classes.begin(), classes.end(), wanted), classes.end())
                << c.name << " " << wanted;
        }
        Win_DestroyWindow(dialog);
    }
}

TEST_F(LanguageTest, ToolbarButtonsNameTheirPictures) {
    WinClass host;
    host.name = "LanguageTestHost";
    host.procedure = Win_DefWindowProc;
    ASSERT_TRUE(Win_RegisterClass(host));
    WinHandle parent = Win_CreateWindow("LanguageTestHost", "", WS_VISIBLE, 0, 0, 800, 600, 0, 0, nullptr);
    WinHandle toolbar = Win_CreateDialog(module_, "ZYPTOOLBAR", parent, QuietDialog, 0);
    ASSERT_NE(toolbar, 0u);
    WinRect bar;
    ASSERT_TRUE(Win_GetWindowRect(toolbar, &bar));
    EXPECT_GT(bar.Height(), 24);
    for (WinHandle button : Win_GetChildren(toolbar)) {
        std::string picture = Win_GetWindowText(button);
        WinBitmap* bitmap = Win_LoadBitmap(module_, picture);
        ASSERT_NE(bitmap, nullptr) << picture;
        EXPECT_EQ(Win_BitmapWidth(bitmap), 16) << picture;
        EXPECT_EQ(Win_BitmapHeight(bitmap), 16) << picture;
        WinRect r;
        Win_GetWindowRect(button, &r);
        EXPECT_LE(Win_BitmapWidth(bitmap) + 4, r.Width()) << picture;
        Win_DeleteBitmap(bitmap);
    }
}

TEST_F(LanguageTest, TextsThePlugInShows) {
    for (uint32_t id = 500; id <= 511; ++id) EXPECT_FALSE(Win_LoadStringText(module_, id).empty()) << id;
    for (uint32_t id : {600u, 604u, 605u, 606u, 607u})
        EXPECT_FALSE(Win_LoadStringText(module_, id).empty()) << id;
    for (uint32_t id : {601u, 602u, 603u}) {
        std::string text = Win_LoadStringText(module_, id);
        EXPECT_NE(text.find("%1"), std::string::npos) << id;
        EXPECT_NE(text.find("%2"), std::string::npos) << id;
    }
    // The caption goes into a 200-byte field.
    EXPECT_LT(Win_LoadStringText(module_, 600).size(), 200u);
}

}  // namespace
