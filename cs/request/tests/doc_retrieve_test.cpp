// Retrieval of document data and resources: locally from a copy of the sample archive
// (zlib objects made and cut by Python's zlib as the outside judge), remotely from the
// loopback peer, and routed to the handle that serves the storage nodes.
#include <strings.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "logon_test_support.h"
#include "routed_peers.h"

namespace {

using logontest::FolderPtr;
using logontest::HandleGuard;
using logontest::SetPtr;
using logontest::TestArchive;

// What a retrieval delivered.
struct Sink {
    std::string data;
    size_t pieces = 0;
    size_t largest = 0;
    static int Take(void* context, const unsigned char* data, size_t length) {
        auto* sink = static_cast<Sink*>(context);
        sink->data.append(reinterpret_cast<const char*>(data), length);
        ++sink->pieces;
        if (length > sink->largest) sink->largest = length;
        return 1;
    }
};

CsDocRequest Into(Sink* sink, char letter = 'N', size_t chunk = 0) {
    CsDocRequest request;
    request.compressType = letter;
    request.chunkSize = chunk;
    request.callback = Sink::Take;
    request.context = sink;
    return request;
}

std::string Inflate(const std::string& packed) {
    z_stream z{};
    EXPECT_EQ(inflateInit(&z), Z_OK);
    std::string out;
    char buffer[16384];
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    z.avail_in = static_cast<uInt>(packed.size());
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - z.avail_out);
    }
    EXPECT_EQ(rc, Z_STREAM_END);
    inflateEnd(&z);
    return out;
}

// Runs the zlib oracle (doc_retrieve_oracle.py) and answers its output.
std::string Oracle(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {QEL_PEER_PYTHON, DOC_RETRIEVE_ORACLE};
    argv.insert(argv.end(), args.begin(), args.end());
    ArcOSPipe pipe;
    if (ArcOS_PipeOpen(argv, "r", &pipe) != 0) return "";
    std::string out;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe.stream) != nullptr) out += buffer;
    ArcOS_PipeClose(&pipe);
    return out;
}

// A zlib block of an object: where it lies and how long it is expanded.
struct Block {
    uint32_t offset = 0;
    uint32_t length = 0;
    uint32_t size = 0;
};

// The values of a hit of group 100: INVNO (the key field), CUSTOMER, INVDATE.
struct InvoiceHit {
    explicit InvoiceHit(CsXdrObjectRef* object) {
        values[0].type = 'S';
        values[0].v.text = invoice;
        values[1].type = 'S';
        values[1].v.text = customer;
        values[2].type = 'I';
        values[2].v.integer = 19725;
        hit.object = object;
        hit.valueCount = 3;
        hit.values = values;
    }
    char invoice[8] = "4711";
    char customer[8] = "ACME";
    CsXdrValue values[3] = {};
    CsXdrHitRow hit{};
};

CsXdrObjectRef Object(char* name, char letter, uint32_t blockOffset, uint32_t blockLength, uint32_t offset,
                      uint32_t length) {
    CsXdrObjectRef object{};
    object.name = name;
    object.compression = letter;
    object.compressedOffset = blockOffset;
    object.compressedLength = blockLength;
    object.offset = offset;
    object.length = length;
    return object;
}

// ---------------------------------------------------------------- local

class LocalRetrieve : public ::testing::Test {
protected:
    void SetUp() override { LogOn("ALICE", "Secret-1"); }

