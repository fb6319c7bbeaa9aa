// server_config.h - values of the handle's server definition and of qel.ini.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct CsHandle;

namespace qelsm::detail {

// Longest value taken from a configuration; a longer one counts as missing.
inline constexpr size_t kConfigValueMax = 1024;

// A key of the handle's "@SRV@_<server>" section in its configuration image.
std::optional<std::string> ServerValue(CsHandle* handle, const char* key);
// A key of any section of the handle's configuration image.
std::optional<std::string> SectionValue(CsHandle* handle, const char* section, const char* key);
// A key of qel.ini in the install's configuration directory.
std::optional<std::string> QelIniValue(const char* section, const char* key);
// The non-empty comma-separated entries of a value, blanks around them removed.
std::vector<std::string> SplitEntries(const std::string& value);
// "@SRV@_<server>" of the handle.
std::string ServerSection(CsHandle* handle);

}  // namespace qelsm::detail
