// Stored objects, object queries, logged messages, server print and the text search of a
// remote handle against the loopback peer, and the routed forms with a second peer.
#include <strings.h>

#include <cstring>
#include <string>
#include <vector>

#include "logon_test_support.h"
#include "routed_peers.h"

namespace {

using logontest::FolderPtr;
using logontest::HandleGuard;
using logontest::SetPtr;

std::string Value(const std::string& line, const char* key) { return qel_peer::JsonValue(line, key); }

// What the operations read from and hand to the caller.
struct Calls {
    std::vector<std::string> pieces;
    size_t next = 0;
    std::string data;
    std::vector<int64_t> positions;
    std::string letters;
    // Hit items handed out, in order; the group is named with the first only.
    CsXdrApplGroup* group = nullptr;
    std::vector<CsXdrHitRow*> hits;
    size_t item = 0;
    // Value lists of the text search: kept ones and the number of those handed back.
    std::vector<CsXdrValueItem*> kept;
    int answers = 0;

    static int Source(void* context, const char** data, uint32_t* length) {
        auto* calls = static_cast<Calls*>(context);
        const std::string& piece = calls->pieces[calls->next];
        *data = piece.data();
        *length = static_cast<uint32_t>(piece.size());
        return ++calls->next < calls->pieces.size() ? 1 : 0;
    }
    static int Segment(void* context, int64_t position, char letter, const char* data, uint32_t length) {
        auto* calls = static_cast<Calls*>(context);
        calls->positions.push_back(position);
        calls->letters += letter;
        calls->data.append(data, length);
        return 1;
    }
    static int Items(void* context, CsXdrApplGroup** group, CsXdrApplEntry**, CsXdrHitRow** hit,
                     uint32_t* word) {
        auto* calls = static_cast<Calls*>(context);
        if (calls->item >= calls->hits.size()) return 0;
        if (calls->item == 0) *group = calls->group;
        *hit = calls->hits[calls->item];
        *word = static_cast<uint32_t>(100 + calls->item);
        ++calls->item;
        return 0;
    }
    // Keeps the first list, hands the others back.
    static int Answer(void* context, void* entry) {
        auto* calls = static_cast<Calls*>(context);
        ++calls->answers;
        if (!calls->kept.empty()) return 1;
        calls->kept.push_back(static_cast<CsXdrValueItem*>(entry));
        return 0;
    }
};

// A row of the peer's group, its object stored as it is ('N').
struct Row : logontest::PeerRow {
    Row(const char* customer, const char* object) : PeerRow(customer, 19800, object, 'N') {}
};

class RemoteObjects : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(logontest::LogOnToFolder(&handle_, peer_, &folder_));
        group_ = &folder_->groups[0];
        handle_.callbackContext = &calls_;
        std::snprintf(primary_.name, sizeof primary_.name, "home");
        primary_.number = 1;
        std::snprintf(secondary_.name, sizeof secondary_.name, "far");
        secondary_.number = 2;
    }
    void TearDown() override { EXPECT_EQ(CsLogoff(&handle_), CS_OK); }
    std::string Last(const char* kind) {
        const std::vector<std::string> events = peer_.Events(kind);
        return events.empty() ? "" : events.back();
    }

    qel_peer::PeerProcess peer_{qel_peer::Script("retrieve_route.json")};
    CsHandle handle_{};
    HandleGuard guard_{&handle_};
    FolderPtr folder_;
    const CsXdrApplGroup* group_ = nullptr;
    CsStorageNode primary_;
    CsStorageNode secondary_;
    Calls calls_;
};