    void LogOn(const char* user, const char* password) {
        set_.reset();
        folder_.reset();
        guard_.Renew(archive_);
        CsUserRecord record{};
        ASSERT_EQ(CsLogon(&handle_, user, password, &record), CS_OK) << user;
        CsXdrFolder* raw = nullptr;
        ASSERT_EQ(CsOpenFolderGroups(&handle_, 1, nullptr, &raw), CS_OK);
        folder_.reset(raw);
        ASSERT_EQ(folder_->groupCount, 1u);
        group_ = &folder_->groups[0];
        ASSERT_EQ(group_->number, 100u);
        CsStorageSet* set = nullptr;
        ASSERT_EQ(CsOpenStorageSet(&handle_, group_->storageSet, CsResolveServerDef, &set), CS_OK);
        set_.reset(set);
        ASSERT_EQ(set_->nodes.size(), 1u);
        primary_ = &set_->nodes[0];
    }
    // The hit as a row of the group's index: a retrieval reads only documents of rows.
    CsXdrHitRow* Indexed(CsXdrHitRow* hit) {
        EXPECT_EQ(logontest::IndexHit(&handle_, group_, hit), CS_OK);
        return hit;
    }
    std::string DocPath(const std::string& name) const { return archive_.Dir() + "data/INVAG/DOC/" + name; }
    std::string ResPath(const std::string& name) const { return archive_.Dir() + "data/INVAG/RES/" + name; }

    // The oracle's object under the document name, and its two blocks.
    std::vector<Block> MakeObject(const std::string& name) {
        std::istringstream lines(Oracle({"make", DocPath(name), "7"}));
        std::vector<Block> blocks;
        for (Block b; lines >> b.offset >> b.length >> b.size;) blocks.push_back(b);
        EXPECT_EQ(blocks.size(), 2u);
        return blocks;
    }
    // What Python's zlib finds in the window of the block.
    std::string Expected(const std::string& name, uint32_t blockOffset, uint32_t blockLength, uint32_t offset,
                         uint32_t length) {
        const std::string out = archive_.Dir() + "expected.bin";
        Oracle({"cut", DocPath(name), std::to_string(blockOffset), std::to_string(blockLength),
                std::to_string(offset), std::to_string(length), out});
        return localtest::ReadFile(out);
    }
    // Sets LOG of group 100 and logs on again.
    void SetLogging(int bits) {
        std::string groups = archive_.Table("ag");
        const size_t at = groups.find("LOG=0");
        ASSERT_NE(at, std::string::npos);
        groups.replace(at, 5, "LOG=" + std::to_string(bits));
        archive_.WriteTable("ag", groups);
        LogOn("ALICE", "Secret-1");
    }
    // System Log rows holding the words.
    std::vector<std::string> Logged(const std::string& words) const {
        std::vector<std::string> found;
        std::istringstream rows(localtest::ReadFile(archive_.Dir() + "index/System Log.rows"));
        for (std::string line; std::getline(rows, line);)
            if (line.find(words) != std::string::npos) found.push_back(line);
        return found;
    }

    TestArchive archive_;
    CsHandle handle_{};
    HandleGuard guard_{&handle_};
    FolderPtr folder_;
    SetPtr set_;
    const CsXdrApplGroup* group_ = nullptr;
    CsStorageNode* primary_ = nullptr;  // NODE1.ARCHIVE01, volume 1: the archive's data/
};

TEST_F(LocalRetrieve, SampleDocumentSlices) {
    const std::string stored = localtest::ReadFile(DocPath("1FAA"));
    ASSERT_EQ(stored.size(), 53u);
    char name[] = "1FAA";
    struct Case {
        const char* name;
        uint32_t blockOffset, blockLength, offset, length;
        std::string expected;
    };
    const Case cases[] = {
        {"the whole object", 0, 53, 0, 0, stored},
        {"a slice of the block", 0, 53, 8, 4, "4711"},
        {"a block inside the object", 34, 19, 0, 6, "Amount"},
        {"a slice of a block inside the object", 34, 19, 12, 6, "120.00"},
        {"a block to the object's end", 34, 0, 0, 0, stored.substr(34)},
    };
    for (const Case& c : cases) {
        CsXdrObjectRef object = Object(name, 'N', c.blockOffset, c.blockLength, c.offset, c.length);
        InvoiceHit hit(&object);
        Sink sink;
        const CsDocRequest request = Into(&sink);
        ASSERT_EQ(CsRetrieveDocData(&handle_, group_, primary_, nullptr, Indexed(&hit.hit), &request, 'N'),
                  CS_OK)
            << c.name;
        EXPECT_EQ(sink.data, c.expected) << c.name;
        EXPECT_EQ(object.location, 2) << c.name << ": from the node";
        EXPECT_EQ(hit.hit.noteFlag, 0) << c.name << ": no note letter, no note read";
    }
}

