// client_test_support.h - a scripted server behind the session code, and a fixture that
// starts and stops the library around each test.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "arc_codepage.h"
#include "qel_client.h"
#include "server_ops.h"
#include "session_list.h"

namespace clienttest {

template <size_t N>
void Put(char (&slot)[N], const char* text) {
    std::memset(slot, 0, N);
    std::memcpy(slot, text, strnlen(text, N - 1));
}

struct FakeUser {
    std::string password;
    uint32_t number = 0;
    uint16_t type = 0;
    int result = 0;  // what a right password answers (0, or 12 expired)
};

// Answers the session's server calls from tables; counts what it was asked.
class FakeServer {
public:
    std::mutex mutex;
    std::map<std::string, FakeUser> users;
    CsSystemParms parms{};
    bool sendParms = true;
    std::string failureText;  // put into the handle's server message when a call fails

    std::vector<ClientFolderRow> folders;
    int folderResult = 0;
    std::vector<ClientGroupEntry> groups;
    int groupResult = 0;
    std::string lastGroupKey;

    int changeResult = 0;
    int changeReason = 0;
    std::string lastOld, lastNew;

    int timeoutResult = 0;
    int installResult = 0;

    std::atomic<int> logons{0}, logoffs{0}, disconnects{0}, folderLoads{0}, groupLoads{0}, interrupts{0},
        captures{0}, installs{0}, integrated{0};

    qelclient::ServerOps Ops() {
        qelclient::ServerOps ops;
        ops.logon = [this](ClientSession* s, const char* user, const char* password) {
            return Logon(s, user, password);
        };
        ops.integratedLogon = [this](ClientSession* s) {
            ++integrated;
            return Logon(s, "ALICE", "SECRET");
        };
        ops.logoff = [this](ClientSession*) { return ++logoffs, 0; };
        ops.disconnect = [this](ClientSession*) { return ++disconnects, 0; };
        ops.changePassword = [this](ClientSession*, const char* o, const char* n, int* reason) {
            lastOld = o;
            lastNew = n;
            *reason = changeReason;
            return changeResult;
        };
        ops.getFolderList = [this](ClientSession* s, const qelclient::FolderRowSink& sink) {
            ++folderLoads;
            for (const ClientFolderRow& row : folders) sink(row);
            return Fail(s, folderResult);
        };
        ops.getUserGroups = [this](ClientSession* s, const char* key, const qelclient::GroupRowSink& sink) {
            ++groupLoads;
            lastGroupKey = key;
            for (const ClientGroupEntry& row : groups) sink(row);
            return Fail(s, groupResult);
        };
        ops.checkTimeout = [this](ClientSession*) { return timeoutResult; };
        ops.interrupt = [this](ClientSession*) { ++interrupts; };
        ops.captureLogon = [this](ClientSession*) { ++captures; };
        ops.installLogon = [this](ClientSession*) { return ++installs, installResult; };
        return ops;
    }

private:
    int Fail(ClientSession* s, int rc) {
        if (rc != 0) CsSetText(s->handle.serverMessage, CS_SERVER_MESSAGE_SIZE, failureText.c_str());
        return rc;
    }

    int Logon(ClientSession* s, const char* user, const char* password) {
        ++logons;
        FakeUser u;
        {
            std::lock_guard lock(mutex);
            auto it = users.find(user);
            if (it == users.end() || it->second.password != password) return Fail(s, 13);
            u = it->second;
        }
        s->user.userNumber = u.number;
        Put(s->user.userId, user);
        Put(s->user.userName, ("Name of " + std::string(user)).c_str());
        s->user.userType = u.type;
        if (sendParms) s->systemParms = parms;
        s->logon = ClientLogonRecord{u.number, "IN (" + std::to_string(u.number) + ")", u.type, 0, 0};
        return u.result;
    }
};

// The locale directory of the staged build.
inline std::string StagedLocale() { return std::string(QEL_STAGE_DIR) + "/locale"; }

// One code-page context for the whole test program.
inline ArcIconvContext* SharedIconv() {
    static ArcIconvContext* context = [] {
        ArcIconvContext* c = nullptr;
        return ArcICONV_Startup(&c, StagedLocale().c_str()) == ARC_ICONV_OK ? c : nullptr;
    }();
    return context;
}

// The options the gateway passes.
inline ClientInitOptions GatewayOptions(int32_t codePage = 819) {
    static const char* const kMonths[12] = {"January",   "February", "March",    "April",
                                            "May",       "June",     "July",     "August",
                                            "September", "October",  "November", "December"};
    static const char* const kDays[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                         "Thursday", "Friday", "Saturday"};
    ClientInitOptions o;
    Client_SetGatewayOptions(&o);
    o.codePage = codePage;
    for (int i = 0; i < 12; ++i) {
        Put(o.monthNames[i], kMonths[i]);
        Put(o.monthAbbrevs[i], std::string(kMonths[i], 3).c_str());
    }
    for (int i = 0; i < 7; ++i) {
        Put(o.dayNames[i], kDays[i]);
        Put(o.dayAbbrevs[i], std::string(kDays[i], 3).c_str());
    }
    Put(o.am, "AM");
    Put(o.pm, "PM");
    Put(o.longFormat, "%X %p %Z %A %B %d, %Y");
    Put(o.todayLetter, "T");
    Put(o.dayLetter, "D");
    Put(o.monthLetter, "M");
    Put(o.yearLetter, "Y");
    Put(o.latestLetter, "L");
    o.iconv = SharedIconv();
    return o;
}

// Starts the library as the gateway starts it (code page 1208), on the request layer's
// own operations; stops it after.
class GatewayStarted : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(Start()); }
    void TearDown() override { Client_Term(); }
    static void Start(ClientInitOptions options = GatewayOptions(1208)) {
        ASSERT_NE(SharedIconv(), nullptr);
        ASSERT_TRUE(Client_Init(&options));
        Session_SetOption(nullptr, 1);
    }
};

// Starts the library with the gateway's options and a scripted server; stops it after.
class ClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(SharedIconv(), nullptr);
        ClientInitOptions options = GatewayOptions(CodePage());
        ASSERT_TRUE(Client_Init(&options));
        server.users["ALICE"] = FakeUser{"SECRET", 7, 0x01};
        server.users["BOB"] = FakeUser{"HUNTER2", 8, 0x04};
        server.users["OLD"] = FakeUser{"PW", 9, 0, 12};
        server.parms.minPasswordLength = 6;
        qelclient::SetOps(server.Ops());
    }
    void TearDown() override {
        Client_Term();
        qelclient::SetOps(qelclient::ServerOps{});
        Session_SetOptionBits(nullptr, ~0u, ~0u, 0);
    }
    virtual int32_t CodePage() const { return 819; }

    // A logged-on session of ALICE on a remote server.
    ClientSession* LogOn(const char* server = "ARCHIVE", const char* user = "ALICE",
                         const char* password = "SECRET") {
        ClientStatus status;
        ClientSession* s = nullptr;
        Session_Logon(&status, server, "host.example", user, password, 'T', 1445, nullptr, &s);
        EXPECT_EQ(status.severity, 0) << "logon of " << user << " gave code " << status.code;
        return s;
    }

    FakeServer server;
};

}  // namespace clienttest
