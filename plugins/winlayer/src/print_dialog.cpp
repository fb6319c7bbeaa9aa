// print_dialog.cpp - the print dialog and the printer-properties dialog. The hooks
// answer them; with no hook the user is taken to have cancelled.
#include <algorithm>

#include "desktop_internal.h"
#include "printers.h"

namespace {

bool ValidSettings(const WinPrinterSettings& settings) {
    return settings.copies >= 1 && settings.copies <= 999 && settings.paperWidthMm >= 10 &&
           settings.paperHeightMm >= 10 && settings.paperWidthMm <= 5000 && settings.paperHeightMm <= 5000;
}

}  // namespace

bool Print_RunDialog(WinPrintDialog* dialog, const WinHooks& hooks) {
    if (dialog == nullptr) return false;
    dialog->dc = nullptr;
    if (!hooks.printDialog) return false;
    WinPrintDialog answer = *dialog;
    bool ok = false;
    if (!hooks.printDialog(&answer, &ok) || !ok) return false;
    if (answer.printer.empty()) answer.printer = Win_DefaultPrinter();
    if (!Print_IsKnownPrinter(answer.printer) || answer.copies < 1) return false;
    if ((answer.flags & PD_PAGENUMS) != 0) {
        answer.fromPage =
            std::clamp(answer.fromPage, dialog->minPage, std::max(dialog->minPage, dialog->maxPage));
        answer.toPage =
            std::clamp(answer.toPage, answer.fromPage, std::max(answer.fromPage, dialog->maxPage));
    }
    answer.dc = nullptr;
    if ((answer.flags & PD_RETURNDC) != 0) {
        WinPrinterSettings settings;
        settings.printer = answer.printer;
        settings.copies = answer.copies;
        answer.dc = Win_CreatePrinterDC(answer.printer, &settings);
        if (answer.dc == nullptr) return false;
    }
    *dialog = answer;
    return true;
}

bool Print_RunPropertiesDialog(const std::string& printer, WinPrinterSettings* settings,
                               const WinHooks& hooks) {
    if (settings == nullptr || !hooks.printerProperties) return false;
    std::string name = printer.empty() ? Win_DefaultPrinter() : printer;
    if (!Print_IsKnownPrinter(name)) return false;
    WinPrinterSettings answer = *settings;
    answer.printer = name;
    bool ok = false;
    if (!hooks.printerProperties(name, &answer, &ok) || !ok || !ValidSettings(answer)) return false;
    answer.printer = name;
    *settings = answer;
    return true;
}

bool Win_PrintDialog(WinPrintDialog* dialog) { return Print_RunDialog(dialog, Desktop_Hooks()); }

bool Win_PrinterPropertiesDialog(WinHandle /*owner*/, const std::string& printer,
                                 WinPrinterSettings* settings) {
    return Print_RunPropertiesDialog(printer, settings, Desktop_Hooks());
}