// The cache (the volume's folder under the archive) comes before the node.
TEST_F(LocalRetrieve, CacheBeforeNode) {
    localtest::WriteFile(archive_.Dir() + "ARCHIVE01/data/INVAG/DOC/1FAA", "the cached copy");
    char name[] = "1FAA";
    CsXdrObjectRef object = Object(name, 'N', 0, 15, 4, 6);
    InvoiceHit hit(&object);
    Sink sink;
    const CsDocRequest request = Into(&sink);
    ASSERT_EQ(CsRetrieveDocData(&handle_, group_, primary_, nullptr, Indexed(&hit.hit), &request, 'N'),
              CS_OK);
    EXPECT_EQ(sink.data, "cached");
    EXPECT_EQ(object.location, 1);
}

// The stored blocks start inside the second piece of the store (32767 bytes) and the large
// one ends inside the sixth: every window of the expanded block equals what Python's zlib
// makes of the same bytes.
TEST_F(LocalRetrieve, ZlibWindowsAcrossStorePieces) {
    const std::vector<Block> blocks = MakeObject("2FAA");
    ASSERT_EQ(blocks.size(), 2u);
    const Block& large = blocks[1];
    ASSERT_GT(large.length, 3u * 32767u);
    ASSERT_EQ(blocks[0].offset / 32767u, 1u) << "the blocks start inside the second piece";
    ASSERT_NE(large.offset % 32767u, 0u);
    ASSERT_NE((large.offset + large.length) % 32767u, 0u) << "the large block ends inside a piece";
    char name[] = "2FAA";
    struct Case {
        const char* name;
        Block block;
        uint32_t offset, length;
        char letter;
        size_t chunk;
    };
    const Case cases[] = {
        {"the small block, whole", blocks[0], 0, 0, 'N', 0},
        {"the small block, a slice", blocks[0], 30, 55, 'N', 0},
        {"the large block, whole", large, 0, 0, 'N', 0},
        {"a window inside the first expanded chunk", large, 100, 1000, 'N', 0},
        {"a window across expanded chunk bounds", large, 32000, 70000, 'N', 0},
        {"a window that runs to the end", large, 150001, 0, 'N', 0},
        {"the last byte", large, large.size - 1, 1, 'N', 0},
        {"small chunks", large, 5000, 20000, 'N', 999},
        {"compressed again as asked", large, 40000, 60000, 'O', 0},
    };
    for (const Case& c : cases) {
        CsXdrObjectRef object = Object(name, 'O', c.block.offset, c.block.length, c.offset, c.length);
        InvoiceHit hit(&object);
        Sink sink;
        const CsDocRequest request = Into(&sink, c.letter, c.chunk);
        ASSERT_EQ(CsRetrieveDocData(&handle_, group_, primary_, nullptr, Indexed(&hit.hit), &request, 'N'),
                  CS_OK)
            << c.name;
        const std::string expected = Expected("2FAA", c.block.offset, c.block.length, c.offset, c.length);
        ASSERT_FALSE(expected.empty()) << c.name;
        const std::string got = c.letter == 'O' ? Inflate(sink.data) : sink.data;
        EXPECT_EQ(got.size(), expected.size()) << c.name;
        EXPECT_TRUE(got == expected) << c.name;
        if (c.chunk != 0) {
            EXPECT_LE(sink.largest, c.chunk) << c.name;
        }
    }

    // Read as stored ('N'), the block is exactly its bytes of the object: nothing of the
    // pieces before it, after it or of the block next to it.
    const std::string stored = localtest::ReadFile(DocPath("2FAA"));
    for (const Block& b : blocks) {
        CsXdrObjectRef object = Object(name, 'N', b.offset, b.length, 0, 0);
        InvoiceHit hit(&object);
        Sink sink;
        const CsDocRequest request = Into(&sink);
        ASSERT_EQ(CsRetrieveDocData(&handle_, group_, primary_, nullptr, Indexed(&hit.hit), &request, 'N'),
                  CS_OK);
        EXPECT_EQ(sink.data.size(), b.length);
        EXPECT_TRUE(sink.data == stored.substr(b.offset, b.length)) << "block at " << b.offset;
    }
}

