// The converters' places and settings: qelwww.ini names the directory and the settings
// file, the settings file holds a section per folder and application group.
#include "converter_settings.h"

#include <cstring>
#include <vector>

#include "arc_profile.h"
#include "qel_client.h"

namespace qelwww::detail {

namespace {

std::string SettingsPath(const QelWWWConfig* config, const char* section) {
    std::optional<std::string> file = QelWWW_GetIniValue(config, section, "ConfigFile");
    if (!file || file->empty()) return {};
    if ((*file)[0] == '/') return *file;
    return config->iniDir + *file;
}

std::string Lookup(const std::string& path, const std::string& section, const char* key,
                   const char* fallback) {
    std::vector<char> buffer(4096);
    ArcPROF_GetString(section.c_str(), key, fallback, buffer.data(), buffer.size(), path.c_str());
    return buffer.data();
}

}  // namespace

std::string ConverterInstallDir(const QelWWWConfig* config, const char* section) {
    std::string dir = QelWWW_GetIniValue(config, section, "InstallDir").value_or("");
    if (dir.empty())
        dir = config->installDir;
    else if (dir[0] != '/')
        dir = config->iniDir + dir;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    return dir;
}

std::string ConverterSetting(const QelWWWConfig* config, const char* section, const std::string& folder,
                             const std::string& group, const char* key, const char* builtIn) {
    const std::string path = SettingsPath(config, section);
    if (path.empty()) return builtIn;
    // "z" is no value any key takes: it tells a missing key from an empty one.
    std::string value = Lookup(path, folder + "-" + group, key, "z");
    if (value != "z") return value;
    return Lookup(path, "default", key, builtIn);
}

std::string DocumentGroupName(const OpenDocument* document) {
    if (document == nullptr) return {};
    if (document->group != nullptr)
        return std::string(document->group->name,
                           strnlen(document->group->name, sizeof document->group->name));
    const char* group = nullptr;
    const char* application = nullptr;
    if (document->hit != nullptr) Hit_GetApplGroupAndApplNames(document->hit, &group, &application);
    return group != nullptr ? group : "";
}

int32_t RotationDegrees(char orientation) {
    switch (orientation) {
        case '1': return 180;
        case '2': return 90;
        case '9': return 270;
        default: return 0;
    }
}

bool IsTrueSetting(std::string_view value) {
    static constexpr std::string_view kTrue = "true";
    if (value.size() != kTrue.size()) return false;
    for (size_t i = 0; i < value.size(); ++i)
        if ((value[i] | 0x20) != kTrue[i]) return false;
    return true;
}

}  // namespace qelwww::detail
