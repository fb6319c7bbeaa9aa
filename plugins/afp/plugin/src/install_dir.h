// install_dir.h - where the plug-in's libraries, maps and default preferences lie.
#pragma once

#include <string>

namespace afpview {

inline constexpr const char* kInstallKey = "Software\\Kvr\\Tidewell AFP Plugin\\Install";
inline constexpr const char* kInstallValue = "InstallPath";
inline constexpr const char* kPathsProfile = "ZIDAVIVA.INI";  // in the install tree's etc/
inline constexpr size_t kInstallPathLimit = 512;

// The first usable of: the registry value, the profile's PATHS/WOXPath, the plug-in's
// own directory. Usable means absolute and shorter than kInstallPathLimit; the result
// ends in '/'. Empty when none is usable.
std::string ChooseInstallDir(const std::string& registryValue, const std::string& profileValue,
                             const std::string& ownDirectory);

// PATHS/WOXPath of the profile at profilePath ("" when none); a value of kInstallPathLimit
// bytes or more comes back at least that long, so ChooseInstallDir refuses it.
std::string ProfileInstallPath(const std::string& profilePath);

// The same from the registry layer, <install tree>/etc/ZIDAVIVA.INI and the directory
// of this library.
std::string FindInstallDir();

}  // namespace afpview