// A name with '$' is read from the object's start, whatever the stored block says.
TEST_F(LocalRetrieve, DollarNamesAreReadWhole) {
    const std::vector<Block> blocks = MakeObject("3FAA");
    ASSERT_EQ(blocks.size(), 2u);
    // The object starts with the large block: the oracle's object with its lead cut off.
    const std::string object = localtest::ReadFile(DocPath("3FAA"));
    localtest::WriteFile(DocPath("3FAA"), object.substr(blocks[1].offset));
    char name[] = "3FAA$";
    CsXdrObjectRef ref = Object(name, 'O', 77, 5, 1000, 2000);
    InvoiceHit hit(&ref);
    Sink sink;
    const CsDocRequest request = Into(&sink);
    ASSERT_EQ(CsRetrieveDocData(&handle_, group_, primary_, nullptr, Indexed(&hit.hit), &request, 'N'),
              CS_OK);
    const std::string expected = Expected("3FAA", 0, 0, 1000, 2000);
    ASSERT_EQ(expected.size(), 2000u);
    EXPECT_TRUE(sink.data == expected);
}

TEST_F(LocalRetrieve, Failures) {
    char name[] = "1FAA";
    char missing[] = "9ZZZ";
    CsXdrObjectRef object = Object(name, 'N', 0, 53, 0, 0);
    CsXdrObjectRef absent = Object(missing, 'N', 0, 10, 0, 0);
    CsXdrObjectRef corrupt = Object(name, 'O', 0, 53, 0, 0);
    Sink sink;
    const CsDocRequest request = Into(&sink);

    InvoiceHit noObject(nullptr);
    EXPECT_EQ(CsRetrieveDocData(&handle_, group_, primary_, nullptr, &noObject.hit, &request, 'N'),
              CS_FAILED);
    InvoiceHit notStored(&absent);
    EXPECT_EQ(CsRetrieveDocData(&handle_, group_, primary_, nullptr, Indexed(&notStored.hit), &request, 'N'),
              CS_FAILED);
    InvoiceHit notZlib(&corrupt);
    EXPECT_EQ(CsRetrieveDocData(&handle_, group_, primary_, nullptr, Indexed(&notZlib.hit), &request, 'N'),
              CS_FAILED);
    EXPECT_EQ(corrupt.location, 0) << "no location for a failed retrieval";
    CsDocRequest noCallback;
    InvoiceHit hit(&object);
    EXPECT_EQ(CsRetrieveDocData(&handle_, group_, primary_, nullptr, Indexed(&hit.hit), &noCallback, 'N'),
              CS_FAILED);
    EXPECT_EQ(CsRetrieveDocData(nullptr, group_, primary_, nullptr, &hit.hit, &request, 'N'), CS_FAILED);
    EXPECT_EQ(CsGetDocResources(&handle_, group_, primary_, nullptr, 0, nullptr, &request), CS_FAILED);

    // An unknown group number is refused by the tables, not taken from the record.
    CsXdrApplGroup unknown = *group_;
    unknown.number = 555;
    EXPECT_EQ(CsRetrieveDocData(&handle_, &unknown, primary_, nullptr, Indexed(&hit.hit), &request, 'N'),
              CS_FAILED);
    EXPECT_TRUE(sink.data.empty());
}

// The permission comes from the tables: a record that claims it does not help.
TEST_F(LocalRetrieve, WithoutRetrievePermission) {
    std::string perms = archive_.Table("agperms");
    const size_t at = perms.find("DOC_PERMS=11");
    ASSERT_NE(at, std::string::npos);
    perms.replace(at, 12, "DOC_PERMS=10");
    archive_.WriteTable("agperms", perms);
    LogOn("ALICE", "Secret-1");
    CsXdrApplGroup claimed = *group_;
    claimed.permissions = 0xFF;
    char name[] = "1FAA";
    CsXdrObjectRef object = Object(name, 'N', 0, 53, 0, 0);
    object.resourceId = 1;
    InvoiceHit hit(&object);
    Sink sink;
    const CsDocRequest request = Into(&sink);
    EXPECT_EQ(CsRetrieveDocData(&handle_, &claimed, primary_, nullptr, Indexed(&hit.hit), &request, 'N'),
              CS_NOT_AUTHORISED);
    EXPECT_EQ(CsGetDocResources(&handle_, &claimed, primary_, nullptr, 0, &object, &request),
              CS_NOT_AUTHORISED);
    EXPECT_TRUE(sink.data.empty());
    EXPECT_EQ(object.location, 0);
}

