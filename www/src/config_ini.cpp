// Lookups in the in-memory image of qelwww.ini.
#include "qel_www.h"

#include "arc_platform.h"
#include "arc_profile.h"
#include "ini_section.h"

namespace qelwww::detail {

IniSection::IniSection(const QelWWWConfig* config, const char* section) {
    if (config == nullptr || section == nullptr) return;
    if (ArcPROF_ListSection(section, config->iniImage.c_str(), &entries_) != 0) entries_.clear();
}

std::optional<std::string> IniSection::Get(const char* key) const {
    if (key == nullptr) return std::nullopt;
    for (const ArcPROFEntry& entry : entries_) {
        if (ArcOS_StrICmp(entry.key.c_str(), key) == 0) return entry.value;
    }
    return std::nullopt;
}

std::string DirectoryOf(const QelWWWConfig* config, const std::optional<std::string>& value) {
    std::string path;
    if (!value) {
        path = config->iniDir;
    } else if (!value->empty() && (*value)[0] == '/') {
        path = *value;
    } else {
        path = config->iniDir + *value;
    }
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace qelwww::detail

std::optional<std::string> QelWWW_GetIniValue(const QelWWWConfig* config, const char* section,
                                              const char* key) {
    if (config == nullptr || section == nullptr || key == nullptr) return std::nullopt;
    return qelwww::detail::IniSection(config, section).Get(key);
}

bool QelWWW_HasIniSection(const QelWWWConfig* config, const char* section) {
    if (config == nullptr || section == nullptr) return false;
    char present[2] = {0, 0};
    ArcPROF_GetFromImage(section, nullptr, "0", present, sizeof present, config->iniImage.c_str());
    return present[0] == '1';
}

std::string QelWWW_GetDirectoryKey(const QelWWWConfig* config, const char* section, const char* key) {
    if (config == nullptr) return {};
    return qelwww::detail::DirectoryOf(config, QelWWW_GetIniValue(config, section, key));
}
