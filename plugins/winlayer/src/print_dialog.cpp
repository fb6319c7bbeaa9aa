// print_dialog.cpp - the print dialog and the printer-properties dialog. A hook
// answers first when one is set; otherwise they are real dialogs of the layer,
// built from the descriptions below.
#include <algorithm>
#include <cctype>

#include "desktop_internal.h"
#include "print_dialogs.h"
#include "printers.h"

namespace {

const char kPrintDescription[] = R"(DIALOG 0 0 260 150
STYLE popup|caption|border
CAPTION "Print"
CONTROL STATIC -1 8 8 40 10 - "Printer:"
CONTROL COMBOBOX 1001 50 6 140 12 tabstop ""
CONTROL BUTTON 1002 196 5 56 14 pushbutton|tabstop "Properties..."
CONTROL BUTTON -1 8 26 244 62 groupbox "Print range"
CONTROL BUTTON 1010 16 38 80 10 autoradiobutton|group|tabstop "All pages"
CONTROL BUTTON 1011 16 52 50 10 autoradiobutton "Pages"
CONTROL STATIC -1 70 53 24 10 - "from:"
CONTROL EDIT 1013 96 51 30 12 tabstop ""
CONTROL STATIC -1 132 53 14 10 - "to:"
CONTROL EDIT 1014 148 51 30 12 tabstop ""
CONTROL BUTTON 1012 16 68 80 10 autoradiobutton "Selection"
CONTROL STATIC -1 8 100 40 10 - "Copies:"
CONTROL EDIT 1020 50 98 30 12 group|tabstop "1"
CONTROL BUTTON 1 140 128 52 14 defpushbutton|tabstop "OK"
CONTROL BUTTON 2 200 128 52 14 pushbutton|tabstop "Cancel"
)";

const char kPropertiesDescription[] = R"(DIALOG 0 0 200 130
STYLE popup|caption|border
CAPTION "Printer Properties"
CONTROL BUTTON -1 8 6 88 46 groupbox "Orientation"
CONTROL BUTTON 1101 16 18 70 10 autoradiobutton|group|tabstop "Portrait"
CONTROL BUTTON 1102 16 34 70 10 autoradiobutton "Landscape"
CONTROL BUTTON -1 104 6 88 46 groupbox "Paper"
CONTROL BUTTON 1111 112 18 70 10 autoradiobutton|group|tabstop "A4"
CONTROL BUTTON 1112 112 34 70 10 autoradiobutton "Letter"
CONTROL STATIC -1 8 66 40 10 group "Copies:"
CONTROL EDIT 1120 50 64 30 12 tabstop "1"
CONTROL BUTTON 1 80 108 52 14 defpushbutton|tabstop "OK"
CONTROL BUTTON 2 140 108 52 14 pushbutton|tabstop "Cancel"
)";

const WinNamedText kDialogs[] = {
    {kPrintDialogName, kPrintDescription},
    {kPrinterPropertiesDialogName, kPropertiesDescription},
};
const WinResourceTable kTable = {nullptr, 0, nullptr, 0, kDialogs, 2, nullptr, 0};

constexpr int kMaxCopies = 999;
constexpr int kA4Width = 210, kA4Height = 297, kLetterWidth = 216, kLetterHeight = 279;

bool ValidSettings(const WinPrinterSettings& settings) {
    return settings.copies >= 1 && settings.copies <= kMaxCopies && settings.paperWidthMm >= 10 &&
           settings.paperHeightMm >= 10 && settings.paperWidthMm <= 5000 && settings.paperHeightMm <= 5000;
}

// A whole number in [low, high] with blanks around it; false for anything else.
bool ParseNumber(const std::string& text, int low, int high, int* value) {
    size_t begin = text.find_first_not_of(' ');
    size_t end = text.find_last_not_of(' ');
    if (begin == std::string::npos || end - begin > 8) return false;
    long number = 0;
    for (size_t i = begin; i <= end; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
        number = number * 10 + (text[i] - '0');
    }
    if (number < low || number > high) return false;
    *value = static_cast<int>(number);
    return true;
}