TEST_F(RemoteObjects, AStoredObjectIsReadBackInSegments) {
    // Data the caller has compressed itself travels and is kept as it is, with its letter.
    calls_.pieces = {std::string(40000, 'a'), std::string(30000, 'b'), "end"};
    Row row("ACME", "3FAA");
    row.object()->compression = 'O';
    uint8_t places = SM_LOC_CACHE | SM_LOC_PRIMARY;
    uint64_t length = 0;
    ASSERT_EQ(CsStoreObject(&handle_, group_, &primary_, &secondary_, &places, row.object(), 9, 41,
                            &Calls::Source, &length),
              CS_OK);
    EXPECT_EQ(row.object()->compression, 'O');
    EXPECT_EQ(length, 70003u);
    EXPECT_EQ(places, SM_LOC_CACHE | SM_LOC_PRIMARY) << "the server's places are not reported";
    const std::string stored = Last("store_object");
    EXPECT_EQ(Value(stored, "object"), "\"3FAA\"");
    EXPECT_EQ(Value(stored, "location"), "3");
    EXPECT_EQ(Value(stored, "flag2"), "9");
    EXPECT_EQ(Value(stored, "value"), "41");
    EXPECT_EQ(Value(stored, "bytes"), "70003");
    EXPECT_EQ(Value(stored, "primary"), "\"home\"");
    EXPECT_EQ(Value(stored, "secondary"), "\"far\"");

    struct Case {
        const char* name;
        uint32_t offset, length;
        std::string data;
    };
    const std::string all = calls_.pieces[0] + calls_.pieces[1] + calls_.pieces[2];
    const Case cases[] = {
        {"the whole object", 0, 0, all},
        {"a window", 39990, 20, all.substr(39990, 20)},
        {"the tail", 69990, 0, all.substr(69990)},
    };
    for (const Case& c : cases) {
        calls_.data.clear();
        calls_.positions.clear();
        calls_.letters.clear();
        uint8_t read = SM_LOC_CACHE;
        ASSERT_EQ(CsRetrieveSegment(&handle_, group_, &primary_, nullptr, &read, row.object(), c.offset,
                                    c.length, &Calls::Segment, &calls_),
                  CS_OK)
            << c.name;
        EXPECT_EQ(calls_.data.size(), c.data.size()) << c.name;
        EXPECT_TRUE(calls_.data == c.data) << c.name;
        ASSERT_FALSE(calls_.positions.empty()) << c.name;
        EXPECT_EQ(calls_.positions[0], c.offset) << c.name;
        EXPECT_EQ(calls_.letters.find_first_not_of('O'), std::string::npos) << c.name;
        const std::string asked = Last("segment_data");
        EXPECT_EQ(Value(asked, "offset"), std::to_string(c.offset)) << c.name;
        EXPECT_EQ(Value(asked, "length"), std::to_string(c.length)) << c.name;
        EXPECT_EQ(Value(asked, "object"), "\"3FAA\"") << c.name;
    }
}

TEST_F(RemoteObjects, QueryAnswersThePlaceAndTheWord) {
    calls_.pieces = {"in the cache"};
    Row stored("ACME", "4FAA");
    uint8_t places = SM_LOC_CACHE;
    ASSERT_EQ(CsStoreObject(&handle_, group_, &primary_, nullptr, &places, stored.object(), 0, 0,
                            &Calls::Source, nullptr),
              CS_OK);
    Row scripted("BETA", "DOC1");
    struct Case {
        const char* name;
        Row* row;
        uint8_t answer;
        uint32_t word;
    };
    const Case cases[] = {
        {"stored here", &stored, 1, 12},
        {"a scripted document", &scripted, 2, 16},
    };
    for (const Case& c : cases) {
        uint8_t answer = 0;
        uint32_t word = 0;
        ASSERT_EQ(CsQueryDocObject(&handle_, group_, &primary_, &secondary_, SM_LOC_CACHE | SM_LOC_PRIMARY,
                                   c.row->hit(), "asked", 1, 77, &answer, &word),
                  CS_OK)
            << c.name;
        EXPECT_EQ(answer, c.answer) << c.name;
        EXPECT_EQ(word, c.word) << c.name;
        const std::string asked = Last("doc_object");
        EXPECT_EQ(Value(asked, "text"), "\"asked\"") << c.name;
        EXPECT_EQ(Value(asked, "exitLast"), "1") << c.name;
        EXPECT_EQ(Value(asked, "word2"), "77") << c.name;
        EXPECT_EQ(Value(asked, "location"), "3") << c.name;
    }
}

TEST_F(RemoteObjects, LoggedMessageTravelsFormattedWithItsNumber) {
    CsMessageArgs args;
    args.S("GROUP").I(100).S("OBJ").S(nullptr).I(2).S("srv").B(7).B(8).D(1e300);
    ASSERT_EQ(CsLogMessage(&handle_, 63, static_cast<uint16_t>(args.count), args.inserts, nullptr, 'D', 5),
              CS_OK);
    const std::string logged = Last("log_message");
    EXPECT_EQ(Value(logged, "number"), "81");
    EXPECT_EQ(Value(logged, "word"), "5");
    EXPECT_EQ(
        Value(logged, "text"),
        "\"ApplGroup ObjRetrieve: Name(GROUP) Agid(100) ObjName(OBJ) NodeName() Nid(2) Server(srv) Off(7) "
        "Len(8) Time(" +
            std::string(args.inserts[8].formatted) + ")\"");
    EXPECT_EQ(std::strlen(args.inserts[8].formatted), CS_MSG_INSERT_SIZE - 1) << "a huge double is cut";
}

