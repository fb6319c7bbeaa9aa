// The zoom, rotation, contrast and presets dialogs, driven through the window
// layer's hooks as a user would: typing, clicking, scrolling, OK and Cancel.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "dialogs.h"
#include "plugin_state.h"
#include "view.h"

namespace {

using zyp::PluginInstance;
using zyp::ViewDialog;
using zyp::ViewValues;

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Win_Initialize(WinBackend::Headless));
        module_ = Win_LoadModule(QEL_STAGE_DIR "/lib/libzaruveva.so");
        ASSERT_NE(module_, nullptr);
        zyp::State().language = module_;
        zyp::State().helpPath = "/opt/viewer/npkzyp32.hlp";
        Win_SetEventSink([this](const std::string& line) { events_.push_back(line); });
        in_.geometry.clientWidth = 816;
        in_.geometry.clientHeight = 600;
        in_.geometry.toolbarHeight = 29;
        zyp::ApplyValues(in_, {100, 1, 128, 128, 0});
    }
    void TearDown() override {
        Win_SetHooks({});
        Win_SetEventSink({});
        zyp::State().language = nullptr;
        zyp::State().presets.Clear();
        Win_Terminate();
    }

    // Runs a dialog whose user acts through script; message boxes are answered OK
    // and their texts kept. The script's checks count only if the dialog opened.
    intptr_t Run(ViewDialog which, std::function<void(WinHandle)> script) {
        dialogOpened_ = false;
        WinHooks hooks;
        hooks.dialog = [this, script](WinHandle dialog, const std::string&) {
            dialogOpened_ = true;
            script(dialog);
            return true;
        };
        hooks.messageBox = [this](const std::string& text, const std::string&, uint32_t, int* answer) {
            boxes_.push_back(text);
            *answer = IDOK;
            return true;
        };
        Win_SetHooks(hooks);
        intptr_t result = zyp::RunViewDialog(in_, which);
        EXPECT_TRUE(dialogOpened_) << "the dialog did not open (result " << result << ")";
        return result;
    }

    int Beeps() const { return Count("\"source\":\"beep\""); }
    int Count(const std::string& needle) const {
        int n = 0;
        for (const std::string& line : events_) n += line.find(needle) != std::string::npos;
        return n;
    }

    static std::vector<int> CheckedButtons(WinHandle dialog, int first, int last) {
        std::vector<int> checked;
        for (int id = first; id <= last; ++id) {
            if (Win_IsDlgButtonChecked(dialog, id) == BST_CHECKED) checked.push_back(id);
        }
        return checked;
    }
    static int BarPosition(WinHandle dialog, uint32_t id) {
        return Win_GetScrollPos(Win_GetDlgItem(dialog, id), SB_CTL);
    }
    static void Type(WinHandle dialog, uint32_t id, const std::string& text) {
        Win_SetDlgItemText(dialog, id, text);
    }
    static void Scroll(WinHandle dialog, uint32_t id, int request, int thumb = 0) {
        Win_ScrollControl(Win_GetDlgItem(dialog, id), request, thumb);
    }

    WinModule* module_ = nullptr;
    PluginInstance in_;
    std::vector<std::string> events_;
    std::vector<std::string> boxes_;
    bool dialogOpened_ = false;
};

TEST_F(DialogTest, ZoomStartsFromTheView) {
    zyp::SetZoom(in_, 150);
    Run(ViewDialog::Zoom, [](WinHandle dialog) {
        EXPECT_EQ(Win_GetDlgItemText(dialog, 208), "150");
        EXPECT_EQ(CheckedButtons(dialog, 200, 207), std::vector<int>{204});
        int low = 0, high = 0;
        Win_GetScrollRange(Win_GetDlgItem(dialog, 209), SB_CTL, &low, &high);
        EXPECT_EQ(low, 10);
        EXPECT_EQ(high, 1000);
        EXPECT_EQ(BarPosition(dialog, 209), 150);
        EXPECT_EQ(Win_GetFocus(), Win_GetDlgItem(dialog, 208));
        Win_EndDialog(dialog, IDOK);
    });
}

