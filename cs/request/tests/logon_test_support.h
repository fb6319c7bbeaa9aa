// Support of the logon and folder-list tests: a private copy of the sample archive with
// the users, groups and folder permissions the tests need (password hashes made by
// Python's crypt), local handles on it, and remote handles on the loopback peer.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "arc_codepage.h"
#include "arc_platform.h"
#include "archive_fixture.h"
#include "message_test_support.h"
#include "peer_process.h"
#include "qel_cs.h"
#include "qel_cswire.h"

namespace logontest {

// Owners of what the request layer's list calls hand out.
struct FolderFree {
    void operator()(CsXdrFolder* folder) const { CsFreeFolderList(folder); }
};
using FolderPtr = std::unique_ptr<CsXdrFolder, FolderFree>;
struct SetFree {
    void operator()(CsStorageSet* set) const { CsFreeStorageSet(set); }
};
using SetPtr = std::unique_ptr<CsStorageSet, SetFree>;
struct SegmentsFree {
    void operator()(CsSegmentList* list) const { CsFreeSegmentList(list); }
};
using SegmentsPtr = std::unique_ptr<CsSegmentList, SegmentsFree>;

// Runs the crypt oracle (logon_crypt_oracle.py) and answers its line.
inline std::string RunOracle(const std::string& verb, const std::string& a, const std::string& b) {
    ArcOSPipe pipe;
    std::vector<std::string> argv = {QEL_PEER_PYTHON, LOGON_CRYPT_ORACLE, verb, a, b};
    if (ArcOS_PipeOpen(argv, "r", &pipe) != 0) return "";
    char line[256] = {};
    std::string out = std::fgets(line, sizeof line, pipe.stream) ? line : "";
    ArcOS_PipeClose(&pipe);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}
// Python's crypt of the password with the salt (asked once per pair): two characters
// give a DES hash, "$6$<salt>" a SHA-512 one.
inline std::string PythonCrypt(const std::string& password, const std::string& salt) {
    static std::map<std::string, std::string> known;
    std::string& hash = known[password + '\0' + salt];
    if (hash.empty()) hash = RunOracle("hash", password, salt);
    return hash;
}
inline bool PythonVerifies(const std::string& password, const std::string& hash) {
    return RunOracle("verify", password, hash) == "ok";
}

// A user row of the test archive. password null: an empty PASSWD. salt null: a DES
// salt made from the uid.
struct User {
    const char* name;
    int uid;
    const char* password;
    int admin = 0;
    int64_t lastUpdate = 0;
    int64_t timeout = 0;
    std::vector<int> groups = {};
    const char* salt = nullptr;
};

// The users of most tests. ALICE is in both groups, BOB in STAFF only, CAROL has no
// password, ROOT is an administrator (0x04), DAVE may see every folder (0x10).
inline std::vector<User> DefaultUsers() {
    return {
        {"ALICE", 1, "Secret-1", 0, 1700000000, 600, {10, 11}},
        {"BOB", 2, "Bob.Pass", 0, 1700000000, 0, {11}},
        {"CAROL", 3, nullptr, 0, 0, 0, {}},
        {"ROOT", 4, "RootPw1", 4, 1700000000, 0, {10}},
        {"DAVE", 5, "DavePw1", 0x10, 1700000000, 0, {}},
        {"EVE", 6, "EXIT-CHECK", 0, 1700000000, 0, {}},
        {"ABCDEFGHIJKLMNOPQRST", 7, "Twenty1", 0, 1700000000, 0, {}},
    };
}

// The sample archive copied, with the test's tables written over it.
class TestArchive {
public:
    TestArchive() {
        EXPECT_EQ(ArcICONV_Startup(&pages_, QEL_STAGE_DIR "/locale"), 0);
        WriteUsers(DefaultUsers());
        WriteSystem(-1, 2, 4);
    }
    ~TestArchive() {
        if (pages_ != nullptr) ArcICONV_Shutdown(pages_);
    }
    TestArchive(const TestArchive&) = delete;
    TestArchive& operator=(const TestArchive&) = delete;

