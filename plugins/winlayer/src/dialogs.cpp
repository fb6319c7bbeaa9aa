// dialogs.cpp - dialogs built from descriptions: modal and modeless, dialog data,
// keyboard handling and the dialog item helpers.
#include <string>

#include "descriptions.h"
#include "desktop_state.h"

namespace {

const char* const kDialogClass = "DIALOG";

intptr_t DialogWindowProc(WinHandle handle, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    Window* window = FindWindow(handle);
    if (window == nullptr) return 0;
    WinDlgProc procedure = window->dialog ? window->dialog->procedure : nullptr;
    intptr_t handled = procedure != nullptr ? procedure(handle, message, wParam, lParam) : 0;
    if (message == WM_INITDIALOG || handled != 0) return handled;
    if (message == WM_CLOSE) {
        // Closing a dialog is its Cancel.
        DeliverMessage(handle, WM_COMMAND, static_cast<uintptr_t>(WinMakeLParam(IDCANCEL, BN_CLICKED)),
                       static_cast<intptr_t>(Win_GetDlgItem(handle, IDCANCEL)));
        return 0;
    }
    return Win_DefWindowProc(handle, message, wParam, lParam);
}

void EnsureDialogClass() {
    if (TheDesktop().classes.count(kDialogClass) != 0) return;
    WinClass windowClass;
    windowClass.name = kDialogClass;
    windowClass.procedure = DialogWindowProc;
    windowClass.background = kFaceColor;
    Win_RegisterClass(windowClass);
}

bool Focusable(WinHandle handle) {
    Window* window = FindWindow(handle);
    return window != nullptr && (window->style & WS_TABSTOP) && Win_IsWindowVisible(handle) &&
           Win_IsWindowEnabled(handle);
}

WinHandle FirstTabStop(WinHandle dialog) {
    for (WinHandle child : Win_GetChildren(dialog)) {
        Window* window = FindWindow(child);
        if (window != nullptr && (window->style & WS_TABSTOP) && (window->style & WS_VISIBLE) &&
            !(window->style & WS_DISABLED))
            return child;
    }
    return 0;
}

void LogDialog(const std::string& name, WinHandle dialog, const char* event, const std::string& more) {
    LogEventFields("dialog", "\"event\":\"" + std::string(event) + "\",\"name\":" + Win_JsonString(name) +
                                 ",\"window\":" + std::to_string(dialog) + more);
}

}  // namespace

WinHandle CreateDialogWindow(const DialogDescription& description, const std::string& name, WinHandle parent,
                             WinDlgProc procedure, intptr_t parameter, bool modal) {
    EnsureDialogClass();
    bool child = !modal && (description.style & WS_CHILD) && parent != 0;
    WinPoint at{DialogUnitsX(description.x), DialogUnitsY(description.y)};
    if (!child && parent != 0) Win_ClientToScreen(parent, &at);
    uint32_t style = (description.style & ~WS_VISIBLE) | (child ? WS_CHILD : WS_POPUP);
    if (!child) style &= ~WS_CHILD;
    WinHandle dialog = Win_CreateWindow(kDialogClass, description.caption, style, at.x, at.y,
                                        DialogUnitsX(description.width), DialogUnitsY(description.height),
                                        child ? parent : 0, 0, nullptr);
    if (dialog == 0) return 0;
    auto state = std::make_unique<DialogState>();
    state->name = name;
    state->procedure = procedure;
    FindWindow(dialog)->dialog = std::move(state);

    for (const ControlDescription& control : description.controls) {
        Win_CreateWindow(control.className, control.text, control.style, DialogUnitsX(control.x),
                         DialogUnitsY(control.y), DialogUnitsX(control.width), DialogUnitsY(control.height),
                         dialog, control.id, nullptr);
    }
    if (FindWindow(dialog) == nullptr) return 0;
    LogDialog(name, dialog, "open", modal ? ",\"modal\":true" : ",\"modal\":false");
    WinHandle first = FirstTabStop(dialog);
    if (DeliverMessage(dialog, WM_INITDIALOG, first, parameter) != 0 && first != 0 &&
        FindWindow(first) != nullptr)
        Win_SetFocus(first);
    if (FindWindow(dialog) != nullptr && (modal || (description.style & WS_VISIBLE)))
        Win_ShowWindow(dialog, SW_SHOW);
    return FindWindow(dialog) != nullptr ? dialog : 0;
}

