// The call bracket: nesting and the local resources, caller-managed resources, the
// cancel poll, interrupts from other threads, the inactivity time-out and the session
// lock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "arc_platform.h"
#include "archive_fixture.h"
#include "dispatch_support.h"
#include "qel_cs.h"
#include "qel_local.h"
#include "qel_sm.h"

namespace {

using localtest::ArchiveCopy;

// Counts the System Log look-ups of the bracket (answers: no System Log).
struct SystemLogProbe {
    std::atomic<int> lookups{0};
    int answer = CS_NOT_FOUND;
    SystemLogProbe() {
        CsLayerHooks hooks;
        hooks.getSystemLogFolder = [this](CsHandle*, std::shared_ptr<CsStorageSet>*,
                                          std::shared_ptr<const void>*, std::vector<CsSystemLogField>*) {
            ++lookups;
            return answer;
        };
        CsSetLayerHooks(hooks);
    }
    ~SystemLogProbe() { CsSetLayerHooks({}); }
};

constexpr uint32_t kOpenBits = CS_F1_LOCAL_OPEN | CS_F1_SYSLOG_LOADED | CS_F1_STORAGE_OPEN;

class LocalBracket : public ::testing::Test {
protected:
    void SetUp() override { localtest::MakeHandle(&handle_, archive_.Dir()); }
    bool LocalOpen() { return !QelLocal_TablePath(0).empty(); }

