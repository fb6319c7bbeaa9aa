// Issuing numbered messages: destinations, suppression, the System Log, the event log
// and the message exit program.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "arc_messages.h"
#include "message_test_support.h"
#include "qel_cshandle.h"

namespace {

// Catalogue rows used here: index, and what the catalogue says of them.
constexpr int kSessionActivity = 70;  // severity 4, destination 2
constexpr int kSessionNotice = 71;    // severity 4, destination 2
constexpr int kServerNotice = 176;    // severity 3, destination 2
constexpr int kLogin = 12;            // severity 4, category 4, destination 1
constexpr int kObjRetrieve = 63;      // severity 4, destination 1, nine inserts
constexpr int kOpenDirFailed = 170;   // severity 2, destination 2
constexpr int kNoCache = 6;           // severity 2, destinations 7 (with the host text)

ArcMsgRow Row(int index) {
    ArcMsgRow row;
    EXPECT_EQ(ArcMSGS_GetText(index, &row), 0);
    return row;
}

struct Recorder {
    std::vector<std::string> callbackTexts;
    int callbackResult = 0;

    struct Logged {
        CsSystemLogRecord record;
        uint32_t flagsDuring = 0;
        const CsStorageSet* set = nullptr;
    };
    std::vector<Logged> stored;
    std::vector<std::optional<std::string>> storedData;  // each stored record's data
    std::vector<Logged> sent;
    int storeResult = 0;
    int sendResult = 0;
    int infoCalls = 0;
    std::function<void(CsHandle*)> duringStore;

    CsLayerHooks Hooks() {
        CsLayerHooks hooks;
        hooks.storeSystemLog = [this](CsHandle* h, CsStorageSet& set, const CsSystemLogDef&,
                                      const CsSystemLogRecord& record) {
            stored.push_back({record, h->def.flags1, &set});
            storedData.push_back(record.data ? std::optional(CsReadMessageData(*record.data)) : std::nullopt);
            if (duringStore) duringStore(h);
            return storeResult;
        };
        hooks.logMessage = [this](CsHandle* h, const CsSystemLogRecord& record) {
            sent.push_back({record, h->def.flags1, nullptr});
            return sendResult;
        };
        hooks.getServerInfo = [this](CsHandle* h) {
            ++infoCalls;
            CsSetText(h->serverInfo, sizeof h->serverInfo, "host-from-transport");
            return 0;
        };
        return hooks;
    }
};

int RecordText(void* context, const char* text) {
    auto* recorder = static_cast<Recorder*>(context);
    recorder->callbackTexts.push_back(text);
    return recorder->callbackResult;
}

class MessageIssueTest : public ::testing::Test {
protected:
    void SetUp() override { CsSetIssueHooks(recorder_.Hooks()); }

    CsHandle Handle(uint16_t kind, uint32_t flags1, bool withCallback = true) {
        CsHandle handle;
        CsSetText(handle.serverName, sizeof handle.serverName, "SRV1");
        handle.def.kind = kind;
        handle.def.flags1 = flags1;
        CsSetText(handle.def.host, sizeof handle.def.host, "archive.host");
        CsSetText(handle.identity.userId, sizeof handle.identity.userId, "abc");
        CsSetText(handle.identity.userName, sizeof handle.identity.userName, "Alice B. Cole");
        handle.identity.processId = 4242;
        handle.callbackContext = &recorder_;
        if (withCallback) handle.messageCallback = RecordText;
        return handle;
    }

    void LoadSystemLog(char caseLetter) {
        std::vector<CsSystemLogField> fields = {{'S', 0}, {'T', caseLetter}};
        ASSERT_EQ(CsLoadSystemLogDef(std::make_shared<CsStorageSet>(), nullptr, &fields), 0);
    }

