// Names of the files in the cache directory and their purge classes.
#include "qel_www.h"

#include <string>

namespace {

bool IsKept(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-';
}

// "<S>_<P>": the prefix every cache file of one server shares.
std::string ServerPrefix(const QelWWWConfig* config, const QelWWWSession* session) {
    return config->cacheDir + "/" + QelWWW_CacheNamePart(session->server) + "_" +
           std::to_string(session->port);
}

bool HasServer(const QelWWWConfig* config, const QelWWWSession* session) {
    return config != nullptr && session != nullptr && !config->cacheDir.empty() && !session->server.empty();
}

bool IsOneOf(const char* extension, std::initializer_list<std::string_view> allowed) {
    if (extension == nullptr) return false;
    for (std::string_view candidate : allowed) {
        if (candidate == extension) return true;
    }
    return false;
}

}  // namespace

uint32_t QelWWW_CacheFileClass(std::string_view name) {
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return QELWWW_CACHE_OTHER;
    std::string_view extension = name.substr(dot);
    if (extension == ".doc" || extension == ".idoc" || extension == ".asc" || extension == ".idx")
        return QELWWW_CACHE_DOCUMENT;
    if (extension == ".res") return QELWWW_CACHE_RESOURCE;
    if (extension == ".fld") return QELWWW_CACHE_FOLDER;
    if (extension == ".srv" || extension == ".fnm") return QELWWW_CACHE_STATE;
    return QELWWW_CACHE_OTHER;
}

std::string QelWWW_CacheNamePart(std::string_view value) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        auto c = static_cast<unsigned char>(value[i]);
        // A '.' next to another '.' (or at either end) could spell "..".
        bool keptDot = c == '.' && !out.empty() && IsKept(static_cast<unsigned char>(out.back())) &&
                       i + 1 < value.size() && IsKept(static_cast<unsigned char>(value[i + 1]));
        if (IsKept(c) || keptDot) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

std::string QelWWW_StateFilePath(const QelWWWConfig* config, const QelWWWSession* session,
                                 const char* extension) {
    if (!HasServer(config, session) || session->user.empty() || !IsOneOf(extension, {"srv", "fnm"}))
        return {};
    return ServerPrefix(config, session) + "_" + QelWWW_CacheNamePart(session->user) + "." + extension;
}

std::string QelWWW_FolderFilePath(const QelWWWConfig* config, const QelWWWSession* session) {
    if (!HasServer(config, session) || session->user.empty() || session->folder.empty()) return {};
    return ServerPrefix(config, session) + "_" + QelWWW_CacheNamePart(session->user) + "_" +
           QelWWW_CacheNamePart(session->folder) + ".fld";
}

std::string QelWWW_DocumentFilePath(const QelWWWConfig* config, const QelWWWSession* session,
                                    std::string_view documentName, const char* extension) {
    if (!HasServer(config, session) || documentName.empty() ||
        !IsOneOf(extension, {"doc", "asc", "idx", "idoc"}))
        return {};
    return ServerPrefix(config, session) + "_" + QelWWW_CacheNamePart(documentName) + "." + extension;
}

std::string QelWWW_ResourceFilePath(const QelWWWConfig* config, const QelWWWSession* session, int32_t first,
                                    int32_t second) {
    if (!HasServer(config, session)) return {};
    return ServerPrefix(config, session) + "_" + std::to_string(first) + "-" + std::to_string(second) +
           ".res";
}
