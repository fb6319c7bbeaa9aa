// object_path.cpp - object paths below a store root.
#include "object_path.h"

#include "arc_platform.h"

namespace qelsm::detail {

bool IsSafeName(std::string_view name) {
    if (name.empty() || name.find("..") != std::string_view::npos) return false;
    for (unsigned char c : name) {
        if (c == '/' || c < 0x20 || c == 0x7F) return false;
    }
    return true;
}

bool IsResourceName(std::string_view name) {
    return !name.empty() && ArcOS_IsDigit(static_cast<unsigned char>(name.back()));
}

QelCacheResult RelativeObjectPath(const char* sid, const char* name, bool nodeForm, std::string* path) {
    if (sid == nullptr || name == nullptr || !IsSafeName(sid) || !IsSafeName(name)) return QELCFS_FAILED;
    std::string result = nodeForm ? "" : "/";
    result += "data/";
    result += sid;
    result += IsResourceName(name) ? "/RES/" : "/DOC/";
    result += name;
    *path = std::move(result);
    return QELCFS_OK;
}

std::string JoinPath(std::string_view directory, std::string_view relative) {
    std::string result(directory);
    bool dirSlash = !result.empty() && result.back() == '/';
    bool relSlash = !relative.empty() && relative.front() == '/';
    if (dirSlash && relSlash) {
        relative.remove_prefix(1);
    } else if (!dirSlash && !relSlash && !result.empty()) {
        result += '/';
    }
    result += relative;
    return result;
}

}  // namespace qelsm::detail
