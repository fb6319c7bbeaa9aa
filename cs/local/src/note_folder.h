// note_folder.h - where annotations and named queries live.
#pragma once

#include <optional>
#include <string>

namespace qel::local::detail {

// Registry key (HKLM) whose value QEL names the client's data folder.
inline constexpr const char* kClientPathsKey = "SOFTWARE\\Kvr\\Tidewell32\\Common\\Paths";

// "<QEL>/<name>/" when the registry names a client folder, else the archive's
// folder of that name; ending in '/'. With create, made when missing (none when
// that fails); readers get the path whether or not it exists.
std::optional<std::string> ClientFolder(const char* name, const std::string& localFallback, bool create);

}  // namespace qel::local::detail
