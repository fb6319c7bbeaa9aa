// The state steps: saving a logon to the cache directory, rebuilding it, the refusals of
// files that are missing, damaged or another logon's, the cache-user check, removal, and
// what a refused restore does to the logon at a remote server.
#include "gateway_fixture.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>

#include <sys/stat.h>
#include <time.h>

#include "peer_process.h"

namespace {

using wwwtest::GatewayFixture;

[[maybe_unused]] ::testing::Environment* const kClientLayer =
    ::testing::AddGlobalTestEnvironment(new wwwtest::ClientLayer);

class StateSteps : public GatewayFixture {
protected:
    // A request session of the user, set up but not dispatched.
    std::unique_ptr<QelWWWSession> Prepared(const std::string& user, const std::string& password,
                                            const std::string& server = "DEMO") {
        auto session = wwwtest::NewSession(&config_);
        const std::string query = "_a=l&_nohtml=1&_s=" + server + "&_u=" + user + "&_p=" + password;
        EXPECT_EQ(QelWWW_InitSession(&config_, session.get(), query.c_str(), "/q", nullptr, nullptr), 0);
        return session;
    }
    // Logs the user on and saves the state, as a logon action ends.
    void LogOnAndSave(const std::string& user, const std::string& password,
                      const std::string& server = "DEMO") {
        auto session = Prepared(user, password, server);
        ASSERT_EQ(QelWWW_Logon(&config_, session.get()), 0) << session->response->GetBody();
        ASSERT_TRUE(QelWWW_SaveServerState(&config_, session.get(), QELWWW_STATE_SERVER));
        Session_Logoff(session->client, 1);
        session->client = nullptr;
    }
    int Restore(const std::string& user, const std::string& password, bool checkCacheUsers = false,
                int* folders = nullptr) {
        auto session = Prepared(user, password);
        const int rc = QelWWW_RestoreServerState(&config_, session.get(), checkCacheUsers);
        EXPECT_EQ(rc == 0, session->client != nullptr) << "a client session exactly after success";
        if (folders != nullptr) *folders = session->client ? Folder_GetCount(session->client) : -1;
        return rc;
    }
};

TEST_F(StateSteps, SavedLogonIsRebuilt) {
    LogOnAndSave("ALICE", wwwtest::kAlicePassword);
    EXPECT_TRUE(CacheHas("DEMO_0_ALICE.srv"));
    EXPECT_TRUE(CacheHas("DEMO_0_ALICE.fnm"));
    int folders = 0;
    EXPECT_EQ(Restore("ALICE", wwwtest::kAlicePassword, false, &folders), 0);
    EXPECT_EQ(folders, 2);
}

TEST_F(StateSteps, MissingDamagedOrForeignFilesCountAsMissing) {
    LogOnAndSave("ALICE", wwwtest::kAlicePassword);
    LogOnAndSave("BOB", wwwtest::kBobPassword);
    const std::string srv = ReadCache("DEMO_0_ALICE.srv");
    const std::string fnm = ReadCache("DEMO_0_ALICE.fnm");
    struct Case {
        const char* name;
        std::function<void()> spoil;
        const char* password;
    };
    const Case cases[] = {
        {"no session file", [&] { std::filesystem::remove(CachePath("DEMO_0_ALICE.srv")); }, "wonder1"},
        {"no folder-name file", [&] { std::filesystem::remove(CachePath("DEMO_0_ALICE.fnm")); }, "wonder1"},
        {"empty session file", [&] { WriteCache("DEMO_0_ALICE.srv", ""); }, "wonder1"},
        {"truncated session file", [&] { WriteCache("DEMO_0_ALICE.srv", srv.substr(0, srv.size() / 2)); },
         "wonder1"},
        {"text planted as session file", [&] { WriteCache("DEMO_0_ALICE.srv", "ALICE wonder1\n"); },
         "wonder1"},
        {"another user's files, with that user's password",
         [&] {
             WriteCache("DEMO_0_ALICE.srv", ReadCache("DEMO_0_BOB.srv"));
             WriteCache("DEMO_0_ALICE.fnm", ReadCache("DEMO_0_BOB.fnm"));
         },
         "builder2"},
        {"another user's folder names", [&] { WriteCache("DEMO_0_ALICE.fnm", ReadCache("DEMO_0_BOB.fnm")); },
         "wonder1"},
        {"wrong password", [] {}, "builder2"},
        {"empty password", [] {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteCache("DEMO_0_ALICE.srv", srv);
        WriteCache("DEMO_0_ALICE.fnm", fnm);
        c.spoil();
        EXPECT_EQ(Restore("ALICE", c.password), 3);
    }
    WriteCache("DEMO_0_ALICE.srv", srv);
    WriteCache("DEMO_0_ALICE.fnm", fnm);
    EXPECT_EQ(Restore("ALICE", wwwtest::kAlicePassword), 0);
}

TEST_F(StateSteps, EveryFlippedByteIsRefused) {
    LogOnAndSave("ALICE", wwwtest::kAlicePassword);
    const std::string srv = ReadCache("DEMO_0_ALICE.srv");
    for (size_t i = 0; i < srv.size(); ++i) {
        std::string bad = srv;
        bad[i] = static_cast<char>(bad[i] ^ 0x5A);
        WriteCache("DEMO_0_ALICE.srv", bad);
        ASSERT_EQ(Restore("ALICE", wwwtest::kAlicePassword), 3) << "byte " << i;
    }
}

TEST_F(StateSteps, CacheUserCheck) {
    LogOnAndSave("ALICE", wwwtest::kAlicePassword);
    struct Case {
        const char* list;
        bool checkedByThisRequest;
        int expected;
    };
    const Case cases[] = {
        {"", false, 3},           {"ALICE", false, 0}, {"bob,alice", false, 0}, {"ALICEX,BOB", false, 3},
        {"BOB, ALICE", false, 3}, {"", true, 0},       {"BOB", true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("list '") + c.list + (c.checkedByThisRequest ? "', checked" : "'"));
        config_.cacheUserIds = c.list;
        auto session = Prepared("ALICE", wwwtest::kAlicePassword);
        session->cacheUserChecked = c.checkedByThisRequest ? 1 : 0;
        EXPECT_EQ(QelWWW_RestoreServerState(&config_, session.get(), true), c.expected);
        // Without the check the list does not matter.
        EXPECT_EQ(Restore("ALICE", wwwtest::kAlicePassword, false), 0);
    }
}

TEST_F(StateSteps, HalfAUnitCountsAsMissingAndGoes) {
    LogOnAndSave("ALICE", wwwtest::kAlicePassword);
    const std::string srv = ReadCache("DEMO_0_ALICE.srv");
    const std::string fnm = ReadCache("DEMO_0_ALICE.fnm");
    struct Case {
        const char* name;
        const char* removed;  // file taken away before the restore, or none
        const char* password;
        bool unitStays;
    };
    const Case cases[] = {
        {"only the session file", "DEMO_0_ALICE.fnm", wwwtest::kAlicePassword, false},
        {"only the folder-name file", "DEMO_0_ALICE.srv", wwwtest::kAlicePassword, false},
        {"only the session file, a stranger's password", "DEMO_0_ALICE.fnm", "guess", false},
        {"a whole unit, a stranger's password", nullptr, "guess", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteCache("DEMO_0_ALICE.srv", srv);
        WriteCache("DEMO_0_ALICE.fnm", fnm);
        if (c.removed != nullptr) std::filesystem::remove(CachePath(c.removed));
        EXPECT_EQ(Restore("ALICE", c.password), 3);
        EXPECT_EQ(CacheHas("DEMO_0_ALICE.srv"), c.unitStays);
        EXPECT_EQ(CacheHas("DEMO_0_ALICE.fnm"), c.unitStays);
        // The user's lock file lives as long as the unit.
        EXPECT_EQ(CacheHas("DEMO_0_ALICE.lck"), c.unitStays);
    }
    // A new logon saves a whole unit again.
    LogOnAndSave("ALICE", wwwtest::kAlicePassword);
    EXPECT_EQ(Restore("ALICE", wwwtest::kAlicePassword), 0);
}

TEST_F(StateSteps, FailedSaveLeavesNoHalfUnit) {
    LogOnAndSave("ALICE", wwwtest::kAlicePassword);
    auto session = Prepared("ALICE", wwwtest::kAlicePassword);
    ASSERT_EQ(QelWWW_Logon(&config_, session.get()), 0);
    // The session file is written, the folder-name file fails.
    int opens = 0;
    ArcOS_SetFaultHook(
        [&](const char* step) { return std::string(step) == "open" && ++opens == 2 ? ENOSPC : 0; });
    EXPECT_FALSE(QelWWW_SaveServerState(&config_, session.get(), QELWWW_STATE_SERVER));
    ArcOS_SetFaultHook({});
    Session_Logoff(session->client, 1);
    session->client = nullptr;
    EXPECT_EQ(opens, 2);
    EXPECT_NE(session->response->Text().find("errno: " + std::to_string(ENOSPC)), std::string::npos)
        << session->response->Text();
    EXPECT_FALSE(CacheHas("DEMO_0_ALICE.srv"));
    EXPECT_FALSE(CacheHas("DEMO_0_ALICE.fnm"));
    EXPECT_FALSE(CacheHas("DEMO_0_ALICE.lck"));
}

// The password hash in .srv is keyed by the installation's key file, made by the first
// save (0600, 32 bytes) and then only read.
TEST_F(StateSteps, KeyFileIsMadeOnceAndKept) {
    EXPECT_FALSE(CacheHas("qelwww.key"));
    LogOnAndSave("ALICE", wwwtest::kAlicePassword);
    ASSERT_TRUE(CacheHas("qelwww.key"));
    const std::string key = ReadCache("qelwww.key");
    EXPECT_EQ(key.size(), 32u);
    EXPECT_EQ(std::filesystem::status(CachePath("qelwww.key")).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    LogOnAndSave("BOB", wwwtest::kBobPassword);
    EXPECT_EQ(ReadCache("qelwww.key"), key);
    EXPECT_EQ(Restore("ALICE", wwwtest::kAlicePassword), 0);

    const std::string srv = ReadCache("DEMO_0_ALICE.srv");
    EXPECT_EQ(srv.find("$6$"), std::string::npos) << "no crypt hash to guess against";
    EXPECT_NE(srv.find("$k$"), std::string::npos);

    // Another installation's key: the saved logon no longer checks.
    std::string other = key;
    other[0] = static_cast<char>(other[0] ^ 1);
    WriteCache("qelwww.key", other);
    EXPECT_EQ(Restore("ALICE", wwwtest::kAlicePassword), 3);
    EXPECT_EQ(ReadCache("qelwww.key"), other);
    // A key that is there already is the one a save uses.
    LogOnAndSave("ALICE", wwwtest::kAlicePassword);
    EXPECT_EQ(ReadCache("qelwww.key"), other);
    EXPECT_EQ(Restore("ALICE", wwwtest::kAlicePassword), 0);
}

TEST_F(StateSteps, UnusableKeyFileIsReportedAndNeverReplaced) {
    LogOnAndSave("ALICE", wwwtest::kAlicePassword);
    const std::string key = ReadCache("qelwww.key");
    const std::string path = CachePath("qelwww.key");
    namespace fs = std::filesystem;
    struct Case {
        const char* name;
        std::function<void()> spoil;
    };
    const Case cases[] = {
        {"empty", [&] { WriteCache("qelwww.key", ""); }},
        {"short", [&] { WriteCache("qelwww.key", key.substr(0, 16)); }},
        {"a byte too long", [&] { WriteCache("qelwww.key", key + "x"); }},
        {"readable by the group",
         [&] { fs::permissions(path, fs::perms::group_read, fs::perm_options::add); }},
        {"a directory",
         [&] {
             fs::remove(path);
             fs::create_directory(path);
         }},
        {"a link to a good key",
         [&] {
             WriteCache("elsewhere", key);
             fs::remove(path);
             fs::create_symlink(CachePath("elsewhere"), path);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(path);
        WriteCache("qelwww.key", key);
        fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
        c.spoil();
        const fs::file_status before = fs::symlink_status(path);
        const std::string content = fs::is_regular_file(before) ? ReadCache("qelwww.key") : "";

        EXPECT_EQ(Restore("ALICE", wwwtest::kAlicePassword), 3) << "never checked without its key";
        auto session = Prepared("ALICE", wwwtest::kAlicePassword);
        ASSERT_EQ(QelWWW_Logon(&config_, session.get()), 0);
        EXPECT_FALSE(QelWWW_SaveServerState(&config_, session.get(), QELWWW_STATE_SERVER));
        Session_Logoff(session->client, 1);
        session->client = nullptr;
        const std::string text = session->response->Text();
        EXPECT_NE(text.find("The key file of the saved logons cannot be used: " + path), std::string::npos)
            << text;

        // Left as it was found, for whoever looks after the site.
        const fs::file_status after = fs::symlink_status(path);
        EXPECT_EQ(after.type(), before.type());
        EXPECT_EQ(after.permissions(), before.permissions());
        if (fs::is_regular_file(after)) {
            EXPECT_EQ(ReadCache("qelwww.key"), content);
        }
    }
    fs::remove_all(path);
    fs::remove(CachePath("elsewhere"));
    WriteCache("qelwww.key", key);
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Restore("ALICE", wwwtest::kAlicePassword), 0);
}

// A request that rebuilds the unit and saves it unchanged writes neither file (same inode,
// same time), so it pays for no write and no purge check; a change writes the unit. The
// logon's activity stamp is in whole seconds: a run that crosses a second starts again.
TEST_F(StateSteps, AnUnchangedUnitIsNotWrittenAgain) {
    auto identity = [&](const char* name) {
        struct stat status {};
        EXPECT_EQ(stat(CachePath(name).c_str(), &status), 0) << name;
        return std::make_pair(status.st_ino, status.st_mtim.tv_nsec + status.st_mtim.tv_sec * 1000000000LL);
    };
    bool checked = false;
    for (int attempt = 0; attempt < 5 && !checked; ++attempt) {
        const time_t start = time(nullptr);
        LogOnAndSave("ALICE", wwwtest::kAlicePassword);
        const auto srv = identity("DEMO_0_ALICE.srv");
        const auto fnm = identity("DEMO_0_ALICE.fnm");
        auto session = Prepared("ALICE", wwwtest::kAlicePassword);
        ASSERT_EQ(QelWWW_RestoreServerState(&config_, session.get(), false), 0);
        ASSERT_TRUE(QelWWW_SaveServerState(&config_, session.get(), QELWWW_STATE_SERVER));
        const auto srvAfter = identity("DEMO_0_ALICE.srv");
        const auto fnmAfter = identity("DEMO_0_ALICE.fnm");
        if (time(nullptr) != start) continue;
        checked = true;
        EXPECT_EQ(srvAfter, srv);
        EXPECT_EQ(fnmAfter, fnm);

        Session_SetUserValue(session->client, Session_GetUserValue(session->client) + 1);
        ASSERT_TRUE(QelWWW_SaveServerState(&config_, session.get(), QELWWW_STATE_SERVER));
        EXPECT_NE(identity("DEMO_0_ALICE.srv").first, srv.first) << "a changed session is written";
        EXPECT_EQ(Restore("ALICE", wwwtest::kAlicePassword), 0) << "and the kept password hash still matches";
    }
    EXPECT_TRUE(checked) << "no run stayed within one second";
}

TEST_F(StateSteps, DeleteRemovesTheUnitAndStopsAtAFailure) {
    struct Case {
        const char* name;
        std::vector<std::string> present;
        const char* folder;
        bool sessionFileStuck;  // a directory in its place: it cannot be removed
        bool expected;
        std::vector<std::string> left;
    };
    const Case cases[] = {
        {"both files", {"srv", "fnm"}, "", false, true, {}},
        {"with the folder's file", {"srv", "fnm", "fld"}, "Invoices", false, true, {}},
        {"half a unit: no session file", {"fnm", "fld"}, "Invoices", false, true, {}},
        {"half a unit: no folder-name file", {"srv", "fld"}, "Invoices", false, true, {}},
        {"folder set, no folder file", {"srv", "fnm"}, "Invoices", false, true, {}},
        {"nothing there", {}, "", false, true, {}},
        {"the session file cannot go: the others stay",
         {"fnm", "fld"},
         "Invoices",
         true,
         false,
         {"srv", "fnm", "fld"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(CachePath("DEMO_0_ALICE.srv"));
        std::filesystem::remove(CachePath("DEMO_0_ALICE.fnm"));
        std::filesystem::remove(CachePath("DEMO_0_ALICE_Invoices.fld"));
        auto name = [](const std::string& ext) {
            return ext == "fld" ? std::string("DEMO_0_ALICE_Invoices.fld") : "DEMO_0_ALICE." + ext;
        };
        for (const std::string& ext : c.present) WriteCache(name(ext), "x");
        if (c.sessionFileStuck) {
            std::filesystem::create_directory(CachePath("DEMO_0_ALICE.srv"));
            WriteCache("DEMO_0_ALICE.srv/x", "x");
        }
        auto session = Prepared("ALICE", wwwtest::kAlicePassword);
        session->folder = c.folder;
        EXPECT_EQ(QelWWW_DeleteServerState(&config_, session.get()), c.expected);
        for (const std::string ext : {"srv", "fnm", "fld"}) {
            const bool expected = std::find(c.left.begin(), c.left.end(), ext) != c.left.end();
            EXPECT_EQ(CacheHas(name(ext)), expected) << ext;
        }
        EXPECT_EQ(CacheHas("DEMO_0_ALICE.lck"), !c.left.empty());
    }
    std::filesystem::remove_all(CachePath("DEMO_0_ALICE.srv"));
    auto nobody = wwwtest::NewSession(&config_);
    EXPECT_FALSE(QelWWW_DeleteServerState(&config_, nobody.get()));
}

// The same steps against a remote server: what a refused restore does to the logon there.
class RemoteState : public StateSteps {
protected:
    RemoteState() : peer_(qel_peer::Script("basic.json")) {}
    std::string ExtraIni() const override {
        return "[@SRV@_PEER]\nHOST=127.0.0.1\nPROTOCOL=2\nPORT=" + std::to_string(peer_.port()) + "\n";
    }
    void SetUp() override {
        ASSERT_NE(peer_.port(), 0);
        StateSteps::SetUp();
    }
    void TearDown() override {
        ArcOS_SetTestClock(std::nullopt);
        StateSteps::TearDown();
    }
    int Logoffs() const {
        int n = 0;
        for (const std::string& line : peer_.Events("request"))
            if (line.find("\"code\": 4,") != std::string::npos ||
                line.find("\"code\": 4}") != std::string::npos)
                ++n;
        return n;
    }
    int RestorePeer(const char* password) {
        auto session = Prepared("ALICE", password, "PEER");
        return QelWWW_RestoreServerState(&config_, session.get(), false);
    }

    qel_peer::PeerProcess peer_;
};

TEST_F(RemoteState, StrangerCannotEndTheOwnersLogon) {
    LogOnAndSave("ALICE", "SECRET1", "PEER");
    ASSERT_TRUE(CacheHas("127.0.0.1_" + std::to_string(peer_.port()) + "_ALICE.srv"));
    EXPECT_EQ(RestorePeer("GUESS"), 3);
    EXPECT_EQ(Logoffs(), 0);
    // The owner goes on with the same server logon.
    auto session = Prepared("ALICE", "SECRET1", "PEER");
    ASSERT_EQ(QelWWW_RestoreServerState(&config_, session.get(), false), 0);
    session->client->folders.clear();
    EXPECT_EQ(Folder_GetCount(session->client), 2);
    Session_Logoff(session->client, 1);
    session->client = nullptr;
}

TEST_F(RemoteState, TimedOutLogonIsEndedAtTheServer) {
    LogOnAndSave("ALICE", "SECRET1", "PEER");
    // ALICE's logons time out after 600 idle seconds.
    ArcOS_SetTestClock(ArcOS_TimeNow() + 601);
    EXPECT_EQ(RestorePeer("SECRET1"), 3);
    EXPECT_EQ(Logoffs(), 1);
}

}  // namespace