// Refuses an OK: says why and puts the focus on the field to correct.
intptr_t Refuse(WinHandle dialog, uint32_t field, const std::string& why) {
    Win_MessageBox(dialog, why, Win_GetWindowText(dialog), MB_OK | MB_ICONWARNING);
    if (WinHandle item = Win_GetDlgItem(dialog, field)) Win_SetFocus(item);
    return 1;
}

struct PrintSession {
    WinPrintDialog record;
    WinPrinterSettings settings;  // the properties dialog's, for settingsPrinter
    bool haveSettings = false;
    bool ready = false;  // set once the controls are filled (their changes are the user's after that)
};

struct PropertiesSession {
    WinPrinterSettings settings;
};

PrintSession* PrintSessionOf(WinHandle dialog) {
    return reinterpret_cast<PrintSession*>(Win_GetDialogData(dialog));
}

// Lists the printers once (each look-up may wait for the CUPS server) and selects the
// record's printer, else the default one.
void FillPrinters(WinHandle dialog, const WinPrintDialog& record) {
    WinHandle combo = Win_GetDlgItem(dialog, kPrinterCombo);
    int selected = -1, fallback = -1;
    for (const WinPrinter& printer : Win_EnumPrinters()) {
        int index = Win_ListAddString(combo, printer.name);
        if (!record.printer.empty() && printer.name == record.printer) selected = index;
        if (printer.isDefault && fallback < 0) fallback = index;
    }
    if (selected < 0) selected = fallback >= 0 ? fallback : 0;
    Win_ListSetSelection(combo, selected);
}

void InitPrint(WinHandle dialog, PrintSession* session) {
    Win_SetDialogData(dialog, reinterpret_cast<intptr_t>(session));
    const WinPrintDialog& record = session->record;
    FillPrinters(dialog, record);
    bool pages = (record.flags & PD_NOPAGENUMS) == 0;
    bool selection = (record.flags & PD_NOSELECTION) == 0;
    uint32_t checked = kAllPagesRadio;
    if ((record.flags & PD_PAGENUMS) != 0 && pages) checked = kPagesRadio;
    if ((record.flags & PD_SELECTION) != 0 && selection) checked = kSelectionRadio;
    Win_CheckRadioButton(dialog, kAllPagesRadio, kSelectionRadio, checked);
    Win_SetDlgItemInt(dialog, kFromEdit, record.fromPage);
    Win_SetDlgItemInt(dialog, kToEdit, record.toPage);
    Win_SetDlgItemInt(dialog, kCopiesEdit, std::clamp(record.copies, 1, kMaxCopies));
    for (uint32_t id : {kPagesRadio, kFromEdit, kToEdit}) Win_EnableWindow(Win_GetDlgItem(dialog, id), pages);
    Win_EnableWindow(Win_GetDlgItem(dialog, kSelectionRadio), selection);
    session->ready = true;
}

intptr_t PrintOk(WinHandle dialog, PrintSession* session) {
    WinPrintDialog& record = session->record;
    std::string printer = Win_GetDlgItemText(dialog, kPrinterCombo);
    if (Win_ListFind(Win_GetDlgItem(dialog, kPrinterCombo), printer) < 0 || !Print_IsKnownPrinter(printer))
        return Refuse(dialog, kPrinterCombo, "Choose one of the printers in the list.");
    int copies = 0;
    if (!ParseNumber(Win_GetDlgItemText(dialog, kCopiesEdit), 1, kMaxCopies, &copies))
        return Refuse(dialog, kCopiesEdit, "The number of copies must be from 1 to 999.");
    uint32_t flags = record.flags & ~(PD_SELECTION | PD_PAGENUMS);
    if (Win_IsDlgButtonChecked(dialog, kPagesRadio) == BST_CHECKED) {
        int low = record.minPage, high = std::max(record.minPage, record.maxPage);
        int from = 0, to = 0;
        std::string range = "Enter pages from " + std::to_string(low) + " to " + std::to_string(high) + ".";
        if (!ParseNumber(Win_GetDlgItemText(dialog, kFromEdit), low, high, &from))
            return Refuse(dialog, kFromEdit, range);
        if (!ParseNumber(Win_GetDlgItemText(dialog, kToEdit), low, high, &to))
            return Refuse(dialog, kToEdit, range);
        if (from > to) return Refuse(dialog, kToEdit, "The last page comes before the first.");
        record.fromPage = from;
        record.toPage = to;
        flags |= PD_PAGENUMS;
    } else if (Win_IsDlgButtonChecked(dialog, kSelectionRadio) == BST_CHECKED) {
        flags |= PD_SELECTION;
    }
    record.flags = flags;
    record.copies = copies;
    record.printer = printer;
    return Win_EndDialog(dialog, IDOK);
}

