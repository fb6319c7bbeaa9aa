// windows.cpp - the browser window's replacement procedure, the outer window and
// laying the instance's windows out.
#include "plugin_state.h"
#include "plugin_windows.h"
#include "view.h"

namespace zyp {

PluginInstance* InstanceOfWindow(WinHandle window) {
    return reinterpret_cast<PluginInstance*>(Win_GetWindowWord(window, 0));
}

PluginInstance* DialogInstance(WinHandle dialog, uint32_t message, intptr_t lParam) {
    if (message == WM_INITDIALOG) Win_SetDialogData(dialog, lParam);
    return reinterpret_cast<PluginInstance*>(Win_GetDialogData(dialog));
}

namespace {

// Status-line hints of the toolbar controls.
uint32_t HintOf(uint32_t control) {
    static const std::pair<uint32_t, uint32_t> hints[] = {
        {kCmdZoom, 500},      {kCmdRotate, 501},       {kCmdCopy, 502},     {kCmdContrast, 503},
        {kCmdPrint, 504},     {kCmdGrey, 505},         {kCmdPresets, 506},  {kCmdHelp, 507},
        {kCmdFirstPage, 508}, {kCmdPreviousPage, 509}, {kCmdNextPage, 510}, {kCmdLastPage, 511},
    };
    for (const auto& [id, text] : hints) {
        if (id == control) return text;
    }
    return 0;
}

}  // namespace

// The pointer is over window: a toolbar control shows its hint, anything else
// clears the status line (each once, when the pointer moves to another control).
void ShowHint(PluginInstance& in, WinHandle window) {
    uint32_t control = in.toolbar && Win_GetParent(window) == in.toolbar ? Win_GetControlId(window) : 0;
    if (control == in.hintedControl) return;
    in.hintedControl = control;
    uint32_t text = HintOf(control);
    BrowserStatus(in.npp, text ? LanguageString(text) : std::string());
}

intptr_t BrowserWindowProc(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    auto* in = reinterpret_cast<PluginInstance*>(Win_GetProp(window, kInstanceProperty));
    if (!in || !in->browserProc) return Win_DefWindowProc(window, message, wParam, lParam);
    WinProc original = in->browserProc;
    if (message == WM_SIZE) LayoutWindows(*in);
    if (message == WM_DESTROY) {
        // The browser window goes with our windows inside it.
        Win_SetWindowProc(window, original);
        Win_RemoveProp(window, kInstanceProperty);
        in->browserWindow = 0;
        in->browserProc = nullptr;
    }
    return Win_CallWindowProc(original, window, message, wParam, lParam);
}

intptr_t OuterWindowProc(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == WM_CREATE) Win_SetWindowWord(window, 0, lParam);
    PluginInstance* in = InstanceOfWindow(window);
    if (!in) return Win_DefWindowProc(window, message, wParam, lParam);
    switch (message) {
        case WM_SETFOCUS:
            if (in->viewWindow) Win_SetFocus(in->viewWindow);
            return 0;
        case WM_COMMAND:
            if (in->viewWindow) return Win_SendMessage(in->viewWindow, WM_COMMAND, wParam, lParam);
            return 0;
        case WM_SETCURSOR: ShowHint(*in, static_cast<WinHandle>(wParam)); break;
        case WM_DESTROY: in->outerWindow = 0; break;
        default: break;
    }
    return Win_DefWindowProc(window, message, wParam, lParam);
}

void LayoutWindows(PluginInstance& in) {
    WinRect client;
    if (!in.browserWindow || !Win_GetClientRect(in.browserWindow, &client)) return;
    int width = client.Width(), height = client.Height();
    if (in.outerWindow) Win_MoveWindow(in.outerWindow, 0, 0, width, height, true);
    if (in.toolbar) Win_MoveWindow(in.toolbar, 0, 0, width, in.toolbarHeight, true);
    if (in.viewWindow) {
        Win_MoveWindow(in.viewWindow, 0, in.toolbarHeight, width, std::max(height - in.toolbarHeight, 0),
                       true);
    }
    RefreshGeometry(in);
    RepaintView(in);
}

void DetachWindows(PluginInstance& in) {
    if (in.outerWindow) Win_DestroyWindow(in.outerWindow);  // toolbar and view with it
    in.outerWindow = in.toolbar = in.viewWindow = 0;
    if (in.browserWindow && in.browserProc) {
        Win_SetWindowProc(in.browserWindow, in.browserProc);
        Win_RemoveProp(in.browserWindow, kInstanceProperty);
    }
    in.browserWindow = 0;
    in.browserProc = nullptr;
    in.hintedControl = 0;
}

bool AttachWindows(PluginInstance& in, WinHandle browser) {
    // Child windows of an earlier browser window go first.
    DetachWindows(in);
    in.browserWindow = browser;
    in.browserProc = Win_SetWindowProc(browser, BrowserWindowProc);
    Win_SetProp(browser, kInstanceProperty, reinterpret_cast<intptr_t>(&in));

    WinRect client;
    Win_GetClientRect(browser, &client);
    in.outerWindow = Win_CreateWindow(kOuterClass, "", WS_CHILD | WS_VISIBLE, 0, 0, client.Width(),
                                      client.Height(), browser, 0, &in);
    if (!in.outerWindow) return false;
    in.toolbar = Win_CreateDialog(State().language, "ZYPTOOLBAR", in.outerWindow, ToolbarDialogProc,
                                  reinterpret_cast<intptr_t>(&in));
    WinRect bar;
    if (!in.toolbar || !Win_GetWindowRect(in.toolbar, &bar) || bar.Height() <= 0) return false;
    in.toolbarHeight = bar.Height();
    Win_MoveWindow(in.toolbar, 0, 0, client.Width(), in.toolbarHeight, true);
    in.viewWindow = Win_CreateWindow(kViewClass, "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL, 0,
                                     in.toolbarHeight, client.Width(),
                                     std::max(client.Height() - in.toolbarHeight, 0), in.outerWindow, 0, &in);
    if (!in.viewWindow) return false;
    Win_ShowScrollBar(browser, SB_BOTH, false);
    RefreshGeometry(in);
    UpdateToolbar(in);
    return true;
}

}  // namespace zyp
