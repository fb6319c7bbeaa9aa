// printers.h - the printer list and CUPS connections inside the printing code.
#pragma once

#include <cups/cups.h>

#include <string>
#include <vector>

#include "qel_win.h"

inline constexpr const char* kPdfPrinter = "PDF";

// A connection to the CUPS server, or none when no server answers in time.
class CupsConnection {
public:
    CupsConnection();
    ~CupsConnection();
    CupsConnection(const CupsConnection&) = delete;
    CupsConnection& operator=(const CupsConnection&) = delete;
    http_t* Get() const { return http_; }

private:
    http_t* http_ = nullptr;
};

std::vector<WinPrinter> Print_CupsPrinters(CupsConnection& connection);
bool Print_IsKnownPrinter(const std::string& name);
std::string Print_PdfDirectory();

// The dialogs with the hooks given (Win_PrintDialog and Win_PrinterPropertiesDialog
// pass the installed ones); a hook that does not answer leaves it to the real dialog.
bool Print_RunDialog(WinPrintDialog* dialog, const WinHooks& hooks);
bool Print_RunPropertiesDialog(WinHandle owner, const std::string& printer, WinPrinterSettings* settings,
                               const WinHooks& hooks);
