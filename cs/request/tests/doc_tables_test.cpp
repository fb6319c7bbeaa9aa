// Document-table streams: our reader and writer against the Python oracle (written from
// docs/doc-tables.md) both ways under every flag combination, any split of a stream,
// truncated and damaged streams, the writer's refusals and object references from a read
// table.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "arc_codepage.h"
#include "arc_platform.h"
#include "qel_cs.h"
#include "qel_cswire.h"

namespace {

using Bytes = std::vector<unsigned char>;

ArcIconvContext* CodePages() {
    static ArcIconvContext* context = [] {
        ArcIconvContext* c = nullptr;
        return ArcICONV_Startup(&c, QEL_STAGE_DIR "/locale") == 0 ? c : nullptr;
    }();
    return context;
}

struct TablesDeleter {
    void operator()(CsDocTables* t) const { CsFreeDocTables(t, 1); }
};
using TablesPtr = std::unique_ptr<CsDocTables, TablesDeleter>;

std::string Hex(const std::string& text) {
    if (text.empty()) return "-";
    std::string out;
    char two[3];
    for (unsigned char c : text) {
        std::snprintf(two, sizeof two, "%02x", c);
        out += two;
    }
    return out;
}

// Hex digits to bytes; spaces are for reading only.
Bytes FromHex(const std::string& text) {
    std::string hex;
    for (char c : text)
        if (c != ' ') hex += c;
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// The record in the oracle's text form.
std::string Describe(const CsDocTables& t) {
    std::ostringstream out;
    out << "flags " << t.flags << "\ncodepage " << t.codePage << "\ntotal " << t.total << "\nperobject "
        << t.perObject << "\n";
    for (uint32_t i = 0; i < t.objects.size(); ++i) {
        const CsDocObjectEntry& e = t.objects[i];
        out << "object " << e.offset << " " << e.length << " " << Hex(std::string(e.name, strnlen(e.name, 4)))
            << "\n";
    }
    for (const std::string& name : t.groupNames) out << "group " << Hex(name) << "\n";
    for (const auto& block : t.blocks) {
        for (const CsDocPageEntry& entry : block) {
            out << "page " << entry.page << " " << Hex(entry.name) << "\n";
            for (const CsDocValue& v : entry.values)
                out << "value " << int{v.group} << " " << v.kind << " " << Hex(v.text) << "\n";
        }
    }
    out << "end\n";
    return out.str();
}

// The derived fields of a complete record agree with its counts and tables.
void ExpectShape(const CsDocTables& t) {
    const uint32_t count = static_cast<uint32_t>((uint64_t{t.total} + t.perObject - 1) / t.perObject);
    EXPECT_EQ(t.objectCount, count);
    EXPECT_EQ(t.objects.size(), count > 1 ? count - 1 : 0);
    EXPECT_EQ(t.objects.perPage(), count > 1 ? std::min<uint32_t>(count - 1, 2000) : 1);
    for (const auto& page : t.objects.pages()) EXPECT_LE(page.size(), t.objects.perPage());
    uint32_t entries = 0;
    for (const auto& block : t.blocks) entries += static_cast<uint32_t>(block.size());
    EXPECT_EQ(t.pageEntryCount, entries);
    EXPECT_EQ(t.entriesPerBlock, t.blocks.size() == 1 ? entries : 1000u);
    for (uint32_t i = 0; i < entries; ++i)
        ASSERT_EQ(t.PageEntry(i), &t.blocks[i / t.entriesPerBlock][i % t.entriesPerBlock]) << i;
    EXPECT_EQ(t.PageEntry(entries), nullptr);
    EXPECT_EQ(t.reader, nullptr);
}

// Reads a stream in pieces of `step` bytes (0: one piece) and ends it: the result and
// the record (null on failure).
int Read(const Bytes& stream, size_t step, TablesPtr* out, ArcIconvContext* pages = CodePages()) {
    CsDocTables* t = nullptr;
    if (step == 0) step = stream.size() > 0 ? stream.size() : 1;
    size_t at = 0;
    int rc = CS_OK;
    bool first = true;
    do {
        const size_t n = std::min(step, stream.size() - at);
        rc = CsConvertDocument(pages, stream.data() + at, n, first ? 1 : 0, &t);
        first = false;
        at += n;
        if (rc != CS_OK) {
            EXPECT_EQ(t, nullptr);
            out->reset();
            return rc;
        }
    } while (at < stream.size());
    rc = CsEndDocTables(&t);
    out->reset(t);
    return rc;
}

struct Collected {
    Bytes bytes;
    size_t pieces = 0;
    size_t largest = 0;
    static int Take(void* context, const unsigned char* data, size_t length) {
        auto* self = static_cast<Collected*>(context);
        self->bytes.insert(self->bytes.end(), data, data + length);
        ++self->pieces;
        self->largest = std::max(self->largest, length);
        return 1;
    }
};

int Write(const CsDocTables& t, Collected* out, ArcIconvContext* pages = CodePages()) {
    return CsWriteDocTables(pages, &t, out, Collected::Take);
}

// Runs the oracle on an input file; its output.
std::string Oracle(const char* verb, const std::string& input) {
    char path[] = "/tmp/doc_tables_oracle_XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return "";
    close(fd);
    std::ofstream(path) << input;
    ArcOSPipe pipe;
    std::string out;
    if (ArcOS_PipeOpen({QEL_PEER_PYTHON, DOC_TABLES_ORACLE, verb, path}, "r", &pipe) == 0) {
        char buffer[4096];
        while (std::fgets(buffer, sizeof buffer, pipe.stream) != nullptr) out += buffer;
        ArcOS_PipeClose(&pipe);
    }
    std::remove(path);
    return out;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The oracle's descriptions, one per "end".
std::vector<std::string> Descriptions(const std::string& text) {
    std::vector<std::string> out(1);
    for (const std::string& line : Lines(text)) {
        out.back() += line + "\n";
        if (line == "end") out.emplace_back();
    }
    out.pop_back();
    return out;
}

std::string Text(std::mt19937& random, size_t most) {
    std::string text(std::uniform_int_distribution<size_t>(0, most)(random), ' ');
    for (char& c : text) c = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random));
    return text;
}

// Random tables that read back as written under their flags: computed offsets follow
// the rule, every page entry is written (values, or a name under page names).
TablesPtr Generate(std::mt19937& random, uint32_t flags, bool large = false) {
    auto number = [&](uint32_t low, uint32_t high) {
        return std::uniform_int_distribution<uint32_t>(low, high)(random);
    };
    TablesPtr t(new CsDocTables);
    t->flags = flags;
    t->codePage = (flags & CS_DOCTAB_CODE_PAGE) ? number(0, UINT32_MAX) : 850;
    t->perObject = large ? 1 : number(1, 12);
    t->total = large ? 4500 : number(0, 60);
    t->objectCount = static_cast<uint32_t>((uint64_t{t->total} + t->perObject - 1) / t->perObject);
    const uint32_t entries = t->objectCount > 1 ? t->objectCount - 1 : 0;
    t->objects.Reset(static_cast<uint16_t>(entries > 0 ? std::min<uint32_t>(entries, 2000) : 1));
    static const char* kNames[] = {"AA", "AB", "X", "XYZ"};
    const char* name = kNames[number(0, 3)];
    for (uint32_t i = 0; i < entries; ++i) {
        if (number(0, 3) == 0) name = kNames[number(0, 3)];
        CsDocObjectEntry& e = t->objects.Add();
        std::strcpy(e.name, name);
        e.length = number(0, 100000);
        e.offset = number(0, 1000000);
        if (i > 0 && (flags & CS_DOCTAB_COMPUTED_OFFSETS)) {
            const CsDocObjectEntry& p = t->objects[i - 1];
            e.offset = std::strcmp(p.name, e.name) != 0 ? 0 : p.offset + p.length;
        }
    }
    const uint32_t groups = number(0, 3);
    for (uint32_t i = 0; i < groups; ++i) t->groupNames.push_back(Text(random, i == 2 ? 127 : 12));
    const uint32_t pages = std::min<uint32_t>(t->total, large ? 1200 : number(0, 30));
    for (uint32_t i = 0; i < pages; ++i) {
        CsDocPageEntry& entry = t->AddPageEntry();
        entry.page = number(1, t->total);
        if (flags & CS_DOCTAB_PAGE_NAMES) entry.name = Text(random, 20);
        const bool named = !entry.name.empty();
        const uint32_t values = groups == 0 ? 0 : number(named ? 0 : 1, 4);
        for (uint32_t v = 0; v < values; ++v)
            entry.values.push_back(
                {static_cast<uint8_t>(number(0, groups - 1)), number(0, UINT32_MAX), Text(random, 30)});
        if (entry.values.empty() && entry.name.empty()) {
            if (flags & CS_DOCTAB_PAGE_NAMES) {
                entry.name = "p";
            } else {
                t->blocks.back().pop_back();  // nothing of it would be written
                --t->pageEntryCount;
            }
        }
    }
    return t;
}

std::vector<TablesPtr> Corpus() {
    std::mt19937 random(2137);
    std::vector<TablesPtr> all;
    for (uint32_t flags = 0; flags < 16; ++flags) {
        for (int i = 0; i < 6; ++i) all.push_back(Generate(random, flags));
        all.push_back(Generate(random, flags, true));
    }
    return all;
}

class DocTablesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(CodePages(), nullptr); }
};

