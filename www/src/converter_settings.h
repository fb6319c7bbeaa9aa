// Internal: where the outside converters live and the settings they are run with.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "qel_www.h"

struct OpenDocument;

namespace qelwww::detail {

// InstallDir of a converter's section of qelwww.ini, ending in '/': a relative value is
// taken from the INI directory; missing or empty, the gateway's install directory.
std::string ConverterInstallDir(const QelWWWConfig* config, const char* section);

// A key of the converter settings file named by ConfigFile of the converter's section
// (relative to the INI directory): from section "<folder>-<group>", else from "default",
// else builtIn. No ConfigFile: builtIn.
std::string ConverterSetting(const QelWWWConfig* config, const char* section, const std::string& folder,
                             const std::string& group, const char* key, const char* builtIn);

// The application-group name of an open document ("" when unknown).
std::string DocumentGroupName(const OpenDocument* document);

// The rotation in degrees of an orientation code: '0' 0, '1' 180, '2' 90, '9' 270; any
// other code 0.
int32_t RotationDegrees(char orientation);

// "TRUE" in any case.
bool IsTrueSetting(std::string_view value);

}  // namespace qelwww::detail
