// The folder list: local folders filtered by the folder permissions of the logged-on
// user, and the list a remote server (the loopback peer) sends.
#include <string>
#include <vector>

#include "logon_test_support.h"

namespace {

using logontest::HandleGuard;
using logontest::TestArchive;

struct Folders {
    std::vector<std::string> names;
};

int Collect(void* context, CsFolderEntry* entry) {
    static_cast<Folders*>(context)->names.push_back(std::to_string(entry->number) + ":" + entry->name);
    return 1;
}

class LocalFolderList : public ::testing::Test {
protected:
    // Logs a fresh handle on and lists; the names in *names.
    int List(const char* user, const char* password, std::vector<std::string>* names,
             const char* pattern = nullptr, int flags = 0, uint32_t* count = nullptr,
             uint32_t clientFlags = 0) {
        guard_.Renew(archive_);
        handle_.clientFlags = clientFlags;
        CsUserRecord record{};
        EXPECT_EQ(CsLogon(&handle_, user, password, &record), CS_OK) << user;
        Folders folders;
        handle_.callbackContext = &folders;
        const int rc = CsGetFolderList(&handle_, pattern, user, nullptr, flags, count, Collect);
        *names = folders.names;
        return rc;
    }

    TestArchive archive_;
    CsHandle handle_{};
    HandleGuard guard_{&handle_};
};

TEST_F(LocalFolderList, ByFolderPermissions) {
    // Sample permissions: folder 1 for group 11 (bits 0x01), folder 2 for group 10 (0x03).
    const std::string hidden = "[1]\nIDS=11\n\n[11|1]\nPERMS=8\nHITS=500\n\n[2]\nIDS=10\n\n[10|2]\nPERMS=3\n";
    struct Case {
        const char* name;
        const char* user;
        const char* password;
        bool hideFolder1;
        uint32_t clientFlags;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"member of both groups", "ALICE", "Secret-1", false, 0, {"1:Invoices", "2:Payroll"}},
        {"member of one group", "BOB", "Bob.Pass", false, 0, {"1:Invoices"}},
        {"member of no group", "CAROL", "", false, 0, {}},
        {"administrator type 0x04 sees all", "ROOT", "RootPw1", false, 0, {"1:Invoices", "2:Payroll"}},
        {"type 0x10 sees all", "DAVE", "DavePw1", true, 0, {"1:Invoices", "2:Payroll"}},
        {"a row without bits 0x07 hides the folder", "ALICE", "Secret-1", true, 0, {"2:Payroll"}},
        {"strict client: an administrator needs a row", "DAVE", "DavePw1", false, 0x01, {}},
        {"strict client: rows count for administrators", "ROOT", "RootPw1", false, 0x01, {"2:Payroll"}},
    };
    const std::string sample = archive_.Table("folperms");
    for (const Case& c : cases) {
        archive_.WriteTable("folperms", c.hideFolder1 ? hidden : sample);
        std::vector<std::string> names;
        EXPECT_EQ(List(c.user, c.password, &names, nullptr, 0, nullptr, c.clientFlags), CS_OK) << c.name;
        EXPECT_EQ(names, c.expected) << c.name;
    }
}

TEST_F(LocalFolderList, PatternAndCount) {
    struct Case {
        const char* name;
        const char* pattern;
        int flags;
        std::vector<std::string> expected;
        uint32_t count;
    };
    const Case cases[] = {
        {"every folder", nullptr, 0, {"1:Invoices", "2:Payroll"}, 2},
        {"empty pattern", "", 0, {"1:Invoices", "2:Payroll"}, 2},
        {"prefix pattern", "Inv%", 0, {"1:Invoices"}, 1},
        {"star pattern", "*roll", 0, {"2:Payroll"}, 1},
        {"patterns respect case", "inv%", 0, {}, 0},
        {"count only special folders", nullptr, 0x01, {"1:Invoices", "2:Payroll"}, 0},
        {"count only ordinary folders", nullptr, 0x02, {"1:Invoices", "2:Payroll"}, 2},
    };
    for (const Case& c : cases) {
        std::vector<std::string> names;
        uint32_t count = 99;
        EXPECT_EQ(List("ALICE", "Secret-1", &names, c.pattern, c.flags, &count), CS_OK) << c.name;
        EXPECT_EQ(names, c.expected) << c.name;
        EXPECT_EQ(count, c.count) << c.name;
    }
}

