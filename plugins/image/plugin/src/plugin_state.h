// plugin_state.h - what the plug-in holds for the whole process while it is loaded.
#pragma once

#include <string>

#include "presets.h"
#include "qel_npapi.h"
#include "qel_win.h"
#include "zypm.h"

namespace zyp {

inline constexpr const char* kOuterClass = "ZypOuterWndClass";
inline constexpr const char* kViewClass = "ZypViewWndClass";
inline constexpr const char* kInstallKey = "Software\\Kvr\\Tidewell Image Plugin\\Install";
inline constexpr const char* kLanguageLibrary = "libzaruveva.so";
inline constexpr const char* kHelpFile = "npkzyp32.hlp";

struct PluginState {
    NPNetscapeFuncs* browser = nullptr;
    NPPluginFuncs* pluginTable = nullptr;
    WinModule* language = nullptr;
    std::string caption;
    ZypmEnv environment = nullptr;
    bool libraryStarted = false;
    std::string installDir;  // with a trailing '/'
    std::string helpPath;
    PresetTable presets;
    bool presetsLoaded = false;
};

PluginState& State();

// Start-up and shut-down of the plug-in (classes, language library, image library, presets).
NPError PluginInitialize();
void PluginShutdown();

// The install directory: HKLM InstallPath, else the directory of this library; with '/'.
std::string InstallDirectory();

// A message box without title and with an OK button.
void ShowMessage(const std::string& text);
// A string of the language library ("" when it is missing).
std::string LanguageString(uint32_t id);
// "<call> <caption> <code>" and the library's reason on the next line: the report of a
// failed image-library call, made right after the call.
std::string LibraryFailureText(const char* call, int code);
void ShowLibraryFailure(const char* call, int code);

// Browser services.
void BrowserStatus(NPP npp, const std::string& text);
void* BrowserAlloc(uint32_t size);
void BrowserFree(void* block);

}  // namespace zyp