    reqtest::MessageSandbox sandbox_;
    Recorder recorder_;
};

TEST_F(MessageIssueTest, HandleFlagsDecideWhetherMessagesAreIssued) {
    struct Case {
        const char* name;
        uint32_t flags1;
        int row;
        bool delivered;
    } cases[] = {
        {"no message bits", 0, kSessionActivity, false},
        {"session notice always", 0, kSessionNotice, true},
        {"server notice always", 0, kServerNotice, true},
        {"messages asked for", CS_F1_MESSAGES, kSessionActivity, true},
        {"external handle writes nothing here", CS_F1_EXTERNAL, kSessionActivity, false},
    };
    for (const auto& c : cases) {
        recorder_.callbackTexts.clear();
        CsHandle handle = Handle(2, c.flags1);
        EXPECT_EQ(CsIssueMessageV(&handle, c.row, 'S', "x", 'V'), 0) << c.name;
        EXPECT_EQ(recorder_.callbackTexts.size(), c.delivered ? 1u : 0u) << c.name;
    }
}

TEST_F(MessageIssueTest, CallbackOrStandardError) {
    CsHandle handle = Handle(2, CS_F1_MESSAGES);
    EXPECT_EQ(CsIssueMessageV(&handle, kSessionActivity, 'S', "abc", 'V'), 0);
    ASSERT_EQ(recorder_.callbackTexts.size(), 1u);
    EXPECT_EQ(recorder_.callbackTexts[0], "Session Activity: abc");

    recorder_.callbackResult = 5;
    EXPECT_EQ(CsIssueMessageV(&handle, kSessionActivity, 'S', nullptr, 'V'), 6);
    EXPECT_EQ(recorder_.callbackTexts.back(), "Session Activity: ");

    // Without a callback, or without a handle, the text goes to standard error, one line.
    CsHandle bare = Handle(2, CS_F1_MESSAGES, false);
    testing::internal::CaptureStderr();
    EXPECT_EQ(CsIssueMessageV(&bare, kSessionActivity, 'S', "one\ntwo", 'V'), 0);
    EXPECT_EQ(CsIssueMessageV(nullptr, kSessionNotice, 'S', "three", 'V'), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Session Activity: one two\nSession Notice: three\n");
}

TEST_F(MessageIssueTest, InsertLetters) {
    CsHandle handle = Handle(2, CS_F1_MESSAGES);
    struct Case {
        const char* name;
        std::function<int()> issue;
        const char* text;
    } cases[] = {
        {"I", [&] { return CsIssueMessageV(&handle, kSessionActivity, 'I', INT32_MIN, 'V'); },
         "Session Activity: -2147483648"},
        {"N", [&] { return CsIssueMessageV(&handle, kSessionActivity, 'N', -32768, 'V'); },
         "Session Activity: -32768"},
        {"B", [&] { return CsIssueMessageV(&handle, kSessionActivity, 'B', INT64_MIN, 'V'); },
         "Session Activity: -9223372036854775808"},
        {"D", [&] { return CsIssueMessageV(&handle, kSessionActivity, 'D', 1.5, 'V'); },
         "Session Activity: 1.500"},
        {"D cut to 27 characters",
         [&] { return CsIssueMessageV(&handle, kSessionActivity, 'D', -1e300, 'V'); },
         "Session Activity: -10000000000000000525047602"},
        {"C++ form", [&] { return CsIssueMessageArgs(&handle, kSessionActivity, CsMessageArgs().I(7)); },
         "Session Activity: 7"},
        {"no inserts", [&] { return CsIssueMessageV(&handle, kSessionActivity, 'V'); }, "Session Activity: "},
    };
    for (const auto& c : cases) {
        recorder_.callbackTexts.clear();
        EXPECT_EQ(c.issue(), 0) << c.name;
        ASSERT_EQ(recorder_.callbackTexts.size(), 1u) << c.name;
        EXPECT_EQ(recorder_.callbackTexts[0], c.text) << c.name;
    }
}

TEST_F(MessageIssueTest, NineInsertsWithoutEndLetter) {
    CsHandle handle = Handle(2, CS_F1_MESSAGES);
    EXPECT_EQ(CsIssueMessageV(&handle, kObjRetrieve, 'S', "a", 'S', "b", 'S', "c", 'S', "d", 'S', "e", 'S',
                              "f", 'I', 7, 'N', 8, 'B', int64_t(9)),
              0);
    ASSERT_EQ(recorder_.sent.size(), 1u);
    EXPECT_EQ(recorder_.sent[0].record.text,
              "ApplGroup ObjRetrieve: Name(a) Agid(b) ObjName(c) NodeName(d) Nid(e) Server(f) "
              "Off(7) Len(8) Time(9)");
    EXPECT_EQ(recorder_.sent[0].record.count, 9);
}

TEST_F(MessageIssueTest, UnknownLetterIssuesNothing) {
    CsHandle handle = Handle(2, CS_F1_MESSAGES);
    EXPECT_EQ(CsIssueMessageV(&handle, kSessionActivity, 'S', "a", 'X', 1, 'V'), 6);
    EXPECT_EQ(CsIssueMessageEx(&handle, kLogin, nullptr, 'D', 1, 'X', 'V'), 6);
    EXPECT_TRUE(recorder_.callbackTexts.empty());
    EXPECT_TRUE(recorder_.sent.empty());
}

TEST_F(MessageIssueTest, SevereMessageGoesToTheEventLogAndTheExit) {
    // Destination 2 only, but severity '2'.
    const char* hostile = "\"quoted\" $(id) `id` ; rm -rf / \nnext line";
    EXPECT_EQ(CsIssueMessageV(nullptr, kOpenDirFailed, 'S', hostile, 'I', 13, 'V'), 0);
    std::string text = std::string("Unable to open directory >") + hostile + "<.  errno=13";

    ArcMsgRow row = Row(kOpenDirFailed);
    auto events = sandbox_.Events();
    ASSERT_EQ(events.size(), 1u);
    std::string flat = text;
    for (char& c : flat)
        if (c == '\n') c = ' ';
    EXPECT_EQ(events[0], "Tidewell for WinNT|1|" + std::to_string(row.eventId) + "|" + flat);

    auto runs = sandbox_.ExitRuns();
    ASSERT_EQ(runs.size(), 1u);
    const auto& args = runs[0];
    ASSERT_EQ(args.size(), 8u);
    EXPECT_EQ(args[0], "ARCHIVE");
    EXPECT_FALSE(args[1].empty());
    EXPECT_NE(args[1], "N/A");
    EXPECT_EQ(args[2], "0");
    EXPECT_EQ(args[3], "QELMSG");
    EXPECT_EQ(args[4], "");
    EXPECT_EQ(args[5], "2");
    EXPECT_EQ(args[6], std::to_string(row.number));
    EXPECT_EQ(args[7], text);  // quotes, $(id), backticks and the line break kept literal
}

TEST_F(MessageIssueTest, ExitArgumentsOfAHandle) {
    struct Case {
        char caseLetter;
        const char* userId;
        const char* expected;
    } cases[] = {
        {'U', "abc", "ABC"},
        {'L', "ABC", "abc"},
        {'X', "aBc", "aBc"},
    };
    for (const auto& c : cases) {
        LoadSystemLog(c.caseLetter);
        CsHandle handle = Handle(2, CS_F1_MESSAGES);
        CsSetText(handle.identity.userId, sizeof handle.identity.userId, c.userId);
        CsIssueMessageV(&handle, kOpenDirFailed, 'S', "/d", 'I', 2, 'V');
    }
    auto runs = sandbox_.ExitRuns();
    ASSERT_EQ(runs.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        ASSERT_EQ(runs[i].size(), 8u);
        EXPECT_EQ(runs[i][0], "SRV1");
        EXPECT_EQ(runs[i][2], "4242");
        EXPECT_EQ(runs[i][3], cases[i].expected) << cases[i].caseLetter;
        EXPECT_EQ(runs[i][4], "Alice B. Cole");
    }
}

TEST_F(MessageIssueTest, MissingExitProgramFailsTheMessage) {
    sandbox_.RemoveExitScript();
    EXPECT_EQ(CsIssueMessageV(nullptr, kOpenDirFailed, 'S', "/d", 'I', 2, 'V'), 6);
    EXPECT_EQ(sandbox_.Events().size(), 1u);  // the event log was still written
}

TEST_F(MessageIssueTest, LocalSystemLog) {
    LoadSystemLog('U');
    CsSystemParms parms;
    struct Case {
        const char* name;
        bool withParms;
        uint32_t logMask;
        uint32_t exitMask;
        int storeResult;
        int rc;
        size_t stores;
        size_t exits;
        size_t events;
    } cases[] = {
        {"no parameters: stored, exit runs", false, 0, 0, 0, 0, 1, 1, 0},
        {"masks with the category", true, 4, 4, 0, 0, 1, 1, 0},
        {"masks without it", true, 1, 1, 0, 0, 0, 0, 0},
        {"log mask only", true, 4, 0, 0, 0, 1, 0, 0},
        {"store fails", false, 0, 0, 6, 6, 1, 1, 1},
        {"store cancelled", false, 0, 0, 1, 1, 1, 1, 0},
    };
    size_t exitsBefore = 0, eventsBefore = 0;
    for (const auto& c : cases) {
        recorder_.stored.clear();
        recorder_.storeResult = c.storeResult;
        parms.systemLogMask = c.logMask;
        parms.exitMask = c.exitMask;
        CsHandle handle = Handle(CS_KIND_LOCAL, CS_F1_MESSAGES);
        handle.systemParms = CsSystemParmsPtr::Borrow(c.withParms ? &parms : nullptr);
        EXPECT_EQ(CsIssueMessageV(&handle, kLogin, 'S', "abc", 'V'), c.rc) << c.name;
        ASSERT_EQ(recorder_.stored.size(), c.stores) << c.name;
        if (c.stores) {
            EXPECT_TRUE(recorder_.stored[0].flagsDuring & CS_F1_IN_SYSLOG_STORE) << c.name;
            EXPECT_EQ(recorder_.stored[0].record.text, "Login: abc") << c.name;
            EXPECT_EQ(recorder_.stored[0].set, CsGetSystemLogDef()->folder.get()) << c.name;
        }
        EXPECT_FALSE(handle.def.flags1 & CS_F1_IN_SYSLOG_STORE) << c.name;
        size_t exits = sandbox_.ExitRuns().size(), events = sandbox_.Events().size();
        EXPECT_EQ(exits - exitsBefore, c.exits) << c.name;
        EXPECT_EQ(events - eventsBefore, c.events) << c.name;
        exitsBefore = exits;
        eventsBefore = events;
    }
}

// Data goes with the System Log record and is read only when the record is stored.
TEST_F(MessageIssueTest, DataGoesWithTheSystemLogRecord) {
    LoadSystemLog('U');
    CsSystemParms parms;
    const std::vector<std::string> pieces = {"first ", std::string("\0second", 7), "third"};
    struct Case {
        const char* name;
        bool withData, emptyData;
        uint32_t logMask;
        std::optional<std::string> stored;  // the record's data; none without
        size_t reads;                       // calls of the supplier
    } cases[] = {
        {"without data, as before", false, false, 4, std::nullopt, 0},
        {"with data", true, false, 4, "first " + pieces[1] + "third", 4},
        {"an empty supplier is none", false, true, 4, std::nullopt, 0},
        {"not stored: never read", true, false, 1, std::nullopt, 0},
    };
    for (const auto& c : cases) {
        recorder_.stored.clear();
        recorder_.storedData.clear();
        parms.systemLogMask = c.logMask;
        CsHandle handle = Handle(CS_KIND_LOCAL, CS_F1_MESSAGES);
        handle.systemParms = CsSystemParmsPtr::Borrow(&parms);
        size_t reads = 0;
        const CsMessageData data = [&](const unsigned char** piece, size_t* length) {
            const std::string* next = reads < pieces.size() ? &pieces[reads] : nullptr;
            ++reads;
            *piece = next ? reinterpret_cast<const unsigned char*>(next->data()) : nullptr;
            *length = next ? next->size() : 0;
        };
        const CsMessageArgs args = CsMessageArgs().S("abc");
        int rc = c.withData    ? CsIssueMessageArgs(&handle, kLogin, args, 'N', data)
                 : c.emptyData ? CsIssueMessageArgs(&handle, kLogin, args, 'N', CsMessageData())
                               : CsIssueMessageArgs(&handle, kLogin, args);
        EXPECT_EQ(rc, 0) << c.name;
        EXPECT_EQ(reads, c.reads) << c.name;
        if (c.logMask == 1) {
            EXPECT_TRUE(recorder_.stored.empty()) << c.name;
            continue;
        }
        ASSERT_EQ(recorder_.stored.size(), 1u) << c.name;
        EXPECT_EQ(recorder_.stored[0].record.text, "Login: abc") << c.name;
        EXPECT_EQ(recorder_.storedData[0], c.stored) << c.name;
    }
}

TEST_F(MessageIssueTest, LocalSystemLogWithoutDefinition) {
    CsHandle handle = Handle(CS_KIND_LOCAL, CS_F1_MESSAGES);
    EXPECT_EQ(CsIssueMessageV(&handle, kLogin, 'S', "abc", 'V'), 6);
    EXPECT_TRUE(recorder_.stored.empty());
    EXPECT_EQ(sandbox_.Events().size(), 1u);
    EXPECT_EQ(sandbox_.ExitRuns().size(), 1u);
}

TEST_F(MessageIssueTest, MessageIssuedDuringAStoreIsNotStoredAgain) {
    LoadSystemLog('U');
    recorder_.duringStore = [](CsHandle* h) { CsIssueMessageV(h, kLogin, 'S', "nested", 'V'); };
    CsHandle handle = Handle(CS_KIND_LOCAL, CS_F1_MESSAGES);
    EXPECT_EQ(CsIssueMessageV(&handle, kLogin, 'S', "outer", 'V'), 0);
    EXPECT_EQ(recorder_.stored.size(), 1u);
    auto events = sandbox_.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_NE(events[0].find("Login: nested"), std::string::npos);
    EXPECT_EQ(sandbox_.ExitRuns().size(), 2u);  // the nested one, then the outer one
}

TEST_F(MessageIssueTest, CopyFlagStoresOnAPrivateCopy) {
    auto set = std::make_shared<CsStorageSet>();
    auto nodeHandle = std::make_unique<CsHandle>();
    nodeHandle->def.flags1 = CS_F1_SERVES_FOLDER;
    set->nodes.resize(2);
    set->nodes[0].handle = nodeHandle.get();
    set->handles.push_back(std::move(nodeHandle));
    std::vector<CsSystemLogField> fields = {{'T', 'U'}};
    ASSERT_EQ(CsLoadSystemLogDef(set, nullptr, &fields), 0);

    const CsStorageSet* seen = nullptr;
    CsHandle* copiedNodeHandle = nullptr;
    CsLayerHooks hooks = recorder_.Hooks();
    hooks.storeSystemLog = [&](CsHandle*, CsStorageSet& used, const CsSystemLogDef&,
                               const CsSystemLogRecord&) {
        seen = &used;
        copiedNodeHandle = used.nodes[0].handle;
        EXPECT_FALSE(copiedNodeHandle->def.flags1 & CS_F1_SERVES_FOLDER);
        return 0;
    };
    CsSetIssueHooks(hooks);
    CsHandle handle = Handle(CS_KIND_LOCAL, CS_F1_MESSAGES);
    EXPECT_EQ(CsIssueMessage(&handle, kLogin, 0, nullptr, nullptr, 0, 0, 1), 0);
    EXPECT_NE(seen, nullptr);
    EXPECT_NE(seen, set.get());
    EXPECT_NE(copiedNodeHandle, set->nodes[0].handle);
    EXPECT_TRUE(set->nodes[0].handle->def.flags1 & CS_F1_SERVES_FOLDER);
}

TEST_F(MessageIssueTest, RemoteSystemLog) {
    struct Case {
        const char* name;
        int row;
        uint32_t flags1;
        int sendResult;
        int rc;
        bool hostBitDuring;
        size_t events;
        size_t exits;
    } cases[] = {
        {"logged", kLogin, CS_F1_MESSAGES, 0, 0, false, 0, 0},
        {"host text asked", kNoCache, CS_F1_MESSAGES, 0, 0, true, 1, 1},
        {"logged, event log skipped", kNoCache, CS_F1_MESSAGES | CS_F1_SKIP_EVENT_LOG, 0, 0, true, 0, 1},
        {"refused: event log and exit", kLogin, CS_F1_MESSAGES, 13, 13, false, 1, 1},
        {"cancelled", kLogin, CS_F1_MESSAGES, 1, 1, false, 0, 0},
    };
    size_t exitsBefore = 0, eventsBefore = 0;
    for (const auto& c : cases) {
        recorder_.sent.clear();
        recorder_.sendResult = c.sendResult;
        CsHandle handle = Handle(CS_KIND_TCP, c.flags1);
        EXPECT_EQ(CsIssueMessageV(&handle, c.row, 'S', "x", 'V'), c.rc) << c.name;
        ASSERT_EQ(recorder_.sent.size(), 1u) << c.name;
        EXPECT_EQ(bool(recorder_.sent[0].flagsDuring & CS_F1_HOST_TEXT), c.hostBitDuring) << c.name;
        EXPECT_FALSE(handle.def.flags1 & CS_F1_HOST_TEXT) << c.name;
        size_t exits = sandbox_.ExitRuns().size(), events = sandbox_.Events().size();
        EXPECT_EQ(events - eventsBefore, c.events) << c.name;
        EXPECT_EQ(exits - exitsBefore, c.exits) << c.name;
        exitsBefore = exits;
        eventsBefore = events;
    }
}

TEST_F(MessageIssueTest, HostTextOfTheServer) {
    int stream = 0;  // stands for a connection; never touched through the pointer
    struct Case {
        const char* name;
        uint32_t flags1;
        bool connected;
        const char* tail;
        int infoCalls;
    } cases[] = {
        {"unconnected: the definition's host", CS_F1_HOST_TEXT, false, "  Srvr->archive.host<-", 0},
        {"connected: fetched from the transport", CS_F1_HOST_TEXT, true, "  Srvr->host-from-transport<-", 1},
        {"connected, not asked", 0, true, "  Srvr->archive.host<-", 0},
        {"connected, nodes by name", CS_F1_HOST_TEXT | CS_F1_NODE_BY_NAME, true, "  Srvr->archive.host<-", 0},
    };
    for (const auto& c : cases) {
        recorder_.callbackTexts.clear();
        recorder_.infoCalls = 0;
        CsHandle handle = Handle(CS_KIND_TCP, CS_F1_MESSAGES | c.flags1);
        if (c.connected) handle.def.request.connection = reinterpret_cast<CsConnection*>(&stream);
        CsIssueMessageV(&handle, kNoCache, 'V');
        handle.def.request.connection = nullptr;
        ASSERT_EQ(recorder_.callbackTexts.size(), 1u) << c.name;
        EXPECT_EQ(recorder_.callbackTexts[0],
                  std::string("Unable to store data to cache because there is no cache defined") + c.tail)
            << c.name;
        EXPECT_EQ(recorder_.infoCalls, c.infoCalls) << c.name;
    }
}

TEST_F(MessageIssueTest, NumberWithoutARow) {
    CsHandle handle = Handle(CS_KIND_TCP, CS_F1_MESSAGES);
    EXPECT_EQ(CsIssueMessageV(&handle, 5000, 'S', "x", 'V'), 0);
    ASSERT_EQ(recorder_.sent.size(), 1u);
    const auto& record = recorder_.sent[0].record;
    EXPECT_EQ(record.text, "Message Error");
    EXPECT_EQ(record.number, 5000);
    EXPECT_EQ(record.eventId, 5000u);
    EXPECT_EQ(record.severity, '4');
    EXPECT_EQ(record.category, 1u);
    EXPECT_TRUE(recorder_.callbackTexts.empty());  // destination 1 only
}

TEST_F(MessageIssueTest, RoutedHandleNamesTheServer) {
    CsHandle routed = Handle(CS_KIND_LOCAL, 0);
    routed.def.instance = "INST2";
    CsHandle handle = Handle(CS_KIND_TCP, CS_F1_MESSAGES);
    handle.delegated = &routed;
    CsIssueMessageV(&handle, kOpenDirFailed, 'S', "/d", 'I', 2, 'V');
    auto runs = sandbox_.ExitRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0][0], "INST2");
}