TEST_F(DocTablesTest, OracleWritesWeReadTheSame) {
    const auto corpus = Corpus();
    std::string input;
    for (const auto& t : corpus) input += Describe(*t);
    const auto streams = Lines(Oracle("write", input));
    ASSERT_EQ(streams.size(), corpus.size());
    for (size_t i = 0; i < corpus.size(); ++i) {
        TablesPtr read;
        ASSERT_EQ(Read(FromHex(streams[i]), 0, &read), CS_OK) << "case " << i;
        EXPECT_EQ(Describe(*read), Describe(*corpus[i])) << "case " << i;
        ExpectShape(*read);
    }
}

TEST_F(DocTablesTest, WeWriteOracleReadsTheSame) {
    const auto corpus = Corpus();
    std::string input;
    for (const auto& t : corpus) {
        Collected out;
        ASSERT_EQ(Write(*t, &out), CS_OK);
        input += Hex(std::string(out.bytes.begin(), out.bytes.end())) + "\n";
        // Every page of object entries and every 512 bytes short of the buffer go on.
        EXPECT_LE(out.largest, std::max<size_t>(32767, t->objects.perPage() * 12u + 16));
        EXPECT_GE(out.pieces, std::max<size_t>(t->objects.pages().size(), 1));
    }
    const auto read = Descriptions(Oracle("read", input));
    ASSERT_EQ(read.size(), corpus.size());
    for (size_t i = 0; i < corpus.size(); ++i) EXPECT_EQ(read[i], Describe(*corpus[i])) << "case " << i;
}

