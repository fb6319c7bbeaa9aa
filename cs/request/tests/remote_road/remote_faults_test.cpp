// The remote road when the server misbehaves: every fault switch of the loopback peer
// ends the request cleanly and soon, never with a reply of another request; a cancel
// from another thread ends a long search within a second; a second request on a busy
// handle is refused with 7. After each, the handle works again.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "arc_platform.h"
#include "peer_process.h"
#include "qel_cs.h"
#include "qel_cswire.h"
#include "remote_road_support.h"

namespace {

using qel_peer::PeerProcess;
using namespace remote_road;
using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

class RemoteFaults : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        script_ = new std::string(WriteScratch("faults.json", ScriptText("/nonexistent")));
    }
    static void TearDownTestSuite() { delete script_; }

    static std::string* script_;
};
std::string* RemoteFaults::script_ = nullptr;

// Folder-list entries counted and freed (request 121 straight to the dispatcher).
std::atomic<int> g_folders{0};
int CountFolder(void*, void* entry) {
    ++g_folders;
    CsFreeReplyEntry(121, entry);
    return 0;
}
int FolderList(CsHandle* handle) {
    g_folders = 0;
    return CsServerRequest(handle, 121, "", "", "", 0, static_cast<uint32_t*>(nullptr),
                           static_cast<CsEntryFn>(CountFolder));
}

// The application group of the first folder, read once per handle.
struct Group {
    CsXdrFolder* folder = nullptr;
    ~Group() { CsFreeReplyEntry(121, folder); }
    static int Keep(void* context, void* entry) {
        auto* g = static_cast<Group*>(context);
        if (g->folder != nullptr) return 1;
        g->folder = static_cast<CsXdrFolder*>(entry);
        return 0;
    }
    CsXdrApplGroup* Read(CsHandle* handle) {
        handle->callbackContext = this;
        EXPECT_EQ(CsServerRequest(handle, 121, "Invoices", "", "", 0, static_cast<uint32_t*>(nullptr),
                                  static_cast<CsEntryFn>(Keep)),
                  CS_OK);
        handle->callbackContext = nullptr;
        return folder != nullptr && folder->groupCount > 0 ? &folder->groups[0] : nullptr;
    }
};

// Rows of a search; stopAt > 0 makes the callback stop the rows there.
struct Rows {
    std::atomic<int> count{0};
    int stopAt = 0;
    static int Take(void* context, CsXdrHitRow*) {
        auto* rows = static_cast<Rows*>(context);
        return ++rows->count == rows->stopAt ? 0 : 1;
    }
};

// A search bracketed as an operation: the leave clears an interrupt.
int Search(CsHandle* handle, CsXdrApplGroup* group, Rows* rows) {
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    handle->callbackContext = rows;
    rc = CsServerRequest(handle, 112, group, "", static_cast<CsXdrCriteria*>(nullptr), 0,
                         static_cast<CsXdrValueItem*>(nullptr), 'N', static_cast<CsXdrValueItem*>(nullptr),
                         static_cast<CsHitFn>(Rows::Take));
    handle->callbackContext = nullptr;
    return CsSessionLeave(handle, rc);
}

// ALICE logged on to a peer that plays one fault, with the group the searches use.
// Members go in the order they are torn down backwards: group, logoff, peer.
struct SearchPeer {
    SearchPeer(const std::string& script, const char* fault) : peer(script, {"--fault", fault}) {}
    // Fatal failures when the peer, the logon or the group is missing.
    void LogOn() {
        ASSERT_NE(peer.port(), 0);
        MakeHandle(&handle, peer);
        ASSERT_EQ(CsLogon(&handle, "ALICE", "SECRET1", nullptr), CS_OK);
        g = group.Read(&handle);
        ASSERT_NE(g, nullptr);
    }

    PeerProcess peer;
    CsHandle handle{};
    HandleGuard guard{&handle};
    Group group;
    CsXdrApplGroup* g = nullptr;
};

