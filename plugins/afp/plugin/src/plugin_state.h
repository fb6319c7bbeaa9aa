// plugin_state.h - what the plug-in holds once per process: the browser's table, the
// loaded libraries and their bound entries, the view server and the drawing objects.
#pragma once

#include <mutex>
#include <string>

#include "arc_platform.h"
#include "engine_api.h"
#include "qel_npapi.h"
#include "qel_win.h"

namespace afpview {

struct PluginState {
    NPNetscapeFuncs* browser = nullptr;
    NPPluginFuncs* pluginFuncs = nullptr;
    int browserMinor = 0;

    std::string installDir;                 // ends in '/'
    WinModule* ownResources = nullptr;      // the plug-in's toolbar, menu and pictures
    WinModule* resources = nullptr;         // libnpkres32.so; null: no texts, no dialogs
    ArcOSLibrary* services = nullptr;       // libknvwser.so
    ArcOSLibrary* engineLibrary = nullptr;  // libknvwvsin.so
    EngineApi api;
    int32_t viewServer = 0;  // 0 until start-up succeeded

    WinGdi nullBrush = 0;
    WinGdi dotPen = 0;
    uint32_t lastStatusControl = 0;

    // Driver settings chosen in a printer's properties dialog, kept for all instances.
    bool haveDriverSettings = false;
    WinPrinterSettings driverSettings;

    // Serialises the engine's document opening, painting and text selection.
    std::recursive_mutex textLock;
};

PluginState& Plugin();

// A resource string of libnpkres32.so; empty without the library.
std::string ResourceText(uint32_t id);

}  // namespace afpview