// Resource objects are named by their number; the sample's resource bytes stand as number 1,
// and number 2 holds them as a zlib object.
TEST_F(LocalRetrieve, Resources) {
    const std::string plain = localtest::ReadFile(ResPath("1FAA1"));
    ASSERT_EQ(plain, "RESOURCE GROUP 1\n");
    localtest::WriteFile(ResPath("1"), plain);
    uLongf size = compressBound(plain.size());
    std::string packed(size, '\0');
    ASSERT_EQ(compress(reinterpret_cast<Bytef*>(packed.data()), &size,
                       reinterpret_cast<const Bytef*>(plain.data()), plain.size()),
              Z_OK);
    packed.resize(size);
    localtest::WriteFile(ResPath("2"), packed);
    char name[] = "1FAA";
    struct Case {
        const char* name;
        uint32_t resourceId;
        char stored;
        char wanted;
        int rc;
        std::string expected;
    };
    const Case cases[] = {
        {"plain", 1, 'N', 'N', CS_OK, plain},
        {"expanded", 2, 'O', 'N', CS_OK, plain},
        {"compressed as asked", 1, 'N', 'O', CS_OK, plain},
        {"no resources", 0, 'N', 'N', CS_OK, ""},
        {"not stored", 3, 'N', 'N', CS_FAILED, ""},
    };
    for (const Case& c : cases) {
        CsXdrObjectRef object = Object(name, c.stored, 0, 53, 0, 0);
        object.resourceId = c.resourceId;
        Sink sink;
        const CsDocRequest request = Into(&sink, c.wanted);
        EXPECT_EQ(CsGetDocResources(&handle_, group_, primary_, nullptr, 0, &object, &request), c.rc)
            << c.name;
        EXPECT_EQ(c.wanted == 'O' ? Inflate(sink.data) : sink.data, c.expected) << c.name;
    }
}

TEST_F(LocalRetrieve, MessagesWhenTheGroupLogsRetrievals) {
    char name[] = "1FAA";
    CsXdrObjectRef object = Object(name, 'N', 0, 53, 8, 4);
    object.resourceId = 1;
    localtest::WriteFile(ResPath("1"), "resources\n");
    CsXdrApplEntry application{};
    std::strcpy(application.name, "INVAPP");
    application.number = 200;
    for (int logging : {0, int{CS_LOG_RETRIEVALS}}) {
        SetLogging(logging);
        InvoiceHit hit(&object);
        Sink sink;
        CsDocRequest request = Into(&sink);
        request.application = &application;
        ASSERT_EQ(CsRetrieveDocData(&handle_, group_, primary_, nullptr, Indexed(&hit.hit), &request, 'N'),
                  CS_OK);
        ASSERT_EQ(CsGetDocResources(&handle_, group_, primary_, nullptr, 0, &object, &request), CS_OK);
        EXPECT_EQ(sink.data, "4711resources\n");
        const std::vector<std::string> docs = Logged("ApplGroup DocGet: ");
        const std::vector<std::string> resources = Logged("ApplGroup ResGet: ");
        if (logging == 0) {
            EXPECT_TRUE(docs.empty());
            EXPECT_TRUE(resources.empty());
            continue;
        }
        ASSERT_EQ(docs.size(), 1u);
        EXPECT_NE(docs[0].find(
                      "Name(INVOICES) Agid(100) ApplName(INVAPP) Aid(200) NodeName(NODE1.ARCHIVE01) Nid(1) "
                      "Server(-LOCAL-) Time("),
                  std::string::npos)
            << docs[0];
        EXPECT_NE(docs[0].find(") Flds('4711')"), std::string::npos) << docs[0];
        // The first read copied the resource object into the cache.
        ASSERT_EQ(resources.size(), 1u);
        EXPECT_NE(
            resources[0].find("Name(INVOICES) Agid(100) NodeName(-CACHE-) Nid(1) Server(-LOCAL-) Time("),
            std::string::npos)
            << resources[0];
    }
}

