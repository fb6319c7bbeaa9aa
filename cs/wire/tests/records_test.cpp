// Every request and reply body: encodes, decodes back to a record that encodes to the
// same bytes, frees cleanly, and reads with the independent reader of docs/wire.md
// (wire_reader.py) to its last byte.
#include "wire_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using namespace wire_test;

namespace {

constexpr uint32_t kAllFeatures = 0x1F;
constexpr char kGroupTypes[] = "BDINSTX";  // the field types of Sample::Group()

struct Mode {
    const char* name;
    bool handle;
    uint32_t flags1;
    uint32_t flags2;
    uint32_t features;  // in force on the stream before the record
};

const Mode kModes[] = {
    {"handle at the newest level", true, 0x50100000, 0x145, 0},
    {"handle at the oldest level", true, 0, 0, 0},
    {"no handle, every feature", false, 0, 0, kAllFeatures},
};

uint32_t FeaturesOf(const Mode& m) { return m.handle ? CsXdrFeatures(m.flags1, m.flags2) : m.features; }

void ExpectLines(const std::vector<std::string>& lines, const std::vector<std::string>& expected,
                 const std::string& what) {
    for (const std::string& e : expected)
        EXPECT_NE(std::find(lines.begin(), lines.end(), e), lines.end()) << what << ": reader lacks " << e;
}

// A record for the independent reader and the lines its reading must hold.
struct Reading {
    std::string what;
    const char* kind;  // "request" or "reply"
    uint32_t features;
    Bytes bytes;
    std::vector<std::string> expect;
};

// Reads every record with one reader process (one process per record costs minutes):
// each must be read to its last byte and show the expected lines.
void ExpectReaderReadsAll(const std::vector<Reading>& readings) {
    std::string input;
    for (const Reading& r : readings)
        input += std::string(r.kind) + " " + std::to_string(r.features) + " " + Hex(r.bytes) + "\n";
    const std::vector<std::string> out =
        PythonLines(WIRE_TESTS_DIR "/wire_reader.py", {"each", "{}", kGroupTypes},
                    std::span(reinterpret_cast<const unsigned char*>(input.data()), input.size()));
    std::vector<std::vector<std::string>> lines;
    for (const std::string& line : out) {
        if (line == "RECORD " + std::to_string(lines.size()))
            lines.emplace_back();
        else if (!lines.empty())
            lines.back().push_back(line);
    }
    ASSERT_EQ(lines.size(), readings.size()) << "the reader stopped early";
    for (size_t i = 0; i < readings.size(); ++i) {
        const Reading& r = readings[i];
        EXPECT_TRUE(!lines[i].empty() && lines[i].back() == "END 0")
            << r.what << ": " << (lines[i].empty() ? "" : lines[i].back());
        ExpectLines(lines[i], r.expect, r.what);
    }
}

struct RequestCase {
    const char* name;
    uint32_t code;
    std::function<void(CsRequestBody&, Sample&)> fill;
    std::vector<std::string> expect;
};

std::vector<RequestCase> RequestCases() {
    return {
        {"probe", 0, [](CsRequestBody& b, Sample&) { b.level.level = 2219; }, {"body.level=2219"}},
        {"acknowledgement", 1, nullptr, {"code=1"}},
        {"logoff", 4, nullptr, {}},
        {"connect", 109, nullptr, {}},
        {"logon, user and password hidden",
         3,
         [](CsRequestBody& b, Sample&) {
             Set(b.logon.userId, "JDOE");
             Set(b.logon.password, "Geheim1");
         },
         {"body.userId=JDOE", "body.password=Geheim1"}},
        {"user update",
         6,
         [](CsRequestBody& b, Sample& s) { b.user.user = s.User(); },
         {"body.user.userName=Jürgen Doe", "body.user.email=jdoe@example.net"}},
        {"user without record",
         7,
         [](CsRequestBody& b, Sample&) { b.user.user = nullptr; },
         {"body.user=<absent>"}},
        {"change password, both passwords hidden",
         8,
         [](CsRequestBody& b, Sample& s) {
             b.changePassword.user = s.User();
             Set(b.changePassword.user->password, "altesPW");
             Set(b.changePassword.newPassword, "neuesPW");
             b.changePassword.hasNewPassword = 1;
         },
         {"body.user.password=altesPW", "body.newPassword=neuesPW", "body.hasNewPassword=1"}},
        {"users and groups",
         13,
         [](CsRequestBody& b, Sample& s) {
             b.userList.name = s.Text("ADM*");
             b.userList.userFilter = s.Text("JDOE");
             b.userList.number = 7;
             b.userList.groupFilter = 4711;
         },
         {"body.name=ADM*", "body.groupFilter=4711"}},
        {"folder list",
         121,
         [](CsRequestBody& b, Sample& s) {
             b.folderList.pattern = s.Text("St%");
             b.folderList.selection1 = s.Text("1");
             b.folderList.selection2 = nullptr;
             b.folderList.flags = 3;
         },
         {"body.pattern=St%", "body.selection2=<null>", "body.flags=3"}},
        {"folder list, older level",
         19,
         [](CsRequestBody& b, Sample& s) { b.folderList.pattern = s.Text("*"); },
         {"body.pattern=*"}},
        {"folder groups",
         20,
         [](CsRequestBody& b, Sample& s) {
             b.folderGroups.folderNumber = 3;
             b.folderGroups.nameCount = 1;
             b.folderGroups.names = s.Entries(1);
         },
         {"body.names#=1", "body.names[0].text=entry 0"}},
        {"open storage set", 53, [](CsRequestBody& b, Sample&) { b.number.number = 12; }, {"body.number=12"}},
        {"storage nodes of a group",
         64,
         [](CsRequestBody& b, Sample&) {
             b.storageNodes.groupNumber = 4711;
             b.storageNodes.nodeNumber = 3;
         },
         {"body.groupNumber=4711", "body.nodeNumber=3"}},
        {"load information of a group",
         86,
         [](CsRequestBody& b, Sample&) { b.loadInfo.groupNumber = 4712; },
         {"body.groupNumber=4712"}},
        {"store document, first message",
         96,
         [](CsRequestBody& b, Sample& s) {
             b.store.first = 1;
             b.store.group = s.Group();
             b.store.block = s.Hit();
             b.store.primary = s.Node(3);
             b.store.secondary = s.Node(4);
             b.store.object = s.Object();
             b.store.value = -9;
             b.store.flag1 = 1;
             b.store.flag2 = 2;
             b.store.word = 77;
         },
         {"body.block.value4=Müller & Söhne", "body.block.value1=1234.5", "body.value=-9"}},
        {"store document, data message",
         96,
         [](CsRequestBody& b, Sample& s) {
             b.store.first = 0;
             b.store.data = s.Text("some data");
             b.store.dataLength = 9;
         },
         {"body.first=0", "body.data=736f6d652064617461"}},
        {"store object of an older kind",
         54,
         [](CsRequestBody& b, Sample& s) {
             b.store.first = 1;
             b.store.group = s.Group();
             b.store.block = s.BareHit();
         },
         {"body.primary.name="}},
        {"update index",
         56,
         [](CsRequestBody& b, Sample& s) {
             b.updateIndex.group = s.Group();
             b.updateIndex.oldHit = s.Hit();
             b.updateIndex.newHit = s.Hit();
             b.updateIndex.newHit->values[2].v.integer = 5;
         },
         {"body.oldHit.value2=-77", "body.newHit.value2=5"}},
        {"add index row",
         103,
         [](CsRequestBody& b, Sample& s) {
             b.addIndexRow.group = s.Group();
             b.addIndexRow.block = s.Hit();
             b.addIndexRow.rows = s.List(3);
             b.addIndexRow.result = s.IndexResult();
             b.addIndexRow.segment = s.Segment();
             b.addIndexRow.word = 5;
         },
         {"body.rows#=3", "body.segment.name=BSA17"}},
        {"add index row, older level",
         57,
         [](CsRequestBody& b, Sample& s) {
             b.addIndexRow.group = s.Group();
             b.addIndexRow.block = s.BareHit();
         },
         {"body.word=0"}},
        {"search with a date range",
         112,
         [](CsRequestBody& b, Sample& s) {
             b.search.group = s.Group();
             b.search.where = s.Text("account = 17 AND name LIKE 'M%'");
             b.search.range = s.Criteria('D');
             b.search.flags = 0x10;
             b.search.noteFilter = s.List(1);
             b.search.noteLetter = 'Y';
             b.search.textSearch = s.List(2);
         },
         {"body.range.date1=2024-12-31", "body.noteLetter=89", "body.textSearch#=2"}},
        {"search with a number range",
         100,
         [](CsRequestBody& b, Sample& s) {
             b.search.group = s.Group();
             b.search.range = s.Criteria('I');
         },
         {"body.range.value1=20", "body.noteFilter#=0"}},
        {"search with a text range, oldest",
         59,
         [](CsRequestBody& b, Sample& s) {
             b.search.group = s.Group();
             b.search.range = s.Criteria('S');
         },
         {"body.range.value0=A%"}},
        {"document data",
         101,
         [](CsRequestBody& b, Sample& s) {
             b.docData.group = s.Group();
             b.docData.hit = s.Hit();
             b.docData.appl = s.Appl();
             b.docData.node = s.Node(3);
             b.docData.nodes = s.NodeInfo();
             b.docData.flags[0] = 1;
             b.docData.flags[1] = 0;
             b.docData.flags[2] = 'Y';
         },
         {"body.appl.text1=indexer", "body.nodes.compression=L"}},
        {"resources",
         62,
         [](CsRequestBody& b, Sample& s) {
             b.resources.group = s.Group();
             b.resources.node = s.Node(4);
             b.resources.flags = 2;
             b.resources.nodes = s.NodeInfo();
         },
         {"body.node.number=4"}},
        {"add note",
         67,
         [](CsRequestBody& b, Sample& s) {
             b.note.group = s.Group();
             b.note.hit = s.Hit();
             b.note.note = s.Note();
         },
         {"body.note.text=Bitte prüfen – please check", "body.note.data=0102030405"}},
        {"notes",
         69,
         [](CsRequestBody& b, Sample& s) {
             b.notes.groupNumber = 4711;
             b.notes.object = s.Object();
             b.notes.word = 1;
         },
         {"body.object.name=5FAAA/1/OBJ$17"}},
        {"named queries",
         73,
         [](CsRequestBody& b, Sample& s) {
             b.queries.folderNumber = 3;
             b.queries.userNumber = 1001;
             b.queries.count = 2;
             b.queries.entries = s.Entries(2);
         },
         {"body.entries#=2"}},
        {"segments",
         74,
         [](CsRequestBody& b, Sample& s) {
             auto* numbers = s.Make<std::array<uint32_t, 2>>();
             (*numbers)[0] = 4711;
             (*numbers)[1] = 4712;
             b.numbers.count = 2;
             b.numbers.numbers = numbers->data();
         },
         {"body.numbers[1].number=4712"}},
        {"store object, first message",
         87,
         [](CsRequestBody& b, Sample& s) {
             b.storeObject.first = 1;
             b.storeObject.group = s.Group();
             b.storeObject.primary = s.Node(3);
             b.storeObject.secondary = s.Node(4);
             b.storeObject.location = 15;
             b.storeObject.objectName = s.Text("5FAAA");
             b.storeObject.flag1 = 'L';
             b.storeObject.flag2 = 1;
             b.storeObject.value = 123456;
         },
         {"body.objectName=5FAAA", "body.value=123456"}},
        {"store object, last data message",
         87,
         [](CsRequestBody& b, Sample&) { b.storeObject.first = 0; },
         {"body.data="}},
        {"segment data",
         88,
         [](CsRequestBody& b, Sample& s) {
             b.segmentData.group = s.Group();
             b.segmentData.primary = s.Node(3);
             b.segmentData.secondary = s.Node(4);
             b.segmentData.location = 2;
             b.segmentData.objectName = s.Text("5FAAA");
             b.segmentData.words[0] = 1;
             b.segmentData.words[1] = 2;
         },
         {"body.word1=2"}},
        {"log message, first",
         91,
         [](CsRequestBody& b, Sample& s) {
             b.logMessage.first = 1;
             b.logMessage.messageNumber = 2171;
             b.logMessage.objectCount = 2;
             auto* objects = s.Make<std::array<CsXdrObjectRef, 2>>();
             (*objects)[0] = *s.Object();
             (*objects)[1] = *s.Object();
             b.logMessage.objects = objects->data();
             b.logMessage.object = s.Object();
             b.logMessage.byte = 'D';
             b.logMessage.word = 9;
         },
         {"body.messageNumber=2171", "body.objects#=2"}},
        {"log message, data",
         91,
         [](CsRequestBody& b, Sample& s) {
             b.logMessage.first = 0;
             b.logMessage.data = s.Text("text");
             b.logMessage.dataLength = 4;
         },
         {"body.data=74657874"}},
        {"hit items, item with its group",
         92,
         [](CsRequestBody& b, Sample& s) {
             b.hitItems.more = 1;
             b.hitItems.word = 1;
             b.hitItems.group = s.Group();
             b.hitItems.hit = s.Hit();
             b.hitItems.word2 = 2;
         },
         {"body.hit.value0=-1099511627776"}},
        {"hit items, item of the group before",
         97,
         [](CsRequestBody& b, Sample& s) {
             b.hitItems.more = 1;
             b.hitItems.hit = s.Hit();
         },
         {"body.group=<absent>", "body.hit.value3=-3"}},
        {"hit items, closing",
         92,
         [](CsRequestBody& b, Sample&) {
             b.hitItems.more = 0;
             b.hitItems.endWord = 4;
             b.hitItems.endByte = 1;
         },
         {"body.endByte=1"}},
        {"text search item",
         104,
         [](CsRequestBody& b, Sample& s) {
             b.hitItems.more = 1;
             b.hitItems.group = s.Group();
             b.hitItems.appl = s.Appl();
             b.hitItems.hit = s.Hit();
         },
         {"body.appl.name=STMT"}},
        {"text search, closing",
         104,
         [](CsRequestBody& b, Sample& s) {
             b.hitItems.more = 0;
             b.hitItems.values = s.List(2);
         },
         {"body.values#=2"}},
        {"server print, first",
         93,
         [](CsRequestBody& b, Sample& s) {
             b.serverPrint.first = 1;
             b.serverPrint.print = s.Print();
             b.serverPrint.text = s.Text("COPIES=3");
             b.serverPrint.count = 1;
             b.serverPrint.entries = s.Entries(1);
         },
         {"body.print.name=FLOOR2", "body.text=COPIES=3"}},
        {"server print, item",
         93,
         [](CsRequestBody& b, Sample& s) {
             b.serverPrint.first = 0;
             b.serverPrint.items.more = 1;
             b.serverPrint.items.group = s.Group();
             b.serverPrint.items.hit = s.Hit();
         },
         {"body.items.more=1"}},
        {"document object",
         102,
         [](CsRequestBody& b, Sample& s) {
             b.docObject.group = s.Group();
             b.docObject.primary = s.Node(3);
             b.docObject.secondary = s.Node(4);
             b.docObject.location = 1;
             b.docObject.hit = s.Hit();
             b.docObject.text = s.Text("ST");
             b.docObject.words[0] = 7;
             b.docObject.words[1] = 8;
         },
         {"body.text=ST"}},
        {"security token, first",
         108,
         [](CsRequestBody& b, Sample& s) {
             b.token.first = 1;
             Set(b.token.userId, "jdoe");
             b.token.token = s.Text("NTLMSSP");
             b.token.length = 7;
         },
         {"body.userId=jdoe", "body.token=4e544c4d535350"}},
        {"security token, next",
         108,
         [](CsRequestBody& b, Sample& s) {
             b.token.first = 0;
             b.token.token = s.Text("xy");
             b.token.length = 2;
         },
         {"body.token=7879"}},
    };
}

Bytes EncodeRequest(CsRequestRecord* r, uint32_t features, const CsXdrApplGroup* group) {
    QelXdrBuffer out(QELXDR_ENCODE);
    OpenCodePages(out.Xdr());
    out.Xdr()->features = features;
    out.Xdr()->group = group;
    EXPECT_TRUE(CsXdrRequest(out.Xdr(), r));
    return out.Bytes();
}

TEST(Records, EveryRequestBodyRoundTripsAndReadsAsDocumented) {
    std::vector<Reading> readings;
    for (const RequestCase& c : RequestCases()) {
        for (const Mode& mode : kModes) {
            const std::string what = std::string(c.name) + " / " + mode.name;
            Sample s;
            const CsXdrApplGroup* group = s.Group();
            CsRequestRecord r{};
            r.handle = mode.handle ? s.Handle(mode.flags1, mode.flags2) : nullptr;
            r.code = c.code;
            r.sendWindow = 2;
            r.replyWindow = 25;
            r.reserved = -1;
            r.text = s.Text("request text");
            for (int i = 0; i < 64; ++i) r.sessionBlock[i] = static_cast<unsigned char>(i + 1);
            if (c.fill) c.fill(r.body, s);
            const Bytes bytes = EncodeRequest(&r, mode.features, group);

            QelXdrBuffer in(QELXDR_DECODE, bytes);
            OpenCodePages(in.Xdr());
            in.Xdr()->features = mode.features;
            in.Xdr()->group = group;
            CsRequestRecord got{};
            ASSERT_TRUE(CsXdrRequest(in.Xdr(), &got)) << what;
            EXPECT_EQ(in.Remaining(), 0u) << what;
            EXPECT_EQ(in.Xdr()->features, FeaturesOf(mode)) << what;
            EXPECT_EQ(got.code, c.code) << what;
            EXPECT_EQ(Hex(EncodeRequest(&got, mode.features, group)), Hex(bytes)) << what;
            CsFreeRequestRecord(&got);

            std::vector<std::string> expect = c.expect;
            if (mode.handle) expect.push_back("handle.identity.userName=Jürgen Doe");
            readings.push_back({what, "request", mode.features, bytes, expect});
        }
    }
    ExpectReaderReadsAll(readings);
}

struct ReplyCase {
    const char* name;
    uint32_t code;
    int32_t result;
    std::function<void(CsReplyBody&, Sample&)> fill;
    std::vector<std::string> expect;
};

std::vector<ReplyCase> ReplyCases() {
    return {
        {"go-ahead", 1, 0, nullptr, {"code=1"}},
        {"logon",
         3,
         0,
         [](CsReplyBody& b, Sample& s) {
             b.logon.user = *s.User();
             Set(b.logon.identity.userId, "JDOE");
             Set(b.logon.identity.userName, "Jürgen Doe");
             b.logon.identity.processId = 99;
             b.logon.logon = s.Logon();
             b.logon.parms = s.Parms();
             b.logon.session = 0xABCD;
             b.logon.words[0] = 1;
             b.logon.words[1] = 2;
             for (int i = 0; i < 64; ++i) b.logon.sessionBlock[i] = static_cast<unsigned char>(64 - i);
         },
         {"body.logon.groupList=IN (1001,7,9)", "body.parms.timeOut=7200", "body.session=43981"}},
        {"logon, password expired keeps its body",
         3,
         12,
         [](CsReplyBody& b, Sample& s) { b.logon.user = *s.User(); },
         {"body.logon=<absent>"}},
        {"user", 6, 0, [](CsReplyBody& b, Sample& s) { b.user.user = *s.User(); }, {"body.user.userId=JDOE"}},
        {"change password refused keeps its body",
         8,
         13,
         [](CsReplyBody& b, Sample& s) {
             b.user.user = *s.User();
             b.user.word = 1;
         },
         {"body.word=1"}},
        {"refused list ends without a body", 13, 13, nullptr, {"result=13"}},
        {"user or group entry",
         13,
         0,
         [](CsReplyBody& b, Sample& s) { b.userEntry.entry = s.UserEntry(); },
         {"body.entry.description=Administratoren"}},
        {"end of a list",
         9,
         0,
         [](CsReplyBody& b, Sample&) { b.userEntry.entry = nullptr; },
         {"body.entry=<absent>"}},
        {"folder entry",
         121,
         0,
         [](CsReplyBody& b, Sample& s) {
             b.folderEntry.folder = s.Folder();
             b.folderEntry.final = 5;
         },
         {"body.folder.map1[2].number=6", "body.folder.fields[1].default1=Zz", "body.final=5"}},
        {"folder entry, older level",
         19,
         0,
         [](CsReplyBody& b, Sample& s) { b.folderEntry.folder = s.Folder(); },
         {"body.folder.groups#=2"}},
        {"folder groups",
         20,
         0,
         [](CsReplyBody& b, Sample& s) { b.folder.folder = s.Folder(); },
         {"body.folder.groups[1].number=4712"}},
        {"storage set",
         53,
         0,
         [](CsReplyBody& b, Sample& s) { b.storageSet.set = s.StorageSet(); },
         {"body.set.type=L", "body.set.nodes[1].number=4"}},
        {"stored object",
         96,
         0,
         [](CsReplyBody& b, Sample& s) { b.object.object = *s.Object(); },
         {"body.object.compressedOffset=77"}},
        {"index row",
         103,
         0,
         [](CsReplyBody& b, Sample& s) {
             b.indexRow.result = *s.IndexResult();
             b.indexRow.segment = *s.Segment();
             b.indexRow.word = 1;
         },
         {"body.result.value7=8000"}},
        {"one word", 87, 0, [](CsReplyBody& b, Sample&) { b.word.value = 31; }, {"body.value=31"}},
        {"hit",
         112,
         0,
         [](CsReplyBody& b, Sample& s) { b.hit.hit = s.Hit(); },
         {"body.hit.value5=12:30:00", "body.hit.object.offset=1000"}},
        {"hit without slots",
         59,
         0,
         [](CsReplyBody& b, Sample& s) { b.hit.hit = s.BareHit(); },
         {"body.hit.segment=BSA17"}},
        {"data piece",
         101,
         0,
         [](CsReplyBody& b, Sample& s) { b.data.piece = s.Piece('O', "xyz"); },
         {"body.piece.position=8589934592"}},
        {"end of document data",
         101,
         0,
         [](CsReplyBody& b, Sample&) {
             b.data.location = 2;
             b.data.second = 'Y';
         },
         {"body.location=2", "body.second=89"}},
        {"end of document data, older level",
         60,
         0,
         [](CsReplyBody& b, Sample&) { b.data.location = 1; },
         {"body.location=1"}},
        {"resource piece",
         62,
         0,
         [](CsReplyBody& b, Sample& s) { b.data.piece = s.Piece('N', "res"); },
         {"body.piece.letter=N"}},
        {"end of segment data", 88, 0, nullptr, {"body.piece=<absent>"}},
        {"node information",
         64,
         0,
         [](CsReplyBody& b, Sample& s) { b.nodeInfo.info = s.NodeInfo(); },
         {"body.info.secondaryNode=4"}},
        {"note added",
         67,
         0,
         [](CsReplyBody& b, Sample&) {
             b.noteWords.words[0] = 5;
             b.noteWords.words[1] = 6;
         },
         {"body.word1=6"}},
        {"note", 69, 0, [](CsReplyBody& b, Sample& s) { b.note.note = s.Note(); }, {"body.note.color=3"}},
        {"named query",
         73,
         0,
         [](CsReplyBody& b, Sample& s) { b.query.query = s.Query(); },
         {"body.query.text=rdate >= 19000"}},
        {"segment",
         74,
         0,
         [](CsReplyBody& b, Sample& s) { b.segment.segment = s.Segment(); },
         {"body.segment.rows=123456"}},
        {"printer",
         78,
         0,
         [](CsReplyBody& b, Sample& s) { b.printer.printer = s.Printer(); },
         {"body.printer.name=FLOOR2"}},
        {"system parameters",
         84,
         0,
         [](CsReplyBody& b, Sample& s) { b.parms.parms = s.Parms(); },
         {"body.parms.passwordExpiryDays=90"}},
        {"load information",
         86,
         0,
         [](CsReplyBody& b, Sample& s) { b.text.text = s.Text("load 77"); },
         {"body.text=load 77"}},
        {"document object",
         102,
         0,
         [](CsReplyBody& b, Sample&) {
             b.docObject.answer = 1;
             b.docObject.word = 2;
         },
         {"body.answer=1"}},
        {"text search answer",
         104,
         0,
         [](CsReplyBody& b, Sample& s) { b.values.items = s.List(2); },
         {"body.items[1].text=value 2"}},
        {"security token",
         108,
         0,
         [](CsReplyBody& b, Sample& s) {
             b.token.token = s.Text("TOKEN");
             b.token.length = 5;
             Set(b.token.userId, "DOMAIN\\jdoe");
         },
         {"body.userId=DOMAIN\\jdoe"}},
        {"connect", 109, 0, [](CsReplyBody& b, Sample&) { b.word.value = 2; }, {"body.value=2"}},
        {"cancelled", 2, 1, nullptr, {"result=1"}},
    };
}

Bytes EncodeReply(CsReplyRecord* r, uint32_t features) {
    QelXdrBuffer out(QELXDR_ENCODE);
    OpenCodePages(out.Xdr());
    out.Xdr()->features = features;
    EXPECT_TRUE(CsXdrResponse(out.Xdr(), r));
    return out.Bytes();
}

TEST(Records, EveryReplyBodyRoundTripsAndReadsAsDocumented) {
    std::vector<Reading> readings;
    for (const ReplyCase& c : ReplyCases()) {
        for (uint32_t features : {kAllFeatures, 0u}) {
            const std::string what = std::string(c.name) + " / features " + std::to_string(features);
            Sample s;
            CsReplyRecord r{};
            r.result = c.result;
            r.code = c.code;
            r.status = features ? CS_REPLY_DROP_CONNECTION : 0;
            r.text = s.Text("reply text");
            Set(r.message, "Server message ü");
            r.group = s.Group();
            if (c.fill) c.fill(r.body, s);
            const Bytes bytes = EncodeReply(&r, features);

            QelXdrBuffer in(QELXDR_DECODE, bytes);
            OpenCodePages(in.Xdr());
            in.Xdr()->features = features;
            CsReplyRecord got{};
            got.group = r.group;
            ASSERT_TRUE(CsXdrResponse(in.Xdr(), &got)) << what;
            EXPECT_EQ(in.Remaining(), 0u) << what;
            EXPECT_EQ(got.group, r.group) << what << ": the group context survives the clearing";
            EXPECT_EQ(got.result, c.result) << what;
            if (features) {
                EXPECT_STREQ(got.message, "Server message ü") << what;
                EXPECT_EQ(got.status, CS_REPLY_DROP_CONNECTION) << what;
            }
            EXPECT_EQ(Hex(EncodeReply(&got, features)), Hex(bytes)) << what;
            CsFreeReplyRecord(&got);

            readings.push_back({what, "reply", features, bytes, c.expect});
        }
    }
    ExpectReaderReadsAll(readings);
}

// A hit of another shape than its group: the decoder refuses it rather than read slots
// by the wrong types.
TEST(Records, HitRowsNeedTheirGroup) {
    Sample s;
    CsReplyRecord r{};
    r.code = 112;
    r.group = s.Group();
    r.body.hit.hit = s.Hit();
    const Bytes bytes = EncodeReply(&r, 0);

    struct Case {
        const char* name;
        uint16_t fields;  // of the group the decoder is given; 0: no group
        bool ok;
    };
    const Case cases[] = {
        {"the same group", 7, true}, {"a group with fewer fields", 6, false}, {"no group", 0, false}};
    for (const Case& c : cases) {
        CsXdrApplGroup smaller = *s.Group();
        smaller.fieldCount = c.fields;
        QelXdrBuffer in(QELXDR_DECODE, bytes);
        OpenCodePages(in.Xdr());
        CsReplyRecord got{};
        got.group = c.fields ? &smaller : nullptr;
        EXPECT_EQ(CsXdrResponse(in.Xdr(), &got), c.ok) << c.name;
        CsFreeReplyRecord(&got);
    }

    // Encoding a slot whose letter differs from its field's is refused too.
    CsXdrHitRow* hit = s.Hit();
    hit->values[0].type = 'I';
    r.body.hit.hit = hit;
    QelXdrBuffer out(QELXDR_ENCODE);
    OpenCodePages(out.Xdr());
    EXPECT_FALSE(CsXdrResponse(out.Xdr(), &r));
}

TEST(Records, CodesAbove121AreRefused) {
    Sample s;
    CsRequestRecord request{};
    request.code = 122;
    QelXdrBuffer out(QELXDR_ENCODE);
    OpenCodePages(out.Xdr());
    EXPECT_FALSE(CsXdrRequest(out.Xdr(), &request));

    CsReplyRecord reply{};
    reply.code = 122;
    QelXdrBuffer out2(QELXDR_ENCODE);
    EXPECT_FALSE(CsXdrResponse(out2.Xdr(), &reply));
    QelXdrBuffer in(QELXDR_DECODE, FromHex("000000000000007a"));
    EXPECT_FALSE(CsXdrResponse(in.Xdr(), &reply));
}

// A long value list neither recurses nor leaks.
TEST(Records, LongValueListDecodesWithoutRecursion) {
    QelXdrBuffer out(QELXDR_ENCODE);
    const int items = 200000;
    for (int i = 0; i < items; ++i) {
        uint32_t present = 0, number = static_cast<uint32_t>(i % 65536), empty = 0;
        QelXdr_UInt(out.Xdr(), &present);
        QelXdr_UInt(out.Xdr(), &number);
        QelXdr_UInt(out.Xdr(), &empty);
    }
    uint32_t end = 1;
    QelXdr_UInt(out.Xdr(), &end);
    QelXdrBuffer in(QELXDR_DECODE, out.Bytes());
    CsXdrValueItem* list = nullptr;
    ASSERT_TRUE(CsXdr_ValueList(in.Xdr(), &list));
    int count = 0;
    for (CsXdrValueItem* item = list; item != nullptr; item = item->next) ++count;
    EXPECT_EQ(count, items);
    QelXdr_Free([](QelXdr* x, void* o, long) { return CsXdr_ValueList(x, static_cast<CsXdrValueItem**>(o)); },
                &list);
}

}  // namespace
