// State blobs: round trips, and blobs that are cut, flipped or lie about their contents.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "blob_frame.h"
#include "client_test_support.h"
#include "library_state.h"
#include "state_format.h"

namespace {

using clienttest::Blob;
using clienttest::ClientTest;

using clienttest::Frame;
using clienttest::PayloadOf;
using clienttest::PutLe32;

class StateTest : public ClientTest {
protected:
    // A session with every part of the blob filled in.
    ClientSession* RichSession() {
        server.groups = {{10, 1, "Admins", "Administrators"}, {11, 7, "Clerks", ""}};
        server.folders = {{1, "beta", "second", 2, 12, 0}, {2, "Alpha", "first", 1, 8, 0x100}};
        ClientSession* s = LogOn();
        if (!s) return nullptr;
        ClientStatus st;
        Session_LoadGroupList(&st, s);
        Session_LoadFolderList(&st, s);
        Session_SelectGroup(s, "Clerks");
        Session_SetPassword(s, "Secret1");
        s->userValue = 77;
        CsHandle& h = s->handle;
        h.def.flags1 = CS_F1_DISCONNECT | CS_F1_TIMED_OUT | CS_F1_INTERRUPT | CS_F1_LOCAL_OPEN |
                       CS_F1_CANCEL_PENDING | CS_F1_LEVEL_BITS;
        h.def.flags2 = CS_F2_LEVEL_BITS;
        h.def.instance = "inst";
        h.clientFlags = 0x08;
        h.clientType = 6;
        CsSetText(h.identity.userId, CS_USER_ID_SIZE, "ALICE");
        CsSetText(h.identity.userName, CS_USER_NAME_SIZE, "Alice A.");
        h.identity.processId = 4242;
        h.serverSession = 0xABCDEF01;
        for (size_t i = 0; i < sizeof h.serverSessionBlock; ++i) h.serverSessionBlock[i] = uint8_t(i * 3);
        s->systemParms->passwordExpiryDays = -1;
        s->systemParms->timeOut = 3600;
        s->systemParms->flags = 0x01;
        s->systemParms->exitMask = 0xFFFFFFFF;
        s->logon->groupList = "IN (7,10,11)";
        s->logon->lastActivity = 1700000000;
        s->logon->timeOut = -1;
        s->user.passwordChanged = 1690000000;
        s->user.logonTimeOut = 900;
        s->user.logonState = 3;
        return s;
    }

    Blob Save(ClientSession* s) {
        Blob blob;
        EXPECT_GT(State_SaveSession(s, &blob), 0u);
        return blob;
    }

