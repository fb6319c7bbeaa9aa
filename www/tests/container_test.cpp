// The viewer container: the packers byte for byte, full containers of open documents
// read back by the independent reader (container_reader.py), segment leads, the segment
// URL, and the memory output of retrievals.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "arc_platform.h"
#include "client_test_support.h"
#include "doc_test_tables.h"
#include "document_fixture.h"
#include "documents.h"
#include "folder_fixture.h"
#include "www_test_support.h"

namespace {

using namespace qelwww::detail;

std::string Hex(const unsigned char* bytes, size_t length) {
    std::string out;
    char two[3];
    for (size_t i = 0; i < length; ++i) {
        std::snprintf(two, sizeof two, "%02X", bytes[i]);
        out += two;
    }
    return out;
}
std::string Hex(std::string_view bytes) {
    return Hex(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}
std::string NoBlanks(std::string text) {
    std::erase(text, ' ');
    return text;
}

uint32_t U32At(const std::string& body, size_t offset) {
    const auto* b = reinterpret_cast<const unsigned char*>(body.data() + offset);
    return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

TEST(ContainerPackers, ByteForByte) {
    ViewerDataLead plain;
    ViewerDataLead withInfo;
    withInfo.segment = kWholeWithInfo;
    ViewerDataLead segment;
    segment.segment = 0x01020304;
    ViewerDataLead odd;
    std::memcpy(odd.magic, "ABCD", 4);
    odd.version = 7;
    odd.segment = -2;

    ViewerDataHeader full;
    full.infoLetter = 'O';
    full.resourceLetter = 'N';
    full.documentLetter = 'L';
    full.infoLength = 0x0A0B0C0D;
    full.resourceLength = 0x000100FF;
    full.documentType = 'A';
    full.orientation = '9';
    full.number = 100;
    full.pageWidth = 8.5f;
    full.pageLength = 11.0f;
    full.attributes[0] = 'M';
    full.attributes[1] = 'G';
    full.attributes[2] = 'W';
    ViewerDataHeader signs;
    signs.number = 0xFFFFFFFFu;
    signs.pageWidth = -0.5f;
    signs.pageLength = 1.0e-45f;  // the smallest denormal: bit pattern 1

    LineDataHeader line;
    line.shiftKind = '1';
    line.recordFormat = 'V';
    line.recordLength = 133;
    line.carriageControl = 'A';
    line.trc = 1;
    line.codePage = 500;
    line.pageHeaderRows = 2;
    line.fieldHeaderRows = 0x01000003;
    std::memcpy(line.recordDelimiter, "0D0A", 4);
    LineDataHeader trailing;
    // Bytes after the delimiter's zero go out as they stand.
    std::memcpy(trailing.recordDelimiter, "0A\0xyz", 6);
    trailing.recordDelimiter[16] = 'q';

    struct Case {
        const char* name;
        std::vector<unsigned char> bytes;
        const char* expected;
    };
    auto lead = [](const ViewerDataLead& l) {
        std::vector<unsigned char> out(kLeadSize);
        QelWWW_PackLeadHeader(l, out.data());
        return out;
    };
    auto header = [](const ViewerDataHeader& h) {
        std::vector<unsigned char> out(kHeaderSize);
        QelWWW_PackDocHeader(h, out.data());
        return out;
    };
    auto run = [](const LineDataHeader& b) {
        std::vector<unsigned char> out(kLineDataRunSize);
        QelWWW_PackLineDataHeader(b, out.data());
        return out;
    };
    const Case cases[] = {
        {"lead without information", lead(plain), "564F4423 000007D0 FFFFFFFF"},
        {"lead with information", lead(withInfo), "564F4423 000007D0 00000000"},
        {"segment lead", lead(segment), "564F4423 000007D0 01020304"},
        {"magic copied as it stands", lead(odd), "41424344 00000007 FFFFFFFE"},
        {"full header", header(full), "4F 4E 4C 0A0B0C0D 000100FF 41 39 00000064 41080000 41300000 4D 47 57"},
        {"zeroed header", header(ViewerDataHeader{}),
         "00 00 00 00000000 00000000 00 00 00000064 00000000 00000000 00 00 00"},
        {"sign bits and denormals", header(signs),
         "00 00 00 00000000 00000000 00 00 FFFFFFFF BF000000 00000001 00 00 00"},
        {"line-data run", run(line),
         "00000025 31 56 00000085 41 01 000001F4 00000002 01000003 30443041 00000000000000000000000000"},
        {"delimiter bytes after its zero", run(trailing),
         "00000025 4E 00 00000000 4E 00 00000000 00000000 00000000 3041 00 78797A 00000000000000000000 71"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Hex(c.bytes.data(), c.bytes.size()), NoBlanks(c.expected)) << c.name;
}

TEST(ContainerPackers, SegmentLeadThenData) {
    QelWWWConfig config = wwwtest::ConfigFromIni("");
    auto session = wwwtest::NewSession(&config);
    WriteSegmentLead(session.get(), 258);
    session->response->AppendBinary("seg", 3);
    const std::string& body = session->response->Binary();
    ASSERT_EQ(body.size(), kLeadSize + 3);
    EXPECT_EQ(Hex(body), "564F4423000007D000000102736567");
}

// The reader's JSON of a container written to a file; "no reader" when it cannot run.
std::string ReadBack(const std::string& body, const std::string& name, const char* letter = nullptr) {
    const std::string path = ::testing::TempDir() + "container_" + name + ".bin";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(body.data(), static_cast<std::streamsize>(body.size()));
    }
    std::vector<std::string> argv = {QEL_PYTHON, CONTAINER_READER};
    if (letter != nullptr) argv.insert(argv.end(), {"--letter", letter});
    argv.push_back(path);
    ArcOSPipe pipe;
    if (ArcOS_PipeOpen(argv, "r", &pipe) != 0) return "no reader";
    std::string out;
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe.stream)) > 0) out.append(buffer, got);
    ArcOS_PipeClose(&pipe);
    return out;
}

