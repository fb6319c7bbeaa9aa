// The install directory: registry, then the paths profile, then our own directory.
#include "install_dir.h"

#include "arc_install.h"
#include "arc_profile.h"

namespace afpview {

namespace {

bool Usable(const std::string& path) {
    return !path.empty() && path.front() == '/' && path.size() < kInstallPathLimit &&
           path.find('\0') == std::string::npos;
}

std::string WithSlash(std::string path) {
    if (path.back() != '/') path += '/';
    return path;
}

}  // namespace

std::string ChooseInstallDir(const std::string& registryValue, const std::string& profileValue,
                             const std::string& ownDirectory) {
    for (const std::string* candidate : {&registryValue, &profileValue, &ownDirectory}) {
        if (Usable(*candidate)) return WithSlash(*candidate);
    }
    return {};
}

std::string ProfileInstallPath(const std::string& profilePath) {
    // One byte more than a usable path may have: a longer value arrives cut to this size
    // and is still seen as too long, never as a shorter directory.
    char value[kInstallPathLimit + 1];
    ArcPROF_GetString("PATHS", "WOXPath", "", value, sizeof value, profilePath.c_str());
    return value;
}

std::string FindInstallDir() {
    std::string registry;
    if (ArcReg_ReadString(ARCREG_HKLM, kInstallKey, kInstallValue, &registry) != ARCREG_OK) registry.clear();

    std::string profile;
    char config[kInstallPathLimit];
    if (QelInst_ConfigDir(config, sizeof config) > 0)
        profile = ProfileInstallPath(std::string(config) + kPathsProfile);

    char own[kInstallPathLimit];
    const std::string ownDirectory = QelInst_ModuleDir(own, sizeof own) > 0 ? own : "";
    return ChooseInstallDir(registry, profile, ownDirectory);
}

}  // namespace afpview
