// Test support: a scratch directory, a configuration made from INI text, a request session.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "arc_codepage.h"
#include "qel_www.h"

namespace wwwtest {

// A fresh directory under the system's temporary directory, removed at the end.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qelwww-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }
    std::string Write(const std::string& name, const std::string& content) const {
        std::filesystem::path file = std::filesystem::path(path_) / name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
        return file.string();
    }
    std::string MakeDir(const std::string& name) const {
        std::filesystem::create_directories(std::filesystem::path(path_) / name);
        return path_ + "/" + name;
    }

private:
    std::string path_;
};

// The staged code-page context, shared by every test of a program.
inline ArcIconvContext* CodePages() {
    static ArcIconvContext* context = [] {
        ArcIconvContext* made = nullptr;
        ArcICONV_Startup(&made, QEL_STAGE_DIR "/locale");
        return made;
    }();
    return context;
}

// A configuration as QelWWW_InitConfig leaves it, with the code-page context attached.
inline QelWWWConfig ConfigFromIni(const std::string& ini, uint32_t codePage = 819) {
    QelWWWConfig config;
    config.version = QELWWW_VERSION_TEXT;
    config.iniImage = ini;
    config.codePage = codePage;
    config.codePageContext = CodePages();
    config.beginChar = '[';
    config.endChar = ']';
    config.separatorChar = '^';
    config.defaults.afpViewMode = QELWWW_VIEW_PLUGIN;
    config.defaults.lineViewMode = QELWWW_VIEW_APPLET;
    config.defaults.emailViewMode = QELWWW_VIEW_HTML;
    config.defaultServerType = 'T';
    return config;
}

inline std::unique_ptr<QelWWWSession> NewSession(const QelWWWConfig* config) {
    auto session = std::make_unique<QelWWWSession>();
    session->response = std::make_unique<QelWWWResponse>(config);
    return session;
}

inline std::string HeaderValue(const QelWWWResponse& response, const std::string& name) {
    for (uint32_t i = 0; i < response.GetHeaderCount(); ++i) {
        const char* n = nullptr;
        const char* v = nullptr;
        response.GetHeader(i, &n, &v);
        if (name == n) return v;
    }
    return "<none>";
}

}  // namespace wwwtest
