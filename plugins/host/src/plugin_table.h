// plugin_table.h - which plug-in library shows which MIME type.
#pragma once

#include <map>
#include <string>

// Lower case, parameters (";charset=...") and blanks removed.
std::string NormalizeMimeType(const std::string& type);
// The library file name of the built-in table ("" when no plug-in shows the type).
std::string DefaultPluginFile(const std::string& mimeType);
// Absolute path of the plug-in for the type: an override first, else the built-in
// table's file in libDir (with its trailing '/'); "" when none.
std::string ResolvePlugin(const std::string& mimeType, const std::map<std::string, std::string>& overrides,
                          const std::string& libDir);
