// sm_test_support.h - temporary directories, files and handles for the storage tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "arc_platform.h"
#include "qel_cshandle.h"

namespace smtest {

namespace fs = std::filesystem;

// A fresh directory per test, removed afterwards.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::path(::testing::TempDir()) / "qel_sm_XXXXXX").string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        path_ = mkdtemp(name.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    // The directory with a trailing '/'.
    std::string Dir() const { return path_.string() + "/"; }
    std::string operator/(const std::string& name) const { return Dir() + name; }

private:
    fs::path path_;
};

inline void WriteFile(const std::string& path, const std::string& content) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Collects the texts of issued messages.
struct MessageLog {
    std::vector<std::string> texts;
    static int Collect(void* context, const char* text) {
        static_cast<MessageLog*>(context)->texts.emplace_back(text);
        return 0;
    }
    bool Has(const std::string& piece) const {
        for (const std::string& t : texts) {
            if (t.find(piece) != std::string::npos) return true;
        }
        return false;
    }
};

// A handle of server `name` whose configuration holds the given key lines.
inline void MakeHandle(CsHandle* handle, const char* name, const std::string& keyLines, MessageLog* log) {
    std::snprintf(handle->serverName, sizeof handle->serverName, "%s", name);
    handle->def.kind = CS_KIND_LOCAL;
    handle->def.profile = std::string("[@SRV@_") + name + "]\n" + keyLines;
    handle->def.flags1 |= CS_F1_MESSAGES;
    handle->callbackContext = log;
    handle->messageCallback = log != nullptr ? &MessageLog::Collect : nullptr;
}

}  // namespace smtest
