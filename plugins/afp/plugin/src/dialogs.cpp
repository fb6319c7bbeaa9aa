// The print dialog, the printer set-up dialog, the segment question and the About box
// with its logo window.
#include <algorithm>
#include <charconv>
#include <memory>
#include <vector>

#include "print_plan.h"
#include "viewer.h"

namespace afpview {

namespace {

enum : uint32_t {
    kFirstPageEdit = 30003,
    kFirstPageLabel = 30004,
    kLastPageEdit = 30005,
    kLastPageLabel = 30006,
    kSetup = 30007,
    kPrinterName = 30008,
    kShrink = 30009,
    kRotate = 30010,
    kCopies = 30011,
    kPrinterList = 30050,
    kProperties = 30051,
    kLogoPlace = 1100,
};

// A page number or copies count as typed: digits only, else none.
std::optional<int32_t> Number(const std::string& text) {
    int32_t value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || ptr != end || value < 0) return std::nullopt;
    return value;
}

std::string DisplayName(const WinPrinter& printer) {
    return printer.port.empty() ? printer.name : printer.name + ResourceText(1015) + printer.port;
}

std::string DefaultPrinterDisplay() {
    const std::string name = Win_DefaultPrinter();
    for (const WinPrinter& printer : Win_EnumPrinters()) {
        if (printer.name == name) return DisplayName(printer);
    }
    return {};
}

void EnableRange(WinHandle dialog, bool enable) {
    for (uint32_t id : {kFirstPageEdit, kFirstPageLabel, kLastPageEdit, kLastPageLabel}) {
        if (WinHandle control = Win_GetDlgItem(dialog, id)) Win_EnableWindow(control, enable);
    }
}

void ShowPrinterName(WinHandle dialog, const WoxPiInstance& instance) {
    std::string name = instance.printerDisplay.empty() ? DefaultPrinterDisplay() : instance.printerDisplay;
    const bool none = name.empty();
    if (none) name = ResourceText(1013);
    Win_SetDlgItemText(dialog, kPrinterName, name);
    if (WinHandle ok = Win_GetDlgItem(dialog, IDOK)) Win_EnableWindow(ok, !none);
}

// Device and port of a display name; the driver from the printer list.
void TakePrinter(WoxPiInstance& instance, const std::string& display) {
    const std::string separator = ResourceText(1015);
    const size_t at = separator.empty() ? std::string::npos : display.find(separator);
    instance.printerDisplay = display;
    instance.printerDevice = at == std::string::npos ? display : display.substr(0, at);
    instance.printerPort = at == std::string::npos ? "" : display.substr(at + separator.size());
    instance.printerDriver.clear();
    for (const WinPrinter& printer : Win_EnumPrinters()) {
        if (printer.name == instance.printerDevice) instance.printerDriver = printer.driver;
    }
}

bool AcceptPrint(WinHandle dialog, WoxPiInstance& instance) {
    const int32_t total = instance.document != 0 ? Plugin().api.VSGetNumPages(instance.document) : 0;
    int32_t range = kRangeAll;
    if (Win_IsDlgButtonChecked(dialog, kRangeCurrent) == BST_CHECKED) range = kRangeCurrent;
    if (Win_IsDlgButtonChecked(dialog, kRangePages) == BST_CHECKED) range = kRangePages;
    if (range == kRangePages) {
        const std::optional<int32_t> first = Number(Win_GetDlgItemText(dialog, kFirstPageEdit));
        const std::optional<int32_t> last = Number(Win_GetDlgItemText(dialog, kLastPageEdit));
        uint32_t wrong = 0;
        if (!first || *first < 1 || *first > total) {
            wrong = kFirstPageEdit;
        } else if (!last || *last < *first || *last > total) {
            wrong = kLastPageEdit;
        }
        if (wrong != 0) {
            Win_SetFocus(Win_GetDlgItem(dialog, wrong));
            Win_MessageBox(dialog, ResourceText(1012), ResourceText(1011), MB_OK);
            return false;
        }
        instance.firstPage = *first;
        instance.lastPage = *last;
    }
    std::string display = instance.printerDisplay.empty() ? DefaultPrinterDisplay() : instance.printerDisplay;
    if (display.empty()) {
        Win_MessageBeep(MB_BEEP_DEFAULT);
        return false;
    }
    const std::optional<int32_t> copies = Number(Win_GetDlgItemText(dialog, kCopies).substr(0, 2));
    instance.copies = static_cast<int16_t>(copies && *copies > 0 ? *copies : 1);
    instance.printRange = range;
    instance.shrinkToFit = Win_IsDlgButtonChecked(dialog, kShrink) == BST_CHECKED ? 1 : 0;
    instance.rotateToFit = Win_IsDlgButtonChecked(dialog, kRotate) == BST_CHECKED ? 1 : 0;
    TakePrinter(instance, display);
    return true;
}

// The printers of the open set-up dialog, in list order.
std::vector<WinPrinter>& ListedPrinters() {
    static std::vector<WinPrinter> printers;
    return printers;
}

intptr_t SetupDlgProc(WinHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    auto* instance = reinterpret_cast<WoxPiInstance*>(Win_GetDialogData(dialog));
    const WinHandle list = Win_GetDlgItem(dialog, kPrinterList);
    if (message == WM_INITDIALOG) {
        Win_SetDialogData(dialog, lParam);
        instance = reinterpret_cast<WoxPiInstance*>(lParam);
        ListedPrinters() = Win_EnumPrinters();
        size_t widest = 0;
        int chosen = -1, fallback = -1;
        const std::string named = Win_DefaultPrinter();
        for (const WinPrinter& printer : ListedPrinters()) {
            const std::string display = DisplayName(printer);
            const int index = Win_ListAddString(list, display);
            widest = std::max(widest, display.size());
            if (instance != nullptr && display == instance->printerDisplay) chosen = index;
            if (printer.isDefault && fallback < 0) fallback = index;
            if (printer.name == named && fallback < 0) fallback = index;
        }
        Win_ListSetHorizontalExtent(list, static_cast<int>(widest) * 6 + 5);
        Win_ListSetSelection(list, chosen >= 0 ? chosen : fallback);
        Win_EnableWindow(Win_GetDlgItem(dialog, kProperties), Win_ListSelection(list) >= 0);
        return 1;
    }
    if (message != WM_COMMAND || instance == nullptr) return 0;
    const int selected = Win_ListSelection(list);
    const bool valid = selected >= 0 && static_cast<size_t>(selected) < ListedPrinters().size();
    switch (WinLowWord(wParam)) {
        case kPrinterList:
            if (WinHighWord(wParam) == LBN_SELCHANGE && valid) {
                Win_EnableWindow(Win_GetDlgItem(dialog, kProperties), true);
                // Driver settings belong to one printer.
                if (Plugin().driverSettings.printer != ListedPrinters()[selected].name)
                    Plugin().haveDriverSettings = false;
            } else if (WinHighWord(wParam) == LBN_DBLCLK) {
                Win_SendMessage(dialog, WM_COMMAND, IDOK, 0);
            }
            return 1;
        case kProperties: {
            if (!valid) return 1;
            const std::string& name = ListedPrinters()[selected].name;
            WinPrinterSettings settings =
                Plugin().haveDriverSettings ? Plugin().driverSettings : WinPrinterSettings{};
            settings.printer = name;
            if (Win_PrinterPropertiesDialog(dialog, name, &settings)) {
                settings.printer = name;
                Plugin().driverSettings = settings;
                Plugin().haveDriverSettings = true;
            }
            return 1;
        }
        case IDOK:
            if (valid) instance->printerDisplay = DisplayName(ListedPrinters()[selected]);
            Win_EndDialog(dialog, 1);
            return 1;
        case IDCANCEL: Win_EndDialog(dialog, 0); return 1;
        default: return 0;
    }
}

intptr_t PrintDlgProc(WinHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    auto* instance = reinterpret_cast<WoxPiInstance*>(Win_GetDialogData(dialog));
    if (message == WM_INITDIALOG) {
        Win_SetDialogData(dialog, lParam);
        instance = reinterpret_cast<WoxPiInstance*>(lParam);
        if (instance == nullptr) return 1;
        Win_CheckRadioButton(dialog, kRangeAll, kRangePages, static_cast<uint32_t>(instance->printRange));
        EnableRange(dialog, instance->printRange == kRangePages);
        if (instance->firstPage > 0) Win_SetDlgItemInt(dialog, kFirstPageEdit, instance->firstPage);
        if (instance->lastPage > 0) Win_SetDlgItemInt(dialog, kLastPageEdit, instance->lastPage);
        Win_CheckDlgButton(dialog, kShrink, instance->shrinkToFit ? BST_CHECKED : BST_UNCHECKED);
        Win_CheckDlgButton(dialog, kRotate, instance->rotateToFit ? BST_CHECKED : BST_UNCHECKED);
        const int32_t total = instance->document != 0 ? Plugin().api.VSGetNumPages(instance->document) : 0;
        if (total < 2) {
            Win_CheckRadioButton(dialog, kRangeAll, kRangePages, kRangeAll);
            EnableRange(dialog, false);
            Win_EnableWindow(Win_GetDlgItem(dialog, kRangeCurrent), false);
            Win_EnableWindow(Win_GetDlgItem(dialog, kRangePages), false);
        }
        Win_SetDlgItemText(dialog, kCopies, "1");
        ShowPrinterName(dialog, *instance);
        return 1;
    }
    if (message != WM_COMMAND || instance == nullptr) return 0;
    switch (WinLowWord(wParam)) {
        case kRangeAll:
        case kRangeCurrent: EnableRange(dialog, false); return 1;
        case kRangePages: EnableRange(dialog, true); return 1;
        case IDOK:
            if (AcceptPrint(dialog, *instance)) Win_EndDialog(dialog, 1);
            return 1;
        case IDCANCEL: Win_EndDialog(dialog, 2); return 1;
        case kSetup:
            Win_DialogBox(Plugin().resources, "P16PrtSet", dialog, SetupDlgProc,
                          reinterpret_cast<intptr_t>(instance));
            ShowPrinterName(dialog, *instance);
            return 1;
        default: return 0;
    }
}

constexpr const char* kLogoClass = "Logo";

intptr_t LogoWndProc(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message != WM_PAINT) return Win_DefWindowProc(window, message, wParam, lParam);
    WinPaint paint;
    WinDC* dc = Win_BeginPaint(window, &paint);
    std::unique_ptr<WinBitmap, void (*)(WinBitmap*)> logo(
        Win_LoadBitmap(Plugin().ownResources, "IDR_KVR_LOGO"), Win_DeleteBitmap);
    WinRect client;
    Win_GetClientRect(window, &client);
    if (dc != nullptr && logo) {
        const int bw = Win_BitmapWidth(logo.get()), bh = Win_BitmapHeight(logo.get());
        const int cw = client.Width(), ch = client.Height();
        if (bw > cw || bh > ch) {
            // Scaled down to the full width or height, proportions kept, centred the other way.
            int w = cw, h = bh * cw / std::max(bw, 1);
            if (h > ch) {
                h = ch;
                w = bw * ch / std::max(bh, 1);
            }
            Win_StretchBitmap(dc, (cw - w) / 2, (ch - h) / 2, w, h, logo.get(), 0, 0, bw, bh);
        } else {
            Win_DrawBitmap(dc, (cw - bw) / 2, (ch - bh) / 2, logo.get());
        }
    }
    Win_EndPaint(window, &paint);
    return 0;
}