// The dispatcher's roads serve a remote handle where the hooks are empty; a hook that is
// set wins; with neither, the remote System Log answers 6 and no host text is fetched.
int g_roadSends = 0;
int g_roadInfos = 0;
int RoadSend(CsHandle*, const CsSystemLogRecord&) {
    ++g_roadSends;
    return 0;
}
int RoadInfo(CsHandle* h) {
    ++g_roadInfos;
    return CsSetText(h->serverInfo, sizeof h->serverInfo, "host-from-road");
}

TEST_F(MessageIssueTest, DispatcherRoadsWhereHooksAreEmpty) {
    int stream = 0;  // stands for a connection; never touched through the pointer
    struct Case {
        const char* name;
        bool roads;
        bool hooks;
        int rc;
        int roadSends;
        int roadInfos;
        size_t hookSends;
        const char* tail;
    } cases[] = {
        {"neither", false, false, 6, 0, 0, 0, "  Srvr->archive.host<-"},
        {"roads only", true, false, 0, 1, 1, 0, "  Srvr->host-from-road<-"},
        {"hooks win", true, true, 0, 0, 0, 1, "  Srvr->host-from-transport<-"},
    };
    for (const auto& c : cases) {
        g_roadSends = g_roadInfos = 0;
        recorder_.sent.clear();
        recorder_.callbackTexts.clear();
        CsLayerHooks hooks = recorder_.Hooks();
        if (!c.hooks) {
            hooks.logMessage = nullptr;
            hooks.getServerInfo = nullptr;
        }
        CsSetIssueHooks(hooks);
        CsSetDispatcherRoads(c.roads ? CsDispatcherRoads{RoadSend, RoadInfo} : CsDispatcherRoads{});
        CsHandle handle = Handle(CS_KIND_TCP, CS_F1_MESSAGES | CS_F1_HOST_TEXT);
        handle.def.request.connection = reinterpret_cast<CsConnection*>(&stream);
        EXPECT_EQ(CsIssueMessageV(&handle, kLogin, 'S', "abc", 'V'), c.rc) << c.name;
        EXPECT_EQ(CsIssueMessageV(&handle, kNoCache, 'V'), c.rc) << c.name;
        handle.def.request.connection = nullptr;
        EXPECT_EQ(g_roadSends, 2 * c.roadSends) << c.name;
        EXPECT_EQ(g_roadInfos, c.roadInfos) << c.name;
        EXPECT_EQ(recorder_.sent.size(), 2 * c.hookSends) << c.name;
        ASSERT_EQ(recorder_.callbackTexts.size(), 1u) << c.name;
        EXPECT_EQ(recorder_.callbackTexts[0],
                  std::string("Unable to store data to cache because there is no cache defined") + c.tail)
            << c.name;
    }
    CsSetDispatcherRoads({});
}

}  // namespace