    ClientSession* Restore(const Blob& blob) {
        return State_RestoreSession(blob.data(), blob.size(), clienttest::SharedIconv());
    }
};

TEST_F(StateTest, SessionRoundTrip) {
    ClientSession* a = RichSession();
    ASSERT_NE(a, nullptr);
    const Blob blob = Save(a);
    EXPECT_EQ(server.captures, 1);
    const size_t listed = qelclient::ListSize();
    ClientSession* r = Restore(blob);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(server.installs, 1);
    EXPECT_EQ(qelclient::ListSize(), listed + 1);
    EXPECT_TRUE(Session_IsOpen(r));
    EXPECT_NE(r, a);

    EXPECT_STREQ(r->handle.serverName, a->handle.serverName);
    EXPECT_EQ(r->serverEntry, a->serverEntry);
    EXPECT_EQ(r->handle.iconv, clienttest::SharedIconv());
    EXPECT_EQ(r->handle.callbackContext, r);
    EXPECT_EQ(r->codePage, a->codePage);
    EXPECT_EQ(r->charKind, a->charKind);
    EXPECT_EQ(r->rights, a->rights);
    EXPECT_EQ(r->userNumber, a->userNumber);
    EXPECT_EQ(r->userValue, 77u);

    EXPECT_EQ(r->user.userNumber, a->user.userNumber);
    EXPECT_STREQ(r->user.userId, "ALICE");
    EXPECT_STREQ(r->user.userName, a->user.userName);
    EXPECT_EQ(r->user.password, a->user.password);
    EXPECT_EQ(r->user.userType, a->user.userType);
    EXPECT_EQ(r->user.passwordChanged, 1690000000);
    EXPECT_EQ(r->user.logonTimeOut, 900);
    EXPECT_EQ(r->user.logonState, 3u);
    EXPECT_EQ(Session_CheckPassword(r, "secret1"), 0);
    EXPECT_EQ(Session_CheckPassword(r, "secret2"), 1);

    const CsHandle& h = r->handle;
    EXPECT_EQ(h.def.kind, CS_KIND_TCP);
    EXPECT_STREQ(h.def.host, "host.example");
    EXPECT_EQ(h.def.port, 1445);
    EXPECT_EQ(h.def.instance, "inst");
    // What belonged to the saving process is gone; the time-out stays.
    EXPECT_EQ(h.def.flags1, CS_F1_DISCONNECT | CS_F1_TIMED_OUT | CS_F1_LEVEL_BITS);
    EXPECT_EQ(h.def.flags2, CS_F2_LEVEL_BITS);
    EXPECT_EQ(h.clientFlags, 0x08u);
    EXPECT_EQ(h.clientType, 6);
    EXPECT_STREQ(h.identity.userName, "Alice A.");
    EXPECT_EQ(h.identity.processId, 4242u);
    EXPECT_EQ(h.serverSession, 0xABCDEF01u);
    EXPECT_EQ(std::memcmp(h.serverSessionBlock, a->handle.serverSessionBlock, 64), 0);
    EXPECT_EQ(h.serverMessage[0], '\0');

    ASSERT_TRUE(r->systemParms.has_value());
    EXPECT_EQ(r->systemParms->passwordExpiryDays, -1);
    EXPECT_EQ(r->systemParms->minPasswordLength, 6);
    EXPECT_EQ(r->systemParms->timeOut, 3600);
    EXPECT_EQ(r->systemParms->exitMask, 0xFFFFFFFFu);
    ASSERT_TRUE(r->logon.has_value());
    EXPECT_EQ(r->logon->groupList, "IN (7,10,11)");
    EXPECT_EQ(r->logon->lastActivity, 1700000000);
    EXPECT_EQ(r->logon->timeOut, -1);
    EXPECT_EQ(r->logon->userNumber, 7u);

    ASSERT_EQ(r->groups.size(), 2u);
    EXPECT_EQ(r->groups[1].id, "Clerks");
    EXPECT_EQ(r->groups[1].owner, 7u);
    EXPECT_EQ(r->groups[0].description, "Administrators");
    EXPECT_EQ(r->currentGroup, 1);
    EXPECT_EQ(r->groupsLoaded, 1);
    // The folder list travels in its own blob.
    EXPECT_TRUE(r->folders.empty());

    // Saving the restored session gives the bytes of the original without its live bits.
    a->handle.def.flags1 = h.def.flags1;
    EXPECT_EQ(Save(r), Save(a));
}

TEST_F(StateTest, LocalSessionAndAbsentRecords) {
    ClientStatus st;
    ClientSession* a = nullptr;
    Session_Logon(&st, "LOCALARC", "x", "ALICE", "SECRET", 'L', 0, "/srv/archive", &a);
    ASSERT_NE(a, nullptr);
    a->systemParms.reset();
    a->logon.reset();
    const Blob blob = Save(a);
    ClientSession* r = Restore(blob);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->handle.def.kind, CS_KIND_LOCAL);
    EXPECT_EQ(r->handle.def.profile, a->handle.def.profile);
    EXPECT_EQ(r->localDirectory, "/srv/archive");
    EXPECT_FALSE(r->systemParms.has_value());
    EXPECT_FALSE(r->logon.has_value());
    EXPECT_TRUE(r->user.password.empty());
    EXPECT_EQ(Session_CheckPassword(r, ""), 1);  // no hash, no entry
    EXPECT_EQ(r->groupsLoaded, 0);
    EXPECT_EQ(r->currentGroup, -1);
}

