// archive_fixture.h - a private copy of the sample archive, opened on a local handle.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "arc_platform.h"
#include "qel_cs.h"
#include "qel_local.h"
#include "qel_sm.h"

namespace localtest {

namespace fs = std::filesystem;

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteFile(const std::string& path, const std::string& content) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

inline std::string MakeTempDir(const char* tag) {
    std::string pattern = (fs::path(::testing::TempDir()) / (std::string("qel_") + tag + "_XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    return std::string(mkdtemp(name.data())) + "/";
}

// Makes a fresh handle one of the local server LOCALTEST whose DIRECTORY is `directory`.
inline void MakeHandle(CsHandle* handle, const std::string& directory) {
    std::snprintf(handle->serverName, sizeof handle->serverName, "LOCALTEST");
    handle->def.kind = CS_KIND_LOCAL;
    handle->def.profile = "[@SRV@_LOCALTEST]\nDIRECTORY=" + directory + "\n";
}

// Copies testdata/archive into a fresh directory and gives it an empty registry.
class ArchiveCopy {
public:
    ArchiveCopy() : root_(MakeTempDir("archive")) {
        archive_ = root_ + "archive/";
        fs::copy(std::string(QEL_TESTDATA_DIR) + "/archive", archive_, fs::copy_options::recursive);
        fs::create_directories(root_ + "registry");
        ArcOS_PutEnv(("QEL_REGISTRY_DIR=" + root_ + "registry").c_str());
        ArcOS_PutEnv(("QEL_EVENTLOG_FILE=" + root_ + "events.log").c_str());
    }
    ~ArchiveCopy() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    const std::string& Dir() const { return archive_; }
    const std::string& Root() const { return root_; }
    std::string Table(const char* name) const { return archive_ + "table/" + name + ".tbl"; }

private:
    std::string root_;
    std::string archive_;
};

// The sample archive opened for the duration of each test.
class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        MakeHandle(&handle_, archive_.Dir());
        ASSERT_EQ(QelLocal_Open(&handle_), 0);
        opened_ = true;
    }
    void TearDown() override {
        if (opened_) QelLocal_Close(&handle_);
    }
    // Reopens so that the tables are read again from the start.
    void Reopen() {
        QelLocal_Close(&handle_);
        ASSERT_EQ(QelLocal_Open(&handle_), 0);
    }

    ArchiveCopy archive_;
    CsHandle handle_{};
    bool opened_ = false;
};

// The sample archive's invoice group.
inline constexpr int32_t kInvoices = 100;

// An invoice row: INVNO (S 10), CUSTOMER (S 40), INVDATE (I, the segment date field).
inline QelLocalIdxRow Invoice(const std::string& invno, int64_t date = 19730,
                              const std::string& customer = "ACME", const std::string& object = "1FAA") {
    QelLocalIdxRow row;
    row.header.objName = object;
    row.header.len = 10;
    row.header.compType = 'Z';
    row.values.resize(3);
    row.values[0].text = invno;
    row.values[1].text = customer;
    row.values[2].integer = date;
    return row;
}

}  // namespace localtest
