// sm_object_fixture.h - a handle with a cache store and a node store in a temporary tree.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "arc_install.h"
#include "arc_platform.h"
#include "qel_sm.h"
#include "sm_test_support.h"

namespace smtest {

// What an operation handed back: the pieces, the end-of-object calls and the messages
// (data and messages share the handle's callback context).
struct Sink {
    std::string data;
    int pieces = 0;
    int ends = 0;
    int refuseAfter = -1;  // answer 0 from this piece on
    std::vector<std::string> messages;

    static int Take(void* context, const unsigned char* data, size_t length) {
        auto* sink = static_cast<Sink*>(context);
        if (length == 0) {
            ++sink->ends;
            return 1;
        }
        if (sink->ends > 0) ADD_FAILURE() << "data after the end of the object";
        sink->data.append(reinterpret_cast<const char*>(data), length);
        ++sink->pieces;
        return sink->refuseAfter >= 0 && sink->pieces > sink->refuseAfter ? 0 : 1;
    }
    static int Message(void* context, const char* text) {
        static_cast<Sink*>(context)->messages.emplace_back(text);
        return 0;
    }
    bool Said(const std::string& piece) const {
        for (const std::string& m : messages) {
            if (m.find(piece) != std::string::npos) return true;
        }
        return false;
    }
    std::string AllMessages() const {
        std::string all;
        for (const std::string& m : messages) all += m + "\n";
        return all;
    }
};

// The texts of the storage manager's messages, by catalogue number.
inline const char* MessageText(int row) {
    switch (row) {
        case 6: return "Unable to store data to cache because there is no cache defined";
        case 7: return "not found in cache, no other storage defined";
        case 10: return "this server is cache only and does not support the Storage Management Subsystem";
        case 84: return "popen failed for command >";
        case 85: return "pclose failed for command >";
        case 109: return "No logical place to store object >";
        case 110: return "No logical place to retrieve object >";
        default: return "(no such message)";
    }
}

// Server LOCALTEST: its cache store in <dir>/cache (qel.ini), its one volume in <dir>/vol
// (label ARCH, number 7); the application group AG1 "Invoices" and two node entries.
class ObjectFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ArcOS_PutEnv(("QEL_EVENTLOG_FILE=" + dir_ / "events.log").c_str());
        std::filesystem::create_directories(dir_ / "install/bin");
        QelInst_SetModuleDirForTest((dir_ / "install/bin/").c_str());
        WriteFile(dir_ / "install/etc/qel.ini", "[@SRV@_LOCALTEST]\nCACHE_NAME=" + dir_ / "cache" + "\n");
        WriteFile(dir_ / "vol/volume", "ARCH\n7\n");
        Open("DIRECTORY=" + dir_ / "vol" + "\n");
        group_.storageId = "AG1";
        group_.name = "Invoices";
        group_.cachePeriod = 30;
        group_.migrationPeriod = -1;
        std::snprintf(primary_.name, sizeof primary_.name, "NODE1.ARCH");
        std::snprintf(primary_.logon, sizeof primary_.logon, "7");
        secondary_ = primary_;
        std::snprintf(secondary_.name, sizeof secondary_.name, "NODE2.ARCH");
    }
    void TearDown() override {
        SmCloseStorage(&handle_);
        QelInst_SetModuleDirForTest(nullptr);
    }

    // Opens the stores of a server with the given definition lines.
    void Open(const std::string& keyLines) {
        SmCloseStorage(&handle_);
        MakeHandle(&handle_, "LOCALTEST", keyLines, nullptr);
        handle_.callbackContext = &sink_;
        handle_.messageCallback = &Sink::Message;
        ASSERT_EQ(SmOpenStorage(&handle_), 0);
    }

    static std::string Folder(const std::string& name) {
        return !name.empty() && ArcOS_IsDigit(static_cast<unsigned char>(name.back())) ? "/RES/" : "/DOC/";
    }
    std::string CacheFile(const std::string& name) const {
        return dir_ / ("cache/data/AG1" + Folder(name) + name);
    }
    std::string NodeFile(const std::string& name) const {
        return dir_ / ("vol/data/AG1" + Folder(name) + name);
    }

    TempDir dir_;
    CsHandle handle_{};
    Sink sink_;
    SmApplGroup group_;
    CsStorageNode primary_;
    CsStorageNode secondary_;
};

// Fills the roads the request layer would lend, and takes them back at the end.
struct RoadsScope {
    explicit RoadsScope(SmRequestRoads roads) { SmSetRequestRoads(roads); }
    ~RoadsScope() { SmSetRequestRoads({}); }
};

}  // namespace smtest