TEST_F(RemoteFaults, EveryFaultSwitchEndsTheRequestCleanly) {
    struct Case {
        const char* name;
        std::string fault;  // JSON; each strikes one request only
        int expected;
        bool dropped;
        uint32_t idleSeconds = 10;
    } cases[] = {
        {"status asks to drop", R"({"kind": "status_drop", "code": 121, "times": 1})", CS_OK, true},
        {"slow replies", R"({"kind": "slow", "code": 121, "ms": 150, "times": 1})", CS_OK, false},
        {"slower than the idle time-out", R"({"kind": "slow", "code": 121, "ms": 3000, "times": 1})",
         CS_NOT_AVAILABLE, true, 1},
        {"answer to another code", R"({"kind": "wrong_reply_code", "code": 121, "times": 1})", CS_FAILED,
         true},
        {"answer to another code mid-list",
         R"({"kind": "wrong_reply_code", "code": 121, "after": 1, "times": 1})", CS_FAILED, true},
        {"server's failure", R"({"kind": "result", "code": 121, "value": 6, "times": 1})", CS_FAILED, false},
        {"oversized length", R"({"kind": "oversize_length", "code": 121, "times": 1})", CS_NOT_AVAILABLE,
         true},
        {"oversized frame", R"({"kind": "oversize_frame", "code": 121, "times": 1})", CS_NOT_AVAILABLE, true},
        {"closed in mid-frame", R"({"kind": "close_mid_frame", "code": 121, "times": 1})", CS_NOT_AVAILABLE,
         true},
        {"closed instead of a reply", R"({"kind": "drop", "code": 121, "times": 1})", CS_NOT_AVAILABLE, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PeerProcess peer(*script_, {"--fault", c.fault});
        ASSERT_NE(peer.port(), 0);
        CsHandle handle{};
        HandleGuard guard(&handle);
        MakeHandle(&handle, peer, c.idleSeconds);
        ASSERT_EQ(CsLogon(&handle, "ALICE", "SECRET1", nullptr), CS_OK);
        const auto start = Clock::now();
        EXPECT_EQ(FolderList(&handle), c.expected);
        EXPECT_LT(Since(start), c.idleSeconds + 2.0) << "the request hung";
        EXPECT_EQ(CsIsConnected(&handle), !c.dropped);
        // The next request is answered by its own reply, on a new connection if need be.
        EXPECT_EQ(FolderList(&handle), CS_OK);
        EXPECT_EQ(g_folders, 2);
    }
}

TEST_F(RemoteFaults, EndlessListStoppedByItsCallback) {
    SearchPeer on(*script_, R"({"kind": "endless_list", "code": 112, "times": 1})");
    ASSERT_NO_FATAL_FAILURE(on.LogOn());
    PeerProcess& peer = on.peer;
    CsHandle& handle = on.handle;
    CsXdrApplGroup* g = on.g;
    Rows rows;
    rows.stopAt = 500;
    EXPECT_EQ(Search(&handle, g, &rows), CS_OK) << "the callback stopped the rows";
    EXPECT_EQ(rows.count, 500);
    EXPECT_EQ(peer.Events("cancel").size(), 1u) << "the peer's answer was broken off";
    EXPECT_TRUE(CsIsConnected(&handle));
    Rows again;
    EXPECT_EQ(Search(&handle, g, &again), CS_OK);
    EXPECT_EQ(again.count, 60);
}

TEST_F(RemoteFaults, CancelFromAnotherThreadDuringALongSearch) {
    // 60 rows, each after 100 ms: six seconds unless cancelled.
    SearchPeer on(*script_, R"({"kind": "slow", "code": 112, "ms": 100, "times": 1})");
    ASSERT_NO_FATAL_FAILURE(on.LogOn());
    CsHandle& handle = on.handle;
    CsXdrApplGroup* g = on.g;

    Rows rows;
    std::atomic<bool> interrupted{false};
    Clock::time_point interruptAt;
    std::thread canceller([&] {
        while (rows.count < 3) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        interruptAt = Clock::now();
        interrupted = true;
        CsInterrupt(&handle);
    });
    const int rc = Search(&handle, g, &rows);
    const auto end = Clock::now();
    canceller.join();
    ASSERT_TRUE(interrupted);
    EXPECT_EQ(rc, CS_CANCELLED);
    EXPECT_LT(std::chrono::duration<double>(end - interruptAt).count(), 1.0);
    EXPECT_LT(rows.count, 60);

    Rows again;
    EXPECT_EQ(Search(&handle, g, &again), CS_OK) << "the handle works again";
    EXPECT_EQ(again.count, 60);
}

TEST_F(RemoteFaults, SecondRequestOnABusyHandle) {
    SearchPeer on(*script_, R"({"kind": "slow", "code": 112, "ms": 20, "times": 1})");
    ASSERT_NO_FATAL_FAILURE(on.LogOn());
    CsHandle& handle = on.handle;
    CsXdrApplGroup* g = on.g;

    Rows rows;
    std::atomic<int> searched{-1};
    std::thread running([&] { searched = Search(&handle, g, &rows); });
    while (rows.count == 0 && searched == -1) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(FolderList(&handle), CS_BUSY);
    EXPECT_EQ(g_folders, 0);
    running.join();
    EXPECT_EQ(searched, CS_OK) << "the running search was disturbed";
    EXPECT_EQ(rows.count, 60);
    EXPECT_EQ(FolderList(&handle), CS_OK);
    EXPECT_EQ(g_folders, 2);
}

}  // namespace
