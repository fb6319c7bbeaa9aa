// The bound of what decoding one message may make: every allocation the decoded record
// keeps is counted in the stream, to the byte, against its decodeLimit, and value lists
// stop at CS_XDR_LIST_ITEMS_MAX items. A compressed message of millions of list items
// (zlib expands about 1000:1) must stop at the bound instead of taking gigabytes.
#include "wire_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

using namespace wire_test;

namespace {

constexpr uint32_t kReplyFeatures = 0x1F;
constexpr uint32_t kHandleFlags1 = 0x50100000;  // status word, texts, level 2114
constexpr uint32_t kHandleFlags2 = 0x145;       // LONG64 and the session block

// One record kind: `fill` puts `list` where the record carries the value list under
// test (records without one ignore it).
struct Case {
    const char* name;
    bool request;
    uint32_t code;
    std::function<void(Sample&, CsXdrValueItem* list, CsRequestBody&, CsReplyBody&)> fill;
};

Sample& Shared() {
    static Sample sample;
    return sample;
}

// The group that types every hit row of these records.
const CsXdrApplGroup* SharedGroup() {
    static const CsXdrApplGroup* group = Shared().Group();
    return group;
}

std::vector<Case> Cases() {
    return {
        {"reply 3: logon", false, 3,
         [](Sample& s, CsXdrValueItem*, CsRequestBody&, CsReplyBody& b) {
             b.logon.user = *s.User();
             b.logon.logon = s.Logon();
             b.logon.parms = s.Parms();
         }},
        {"reply 20: folder", false, 20,
         [](Sample& s, CsXdrValueItem*, CsRequestBody&, CsReplyBody& b) { b.folder.folder = s.Folder(); }},
        {"reply 53: storage set", false, 53,
         [](Sample& s, CsXdrValueItem*, CsRequestBody&, CsReplyBody& b) {
             b.storageSet.set = s.StorageSet();
         }},
        {"reply 101: data piece of 100000 bytes", false, 101,
         [](Sample& s, CsXdrValueItem*, CsRequestBody&, CsReplyBody& b) {
             b.data.piece = s.Piece('O', std::string(100000, 'x'));
         }},
        {"reply 69: note", false, 69,
         [](Sample& s, CsXdrValueItem*, CsRequestBody&, CsReplyBody& b) { b.note.note = s.Note(); }},
        {"reply 112: hit row", false, 112,
         [](Sample& s, CsXdrValueItem*, CsRequestBody&, CsReplyBody& b) { b.hit.hit = s.Hit(); }},
        {"reply 104: value list", false, 104,
         [](Sample&, CsXdrValueItem* list, CsRequestBody&, CsReplyBody& b) { b.values.items = list; }},
        {"request 20: folder names", true, 20,
         [](Sample& s, CsXdrValueItem*, CsRequestBody& b, CsReplyBody&) {
             b.folderGroups.folderNumber = 7;
             b.folderGroups.nameCount = 3;
             b.folderGroups.names = s.Entries(3);
         }},
        {"request 100: note filter", true, 100,
         [](Sample& s, CsXdrValueItem* list, CsRequestBody& b, CsReplyBody&) {
             b.search.group = s.Group();
             b.search.where = s.Text("account = 17");
             b.search.range = s.Criteria('I');
             b.search.noteFilter = list;
             b.search.noteLetter = 'Y';
         }},
        {"request 112: text search", true, 112,
         [](Sample& s, CsXdrValueItem* list, CsRequestBody& b, CsReplyBody&) {
             b.search.group = s.Group();
             b.search.range = s.Criteria('D');
             b.search.noteFilter = s.List(1);
             b.search.textSearch = list;
         }},
        {"request 103: rows", true, 103,
         [](Sample& s, CsXdrValueItem* list, CsRequestBody& b, CsReplyBody&) {
             b.addIndexRow.group = s.Group();
             b.addIndexRow.block = s.Hit();
             b.addIndexRow.rows = list;
             b.addIndexRow.result = s.IndexResult();
             b.addIndexRow.segment = s.Segment();
         }},
        {"request 104: closing message", true, 104,
         [](Sample&, CsXdrValueItem* list, CsRequestBody& b, CsReplyBody&) {
             b.hitItems.more = 0;
             b.hitItems.endWord = 3;
             b.hitItems.values = list;
         }},
    };
}

const Case& Named(const std::string& name) {
    static const std::vector<Case> cases = Cases();
    for (const Case& c : cases)
        if (name == c.name) return c;
    throw std::runtime_error("no case " + name);
}

Bytes Encode(const Case& c, Sample& s, CsXdrValueItem* list) {
    QelXdrBuffer out(QELXDR_ENCODE);
    OpenCodePages(out.Xdr());
    out.Xdr()->group = SharedGroup();
    bool ok = false;
    if (c.request) {
        CsRequestRecord r{};
        r.handle = s.Handle(kHandleFlags1, kHandleFlags2);
        r.code = c.code;
        r.text = s.Text("request text");
        CsReplyBody unused{};
        c.fill(s, list, r.body, unused);
        ok = CsXdrRequest(out.Xdr(), &r);
    } else {
        out.Xdr()->features = kReplyFeatures;
        CsReplyRecord r{};
        r.group = SharedGroup();
        r.code = c.code;
        r.text = s.Text("reply text");
        Set(r.message, "message");
        CsRequestBody unused{};
        c.fill(s, list, unused, r.body);
        ok = CsXdrResponse(out.Xdr(), &r);
    }
    EXPECT_TRUE(ok) << c.name;
    return out.Bytes();
}

// Decodes one record of the case's kind from the stream and frees it again.
bool Decode(const Case& c, QelXdr* xdr) {
    xdr->group = SharedGroup();
    if (c.request) {
        CsRequestRecord r{};
        const bool ok = CsXdrRequest(xdr, &r);
        CsFreeRequestRecord(&r);
        return ok;
    }
    xdr->features = kReplyFeatures;
    CsReplyRecord r{};
    r.group = SharedGroup();
    const bool ok = CsXdrResponse(xdr, &r);
    CsFreeReplyRecord(&r);
    return ok;
}

// What a record needs is exactly what it is allowed: at that limit it decodes, one
// byte below it fails at its last allocation, having counted no more than the limit.
TEST(DecodeLimit, EveryAllocationCountsAgainstTheLimitToTheByte) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        Sample s;
        const Bytes bytes = Encode(c, s, s.List(3));
        uint64_t needed = 0;
        {
            QelXdrBuffer in(QELXDR_DECODE, bytes);
            OpenCodePages(in.Xdr());
            ASSERT_TRUE(Decode(c, in.Xdr()));
            EXPECT_EQ(in.Remaining(), 0u);
            EXPECT_EQ(in.Xdr()->overLimit, 0);
            needed = in.Xdr()->allocated;
        }
        ASSERT_GT(needed, 0u);
        const struct {
            uint64_t limit;
            bool ok;
        } limits[] = {{needed, true}, {needed - 1, false}, {needed / 2, false}};
        for (const auto& l : limits) {
            QelXdrBuffer in(QELXDR_DECODE, bytes);
            OpenCodePages(in.Xdr());
            in.Xdr()->decodeLimit = l.limit;
            EXPECT_EQ(Decode(c, in.Xdr()), l.ok) << "limit " << l.limit;
            EXPECT_EQ(in.Xdr()->overLimit, l.ok ? 0 : 1) << "limit " << l.limit;
            EXPECT_LE(in.Xdr()->allocated, l.limit);
            // The next message counts from nothing; the limit stays.
            in.Reset(QELXDR_DECODE, bytes);
            EXPECT_EQ(in.Xdr()->allocated, 0u);
            EXPECT_EQ(in.Xdr()->overLimit, 0);
            EXPECT_EQ(in.Xdr()->decodeLimit, l.limit);
        }
    }
}

