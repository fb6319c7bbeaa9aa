// Data steps of the document actions: compression letters and the settings file of the
// AFP-to-HTML converter.
#include <vector>

#include "arc_profile.h"
#include "document_parts.h"

namespace qelwww::detail {

bool Recompress(std::string* data, char from, char to) {
    std::vector<unsigned char> out;
    if (QelWWW_CompressBuffer(data->data(), data->size(), from, to, &out) != 1) return false;
    data->assign(out.begin(), out.end());
    return true;
}

namespace {

// The settings file: a relative name lies in the directory of qelwww.ini.
std::string SettingsPath(const QelWWWConfig* config) {
    std::optional<std::string> file = QelWWW_GetIniValue(config, "afp2html", "ConfigFile");
    if (!file || file->empty()) return {};
    if ((*file)[0] == '/') return *file;
    return config->iniDir + *file;
}

std::string Lookup(const std::string& path, const std::string& section, const char* key,
                   const char* fallback) {
    std::vector<char> buffer(1024);
    ArcPROF_GetString(section.c_str(), key, fallback, buffer.data(), buffer.size(), path.c_str());
    return buffer.data();
}

}  // namespace

std::string Afp2HtmlSetting(const QelWWWConfig* config, const std::string& folder, const std::string& group,
                            const char* key, const char* builtIn) {
    const std::string path = SettingsPath(config);
    if (path.empty()) return builtIn;
    // "z" is no value any key takes: it tells a missing key from an empty one.
    std::string value = Lookup(path, folder + "-" + group, key, "z");
    if (value != "z") return value;
    return Lookup(path, "default", key, builtIn);
}

}  // namespace qelwww::detail