    ArchiveCopy archive_;
    SystemLogProbe systemLog_;
    CsHandle handle_{};
};

TEST_F(LocalBracket, NestedCallsOpenOnceAndCloseAtTheOutermostLeave) {
    ASSERT_EQ(CsSessionEnter(&handle_), CS_OK);
    EXPECT_EQ(handle_.def.flags1 & kOpenBits, kOpenBits);
    EXPECT_TRUE(LocalOpen());
    SmStorage* stores = SmGetStorage(&handle_);
    ASSERT_NE(stores, nullptr);
    ASSERT_EQ(CsSessionEnter(&handle_), CS_OK);
    ASSERT_EQ(CsSessionEnter(&handle_), CS_OK);
    EXPECT_EQ(handle_.nesting, 3u);
    EXPECT_EQ(SmGetStorage(&handle_), stores) << "stores opened again by a nested enter";
    EXPECT_EQ(systemLog_.lookups, 1);

    EXPECT_EQ(CsSessionLeave(&handle_, CS_OK), CS_OK);
    EXPECT_EQ(CsSessionLeave(&handle_, CS_NOT_FOUND), CS_NOT_FOUND);
    EXPECT_TRUE(LocalOpen()) << "closed before the outermost leave";
    EXPECT_EQ(handle_.def.flags1 & kOpenBits, kOpenBits);
    EXPECT_EQ(CsSessionLeave(&handle_, CS_OK), CS_OK);
    EXPECT_EQ(handle_.nesting, 0u);
    EXPECT_EQ(handle_.def.flags1 & kOpenBits, 0u);
    EXPECT_FALSE(LocalOpen());
    EXPECT_EQ(SmGetStorage(&handle_), nullptr);

    // The next outermost call opens again; a stray leave afterwards changes nothing.
    ASSERT_EQ(CsSessionEnter(&handle_), CS_OK);
    EXPECT_EQ(systemLog_.lookups, 2);
    EXPECT_EQ(CsSessionLeave(&handle_, CS_OK), CS_OK);
    EXPECT_EQ(CsSessionLeave(&handle_, CS_OK), CS_OK);
    EXPECT_EQ(handle_.nesting, 0u);
}

TEST_F(LocalBracket, ResourcesTheCallerManagesAreLeftAlone) {
    handle_.def.flags1 = CS_F1_CALLER_LOCAL | CS_F1_CALLER_SYSLOG | CS_F1_CALLER_STORAGE;
    ASSERT_EQ(CsSessionEnter(&handle_), CS_OK);
    EXPECT_FALSE(LocalOpen());
    EXPECT_EQ(SmGetStorage(&handle_), nullptr);
    EXPECT_EQ(systemLog_.lookups, 0);
    EXPECT_EQ(CsSessionLeave(&handle_, CS_OK), CS_OK);

    // The caller opened the local server itself: the bracket must not close it.
    ASSERT_EQ(QelLocal_Open(&handle_), CS_OK);
    handle_.def.flags1 = CS_F1_CALLER_LOCAL | CS_F1_LOCAL_OPEN;
    ASSERT_EQ(CsSessionEnter(&handle_), CS_OK);
    EXPECT_EQ(CsSessionLeave(&handle_, CS_OK), CS_OK);
    EXPECT_TRUE(LocalOpen());
    QelLocal_Close(&handle_);
}

TEST_F(LocalBracket, FailedSetUpUndoesWhatWasOpened) {
    struct Case {
        const char* name;
        std::string directory;
        int systemLogAnswer;
        int expected;
    } cases[] = {
        {"local server cannot open", archive_.Root() + "missing/", CS_NOT_FOUND, CS_FAILED},
        {"System Log look-up fails", archive_.Dir(), CS_NO_MEMORY, CS_NO_MEMORY},
    };
    for (const auto& c : cases) {
        CsHandle handle{};
        localtest::MakeHandle(&handle, c.directory);
        systemLog_.answer = c.systemLogAnswer;
        EXPECT_EQ(CsSessionEnter(&handle), c.expected) << c.name;
        EXPECT_EQ(handle.nesting, 0u) << c.name;
        EXPECT_EQ(handle.def.flags1 & kOpenBits, 0u) << c.name;
        EXPECT_FALSE(LocalOpen()) << c.name;
        EXPECT_EQ(SmGetStorage(&handle), nullptr) << c.name;
    }
}

TEST_F(LocalBracket, InterruptFromAnotherThreadEndsTheOutermostCall) {
    ASSERT_EQ(CsSessionEnter(&handle_), CS_OK);
    ASSERT_EQ(CsSessionEnter(&handle_), CS_OK);
    std::thread other([this] { CsInterrupt(&handle_); });
    other.join();
    EXPECT_TRUE(CsPollCancel(&handle_));
    // The local server saw the cancel: its list requests answer 1.
    QelLocalUser user{};
    QelLocal_ListUsersFirst(&handle_, nullptr, nullptr, 0, &user);
    EXPECT_EQ(QelLocal_ListUsersNext(&handle_, &user), CS_CANCELLED);
    // Still nested: the bit stays for the outer call.
    EXPECT_EQ(CsSessionLeave(&handle_, CS_OK), CS_CANCELLED);
    EXPECT_TRUE(handle_.def.flags1 & CS_F1_INTERRUPT);
    // A failure is kept as it is; the outermost leave clears the bit.
    EXPECT_EQ(CsSessionLeave(&handle_, CS_NOT_FOUND), CS_NOT_FOUND);
    EXPECT_FALSE(handle_.def.flags1 & CS_F1_INTERRUPT);
    // An interrupt raised before the call is seen at enter, after the leave ran.
    CsInterrupt(&handle_);
    EXPECT_EQ(CsSessionEnter(&handle_), CS_CANCELLED);
    EXPECT_EQ(handle_.nesting, 0u);
    EXPECT_FALSE(LocalOpen());
    // The outermost leave reset the local server's cancel flag.
    ASSERT_EQ(CsSessionEnter(&handle_), CS_OK);
    QelLocal_ListUsersFirst(&handle_, nullptr, nullptr, 0, &user);
    EXPECT_NE(QelLocal_ListUsersNext(&handle_, &user), CS_CANCELLED);
    EXPECT_EQ(CsSessionLeave(&handle_, CS_OK), CS_OK);
}

// --------------------------------------------------------------------- poll

std::vector<int> g_answers;
size_t g_calls = 0;
int ScriptedYield() {
    int answer = g_calls < g_answers.size() ? g_answers[g_calls] : 1;
    ++g_calls;
    return answer;
}

TEST(CancelPoll, YieldCallbackRunsUntilItAnswersZero) {
    struct Case {
        const char* name;
        std::vector<int> answers;  // beyond the list: always 1
        size_t calls;
    } cases[] = {
        {"answers 0 at once", {0}, 1},
        {"1 twice, then 0", {1, 1, 0}, 3},
        {"never 0: bounded", {}, 64},
    };
    for (const auto& c : cases) {
        CsHandle handle{};
        handle.def.kind = CS_KIND_TCP;
        handle.yield = ScriptedYield;
        g_answers = c.answers;
        g_calls = 0;
        EXPECT_EQ(CsPollCancel(&handle), 0) << c.name;
        EXPECT_EQ(g_calls, c.calls) << c.name;
    }
}

// --------------------------------------------------------------------- time-out

struct OracleCase {
    std::string name;
    int64_t last, now, perLogon, timeOut;
    int expected;
};

std::vector<OracleCase> RunOracle() {
    std::string command = std::string(QEL_PYTHON) + " " + QEL_DISPATCH_TESTS_DIR + "/timeout_oracle.py";
    FILE* pipe = popen(command.c_str(), "r");
    std::vector<OracleCase> cases;
    if (pipe == nullptr) return cases;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        std::istringstream words(line);
        OracleCase c;
        if (words >> c.name >> c.last >> c.now >> c.perLogon >> c.timeOut >> c.expected) cases.push_back(c);
    }
    EXPECT_EQ(pclose(pipe), 0);
    return cases;
}

