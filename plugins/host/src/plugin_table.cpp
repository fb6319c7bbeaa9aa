#include "plugin_table.h"

#include <cctype>

std::string NormalizeMimeType(const std::string& type) {
    std::string out;
    for (char c : type.substr(0, type.find(';'))) {
        if (c == ' ' || c == '\t') continue;
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string DefaultPluginFile(const std::string& mimeType) {
    std::string type = NormalizeMimeType(mimeType);
    if (type == "application/afp" || type == "application/vnd.qel-container") return "libnpkafp32.so";
    if (type.size() > 6 && type.compare(0, 6, "image/") == 0) return "libnpkzyp32.so";
    return "";
}

std::string ResolvePlugin(const std::string& mimeType, const std::map<std::string, std::string>& overrides,
                          const std::string& libDir) {
    std::string type = NormalizeMimeType(mimeType);
    auto found = overrides.find(type);
    if (found != overrides.end()) return found->second;
    std::string file = DefaultPluginFile(type);
    if (file.empty() || libDir.empty()) return "";
    return libDir + file;
}
