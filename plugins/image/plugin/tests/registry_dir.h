// A private registry directory for one test: QEL_REGISTRY_DIR points at it.
#pragma once

#include <string>

#include "request_test_support.h"

class RegistryDir {
public:
    const std::string& path() const { return path_; }
    std::string Hive(const char* file) const { return path_ + "/" + file; }

private:
    reqtest::TempDir dir_;
    std::string path_ = dir_.Path().substr(0, dir_.Path().size() - 1);  // without the trailing '/'
    reqtest::EnvSetting setting_{"QEL_REGISTRY_DIR", path_};
};