// The archive's texts are in 819. A session in 1208 or 819 lists, matches and opens its
// folders with names in its own code page; a description too long for its field once in
// UTF-8 is cut after a whole character.
TEST_F(LocalFolderList, NamesInTheSessionsCodePage) {
    std::string folders = archive_.Table("fol");
    folders.replace(folders.find("NAME=Invoices"), 13,
                    "NAME=\"Rechnungen S\xFC"
                    "d\"");
    folders.replace(folders.find("\"Customer invoices\""), 19, "\"" + std::string(100, '\xDC') + "\"");
    archive_.WriteTable("fol", folders);
    std::string fields = archive_.Table("folfld");
    fields.replace(fields.find("NAME=Customer"), 13, "NAME=\"K\xE4ufer\"");
    archive_.WriteTable("folfld", fields);
    struct Case {
        int32_t ccsid;
        const char* pattern;
        const char* folder;
        const char* field;
        std::string description;
    };
    const Case cases[] = {
        {1208,
         "%S\xC3\xBC"
         "d",
         "Rechnungen S\xC3\xBC"
         "d",
         "K\xC3\xA4ufer",
         [] {
             std::string d;
             for (int i = 0; i < 60; ++i) d += "\xC3\x9C";
             return d;
         }()},
        {819,
         "%S\xFC"
         "d",
         "Rechnungen S\xFC"
         "d",
         "K\xE4ufer", std::string(100, '\xDC')},
    };
    for (const Case& c : cases) {
        std::vector<std::string> names;
        guard_.Renew(archive_);
        CsUserRecord record{};
        ASSERT_EQ(CsLogon(&handle_, "ALICE", "Secret-1", &record), CS_OK);
        handle_.localCcsid = c.ccsid;
        Folders listed;
        handle_.callbackContext = &listed;
        EXPECT_EQ(CsGetFolderList(&handle_, c.pattern, "ALICE", nullptr, 0, nullptr, Collect), CS_OK);
        EXPECT_EQ(listed.names, (std::vector<std::string>{std::string("1:") + c.folder})) << c.ccsid;
        for (uint32_t number : {1u, 0u}) {
            CsXdrFolder* folder = nullptr;
            ASSERT_EQ(CsOpenFolderGroups(&handle_, number, number == 0 ? c.folder : nullptr, &folder), CS_OK)
                << c.ccsid;
            EXPECT_STREQ(folder->name, c.folder) << c.ccsid;
            EXPECT_EQ(folder->description, c.description) << c.ccsid;
            ASSERT_GE(folder->fieldCount, 2u);
            EXPECT_STREQ(folder->fields[1].name, c.field) << c.ccsid;
            CsFreeFolderList(folder);
        }
    }
}

TEST_F(LocalFolderList, WithoutLogonNothingIsListed) {
    archive_.Prepare(&handle_);
    Folders folders;
    handle_.callbackContext = &folders;
    EXPECT_EQ(CsGetFolderList(&handle_, nullptr, nullptr, nullptr, 0, nullptr, Collect), CS_OK);
    EXPECT_TRUE(folders.names.empty());
}

TEST(RemoteFolderList, FromThePeer) {
    qel_peer::PeerProcess peer(qel_peer::Script("basic.json"));
    ASSERT_NE(peer.port(), 0);
    struct Case {
        const char* name;
        const char* user;
        const char* password;
        const char* pattern;
        std::vector<std::string> refuse;
        std::vector<std::string> expected;
        uint32_t count;
    };
    const Case cases[] = {
        {"two folders", "ALICE", "SECRET1", nullptr, {}, {"1:Invoices", "2:Payroll"}, 2},
        {"one folder", "CAROL", "", nullptr, {}, {"1:Invoices"}, 1},
        {"by pattern", "ALICE", "SECRET1", "Pay%", {}, {"2:Payroll"}, 1},
    };
    for (const Case& c : cases) {
        CsHandle handle{};
        HandleGuard guard{&handle};
        logontest::MakePeerHandle(&handle, peer);
        CsUserRecord record{};
        ASSERT_EQ(CsLogon(&handle, c.user, c.password, &record), CS_OK) << c.name;
        Folders folders;
        handle.callbackContext = &folders;
        uint32_t count = 0;
        EXPECT_EQ(CsGetFolderList(&handle, c.pattern, nullptr, nullptr, 3, &count, Collect), CS_OK) << c.name;
        EXPECT_EQ(folders.names, c.expected) << c.name;
        EXPECT_EQ(count, c.count) << c.name << ": the server's final word";
        EXPECT_EQ(handle.callbackContext, &folders) << c.name << ": the caller's context is back";
        EXPECT_EQ(CsLogoff(&handle), CS_OK) << c.name;
    }
}

TEST(RemoteFolderList, OlderServersGetRequest19) {
    qel_peer::PeerProcess peer(qel_peer::Script("basic.json"), {"--refuse", "2219"});
    ASSERT_NE(peer.port(), 0);
    CsHandle handle{};
    HandleGuard guard{&handle};
    logontest::MakePeerHandle(&handle, peer);
    CsUserRecord record{};
    ASSERT_EQ(CsLogon(&handle, "ALICE", "SECRET1", &record), CS_OK);
    EXPECT_EQ(handle.def.flags2 & 0x100u, 0u) << "level 2210 has no session block";
    Folders folders;
    handle.callbackContext = &folders;
    EXPECT_EQ(CsGetFolderList(&handle, nullptr, nullptr, nullptr, 0, nullptr, Collect), CS_OK);
    EXPECT_EQ(folders.names, (std::vector<std::string>{"1:Invoices", "2:Payroll"}));
    int folderRequests = 0;
    for (const std::string& line : peer.Events("request"))
        if (line.find("\"code\": 19,") != std::string::npos) ++folderRequests;
    EXPECT_EQ(folderRequests, 1);
    EXPECT_EQ(CsLogoff(&handle), CS_OK);
}

}  // namespace
