// make_dirs.cpp - folder creation for table and object writes.
#include <cerrno>
#include <string>

#include "arc_platform.h"
#include "qel_local.h"

namespace {

bool IsDotStep(std::string_view prefix) {
    return prefix == "." || (prefix.size() >= 2 && prefix.substr(prefix.size() - 2) == "/.");
}

}  // namespace

int QelLocal_CreateFolders(std::string_view path, bool (*tolerated)(int error)) {
    int created = 0;
    for (size_t pos = path.find('/'); pos != std::string_view::npos; pos = path.find('/', pos + 1)) {
        std::string prefix(path.substr(0, pos));
        if (prefix.empty() || prefix.back() == '/' || IsDotStep(prefix)) continue;
        if (ArcOS_IsDirectory(prefix.c_str())) continue;
        int err = ArcOS_MakeDirectory(prefix.c_str(), 0755);
        if (err == 0) {
            ++created;
        } else if (!tolerated(err)) {
            break;
        }
    }
    return created;
}

int QelLocal_MakeDirs(const char* path) {
    if (path == nullptr) return 0;
    return QelLocal_CreateFolders(path,
                                  [](int err) { return err == EEXIST || err == EACCES || err == ENOENT; });
}
