// install_detail.h - internal helpers shared by the install-path, registry and
// server-configuration sources of qel_install.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qelinst::detail {

// The directories as strings with a trailing '/'; nothing when not found.
std::optional<std::string> ModuleDir();
std::optional<std::string> BaseDir();

// Copies a text into a caller's buffer: its length, or 0 with an empty buffer when it
// does not fit.
size_t CopyOut(std::string_view text, char* buffer, size_t size);

}  // namespace qelinst::detail
