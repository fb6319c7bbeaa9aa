// Requests that stream data to the server, against the scripted fake transport: the
// stores (96, 87) with their pieces, letters and go-aheads, the log message (91) that
// the message issuer sends, the hit items of 92, 93 and 104, and the group and node
// that 64 and 86 name. What the client sent is read back with the wire codec.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "arc_compress.h"
#include "arc_messages.h"
#include "arc_platform.h"
#include "dispatch_support.h"
#include "qel_cs.h"
#include "qel_cswire.h"
#include "wire_test_support.h"

namespace {

using namespace dispatch_test;
using wire_test::Bytes;

constexpr uint32_t kFlags1 = kLevel2207Flags1;

int Count(const std::vector<std::string>& log, const std::string& word) {
    int n = 0;
    for (const auto& line : log) n += line.rfind(word, 0) == 0;
    return n;
}

// The payload bytes of each message the client sent (its plain frames added up).
std::vector<size_t> MessageSizes(const FakeScript& script) {
    std::vector<size_t> sizes;
    uint32_t number = 0;
    for (const std::string& line : script.Log()) {
        std::istringstream words(line);
        std::string kind, moved, result, hex;
        size_t asked = 0;
        words >> kind >> asked >> moved >> result >> hex;
        if (kind != "send" || hex.size() < 16) continue;
        const uint32_t frameNumber = static_cast<uint32_t>(std::stoul(hex.substr(0, 8), nullptr, 16));
        if (sizes.empty() || frameNumber != number) sizes.push_back(0);
        number = frameNumber;
        sizes.back() += asked - 8;
    }
    return sizes;
}

// One request as the client sent it, decoded with the codec. `group` types the hit row
// of an item that names no group of its own.
struct Sent {
    CsRequestRecord record{};
    bool ok = false;
    ~Sent() { CsFreeRequestRecord(&record); }
};
std::unique_ptr<Sent> Decode(const Bytes& frame, const CsXdrApplGroup* group = nullptr) {
    auto sent = std::make_unique<Sent>();
    EXPECT_GE(frame.size(), 8u);
    if (frame.size() < 8 || frame[0] == 0xFF) return sent;  // plain frames only here
    QelXdrBuffer in(QELXDR_DECODE, std::span<const unsigned char>(frame).subspan(8));
    wire_test::OpenCodePages(in.Xdr());
    in.Xdr()->group = group;
    sent->ok = CsXdrRequest(in.Xdr(), &sent->record) && in.Remaining() == 0;
    return sent;
}

std::string GoAhead(uint32_t number, uint32_t flags1 = kFlags1) { return ResultHex(number, 1, 0, 0, flags1); }

// The script of a streamed request of `messages` messages with send window 2, then the
// final reply.
void StreamScript(FakeScript& script, uint32_t messages, const std::string& finalReply,
                  uint32_t flags1 = kFlags1) {
    for (uint32_t n = 1; n <= messages; ++n) {
        script.SendNumbered(n);
        if (n % 2 == 0 && n < messages) script.Reply(GoAhead(n, flags1));
    }
    script.Reply(finalReply);
}

// A source handing out the pieces of g_pieces one per call.
std::vector<std::string> g_pieces;
size_t g_next = 0;
int g_failAt = -1;
int Pieces(void*, const char** data, uint32_t* length) {
    if (static_cast<int>(g_next) == g_failAt) return 5;
    const std::string& piece = g_pieces[g_next];
    *data = piece.data();
    *length = static_cast<uint32_t>(piece.size());
    return ++g_next < g_pieces.size() ? 1 : 0;
}

std::string Expand(char letter, const std::string& data) {
    if (letter != 'L') return data;
    ArcCmpPipeline* pipe = nullptr;
    EXPECT_EQ(ArcCMP_Begin('L', 'N', 0, 0, nullptr, &pipe), 0);
    std::string out;
    std::vector<unsigned char> buffer(65536);
    const auto* input = reinterpret_cast<const unsigned char*>(data.data());
    size_t length = data.size();
    for (int state = 0; state != ARCCMP_FINISHED;) {
        size_t produced = 0;
        state = ArcCMP_Run(pipe, input, length, buffer.data(), buffer.size(), &produced);
        out.append(reinterpret_cast<const char*>(buffer.data()), produced);
        if (state == ARCCMP_NEED_INPUT)
            length = 0;
        else if (state != ARCCMP_OUTPUT_READY && state != ARCCMP_FINISHED)
            break;
    }
    ArcCMP_End(pipe);
    return out;
}

class Streams : public ::testing::Test {
protected:
    void SetUp() override {
        MakeRemoteHandle(&handle_);
        g_pieces.clear();
        g_next = 0;
        g_failAt = -1;
    }
    CsHandle handle_{};
    FakeScript script_;
    wire_test::Sample sample_;
};

int Store96(CsHandle* handle, wire_test::Sample& s, CsXdrObjectRef* object, CsSourceFn source,
            CsXdrObjectRef* out) {
    return CsServerRequest(handle, 96, s.Group(), s.Hit(), s.Node(1), s.Node(2), object, int64_t{-9}, 1, 2,
                           77u, source, out);
}

TEST_F(Streams, StoreSendsItsPiecesWithTheLetterTheyTravelIn) {
    const std::string text = [] {
        std::string t;
        // Small enough that every message shows whole in the fake's log.
        for (int i = 0; i < 120; ++i) t += "line " + std::to_string(i % 7) + " of a statement\n";
        return t;
    }();
    struct Case {
        const char* name;
        char letter;
        std::vector<std::string> pieces;
        char sentLetter;
        uint32_t messages;  // first, data messages, closing
    } cases[] = {
        {"uncompressed text worth compressing",
         'N',
         {text.substr(0, 1000), text.substr(1000, 1000), text.substr(2000)},
         'L',
         3},
        {"below the threshold stays plain", 'N', {std::string(150, 'x')}, 'N', 3},
        {"a first piece below the threshold decides", 'N', {std::string(100, 'a'), text}, 'N', 4},
        {"already compressed data passes through", 'O', {"zlib bytes", "", "more"}, 'O', 4},
        {"an empty object", 'N', {""}, 'N', 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        g_pieces = c.pieces;
        g_next = 0;
        CsReplyRecord reply{};
        reply.code = 96;
        reply.body.object.object = *sample_.Object();
        reply.body.object.object.offset = 4096;
        FakeScript script;
        StreamScript(script, c.messages, ReplyHex(c.messages, reply));
        script.Install();
        CsHandle handle{};
        MakeRemoteHandle(&handle);
        CsXdrObjectRef object = *sample_.Object();
        object.compression = c.letter;
        CsXdrObjectRef out{};
        ASSERT_EQ(Store96(&handle, sample_, &object, Pieces, &out), CS_OK);
        EXPECT_EQ(object.compression, c.sentLetter) << "the caller learns how the object is stored";
        EXPECT_EQ(out.offset, 4096u);
        EXPECT_STREQ(out.name, "5FAAA/1/OBJ$17");
        std::free(out.name);

        auto sends = script.Sends();
        ASSERT_EQ(sends.size(), c.messages);
        auto first = Decode(sends[0], sample_.Group());
        ASSERT_TRUE(first->ok);
        EXPECT_EQ(first->record.sendWindow, 2u);
        EXPECT_EQ(first->record.body.store.first, 1u);
        EXPECT_EQ(first->record.body.store.object->compression, c.sentLetter);
        EXPECT_EQ(first->record.body.store.word, 77u);
        std::string data;
        for (size_t i = 1; i < sends.size(); ++i) {
            auto message = Decode(sends[i]);
            ASSERT_TRUE(message->ok) << i;
            EXPECT_EQ(message->record.body.store.first, 0u);
            const CsReqStore& b = message->record.body.store;
            EXPECT_EQ(b.dataLength == 0, i + 1 == sends.size()) << "only the closing message is empty";
            data.append(b.data ? b.data : "", b.dataLength);
        }
        std::string joined;
        for (const auto& piece : c.pieces) joined += piece;
        EXPECT_EQ(Expand(c.sentLetter, data), joined);
    }
}

TEST_F(Streams, DataMessagesHoldAtMost32767Bytes) {
    g_pieces = {std::string(70000, 'z')};
    CsReplyRecord reply{};
    reply.code = 96;
    // A message of 32 KiB goes out in five plain frames of at most 8192 bytes.
    const int frames[] = {1, 5, 5, 1, 1};
    for (uint32_t n = 1; n <= 5; ++n) {
        for (int f = 0; f < frames[n - 1]; ++f) script_.SendNumbered(n);
        if (n == 2 || n == 4) script_.Reply(GoAhead(n));
    }
    script_.Reply(ReplyHex(5, reply));
    script_.Install();
    CsXdrObjectRef object{};
    object.compression = 'D';  // kept as delivered: cut, never compressed
    ASSERT_EQ(Store96(&handle_, sample_, &object, Pieces, nullptr), CS_OK);
    const auto sizes = MessageSizes(script_);
    ASSERT_EQ(sizes.size(), 5u);
    const size_t closing = sizes[4];  // a data message without bytes
    EXPECT_EQ(sizes[1], closing + 32768);
    EXPECT_EQ(sizes[2], closing + 32768);
    EXPECT_EQ(sizes[3], closing + 4468);  // 70000 - 2 * 32767 = 4466, padded
}

TEST_F(Streams, StoreWithoutSourceSendsTheClosingMessageAtOnce) {
    CsReplyRecord reply{};
    reply.code = 54;
    script_.SendNumbered(1).SendNumbered(2).Reply(ReplyHex(2, reply));
    script_.Install();
    EXPECT_EQ(CsServerRequest(&handle_, 54, sample_.Group(), sample_.BareHit(), sample_.Node(1),
                              sample_.Node(2), static_cast<CsXdrObjectRef*>(nullptr), int64_t{0}, 0, 0, 0u,
                              static_cast<CsSourceFn>(nullptr), static_cast<CsXdrObjectRef*>(nullptr)),
              CS_OK);
    auto sends = script_.Sends();
    ASSERT_EQ(sends.size(), 2u);
    auto closing = Decode(sends[1]);
    ASSERT_TRUE(closing->ok);
    EXPECT_EQ(closing->record.body.store.dataLength, 0u);
}

TEST_F(Streams, RefusedGoAheadOrFailingSourceEndsTheRequest) {
    struct Case {
        const char* name;
        std::string answer;  // the server's answer after the second message
        int failAt;          // the source call that fails, -1 none
        int expected;
        int sends;
        bool dropped;
    } cases[] = {
        {"server refuses the data", ResultHex(2, 96, 13), -1, CS_FAILED, 2, true},
        {"go-ahead with a failure result", ResultHex(2, 1, 6), -1, CS_FAILED, 2, true},
        {"first piece fails: nothing sent", "", 0, CS_FAILED, 0, false},
        {"a later piece fails", GoAhead(2), 1, CS_FAILED, 2, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        g_pieces = {"0123456789", "abcdefghij", "klmnopqrst"};
        g_next = 0;
        g_failAt = c.failAt;  // piece 1 is fetched for the third message
        FakeScript script;
        script.SendNumbered(1).SendNumbered(2);
        if (!c.answer.empty()) script.Reply(c.answer);
        script.Line("hang");
        script.Install();
        CsHandle handle{};
        MakeRemoteHandle(&handle);
        CsXdrObjectRef object{};
        object.compression = 'D';
        EXPECT_EQ(Store96(&handle, sample_, &object, Pieces, nullptr), c.expected);
        EXPECT_EQ(Count(script.Log(), "send"), c.sends);
        EXPECT_EQ(CsIsConnected(&handle), !c.dropped);
    }
}

TEST_F(Streams, InterruptWhileStreamingRunsTheCancelExchangeAtTheGoAhead) {
    // The source interrupts its own request when asked for its second piece (for the
    // third message); the poll after the next go-ahead sees it.
    static int calls;
    calls = 0;
    auto interrupting = [](void* context, const char** data, uint32_t* length) -> int {
        if (++calls == 2) CsInterrupt(static_cast<CsHandle*>(context));
        *data = "0123456789";
        *length = 10;
        return 1;
    };
    script_.SendNumbered(1)
        .SendNumbered(2)
        .Reply(GoAhead(2))
        .SendNumbered(3)
        .SendNumbered(4)
        .Reply(GoAhead(4));
    script_.SendNumbered(5).Reply(ResultHex(5, 2, 1));  // the cancel and its answer
    script_.Install();
    handle_.callbackContext = &handle_;
    CsXdrObjectRef object{};
    object.compression = 'D';
    EXPECT_EQ(Store96(&handle_, sample_, &object, static_cast<CsSourceFn>(interrupting), nullptr),
              CS_CANCELLED);
    auto sends = script_.Sends();
    ASSERT_EQ(sends.size(), 5u);
    auto cancel = Decode(sends[4]);
    ASSERT_TRUE(cancel->ok);
    EXPECT_EQ(cancel->record.code, 2u);
    EXPECT_TRUE(CsIsConnected(&handle_)) << "the exchange kept the stream in step";
}

TEST_F(Streams, StoringCodesAreNeverCompressedHitItemsAre) {
    // Level 2208 allows compression; a store still travels in plain frames.
    const uint32_t f1 = 0x50100000, f2 = 0x045;
    g_pieces = {std::string(1000, 'q')};
    CsReplyRecord reply{};
    reply.code = 96;
    StreamScript(script_, 3, ReplyHex(3, reply, f1, f2), f1);
    script_.Install();
    MakeRemoteHandle(&handle_, f1, f2);
    CsXdrObjectRef object{};
    object.compression = 'D';
    ASSERT_EQ(Store96(&handle_, sample_, &object, Pieces, nullptr), CS_OK);
    for (const Bytes& frame : script_.Sends()) EXPECT_NE(frame[0], 0xFF) << "a store message was compressed";

    FakeScript items;
    items.SendAny().Reply(ResultHex(1, 92, 0, 0, f1));
    items.Install();
    CsHandle handle{};
    MakeRemoteHandle(&handle, f1, f2);
    auto none = [](void*, CsXdrApplGroup**, CsXdrApplEntry**, CsXdrHitRow**, uint32_t*) { return 0; };
    ASSERT_EQ(CsServerRequest(&handle, 92, static_cast<CsHitItemFn>(none), 0), CS_OK);
    auto sends = items.Sends();
    ASSERT_EQ(sends.size(), 1u);
    EXPECT_EQ(sends[0][0], 0xFF) << "hit items may be compressed";
}

TEST_F(Streams, StoreObjectSendsTheNameAndTheLetter) {
    g_pieces = {std::string(500, 'r')};
    CsReplyRecord reply{};
    reply.code = 87;
    reply.body.word.value = 31;
    StreamScript(script_, 3, ReplyHex(3, reply));
    script_.Install();
    CsXdrObjectRef object{};
    object.compression = 'N';
    object.name = sample_.Text("7FAAA");
    uint32_t word = 0;
    ASSERT_EQ(CsServerRequest(&handle_, 87, sample_.Group(), sample_.Node(1), sample_.Node(2), 15, &object, 1,
                              int64_t{123456}, static_cast<CsSourceFn>(Pieces), &word),
              CS_OK);
    EXPECT_EQ(word, 31u);
    auto first = Decode(script_.Sends()[0]);
    ASSERT_TRUE(first->ok);
    const CsReqStoreObject& b = first->record.body.storeObject;
    EXPECT_STREQ(b.objectName, "7FAAA");
    EXPECT_EQ(b.location, 15);
    EXPECT_EQ(b.flag1, 'L');
    EXPECT_EQ(b.flag2, 1);
    EXPECT_EQ(b.value, 123456);
    auto data = Decode(script_.Sends()[1]);
    ASSERT_TRUE(data->ok);
    EXPECT_EQ(Expand('L', std::string(data->record.body.storeObject.data,
                                      data->record.body.storeObject.dataLength)),
              g_pieces[0]);
}

TEST_F(Streams, IssuedMessagesReachTheServersLog) {
    CsSetLayerHooks({});        // the dispatcher's own road
    constexpr int kLogin = 12;  // System Log only
    ArcMsgRow row;
    ASSERT_EQ(ArcMSGS_GetText(kLogin, &row), 0);
    StreamScript(script_, 3, ResultHex(3, 91, 0));
    script_.Install();
    handle_.def.flags1 |= CS_F1_MESSAGES;
    CsSetText(handle_.serverMessage, sizeof handle_.serverMessage, "the server's last word");
    EXPECT_EQ(CsIssueMessageV(&handle_, kLogin, 'S', "JDOE", 'V'), CS_OK);
    EXPECT_STREQ(handle_.serverMessage, "the server's last word");
    auto sends = script_.Sends();
    ASSERT_EQ(sends.size(), 3u);
    auto first = Decode(sends[0]);
    ASSERT_TRUE(first->ok);
    EXPECT_EQ(first->record.code, 91u);
    EXPECT_EQ(first->record.body.logMessage.messageNumber, row.number);
    EXPECT_EQ(first->record.body.logMessage.byte, 'N');
    auto data = Decode(sends[1]);
    ASSERT_TRUE(data->ok);
    const std::string text(data->record.body.logMessage.data, data->record.body.logMessage.dataLength);
    EXPECT_NE(text.find("JDOE"), std::string::npos) << text;
}

// Hit items: groups named once, the items' words, the closing message.
struct Item {
    CsXdrApplGroup* group;
    CsXdrApplEntry* appl;
    CsXdrHitRow* hit;
    uint32_t word;
};
std::vector<Item> g_items;
size_t g_item = 0;
int NextItem(void*, CsXdrApplGroup** group, CsXdrApplEntry** appl, CsXdrHitRow** hit, uint32_t* word) {
    EXPECT_EQ(*group, nullptr) << "out-values are cleared before each call";
    if (g_item == static_cast<size_t>(g_failAt)) return 1;
    if (g_item < g_items.size()) {
        *group = g_items[g_item].group;
        *appl = g_items[g_item].appl;
        *hit = g_items[g_item].hit;
        *word = g_items[g_item].word;
    }
    ++g_item;
    return 0;
}

TEST_F(Streams, HitItemsNameEachGroupOnce) {
    CsXdrApplGroup* a = sample_.Group();
    CsXdrApplGroup* again = sample_.Group();  // another record of the same group
    CsXdrApplGroup* b = sample_.Group();
    b->number = 99;
    g_items = {{a, nullptr, sample_.Hit(), 10},
               {again, nullptr, sample_.Hit(), 20},
               {nullptr, nullptr, sample_.Hit(), 30},
               {b, nullptr, sample_.Hit(), 40}};
    g_item = 0;
    script_.SendNumbered(1).SendNumbered(2).SendNumbered(3).SendNumbered(4).SendNumbered(5).Reply(
        ResultHex(5, 97, 0));
    script_.Install();
    ASSERT_EQ(CsServerRequest(&handle_, 97, static_cast<CsHitItemFn>(NextItem), 7), CS_OK);
    auto sends = script_.Sends();
    ASSERT_EQ(sends.size(), 5u);
    struct Expect {
        bool groupSent;
        uint32_t number;
    } expect[] = {{true, 4711}, {false, 4711}, {false, 4711}, {true, 99}};
    for (size_t i = 0; i < 4; ++i) {
        auto item = Decode(sends[i], a);  // an item without a group is typed by the one before
        ASSERT_TRUE(item->ok) << i;
        const CsReqHitItems& h = item->record.body.hitItems;
        EXPECT_EQ(h.more, 1u) << i;
        EXPECT_EQ(h.word, i + 1) << i;
        EXPECT_EQ(h.word2, g_items[i].word) << i;
        EXPECT_EQ(h.group != nullptr, expect[i].groupSent) << i;
        if (h.group) {
            EXPECT_EQ(h.group->number, expect[i].number) << i;
        }
        ASSERT_NE(h.hit, nullptr) << i;
        EXPECT_EQ(h.hit->valueCount, 7) << i;
    }
    auto closing = Decode(sends[4]);
    ASSERT_TRUE(closing->ok);
    EXPECT_EQ(closing->record.body.hitItems.more, 0u);
    EXPECT_EQ(closing->record.body.hitItems.endWord, 4u);
    EXPECT_EQ(closing->record.body.hitItems.endByte, 7);
    EXPECT_EQ(closing->record.sendWindow, 50u);
}

TEST_F(Streams, HitItemSourceFailures) {
    struct Case {
        const char* name;
        bool firstHasGroup;
        int failAt;
        int sends;
    } cases[] = {
        {"first item without a group", false, -1, 0},
        {"source fails at once", true, 0, 0},
        {"source fails after an item", true, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        g_items = {{c.firstHasGroup ? sample_.Group() : nullptr, nullptr, sample_.BareHit(), 0},
                   {nullptr, nullptr, sample_.BareHit(), 0}};
        g_item = 0;
        g_failAt = c.failAt;
        FakeScript script;
        script.SendAny().Line("hang");
        script.Install();
        CsHandle handle{};
        MakeRemoteHandle(&handle);
        EXPECT_EQ(CsServerRequest(&handle, 92, static_cast<CsHitItemFn>(NextItem), 0), CS_FAILED);
        EXPECT_EQ(Count(script.Log(), "send"), c.sends);
        if (c.sends > 0) {
            EXPECT_FALSE(CsIsConnected(&handle)) << "the server waits for the rest";
        }
    }
}

std::vector<CsXdrValueItem*> g_kept;
int g_lists = 0;
int KeepFirstList(void*, void* entry) {
    ++g_lists;
    auto* list = static_cast<CsXdrValueItem*>(entry);
    EXPECT_STREQ(list->text, "match");
    if (!g_kept.empty()) return 1;
    g_kept.push_back(list);
    return 0;
}

TEST_F(Streams, ProcessHitsHandsEveryAnswerToTheCallback) {
    g_items = {{sample_.Group(), sample_.Appl(), sample_.Hit(), 1}};
    g_item = 0;
    CsXdrValueItem item{};
    item.number = 3;
    item.text = sample_.Text("match");
    auto answer = [&](uint32_t number, CsXdrValueItem* list) {
        CsReplyRecord reply{};
        reply.code = 104;
        reply.body.values.items = list;
        return ReplyHex(number, reply);
    };
    // 100 answers, the acknowledgement, one more and the end.
    script_.SendNumbered(1).SendNumbered(2).Line("reply-repeat 100 " + answer(2, &item));
    script_.SendNumbered(3).Reply(answer(3, &item)).Reply(answer(3, nullptr));
    script_.Install();
    g_kept.clear();
    g_lists = 0;
    ASSERT_EQ(CsServerRequest(&handle_, 104, static_cast<CsHitItemFn>(NextItem), sample_.List(2),
                              static_cast<CsEntryFn>(KeepFirstList)),
              CS_OK);
    EXPECT_EQ(g_lists, 101);
    ASSERT_EQ(g_kept.size(), 1u);
    EXPECT_EQ(g_kept[0]->number, 3);
    CsFreeReplyEntry(104, g_kept[0]);
    auto sends = script_.Sends();
    auto first = Decode(sends[0]);
    ASSERT_TRUE(first->ok);
    ASSERT_NE(first->record.body.hitItems.appl, nullptr);
    EXPECT_STREQ(first->record.body.hitItems.appl->name, sample_.Appl()->name);
    auto closing = Decode(sends[1]);
    ASSERT_TRUE(closing->ok);
    ASSERT_NE(closing->record.body.hitItems.values, nullptr);
    EXPECT_EQ(closing->record.replyWindow, 100u);
}

int g_answers = 0;
int CountAnswers(void*, void*) {
    ++g_answers;
    return 1;
}

// What one reply may make is bounded: millions of list items compressed into a few
// kilobytes, or a reply past the bound its definition sets, fail the request with 6
// and drop the connection (the rest of the message is unread); the next request
// connects again.
TEST_F(Streams, ReplyPastItsBoundFailsAndDropsTheConnection) {
    struct Case {
        const char* name;
        const char* text;  // of every item
        size_t items;
        uint64_t replyLimit;  // the definition's; 0: the default
        int expected;
    } cases[] = {
        {"four million empty items", nullptr, 4000000, 0, CS_FAILED},
        {"20000 items past a bound of 1 MiB", "match", 20000, 1024 * 1024, CS_FAILED},
        {"control: the same within the default bound", "match", 20000, 0, CS_OK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        g_items = {{sample_.Group(), sample_.Appl(), sample_.Hit(), 1}};
        g_item = 0;
        g_answers = 0;
        CsXdrValueItem marked{};
        marked.number = wire_test::kMarkedItem;
        CsReplyRecord reply{};
        reply.code = 104;
        reply.body.values.items = &marked;
        QelXdrBuffer record(QELXDR_ENCODE);
        wire_test::OpenCodePages(record.Xdr());
        record.Xdr()->features = CsXdrFeatures(kFlags1, 0);
        ASSERT_TRUE(CsXdrResponse(record.Xdr(), &reply));
        const Bytes frames = wire_test::ListBomb(record.Bytes(), wire_test::ListItem(3, c.text), c.items, 2);
        const std::string file =
            ::testing::TempDir() + "reply-bomb-" + std::to_string(ArcOS_GetProcessId()) + ".bin";
        ASSERT_EQ(
            ArcOS_WriteFileAtomic(
                file.c_str(), std::string_view(reinterpret_cast<const char*>(frames.data()), frames.size())),
            0);

        FakeScript script;
        script.SendNumbered(1).SendNumbered(2).Line("reply-file " + file);
        if (c.expected == CS_OK) {
            reply.body.values.items = nullptr;
            script.Reply(ReplyHex(2, reply));
        } else {
            script.Connection().SendAny().Reply(ResultHex(1, 4, 0));
        }
        script.Install();
        CsHandle handle{};
        MakeRemoteHandle(&handle);
        handle.def.replyLimit = c.replyLimit;
        EXPECT_EQ(CsServerRequest(&handle, 104, static_cast<CsHitItemFn>(NextItem), sample_.List(2),
                                  static_cast<CsEntryFn>(CountAnswers)),
                  c.expected);
        if (c.expected == CS_OK) {
            EXPECT_EQ(g_answers, 1);
            EXPECT_TRUE(CsIsConnected(&handle));
        } else {
            EXPECT_EQ(g_answers, 0);
            EXPECT_FALSE(CsIsConnected(&handle));
            EXPECT_EQ(CsServerRequest(&handle, 4), CS_OK);
            EXPECT_EQ(Count(script.Log(), "connect 0"), 2);
        }
        ArcOS_Unlink(file.c_str());  // the fake reads its script again at every connect
    }
}

TEST_F(Streams, ServerPrintSendsThePrintRequestThenTheItems) {
    g_items = {{sample_.Group(), nullptr, sample_.Hit(), 5}};
    g_item = 0;
    // Three messages, well inside the window of 50: no go-ahead is awaited.
    script_.SendNumbered(1).SendNumbered(2).SendNumbered(3).Reply(ResultHex(3, 93, 0));
    script_.Install();
    ASSERT_EQ(CsServerRequest(&handle_, 93, sample_.Print(), "COPIES=2", 1, sample_.Entries(1),
                              static_cast<CsHitItemFn>(NextItem), 0),
              CS_OK);
    auto sends = script_.Sends();
    ASSERT_EQ(sends.size(), 3u);
    auto head = Decode(sends[0]);
    ASSERT_TRUE(head->ok);
    EXPECT_EQ(head->record.body.serverPrint.first, 1u);
    EXPECT_STREQ(head->record.body.serverPrint.text, "COPIES=2");
    auto item = Decode(sends[1]);
    ASSERT_TRUE(item->ok);
    EXPECT_EQ(item->record.body.serverPrint.first, 0u);
    EXPECT_EQ(item->record.body.serverPrint.items.more, 1u);
    EXPECT_EQ(item->record.body.serverPrint.items.word2, 5u);
    auto closing = Decode(sends[2]);
    ASSERT_TRUE(closing->ok);
    EXPECT_EQ(closing->record.body.serverPrint.items.more, 0u);
}

TEST_F(Streams, StorageNodesAndLoadInformationNameTheirGroup) {
    CsXdrNodeInfo info{};
    info.groupNumber = 4711;
    info.primaryNode = 3;
    info.compression = 'O';
    CsReplyRecord nodes{};
    nodes.code = 64;
    nodes.body.nodeInfo.info = &info;
    CsReplyRecord load{};
    load.code = 86;
    load.body.text.text = sample_.Text("LOAD 2024-77");
    script_.SendNumbered(1).Reply(ReplyHex(1, nodes));
    script_.SendNumbered(2).Reply(ReplyHex(2, load));
    script_.SendNumbered(3).Reply(ReplyHex(3, load));
    script_.Install();

    CsXdrNodeInfo* out = nullptr;
    ASSERT_EQ(CsServerRequest(&handle_, 64, 4711u, 3, &out), CS_OK);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->compression, 'O');
    CsFreeReplyEntry(64, out);
    char text[32] = {};
    EXPECT_EQ(CsServerRequest(&handle_, 86, 4712u, text, sizeof text), CS_OK);
    EXPECT_STREQ(text, "LOAD 2024-77");
    char small[8] = {};
    EXPECT_EQ(CsServerRequest(&handle_, 86, 4712u, small, sizeof small), CS_FAILED) << "never cut";

    auto sends = script_.Sends();
    ASSERT_EQ(sends.size(), 3u);
    auto nodesSent = Decode(sends[0]);
    ASSERT_TRUE(nodesSent->ok);
    EXPECT_EQ(nodesSent->record.body.storageNodes.groupNumber, 4711u);
    EXPECT_EQ(nodesSent->record.body.storageNodes.nodeNumber, 3);
    auto loadSent = Decode(sends[1]);
    ASSERT_TRUE(loadSent->ok);
    EXPECT_EQ(loadSent->record.body.loadInfo.groupNumber, 4712u);
}

}  // namespace