// Millions of list items compressed into a small message, through the stream as a
// peer or the gateway reads it: decoding fails with overLimit long before the message
// ends, having counted no more than the bound.
TEST(DecodeLimit, CompressedListBombsStopAtTheBound) {
    const std::string longText(255, 'A');
    const struct Bomb {
        const char* record;
        const char* text;  // of every item
        size_t items;
        uint64_t limit;  // 0: the default
        bool byItems;    // stopped by the item count, else by the bytes
    } bombs[] = {
        {"reply 104: value list", nullptr, 4000000, 0, true},
        {"reply 104: value list", longText.c_str(), 50000, 4u << 20, false},
        {"request 100: note filter", nullptr, 4000000, 0, true},
        {"request 112: text search", nullptr, 4000000, 0, true},
        {"request 103: rows", nullptr, 4000000, 0, true},
        {"request 104: closing message", nullptr, 4000000, 0, true},
        {"request 103: rows", longText.c_str(), 50000, 4u << 20, false},
    };
    for (const Bomb& b : bombs) {
        const Case& c = Named(b.record);
        SCOPED_TRACE(std::string(c.name) + (b.byItems ? ", empty items" : ", long texts"));
        Sample s;
        CsXdrValueItem marked{};
        marked.number = kMarkedItem;
        const Bytes record = Encode(c, s, &marked);
        const Bytes unit = ListItem(7, b.text);
        const Bytes markedBytes = ListItem(kMarkedItem, nullptr);
        const auto head = static_cast<uint64_t>(
            std::search(record.begin(), record.end(), markedBytes.begin(), markedBytes.end()) -
            record.begin());
        const Bytes frames = ListBomb(record, unit, b.items, 9);
        const uint64_t messageBytes = record.size() + uint64_t{b.items} * unit.size();
        EXPECT_LT(frames.size() * 100, messageBytes) << "the bomb is not small";

        StreamBox box;
        box.transport.Feed(frames);
        ASSERT_TRUE(CsStreamReadAnyMessage(box.stream));
        QelXdr* xdr = CsStreamXdr(box.stream);
        xdr->decodeLimit = b.limit;
        const uint64_t limit = b.limit != 0 ? b.limit : CS_XDR_DECODE_LIMIT;
        EXPECT_FALSE(Decode(c, xdr));
        EXPECT_EQ(xdr->overLimit, 1);
        EXPECT_LE(xdr->allocated, limit);
        EXPECT_LT(xdr->position * 3, messageBytes) << "read on long after the bound";
        if (b.byItems) {
            EXPECT_EQ(xdr->position, head + uint64_t{CS_XDR_LIST_ITEMS_MAX} * unit.size() + 4)
                << "stopped at the presence word of the item past the maximum";
        } else {
            EXPECT_GT(xdr->allocated + 1024, limit) << "stopped before the bound was reached";
        }
    }
}

}  // namespace