void PrintProperties(WinHandle dialog, PrintSession* session) {
    std::string printer = Win_GetDlgItemText(dialog, kPrinterCombo);
    WinPrinterSettings settings;
    if (session->haveSettings && session->settings.printer == printer) settings = session->settings;
    int copies = 0;
    if (ParseNumber(Win_GetDlgItemText(dialog, kCopiesEdit), 1, kMaxCopies, &copies))
        settings.copies = copies;
    if (!Win_PrinterPropertiesDialog(dialog, printer, &settings)) return;
    session->settings = settings;
    session->haveSettings = true;
    Win_SetDlgItemInt(dialog, kCopiesEdit, settings.copies);
}

intptr_t PrintDialogProc(WinHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == WM_INITDIALOG) {
        InitPrint(dialog, reinterpret_cast<PrintSession*>(lParam));
        return 1;
    }
    PrintSession* session = PrintSessionOf(dialog);
    if (message != WM_COMMAND || session == nullptr) return 0;
    uint32_t id = static_cast<uint32_t>(WinLowWord(wParam));
    int code = WinHighWord(wParam);
    switch (id) {
        case IDOK: return PrintOk(dialog, session);
        case IDCANCEL: return Win_EndDialog(dialog, IDCANCEL);
        case kPropertiesButton:
            if (code == BN_CLICKED) PrintProperties(dialog, session);
            return 1;
        case kFromEdit:
        case kToEdit:
            // Typing a page number chooses the page range.
            if (code == EN_CHANGE && session->ready &&
                Win_IsWindowEnabled(Win_GetDlgItem(dialog, kPagesRadio)))
                Win_CheckRadioButton(dialog, kAllPagesRadio, kSelectionRadio, kPagesRadio);
            return 1;
        default: return 0;
    }
}

intptr_t PropertiesDialogProc(WinHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == WM_INITDIALOG) {
        auto* session = reinterpret_cast<PropertiesSession*>(lParam);
        Win_SetDialogData(dialog, lParam);
        const WinPrinterSettings& s = session->settings;
        Win_SetWindowText(dialog, "Printer Properties - " + s.printer);
        Win_CheckRadioButton(dialog, kPortraitRadio, kLandscapeRadio,
                             s.landscape ? kLandscapeRadio : kPortraitRadio);
        if (s.paperWidthMm == kA4Width && s.paperHeightMm == kA4Height)
            Win_CheckDlgButton(dialog, kA4Radio, BST_CHECKED);
        if (s.paperWidthMm == kLetterWidth && s.paperHeightMm == kLetterHeight)
            Win_CheckDlgButton(dialog, kLetterRadio, BST_CHECKED);
        Win_SetDlgItemInt(dialog, kPropertiesCopiesEdit, std::clamp(s.copies, 1, kMaxCopies));
        return 1;
    }
    auto* session = reinterpret_cast<PropertiesSession*>(Win_GetDialogData(dialog));
    if (message != WM_COMMAND || session == nullptr) return 0;
    switch (WinLowWord(wParam)) {
        case IDOK: {
            int copies = 0;
            if (!ParseNumber(Win_GetDlgItemText(dialog, kPropertiesCopiesEdit), 1, kMaxCopies, &copies))
                return Refuse(dialog, kPropertiesCopiesEdit, "The number of copies must be from 1 to 999.");
            WinPrinterSettings& s = session->settings;
            s.copies = copies;
            s.landscape = Win_IsDlgButtonChecked(dialog, kLandscapeRadio) == BST_CHECKED;
            // A paper size neither button names stays as it was.
            if (Win_IsDlgButtonChecked(dialog, kA4Radio) == BST_CHECKED)
                s.paperWidthMm = kA4Width, s.paperHeightMm = kA4Height;
            if (Win_IsDlgButtonChecked(dialog, kLetterRadio) == BST_CHECKED)
                s.paperWidthMm = kLetterWidth, s.paperHeightMm = kLetterHeight;
            return Win_EndDialog(dialog, IDOK);
        }
        case IDCANCEL: return Win_EndDialog(dialog, IDCANCEL);
        default: return 0;
    }
}

