// The windows of an instance: the outer window, the toolbar with its owner-drawn buttons,
// the view window's creation and size; control states and status texts.
#include <cstdlib>
#include <memory>

#include "arc_platform.h"
#include "controls.h"
#include "plugin_resources.h"
#include "viewer.h"

namespace afpview {

namespace {

constexpr const char* kOuterClass = "WOXOuterWndClass";
constexpr const char* kViewClass = "WOXViewWndClass";

intptr_t WoxPiOuterWndProc(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    WoxPiInstance* instance = InstanceOf(window);
    if (instance == nullptr) return Win_DefWindowProc(window, message, wParam, lParam);
    switch (message) {
        case WM_SETCURSOR: {
            const auto under = static_cast<WinHandle>(wParam);
            if (under != window && under != 0) {
                const uint32_t id = Win_GetControlId(under);
                if (id != 0 && id != Plugin().lastStatusControl) {
                    Plugin().lastStatusControl = id;
                    const uint32_t text = StatusStringFor(id, instance->imageViewFlag != 0);
                    if (text != 0 && Plugin().resources != nullptr)
                        BrowserStatus(*instance, CutText(ResourceText(text), kControlStatusLimit));
                }
            }
            break;
        }
        case WM_COMMAND:
            if (instance->view != 0) Win_SendMessage(instance->view, WM_COMMAND, wParam, lParam);
            return 0;
        case WM_SETFOCUS:
            if (instance->view != 0) Win_SetFocus(instance->view);
            return 0;
        default: break;
    }
    return Win_DefWindowProc(window, message, wParam, lParam);
}

void FillSolid(WinDC* dc, int x, int y, int width, int height, WinColor colour) {
    Win_FillSolid(dc, WinRect{x, y, x + width, y + height}, colour);
}

void DrawButton(const WoxPiInstance& instance, const WinDrawItem& item) {
    WinDC* dc = item.dc;
    const int l = item.rect.left, t = item.rect.top, r = item.rect.right, b = item.rect.bottom;
    const int w = r - l, h = b - t;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const bool latched = (item.ctlId == kCmdBitmapSelect && instance.selectionMode != 0) ||
                         (item.ctlId == kCmdTextSelect && instance.selectionMode == 0);
    const bool pressed = selected || latched;
    const WinColor face = Win_GetSysColor(COLOR_BTNFACE);
    const WinColor frame = Win_GetSysColor(COLOR_WINDOWFRAME);
    const WinColor shadow = Win_GetSysColor(COLOR_BTNSHADOW);
    const WinColor light = Win_GetSysColor(COLOR_BTNHIGHLIGHT);
    FillSolid(dc, l, t, w, h, face);
    // A frame without its corners.
    FillSolid(dc, l + 1, t, w - 2, 1, frame);
    FillSolid(dc, l + 1, b - 1, w - 2, 1, frame);
    FillSolid(dc, l, t + 1, 1, h - 2, frame);
    FillSolid(dc, r - 1, t + 1, 1, h - 2, frame);
    if (pressed) {
        FillSolid(dc, l + 1, t + 1, 1, h - 2, shadow);
        FillSolid(dc, l + 1, t + 1, w - 2, 1, shadow);
    } else {
        FillSolid(dc, l + 1, t + 1, 1, h - 3, light);
        FillSolid(dc, l + 1, t + 1, w - 3, 1, light);
        FillSolid(dc, r - 2, t + 1, 1, h - 2, shadow);
        FillSolid(dc, r - 3, t + 2, 1, h - 4, shadow);
        FillSolid(dc, l + 1, b - 2, w - 2, 1, shadow);
        FillSolid(dc, l + 2, b - 3, w - 4, 1, shadow);
    }
    const char* name = ToolbarPictureName(item.ctlId, latched);
    if (name == nullptr) return;
    std::unique_ptr<WinBitmap, void (*)(WinBitmap*)> bitmap(Win_LoadBitmap(Plugin().ownResources, name),
                                                            Win_DeleteBitmap);
    if (!bitmap) return;
    const int bw = Win_BitmapWidth(bitmap.get()), bh = Win_BitmapHeight(bitmap.get());
    const int shift = selected ? 1 : 0;
    Win_DrawBitmap(dc, l + (w - bw + 1) / 2 + shift, t + (h - bh + 1) / 2 + shift, bitmap.get());
}

intptr_t WoxPiToolbarDlgProc(WinHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    auto* instance = reinterpret_cast<WoxPiInstance*>(Win_GetDialogData(dialog));
    switch (message) {
        case WM_INITDIALOG:
            Win_SetDialogData(dialog, lParam);
            instance = reinterpret_cast<WoxPiInstance*>(lParam);
            if (instance != nullptr) instance->stopShown = false;
            if (WinHandle stop = Win_GetDlgItem(dialog, kCmdStop)) Win_ShowWindow(stop, SW_HIDE);
            return 1;
        case WM_PAINT: {
            WinPaint paint;
            WinDC* dc = Win_BeginPaint(dialog, &paint);
            WinRect client;
            Win_GetClientRect(dialog, &client);
            if (dc != nullptr) Win_FillSolid(dc, client, Win_GetSysColor(COLOR_BTNFACE));
            Win_EndPaint(dialog, &paint);
            return 1;
        }
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const WinDrawItem*>(lParam);
            if (instance != nullptr && item != nullptr && item->dc != nullptr) DrawButton(*instance, *item);
            return 1;
        }
        case WM_COMMAND: {
            if (instance == nullptr) return 0;
            const uint32_t id = static_cast<uint32_t>(WinLowWord(wParam));
            if (id == kCmdImageView || (id >= kCmdFindNext && id <= kCmdLastGrey))
                Win_SetFocus(instance->outer);
            Win_SendMessage(instance->outer, WM_COMMAND, wParam, lParam);
            return 1;
        }
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
            if (instance != nullptr) Win_SendMessage(instance->outer, message, wParam, lParam);
            return 1;
        default: return 0;
    }
}

void ShowPair(WinHandle toolbar, uint32_t live, bool showLive) {
    if (WinHandle button = Win_GetDlgItem(toolbar, live))
        Win_ShowWindow(button, showLive ? SW_SHOW : SW_HIDE);
    if (WinHandle twin = Win_GetDlgItem(toolbar, live + 1))
        Win_ShowWindow(twin, showLive ? SW_HIDE : SW_SHOW);
}

void SetLive(WoxPiInstance& instance, uint32_t live, bool on) {
    ShowPair(instance.toolbar, live, on);
    if (instance.popup != 0)
        Win_EnableMenuItem(instance.popup, live, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
}

}  // namespace

WoxPiInstance* InstanceOf(WinHandle window) {
    return reinterpret_cast<WoxPiInstance*>(Win_GetWindowWord(window, 0));
}

void RegisterWindowClasses() {
    WinClass outer;
    outer.name = kOuterClass;
    outer.style = CS_BYTEALIGNCLIENT;
    outer.extraBytes = 4;
    outer.procedure = WoxPiOuterWndProc;
    Win_RegisterClass(outer);
    WinClass view;
    view.name = kViewClass;
    view.style = CS_DBLCLKS | CS_OWNDC | CS_SAVEBITS | CS_BYTEALIGNCLIENT;
    view.extraBytes = 4;
    view.procedure = WoxPiViewWndProc;
    Win_RegisterClass(view);
}

void UnregisterWindowClasses() {
    Win_UnregisterClass(kOuterClass);
    Win_UnregisterClass(kViewClass);
}

bool MakeInstanceDirectory(WoxPiInstance& instance) {
    std::string base = "/tmp";
    if (std::optional<std::string> tmp = ArcOS_GetEnv("TMPDIR"); tmp && !tmp->empty() && tmp->front() == '/')
        base = *tmp;
    std::string pattern = base + "/qelafp-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) return false;  // mkdtemp makes it 0700
    instance.split.tempDir = pattern;
    return true;
}

void RemoveInstanceDirectory(WoxPiInstance& instance) {
    if (instance.split.tempDir.empty()) return;
    std::error_code error;
    std::filesystem::remove_all(instance.split.tempDir, error);
    instance.split.tempDir.clear();
}

int WoxPiInitInstance(WoxPiInstance* instance) {
    if (instance == nullptr) return 0;
    PluginState& plugin = Plugin();
    instance->split.mapDirectory = plugin.installDir + "font/maps";
    instance->split.currentSegment = -1;
    instance->menu = Win_LoadMenu(plugin.ownResources, "PuMenu");
    instance->popup = instance->menu != 0 ? Win_GetSubMenu(instance->menu, 0) : 0;
    instance->selectionMode = 0;
    if (plugin.api.VSSetTextSelMode != nullptr) plugin.api.VSSetTextSelMode(instance->document, 1);
    const PrintPreferences prefs = ReadPrintPreferences(Profile());
    instance->formdef = prefs.formdef;
    instance->printRange = prefs.range;
    instance->shrinkToFit = prefs.shrinkToFit;
    instance->rotateToFit = prefs.rotateToFit;
    return 1;
}

int WoxPiCreateWindows(WoxPiInstance* instance) {
    WinRect client;
    if (!Win_GetClientRect(instance->browserWindow, &client)) return 0;
    const int width = client.Width(), height = client.Height();
    instance->outer = Win_CreateWindow(kOuterClass, "", WS_CHILD | WS_VISIBLE, 0, 0, width, height,
                                       instance->browserWindow, 0, nullptr);
    if (instance->outer == 0) return 0;
    Win_SetWindowWord(instance->outer, 0, reinterpret_cast<intptr_t>(instance));
    instance->toolbar = Win_CreateDialog(Plugin().ownResources, "WOXTOOLBAR", instance->outer,
                                         WoxPiToolbarDlgProc, reinterpret_cast<intptr_t>(instance));
    if (instance->toolbar == 0) return 0;
    WinRect bar, outerClient;
    Win_GetWindowRect(instance->toolbar, &bar);
    Win_GetClientRect(instance->outer, &outerClient);
    const int toolbarHeight = bar.Height();
    Win_MoveWindow(instance->toolbar, 0, 0, outerClient.Width(), toolbarHeight, true);
    if (toolbarHeight == 0) return 0;
    instance->view =
        Win_CreateWindow(kViewClass, "", WS_CHILD | WS_VISIBLE | WS_HSCROLL | WS_VSCROLL, 0, toolbarHeight,
                         width, height - toolbarHeight, instance->outer, 0, nullptr);
    if (instance->view == 0) return 0;
    Win_SetWindowWord(instance->view, 0, reinterpret_cast<intptr_t>(instance));
    return 1;
}

int WoxPiResizeWindows(WoxPiInstance* instance, int width, int height) {
    if (instance->outer == 0) return 1;
    Win_MoveWindow(instance->outer, 0, 0, width, height, true);
    if (instance->toolbar == 0) return 1;
    WinRect bar, outerClient;
    Win_GetWindowRect(instance->toolbar, &bar);
    Win_GetClientRect(instance->outer, &outerClient);
    const int toolbarHeight = bar.Height();
    Win_MoveWindow(instance->toolbar, 0, 0, outerClient.Width(), toolbarHeight, true);
    if (instance->view != 0)
        Win_MoveWindow(instance->view, 0, toolbarHeight, width, height - toolbarHeight, true);
    return 1;
}

void ShowStop(WoxPiInstance& instance, bool show) {
    instance.stopShown = show;
    if (instance.toolbar == 0) return;
    if (WinHandle stop = Win_GetDlgItem(instance.toolbar, kCmdStop))
        Win_ShowWindow(stop, show ? SW_SHOW : SW_HIDE);
}

int WoxPiUpdateControls(WoxPiInstance* instance) {
    if (instance == nullptr || instance->document == 0) return 0;
    const EngineApi& api = Plugin().api;
    const int32_t current = api.VSGetCurrentPage(instance->document);
    const int32_t total = api.VSGetNumPages(instance->document);
    BrowserStatus(*instance, PageStatusText(ResourceText(1004), current, ResourceText(1005), total));
    SetLive(*instance, kCmdFindNext, instance->found);
    const Navigation navigation = NavigationFor(current, total);
    SetLive(*instance, kCmdFirst, navigation.backLive);
    SetLive(*instance, kCmdPrevious, navigation.backLive);
    SetLive(*instance, kCmdNext, navigation.forwardLive);
    SetLive(*instance, kCmdLast, navigation.forwardLive);
    return 1;
}

}  // namespace afpview
