// A private registry directory for one test: QEL_REGISTRY_DIR points at it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "arc_install.h"
#include "arc_platform.h"

class RegistryDir {
public:
    RegistryDir() {
        previous_ = ArcOS_GetEnv("QEL_REGISTRY_DIR");
        path_ = (std::filesystem::path(::testing::TempDir()) /
                 ("zyp_registry_" + std::to_string(ArcOS_GetProcessId())))
                    .string();
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
        ArcOS_PutEnv(("QEL_REGISTRY_DIR=" + path_).c_str());
    }
    ~RegistryDir() {
        ArcOS_PutEnv(("QEL_REGISTRY_DIR=" + previous_.value_or("")).c_str());
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    RegistryDir(const RegistryDir&) = delete;
    RegistryDir& operator=(const RegistryDir&) = delete;
    const std::string& path() const { return path_; }
    std::string Hive(const char* file) const { return path_ + "/" + file; }

private:
    std::optional<std::string> previous_;
    std::string path_;
};
