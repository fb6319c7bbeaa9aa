// startup.cpp - the plug-in's start-up and shut-down, and its process-wide services.
#include <cstdio>

#include "arc_install.h"
#include "plugin_state.h"
#include "plugin_windows.h"

namespace zyp {

PluginState& State() {
    static PluginState state;
    return state;
}

std::string InstallDirectory() {
    std::string dir;
    if (ArcReg_ReadString(ARCREG_HKLM, kInstallKey, "InstallPath", &dir) != ARCREG_OK) dir.clear();
    if (dir.empty()) {
        char buffer[4096];
        if (QelInst_ModuleDir(buffer, sizeof buffer) > 0) dir = buffer;
    }
    if (!dir.empty() && dir.back() != '/') dir.push_back('/');
    return dir;
}

void ShowMessage(const std::string& text) { Win_MessageBox(0, text, "", MB_OK); }

std::string LanguageString(uint32_t id) {
    return State().language ? Win_LoadStringText(State().language, id) : std::string();
}

std::string LibraryFailureText(const char* call, int code) {
    char text[512];
    std::snprintf(text, sizeof text, "%s %s %d", call, State().caption.c_str(), code);
    std::string message = text;
    const char* reason = ZypmLastMessage();
    if (reason && *reason) message += std::string("\n") + reason;
    return message;
}

void ShowLibraryFailure(const char* call, int code) { ShowMessage(LibraryFailureText(call, code)); }

void BrowserStatus(NPP npp, const std::string& text) {
    NPNetscapeFuncs* browser = State().browser;
    if (browser && browser->status) browser->status(npp, text.c_str());
}

void* BrowserAlloc(uint32_t size) {
    NPNetscapeFuncs* browser = State().browser;
    return browser && browser->memalloc ? browser->memalloc(size) : nullptr;
}

void BrowserFree(void* block) {
    NPNetscapeFuncs* browser = State().browser;
    if (block && browser && browser->memfree) browser->memfree(block);
}

namespace {

bool RegisterClasses() {
    WinClass outer;
    outer.name = kOuterClass;
    outer.style = CS_BYTEALIGNCLIENT;
    outer.extraBytes = 4;
    outer.procedure = OuterWindowProc;
    WinClass view;
    view.name = kViewClass;
    view.style = CS_BYTEALIGNCLIENT | CS_SAVEBITS | CS_OWNDC | CS_DBLCLKS;
    view.extraBytes = 4;
    view.procedure = ViewWindowProc;
    if (!Win_RegisterClass(outer)) return false;
    if (Win_RegisterClass(view)) return true;
    Win_UnregisterClass(kOuterClass);
    return false;
}

void ReleaseAll() {
    PluginState& state = State();
    if (state.environment) ZypmEnvFree(state.environment);
    state.environment = nullptr;
    if (state.libraryStarted) ZypmTerminate();
    state.libraryStarted = false;
    if (state.language) Win_FreeModule(state.language);
    state.language = nullptr;
    Win_UnregisterClass(kOuterClass);
    Win_UnregisterClass(kViewClass);
}

// Start-up failed: everything made so far is released again.
NPError Fail() {
    ReleaseAll();
    return NPERR_GENERIC_ERROR;
}

}  // namespace

NPError PluginInitialize() {
    PluginState& state = State();
    if (!RegisterClasses()) return NPERR_GENERIC_ERROR;

    state.installDir = InstallDirectory();
    state.helpPath = state.installDir + kHelpFile;
    std::string languagePath = state.installDir + kLanguageLibrary;
    state.language = languagePath.front() == '/' ? Win_LoadModule(languagePath) : nullptr;
    if (!state.language) {
        ShowMessage("Could not load language DLL " + languagePath);
        return Fail();
    }
    state.caption = LanguageString(kStrCaption).substr(0, 199);

    int rc = ZypmInitialize();
    if (rc != ZYPM_OK) {
        ShowLibraryFailure("ZypmInitialize", rc);
        return Fail();
    }
    state.libraryStarted = true;
    rc = ZypmEnvNew(&state.environment);
    if (rc != ZYPM_OK) {
        state.environment = nullptr;
        ShowLibraryFailure("ZypmEnvNew", rc);
        return Fail();
    }

    state.presets.Load();
    state.presetsLoaded = true;
    if (!state.presets.Storable()) {
        Win_LogEvent("image", "\"event\":\"presets\",\"stored\":false,\"reason\":\"user list unreadable\"");
    }
    return NPERR_NO_ERROR;
}

void PluginShutdown() {
    PluginState& state = State();
    // Only a table that was loaded may replace the stored one.
    if (state.presetsLoaded && !state.presets.Store()) {
        Win_LogEvent("image", "\"event\":\"presets\",\"stored\":false");
    }
    state.presetsLoaded = false;
    state.presets.Clear();
    ReleaseAll();
}

}  // namespace zyp