    // The user and group tables of these users (groups 10 ADMINS and 11 STAFF, owned by
    // user 1, plus any further group numbers the users name).
    void WriteUsers(const std::vector<User>& users) {
        std::string names, rows, members;
        std::vector<int> groups = {10, 11};
        for (const User& u : users) {
            names += std::string(names.empty() ? "" : ",") + u.name;
            const std::string hash = u.password ? PythonCrypt(u.password, u.salt ? u.salt : Salt(u.uid)) : "";
            rows += "\n[" + std::string(u.name) + "]\nUID=" + std::to_string(u.uid) + "\nPASSWD=\"" + hash +
                    "\"\nDESCRIPTION=\"user " + u.name + "\"\nADMIN=" + std::to_string(u.admin) +
                    "\nPID=0\nLAST_UPDATE=" + std::to_string(u.lastUpdate) +
                    "\nTIMEOUT=" + std::to_string(u.timeout) + "\nNAME=\"Name of " + u.name +
                    "\"\nCOMPANY=\"Demo\"\n";
            if (u.groups.empty()) continue;
            members += "\n[" + std::to_string(u.uid) + "]\nGROUPS=";
            for (size_t i = 0; i < u.groups.size(); ++i) {
                members += (i ? "," : "") + std::to_string(u.groups[i]);
                if (u.groups[i] != 10 && u.groups[i] != 11) groups.push_back(u.groups[i]);
            }
            members += "\n";
        }
        localtest::WriteFile(archive_.Table("user"), "[USERS]\nUSERS=" + names + "\n" + rows);
        std::string list, sections;
        for (int g : groups) {
            list += (list.empty() ? "" : ",") + std::to_string(g);
            const std::string name = g == 10 ? "ADMINS" : g == 11 ? "STAFF" : "G" + std::to_string(g);
            sections += "\n[" + std::to_string(g) + "]\nNAME=" + name + "\nDESCRIPTION=\"group " + name +
                        "\"\nUID=1\n";
        }
        localtest::WriteFile(archive_.Table("group"), "[GROUPS]\nGROUPS=" + list + "\n" + sections + members);
    }
    void WriteSystem(int passwordExpiry, int sysMask, int minLength) {
        localtest::WriteFile(archive_.Table("system"),
                             "[SYSTEM]\nCODEPAGE=819\nPASSWD_EXP=" + std::to_string(passwordExpiry) +
                                 "\nTIME_OUT=3600\nSYSLOG_MASK=31\nEXITLOG_MASK=0\nPASSWD_MIN_LEN=" +
                                 std::to_string(minLength) + "\nSYS_MASK=" + std::to_string(sysMask) + "\n");
    }
    std::string Table(const char* name) const { return localtest::ReadFile(archive_.Table(name)); }
    const std::string& Dir() const { return archive_.Dir(); }
    void WriteTable(const char* name, const std::string& text) {
        localtest::WriteFile(archive_.Table(name), text);
    }
    // Rewrites the line "key=..." of a section ("[section]") of a table.
    void SetTableKey(const char* table, const std::string& section, const std::string& key,
                     const std::string& value) {
        std::string text = Table(table);
        const size_t row = text.find("[" + section + "]");
        ASSERT_NE(row, std::string::npos) << section;
        const size_t at = text.find("\n" + key + "=", row);
        ASSERT_NE(at, std::string::npos) << key;
        text.replace(at + 1, text.find('\n', at + 1) - at - 1, key + "=" + value);
        WriteTable(table, text);
    }
    // The value of a key of a user's row ("" when missing), quotes removed.
    std::string UserValue(const std::string& user, const std::string& key) const {
        const std::string text = Table("user");
        size_t at = text.find("[" + user + "]\n");
        if (at == std::string::npos) return "";
        const size_t end = text.find("\n[", at + 1);
        at = text.find("\n" + key + "=", at);
        if (at == std::string::npos || at > end) return "";
        at += key.size() + 2;
        std::string value = text.substr(at, text.find('\n', at) - at);
        if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
        return value;
    }

    // Makes a local handle on this archive (messages on, UTF-8 texts).
    void Prepare(CsHandle* handle) {
        localtest::MakeHandle(handle, archive_.Dir());
        handle->iconv = pages_;
        handle->localCcsid = 1208;
        handle->def.flags1 |= CS_F1_MESSAGES;
    }

    reqtest::MessageSandbox& Sandbox() { return sandbox_; }
    // Puts the test security exit where the local server loads it from.
    void InstallSecurityExit() {
        std::filesystem::copy_file(LOGON_TEST_EXIT, sandbox_.Path() + "libqelusec.so",
                                   std::filesystem::copy_options::overwrite_existing);
    }
    // Rows of the archive's System Log (its "System Log" group, read from the group's row
    // file) whose message text, the last value, starts with the words. A row with a
    // document ends with its name (16 hex digits) after the text.
    int LoggedStartingWith(const std::string& words) const {
        int n = 0;
        std::istringstream rows(localtest::ReadFile(archive_.Dir() + "index/System Log.rows"));
        for (std::string line; std::getline(rows, line);) {
            size_t tab = line.rfind('\t');
            if (tab != std::string::npos && line.size() - tab == 17 &&
                line.find_first_not_of("0123456789ABCDEF", tab + 1) == std::string::npos)
                line.erase(tab);
            tab = line.rfind('\t');
            if (tab != std::string::npos && line.compare(tab + 1, words.size(), words) == 0) ++n;
        }
        return n;
    }

private:
    static std::string Salt(int uid) {
        static const char kAlphabet[] = "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        return {kAlphabet[(uid * 7) % 64], kAlphabet[(uid * 13 + 5) % 64]};
    }