class Timeout : public ::testing::Test {
protected:
    void SetUp() override {
        handle_.def.kind = CS_KIND_TCP;
        handle_.logon = &logon_;
        handle_.systemParms = CsSystemParmsPtr::Borrow(&parms_);
    }
    void TearDown() override { ArcOS_SetTestClock(std::nullopt); }
    CsLogonRecord logon_;
    CsSystemParms parms_;
    CsHandle handle_{};
};

TEST_F(Timeout, TableWorkedOutWithDatetime) {
    std::vector<OracleCase> cases = RunOracle();
    ASSERT_GE(cases.size(), 10u) << "the oracle printed too few cases";
    for (const auto& c : cases) {
        handle_.def.flags1 = 0;
        logon_.lastActivity = c.last;
        logon_.timeOut = c.perLogon;
        parms_.timeOut = c.timeOut;
        ArcOS_SetTestClock(c.now);
        EXPECT_EQ(CsCheckTimeout(&handle_), c.expected) << c.name;
        if (c.expected == CS_TIMED_OUT) {
            EXPECT_TRUE(handle_.def.flags1 & CS_F1_TIMED_OUT) << c.name;
            EXPECT_EQ(logon_.lastActivity, c.last) << c.name;
        } else {
            EXPECT_FALSE(handle_.def.flags1 & CS_F1_TIMED_OUT) << c.name;
        }
    }
}