TEST_F(LocalRetrieve, NoteFlagIsReadForAnUnknownFlagOnly) {
    char name[] = "1FAA";
    struct Case {
        const char* name;
        int noteLetter;
        uint8_t before;
        uint8_t after;
    };
    const Case cases[] = {
        {"unknown, asked", 'Y', 0, 'N'},
        {"unknown, not asked", 'N', 0, 0},
        {"known has notes", 'Y', 'Y', 'Y'},
        {"known without notes", 'Y', 'N', 'N'},
    };
    for (const Case& c : cases) {
        CsXdrObjectRef object = Object(name, 'N', 0, 53, 0, 4);
        InvoiceHit hit(&object);
        hit.hit.noteFlag = c.before;
        Sink sink;
        const CsDocRequest request = Into(&sink);
        ASSERT_EQ(
            CsRetrieveDocData(&handle_, group_, primary_, nullptr, Indexed(&hit.hit), &request, c.noteLetter),
            CS_OK)
            << c.name;
        EXPECT_EQ(hit.hit.noteFlag, c.after) << c.name;
    }
}

// ---------------------------------------------------------------- remote

// The peer's generated document of `size` bytes (peer_script.py generate_document).
std::string PeerDocument(size_t size) {
    std::string out;
    char line[80];
    for (int n = 0; out.size() < size; ++n) {
        std::snprintf(line, sizeof line, "%08d the archive peer sends this line of a long document\n", n);
        out += line;
    }
    return out.substr(0, size);
}

using logontest::CountRequests;

class RemoteRetrieve : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(logontest::LogOnToFolder(&handle_, peer_, &folder_));
        ASSERT_EQ(folder_->groupCount, 1u);
        group_ = &folder_->groups[0];
    }
    void TearDown() override {
        folder_.reset();
        EXPECT_EQ(CsLogoff(&handle_), CS_OK);
    }

    qel_peer::PeerProcess peer_{qel_peer::Script("basic.json")};
    CsHandle handle_{};
    HandleGuard guard_{&handle_};
    FolderPtr folder_;
    const CsXdrApplGroup* group_ = nullptr;
};

TEST_F(RemoteRetrieve, Documents) {
    char plainName[] = "PLAIN";
    char longName[] = "DOC00001";
    struct Case {
        const char* name;
        char* object;
        char wanted;
        size_t chunk;
        std::string expected;
    };
    const Case cases[] = {
        {"one plain piece", plainName, 'N', 0, "a plain document\n"},
        {"zlib pieces expanded", longName, 'N', 0, PeerDocument(100000)},
        {"in small chunks", longName, 'N', 1000, PeerDocument(100000)},
        {"compressed as asked", longName, 'O', 0, PeerDocument(100000)},
    };
    for (const Case& c : cases) {
        CsXdrObjectRef object = Object(c.object, 'O', 0, 0, 0, 0);
        CsXdrHitRow hit{};
        hit.object = &object;
        Sink sink;
        const CsDocRequest request = Into(&sink, c.wanted, c.chunk);
        ASSERT_EQ(CsRetrieveDocData(&handle_, group_, nullptr, nullptr, &hit, &request, 'N'), CS_OK)
            << c.name;
        const std::string got = c.wanted == 'O' ? Inflate(sink.data) : sink.data;
        EXPECT_TRUE(got == c.expected) << c.name << ": " << got.size() << " bytes";
        if (c.chunk != 0) {
            EXPECT_LE(sink.largest, c.chunk) << c.name;
        }
        EXPECT_EQ(object.location, 1) << c.name << ": the server's location byte";
    }
    const std::vector<std::string> sent = peer_.Events("request");
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(qel_peer::JsonValue(sent.back(), "code"), "101");
    EXPECT_NE(sent.back().find("\"application\": {"), std::string::npos);
}