TEST_F(DocTablesTest, AnySplitReadsToTheSameRecord) {
    std::mt19937 random(7);
    for (uint32_t flags : {0x00u, 0x02u, 0x0Du, 0x0Fu}) {
        const TablesPtr t = Generate(random, flags);
        Collected out;
        ASSERT_EQ(Write(*t, &out), CS_OK);
        const std::string expected = Describe(*t);
        for (size_t step = 1; step <= 9; ++step) {
            TablesPtr read;
            ASSERT_EQ(Read(out.bytes, step, &read), CS_OK) << step;
            EXPECT_EQ(Describe(*read), expected) << "pieces of " << step;
        }
        // Two pieces cut at every boundary.
        for (size_t cut = 0; cut <= out.bytes.size(); ++cut) {
            CsDocTables* raw = nullptr;
            ASSERT_EQ(CsConvertDocument(CodePages(), out.bytes.data(), cut, 1, &raw), CS_OK);
            ASSERT_EQ(CsConvertDocument(CodePages(), out.bytes.data() + cut, out.bytes.size() - cut, 0, &raw),
                      CS_OK);
            ASSERT_EQ(CsEndDocTables(&raw), CS_OK) << cut;
            TablesPtr read(raw);
            EXPECT_EQ(Describe(*read), expected) << "cut at " << cut;
        }
    }
}

