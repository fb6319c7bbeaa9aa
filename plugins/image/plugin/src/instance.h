// instance.h - one embedded image: its image-library objects, windows and view state.
#pragma once

#include <map>
#include <string>

#include "geometry.h"
#include "presets.h"
#include "qel_npapi.h"
#include "qel_win.h"
#include "zypm.h"

namespace zyp {

// Toolbar commands (also the toolbar buttons' control ids).
enum : uint32_t {
    kCmdZoom = 32071,
    kCmdRotate = 32072,
    kCmdContrast = 32073,
    kCmdFirstPage = 32074,
    kCmdPreviousPage = 32075,
    kCmdLastPage = 32076,
    kCmdNextPage = 32077,
    kCmdPrint = 32078,
    kCmdCopy = 32079,
    kCmdGrey = 32080,
    kCmdHelp = 32090,
    kCmdPresets = 32092,
};

// Private messages of the view window.
enum : uint32_t {
    kMsgPaintFailed = WM_USER + 1,  // wParam: the page whose paint failed
};

// Help contexts.
enum : uintptr_t {
    kHelpViewer = 10101,
    kHelpContrast = 10010,
    kHelpZoom = 10020,
    kHelpRotate = 10030,
    kHelpPresets = 10040,
};

// Language library strings.
enum : uint32_t {
    kStrFirstHint = 500,
    kStrCaption = 600,
    kStrZoomRange = 601,
    kStrContrastRange = 602,
    kStrBrightnessRange = 603,
    kStrNoFile = 604,
    kStrCopyTooLarge = 605,
    kStrPrintStart = 606,
    kStrBadPresetName = 607,
};

// The property on the browser window that holds the instance.
inline constexpr const char* kInstanceProperty = "instance->pdata";

struct PluginInstance {
    NPP npp = nullptr;
    uint16_t mode = 0;

    ZypmDoc document = nullptr;
    ZypmView view = nullptr;
    ZypmSettings settings = nullptr;

    WinHandle browserWindow = 0;
    WinProc browserProc = nullptr;  // the browser window's own procedure
    WinHandle outerWindow = 0;
    WinHandle toolbar = 0;
    WinHandle viewWindow = 0;
    int toolbarHeight = 0;

    std::string fileName;  // the delivered file, deleted when replaced or at the end
    int maxPageWidth = 1, maxPageHeight = 1;

    ViewGeometry geometry;
    int contrast = 128;
    int brightness = 128;
    bool grey = false;

    // Rubber-band selection in view client coordinates.
    bool dragging = false;
    bool bandDrawn = false;
    WinPoint dragFrom, dragTo;
    bool selectionValid = false;
    WinRect selection;

    // Pages of the open document that failed to paint in the view, with their report;
    // the report is emptied once shown, so each page is reported once.
    std::map<int, std::string> paintFailures;

    uint32_t hintedControl = 0;  // the toolbar control whose hint shows
    std::string loggedView;      // the view state last logged

    bool HasImage() const { return view != nullptr && geometry.pages > 0; }
    ViewValues Values() const {
        return {geometry.zoom, geometry.rotation, contrast, brightness, grey ? 1 : 0};
    }
};

// The instance kept in a window's first window word (outer, view).
PluginInstance* InstanceOfWindow(WinHandle window);
// The instance a dialog works for: WM_INITDIALOG hands it over in lParam and it is kept
// in the dialog's data; null before that.
PluginInstance* DialogInstance(WinHandle dialog, uint32_t message, intptr_t lParam);

}  // namespace zyp