intptr_t RunBuiltInDialog(const char* name, WinHandle owner, WinDlgProc procedure, void* session) {
    WinModule* module = Win_ModuleFromTable(&kTable);
    intptr_t result = Win_DialogBox(module, name, owner, procedure, reinterpret_cast<intptr_t>(session));
    Win_FreeModule(module);
    return result;
}

// The answer checked and completed: the default printer, pages in range, the
// printer context when asked for. A printer check asks CUPS, so none is made here
// when the caller made it (printerChecked) or Win_CreatePrinterDC is to make it.
bool Finish(WinPrintDialog* dialog, WinPrintDialog answer, const WinPrinterSettings* properties,
            bool printerChecked) {
    if (answer.printer.empty()) answer.printer = Win_DefaultPrinter();
    if (answer.copies < 1) return false;
    bool wantDc = (answer.flags & PD_RETURNDC) != 0;
    if (!printerChecked && !wantDc && !Print_IsKnownPrinter(answer.printer)) return false;
    if ((answer.flags & PD_PAGENUMS) != 0) {
        answer.fromPage =
            std::clamp(answer.fromPage, dialog->minPage, std::max(dialog->minPage, dialog->maxPage));
        answer.toPage =
            std::clamp(answer.toPage, answer.fromPage, std::max(answer.fromPage, dialog->maxPage));
    }
    answer.dc = nullptr;
    if (wantDc) {
        WinPrinterSettings settings;
        if (properties != nullptr && properties->printer == answer.printer) settings = *properties;
        settings.printer = answer.printer;
        settings.copies = answer.copies;
        answer.dc = Win_CreatePrinterDC(answer.printer, &settings);
        if (answer.dc == nullptr) return false;
    }
    *dialog = answer;
    return true;
}

}  // namespace

bool Print_RunDialog(WinPrintDialog* dialog, const WinHooks& hooks) {
    if (dialog == nullptr) return false;
    dialog->dc = nullptr;
    if (hooks.printDialog) {
        WinPrintDialog answer = *dialog;
        bool ok = false;
        if (hooks.printDialog(&answer, &ok)) return ok && Finish(dialog, answer, nullptr, false);
    }
    PrintSession session;
    session.record = *dialog;
    if (RunBuiltInDialog(kPrintDialogName, dialog->owner, PrintDialogProc, &session) != IDOK) return false;
    // The dialog's OK checked the printer.
    return Finish(dialog, session.record, session.haveSettings ? &session.settings : nullptr, true);
}

bool Print_RunPropertiesDialog(WinHandle owner, const std::string& printer, WinPrinterSettings* settings,
                               const WinHooks& hooks) {
    if (settings == nullptr) return false;
    std::string name = printer.empty() ? Win_DefaultPrinter() : printer;
    if (!Print_IsKnownPrinter(name)) return false;
    WinPrinterSettings answer = *settings;
    answer.printer = name;
    if (hooks.printerProperties) {
        bool ok = false;
        if (hooks.printerProperties(name, &answer, &ok)) {
            if (!ok || !ValidSettings(answer)) return false;
            answer.printer = name;
            *settings = answer;
            return true;
        }
        answer = *settings;
        answer.printer = name;
    }
    PropertiesSession session{answer};
    if (RunBuiltInDialog(kPrinterPropertiesDialogName, owner, PropertiesDialogProc, &session) != IDOK)
        return false;
    if (!ValidSettings(session.settings)) return false;
    session.settings.printer = name;
    *settings = session.settings;
    return true;
}

bool Win_PrintDialog(WinPrintDialog* dialog) { return Print_RunDialog(dialog, Desktop_Hooks()); }

bool Win_PrinterPropertiesDialog(WinHandle owner, const std::string& printer, WinPrinterSettings* settings) {
    return Print_RunPropertiesDialog(owner, printer, settings, Desktop_Hooks());
}