// Every cut short of the end word fails at the end; every damaged byte gives a failure
// or a whole, consistent record.
TEST_F(DocTablesTest, TruncatedAndDamagedStreams) {
    std::mt19937 random(11);
    for (uint32_t flags : {0x02u, 0x0Du}) {
        const TablesPtr t = Generate(random, flags);
        Collected out;
        ASSERT_EQ(Write(*t, &out), CS_OK);
        for (size_t length = 0; length < out.bytes.size(); ++length) {
            TablesPtr read;
            const Bytes cut(out.bytes.begin(), out.bytes.begin() + static_cast<long>(length));
            EXPECT_EQ(Read(cut, length % 5 + 1, &read), CS_FAILED) << length;
            EXPECT_EQ(read, nullptr);
        }
        for (size_t at = 0; at < out.bytes.size(); ++at) {
            for (unsigned char flip : {0x01, 0x80, 0xFF}) {
                Bytes damaged = out.bytes;
                damaged[at] ^= flip;
                TablesPtr read;
                const int rc = Read(damaged, 3, &read);
                ASSERT_TRUE(rc == CS_OK || rc == CS_FAILED) << at << " " << rc;
                if (rc == CS_OK) {
                    ExpectShape(*read);
                    for (const auto& block : read->blocks)
                        for (const auto& entry : block)
                            for (const auto& v : entry.values) EXPECT_LT(v.group, read->groupNames.size());
                }
            }
        }
    }
}

// Hand-made streams: the edge cases and the faults the reader refuses.
TEST_F(DocTablesTest, StreamCases) {
    const std::string end = "00 00000000";  // no group names, end word
    struct Case {
        int line;
        std::string hex;  // spaces are for reading only
        int rc;
        std::string objects;  // "offset/length/name ..." when rc is 0
    };
    const Case cases[] = {
        {__LINE__, "00000000 0000000a 0000000a" + end, CS_OK, ""},
        {__LINE__, "00000000 00000019 0000000a 00000005 00000006 024141 00000010 00000003 00" + end, CS_OK,
         "5/6/AA 16/3/AA"},
        // Computed offsets: AA, the same, AB: the second follows the first, AB starts anew.
        {__LINE__, "00000002 00000028 0000000a 00000005 00000006 024141 00000003 00 00000004 024142" + end,
         CS_OK, "5/6/AA 11/3/AA 0/4/AB"},
        {__LINE__, "00000008 00000025 00000000 0000000a" + end, CS_OK, ""},  // code page 37
        {__LINE__, "00000000 0000000a 00000000" + end, CS_FAILED, ""},       // per object 0
        {__LINE__, "00000000 00000014 0000000a 00000001 00000002 0441424344" + end, CS_FAILED, ""},
        {__LINE__, "00000000 00000014 0000000a 00000001 00000002 02410000" + end, CS_FAILED,
         ""},  // zero byte
        {__LINE__, "00000002 0000001e 0000000a fffffff0 00000020 0141 00000001 00" + end, CS_FAILED, ""},
        // A value's group index equal to the count; one below it.
        {__LINE__, "00000000 00000001 00000001 01 0147 00000001 01 01 00000000 00 00000000", CS_FAILED, ""},
        {__LINE__, "00000000 00000001 00000001 01 0147 00000001 01 00 00000000 00 00000000", CS_OK, ""},
        // Two page entries for one page.
        {__LINE__, "00000000 00000001 00000001 00 00000001 00 00000001 00 00000000", CS_FAILED, ""},
        // Bytes after the end word are not read.
        {__LINE__, "00000000 00000001 00000001 00 00000000 ffffffff", CS_OK, ""},
        // A huge count with no entries behind it: nothing reserved, the stream ends early.
        {__LINE__, "00000000 ffffffff 00000001 00000001", CS_FAILED, ""},
        {__LINE__, "", CS_FAILED, ""},
    };
    for (const Case& c : cases) {
        TablesPtr read;
        ASSERT_EQ(Read(FromHex(c.hex), 0, &read), c.rc) << "line " << c.line;
        if (c.rc != CS_OK) continue;
        std::string objects;
        for (uint32_t i = 0; i < read->objects.size(); ++i) {
            const auto& e = read->objects[i];
            objects +=
                (i ? " " : "") + std::to_string(e.offset) + "/" + std::to_string(e.length) + "/" + e.name;
        }
        EXPECT_EQ(objects, c.objects) << "line " << c.line;
        ExpectShape(*read);
    }
}

