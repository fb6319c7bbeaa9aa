#include "wire_test_support.h"

#include "arc_byteorder.h"
#include "arc_codepage.h"
#include "arc_platform.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <mutex>
#include <sstream>
#include <stdexcept>

namespace wire_test {

std::string Hex(std::span<const unsigned char> bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 15]);
    }
    return out;
}

Bytes FromHex(const std::string& hex) {
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::string RunPython(const std::string& script, std::vector<std::string> args,
                      std::span<const unsigned char> input, int* status) {
    static int serial = 0;
    const std::string dir = std::string(QEL_STAGE_DIR) + "/tests/wire-scratch";
    ArcOS_MakeDirectory((std::string(QEL_STAGE_DIR) + "/tests").c_str());
    ArcOS_MakeDirectory(dir.c_str());
    const std::string path =
        dir + "/in-" + std::to_string(ArcOS_GetProcessId()) + "-" + std::to_string(++serial);
    if (ArcOS_WriteFileAtomic(
            path.c_str(), std::string_view(reinterpret_cast<const char*>(input.data()), input.size())) != 0)
        throw std::runtime_error("cannot write " + path);
    std::vector<std::string> argv{"python3", "-W", "ignore", script};
    for (auto& a : args) argv.push_back(a == "{}" ? path : a);
    ArcOSPipe pipe;
    std::string out;
    if (ArcOS_PipeOpen(argv, "r", &pipe) != 0) {
        ArcOS_Unlink(path.c_str());
        *status = -1;
        return out;
    }
    char buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe.stream)) > 0) out.append(buffer, n);
    *status = ArcOS_PipeClose(&pipe);
    ArcOS_Unlink(path.c_str());
    return out;
}