bool Has(const std::string& json, const std::string& item) { return json.find(item) != std::string::npos; }
// The reader writes bytes as lower-case hex.
std::string JsonHex(std::string_view bytes) {
    std::string hex = Hex(bytes);
    for (char& ch : hex) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return hex;
}

class ContainerTest : public clienttest::ClientTest {
protected:
    void SetUp() override {
        ClientTest::SetUp();
        session_.handle.iconv = clienttest::SharedIconv();
        session_.codePage = 819;
        clienttest::FolderSpec spec;
        spec.fields = {{.name = "Account", .type = 'S', .displayOrder = 1}};
        clienttest::GroupSpec group;
        group.number = 40;
        group.fields = {{.name = "ACCT", .type = 'S'}};
        group.applications = {{.name = "STMT", .number = 3, .dataType = 'A', .parameters = ""}};
        group.map = {0};
        spec.groups = {group};
        folder_ = clienttest::OpenTestFolder(&session_, spec);
        SearchHit* hit = clienttest::AddTestHit(
            folder_, 0, clienttest::MakeRow(folder_->definition->groups[0], {"A-1"}, "7FAA"));
        document_ = clienttest::AddTestDocument(&session_, folder_, hit);
        document_->row->object->compression = 'O';
        document_->viewer = 'A';
        document_->resourceDescriptor[0] = 1;
        document_->resourceDescriptor[3] = 'N';
        config_ = wwwtest::ConfigFromIni("", 819);
        web_ = wwwtest::NewSession(&config_);
        web_->scriptName = "/cgi-bin/qelwww";
        web_->folder = "Statements";
        web_->view.afpViewMode = QELWWW_VIEW_PLUGIN;
    }
    void TearDown() override {
        session_.documents.clear();
        ClientTest::TearDown();
    }
    // Three segments of 2, 2 and 1 pages, page names and two index groups.
    void UseSampleTables() {
        clienttest::TablesPtr tables = clienttest::SampleTables();
        document_->segmentCount = 3;
        document_->pagesPerSegment = 2;
        document_->pagesInLastSegment = 1;
        document_->pageNames = 1;
        document_->pageTables =
            std::shared_ptr<CsDocTables>(tables.release(), [](CsDocTables* t) { CsFreeDocTables(t, 1); });
    }
    // The letters are the stored ones unless given.
    std::string Write(char type, std::string_view resources, std::string_view data, const std::string& docId,
                      char resourceLetter = 0, char documentLetter = 0) {
        ContainerPieces pieces;
        pieces.document = document_;
        pieces.documentType = type;
        pieces.resources = resources;
        pieces.data = data;
        Doc_GetConvertFlags(document_, &pieces.resourceLetter, &pieces.documentLetter);
        if (resourceLetter != 0) pieces.resourceLetter = resourceLetter;
        if (documentLetter != 0) pieces.documentLetter = documentLetter;
        pieces.segmentUrl = SegmentUrl(&config_, web_.get(), type, docId);
        web_->response->InitResponse(&config_);
        WriteContainer(web_.get(), pieces);
        return web_->response->Binary();
    }