intptr_t RunModalLoop(WinHandle dialog, bool* unanswered) {
    Desktop& desktop = TheDesktop();
    *unanswered = false;
    for (;;) {
        Window* window = FindWindow(dialog);
        if (window == nullptr || !window->dialog) return IDCANCEL;
        if (window->dialog->ended) return window->dialog->result;
        int dispatched = Win_PumpMessages();
        window = FindWindow(dialog);
        if (window == nullptr || !window->dialog) return IDCANCEL;
        if (window->dialog->ended) return window->dialog->result;
        bool input = !desktop.quitRequested && desktop.backend && desktop.backend->WaitForInput(20);
        if (desktop.quitRequested || (!input && dispatched == 0)) {
            // Nobody is there to answer: the dialog is cancelled.
            *unanswered = true;
            Win_EndDialog(dialog, IDCANCEL);
        }
    }
}

intptr_t Win_DialogBox(const WinModule* module, const std::string& name, WinHandle owner,
                       WinDlgProc procedure, intptr_t parameter) {
    DialogDescription description;
    if (!LoadDialogDescription(module, name, &description)) return -1;
    bool disableOwner = owner != 0 && Win_IsWindowEnabled(owner);
    if (disableOwner) Win_EnableWindow(owner, false);
    WinHandle dialog = CreateDialogWindow(description, name, owner, procedure, parameter, true);
    if (dialog == 0) {
        if (disableOwner) Win_EnableWindow(owner, true);
        return -1;
    }
    Win_PumpMessages();
    Desktop& desktop = TheDesktop();
    Window* window = FindWindow(dialog);
    bool answered = false;
    if (window != nullptr && window->dialog && !window->dialog->ended && desktop.hooks.dialog)
        answered = desktop.hooks.dialog(dialog, name);
    bool unanswered = false;
    intptr_t result = RunModalLoop(dialog, &unanswered);
    if (disableOwner) Win_EnableWindow(owner, true);
    Win_DestroyWindow(dialog);
    LogDialog(name, dialog, "end",
              ",\"result\":" + std::to_string(result) + ",\"hook\":" + (answered ? "true" : "false") +
                  ",\"endedWhenIdle\":" + (unanswered ? "true" : "false"));
    return result;
}

WinHandle Win_CreateDialog(const WinModule* module, const std::string& name, WinHandle parent,
                           WinDlgProc procedure, intptr_t parameter) {
    DialogDescription description;
    if (!LoadDialogDescription(module, name, &description)) return 0;
    return CreateDialogWindow(description, name, parent, procedure, parameter, false);
}

bool Win_EndDialog(WinHandle dialog, intptr_t result) {
    Window* window = FindWindow(dialog);
    if (window == nullptr || !window->dialog) return false;
    window->dialog->ended = true;
    window->dialog->result = result;
    Win_ShowWindow(dialog, SW_HIDE);
    return true;
}

intptr_t Win_SetDialogData(WinHandle dialog, intptr_t value) {
    Window* window = FindWindow(dialog);
    if (window == nullptr || !window->dialog) return 0;
    intptr_t old = window->dialog->data;
    window->dialog->data = value;
    return old;
}

intptr_t Win_GetDialogData(WinHandle dialog) {
    Window* window = FindWindow(dialog);
    return window == nullptr || !window->dialog ? 0 : window->dialog->data;
}

WinHandle DialogOf(WinHandle handle) {
    for (Window* window = FindWindow(handle); window != nullptr; window = FindWindow(window->parent)) {
        if (window->dialog) return window->handle;
    }
    return 0;
}