TEST_F(DialogTest, ZoomTypingMovesBarRadiosAndViewAndCancelRestores) {
    struct Case {
        const char* typed;
        int zoom;
        std::vector<int> radios;
    } cases[] = {
        {"150", 150, {204}}, {"151", 151, {}}, {"25", 25, {200}},
        {"5", 10, {}},       {"abc", 10, {}},  {"1000", 1000, {207}},
    };
    for (const Case& c : cases) {
        intptr_t result = Run(ViewDialog::Zoom, [&](WinHandle dialog) {
            Type(dialog, 208, c.typed);
            EXPECT_EQ(in_.geometry.zoom, c.zoom) << c.typed;
            EXPECT_EQ(BarPosition(dialog, 209), c.zoom) << c.typed;
            EXPECT_EQ(CheckedButtons(dialog, 200, 207), c.radios) << c.typed;
            Win_ClickButton(dialog, IDCANCEL);
        });
        EXPECT_EQ(result, IDCANCEL);
        EXPECT_EQ(in_.geometry.zoom, 100) << c.typed;
    }
}

TEST_F(DialogTest, ZoomRadioSetsEditBarAndView) {
    intptr_t result = Run(ViewDialog::Zoom, [&](WinHandle dialog) {
        Win_ClickButton(dialog, 206);
        EXPECT_EQ(Win_GetDlgItemText(dialog, 208), "500");
        EXPECT_EQ(BarPosition(dialog, 209), 500);
        EXPECT_EQ(in_.geometry.zoom, 500);
        Win_ClickButton(dialog, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(in_.geometry.zoom, 500);
}

TEST_F(DialogTest, ZoomScrollBarSteps) {
    struct Case {
        int start, request, thumb, zoom;
        bool beep;
    } cases[] = {
        {1000, SB_PAGERIGHT, 0, 1000, false}, {12, SB_PAGELEFT, 0, 10, false},
        {500, SB_PAGELEFT, 0, 401, false},    {10, SB_LINELEFT, 0, 10, true},
        {1000, SB_LINERIGHT, 0, 1000, true},  {500, SB_THUMBTRACK, 333, 333, false},
        {500, SB_LEFT, 0, 10, false},         {100, SB_LINERIGHT, 0, 101, false},
    };
    for (const Case& c : cases) {
        zyp::SetZoom(in_, c.start);
        int beepsBefore = Beeps();
        Run(ViewDialog::Zoom, [&](WinHandle dialog) {
            Scroll(dialog, 209, c.request, c.thumb);
            EXPECT_EQ(in_.geometry.zoom, c.zoom) << c.start << " request " << c.request;
            EXPECT_EQ(Win_GetDlgItemText(dialog, 208), std::to_string(c.zoom));
            Win_ClickButton(dialog, IDOK);
        });
        EXPECT_EQ(Beeps() - beepsBefore, c.beep ? 1 : 0) << c.start << " request " << c.request;
    }
}

TEST_F(DialogTest, ZoomOkRefusesAValueOutOfRange) {
    intptr_t result = Run(ViewDialog::Zoom, [&](WinHandle dialog) {
        for (const char* bad : {"2000", "0", "12x"}) {
            Type(dialog, 208, bad);
            Win_ClickButton(dialog, IDOK);
            EXPECT_TRUE(Win_IsWindow(dialog)) << bad;
            EXPECT_EQ(Win_GetFocus(), Win_GetDlgItem(dialog, 208));
        }
        Type(dialog, 208, "300");
        Win_ClickButton(dialog, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(in_.geometry.zoom, 300);
    ASSERT_EQ(boxes_.size(), 3u);
    EXPECT_EQ(boxes_[0], "The zoom must be a number from 10 to 1000 percent.");
}

TEST_F(DialogTest, ZoomHelpOpensItsContext) {
    Run(ViewDialog::Zoom, [](WinHandle dialog) {
        Win_ClickButton(dialog, 32090);
        Win_ClickButton(dialog, IDCANCEL);
    });
    EXPECT_EQ(Count("\"source\":\"help\""), 1);
    EXPECT_EQ(Count("npkzyp32.hlp"), 1);
    EXPECT_EQ(Count("10020"), 1);
}

TEST_F(DialogTest, RotationChecksTheCurrentCodeAndAppliesAtOnce) {
    struct Case {
        int rotation, checked;
    } cases[] = {{1, 300}, {2, 301}, {3, 302}, {4, 303}};
    for (const Case& c : cases) {
        zyp::SetRotation(in_, c.rotation);
        intptr_t result = Run(ViewDialog::Rotate, [&](WinHandle dialog) {
            EXPECT_EQ(CheckedButtons(dialog, 300, 303), std::vector<int>{c.checked});
            EXPECT_EQ(Win_GetFocus(), Win_GetDlgItem(dialog, c.checked));
            int other = c.checked == 300 ? 302 : 300;
            Win_ClickButton(dialog, other);
            EXPECT_EQ(in_.geometry.rotation, other - 299);
            Win_ClickButton(dialog, IDCANCEL);
        });
        EXPECT_EQ(result, IDCANCEL);
        EXPECT_EQ(in_.geometry.rotation, c.rotation);
    }
}

TEST_F(DialogTest, ContrastEditsBarsAndRangeMessages) {
    zyp::ApplyValues(in_, {100, 1, 100, 200, 0});
    intptr_t result = Run(ViewDialog::Contrast, [&](WinHandle dialog) {
        EXPECT_EQ(Win_GetDlgItemText(dialog, 304), "100");
        EXPECT_EQ(Win_GetDlgItemText(dialog, 306), "200");
        EXPECT_EQ(BarPosition(dialog, 305), 100);
        EXPECT_EQ(BarPosition(dialog, 307), 200);

        Type(dialog, 304, "300");
        EXPECT_EQ(in_.contrast, 255);
        EXPECT_EQ(in_.brightness, 200);
        Type(dialog, 306, "999");
        Win_ClickButton(dialog, IDOK);  // contrast is checked first
        EXPECT_EQ(Win_GetFocus(), Win_GetDlgItem(dialog, 304));
        Type(dialog, 304, "40");
        Win_ClickButton(dialog, IDOK);
        EXPECT_EQ(Win_GetFocus(), Win_GetDlgItem(dialog, 306));
        Type(dialog, 306, "60");
        Win_ClickButton(dialog, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(in_.contrast, 40);
    EXPECT_EQ(in_.brightness, 60);
    EXPECT_EQ(boxes_, (std::vector<std::string>{"The contrast must be a number from 0 to 255.",
                                                "The brightness must be a number from 0 to 255."}));
}

TEST_F(DialogTest, ContrastScrollingAndCancel) {
    zyp::ApplyValues(in_, {100, 1, 20, 255, 0});
    intptr_t result = Run(ViewDialog::Contrast, [&](WinHandle dialog) {
        Scroll(dialog, 305, SB_PAGELEFT);
        EXPECT_EQ(in_.contrast, 0);
        EXPECT_EQ(Win_GetDlgItemText(dialog, 304), "0");
        Scroll(dialog, 305, SB_PAGERIGHT);
        EXPECT_EQ(in_.contrast, 25);
        Scroll(dialog, 307, SB_LINERIGHT);  // already at 255: beeps
        EXPECT_EQ(in_.brightness, 255);
        Scroll(dialog, 307, SB_THUMBTRACK, 90);
        EXPECT_EQ(in_.brightness, 90);
        EXPECT_EQ(in_.contrast, 25);
        Win_ClickButton(dialog, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(Beeps(), 1);
    EXPECT_EQ(in_.Values(), (ViewValues{100, 1, 20, 255, 0}));
}

class PresetsDialogTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        zyp::PresetTable& table = zyp::State().presets;
        table.Clear();
        table.Append({false, "reset", {100, 1, 128, 128, 0}});
        table.Append({true, "gone", {300, 2, 10, 10, 1}});
        table.Append({false, "dark", {200, 3, 180, 60, 1}});
        table.Append({false, "wide", {50, 2, 128, 128, 0}});
    }
    static std::vector<std::string> Listed(WinHandle dialog) {
        WinHandle combo = Win_GetDlgItem(dialog, 308);
        std::vector<std::string> names;
        for (int i = 0; i < Win_ListCount(combo); ++i) names.push_back(Win_ListText(combo, i));
        return names;
    }
    static std::string Chosen(WinHandle dialog) { return Win_GetWindowText(Win_GetDlgItem(dialog, 308)); }
    static void Name(WinHandle dialog, const std::string& name) {
        Win_SetWindowText(Win_GetDlgItem(dialog, 308), name);
    }
};

TEST_F(PresetsDialogTest, ListsActivePresetsAndAppliesLive) {
    intptr_t result = Run(ViewDialog::Presets, [&](WinHandle dialog) {
        EXPECT_EQ(Listed(dialog), (std::vector<std::string>{"reset", "dark", "wide"}));
        EXPECT_EQ(Chosen(dialog), "reset");
        Name(dialog, "DARK");
        Win_ClickButton(dialog, 311);
        EXPECT_EQ(in_.Values(), (ViewValues{200, 3, 180, 60, 1}));
        Win_ListChoose(Win_GetDlgItem(dialog, 308), 2, true);  // double click on "wide"
        EXPECT_EQ(in_.Values(), (ViewValues{50, 2, 128, 128, 0}));
        Win_ClickButton(dialog, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(in_.Values(), (ViewValues{100, 1, 128, 128, 0}));
}

TEST_F(PresetsDialogTest, SaveAddsUpdatesRevivesAndRefuses) {
    zyp::ApplyValues(in_, {250, 4, 90, 100, 0});
    Run(ViewDialog::Presets, [&](WinHandle dialog) {
        Name(dialog, "mine");
        Win_ClickButton(dialog, 310);
        EXPECT_EQ(Listed(dialog), (std::vector<std::string>{"reset", "dark", "wide", "mine"}));
        EXPECT_EQ(Chosen(dialog), "mine");
        Name(dialog, "Gone");  // a deleted name comes back with the view's values
        Win_ClickButton(dialog, 310);
        EXPECT_EQ(Listed(dialog), (std::vector<std::string>{"reset", "gone", "dark", "wide", "mine"}));
        EXPECT_EQ(Chosen(dialog), "gone");
        Name(dialog, "Settings");
        Win_ClickButton(dialog, 310);
        Name(dialog, std::string(52, 'x'));
        Win_ClickButton(dialog, 310);
        Win_ClickButton(dialog, IDOK);
    });
    const zyp::PresetTable& table = zyp::State().presets;
    EXPECT_EQ(table.Size(), 5u);
    EXPECT_EQ(table.Entries()[1].values, (ViewValues{250, 4, 90, 100, 0}));
    EXPECT_EQ(table.Entries()[4].values, (ViewValues{250, 4, 90, 100, 0}));
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_NE(boxes_[0].find("51 characters"), std::string::npos);
}

TEST_F(PresetsDialogTest, SavingTheHundredAndFirstBeeps) {
    zyp::PresetTable& table = zyp::State().presets;
    while (table.Size() < zyp::kMaxPresets) table.Append({false, "p" + std::to_string(table.Size()), {}});
    Run(ViewDialog::Presets, [&](WinHandle dialog) {
        Name(dialog, "one more");
        Win_ClickButton(dialog, 310);
        EXPECT_EQ(Listed(dialog).size(), zyp::kMaxPresets - 1);  // "gone" is not listed
        Win_ClickButton(dialog, IDOK);
    });
    EXPECT_EQ(Beeps(), 1);
    EXPECT_EQ(table.Size(), zyp::kMaxPresets);
    EXPECT_EQ(table.Find("one more"), -1);
}

TEST_F(PresetsDialogTest, MakeDefaultAndDelete) {
    Run(ViewDialog::Presets, [&](WinHandle dialog) {
        Name(dialog, "reset");
        Win_ClickButton(dialog, 312);  // already first: nothing moves
        EXPECT_EQ(Listed(dialog), (std::vector<std::string>{"reset", "dark", "wide"}));
        Name(dialog, "wide");
        Win_ClickButton(dialog, 312);
        EXPECT_EQ(Listed(dialog), (std::vector<std::string>{"wide", "dark", "reset"}));
        EXPECT_EQ(Chosen(dialog), "wide");

        Name(dialog, "reset");
        Win_ClickButton(dialog, 309);
        EXPECT_EQ(Listed(dialog), (std::vector<std::string>{"wide", "dark"}));
        EXPECT_EQ(Chosen(dialog), "dark");  // the nearest one before it

        for (uint32_t button : {309u, 312u, 311u}) {  // unknown names beep
            Name(dialog, "nobody");
            Win_ClickButton(dialog, button);
        }
        Win_ClickButton(dialog, IDOK);
    });
    EXPECT_EQ(Beeps(), 3);
    const zyp::PresetTable& table = zyp::State().presets;
    EXPECT_EQ(table.FirstActive()->name, "wide");
    EXPECT_TRUE(table.Entries()[table.Find("reset")].deleted);
}

}  // namespace