    ClientSession session_;
    OpenFolder* folder_ = nullptr;
    OpenDocument* document_ = nullptr;
    QelWWWConfig config_;
    std::unique_ptr<QelWWWSession> web_;
};

TEST_F(ContainerTest, LayoutsOfFullContainers) {
    struct Case {
        const char* name;
        char type;
        bool segments;  // the sample tables: three segments
        std::string resources;
        std::string docId;
        int32_t segmentField;
        char infoLetter;  // 0: no information piece
        size_t infoOffset;
    };
    const std::string longId(300, 'x');
    // The document letter is 'O': the piece is zlib data.
    const std::string plain = "DOCUMENT-BYTES";
    std::vector<unsigned char> deflated;
    ASSERT_EQ(QelWWW_CompressBuffer(plain.data(), plain.size(), 'N', 'O', &deflated), 1);
    const std::string data(deflated.begin(), deflated.end());
    const Case cases[] = {
        {"one segment", 'A', false, "RES", "7FAA", -1, 0, 40},
        {"one segment of line data", 'L', false, "", "7FAA", -1, 0, 81},
        {"segments, small block stored", 'A', true, "RESOURCES", "7FAA", 0, 'N', 40},
        {"segments, large block compressed", 'A', true, "RES", longId, 0, 'L', 40},
        {"segments of line data", 'L', true, "", "7FAA", 0, 'N', 81},
        {"segments of another type", 'T', true, "", "7FAA", 0, 0, 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.segments) UseSampleTables();
        const std::string body = Write(c.type, c.resources, data, c.docId);
        ASSERT_GE(body.size(), c.infoOffset);
        EXPECT_EQ(static_cast<int32_t>(U32At(body, 8)), c.segmentField);
        EXPECT_EQ(body[12], c.infoLetter);
        const uint32_t infoLength = U32At(body, 15);
        EXPECT_EQ(infoLength == 0, c.infoLetter == 0);
        EXPECT_EQ(U32At(body, 19), c.resources.size());
        EXPECT_EQ(body[23], c.type);
        // Every piece follows the one before without a gap; the document runs to the end.
        EXPECT_EQ(body.size(), c.infoOffset + infoLength + c.resources.size() + data.size());
        EXPECT_EQ(body.substr(c.infoOffset + infoLength, c.resources.size()), c.resources);
        EXPECT_EQ(body.substr(body.size() - data.size()), data);
        if (c.type == 'L') {
            EXPECT_EQ(U32At(body, 40), kLineDataBlockSize);
        }

        const std::string json = ReadBack(body, std::to_string(&c - cases));
        ASSERT_TRUE(Has(json, "\"kind\": \"full\"")) << json;
        EXPECT_TRUE(Has(json, "\"info_offset\": " + std::to_string(c.infoOffset))) << json;
        EXPECT_TRUE(Has(json, "\"document_expanded\": {\"hex\": \"" + JsonHex(plain) + "\"")) << json;
        EXPECT_TRUE(Has(json, "\"resources_expanded\": {\"hex\": \"" + JsonHex(c.resources) + "\"")) << json;
        if (c.infoLetter != 0) {
            const std::string url = "/cgi-bin/qelwww/.afp?_f=Statements&_d=" + c.docId + "&_a=g&_seg=";
            EXPECT_TRUE(Has(json, "\"total_pages\": 5")) << json;
            EXPECT_TRUE(Has(json, "\"page_names_flag\": 1")) << json;
            EXPECT_TRUE(
                Has(json, "\"page_names\": [\"Cover\", \"R\\u00e9sum\\u00e9\", \"\", \"\", \"Last\"]"))
                << json;
            EXPECT_TRUE(Has(json, "{\"kind\": 1, \"page\": 4, \"text\": \"2024\"}"))
                << "kind 30 goes out as 1\n"
                << json;
            EXPECT_TRUE(Has(json, "\"form_data\": null")) << json;
            if (c.type == 'A') {
                EXPECT_TRUE(Has(json, "\"segment_url\": \"" + url + "\"")) << json;
            }
        }
        document_->segmentCount = 1;
        document_->pageTables.reset();
        document_->tablesConverted = 0;
    }
}

