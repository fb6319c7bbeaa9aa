// Sessions on the real request layer: local logons on a copy of the sample archive and
// remote ones against the loopback peer, the hand-over of a session through its state
// blobs, and a password change that must leave the user's row intact.
#include <gtest/gtest.h>

#include <ctime>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "arc_codepage.h"
#include "archive_fixture.h"
#include "client_test_support.h"
#include "peer_process.h"
#include "qel_client.h"

namespace {

using clienttest::GatewayOptions;
using clienttest::SharedIconv;

std::vector<std::string> FolderNames(ClientSession* s) {
    std::vector<ClientFolderName> names(static_cast<size_t>(Folder_GetCount(s)));
    const int n = Folder_ListNames(s, names.data(), names.size());
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) out.emplace_back(names[static_cast<size_t>(i)].name);
    return out;
}

// The library started as the gateway starts it, on the request layer's operations.
class RealLayer : public clienttest::GatewayStarted {
protected:
    // The session handed on to the next request: saved, disconnected, rebuilt.
    static ClientSession* HandOver(ClientSession* s, const char* password) {
        EXPECT_EQ(Session_SetPassword(s, password), 0);
        std::vector<unsigned char> session, folders;
        EXPECT_GT(State_SaveSession(s, &session), 0u);
        EXPECT_GT(State_SaveFolderList(s, &folders), 0u);
        Session_Logoff(s, 1);
        ClientSession* r = State_RestoreSession(session.data(), session.size(), SharedIconv());
        if (r == nullptr) return nullptr;
        EXPECT_EQ(Session_CheckPassword(r, password), 0);
        EXPECT_GE(State_RestoreFolderList(r, folders.data(), folders.size()), 0);
        return r;
    }
};

class LocalArchive : public RealLayer {
protected:
    ClientSession* LogOn(const char* user, const char* password, ClientStatus* status) {
        ClientSession* s = nullptr;
        Session_Logon(status, "DEMO", "DEMO", user, password, 'L', 0, archive_.Dir().c_str(), &s);
        return s;
    }
    std::string UserRow(const std::string& user) const {
        const std::string text = localtest::ReadFile(archive_.Table("user"));
        const size_t at = text.find("[" + user + "]");
        if (at == std::string::npos) return "";
        return text.substr(at, text.find("\n[", at + 1) - at);
    }

    localtest::ArchiveCopy archive_;
};

TEST_F(LocalArchive, LogonsAndFolderLists) {
    struct Case {
        const char* name;
        const char* user;
        const char* password;
        int severity, code;
        std::vector<std::string> folders;
    };
    const Case cases[] = {
        {"ALICE opens both folders", "ALICE", "wonder1", 0, 0, {"Invoices", "Payroll"}},
        {"BOB opens one", "BOB", "builder2", 0, 0, {"Invoices"}},
        {"user ids are not case sensitive", "bob", "builder2", 0, 0, {"Invoices"}},
        {"passwords are", "ALICE", "WONDER1", CLIENT_SEV_REFUSED, 28, {}},
        {"wrong password", "BOB", "wonder1", CLIENT_SEV_REFUSED, 28, {}},
        {"unknown user", "CAROL", "wonder1", CLIENT_SEV_REFUSED, 28, {}},
        {"empty password", "ALICE", "", CLIENT_SEV_REFUSED, 28, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClientStatus status;
        ClientSession* s = LogOn(c.user, c.password, &status);
        EXPECT_EQ(status.severity, c.severity);
        EXPECT_EQ(status.code, c.code);
        if (c.severity != 0) {
            EXPECT_EQ(s, nullptr);
            continue;
        }
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->handle.localCcsid, 1208);
        EXPECT_EQ(FolderNames(s), c.folders);
        EXPECT_EQ(Session_Logoff(s, 0), 0);
    }
}