std::vector<std::string> PythonLines(const std::string& script, std::vector<std::string> args,
                                     std::span<const unsigned char> input) {
    int status = 0;
    const std::string out = RunPython(script, std::move(args), input, &status);
    EXPECT_EQ(status, 0) << "python3 " << script << " failed: " << out;
    std::vector<std::string> lines;
    std::istringstream stream(out);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

ArcIconvContext* CodePages() {
    static ArcIconvContext* context = nullptr;
    static std::once_flag once;
    std::call_once(once, [] {
        const std::string locale = std::string(QEL_STAGE_DIR) + "/locale";
        if (ArcICONV_Startup(&context, locale.c_str()) != 0) context = nullptr;
    });
    return context;
}

void OpenCodePages(QelXdr* xdr, int32_t localCcsid) {
    ASSERT_NE(CodePages(), nullptr) << "no code-page context from the staged locale";
    ASSERT_TRUE(QelXdr_InitCodePages(xdr, CodePages(), localCcsid, CS_WIRE_CCSID)) << xdr->error;
}

namespace {

// The connection word is the MemoryTransport itself.
MemoryTransport* Of(ArcCOM_Connection* connection) { return reinterpret_cast<MemoryTransport*>(connection); }

int MemorySend(ArcCOM_Connection* connection, const void* buffer, int length) {
    MemoryTransport* t = Of(connection);
    int n = length;
    if (t->sendLimit >= 0) {
        n = std::min(length, t->sendLimit);
        t->sendLimit = -1;
    }
    const auto* p = static_cast<const unsigned char*>(buffer);
    t->sent.insert(t->sent.end(), p, p + n);
    return n;
}

int MemoryRecv(ArcCOM_Connection* connection, void* buffer, int length) {
    MemoryTransport* t = Of(connection);
    size_t n = std::min<size_t>(static_cast<size_t>(length), t->incoming.size() - t->readPos);
    if (t->receiveLimit >= 0) {
        n = std::min<size_t>(n, static_cast<size_t>(t->receiveLimit));
        t->receiveLimit = -1;
    }
    std::memcpy(buffer, t->incoming.data() + t->readPos, n);
    t->readPos += n;
    return static_cast<int>(n);
}

}  // namespace

MemoryTransport::MemoryTransport() {
    funcs.send = MemorySend;
    funcs.recv = MemoryRecv;
}

StreamBox::StreamBox() {
    stream = CsStreamCreate();
    if (stream == nullptr) throw std::runtime_error("no stream");
    if (CodePages() == nullptr || !CsStreamSetup(stream, CodePages(), 1208, CS_WIRE_CCSID))
        throw std::runtime_error("no code pages for the stream");
    CsStreamSetTransport(stream, &transport.funcs, reinterpret_cast<ArcCOM_Connection*>(&transport));
}

StreamBox::~StreamBox() { CsStreamFree(stream); }

Bytes PlainFrame(uint32_t number, std::span<const unsigned char> payload) {
    Bytes frame(8);
    QelPutBE32(number, frame.data());
    QelPutBE32(static_cast<uint32_t>(8 + payload.size()), frame.data() + 4);
    frame.insert(frame.end(), payload.begin(), payload.end());
    return frame;
}

Bytes CompressedFrame(uint32_t number, char letter, uint32_t flags, std::span<const unsigned char> payload) {
    Bytes frame(20);
    QelPutBE32(0xFFFFFFFFu, frame.data());
    QelPutBE32(static_cast<uint32_t>(20 + payload.size()), frame.data() + 4);
    QelPutBE32(number, frame.data() + 8);
    QelPutBE32(static_cast<unsigned char>(letter), frame.data() + 12);
    QelPutBE32(flags, frame.data() + 16);
    frame.insert(frame.end(), payload.begin(), payload.end());
    return frame;
}

Bytes ListItem(uint16_t number, const char* text) {
    QelXdrBuffer out(QELXDR_ENCODE);
    OpenCodePages(out.Xdr());
    CsXdrValueItem item{};
    item.number = number;
    item.text = const_cast<char*>(text);
    CsXdrValueItem* list = &item;
    if (!CsXdr_ValueList(out.Xdr(), &list)) throw std::runtime_error("cannot encode a list item");
    Bytes bytes = out.Bytes();
    bytes.resize(bytes.size() - 4);  // the end of the list
    return bytes;
}

Bytes ListBomb(const Bytes& record, std::span<const unsigned char> unit, size_t count, uint32_t number) {
    const Bytes marked = ListItem(kMarkedItem, nullptr);
    const auto at = std::search(record.begin(), record.end(), marked.begin(), marked.end());
    if (at == record.end() || std::search(at + 1, record.end(), marked.begin(), marked.end()) != record.end())
        throw std::runtime_error("the record holds no single marked list item");
    Bytes run;
    while (run.size() < 64 * 1024) run.insert(run.end(), unit.begin(), unit.end());
    const size_t perRun = run.size() / unit.size();

    StreamBox box;
    CsStreamSetCompression(box.stream, 1);
    CsStreamStartMessage(box.stream, number);
    auto put = [&](const unsigned char* bytes, size_t length) {
        if (!CsStreamPutBytes(box.stream, bytes, static_cast<uint32_t>(length)))
            throw std::runtime_error("cannot compress the bomb");
    };
    const auto head = static_cast<size_t>(at - record.begin());
    put(record.data(), head);
    for (size_t left = count; left > 0;) {
        const size_t n = std::min(left, perRun);
        put(run.data(), n * unit.size());
        left -= n;
    }
    put(record.data() + head + marked.size(), record.size() - head - marked.size());
    if (!CsStreamFlush(box.stream, 1)) throw std::runtime_error("cannot compress the bomb");
    return box.transport.sent;
}

char* Sample::Text(const std::string& text) {
    texts_.push_back(text);
    return texts_.back().data();
}

CsXdrApplGroup* Sample::Group() {
    auto* g = Make<CsXdrApplGroup>();
    g->number = 4711;
    Set(g->name, "Bank statements");
    Set(g->description, "Kontoauszüge – monthly");
    Set(g->prefix, "BSA");
    g->notePermissions = 0x0006;
    g->segmentKind = 'M';
    g->rowsPerSegment = 100000;
    g->logging = 0x23;
    g->storageSet = 12;
    g->permissions = 0x0B;
    for (uint32_t i = 0; i < 7; ++i) g->words[i] = 100 + i;
    g->flags = 0x400;
    static const char kTypes[] = {'B', 'D', 'I', 'N', 'S', 'T', 'X'};
    g->fieldCount = sizeof kTypes;
    g->fields = Make<std::array<CsXdrFieldDef, sizeof kTypes>>()->data();
    for (size_t i = 0; i < sizeof kTypes; ++i) {
        CsXdrFieldDef& f = g->fields[i];
        Set(f.name, "field_" + std::to_string(i));
        f.type = kTypes[i];
        f.flags = static_cast<uint8_t>(0x20 | (i == 0 ? 0x04 : 0));
        f.textLength = 40;
        f.textCase = 'U';
        f.number = static_cast<uint16_t>(i + 1);
        f.mapCount = 2;
        f.mapValues = Entries(2);
        f.displayCount = 1;
        f.displayValues = Entries(1);
        Set(f.formats[0], "%Y%m%d");
        Set(f.formats[1], "%H");
        Set(f.formats[2], "x");
    }
    g->applCount = 2;
    g->appls = Make<std::array<CsXdrApplEntry, 2>>()->data();
    for (int i = 0; i < 2; ++i) {
        CsXdrApplEntry* a = Appl();
        g->appls[i] = *a;
    }
    g->textSearch.values[0] = 1;
    g->textSearch.values[1] = 2;
    g->textSearch.values[2] = 3;
    Set(g->textSearch.folder, "TSFOLD");
    return g;
}

CsXdrHitRow* Sample::Hit() {
    auto* h = BareHit();
    h->object = Object();
    h->valueCount = 7;
    h->values = Make<std::array<CsXdrValue, 7>>()->data();
    h->values[0].type = 'B';
    h->values[0].v.big = -(int64_t{1} << 40);
    h->values[1].type = 'D';
    h->values[1].v.real = 1234.5;
    h->values[2].type = 'I';
    h->values[2].v.integer = -77;
    h->values[3].type = 'N';
    h->values[3].v.small = -3;
    h->values[4].type = 'S';
    h->values[4].v.text = Text("Müller & Söhne");
    h->values[5].type = 'T';
    h->values[5].v.text = Text("12:30:00");
    h->values[6].type = 'X';
    return h;
}

CsXdrHitRow* Sample::BareHit() {
    auto* h = Make<CsXdrHitRow>();
    h->noteFlag = 'Y';
    Set(h->segment, "BSA17");
    return h;
}

CsXdrNodeEntry* Sample::Node(uint16_t number) {
    auto* n = Make<CsXdrNodeEntry>();
    Set(n->name, "NODE" + std::to_string(number));
    Set(n->description, "cache node");
    Set(n->logon, "nodeuser");
    Set(n->password, "nodepass");
    Set(n->serverName, "archive.example.net");
    n->flags = 0x0E;
    n->number = number;
    return n;
}

CsXdrNodeInfo* Sample::NodeInfo() {
    auto* n = Make<CsXdrNodeInfo>();
    n->groupNumber = 4711;
    n->primaryNode = 3;
    n->secondaryNode = 4;
    n->compression = 'L';
    return n;
}

CsXdrObjectRef* Sample::Object() {
    auto* o = Make<CsXdrObjectRef>();
    o->offset = 1000;
    o->length = 2000;
    o->compressedOffset = 77;
    o->compressedLength = 900;
    o->compression = 'O';
    o->location = 2;
    o->resourceId = 0x10;
    o->primaryNode = 3;
    o->secondaryNode = 4;
    o->name = Text("5FAAA/1/OBJ$17");
    return o;
}

CsXdrUserRecord* Sample::User() {
    auto* u = Make<CsXdrUserRecord>();
    u->userNumber = 1001;
    Set(u->userId, "JDOE");
    Set(u->password, "ab01FzLcDGMGk");
    Set(u->description, "Jürgen Doe, accounts");
    Set(u->userName, "Jürgen Doe");
    for (int i = 0; i < 10; ++i) Set(u->info[i], "info line " + std::to_string(i));
    Set(u->phone[0], "+49 30 1234");
    Set(u->phone[1], "+49 30 5678");
    Set(u->email, "jdoe@example.net");
    u->attributes = 0x55;
    u->userType = 0x24;
    u->passwordChanged = 1700000000;
    u->logonTimeOut = 3600;
    u->logonState = 3;
    return u;
}

CsXdrUserEntry* Sample::UserEntry() {
    auto* e = Make<CsXdrUserEntry>();
    e->number = 7;
    Set(e->name, "ADMINS");
    Set(e->description, "Administratoren");
    return e;
}

CsXdrLogonRecord* Sample::Logon() {
    auto* l = Make<CsXdrLogonRecord>();
    l->userNumber = 1001;
    l->groupList = Text("IN (1001,7,9)");
    l->userType = 0x24;
    l->timeOut = 1800;
    return l;
}

CsXdrSystemParms* Sample::Parms() {
    auto* p = Make<CsXdrSystemParms>();
    p->passwordExpiryDays = 90;
    p->minPasswordLength = 6;
    p->timeOut = 7200;
    p->flags = 0x3;
    p->systemLogMask = 0xF0;
    p->exitMask = 0x0F;
    return p;
}

CsXdrApplEntry* Sample::Appl() {
    auto* a = Make<CsXdrApplEntry>();
    Set(a->name, "STMT");
    Set(a->description, "statement application");
    a->value = Text("ST");
    a->flags[0] = 'N';
    a->flags[1] = 1;
    a->flags[2] = 2;
    a->flags[3] = 3;
    a->number = 2;
    a->options = 0x81;
    a->texts[0] = Text("[@_FIXED_@]\nCC=1\n");
    a->texts[1] = Text("indexer");
    a->texts[2] = Text("loader");
    a->parameters.text = Text("parameters");
    return a;
}

CsXdrNote* Sample::Note() {
    auto* n = Make<CsXdrNote>();
    n->number = 5;
    Set(n->userId, "JDOE");
    n->flags = 0x2;
    n->created = 1700000123;
    n->color = 3;
    n->text = Text("Bitte prüfen – please check");
    n->page = 2;
    n->attributes = 9;
    for (int i = 0; i < 32; ++i) n->key[i] = static_cast<unsigned char>(i * 7);
    n->dataLength = 5;
    n->data = Text("\x01\x02\x03\x04\x05");
    return n;
}

CsXdrIndexResult* Sample::IndexResult() {
    auto* r = Make<CsXdrIndexResult>();
    Set(r->segment, "BSA17");
    for (int i = 0; i < 8; ++i) r->values[i] = 1000 * (i + 1);
    for (int i = 0; i < 6; ++i) r->words[i] = static_cast<uint32_t>(i + 1);
    return r;
}

CsXdrSegment* Sample::Segment() {
    auto* s = Make<CsXdrSegment>();
    s->number = 17;
    s->status = 1;
    Set(s->name, "BSA17");
    s->startDate = 19000;
    s->stopDate = 19031;
    s->rows = 123456;
    return s;
}

CsXdrValueItem* Sample::List(int items) {
    CsXdrValueItem* head = nullptr;
    for (int i = items; i > 0; --i) {
        auto* item = Make<CsXdrValueItem>();
        item->number = static_cast<uint16_t>(i);
        item->text = Text("value " + std::to_string(i));
        item->next = head;
        head = item;
    }
    return head;
}

CsXdrCriteria* Sample::Criteria(char type) {
    auto* c = Make<CsXdrCriteria>();
    Set(c->field, "rdate");
    c->type = type;
    c->op = 7;
    switch (type) {
        case 'C':
        case 'D':
        case 'T':
        case 'Z':
            Set(c->dates[0], "2024-01-01");
            Set(c->dates[1], "2024-12-31");
            break;
        case 'S':
            c->values[0] = {'S', {}};
            c->values[0].v.text = Text("A%");
            c->values[1] = {'S', {}};
            c->values[1].v.text = Text("Z%");
            break;
        default:
            c->values[0].type = type;
            c->values[0].v.integer = 10;
            c->values[1].type = type;
            c->values[1].v.integer = 20;
    }
    return c;
}

CsXdrFolder* Sample::Folder() {
    auto* f = Make<CsXdrFolder>();
    f->number = 3;
    Set(f->name, "Statements");
    Set(f->description, "Monatliche Auszüge");
    f->type = 1;
    f->fieldTotal = 2;
    f->flags = 0x100;
    f->fieldCount = 2;
    f->fields = Make<std::array<CsXdrFolderField, 2>>()->data();
    for (int i = 0; i < 2; ++i) {
        CsXdrFolderField& ff = f->fields[i];
        Set(ff.name, i == 0 ? "Account" : "Name");
        Set(ff.description, "folder field");
        ff.type[0] = i == 0 ? 'I' : 'S';
        ff.type[1] = 'x';
        ff.number = static_cast<uint16_t>(i + 1);
        ff.attributes[0] = 1;
        ff.attributes[1] = 2;
        ff.attributes[2] = 3;
        ff.flags = 0x11;
        ff.display[0] = 4;
        ff.display[1] = 5;
        ff.display[2] = 6;
        if (i == 0) {
            ff.defaults[0] = {'I', {}};
            ff.defaults[0].v.integer = 1;
            ff.defaults[1] = {'I', {}};
            ff.defaults[1].v.integer = 99;
        } else {
            ff.defaults[0] = {'S', {}};
            ff.defaults[0].v.text = Text("A");
            ff.defaults[1] = {'S', {}};
            ff.defaults[1].v.text = Text("Zz");
        }
    }
    f->groupCount = 2;
    f->groups = Make<std::array<CsXdrApplGroup, 2>>()->data();
    f->groups[0] = *Group();
    f->groups[1] = *Group();
    f->groups[1].number = 4712;
    f->maps = Make<std::array<CsXdrFieldMap, 2>>()->data();
    for (int i = 0; i < 2; ++i) {
        f->maps[i].count = 3;
        auto* numbers = Make<std::array<uint16_t, 3>>();
        (*numbers)[0] = 1;
        (*numbers)[1] = 3;
        (*numbers)[2] = static_cast<uint16_t>(5 + i);
        f->maps[i].numbers = numbers->data();
    }
    return f;
}

CsXdrStorageSet* Sample::StorageSet() {
    auto* s = Make<CsXdrStorageSet>();
    Set(s->name, "SET12");
    Set(s->description, "two nodes");
    s->type = 'L';
    s->nodeCount = 2;
    s->nodes = Make<std::array<CsXdrNodeEntry, 2>>()->data();
    s->nodes[0] = *Node(3);
    s->nodes[1] = *Node(4);
    return s;
}

CsXdrPrintRequest* Sample::Print() {
    auto* p = Make<CsXdrPrintRequest>();
    p->printer = 2;
    p->copies = 3;
    p->options = 0x5;
    p->name = Text("FLOOR2");
    return p;
}

CsXdrTextEntry* Sample::Entries(int count) {
    auto* entries = static_cast<CsXdrTextEntry*>(Make<std::array<CsXdrTextEntry, 8>>()->data());
    for (int i = 0; i < count && i < 8; ++i) entries[i].text = Text("entry " + std::to_string(i));
    return entries;
}

CsXdrNamedQuery* Sample::Query() {
    auto* q = Make<CsXdrNamedQuery>();
    q->number = 8;
    Set(q->name, "Last month");
    q->text = Text("rdate >= 19000");
    q->flags = 1;
    return q;
}

CsXdrPrinter* Sample::Printer() {
    auto* p = Make<CsXdrPrinter>();
    p->number = 2;
    Set(p->name, "FLOOR2");
    Set(p->description, "second floor");
    p->words[0] = 1;
    p->words[1] = 2;
    p->words[2] = 3;
    return p;
}

CsXdrDataPiece* Sample::Piece(char letter, const std::string& data) {
    auto* p = Make<CsXdrDataPiece>();
    p->letter = letter;
    p->position = int64_t{1} << 33;
    p->length = static_cast<uint32_t>(data.size());
    p->data = Text(data);
    return p;
}

CsXdrHandlePart* Sample::Handle(uint32_t flags1, uint32_t flags2) {
    auto* h = Make<CsXdrHandlePart>();
    h->flags1 = flags1;
    h->serverFlags = 0x08;
    h->protocol = 2;
    h->localCcsid = 1208;
    Set(h->identity.userId, "JDOE");
    Set(h->identity.userName, "Jürgen Doe");
    h->identity.processId = 4242;
    h->logon = Logon();
    h->flags2 = flags2;
    return h;
}

}  // namespace wire_test