TEST_F(DocTablesTest, LengthBytesAreUnsigned) {
    const std::string name(200, 'g');
    Bytes stream = FromHex("00000000000000010000000101c8");
    stream.insert(stream.end(), name.begin(), name.end());
    for (unsigned char b : FromHex("00000000")) stream.push_back(b);
    TablesPtr read;
    ASSERT_EQ(Read(stream, 7, &read), CS_OK);
    ASSERT_EQ(read->groupNames.size(), 1u);
    EXPECT_EQ(read->groupNames[0], name);
    // Readers of other makes take a length as signed: we do not write what they cannot read.
    Collected out;
    EXPECT_EQ(Write(*read, &out), CS_FAILED);
    EXPECT_TRUE(out.bytes.empty());
}

TEST_F(DocTablesTest, PiecesAfterTheEndAndContinuedCalls) {
    const Bytes stream = FromHex("000000000000000100000001000000000000");
    CsDocTables* t = nullptr;
    ASSERT_EQ(CsConvertDocument(CodePages(), stream.data(), stream.size(), 1, &t), CS_OK);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->reader, nullptr);
    EXPECT_EQ(CsConvertDocument(CodePages(), "\xff\xff", 2, 0, &t), CS_OK);
    EXPECT_EQ(CsEndDocTables(&t), CS_OK);
    EXPECT_EQ(t->pageEntryCount, 0u);
    CsFreeDocTables(t, 1);
    CsFreeDocTables(nullptr, 1);

    t = nullptr;
    EXPECT_EQ(CsConvertDocument(CodePages(), stream.data(), 4, 0, &t), CS_FAILED);  // no record to continue
    EXPECT_EQ(CsEndDocTables(&t), CS_FAILED);
    EXPECT_EQ(CsConvertDocument(CodePages(), nullptr, 4, 1, &t), CS_FAILED);
    EXPECT_EQ(t, nullptr);
    EXPECT_EQ(CsConvertDocument(CodePages(), stream.data(), 4, 1, nullptr), CS_FAILED);
}

TEST_F(DocTablesTest, NoConverter) {
    // Object names need the converter; a table without them does not.
    const Bytes named = FromHex("00000000 00000014 0000000a 00000001 00000002 0141 00 00000000");
    const Bytes unnamed = FromHex("00000000 00000014 0000000a 00000001 00000002 00 00 00000000");
    TablesPtr read;
    EXPECT_EQ(Read(named, 0, &read, nullptr), CS_DOCTAB_NO_CONVERTER);
    EXPECT_EQ(read, nullptr);
    ASSERT_EQ(Read(unnamed, 0, &read, nullptr), CS_OK);
    Collected out;
    EXPECT_EQ(Write(*read, &out, nullptr), CS_OK);
    EXPECT_EQ(out.bytes, unnamed);

    ASSERT_EQ(Read(named, 0, &read), CS_OK);
    Collected none;
    EXPECT_EQ(Write(*read, &none, nullptr), CS_DOCTAB_NO_CONVERTER);
    EXPECT_TRUE(none.bytes.empty());
}