// With messages on, the logon messages land in the sample archive's "System Log" group:
// rows of time, user id, message number, severity and text in its row file.
TEST_F(LocalArchive, LogonMessagesGoToTheArchivesSystemLog) {
    Session_SetOptionBits(nullptr, CS_F1_MESSAGES, 0, 1);
    const int64_t before = static_cast<int64_t>(std::time(nullptr));
    ClientStatus status;
    ClientSession* s = LogOn("ALICE", "wonder1", &status);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(Session_Logoff(s, 0), 0);
    EXPECT_EQ(LogOn("BOB", "wrong", &status), nullptr);
    Session_SetOptionBits(nullptr, CS_F1_MESSAGES, 0, 0);
    const int64_t after = static_cast<int64_t>(std::time(nullptr));

    std::vector<std::vector<std::string>> rows;
    std::istringstream file(localtest::ReadFile(archive_.Dir() + "index/System Log.rows"));
    for (std::string line; std::getline(file, line);) {
        std::vector<std::string> values;
        std::istringstream fields(line);
        for (std::string value; std::getline(fields, value, '\t');) values.push_back(value);
        rows.push_back(values);
    }
    struct Expected {
        const char* user;
        const char* number;
        const char* text;
    };
    const Expected expected[] = {
        {"ALICE", "17", "Login: "}, {"ALICE", "19", "Logoff"}, {"BOB", "18", "Failed login: "}};
    ASSERT_EQ(rows.size(), std::size(expected));
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(expected[i].text);
        ASSERT_EQ(rows[i].size(), 5u);
        const int64_t time = std::stoll(rows[i][0]);
        EXPECT_GE(time, before);
        EXPECT_LE(time, after);
        EXPECT_EQ(rows[i][1], expected[i].user);
        EXPECT_EQ(rows[i][2], expected[i].number);
        EXPECT_EQ(rows[i][3], "4");
        EXPECT_TRUE(rows[i][4].starts_with(expected[i].text)) << rows[i][4];
    }
}

TEST_F(LocalArchive, SessionCarriedThroughItsBlobs) {
    ClientStatus status;
    ClientSession* s = LogOn("ALICE", "wonder1", &status);
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(Folder_GetCount(s), 2);
    ClientSession* r = HandOver(s, "wonder1");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->handle.localCcsid, 1208);
    EXPECT_STREQ(r->user.userName, "Alice Archer");
    EXPECT_EQ(FolderNames(r), (std::vector<std::string>{"Invoices", "Payroll"}));
    // The rebuilt handle lists on its own logon record.
    Session_LoadGroupList(&status, r);
    EXPECT_EQ(status.severity, 0);
    int groups = 0;
    Session_GetGroupCount(&status, r, &groups);
    EXPECT_EQ(groups, 2);
    EXPECT_EQ(Session_Logoff(r, 0), 0);
}

TEST_F(LocalArchive, PasswordChangeKeepsTheRow) {
    const std::string before = UserRow("BOB");
    ClientStatus status;
    ClientSession* s = LogOn("BOB", "builder2", &status);
    ASSERT_NE(s, nullptr);
    ClientSession* r = HandOver(s, "builder2");
    ASSERT_NE(r, nullptr);
    Session_ChangePassword(&status, r, "builder2", "mason33", "mason33");
    EXPECT_EQ(status.severity, 0) << status.code;
    Session_Logoff(r, 0);

    // Every text of the row survives; only the hash and the change time move.
    const std::string after = UserRow("BOB");
    for (const char* line : {"NAME=\"Bob Baker\"", "COMPANY=\"Demo Trading\"", "TITLE=\"Clerk\"",
                             "DEPT=\"Accounts\"", "DESCRIPTION=\"Accounts clerk\"", "TIMEOUT=\"900\""}) {
        EXPECT_NE(after.find(line), std::string::npos) << line << " lost from\n" << after;
    }
    EXPECT_NE(after, before);

    ClientSession* fresh = LogOn("BOB", "mason33", &status);
    EXPECT_EQ(status.severity, 0);
    if (fresh) Session_Logoff(fresh, 0);
    EXPECT_EQ(LogOn("BOB", "builder2", &status), nullptr);
    EXPECT_EQ(status.code, 28);
}