TEST_F(RemoteRetrieve, FailuresAndNotes) {
    char name[] = "PLAIN";
    CsXdrObjectRef object = Object(name, 'N', 0, 0, 0, 0);
    CsXdrHitRow hit{};
    Sink sink;
    const CsDocRequest request = Into(&sink);
    EXPECT_EQ(CsRetrieveDocData(&handle_, group_, nullptr, nullptr, &hit, &request, 'N'), CS_FAILED)
        << "no object reference";
    EXPECT_EQ(CountRequests(peer_, 101), 0);

    // The notes of a hit with an unknown note flag are counted through request 69.
    hit.object = &object;
    ASSERT_EQ(CsRetrieveDocData(&handle_, group_, nullptr, nullptr, &hit, &request, 'Y'), CS_OK);
    EXPECT_EQ(hit.noteFlag, 'Y');
    EXPECT_EQ(CountRequests(peer_, 69), 1);
    ASSERT_EQ(CsRetrieveDocData(&handle_, group_, nullptr, nullptr, &hit, &request, 'Y'), CS_OK);
    EXPECT_EQ(CountRequests(peer_, 69), 1) << "a known flag is not read again";
}

TEST_F(RemoteRetrieve, Resources) {
    char name[] = "DOC00001";
    struct Case {
        const char* name;
        uint32_t group;
        uint32_t resourceId;
        std::string expected;
        int requests;
    };
    const Case cases[] = {
        {"the group's own", 5, 1, "resources of group 5\n", 1},
        {"the default, zlib pieces", 6, 1, PeerDocument(40000), 1},
        {"none", 5, 0, "", 0},
    };
    for (const Case& c : cases) {
        const int before = CountRequests(peer_, 62);
        CsXdrApplGroup group = *group_;
        group.number = c.group;
        CsXdrObjectRef object = Object(name, 'O', 0, 0, 0, 0);
        object.resourceId = c.resourceId;
        Sink sink;
        const CsDocRequest request = Into(&sink);
        ASSERT_EQ(CsGetDocResources(&handle_, &group, nullptr, nullptr, 0, &object, &request), CS_OK)
            << c.name;
        EXPECT_TRUE(sink.data == c.expected) << c.name << ": " << sink.data.size() << " bytes";
        EXPECT_EQ(CountRequests(peer_, 62) - before, c.requests) << c.name;
    }
}

// ---------------------------------------------------------------- routed

using RoutedRetrieve = routedtest::RoutedPeers;

TEST_F(RoutedRetrieve, RequestsGoToTheServerOfTheNodes) {
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
    char name[] = "DOC1";
    for (const Case& c : cases) {
        const int firstBefore = CountRequests(first_, 101) + CountRequests(first_, 62);
        const int secondBefore = CountRequests(second_, 101) + CountRequests(second_, 62);
        CsXdrObjectRef object = Object(name, 'N', 0, 0, 0, 0);
        object.resourceId = 3;
        CsXdrHitRow hit{};
        hit.object = &object;
        Sink sink;
        const CsDocRequest request = Into(&sink);
        ASSERT_EQ(CsRetrieveDocDataRouted(&handle_, group_, c.primary, c.secondary, &hit, &request, 'N'),
                  CS_OK)
            << c.name;
        ASSERT_EQ(CsGetDocResourcesRouted(&handle_, group_, c.primary, c.secondary, 0, &object, &request),
                  CS_OK)
            << c.name;
        EXPECT_EQ(sink.data, "routed document\nrouted resources\n") << c.name;
        EXPECT_EQ(object.location, 2) << c.name;
        EXPECT_EQ(CountRequests(first_, 101) + CountRequests(first_, 62) - firstBefore, 2 * c.onFirst)
            << c.name;
        EXPECT_EQ(CountRequests(second_, 101) + CountRequests(second_, 62) - secondBefore, 2 * c.onSecond)
            << c.name;
    }
}

}  // namespace
