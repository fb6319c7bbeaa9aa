// A gateway started in this process on a copy of the sample archive: qelwww.ini, cache,
// templates and registry in a scratch directory, the configuration read by
// QelWWW_InitConfig and the client layer started as the front ends start it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "arc_messages.h"
#include "arc_platform.h"
#include "qel_client.h"
#include "www_test_support.h"

namespace wwwtest {

// The sample archive's users (docs/archive.md).
inline constexpr const char* kAlicePassword = "wonder1";
inline constexpr const char* kBobPassword = "builder2";

// The client layer is process-wide: started once for the test program.
class ClientLayer : public ::testing::Environment {
public:
    void TearDown() override { Client_Term(); }
};

class GatewayFixture : public ::testing::Test {
protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        ASSERT_FALSE(dir_.Path().empty());
        archive_ = dir_.Path() + "/archive";
        fs::copy(ArchiveSource(), archive_, fs::copy_options::recursive);
        cache_ = dir_.MakeDir("cache");
        dir_.MakeDir("templates");
        dir_.MakeDir("registry");
        ArcOS_PutEnv(("QEL_REGISTRY_DIR=" + dir_.Path() + "/registry").c_str());
        ArcOS_PutEnv(("QEL_EVENTLOG_FILE=" + dir_.Path() + "/events.log").c_str());
        Start(ExtraIni());
    }
    void TearDown() override {
        if (config_.cacheMutex != nullptr) ArcOS_CloseHandle(config_.cacheMutex);
        config_.cacheMutex = nullptr;
    }

    // The archive the gateway works on a copy of.
    virtual std::string ArchiveSource() const { return std::string(QEL_TESTDATA_DIR) + "/archive"; }

    // More lines for qelwww.ini (after the server section).
    virtual std::string ExtraIni() const { return ""; }

    // (Re)reads the configuration and starts the layers under it.
    void Start(const std::string& extra) {
        dir_.Write("qelwww.ini",
                   "[configuration]\nCacheDir=cache\nTemplateDir=templates\nCodepage=1208\n"
                   "[@SRV@_DEMO]\nPROTOCOL=1\nDIRECTORY=" +
                       archive_ + "\n" + extra);
        if (config_.cacheMutex != nullptr) ArcOS_CloseHandle(config_.cacheMutex);
        config_ = QelWWWConfig{};
        config_.codePageContext = CodePages();
        auto scratch = NewSession(&config_);
        ASSERT_EQ(QelWWW_InitConfig(&config_, scratch.get(), dir_.Path().c_str()), 0)
            << scratch->response->GetBody();
        ASSERT_EQ(ArcMSGS_Init(config_.localeDir.c_str(), config_.language.c_str()), 0);
        ASSERT_TRUE(QelWWW_InitClientServer(&config_, scratch.get()));
    }

    // One request as a front end runs it, a form of the site's own: set-up, then the action.
    std::unique_ptr<QelWWWSession> Request(const std::string& query, const std::string& cookie = "") {
        auto session = NewSession(&config_);
        session->requestMethod = "POST";
        if (QelWWW_InitSession(&config_, session.get(), query.c_str(), "/cgi-bin/qelwww", "Mozilla/5.0",
                               cookie.empty() ? nullptr : cookie.c_str()) == 0)
            result_ = QelWWW_Dispatch(&config_, session.get());
        else
            result_ = -1;
        return session;
    }
    std::string Body(const std::string& query, const std::string& cookie = "") {
        return Request(query, cookie)->response->GetBody();
    }

    // The docid of an invoice as the plain-text hit list of the logon's request prefix links
    // it (percent-encoded once), up to the list's separator. Empty, with a failure added,
    // when the search finds no such invoice.
    std::string InvoiceDocId(const std::string& logon, const std::string& number, char separator = '^') {
        const std::string body = Body(logon + "_a=d&_nohtml=1&Invoice+number=" + number);
        const size_t at = body.find("_d=");
        if (at == std::string::npos) {
            ADD_FAILURE() << "no hit for " << number << ": " << body;
            return std::string();
        }
        return body.substr(at + 3, body.find(separator, at) - at - 3);
    }

    // The Set-Cookie values of a reply, in order.
    static std::vector<std::string> Cookies(const QelWWWSession& session) {
        std::vector<std::string> out;
        for (uint32_t i = 0; i < session.response->GetHeaderCount(); ++i) {
            const char* n = nullptr;
            const char* v = nullptr;
            session.response->GetHeader(i, &n, &v);
            if (std::string(n) == "Set-Cookie") out.emplace_back(v);
        }
        return out;
    }
    // The Cookie header a browser sends back after these Set-Cookie values.
    static std::string CookieHeader(const std::vector<std::string>& setCookies) {
        std::string header;
        for (const std::string& c : setCookies) {
            std::string pair = c.substr(0, c.find(';'));
            if (pair.back() == '=') continue;  // cleared
            header += (header.empty() ? "" : "; ") + pair;
        }
        return header;
    }

    std::string CachePath(const std::string& name) const { return cache_ + "/" + name; }
    bool CacheHas(const std::string& name) const { return std::filesystem::exists(CachePath(name)); }
    std::string ReadCache(const std::string& name) const {
        std::ifstream in(CachePath(name), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void WriteCache(const std::string& name, const std::string& bytes) const {
        std::ofstream(CachePath(name), std::ios::binary | std::ios::trunc) << bytes;
    }
    void WriteTable(const std::string& name, const std::string& text) const {
        std::ofstream(archive_ + "/table/" + name + ".tbl", std::ios::binary | std::ios::trunc) << text;
    }
    std::string ReadTable(const std::string& name) const {
        std::ifstream in(archive_ + "/table/" + name + ".tbl", std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    ScratchDir dir_;
    std::string archive_;
    std::string cache_;
    QelWWWConfig config_;
    int result_ = 0;
};

}  // namespace wwwtest