namespace {

int ReadInserts(CsMessageArgs* out, int firstType, ...) {
    va_list args;
    va_start(args, firstType);
    const int rc = CsMessageArgsFromList(out, firstType, args);
    va_end(args);
    return rc;
}

}  // namespace

// Each insert lands in its own slot whatever the one before held; the slots after the
// last are empty 'V' slots.
TEST(MessageInserts, SlotsHoldTheirInsertsSafely) {
    CsMessageArgs list;
    list.S("stale").S("stale").S("stale").S("stale").S("stale");
    ASSERT_EQ(ReadInserts(&list, 'D', DBL_MAX, 'I', 5, 'S', nullptr, 'N', 70000, 'D', -INFINITY, 'V'), CS_OK);
    ASSERT_EQ(list.count, 5);
    EXPECT_EQ(std::strlen(list.inserts[0].formatted), CS_MSG_INSERT_SIZE - 1) << "cut to the slot";
    EXPECT_EQ(std::string(list.inserts[0].Value()), std::string("179769313486231570814527423"));
    EXPECT_STREQ(list.inserts[1].Value(), "5");
    EXPECT_EQ(list.inserts[2].type, 'S');
    EXPECT_STREQ(list.inserts[2].Value(), "");
    EXPECT_STREQ(list.inserts[3].Value(), "4464") << "'N' is read as an int and kept as 16 bits";
    EXPECT_STREQ(list.inserts[4].Value(), "-inf");
    for (int i = list.count; i < CS_MSG_MAX_INSERTS; ++i) {
        EXPECT_EQ(list.inserts[i].type, 'V') << i;
        EXPECT_STREQ(list.inserts[i].Value(), "") << i;
    }
    EXPECT_EQ(ReadInserts(&list, 'I', 1, 'X', 2, 'V'), CS_FAILED);
    EXPECT_EQ(ReadInserts(nullptr, 'V'), CS_FAILED);
}