// Page entries with nothing to carry are left out; names go only with page names.
TEST_F(DocTablesTest, WriterLeavesOutEmptyPageEntries) {
    TablesPtr t(new CsDocTables);
    t->total = 5;
    t->perObject = 5;
    t->objectCount = 1;
    t->groupNames = {"G"};
    t->AddPageEntry() = {1, "", {}};
    t->AddPageEntry() = {2, "two", {}};
    t->AddPageEntry() = {3, "", {{0, 9, "v"}}};
    for (uint32_t flags : {0u, unsigned{CS_DOCTAB_PAGE_NAMES}}) {
        t->flags = flags;
        Collected out;
        ASSERT_EQ(Write(*t, &out), CS_OK);
        TablesPtr read;
        ASSERT_EQ(Read(out.bytes, 0, &read), CS_OK);
        std::string pages;
        for (const auto& block : read->blocks)
            for (const auto& entry : block) pages += std::to_string(entry.page) + ":" + entry.name + " ";
        EXPECT_EQ(pages, flags ? "2:two 3: " : "3: ") << flags;
    }
}

// Records that would not read back as they are: refused before anything is written.
TEST_F(DocTablesTest, WriterRefusesWhatWouldNotReadBack) {
    auto base = [] {
        TablesPtr t(new CsDocTables);
        t->total = 30;
        t->perObject = 10;
        t->objectCount = 3;
        t->objects.Reset(2);
        t->objects.Add() = {100, 10, "AA"};
        t->objects.Add() = {110, 5, "AA"};
        t->groupNames = {"G"};
        t->AddPageEntry() = {1, "one", {{0, 1, "x"}}};
        return t;
    };
    struct Case {
        int line;
        void (*spoil)(CsDocTables*);
        int rc;
    };
    const Case cases[] = {
        {__LINE__, [](CsDocTables*) {}, CS_OK},
        {__LINE__, [](CsDocTables* t) { t->flags = CS_DOCTAB_COMPUTED_OFFSETS; }, CS_OK},
        {__LINE__, [](CsDocTables* t) { t->perObject = 0; }, CS_FAILED},
        {__LINE__, [](CsDocTables* t) { t->objectCount = 4; }, CS_FAILED},
        {__LINE__, [](CsDocTables* t) { t->total = 40, t->objectCount = 4; }, CS_FAILED},  // table too short
        {__LINE__, [](CsDocTables* t) { std::memcpy(t->objects[1].name, "ABCD", 4); }, CS_FAILED},
        {__LINE__, [](CsDocTables* t) { t->objects[1].name[0] = 0; }, CS_FAILED},
        {__LINE__, [](CsDocTables* t) { t->flags = CS_DOCTAB_COMPUTED_OFFSETS, t->objects[1].offset = 111; },
         CS_FAILED},
        {__LINE__, [](CsDocTables* t) { t->blocks[0][0].page = 0; }, CS_FAILED},
        {__LINE__, [](CsDocTables* t) { t->total = 0, t->objectCount = 0, t->objects.Reset(1); }, CS_FAILED},
        {__LINE__, [](CsDocTables* t) { t->blocks[0][0].values[0].group = 1; }, CS_FAILED},
        {__LINE__, [](CsDocTables* t) { t->blocks[0][0].values[0].text.assign(128, 'x'); }, CS_FAILED},
        {__LINE__, [](CsDocTables* t) { t->blocks[0][0].values[0].text.assign(127, 'x'); }, CS_OK},
        {__LINE__, [](CsDocTables* t) { t->groupNames[0].assign(128, 'g'); }, CS_FAILED},
        {__LINE__, [](CsDocTables* t) { t->groupNames.resize(256); }, CS_FAILED},
        {__LINE__, [](CsDocTables* t) { t->blocks[0][0].values.resize(256); }, CS_FAILED},
        // A name too long for readers of other makes, written only with page names.
        {__LINE__, [](CsDocTables* t) { t->blocks[0][0].name.assign(128, 'n'); }, CS_OK},
        {__LINE__,
         [](CsDocTables* t) { t->flags = CS_DOCTAB_PAGE_NAMES, t->blocks[0][0].name.assign(128, 'n'); },
         CS_FAILED},
    };
    for (const Case& c : cases) {
        TablesPtr t = base();
        c.spoil(t.get());
        Collected out;
        ASSERT_EQ(Write(*t, &out), c.rc) << "line " << c.line;
        if (c.rc != CS_OK) {
            EXPECT_TRUE(out.bytes.empty()) << "line " << c.line;
            continue;
        }
        TablesPtr read;
        ASSERT_EQ(Read(out.bytes, 0, &read), CS_OK) << "line " << c.line;
        if (!(t->flags & CS_DOCTAB_PAGE_NAMES)) t->blocks[0][0].name.clear();
        EXPECT_EQ(Describe(*read), Describe(*t)) << "line " << c.line;
    }
}

