// Internal: one section of qelwww.ini, listed once and then looked up key by key.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "arc_profile.h"

struct QelWWWConfig;

namespace qelwww::detail {

class IniSection {
public:
    // The first section of that name in the configuration's image; empty when it is missing.
    IniSection(const QelWWWConfig* config, const char* section);
    // The value of the first key line of that name (case ignored); nothing when missing.
    std::optional<std::string> Get(const char* key) const;

private:
    std::vector<ArcPROFEntry> entries_;
};

// A directory value: absolute as it is, relative appended to iniDir, missing iniDir itself;
// one trailing '/' removed from a result longer than one character.
std::string DirectoryOf(const QelWWWConfig* config, const std::optional<std::string>& value);

}  // namespace qelwww::detail