TEST_F(Timeout, FlagsAndMissingRecords) {
    const int64_t now = 1715679000;
    struct Case {
        const char* name;
        uint32_t flags1;
        bool withLogon;
        bool withParms;
        int64_t last;
        int expected;
    } cases[] = {
        {"no check for an externally owned handle", CS_F1_EXTERNAL, true, true, 0, CS_OK},
        {"no check, interrupt pending", CS_F1_EXTERNAL | CS_F1_INTERRUPT, true, true, 0, CS_CANCELLED},
        {"timed out stays timed out", CS_F1_TIMED_OUT, true, true, now, CS_TIMED_OUT},
        {"no logon record", 0, false, true, 0, CS_OK},
        {"no system parameters", 0, true, false, 0, CS_OK},
        {"in time but interrupted", CS_F1_INTERRUPT, true, true, now - 5, CS_CANCELLED},
        {"stamp never set", 0, true, true, std::numeric_limits<int64_t>::max(), CS_OK},
        {"negative stamp", 0, true, true, -1, CS_TIMED_OUT},
    };
    ArcOS_SetTestClock(now);
    for (const auto& c : cases) {
        handle_.def.flags1 = c.flags1;
        handle_.logon = c.withLogon ? &logon_ : nullptr;
        handle_.systemParms = CsSystemParmsPtr::Borrow(c.withParms ? &parms_ : nullptr);
        logon_.lastActivity = c.last;
        logon_.timeOut = 0;
        parms_.timeOut = 600;
        EXPECT_EQ(CsCheckTimeout(&handle_), c.expected) << c.name;
    }
}

TEST_F(Timeout, EnterReturnsFifteenUntilLogoffAndLeaveStampsUtc) {
    const int64_t start = 1715679000;
    ArcOS_SetTestClock(start);
    logon_.timeOut = 0;
    parms_.timeOut = 60;
    logon_.lastActivity = start;
    ASSERT_EQ(CsSessionEnter(&handle_), CS_OK);
    ArcOS_SetTestClock(start + 30);
    EXPECT_EQ(CsSessionLeave(&handle_, CS_OK), CS_OK);
    EXPECT_EQ(logon_.lastActivity, start + 30);

    ArcOS_SetTestClock(start + 91);
    EXPECT_EQ(CsSessionEnter(&handle_), CS_TIMED_OUT);
    // Sticky: even a fresh stamp does not bring the logon back.
    logon_.lastActivity = start + 91;
    EXPECT_EQ(CsSessionEnter(&handle_), CS_TIMED_OUT);
    EXPECT_EQ(CsCheckTimeoutEntry(&handle_), CS_TIMED_OUT);
}

// --------------------------------------------------------------------- session lock

TEST(SessionLock, NestedLocksOfOneThreadAndExclusionOfOthers) {
    CsHandle handle{};
    ASSERT_EQ(CsSessionLock(1, &handle, 0), CS_OK);
    ASSERT_EQ(CsSessionLock(1, &handle, 0), CS_OK);  // nested: counted
    std::atomic<bool> got{false};
    std::atomic<int> foreignUnlock{-1};
    std::thread other([&] {
        foreignUnlock = CsSessionLock(0, &handle, 0);  // not the owner
        CsSessionLock(1, &handle, 0);
        got = true;
        CsSessionLock(0, &handle, 0);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(CsSessionLock(0, &handle, 0), CS_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(got) << "the slot was free after one of two unlocks";
    EXPECT_EQ(CsSessionLock(0, &handle, 0), CS_OK);
    other.join();
    EXPECT_TRUE(got);
    EXPECT_EQ(foreignUnlock, CS_FAILED);
    EXPECT_EQ(CsSessionLock(0, &handle, 0), CS_FAILED) << "unlock of a free slot";

    // The group-wide slot: the handle given with the flag is remembered.
    CsHandle logHandle{};
    ASSERT_EQ(CsSessionLock(1, &logHandle, 1), CS_OK);
    std::thread blocked([&] {
        CsSessionLock(1, nullptr, 0);  // no handle: the same slot
        got = false;
        CsSessionLock(0, nullptr, 0);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(got) << "slot 5 was not held by the group-wide lock";
    EXPECT_EQ(CsSessionLock(0, &logHandle, 0), CS_OK);  // the remembered handle names slot 5
    blocked.join();
    EXPECT_FALSE(got);

    EXPECT_EQ(CsMutexStep(nullptr, 1), CS_FAILED);
    std::recursive_mutex mutex;
    EXPECT_EQ(CsMutexStep(&mutex, 1), CS_OK);
    EXPECT_EQ(CsMutexStep(&mutex, 0), CS_OK);
}

}  // namespace