TEST_F(LocalArchive, PasswordChangeRefusals) {
    struct Case {
        const char* name;
        const char* oldPassword;
        const char* newPassword;
        const char* repeat;
        int severity, code;
    };
    const Case cases[] = {
        {"repetition differs", "builder2", "mason33", "mason34", CLIENT_SEV_ERROR, 31},
        {"wrong old password", "builder3", "mason33", "mason33", CLIENT_SEV_REFUSED, 32},
        {"shorter than the minimum", "builder2", "abc", "abc", CLIENT_SEV_REFUSED, 29},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClientStatus status;
        ClientSession* s = LogOn("BOB", "builder2", &status);
        ASSERT_NE(s, nullptr);
        Session_ChangePassword(&status, s, c.oldPassword, c.newPassword, c.repeat);
        EXPECT_EQ(status.severity, c.severity);
        EXPECT_EQ(status.code, c.code);
        Session_Logoff(s, 0);
    }
    ClientStatus status;
    ClientSession* s = LogOn("BOB", "builder2", &status);
    EXPECT_NE(s, nullptr) << "a refused change kept the old password";
    if (s) Session_Logoff(s, 0);
}

class RemotePeer : public RealLayer {
protected:
    RemotePeer() : peer_(qel_peer::Script("basic.json")) {}
    void SetUp() override {
        ASSERT_NE(peer_.port(), 0);
        RealLayer::SetUp();
    }
    ClientSession* LogOn(const char* user, const char* password, ClientStatus* status) {
        ClientSession* s = nullptr;
        Session_Logon(status, "PEER", "127.0.0.1", user, password, 'T', peer_.port(), nullptr, &s);
        return s;
    }

    qel_peer::PeerProcess peer_;
};

TEST_F(RemotePeer, LogonsAndFolderLists) {
    struct Case {
        const char* name;
        const char* user;
        const char* password;
        int severity, code;
        std::vector<std::string> folders;
    };
    const Case cases[] = {
        {"ALICE sees both folders", "ALICE", "SECRET1", 0, 0, {"Invoices", "Payroll"}},
        {"CAROL only the open one", "CAROL", "", 0, 0, {"Invoices"}},
        {"an expired password still logs on", "BOB", "BOBPASS", CLIENT_SEV_EXPIRED, 0, {"Invoices"}},
        {"wrong password", "ALICE", "WRONG", CLIENT_SEV_REFUSED, 28, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClientStatus status;
        ClientSession* s = LogOn(c.user, c.password, &status);
        EXPECT_EQ(status.severity, c.severity);
        EXPECT_EQ(status.code, c.code);
        if (c.severity != 0 && c.severity != CLIENT_SEV_EXPIRED) {
            EXPECT_EQ(s, nullptr);
            EXPECT_NE(status.serverMessage, nullptr);
            continue;
        }
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(FolderNames(s), c.folders);
        EXPECT_EQ(Session_Logoff(s, 0), 0);
    }
}

TEST_F(RemotePeer, LogonKeptOnTheServerUntilLogoff) {
    ClientStatus status;
    ClientSession* s = LogOn("ALICE", "SECRET1", &status);
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(Session_SetPassword(s, "SECRET1"), 0);
    std::vector<unsigned char> blob;
    ASSERT_GT(State_SaveSession(s, &blob), 0u);
    Session_Logoff(s, 1);

    // The next request's session reaches the same server logon on a new connection.
    ClientSession* r = State_RestoreSession(blob.data(), blob.size(), SharedIconv());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(FolderNames(r), (std::vector<std::string>{"Invoices", "Payroll"}));
    EXPECT_EQ(Session_Logoff(r, 0), 0);

    // After the full logoff the saved logon is no longer the server's.
    ClientSession* stale = State_RestoreSession(blob.data(), blob.size(), SharedIconv());
    ASSERT_NE(stale, nullptr);
    Session_LoadFolderList(&status, stale);
    EXPECT_EQ(status.severity, CLIENT_SEV_REFUSED);
    EXPECT_EQ(Folder_GetCount(stale), 0);
    Session_Logoff(stale, 0);
}

}  // namespace
