// plugin_library.h - one loaded plug-in library and its three entry points.
#pragma once

#include <string>

#include "qel_npapi.h"

struct ArcOSLibrary;

class PluginLibrary {
public:
    PluginLibrary() = default;
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // By absolute path; false with a message when it does not load or lacks an entry point.
    bool Load(const std::string& path, std::string* error);
    void Unload();

    NP_GetEntryPointsFunc getEntryPoints = nullptr;
    NP_InitializeFunc initialize = nullptr;
    NP_ShutdownFunc shutdown = nullptr;

private:
    ArcOSLibrary* library_ = nullptr;
};