TEST_F(StateTest, RestoringNeverReplacesTheProcessSettings) {
    ClientSession* a = RichSession();
    ASSERT_NE(a, nullptr);
    Client_Term();
    ClientInitOptions other = clienttest::GatewayOptions();
    clienttest::Put(other.monthNames[0], "Januar");
    other.folderListSwitch = 0;
    clienttest::Put(other.todayLetter, "H");
    ASSERT_TRUE(Client_Init(&other));
    ClientSession* b = LogOn();
    ASSERT_NE(b, nullptr);
    const Blob blob = Save(b);  // written under the other settings

    Client_Term();
    ClientInitOptions mine = clienttest::GatewayOptions();
    ASSERT_TRUE(Client_Init(&mine));
    ASSERT_NE(Restore(blob), nullptr);
    const qelclient::LibraryOptions& kept = qelclient::Library().options;
    EXPECT_STREQ(kept.names.monthNames[0], "January");
    EXPECT_EQ(kept.folderListSwitch, 1);
    EXPECT_STREQ(kept.todayLetter, "T");
    char text[ARC_DT_TEXT_MAX];
    const ArcDTValue january{1, "%B", 'D'};
    ASSERT_NE(ArcDT_FormatValue(text, &january), nullptr);
    EXPECT_STREQ(text, "January");
    ArcDT_SetLocaleNames(nullptr);
}

TEST_F(StateTest, EveryCutAndEveryFlippedByteIsMissing) {
    ClientSession* a = RichSession();
    ASSERT_NE(a, nullptr);
    const Blob blob = Save(a);
    const size_t listed = qelclient::ListSize();
    for (size_t n = 0; n < blob.size(); ++n) {
        ASSERT_EQ(State_RestoreSession(blob.data(), n, clienttest::SharedIconv()), nullptr) << "cut at " << n;
    }
    Blob longer = blob;
    longer.push_back(0);
    EXPECT_EQ(Restore(longer), nullptr);
    for (size_t i = 0; i < blob.size(); ++i) {
        for (unsigned char mask : {0x01, 0x80, 0xFF}) {
            Blob bad = blob;
            bad[i] ^= mask;
            ASSERT_EQ(Restore(bad), nullptr) << "byte " << i << " mask " << int(mask);
        }
    }
    EXPECT_EQ(qelclient::ListSize(), listed);
    EXPECT_EQ(server.installs, 0);
}

TEST_F(StateTest, CutPayloadsInAValidFrameAreMissing) {
    ClientSession* a = RichSession();
    ASSERT_NE(a, nullptr);
    const Blob payload = PayloadOf(Save(a));
    ASSERT_NE(Restore(Frame("QSRV", payload)), nullptr);  // the frame itself is right
    const size_t listed = qelclient::ListSize();
    for (size_t n = 0; n < payload.size(); ++n) {
        ASSERT_EQ(Restore(Frame("QSRV", Blob(payload.begin(), payload.begin() + n))), nullptr) << n;
    }
    Blob longer = payload;
    longer.push_back(0);
    EXPECT_EQ(Restore(Frame("QSRV", longer)), nullptr);
    EXPECT_EQ(qelclient::ListSize(), listed);
}

