// print_dialogs.h - names and control ids of the built-in print and printer-properties
// dialogs (the dialog hook sees these names; tests drive the controls by these ids).
#pragma once

#include <cstdint>

inline constexpr const char* kPrintDialogName = "PrintDialog";
inline constexpr const char* kPrinterPropertiesDialogName = "PrinterProperties";

// The print dialog.
inline constexpr uint32_t kPrinterCombo = 1001;
inline constexpr uint32_t kPropertiesButton = 1002;
inline constexpr uint32_t kAllPagesRadio = 1010;
inline constexpr uint32_t kPagesRadio = 1011;
inline constexpr uint32_t kSelectionRadio = 1012;
inline constexpr uint32_t kFromEdit = 1013;
inline constexpr uint32_t kToEdit = 1014;
inline constexpr uint32_t kCopiesEdit = 1020;

// The printer-properties dialog.
inline constexpr uint32_t kPortraitRadio = 1101;
inline constexpr uint32_t kLandscapeRadio = 1102;
inline constexpr uint32_t kA4Radio = 1111;
inline constexpr uint32_t kLetterRadio = 1112;
inline constexpr uint32_t kPropertiesCopiesEdit = 1120;