TEST_F(ContainerTest, HeaderAndLineDataComeFromTheDocument) {
    document_->orientation = '2';
    document_->view.zoom = 150;
    document_->pageWidth = 8.5f;
    document_->pageLength = 11.0f;
    document_->view.imageIntensity = 'H';
    document_->view.imageColour = 'C';
    document_->view.background = 'G';
    document_->resourceDescriptor[3] = 'Z';
    document_->shiftKind = '2';
    document_->recordFormat = 'S';
    document_->recordLength = 0;
    document_->carriageControl = 'M';
    document_->trc = 1;
    document_->dataCodePage = 37;
    document_->pageHeaderRows = 4;
    document_->fieldHeaderRows = 5;
    document_->recordDelimiter = "0D0A0D0A0D0A0D0A0D";  // 18 characters: cut to 16
    const std::string body = Write('L', "", "", "1");
    ASSERT_EQ(body.size(), 81u);
    EXPECT_EQ(Hex(std::string_view(body).substr(12, 28)),
              NoBlanks("00 5A 4F 00000000 00000000 4C 32 00000096 41080000 41300000 48 43 47"));
    EXPECT_EQ(Hex(std::string_view(body).substr(40, 41)),
              NoBlanks("00000025 32 53 00000000 4D 01 00000025 00000004 00000005 "
                       "30443041304430413044304130443041 00"));
    const std::string json = ReadBack(body, "document-fields");
    EXPECT_TRUE(Has(json, "\"record_delimiter\": \"0D0A0D0A0D0A0D0A\"")) << json;
    EXPECT_TRUE(Has(json, "\"attributes\": [\"H\", \"C\", \"G\"]")) << json;
    EXPECT_TRUE(Has(json, "\"page_width\": 8.5")) << json;
}

// A '$' document's pieces come expanded whatever the descriptor and the row say: the
// header names the letters of the bytes, so the reader expands nothing it should not.
TEST_F(ContainerTest, LettersAreThoseOfTheBytesThatFollow) {
    document_->resourceDescriptor[3] = 'O';
    struct Case {
        const char* name;
        std::string resources;
        char resourceLetter;
        char documentLetter;
        const char* letters;  // header bytes 1 and 2
    };
    const Case cases[] = {
        {"resources expanded, document stored", "RESOURCE-GROUP", 'N', 'O', "4E4F"},
        {"both expanded", "RESOURCE-GROUP", 'N', 'N', "4E4E"},
        {"no resource bytes: the descriptor's letter", "", 'N', 'N', "4F4E"},
    };
    const std::string plain = "DOCUMENT-BYTES";
    std::vector<unsigned char> deflated;
    ASSERT_EQ(QelWWW_CompressBuffer(plain.data(), plain.size(), 'N', 'O', &deflated), 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string data =
            c.documentLetter == 'O' ? std::string(deflated.begin(), deflated.end()) : plain;
        const std::string body = Write('A', c.resources, data, "1", c.resourceLetter, c.documentLetter);
        EXPECT_EQ(Hex(std::string_view(body).substr(13, 2)), c.letters);
        const std::string json = ReadBack(body, "letters-" + std::to_string(&c - cases));
        EXPECT_TRUE(Has(json, "\"resources_expanded\": {\"hex\": \"" + JsonHex(c.resources) + "\"")) << json;
        EXPECT_TRUE(Has(json, "\"document_expanded\": {\"hex\": \"" + JsonHex(plain) + "\"")) << json;
    }
}

TEST_F(ContainerTest, DefaultViewGivesTheViewerDefaults) {
    document_->resourceDescriptor[0] = 0xFFFFFFFFu;
    const std::string body = Write('A', "", "D", "1");
    // No resource descriptor: letter 0 and no resource piece; the document follows at 40.
    EXPECT_EQ(Hex(std::string_view(body).substr(12, 28)),
              NoBlanks("00 00 4F 00000000 00000000 41 30 00000064 00000000 00000000 4D 42 57"));
    EXPECT_EQ(body.substr(40), "D");
}

TEST_F(ContainerTest, SegmentReplyReadBack) {
    std::vector<unsigned char> compressed;
    const std::string segment(5000, 'S');
    ASSERT_EQ(QelWWW_CompressBuffer(segment.data(), segment.size(), 'N', 'O', &compressed), 1);
    WriteSegmentLead(web_.get(), 2);
    web_->response->AppendBinary(compressed.data(), compressed.size());
    const std::string& body = web_->response->Binary();
    EXPECT_EQ(U32At(body, 8), 2u);
    const std::string json = ReadBack(body, "segment", "O");
    EXPECT_TRUE(Has(json, "\"kind\": \"segment\"")) << json;
    EXPECT_TRUE(Has(json, "\"segment_expanded\": {\"hex\": \"" + JsonHex(segment) + "\"")) << json;
}