TEST_F(StateTest, FlippedPayloadsInAValidFrameNeverHalfRestore) {
    ClientSession* a = RichSession();
    ASSERT_NE(a, nullptr);
    const Blob payload = PayloadOf(Save(a));
    const size_t listed = qelclient::ListSize();
    int restored = 0;
    for (size_t i = 0; i < payload.size(); ++i) {
        for (unsigned char mask : {0x01, 0x80, 0xFF}) {
            Blob bad = payload;
            bad[i] ^= mask;
            ClientSession* r = Restore(Frame("QSRV", bad));
            if (!r) {
                ASSERT_EQ(qelclient::ListSize(), listed) << i;
                continue;
            }
            // A changed number or letter inside a text is a session of its own, whole.
            ++restored;
            ASSERT_TRUE(Session_IsOpen(r)) << i;
            ASSERT_EQ(r->handle.callbackContext, r) << i;
            ASSERT_LT(r->currentGroup, static_cast<int>(r->groups.size())) << i;
            ASSERT_TRUE(r->user.password.empty() || r->user.password.rfind("$6$", 0) == 0) << i;
            Session_Logoff(r, 1);
        }
    }
    EXPECT_EQ(qelclient::ListSize(), listed);
    EXPECT_GT(restored, 0);
}

TEST_F(StateTest, FramesOfAnotherKindVersionOrBuildAreMissing) {
    ClientSession* a = RichSession();
    ASSERT_NE(a, nullptr);
    const Blob payload = PayloadOf(Save(a));
    EXPECT_EQ(Restore(Frame("QFNM", payload)), nullptr);
    ClientSession* current = Restore(Frame("QSRV", payload));
    EXPECT_NE(current, nullptr) << "the frame of this build";
    if (current != nullptr) Session_Logoff(current, 1);
    EXPECT_EQ(Restore(Frame("QSRV", payload, 1)), nullptr) << "the version that kept a crypt hash";
    EXPECT_EQ(Restore(Frame("QSRV", payload, 3)), nullptr);
    EXPECT_EQ(Restore(Frame("QSRV", payload, 0)), nullptr);
    EXPECT_EQ(Restore(Frame("QSRV", payload, 2, qelclient::SchemaHash() ^ 1)), nullptr);
    EXPECT_EQ(State_RestoreSession(nullptr, 100, nullptr), nullptr);
    const Blob empty;
    EXPECT_EQ(Restore(Frame("QSRV", empty)), nullptr);
}

TEST_F(StateTest, ValuesNoWriterOfOursMakesAreRefused) {
    struct Case {
        const char* name;
        std::function<void(ClientSession*)> spoil;
    };
    const Case cases[] = {
        {"password in clear", [](ClientSession* s) { s->user.password = "Secret1"; }},
        {"DES hash", [](ClientSession* s) { s->user.password = "abJnggxhB/yWI"; }},
        {"keyed hash in upper-case hex",
         [](ClientSession* s) {
             s->user.password = "$k$" + std::string(32, 'A') + "$" + std::string(64, 'B');
         }},
        {"keyed hash a digit short",
         [](ClientSession* s) {
             s->user.password = "$k$" + std::string(32, 'a') + "$" + std::string(63, 'b');
         }},
        {"keyed hash without its separator",
         [](ClientSession* s) { s->user.password = "$k$" + std::string(97, 'a'); }},
        {"unknown kind", [](ClientSession* s) { s->handle.def.kind = 3; }},
        {"profile of a remote server", [](ClientSession* s) { s->handle.def.profile = "[x]\n"; }},
        {"character kind", [](ClientSession* s) { s->charKind = 2; }},
        {"code page", [](ClientSession* s) { s->codePage = 0; }},
        {"current group past the list", [](ClientSession* s) { s->currentGroup = 2; }},
        {"current group below none", [](ClientSession* s) { s->currentGroup = -2; }},
        {"empty server name", [](ClientSession* s) { s->handle.serverName[0] = '\0'; }},
        {"group id of 21", [](ClientSession* s) { s->groups[0].id = std::string(21, 'g'); }},
        {"description of 121", [](ClientSession* s) { s->groups[1].description = std::string(121, 'd'); }},
        {"zero byte in a text", [](ClientSession* s) { s->logon->groupList = std::string("IN (1\0,2)", 9); }},
    };
    for (const Case& c : cases) {
        ClientSession* s = RichSession();
        ASSERT_NE(s, nullptr) << c.name;
        const size_t listed = qelclient::ListSize();
        c.spoil(s);
        const Blob blob = Save(s);
        EXPECT_EQ(Restore(blob), nullptr) << c.name;
        EXPECT_EQ(qelclient::ListSize(), listed) << c.name;
        Session_Logoff(s, 1);
    }
}