intptr_t ConfirmDlgProc(WinHandle dialog, uint32_t message, uintptr_t wParam, intptr_t) {
    if (message == WM_INITDIALOG) {
        // The About box shares this procedure: its logo goes where the template keeps room.
        if (WinHandle place = Win_GetDlgItem(dialog, kLogoPlace)) {
            WinRect rect;
            Win_GetWindowRect(place, &rect);
            Win_CreateWindow(kLogoClass, "", WS_CHILD | WS_VISIBLE, rect.left, rect.top, rect.Width(),
                             rect.Height(), dialog, 0, nullptr);
        }
        if (WinHandle ok = Win_GetDlgItem(dialog, IDOK)) Win_SetFocus(ok);
        return 0;
    }
    if (message == WM_COMMAND) {
        const int id = WinLowWord(wParam);
        if (id == IDOK || id == IDCANCEL || id == IDYES) {
            Win_EndDialog(dialog, id);
            return 1;
        }
    }
    return 0;
}

}  // namespace

intptr_t ShowPrintDialog(WoxPiInstance& instance) {
    return Win_DialogBox(Plugin().resources, "P16Print", instance.browserWindow, PrintDlgProc,
                         reinterpret_cast<intptr_t>(&instance));
}

int ConfirmSegment(WoxPiInstance& instance) {
    const intptr_t answer =
        Win_DialogBox(Plugin().resources, "ConfirmSeg", instance.browserWindow, ConfirmDlgProc, 0);
    // Without the resource library there is nobody to ask: the segment is fetched.
    return answer < 0 ? IDOK : static_cast<int>(answer);
}

void ShowAbout(WoxPiInstance& instance, WinHandle owner) {
    WinClass logo;
    logo.name = kLogoClass;
    logo.style = CS_VREDRAW | CS_HREDRAW;
    logo.procedure = LogoWndProc;
    if (!Win_RegisterClass(logo)) return;
    Win_DialogBox(Plugin().resources, "PIDABOUT", owner != 0 ? owner : instance.view, ConfirmDlgProc, 0);
    Win_UnregisterClass(kLogoClass);
}

}  // namespace afpview
