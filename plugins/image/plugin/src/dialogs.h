// dialogs.h - the zoom, rotation, contrast and presets dialogs. Each applies its
// changes to the view at once; Cancel puts back what the view showed before.
#pragma once

#include "instance.h"

namespace zyp {

enum class ViewDialog { Zoom, Rotate, Contrast, Presets };

// Runs the dialog modally over the view; the dialog's result (IDOK, IDCANCEL, or
// -1 when the language library lacks it).
intptr_t RunViewDialog(PluginInstance& instance, ViewDialog which);

// The dialog procedures (the dialog's creation parameter is the PluginInstance*).
intptr_t ZoomDialogProc(WinHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);
intptr_t RotateDialogProc(WinHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);
intptr_t ContrastDialogProc(WinHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);
intptr_t PresetsDialogProc(WinHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);

}  // namespace zyp
