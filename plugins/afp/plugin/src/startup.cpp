// The plug-in's one-time start-up: install directory, resource library, the two engine
// libraries bound all or nothing, the view server.
#include <string>

#include "install_dir.h"
#include "plugin_resources.h"
#include "viewer.h"

namespace afpview {

PluginState& Plugin() {
    static PluginState state;
    return state;
}

std::string ResourceText(uint32_t id) {
    if (Plugin().resources == nullptr) return {};
    return Win_LoadStringText(Plugin().resources, id);
}

namespace {

enum : uint32_t { kMsgNotLoaded = 1002, kMsgNameMissing = 1003 };

// Without the resource library there are no texts to say it with: the failure is silent.
int Fail(uint32_t textId, const char* library) {
    if (Plugin().resources != nullptr) ShowResourceMessage(0, textId, library);
    Win_LogEvent("plugin", "\"name\":\"startup\",\"failed\":" + Win_JsonString(library));
    return 0;
}

// Loads one engine library and binds its names; 1 bound.
template <typename Bind>
int LoadAndBind(const std::string& installDir, const char* file, ArcOSLibrary** library, Bind bind) {
    *library = ArcOS_LoadLibrary((installDir + file).c_str());
    if (*library == nullptr) return Fail(kMsgNotLoaded, file);
    ArcOSLibrary* loaded = *library;
    if (bind(Plugin().api, [loaded](const char* name) { return ArcOS_GetProcAddress(loaded, name); }) !=
        nullptr)
        return Fail(kMsgNameMissing, file);
    return 1;
}

}  // namespace

int StartUp(const std::string& installDir) {
    PluginState& plugin = Plugin();
    plugin.installDir = installDir;
    RegisterWindowClasses();
    if (plugin.ownResources == nullptr) plugin.ownResources = Win_ModuleFromTable(PluginResourceTable());

    plugin.resources = Win_LoadModule(installDir + kResourceLibrary);
    if (plugin.resources == nullptr) Win_MessageBox(0, kResourceLibrary, "", MB_OK);

    if (!LoadAndBind(installDir, kServicesLibrary, &plugin.services, BindServices)) return 0;
    if (!LoadAndBind(installDir, kEngineLibrary, &plugin.engineLibrary, BindEngine)) return 0;

    plugin.viewServer = plugin.api.GetViewServ(0);
    if (plugin.viewServer == 0) return 0;
    plugin.api.VSInit(plugin.viewServer, "", "woxnethp.hlp");

    plugin.nullBrush = Win_GetStockObject(NULL_BRUSH);
    plugin.dotPen = Win_CreatePen(PS_DOT, 1, WinRgb(0, 0, 0));
    plugin.lastStatusControl = 0;
    return 1;
}

int WoxPiInitPlugin() {
    const std::string installDir = FindInstallDir();
    if (installDir.empty()) return 0;
    return StartUp(installDir);
}

void ShutDown() {
    PluginState& plugin = Plugin();
    if (plugin.viewServer != 0 && plugin.api.DeleteViewServ != nullptr)
        plugin.api.DeleteViewServ(plugin.viewServer);
    plugin.viewServer = 0;
    plugin.api = EngineApi{};
    ArcOS_FreeLibrary(plugin.engineLibrary);
    ArcOS_FreeLibrary(plugin.services);
    plugin.engineLibrary = nullptr;
    plugin.services = nullptr;
    if (plugin.resources != nullptr) Win_FreeModule(plugin.resources);
    if (plugin.ownResources != nullptr) Win_FreeModule(plugin.ownResources);
    plugin.resources = nullptr;
    plugin.ownResources = nullptr;
    if (plugin.dotPen != 0) Win_DeleteObject(plugin.dotPen);
    plugin.dotPen = 0;
    plugin.nullBrush = 0;
    plugin.haveDriverSettings = false;
    UnregisterWindowClasses();
}

}  // namespace afpview
