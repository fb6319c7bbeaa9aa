// plugin_windows.h - the windows of an instance: the browser window's replacement
// procedure, the outer window, the toolbar dialog and the view window.
#pragma once

#include "instance.h"

namespace zyp {

intptr_t BrowserWindowProc(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
intptr_t OuterWindowProc(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
intptr_t ViewWindowProc(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
intptr_t ToolbarDialogProc(WinHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Subclasses the browser window and creates the outer window, toolbar and view
// inside it. false when a window cannot be made or the toolbar has no height.
bool AttachWindows(PluginInstance& instance, WinHandle browserWindow);
// Destroys the child windows and gives the browser window its procedure back.
void DetachWindows(PluginInstance& instance);
// Sizes outer window, toolbar and view to the browser window's client area.
void LayoutWindows(PluginInstance& instance);
// The toolbar's enabled buttons follow the page and the selection.
void UpdateToolbar(PluginInstance& instance);
// The status-line hint of the toolbar control under the pointer.
void ShowHint(PluginInstance& instance, WinHandle windowUnderPointer);

}  // namespace zyp
