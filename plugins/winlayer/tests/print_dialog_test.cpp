// The print dialog and the printer-properties dialog as the user fills them in:
// clicks and typing through the layer's input functions (the dialog hook only acts
// on the open dialog and leaves the answer to it).
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "desktop_state.h"
#include "gdi_test_util.h"
#include "print_dialogs.h"
#include "printers.h"

namespace {

// A mouse click at the centre of a dialog's control.
void ClickItem(WinHandle dialog, uint32_t id) {
    WinRect rect;
    ASSERT_TRUE(Win_GetWindowRect(Win_GetDlgItem(dialog, id), &rect)) << id;
    int x = (rect.left + rect.right) / 2, y = (rect.top + rect.bottom) / 2;
    Win_InputMouse(dialog, WM_LBUTTONDOWN, x, y, MK_LBUTTON);
    Win_InputMouse(dialog, WM_LBUTTONUP, x, y, 0);
}

// Clicks into a field, erases it and types the text.
void TypeInto(WinHandle dialog, uint32_t id, const std::string& text) {
    ClickItem(dialog, id);
    ASSERT_EQ(Win_GetFocus(), Win_GetDlgItem(dialog, id));
    for (size_t n = Win_GetDlgItemText(dialog, id).size(); n > 0; --n) Win_InputKey(VK_BACK);
    Win_InputText(text);
}

using Actions = std::function<void(WinHandle dialog)>;

class PrintDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Win_Initialize(WinBackend::Headless));
        Win_SetPdfDirectory(dir_.path());
        Win_SetEventSink([this](const std::string& line) { events_.push_back(line); });
        owner_ = Win_CreateWindow("STATIC", "owner", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200, 0, 0, nullptr);
        WinHooks hooks;
        hooks.dialog = [this](WinHandle dialog, const std::string& name) {
            seen_.push_back(name);
            auto found = actions_.find(name);
            if (found != actions_.end()) found->second(dialog);
            return false;
        };
        // A drop-down list: a click on the chosen row.
        hooks.popupMenu = [this](WinMenu, uint32_t*) {
            std::vector<WinHandle> menus = PopupMenuWindows();
            WinRect row;
            if (menus.empty() || !PopupMenuItemRect(menus.front(), dropDownRow_, &row)) return false;
            int x = (row.left + row.right) / 2, y = (row.top + row.bottom) / 2;
            Win_InputMouse(menus.front(), WM_LBUTTONDOWN, x, y, MK_LBUTTON);
            Win_InputMouse(menus.front(), WM_LBUTTONUP, x, y, 0);
            return false;
        };
        Win_SetHooks(hooks);
    }
    void TearDown() override {
        Win_Terminate();
        Win_SetPdfDirectory("");
    }

    int MessageBoxes() const {
        int n = 0;
        for (const std::string& e : events_) n += e.find("\"source\":\"messagebox\"") != std::string::npos;
        return n;
    }

    TempDir dir_;
    WinHandle owner_ = 0;
    std::map<std::string, Actions> actions_;
    std::vector<std::string> seen_;
    std::vector<std::string> events_;
    int dropDownRow_ = 0;
};

