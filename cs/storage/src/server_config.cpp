// server_config.cpp - configuration values the cache layer reads.
#include "server_config.h"

#include "arc_install.h"
#include "arc_profile.h"
#include "qel_cshandle.h"

namespace qelsm::detail {

namespace {

std::optional<std::string> Lookup(const std::string& section, const char* key, const char* image) {
    std::string buffer(kConfigValueMax + 2, '\0');
    size_t n = ArcPROF_GetFromImage(section.c_str(), key, "", buffer.data(), buffer.size(), image);
    if (n == 0 || n > kConfigValueMax) return std::nullopt;
    buffer.resize(n);
    return buffer;
}

}  // namespace

std::string ServerSection(CsHandle* handle) {
    char section[CS_SERVER_NAME_SIZE + 8] = {};
    QelInst_ServerSection(handle->serverName, section, sizeof section);
    return section;
}

std::optional<std::string> ServerValue(CsHandle* handle, const char* key) {
    if (handle == nullptr) return std::nullopt;
    return Lookup(ServerSection(handle), key, handle->def.profile.c_str());
}

std::optional<std::string> SectionValue(CsHandle* handle, const char* section, const char* key) {
    if (handle == nullptr) return std::nullopt;
    return Lookup(section, key, handle->def.profile.c_str());
}

std::optional<std::string> QelIniValue(const char* section, const char* key) {
    char dir[4096] = {};
    if (QelInst_ConfigDir(dir, sizeof dir) == 0) return std::nullopt;
    std::string path = std::string(dir) + "qel.ini";
    std::string buffer(kConfigValueMax + 2, '\0');
    size_t n = ArcPROF_GetString(section, key, "", buffer.data(), buffer.size(), path.c_str());
    if (n == 0 || n > kConfigValueMax) return std::nullopt;
    buffer.resize(n);
    return buffer;
}

std::vector<std::string> SplitEntries(const std::string& value) {
    std::vector<std::string> entries;
    size_t start = 0;
    while (start <= value.size()) {
        size_t comma = value.find(',', start);
        if (comma == std::string::npos) comma = value.size();
        std::string entry = value.substr(start, comma - start);
        size_t first = entry.find_first_not_of(" \t");
        size_t last = entry.find_last_not_of(" \t");
        if (first != std::string::npos) entries.push_back(entry.substr(first, last - first + 1));
        start = comma + 1;
    }
    return entries;
}

}  // namespace qelsm::detail
