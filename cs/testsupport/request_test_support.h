// Small helpers of the request-layer tests: scratch directories, files, environment.
#pragma once

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>

#include "arc_platform.h"

namespace reqtest {

class TempDir {
public:
    TempDir() {
        std::random_device seed;
        path_ = std::filesystem::temp_directory_path() /
                ("qel-request-" + std::to_string(ArcOS_GetProcessId()) + "-" + std::to_string(seed()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // With a trailing '/'.
    std::string Path() const { return path_.string() + "/"; }

private:
    std::filesystem::path path_;
};

inline void WriteText(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

// Sets a variable for the life of the object, then puts back what was there (an unset
// variable comes back empty, which the request layer reads as unset).
class EnvSetting {
public:
    EnvSetting(const std::string& name, const std::string& value)
        : name_(name), before_(ArcOS_GetEnv(name.c_str())) {
        ArcOS_PutEnv((name + "=" + value).c_str());
    }
    ~EnvSetting() { ArcOS_PutEnv((name_ + "=" + before_.value_or("")).c_str()); }
    EnvSetting(const EnvSetting&) = delete;
    EnvSetting& operator=(const EnvSetting&) = delete;

private:
    std::string name_;
    std::optional<std::string> before_;
};

}  // namespace reqtest