TEST_F(PrintDialogs, FilledInByTheUser) {
    struct Case {
        const char* what;
        uint32_t flagsIn;
        Actions actions;
        bool ok;
        uint32_t rangeOut;  // PD_PAGENUMS, PD_SELECTION or 0
        int from, to, copies;
        int refusals;  // message boxes
    } cases[] = {
        {"OK as it opens", 0, [](WinHandle d) { ClickItem(d, IDOK); }, true, 0, 1, 1, 1, 0},
        {"typing pages chooses the range", 0,
         [](WinHandle d) {
             TypeInto(d, kFromEdit, "2");
             TypeInto(d, kToEdit, "5");
             ClickItem(d, IDOK);
         },
         true, PD_PAGENUMS, 2, 5, 1, 0},
        {"pages radio by click", 0,
         [](WinHandle d) {
             TypeInto(d, kToEdit, "9");
             ClickItem(d, kAllPagesRadio);
             ClickItem(d, kPagesRadio);
             Win_InputKey(VK_RETURN);
         },
         true, PD_PAGENUMS, 1, 9, 1, 0},
        {"all pages after typing pages", 0,
         [](WinHandle d) {
             TypeInto(d, kToEdit, "3");
             ClickItem(d, kAllPagesRadio);
             ClickItem(d, IDOK);
         },
         true, 0, 1, 1, 1, 0},
        {"copies typed", 0,
         [](WinHandle d) {
             TypeInto(d, kCopiesEdit, "3");
             ClickItem(d, IDOK);
         },
         true, 0, 1, 1, 3, 0},
        {"last page before the first", 0,
         [](WinHandle d) {
             TypeInto(d, kFromEdit, "5");
             TypeInto(d, kToEdit, "2");
             ClickItem(d, IDOK);
         },
         false, 0, 0, 0, 0, 1},
        {"page past the end", 0,
         [](WinHandle d) {
             TypeInto(d, kToEdit, "10");
             ClickItem(d, IDOK);
         },
         false, 0, 0, 0, 0, 1},
        {"page zero", 0,
         [](WinHandle d) {
             TypeInto(d, kFromEdit, "0");
             ClickItem(d, IDOK);
         },
         false, 0, 0, 0, 0, 1},
        {"copies not a number", 0,
         [](WinHandle d) {
             TypeInto(d, kCopiesEdit, "two");
             ClickItem(d, IDOK);
         },
         false, 0, 0, 0, 0, 1},
        {"copies too many", 0,
         [](WinHandle d) {
             TypeInto(d, kCopiesEdit, "1000");
             ClickItem(d, IDOK);
         },
         false, 0, 0, 0, 0, 1},
        {"refused, corrected, OK", 0,
         [](WinHandle d) {
             TypeInto(d, kCopiesEdit, "0");
             ClickItem(d, IDOK);
             TypeInto(d, kCopiesEdit, "2");
             ClickItem(d, IDOK);
         },
         true, 0, 1, 1, 2, 1},
        {"selection asked for comes checked", PD_SELECTION, [](WinHandle d) { ClickItem(d, IDOK); }, true,
         PD_SELECTION, 1, 1, 1, 0},
        {"no page numbers: the radio does nothing", PD_NOPAGENUMS,
         [](WinHandle d) {
             EXPECT_FALSE(Win_IsWindowEnabled(Win_GetDlgItem(d, kPagesRadio)));
             EXPECT_FALSE(Win_IsWindowEnabled(Win_GetDlgItem(d, kFromEdit)));
             ClickItem(d, kPagesRadio);
             ClickItem(d, IDOK);
         },
         true, 0, 1, 1, 1, 0},
        {"no selection: the radio does nothing", PD_NOSELECTION,
         [](WinHandle d) {
             ClickItem(d, kSelectionRadio);
             ClickItem(d, IDOK);
         },
         true, 0, 1, 1, 1, 0},
        {"Cancel", 0, [](WinHandle d) { ClickItem(d, IDCANCEL); }, false, 0, 0, 0, 0, 0},
        {"Escape", 0, [](WinHandle) { Win_InputKey(VK_ESCAPE); }, false, 0, 0, 0, 0, 0},
        {"nobody answers", 0, [](WinHandle) {}, false, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        actions_[kPrintDialogName] = c.actions;
        events_.clear();
        WinPrintDialog print;
        print.owner = owner_;
        print.flags = c.flagsIn;
        print.minPage = 1;
        print.maxPage = 9;
        EXPECT_EQ(Win_PrintDialog(&print), c.ok) << c.what;
        EXPECT_EQ(MessageBoxes(), c.refusals) << c.what;
        EXPECT_TRUE(Win_IsWindowEnabled(owner_)) << c.what;
        EXPECT_EQ(print.dc, nullptr) << c.what << ": no PD_RETURNDC, no context";
        if (!c.ok) continue;
        EXPECT_EQ(print.printer, "PDF") << c.what;
        EXPECT_EQ(print.flags & (PD_PAGENUMS | PD_SELECTION), c.rangeOut) << c.what;
        if (c.rangeOut == PD_PAGENUMS) {
            EXPECT_EQ(print.fromPage, c.from) << c.what;
            EXPECT_EQ(print.toPage, c.to) << c.what;
        }
        EXPECT_EQ(print.copies, c.copies) << c.what;
    }
}

TEST_F(PrintDialogs, PrinterListHasTheDefaultSelected) {
    std::vector<std::string> listed;
    std::string shown;
    actions_[kPrintDialogName] = [&](WinHandle d) {
        WinHandle combo = Win_GetDlgItem(d, kPrinterCombo);
        for (int i = 0; i < Win_ListCount(combo); ++i) listed.push_back(Win_ListText(combo, i));
        shown = Win_GetWindowText(combo);
        // Chosen again from the drop-down list.
        dropDownRow_ = Win_ListFind(combo, "PDF");
        WinRect rect;
        Win_GetWindowRect(combo, &rect);
        Win_InputMouse(d, WM_LBUTTONDOWN, rect.right - 4, (rect.top + rect.bottom) / 2, MK_LBUTTON);
        Win_InputMouse(d, WM_LBUTTONUP, rect.right - 4, (rect.top + rect.bottom) / 2, 0);
        ClickItem(d, IDOK);
    };
    WinPrintDialog print;
    ASSERT_TRUE(Win_PrintDialog(&print));
    std::vector<std::string> expected;
    for (const WinPrinter& printer : Win_EnumPrinters()) expected.push_back(printer.name);
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(shown, Win_DefaultPrinter());
    EXPECT_EQ(print.printer, "PDF");
}

// Properties from the print dialog: landscape and two copies; OK gives a context
// that prints a landscape page into the PDF directory.
TEST_F(PrintDialogs, PropertiesThenOkPrintsToPdf) {
    actions_[kPrintDialogName] = [](WinHandle d) {
        ClickItem(d, kPropertiesButton);
        EXPECT_EQ(Win_GetDlgItemText(d, kCopiesEdit), "2") << "copies come back from the properties";
        ClickItem(d, IDOK);
    };
    actions_[kPrinterPropertiesDialogName] = [](WinHandle d) {
        EXPECT_EQ(Win_IsDlgButtonChecked(d, kPortraitRadio), BST_CHECKED);
        EXPECT_EQ(Win_IsDlgButtonChecked(d, kA4Radio), BST_CHECKED);
        ClickItem(d, kLandscapeRadio);
        EXPECT_EQ(Win_IsDlgButtonChecked(d, kPortraitRadio), BST_UNCHECKED);
        TypeInto(d, kPropertiesCopiesEdit, "2");
        ClickItem(d, IDOK);
    };
    WinPrintDialog print;
    print.owner = owner_;
    print.flags = PD_RETURNDC;
    ASSERT_TRUE(Win_PrintDialog(&print));
    EXPECT_EQ(seen_, (std::vector<std::string>{kPrintDialogName, kPrinterPropertiesDialogName}));
    ASSERT_NE(print.dc, nullptr);
    EXPECT_EQ(print.copies, 2);
    EXPECT_GT(Win_GetDeviceCaps(print.dc, HORZRES), Win_GetDeviceCaps(print.dc, VERTRES)) << "landscape";
    ASSERT_GT(Win_StartDoc(print.dc, "From the dialog"), 0);
    ASSERT_GT(Win_StartPage(print.dc), 0);
    Win_TextOut(print.dc, 200, 200, "Printed from the dialog");
    ASSERT_GT(Win_EndPage(print.dc), 0);
    ASSERT_GT(Win_EndDoc(print.dc), 0);
    std::string file = Win_LastPrintFile(print.dc);
    Win_DeleteDC(print.dc);
    EXPECT_EQ(file.rfind(dir_.path(), 0), 0u) << file;
    int status = -1;
    std::string info = RunAndRead({"pdfinfo", file}, &status);
    ASSERT_EQ(status, 0) << info;
    EXPECT_NE(info.find("Pages:           1"), std::string::npos) << info;
    EXPECT_NE(info.find("841.89 x 595.2"), std::string::npos) << "A4 landscape: " << info;
    std::string text = RunAndRead({"pdftotext", file, "-"}, &status);
    EXPECT_NE(text.find("Printed from the dialog"), std::string::npos) << text;
}

TEST_F(PrintDialogs, PropertiesDialogAlone) {
    struct Case {
        const char* what;
        Actions actions;
        bool ok;
        bool landscape;
        int width, height, copies;
    } cases[] = {
        {"Letter", [](WinHandle d) { ClickItem(d, kLetterRadio), ClickItem(d, IDOK); }, true, false, 216, 279,
         1},
        {"landscape, 5 copies",
         [](WinHandle d) {
             ClickItem(d, kLandscapeRadio);
             TypeInto(d, kPropertiesCopiesEdit, "5");
             ClickItem(d, IDOK);
         },
         true, true, 210, 297, 5},
        {"copies refused", [](WinHandle d) { TypeInto(d, kPropertiesCopiesEdit, "x"), ClickItem(d, IDOK); },
         false, false, 0, 0, 0},
        {"Cancel", [](WinHandle d) { ClickItem(d, kLetterRadio), ClickItem(d, IDCANCEL); }, false, false, 0,
         0, 0},
    };
    for (const Case& c : cases) {
        actions_[kPrinterPropertiesDialogName] = c.actions;
        WinPrinterSettings settings;
        settings.copies = 1;
        EXPECT_EQ(Win_PrinterPropertiesDialog(owner_, "PDF", &settings), c.ok) << c.what;
        if (!c.ok) {
            EXPECT_EQ(settings.paperWidthMm, 210) << c.what << ": unchanged";
            continue;
        }
        EXPECT_EQ(settings.printer, "PDF");
        EXPECT_EQ(settings.landscape, c.landscape) << c.what;
        EXPECT_EQ(settings.paperWidthMm, c.width) << c.what;
        EXPECT_EQ(settings.paperHeightMm, c.height) << c.what;
        EXPECT_EQ(settings.copies, c.copies) << c.what;
    }
    WinPrinterSettings settings;
    EXPECT_FALSE(Win_PrinterPropertiesDialog(owner_, "Nowhere 9", &settings)) << "unknown printer";
}

// A hook that answers still comes first: no dialog opens.
TEST_F(PrintDialogs, AnsweringHookComesFirst) {
    WinHooks hooks;
    hooks.dialog = [this](WinHandle, const std::string& name) {
        seen_.push_back(name);
        return false;
    };
    hooks.printDialog = [](WinPrintDialog* dialog, bool* ok) {
        dialog->copies = 4;
        *ok = true;
        return true;
    };
    Win_SetHooks(hooks);
    WinPrintDialog print;
    ASSERT_TRUE(Win_PrintDialog(&print));
    EXPECT_EQ(print.copies, 4);
    EXPECT_TRUE(seen_.empty());
}

}  // namespace
