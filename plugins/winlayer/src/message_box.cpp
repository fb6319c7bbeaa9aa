// message_box.cpp - message boxes (a real dialog with text and buttons), beeps and
// help calls, each reported to the event log.
#include <algorithm>

#include "descriptions.h"
#include "desktop_state.h"

namespace {

struct BoxButton {
    int id;
    const char* text;
};

std::vector<BoxButton> ButtonsOf(uint32_t flags) {
    switch (flags & 0xFu) {
        case MB_OKCANCEL: return {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
        case MB_YESNOCANCEL: return {{IDYES, "Yes"}, {IDNO, "No"}, {IDCANCEL, "Cancel"}};
        case MB_YESNO: return {{IDYES, "Yes"}, {IDNO, "No"}};
        default: return {{IDOK, "OK"}};
    }
}

intptr_t MessageBoxProc(WinHandle box, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == WM_INITDIALOG) {
        Win_SetDialogData(box, lParam);
        return 1;
    }
    if (message != WM_COMMAND) return 0;
    auto flags = static_cast<uint32_t>(Win_GetDialogData(box));
    std::vector<BoxButton> buttons = ButtonsOf(flags);
    int id = WinLowWord(wParam);
    for (const BoxButton& button : buttons) {
        if (button.id == id) return Win_EndDialog(box, id);
    }
    // Escape on a box with only OK is its OK.
    if (id == IDCANCEL && buttons.size() == 1) return Win_EndDialog(box, IDOK);
    return 1;
}

DialogDescription Describe(const std::string& text, const std::string& caption, uint32_t flags) {
    std::vector<BoxButton> buttons = ButtonsOf(flags);
    int lines = 1;
    size_t longest = 0, start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        longest = std::max(longest, end - start);
        if (end < text.size()) ++lines;
        start = end + 1;
    }
    lines = std::min(lines, 40);
    DialogDescription box;
    int buttonCount = static_cast<int>(buttons.size());
    box.width =
        std::clamp(static_cast<int>(std::min<size_t>(longest, 120)) * 5 + 24, buttonCount * 56 + 10, 640);
    box.height = lines * 10 + 44;
    box.style = WS_POPUP | WS_CAPTION | WS_BORDER;
    box.caption = caption;
    ControlDescription label;
    label.className = "STATIC";
    label.id = 0xFFFF;
    label.x = 10, label.y = 8, label.width = box.width - 20, label.height = lines * 10;
    label.style = WS_CHILD | WS_VISIBLE;
    label.text = text;
    box.controls.push_back(label);
    int x = box.width - buttonCount * 56;
    for (size_t i = 0; i < buttons.size(); ++i) {
        ControlDescription button;
        button.className = "BUTTON";
        button.id = static_cast<uint32_t>(buttons[i].id);
        button.x = x + static_cast<int>(i) * 56, button.y = box.height - 22, button.width = 50,
        button.height = 14;
        button.style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (i == 0 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        button.text = buttons[i].text;
        box.controls.push_back(button);
    }
    return box;
}

}  // namespace

int Win_MessageBox(WinHandle owner, const std::string& text, const std::string& caption, uint32_t flags) {
    Desktop& desktop = TheDesktop();
    std::vector<BoxButton> buttons = ButtonsOf(flags);
    int answer = buttons.front().id;
    bool hook = false;
    bool disableOwner = owner != 0 && Win_IsWindowEnabled(owner);
    if (disableOwner) Win_EnableWindow(owner, false);
    WinHandle box = desktop.initialized
                        ? CreateDialogWindow(Describe(text, caption, flags), "MessageBox", owner,
                                             MessageBoxProc, static_cast<intptr_t>(flags), true)
                        : 0;
    if (box != 0) Win_PumpMessages();
    if (desktop.hooks.messageBox && desktop.hooks.messageBox(text, caption, flags, &answer)) {
        hook = true;
    } else if (box != 0 && desktop.kind != WinBackend::Headless) {
        bool unanswered = false;
        answer = static_cast<int>(RunModalLoop(box, &unanswered));
    } else {
        answer = buttons.front().id;  // headless and nobody answers: the first button
    }
    if (box != 0) Win_DestroyWindow(box);
    if (disableOwner) Win_EnableWindow(owner, true);
    LogEventFields("messagebox",
                   "\"text\":" + Win_JsonString(text) + ",\"caption\":" + Win_JsonString(caption) +
                       ",\"flags\":" + std::to_string(flags) + ",\"answer\":" + std::to_string(answer) +
                       ",\"hook\":" + (hook ? "true" : "false"));
    return answer;
}

void Win_MessageBeep(uint32_t type) { LogEventFields("beep", "\"type\":" + std::to_string(type)); }

bool Win_WinHelp(WinHandle window, const std::string& file, uint32_t command, uintptr_t data) {
    LogEventFields("help", "\"window\":" + std::to_string(window) + ",\"file\":" + Win_JsonString(file) +
                               ",\"command\":" + std::to_string(command) +
                               ",\"data\":" + std::to_string(data));
    return true;
}
