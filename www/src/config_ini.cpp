// Lookups in the in-memory image of qelwww.ini.
#include "qel_www.h"

#include "arc_platform.h"
#include "arc_profile.h"

std::optional<std::string> QelWWW_GetIniValue(const QelWWWConfig* config, const char* section,
                                              const char* key) {
    if (config == nullptr || section == nullptr || key == nullptr) return std::nullopt;
    std::vector<ArcPROFEntry> entries;
    if (ArcPROF_ListSection(section, config->iniImage.c_str(), &entries) != 0) return std::nullopt;
    for (ArcPROFEntry& entry : entries) {
        if (ArcOS_StrICmp(entry.key.c_str(), key) == 0) return std::move(entry.value);
    }
    return std::nullopt;
}

bool QelWWW_HasIniSection(const QelWWWConfig* config, const char* section) {
    if (config == nullptr || section == nullptr) return false;
    char present[2] = {0, 0};
    ArcPROF_GetFromImage(section, nullptr, "0", present, sizeof present, config->iniImage.c_str());
    return present[0] == '1';
}

std::string QelWWW_GetDirectoryKey(const QelWWWConfig* config, const char* section, const char* key) {
    if (config == nullptr) return {};
    std::optional<std::string> value = QelWWW_GetIniValue(config, section, key);
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