    localtest::ArchiveCopy archive_;
    reqtest::MessageSandbox sandbox_;
    ArcIconvContext* pages_ = nullptr;
};

// Frees what a logon left in a handle.
struct HandleGuard {
    CsHandle* handle;
    void Free() {
        CsFreeLogonRecord(handle);
        handle->systemParms.reset();
    }
    // Frees the handle and makes it a fresh local handle on the archive.
    void Renew(TestArchive& archive) {
        Free();
        handle->~CsHandle();
        new (handle) CsHandle();
        archive.Prepare(handle);
    }
    ~HandleGuard() { Free(); }
};

// Makes the hit a row of the group's index (its segment named in the hit), so that the
// operations that act on a document find it; the logged-on user needs the store
// permission. CS_OK, or the load's failure.
inline int IndexHit(CsHandle* handle, const CsXdrApplGroup* group, CsXdrHitRow* hit) {
    CsXdrSegment segment{};
    const int rc =
        CsAddIndexRow(handle, group, std::span<const CsXdrHitRow>(hit, 1), "1FAA", &segment, nullptr);
    if (rc == CS_OK) std::snprintf(hit->segment, sizeof hit->segment, "%s", segment.name);
    return rc;
}

// A row of a logon table: who logs on with which password, and the answer.
struct LogonCase {
    const char* name;
    const char* user;
    const char* password;
    int expected;
};

// A remote handle on the loopback peer through our TCP transport.
inline void MakePeerHandle(CsHandle* handle, const qel_peer::PeerProcess& peer) {
    std::snprintf(handle->serverName, sizeof handle->serverName, "PEER");
    handle->def.kind = CS_KIND_TCP;
    std::snprintf(handle->def.host, sizeof handle->def.host, "127.0.0.1");
    handle->def.port = peer.port();
    handle->def.transportPath = QEL_STAGE_DIR "/lib/";
    handle->def.flags1 = CS_F1_LEVEL_BITS;
    handle->def.flags2 = CS_F2_LEVEL_BITS;
    handle->localCcsid = 1208;
}

// A handle on the peer, logged on as ALICE, with folder 1 of the peer's script opened.
inline void LogOnToFolder(CsHandle* handle, const qel_peer::PeerProcess& peer, FolderPtr* folder) {
    ASSERT_NE(peer.port(), 0);
    MakePeerHandle(handle, peer);
    CsUserRecord record{};
    ASSERT_EQ(CsLogon(handle, "ALICE", "SECRET1", &record), CS_OK);
    CsXdrFolder* raw = nullptr;
    ASSERT_EQ(CsOpenFolderGroups(handle, 1, nullptr, &raw), CS_OK);
    folder->reset(raw);
}

// How many requests of a code the peer logged.
inline int CountRequests(const qel_peer::PeerProcess& peer, int code) {
    int n = 0;
    for (const std::string& line : peer.Events("request"))
        if (qel_peer::JsonValue(line, "code") == std::to_string(code)) ++n;
    return n;
}

// A hit row of the peer's two-field group (customer 'S', a number 'I') and its object.
class PeerRow {
public:
    PeerRow(const char* customer, int32_t number, const char* object, char compression)
        : customer_(customer), object_(object) {
        values_[0].type = 'S';
        values_[0].v.text = customer_.data();
        values_[1].type = 'I';
        values_[1].v.integer = number;
        ref_.name = object_.data();
        ref_.compression = compression;
        hit_.object = &ref_;
        hit_.valueCount = 2;
        hit_.values = values_;
    }
    PeerRow(const PeerRow&) = delete;
    PeerRow& operator=(const PeerRow&) = delete;
    CsXdrHitRow* hit() { return &hit_; }
    CsXdrObjectRef* object() { return &ref_; }

private:
    std::string customer_;
    std::string object_;
    CsXdrValue values_[2] = {};
    CsXdrObjectRef ref_{};
    CsXdrHitRow hit_{};
};

}  // namespace logontest
