#include "plugin_library.h"

#include "arc_platform.h"

PluginLibrary::~PluginLibrary() { Unload(); }

bool PluginLibrary::Load(const std::string& path, std::string* error) {
    Unload();
    if (path.empty() || path[0] != '/') {
        *error = "plug-in path is not absolute: \"" + path + "\"";
        return false;
    }
    library_ = ArcOS_LoadLibrary(path.c_str());
    if (library_ == nullptr) {
        *error = "cannot load the plug-in " + path + ": " + ArcOS_LibraryError();
        return false;
    }
    getEntryPoints =
        reinterpret_cast<NP_GetEntryPointsFunc>(ArcOS_GetProcAddress(library_, "NP_GetEntryPoints"));
    initialize = reinterpret_cast<NP_InitializeFunc>(ArcOS_GetProcAddress(library_, "NP_Initialize"));
    shutdown = reinterpret_cast<NP_ShutdownFunc>(ArcOS_GetProcAddress(library_, "NP_Shutdown"));
    const char* missing = getEntryPoints == nullptr ? "NP_GetEntryPoints"
                          : initialize == nullptr   ? "NP_Initialize"
                          : shutdown == nullptr     ? "NP_Shutdown"
                                                    : nullptr;
    if (missing != nullptr) {
        *error = "the plug-in " + path + " does not export " + missing;
        Unload();
        return false;
    }
    return true;
}

void PluginLibrary::Unload() {
    ArcOS_FreeLibrary(library_);
    library_ = nullptr;
    getEntryPoints = nullptr;
    initialize = nullptr;
    shutdown = nullptr;
}