// The object table of a read stream serves CsMakeObjectRef across its pages.
TEST_F(DocTablesTest, ObjectReferencesFromAReadTable) {
    std::mt19937 random(5);
    const TablesPtr written = Generate(random, 0, true);  // 4499 entries in pages of 2000
    Collected out;
    ASSERT_EQ(Write(*written, &out), CS_OK);
    TablesPtr t;
    ASSERT_EQ(Read(out.bytes, 1000, &t), CS_OK);
    ASSERT_EQ(t->objects.pages().size(), 3u);
    const CsObjectPages view = t->objects.View();
    EXPECT_EQ(view.count, 4499u);
    EXPECT_EQ(view.perPage, 2000);
    char name[] = "1FAAA$";
    CsXdrObjectRef templ{};
    templ.name = name;
    for (int n : {1, 2000, 2001, 4001, 4499}) {
        const CsDocObjectEntry& entry = written->objects[static_cast<uint32_t>(n - 1)];
        CsXdrObjectRef ref{};
        ASSERT_EQ(CsMakeObjectRef(&view, n, &templ, &ref), entry.name[1] ? CS_OK : CS_FAILED) << n;
        if (ref.name == nullptr) continue;
        EXPECT_EQ(ref.compressedOffset, entry.offset) << n;
        EXPECT_EQ(ref.compressedLength, entry.length) << n;
        EXPECT_EQ(std::string(ref.name), std::string("1FA") + entry.name[0] + entry.name[1]) << n;
        std::free(ref.name);
    }
    CsXdrObjectRef ref{};
    EXPECT_EQ(CsMakeObjectRef(&view, 4500, &templ, &ref), CS_FAILED);
}

// Freeing without `whole` keeps the record and its object table.
TEST_F(DocTablesTest, FreeingPartOfARecord) {
    std::mt19937 random(3);
    const TablesPtr written = Generate(random, CS_DOCTAB_PAGE_NAMES);
    Collected out;
    ASSERT_EQ(Write(*written, &out), CS_OK);
    CsDocTables* t = nullptr;
    ASSERT_EQ(CsConvertDocument(CodePages(), out.bytes.data(), out.bytes.size() - 2, 1, &t), CS_OK);
    ASSERT_NE(t->reader, nullptr);
    CsFreeDocTables(t, 0);
    EXPECT_EQ(t->reader, nullptr);
    EXPECT_TRUE(t->blocks.empty());
    EXPECT_TRUE(t->groupNames.empty());
    EXPECT_EQ(t->pageEntryCount, 0u);
    EXPECT_EQ(t->objects.size(), written->objects.size());
    CsFreeDocTables(t, 1);
}

}  // namespace