TEST_F(RemoteObjects, ServerPrintSendsTheRequestThenOneItemPerHit) {
    Row a("ACME", "A1"), b("BETA", "B1"), c("ACME2", "C1");
    calls_.group = const_cast<CsXdrApplGroup*>(group_);
    calls_.hits = {a.hit(), b.hit(), c.hit()};
    CsXdrPrintRequest print{};
    print.printer = 3;
    print.copies = 2;
    print.options = 1;
    char printName[] = "laser";
    print.name = printName;
    char option[] = "duplex";
    const CsXdrTextEntry options[] = {{option}};
    ASSERT_EQ(CsServerPrint(&handle_, &print, "job", options, &Calls::Items, 4), CS_OK);
    const std::string printed = Last("server_print");
    EXPECT_EQ(Value(printed, "text"), "\"job\"");
    EXPECT_EQ(Value(printed, "entries"), "[\"duplex\"]");
    EXPECT_EQ(Value(printed, "endWord"), "3");
    EXPECT_EQ(Value(printed, "endByte"), "4");
    const std::string items = Value(printed, "items");
    for (const char* customer : {"\"ACME\"", "\"BETA\"", "\"ACME2\""})
        EXPECT_NE(items.find(customer), std::string::npos) << customer << " in " << items;
    EXPECT_EQ(items.find("\"group\": null"), std::string::npos)
        << "every item is typed by the group: " << items;

    calls_.item = 0;
    EXPECT_EQ(CsServerPrint(&handle_, nullptr, "job", {}, &Calls::Items, 4), CS_FAILED);
}

TEST_F(RemoteObjects, TextSearchHandsEachMatchToTheCallback) {
    Row a("ACME", "A1"), b("BETA", "B1"), c("ACME2", "C1");
    calls_.group = const_cast<CsXdrApplGroup*>(group_);
    calls_.hits = {a.hit(), b.hit(), c.hit()};
    char wanted[] = "ACME";
    CsXdrValueItem values{1, wanted, nullptr};
    ASSERT_EQ(CsProcessHits(&handle_, &values, &Calls::Items, &Calls::Answer), CS_OK);
    EXPECT_EQ(calls_.answers, 2);
    ASSERT_EQ(calls_.kept.size(), 1u);
    CsXdrValueItem* kept = calls_.kept[0];
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->number, 1);
    EXPECT_STREQ(kept->text, "ACME");
    ASSERT_NE(kept->next, nullptr);
    EXPECT_STREQ(kept->next->text, "1");
    CsFreeReplyEntry(CS_REQ_PROCESS_HITS, kept);
    const std::string searched = Last("process_hits");
    EXPECT_EQ(Value(searched, "search"), "[[1, \"ACME\"]]");
    EXPECT_EQ(Value(searched, "endWord"), "3");
}

// ---------------------------------------------------------------- routed

int Count(const qel_peer::PeerProcess& peer, const char* kind) {
    return static_cast<int>(peer.Events(kind).size());
}

using RoutedObjects = routedtest::RoutedPeers;

TEST_F(RoutedObjects, RequestsGoToTheServerOfTheNodes) {
    CsStorageNode* home = &set_->nodes[0];
    CsStorageNode* far1 = &set_->nodes[1];
    CsStorageNode* far2 = &set_->nodes[2];
    struct Case {
        const char* name;
        CsStorageNode* primary;
        CsStorageNode* secondary;
        int onFirst, onSecond;
    };
    const Case cases[] = {
        {"the primary on the logon server", home, far1, 1, 0},
        {"the primary elsewhere", far1, far2, 0, 1},
        {"only a secondary, elsewhere", nullptr, far2, 0, 1},
        {"no nodes: the caller", nullptr, nullptr, 1, 0},
    };
    Row row("ACME", "DOC1");
    for (const Case& c : cases) {
        const int firstBefore = Count(first_, "segment_data") + Count(first_, "doc_object");
        const int secondBefore = Count(second_, "segment_data") + Count(second_, "doc_object");
        Calls calls;
        uint8_t places = SM_LOC_PRIMARY;
        ASSERT_EQ(CsRetrieveSegmentRouted(&handle_, group_, c.primary, c.secondary, &places, row.object(), 0,
                                          0, &Calls::Segment, &calls),
                  CS_OK)
            << c.name;
        EXPECT_EQ(calls.data, "routed document\n") << c.name;
        uint8_t answer = 0;
        ASSERT_EQ(CsQueryDocObjectRouted(&handle_, group_, c.primary, c.secondary, SM_LOC_PRIMARY, row.hit(),
                                         "", 0, 0, &answer, nullptr),
                  CS_OK)
            << c.name;
        EXPECT_EQ(answer, 2) << c.name;
        EXPECT_EQ(Count(first_, "segment_data") + Count(first_, "doc_object") - firstBefore, 2 * c.onFirst)
            << c.name;
        EXPECT_EQ(Count(second_, "segment_data") + Count(second_, "doc_object") - secondBefore,
                  2 * c.onSecond)
            << c.name;
    }
}

}  // namespace
