// vsin_dialogs.cpp - dialog descriptions and procedures of the engine.
#include "vsin_dialogs.h"

#include <charconv>

namespace knvw {
namespace {

const WinNamedText kDialogs[] = {
    {kZoomDialog,
     "DIALOG 0 0 160 64\n"
     "STYLE popup|caption|border|visible\n"
     "CAPTION \"Zoom\"\n"
     "CONTROL STATIC 100 8 10 50 10 - \"Zoom (%):\"\n"
     "CONTROL COMBOBOX 101 62 8 60 80 tabstop \"100\"\n"
     "CONTROL BUTTON 1 24 40 50 14 defpushbutton|tabstop \"OK\"\n"
     "CONTROL BUTTON 2 86 40 50 14 pushbutton|tabstop \"Cancel\"\n"},
    {kRotationDialog,
     "DIALOG 0 0 150 100\n"
     "STYLE popup|caption|border|visible\n"
     "CAPTION \"Rotation\"\n"
     "CONTROL BUTTON 200 6 4 138 68 groupbox \"Turn the page by\"\n"
     "CONTROL BUTTON 201 16 16 100 12 autoradiobutton|group|tabstop \"0 degrees\"\n"
     "CONTROL BUTTON 202 16 28 100 12 autoradiobutton \"90 degrees\"\n"
     "CONTROL BUTTON 203 16 40 100 12 autoradiobutton \"180 degrees\"\n"
     "CONTROL BUTTON 204 16 52 100 12 autoradiobutton \"270 degrees\"\n"
     "CONTROL BUTTON 1 20 78 50 14 defpushbutton|tabstop \"OK\"\n"
     "CONTROL BUTTON 2 80 78 50 14 pushbutton|tabstop \"Cancel\"\n"},
    {kGotoDialog,
     "DIALOG 0 0 190 84\n"
     "STYLE popup|caption|border|visible\n"
     "CAPTION \"Go To Page\"\n"
     "CONTROL STATIC 300 8 10 60 10 - \"Page:\"\n"
     "CONTROL EDIT 301 70 8 40 12 tabstop \"\"\n"
     "CONTROL STATIC 303 116 10 70 10 - \"\"\n"
     "CONTROL STATIC 304 8 30 60 10 - \"Page name:\"\n"
     "CONTROL COMBOBOX 302 70 28 112 80 tabstop \"\"\n"
     "CONTROL BUTTON 1 36 60 50 14 defpushbutton|tabstop \"OK\"\n"
     "CONTROL BUTTON 2 104 60 50 14 pushbutton|tabstop \"Cancel\"\n"},
    {kFindDialog,
     "DIALOG 0 0 220 92\n"
     "STYLE popup|caption|border|visible\n"
     "CAPTION \"Find\"\n"
     "CONTROL STATIC 400 8 10 40 10 - \"Find:\"\n"
     "CONTROL EDIT 401 50 8 162 12 tabstop \"\"\n"
     "CONTROL BUTTON 402 8 28 100 12 autocheckbox|tabstop \"Match case\"\n"
     "CONTROL BUTTON 403 8 42 100 12 autocheckbox|tabstop \"Whole words\"\n"
     "CONTROL BUTTON 404 112 28 100 12 autocheckbox|tabstop \"Search backward\"\n"
     "CONTROL BUTTON 1 50 68 50 14 defpushbutton|tabstop \"Find\"\n"
     "CONTROL BUTTON 2 120 68 50 14 pushbutton|tabstop \"Cancel\"\n"},
    {kSaveViewDialog,
     "DIALOG 0 0 200 84\n"
     "STYLE popup|caption|border|visible\n"
     "CAPTION \"Save View\"\n"
     "CONTROL STATIC 500 8 10 60 10 - \"Name:\"\n"
     "CONTROL EDIT 501 70 8 122 12 tabstop \"\"\n"
     "CONTROL STATIC 503 8 30 60 10 - \"Description:\"\n"
     "CONTROL EDIT 502 70 28 122 12 tabstop \"\"\n"
     "CONTROL BUTTON 1 40 60 50 14 defpushbutton|tabstop \"Save\"\n"
     "CONTROL BUTTON 2 110 60 50 14 pushbutton|tabstop \"Cancel\"\n"},
    {kGetViewDialog,
     "DIALOG 0 0 180 130\n"
     "STYLE popup|caption|border|visible\n"
     "CAPTION \"Get View\"\n"
     "CONTROL LISTBOX 601 8 8 164 90 tabstop \"\"\n"
     "CONTROL BUTTON 1 30 106 50 14 defpushbutton|tabstop \"Apply\"\n"
     "CONTROL BUTTON 2 100 106 50 14 pushbutton|tabstop \"Cancel\"\n"},
};

const WinResourceTable kTable = {nullptr, 0, nullptr, 0, kDialogs, sizeof kDialogs / sizeof kDialogs[0],
                                 nullptr, 0};

// What a dialog starts with and what it answers; handed over as the creation parameter.
struct DialogState {
    int number = 0, total = 0;
    std::vector<std::string> names;
    FindAnswer find;
    // Answers.
    std::string text, text2;
    int choice = 0;
    bool flag1 = false, flag2 = false, flag3 = false;
};

DialogState* StateOf(WinHandle dialog) { return reinterpret_cast<DialogState*>(Win_GetDialogData(dialog)); }

std::optional<int> ToInt(const std::string& text) {
    std::size_t begin = text.find_first_not_of(' ');
    if (begin == std::string::npos) return std::nullopt;
    std::size_t end = text.find_last_not_of(" %");
    int value = 0;
    const auto result = std::from_chars(text.data() + begin, text.data() + end + 1, value);
    if (result.ec != std::errc() || result.ptr != text.data() + end + 1) return std::nullopt;
    return value;
}

// Runs a dialog with a fresh module (the desktop may have been restarted in between).
intptr_t Run(const char* name, WinHandle owner, WinDlgProc procedure, DialogState& state) {
    WinModule* module = Win_ModuleFromTable(&kTable);
    if (!module) return -1;
    const intptr_t result = Win_DialogBox(module, name, owner, procedure, reinterpret_cast<intptr_t>(&state));
    Win_FreeModule(module);
    return result;
}

bool Init(WinHandle dialog, uint32_t message, intptr_t lParam) {
    if (message != WM_INITDIALOG) return false;
    Win_SetDialogData(dialog, lParam);
    return true;
}

intptr_t ZoomProc(WinHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (Init(dialog, message, lParam)) {
        const WinHandle combo = Win_GetDlgItem(dialog, kZoomCombo);
        for (const char* preset : {"25", "50", "75", "100", "125", "150", "200", "300", "400", "800"}) {
            Win_ListAddString(combo, preset);
        }
        Win_SetDlgItemInt(dialog, kZoomCombo, StateOf(dialog)->number);
        return 1;
    }
    if (message == WM_COMMAND && (WinLowWord(wParam) == IDOK || WinLowWord(wParam) == IDCANCEL)) {
        if (WinLowWord(wParam) == IDOK) {
            const auto value = ToInt(Win_GetDlgItemText(dialog, kZoomCombo));
            if (!value || *value <= 0) {
                Win_MessageBeep(MB_BEEP_DEFAULT);  // not a number: the dialog stays
                return 1;
            }
            StateOf(dialog)->choice = *value;
        }
        Win_EndDialog(dialog, WinLowWord(wParam));
        return 1;
    }
    return 0;
}

intptr_t RotationProc(WinHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    // Radio buttons in the order of degrees; the codes 1..4 are 0, 180, 90, 270.
    static constexpr int kCodeOf[] = {1, 3, 2, 4};
    if (Init(dialog, message, lParam)) {
        int button = 0;
        for (int i = 0; i < 4; ++i) {
            if (kCodeOf[i] == StateOf(dialog)->number) button = i;
        }
        Win_CheckRadioButton(dialog, kRotate0, kRotate0 + 3, kRotate0 + static_cast<uint32_t>(button));
        return 1;
    }
    if (message == WM_COMMAND && (WinLowWord(wParam) == IDOK || WinLowWord(wParam) == IDCANCEL)) {
        if (WinLowWord(wParam) == IDOK) {
            for (int i = 0; i < 4; ++i) {
                if (Win_IsDlgButtonChecked(dialog, kRotate0 + static_cast<uint32_t>(i)) == BST_CHECKED) {
                    StateOf(dialog)->choice = kCodeOf[i];
                }
            }
        }
        Win_EndDialog(dialog, WinLowWord(wParam));
        return 1;
    }
    return 0;
}

intptr_t GotoProc(WinHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (Init(dialog, message, lParam)) {
        DialogState* state = StateOf(dialog);
        Win_SetDlgItemInt(dialog, kGotoPage, state->number);
        Win_SetDlgItemText(dialog, 303, "of " + std::to_string(state->total));
        const WinHandle combo = Win_GetDlgItem(dialog, kGotoName);
        for (const auto& name : state->names) Win_ListAddString(combo, name);
        Win_EnableWindow(combo, !state->names.empty());
        return 1;
    }
    if (message == WM_COMMAND && WinLowWord(wParam) == kGotoName && WinHighWord(wParam) == CBN_SELCHANGE) {
        Win_SetDlgItemText(dialog, kGotoPage, "");  // a chosen name wins over the number
        return 1;
    }
    if (message == WM_COMMAND && (WinLowWord(wParam) == IDOK || WinLowWord(wParam) == IDCANCEL)) {
        if (WinLowWord(wParam) == IDOK) {
            StateOf(dialog)->text = Win_GetDlgItemText(dialog, kGotoPage);
            StateOf(dialog)->text2 = Win_GetWindowText(Win_GetDlgItem(dialog, kGotoName));
        }
        Win_EndDialog(dialog, WinLowWord(wParam));
        return 1;
    }
    return 0;
}

intptr_t FindProc(WinHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (Init(dialog, message, lParam)) {
        const FindAnswer& last = StateOf(dialog)->find;
        Win_SetDlgItemText(dialog, kFindText, last.text);
        Win_CheckDlgButton(dialog, kFindCase, last.matchCase ? BST_CHECKED : BST_UNCHECKED);
        Win_CheckDlgButton(dialog, kFindWord, last.wholeWord ? BST_CHECKED : BST_UNCHECKED);
        Win_CheckDlgButton(dialog, kFindBackward, last.backward ? BST_CHECKED : BST_UNCHECKED);
        return 1;
    }
    if (message == WM_COMMAND && (WinLowWord(wParam) == IDOK || WinLowWord(wParam) == IDCANCEL)) {
        if (WinLowWord(wParam) == IDOK) {
            DialogState* state = StateOf(dialog);
            state->text = Win_GetDlgItemText(dialog, kFindText);
            state->flag1 = Win_IsDlgButtonChecked(dialog, kFindCase) == BST_CHECKED;
            state->flag2 = Win_IsDlgButtonChecked(dialog, kFindWord) == BST_CHECKED;
            state->flag3 = Win_IsDlgButtonChecked(dialog, kFindBackward) == BST_CHECKED;
        }
        Win_EndDialog(dialog, WinLowWord(wParam));
        return 1;
    }
    return 0;
}

intptr_t SaveViewProc(WinHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (Init(dialog, message, lParam)) return 1;
    if (message == WM_COMMAND && (WinLowWord(wParam) == IDOK || WinLowWord(wParam) == IDCANCEL)) {
        if (WinLowWord(wParam) == IDOK) {
            DialogState* state = StateOf(dialog);
            state->text = Win_GetDlgItemText(dialog, kViewName);
            state->text2 = Win_GetDlgItemText(dialog, kViewDescription);
            if (state->text.find_first_not_of(' ') == std::string::npos) {
                Win_MessageBeep(MB_BEEP_DEFAULT);  // a view needs a name
                return 1;
            }
        }
        Win_EndDialog(dialog, WinLowWord(wParam));
        return 1;
    }
    return 0;
}

intptr_t GetViewProc(WinHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (Init(dialog, message, lParam)) {
        const WinHandle list = Win_GetDlgItem(dialog, kViewList);
        for (const auto& name : StateOf(dialog)->names) Win_ListAddString(list, name);
        if (!StateOf(dialog)->names.empty()) Win_ListSetSelection(list, 0);
        return 1;
    }
    const bool chosen =
        message == WM_COMMAND && WinLowWord(wParam) == kViewList && WinHighWord(wParam) == LBN_DBLCLK;
    if (chosen || (message == WM_COMMAND && (WinLowWord(wParam) == IDOK || WinLowWord(wParam) == IDCANCEL))) {
        const int answer = chosen ? IDOK : WinLowWord(wParam);
        if (answer == IDOK) {
            const WinHandle list = Win_GetDlgItem(dialog, kViewList);
            const int selection = Win_ListSelection(list);
            if (selection < 0) {
                Win_MessageBeep(MB_BEEP_DEFAULT);
                return 1;
            }
            StateOf(dialog)->text = Win_ListText(list, selection);
        }
        Win_EndDialog(dialog, answer);
        return 1;
    }
    return 0;
}

}  // namespace

std::optional<int> AskZoom(WinHandle owner, int current) {
    DialogState state;
    state.number = current;
    if (Run(kZoomDialog, owner, ZoomProc, state) != IDOK) return std::nullopt;
    return state.choice;
}

std::optional<int> AskRotation(WinHandle owner, int currentCode) {
    DialogState state;
    state.number = currentCode;
    if (Run(kRotationDialog, owner, RotationProc, state) != IDOK || state.choice == 0) return std::nullopt;
    return state.choice;
}

std::optional<GotoAnswer> AskGoto(WinHandle owner, int current, int total,
                                  const std::vector<std::string>& names) {
    DialogState state;
    state.number = current;
    state.total = total;
    state.names = names;
    if (Run(kGotoDialog, owner, GotoProc, state) != IDOK) return std::nullopt;
    return GotoAnswer{state.text, state.text2};
}

std::optional<FindAnswer> AskFind(WinHandle owner, const FindAnswer& last) {
    DialogState state;
    state.find = last;
    if (Run(kFindDialog, owner, FindProc, state) != IDOK) return std::nullopt;
    return FindAnswer{state.text, state.flag1, state.flag2, state.flag3};
}

std::optional<SaveViewAnswer> AskSaveView(WinHandle owner) {
    DialogState state;
    if (Run(kSaveViewDialog, owner, SaveViewProc, state) != IDOK) return std::nullopt;
    return SaveViewAnswer{state.text, state.text2};
}

std::optional<std::string> AskGetView(WinHandle owner, const std::vector<std::string>& names) {
    DialogState state;
    state.names = names;
    if (Run(kGetViewDialog, owner, GetViewProc, state) != IDOK) return std::nullopt;
    return state.text;
}

}  // namespace knvw