TEST_F(StateTest, CountsThePayloadCannotHoldAreRefusedBeforeAllocating) {
    ClientSession* s = RichSession();
    ASSERT_NE(s, nullptr);
    s->groups.clear();
    s->currentGroup = -1;
    Blob payload = PayloadOf(Save(s));
    // With no groups the payload ends with the group count and the current group.
    const size_t countAt = payload.size() - 8;
    ASSERT_EQ(payload[countAt], 0);
    for (uint32_t count : {1u, 2u, 0xFFFFu, 0x10000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        Blob bad = payload;
        PutLe32(&bad[countAt], count);
        EXPECT_EQ(Restore(Frame("QSRV", bad)), nullptr) << count;
    }
    // The server name's length, then every length the text could claim.
    const std::string name = std::string("\x07\0\0\0", 4) + "ARCHIVE";
    const auto at = std::search(payload.begin(), payload.end(), name.begin(), name.end());
    ASSERT_NE(at, payload.end());
    const size_t lengthAt = static_cast<size_t>(at - payload.begin());
    for (uint32_t length : {0u, 6u, 8u, 256u, 0xFFFFFFFFu}) {
        Blob bad = payload;
        PutLe32(&bad[lengthAt], length);
        EXPECT_EQ(Restore(Frame("QSRV", bad)), nullptr) << length;
    }
}

TEST_F(StateTest, AFailedHandOverToTheHandleMakesNoSession) {
    ClientSession* a = RichSession();
    ASSERT_NE(a, nullptr);
    const Blob blob = Save(a);
    const size_t listed = qelclient::ListSize();
    server.installResult = 9;
    EXPECT_EQ(Restore(blob), nullptr);
    EXPECT_EQ(qelclient::ListSize(), listed);
}

TEST_F(StateTest, OnlyListedSessionsAreSaved) {
    ClientSession stranger;
    Blob blob = {1, 2, 3};
    EXPECT_EQ(State_SaveSession(&stranger, &blob), 0u);
    EXPECT_EQ(State_SaveSession(nullptr, &blob), 0u);
    EXPECT_EQ(State_SaveFolderList(&stranger, &blob), 0u);
    EXPECT_EQ(blob, (Blob{1, 2, 3}));
    ClientSession* a = LogOn();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(State_SaveSession(a, nullptr), 0u);
}

TEST_F(StateTest, FolderListRoundTrip) {
    ClientSession* a = RichSession();
    ASSERT_NE(a, nullptr);
    const Blob session = Save(a);
    Blob folders;
    ASSERT_GT(State_SaveFolderList(a, &folders), 0u);
    EXPECT_LE(folders.size(), 20 + 4 + 4 + 7 + 4 + 5 + 2 * State_FolderRecordSize());
    Session_Logoff(a, 1);

    ClientSession* r = Restore(session);
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(State_RestoreFolderList(r, folders.data(), folders.size()), 2);
    ASSERT_EQ(r->folders.size(), 2u);
    const ClientFolderRow& first = r->folders[0]->row;
    EXPECT_EQ(first.name, "Alpha");
    EXPECT_EQ(first.number, 2u);
    EXPECT_EQ(first.description, "first");
    EXPECT_EQ(first.type, 1);
    EXPECT_EQ(first.fieldTotal, 8);
    EXPECT_EQ(first.flags, 0x100u);
    EXPECT_EQ(r->folders[1]->row.name, "beta");
    EXPECT_EQ(r->folders[0]->session, r);
    // A restored list is not asked for again.
    EXPECT_EQ(Folder_GetCount(r), 2);
    EXPECT_EQ(server.folderLoads, 1);
}

TEST_F(StateTest, AnEmptyFolderListRebuildsNoList) {
    ClientSession* a = LogOn();
    ASSERT_NE(a, nullptr);
    Blob folders;
    ASSERT_GT(State_SaveFolderList(a, &folders), 0u);
    server.folders = {{1, "x", "", 0, 0, 0}};
    ClientSession* b = LogOn();
    ASSERT_EQ(Folder_GetCount(b), 1);
    EXPECT_EQ(State_RestoreFolderList(b, folders.data(), folders.size()), 0);
    EXPECT_TRUE(b->folders.empty());
}

TEST_F(StateTest, AFolderListOfAnotherLogonOrABrokenOneChangesNothing) {
    server.folders = {{1, "Loans", "", 0, 0, 0}, {2, "Bills", "", 0, 0, 0}};
    ClientSession* alice = LogOn("ARCHIVE", "ALICE", "SECRET");
    ClientSession* bob = LogOn("ARCHIVE", "BOB", "HUNTER2");
    ClientSession* elsewhere = LogOn("OTHER", "ALICE", "SECRET");
    ASSERT_TRUE(alice && bob && elsewhere);
    ASSERT_EQ(Folder_GetCount(alice), 2);
    Blob folders;
    ASSERT_GT(State_SaveFolderList(alice, &folders), 0u);

    server.folders = {{9, "Mine", "", 0, 0, 0}};
    for (ClientSession* s : {bob, elsewhere}) {
        ASSERT_EQ(Folder_GetCount(s), 1);
        EXPECT_EQ(State_RestoreFolderList(s, folders.data(), folders.size()), -1);
        ASSERT_EQ(s->folders.size(), 1u);
        EXPECT_EQ(s->folders[0]->row.name, "Mine");
    }

    ClientSession* target = LogOn("ARCHIVE", "ALICE", "SECRET");
    ASSERT_EQ(Folder_GetCount(target), 1);
    for (size_t n = 0; n < folders.size(); ++n)
        ASSERT_EQ(State_RestoreFolderList(target, folders.data(), n), -1) << "cut at " << n;
    for (size_t i = 0; i < folders.size(); ++i) {
        Blob bad = folders;
        bad[i] ^= 0x01;
        ASSERT_EQ(State_RestoreFolderList(target, bad.data(), bad.size()), -1) << i;
    }
    const Blob payload = PayloadOf(folders);
    for (size_t n = 0; n < payload.size(); ++n) {
        const Blob cut = Frame("QFNM", Blob(payload.begin(), payload.begin() + n));
        ASSERT_EQ(State_RestoreFolderList(target, cut.data(), cut.size()), -1) << n;
    }
    for (size_t i = 0; i < payload.size(); ++i) {
        Blob bad = payload;
        bad[i] ^= 0xFF;
        const Blob framed = Frame("QFNM", bad);
        const int n = State_RestoreFolderList(target, framed.data(), framed.size());
        if (n >= 0) {  // a changed number is a list of its own
            ASSERT_EQ(target->folders.size(), static_cast<size_t>(n)) << i;
            ASSERT_EQ(State_RestoreFolderList(target, folders.data(), folders.size()), 2);
        }
    }
    ASSERT_EQ(State_RestoreFolderList(target, folders.data(), folders.size()), 2);
    EXPECT_EQ(target->folders[0]->row.name, "Bills");

    const Blob wrongKind = Frame("QSRV", payload);
    EXPECT_EQ(State_RestoreFolderList(target, wrongKind.data(), wrongKind.size()), -1);
    ClientSession stranger;
    EXPECT_EQ(State_RestoreFolderList(&stranger, folders.data(), folders.size()), -1);
}

}  // namespace