TEST_F(ContainerTest, SegmentUrls) {
    struct Case {
        const char* name;
        char type;
        uint32_t afpView;
        const char* folder;
        const char* page;
        const char* docId;
        const char* expected;
    };
    const Case cases[] = {
        {"plug-in", 'A', QELWWW_VIEW_PLUGIN, "Statements", "", "7FAA",
         "/cgi-bin/qelwww/.afp?_f=Statements&_d=7FAA&_a=g&_seg="},
        {"native", 'A', QELWWW_VIEW_NATIVE, "Statements", "", "7FAA",
         "/cgi-bin/qelwww/.afp?_f=Statements&_d=7FAA&_a=g&_seg="},
        {"pdf wins over plug-in", 'A', QELWWW_VIEW_PDF | QELWWW_VIEW_PLUGIN, "Statements", "", "7FAA",
         "/cgi-bin/qelwww/.pdf?_f=Statements&_d=7FAA&_a=g&_seg="},
        {"html: no hint", 'A', QELWWW_VIEW_HTML, "Statements", "", "7FAA",
         "/cgi-bin/qelwww?_f=Statements&_d=7FAA&_a=g&_seg="},
        {"line data: no hint", 'L', QELWWW_VIEW_PLUGIN, "Statements", "", "7FAA",
         "/cgi-bin/qelwww?_f=Statements&_d=7FAA&_a=g&_seg="},
        {"template named", 'L', 0, "Statements", "pages/a b.html", "7FAA",
         "/cgi-bin/qelwww?_f=Statements&_h=pages%2Fa%20b.html&_d=7FAA&_a=g&_seg="},
        {"folder in UTF-8", 'L', 0, "R\xE9sum\xE9 2", "", "7FAA",
         "/cgi-bin/qelwww?_f=R%C3%A9sum%C3%A9%202&_d=7FAA&_a=g&_seg="},
        {"docid encoded", 'L', 0, "F", "", "a&b=c\x01%d",
         "/cgi-bin/qelwww?_f=F&_d=a%26b%3Dc%01%25d&_a=g&_seg="},
    };
    for (const Case& c : cases) {
        web_->view.afpViewMode = c.afpView;
        web_->folder = c.folder;
        web_->pageAsGiven = c.page;
        EXPECT_EQ(SegmentUrl(&config_, web_.get(), c.type, c.docId), c.expected) << c.name;
    }
}

TEST(MemoryOutput, AppendsToTheInnermostScopeOfTheThread) {
    const unsigned char a[] = {'a', 'b'};
    const unsigned char c[] = {'c'};
    EXPECT_EQ(AppendOutput(nullptr, a, 2), 0) << "no scope: the transfer stops";
    std::string outer;
    std::string inner;
    {
        OutputScope first(&outer);
        EXPECT_EQ(AppendOutput(nullptr, a, 2), 1);
        {
            OutputScope second(&inner);
            EXPECT_EQ(AppendOutput(nullptr, c, 1), 1);
            EXPECT_EQ(AppendOutput(nullptr, nullptr, 0), 1) << "an empty block changes nothing";
        }
        EXPECT_EQ(AppendOutput(nullptr, c, 1), 1);
        EXPECT_FALSE(first.Failed());
    }
    EXPECT_EQ(outer, "abc");
    EXPECT_EQ(inner, "c");
    EXPECT_EQ(AppendOutput(nullptr, c, 1), 0);
}

TEST(MemoryOutput, ManyBlocksArriveWhole) {
    std::string buffer;
    OutputScope scope(&buffer);
    std::string expected;
    for (int i = 0; i < 5000; ++i) {
        const std::string block(static_cast<size_t>(i % 97), static_cast<char>('A' + i % 26));
        ASSERT_EQ(AppendOutput(nullptr, reinterpret_cast<const unsigned char*>(block.data()), block.size()),
                  1);
        expected += block;
    }
    EXPECT_EQ(buffer, expected);
}

TEST(MemoryOutput, ABufferThatCannotGrowStopsTheTransfer) {
    std::string buffer = "kept";
    OutputScope scope(&buffer);
    const unsigned char one[] = {'x'};
    // A length past what the buffer can hold is refused before a byte is read.
    EXPECT_EQ(AppendOutput(nullptr, one, buffer.max_size()), 0);
    EXPECT_TRUE(scope.Failed());
    EXPECT_EQ(AppendOutput(nullptr, one, 1), 0) << "a failed output takes nothing more";
    EXPECT_EQ(buffer, "kept");
}

}  // namespace