namespace {

bool IsPushButton(WinHandle handle) {
    Window* window = FindWindow(handle);
    if (window == nullptr || !IsControlClass(*window, "BUTTON")) return false;
    uint32_t kind = window->style & 0xFu;
    return kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON;
}

WinHandle DefaultButton(WinHandle dialog) {
    for (WinHandle child : Win_GetChildren(dialog)) {
        Window* window = FindWindow(child);
        if (window != nullptr && IsControlClass(*window, "BUTTON") &&
            (window->style & 0xFu) == BS_DEFPUSHBUTTON && Win_IsWindowEnabled(child))
            return child;
    }
    return 0;
}

void NextTabStop(WinHandle dialog) {
    std::vector<WinHandle> children = Win_GetChildren(dialog);
    if (children.empty()) return;
    size_t start = 0;
    WinHandle focus = Win_GetFocus();
    for (size_t i = 0; i < children.size(); ++i) {
        if (children[i] == focus) start = i + 1;
    }
    for (size_t n = 0; n < children.size(); ++n) {
        WinHandle candidate = children[(start + n) % children.size()];
        if (Focusable(candidate)) {
            Win_SetFocus(candidate);
            return;
        }
    }
}

}  // namespace

bool DialogKey(WinHandle dialog, int virtualKey) {
    switch (virtualKey) {
        case VK_RETURN: {
            WinHandle focus = Win_GetFocus();
            WinHandle button =
                IsPushButton(focus) && DialogOf(focus) == dialog ? focus : DefaultButton(dialog);
            if (button != 0) {
                ClickButton(button);
            } else {
                DeliverMessage(dialog, WM_COMMAND, static_cast<uintptr_t>(WinMakeLParam(IDOK, BN_CLICKED)),
                               0);
            }
            return true;
        }
        case VK_ESCAPE:
            DeliverMessage(dialog, WM_COMMAND, static_cast<uintptr_t>(WinMakeLParam(IDCANCEL, BN_CLICKED)),
                           static_cast<intptr_t>(Win_GetDlgItem(dialog, IDCANCEL)));
            return true;
        case VK_TAB: NextTabStop(dialog); return true;
        default: return false;
    }
}

// ---------------------------------------------------------------------------
// Dialog items
// ---------------------------------------------------------------------------

WinHandle Win_GetDlgItem(WinHandle dialog, uint32_t id) {
    for (WinHandle child : Win_GetChildren(dialog)) {
        if (Win_GetControlId(child) == id) return child;
    }
    return 0;
}

bool Win_SetDlgItemText(WinHandle dialog, uint32_t id, std::string_view text) {
    WinHandle item = Win_GetDlgItem(dialog, id);
    return item != 0 && Win_SetWindowText(item, text);
}

std::string Win_GetDlgItemText(WinHandle dialog, uint32_t id) {
    return Win_GetWindowText(Win_GetDlgItem(dialog, id));
}

bool Win_SetDlgItemInt(WinHandle dialog, uint32_t id, int value) {
    return Win_SetDlgItemText(dialog, id, std::to_string(value));
}

namespace {

Window* ButtonItem(WinHandle dialog, uint32_t id) {
    Window* window = FindWindow(Win_GetDlgItem(dialog, id));
    return window != nullptr && IsControlClass(*window, "BUTTON") ? window : nullptr;
}

}  // namespace

bool Win_CheckDlgButton(WinHandle dialog, uint32_t id, int state) {
    Window* window = ButtonItem(dialog, id);
    if (window == nullptr) return false;
    SetButtonCheck(window->handle, state);
    return true;
}

int Win_IsDlgButtonChecked(WinHandle dialog, uint32_t id) {
    Window* window = ButtonItem(dialog, id);
    return window == nullptr || !window->control ? BST_UNCHECKED : window->control->check;
}

bool Win_CheckRadioButton(WinHandle dialog, uint32_t first, uint32_t last, uint32_t checked) {
    if (FindWindow(dialog) == nullptr || first > last) return false;
    for (WinHandle child : Win_GetChildren(dialog)) {
        uint32_t id = Win_GetControlId(child);
        Window* window = FindWindow(child);
        if (id >= first && id <= last && window != nullptr && IsControlClass(*window, "BUTTON"))
            SetButtonCheck(child, id == checked ? BST_CHECKED : BST_UNCHECKED);
    }
    return true;
}

bool Win_ClickButton(WinHandle dialog, uint32_t id) {
    Window* window = ButtonItem(dialog, id);
    if (window == nullptr || !Win_IsWindowEnabled(window->handle)) return false;
    ClickButton(window->handle);
    return true;
}
