// plugin_resources.h - the plug-in's own resources: the toolbar dialog "WOXTOOLBAR", the
// popup menu "PuMenu", the toolbar pictures and the logo "IDR_KVR_LOGO".
#pragma once

#include "qel_win.h"

namespace afpview {

const WinResourceTable* PluginResourceTable();

// The picture drawn for a toolbar button: id and state (live, or the other state of the
// table: greyed twin or latched selection mode). Null for an id without a picture.
const char* ToolbarPictureName(uint32_t id, bool otherState);

}  // namespace afpview
