// A fuzz target's private scratch tree, so a run never reads or writes the machine's own
// registry, event log or configuration.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <string_view>

#include "arc_platform.h"

namespace qel_fuzz {

// Makes <temp>/<prefix>_XXXXXX with "registry" and the given folders in it, points
// QEL_REGISTRY_DIR and QEL_EVENTLOG_FILE ("events.log") into it and removes it at the end.
struct TempTree {
    const std::string dir;

    explicit TempTree(const char* prefix, std::initializer_list<const char*> folders = {})
        : dir(MakeDir(prefix)) {
        std::filesystem::create_directories(dir + "/registry");
        for (const char* folder : folders) std::filesystem::create_directories(dir + "/" + folder);
        PointEnv("QEL_REGISTRY_DIR", "registry");
        PointEnv("QEL_EVENTLOG_FILE", "events.log");
    }
    ~TempTree() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    // Sets the variable `name` to `sub` in the tree, or to the tree itself when `sub` is empty.
    void PointEnv(const char* name, std::string_view sub = {}) const {
        std::string value = std::string(name) + "=" + dir;
        if (!sub.empty()) value += "/" + std::string(sub);
        ArcOS_PutEnv(value.c_str());
    }

private:
    static std::string MakeDir(const char* prefix) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (std::string(prefix) + "_XXXXXX")).string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        return pattern;
    }
};

// Replaces the file at `path` with `content`, making its folders first.
inline void WriteFile(const std::string& path, std::string_view content) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), std::streamsize(content.size()));
}

}  // namespace qel_fuzz
