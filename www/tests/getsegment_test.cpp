// The getsegment action: the segments after the first of a '$' document in three stored
// objects, read as the viewer reads them after a full container; refused segment numbers;
// the saved document object with CacheDocs; text segments; retrieve's text of the whole
// document.
#include "document_test_support.h"
#include "documents.h"

namespace {

using wwwtest::ErrorId;
using wwwtest::MessageNumber;

[[maybe_unused]] ::testing::Environment* const kClientLayer =
    ::testing::AddGlobalTestEnvironment(new wwwtest::ClientLayer);

const std::string kFirstPages = "page 1\npage 2\n";
const std::string kSecond = "segment 2.";
const std::string kThird = "segment 3.";

uint32_t BigEndian(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<unsigned char>(bytes.at(at + i));
    return value;
}

// A five-page document in three objects (two pages each): its first object holds the page
// tables and then pages 1 and 2; objects B and C hold the later pages.
std::string TableStream(ArcIconvContext* pages) {
    CsDocTables tables;
    tables.total = 5;
    tables.perObject = 2;
    tables.objectCount = 3;
    tables.objects.Reset(2);
    for (const char* name : {"AB", "AC"}) {  // objects 3FAAB and 3FAAC
        CsDocObjectEntry& e = tables.objects.Add();
        e.offset = 0;
        e.length = 10;
        std::snprintf(e.name, sizeof e.name, "%s", name);
    }
    std::string out;
    auto sink = [](void* context, const unsigned char* data, size_t length) {
        static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(data), length);
        return 1;
    };
    EXPECT_EQ(CsWriteDocTables(pages, &tables, &out, sink), CS_OK);
    return out;
}

class GetSegment : public wwwtest::DocumentFixture {
protected:
    void SetUp() override {
        DocumentFixture::SetUp();
        const std::string stream = TableStream(config_.codePageContext);
        ASSERT_FALSE(stream.empty());
        const std::string dir = archive_ + "/data/INVAG/DOC/";
        std::ofstream(dir + "3FAA", std::ios::binary) << stream << kFirstPages;
        std::ofstream(dir + "3FAAB", std::ios::binary) << kSecond;
        std::ofstream(dir + "3FAAC", std::ios::binary) << kThird;
        const wwwtest::Invoice big{"A0009", "ACME CORPORATION", 19740};
        QelLocalIdxRow row = wwwtest::InvoiceRow(big, "3FAA$", 0, 0, 0);
        row.header.compOff = static_cast<uint32_t>(stream.size());  // where the pages start
        ASSERT_EQ(wwwtest::AddInvoiceRows(archive_, {row}), CS_OK);
    }

    std::unique_ptr<QelWWWSession> Segment(const std::string& request) {
        return Request(std::string(wwwtest::kBobLogon) + "_a=g&Invoice+number=A0009&" + request);
    }
};

// The viewer's numbers: the full container carries object 0, _seg=1 and _seg=2 the others,
// so the container's document piece and the two replies together are the whole document.
TEST_F(GetSegment, ContainerAndSegmentsMakeTheWholeDocument) {
    auto full = Request(std::string(wwwtest::kBobLogon) + "_a=r&_line=plugin&Invoice+number=A0009");
    ASSERT_EQ(result_, 0) << full->response->GetBody();
    const std::string& container = full->response->Binary();
    ASSERT_GE(container.size(), 81u);
    ASSERT_EQ(container.substr(0, 4), "VOD#");
    EXPECT_EQ(BigEndian(container, 8), 0u) << "segments follow: an information piece";
    const uint32_t info = BigEndian(container, 15);
    const uint32_t resources = BigEndian(container, 19);
    EXPECT_GT(info, 0u);
    ASSERT_GE(container.size(), 81u + info + resources);
    std::string whole = container.substr(81 + info + resources);
    EXPECT_EQ(whole, kFirstPages);

    for (int seg = 1; seg <= 2; ++seg) {
        SCOPED_TRACE(seg);
        auto reply = Segment("_line=plugin&_seg=" + std::to_string(seg));
        ASSERT_EQ(result_, 0) << reply->response->GetBody();
        EXPECT_EQ(reply->response->ContentType(), "application/afp");
        const std::string& body = reply->response->Binary();
        ASSERT_GE(body.size(), 12u);
        EXPECT_EQ(body.substr(0, 4), "VOD#");
        EXPECT_EQ(BigEndian(body, 8), static_cast<uint32_t>(seg));
        whole += body.substr(12);
        EXPECT_EQ(reply->client, nullptr);
    }
    EXPECT_EQ(whole, kFirstPages + kSecond + kThird);
}

TEST_F(GetSegment, RefusedSegmentNumbers) {
    struct Case {
        const char* request;
        int message;
        const char* insert;
    };
    const Case cases[] = {
        {"_seg=0", 475, ""},  // the first segment is the full container's
        {"_seg=-1", 475, ""},
        {"_seg=3", 475, ""},  // not below the segment count
        {"_seg=99999999999999999999999999", 475, ""},
        {"_seg=x", 489, "_segment"},
        {"_seg=", 489, "_segment"},
        {"_seg=1.5", 489, "_segment"},
        {"_segment=%2B1", 489, "_segment"},
        {"", 491, "_segment"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        auto reply = Segment(std::string("_nohtml=1&_line=plugin&") + c.request);
        const std::string body = reply->response->GetBody();
        EXPECT_EQ(result_, 1);
        EXPECT_EQ(ErrorId(body), MessageNumber(c.message)) << body;
        EXPECT_NE(body.find(c.insert), std::string::npos) << body;
        EXPECT_EQ(reply->client, nullptr);
    }
}

TEST_F(GetSegment, OneSegmentDocument) {
    // Retrieve gives the container without an information piece, getsegment nothing.
    auto full = Request(std::string(wwwtest::kBobLogon) + "_a=r&_line=plugin&Invoice+number=A0002");
    ASSERT_EQ(result_, 0);
    const std::string& container = full->response->Binary();
    ASSERT_GE(container.size(), 81u);
    EXPECT_EQ(BigEndian(container, 8), 0xFFFFFFFFu);
    EXPECT_EQ(BigEndian(container, 15), 0u);
    EXPECT_EQ(container.substr(81), wwwtest::InvoiceBytes(2));

    auto reply = Request(std::string(wwwtest::kBobLogon) + "_a=g&_nohtml=1&Invoice+number=A0002&_seg=1");
    EXPECT_EQ(result_, 1);
    EXPECT_EQ(ErrorId(reply->response->GetBody()), MessageNumber(475)) << reply->response->GetBody();
}

// With CacheDocs the document comes from its saved object: the first object, which holds
// the page tables, is not read again.
TEST_F(GetSegment, SavedDocumentObjectWithCacheDocs) {
    config_.cacheDocs = 1;
    auto full = Request(std::string(wwwtest::kBobLogon) + "_a=r&_line=plugin&Invoice+number=A0009");
    ASSERT_EQ(result_, 0) << full->response->GetBody();
    EXPECT_EQ(CacheFiles("idoc"), 1u);
    std::filesystem::remove(archive_ + "/data/INVAG/DOC/3FAA");
    auto reply = Segment("_line=plugin&_seg=2");
    ASSERT_EQ(result_, 0) << reply->response->GetBody();
    EXPECT_EQ(reply->response->Binary().substr(12), kThird);

    // Without the cache the document has to be opened from the server, and cannot be.
    config_.cacheDocs = 0;
    auto refused = Segment("_nohtml=1&_line=plugin&_seg=2");
    EXPECT_EQ(result_, 1);
    EXPECT_GT(ErrorId(refused->response->GetBody()), 0) << refused->response->GetBody();
}

TEST_F(GetSegment, TextSegments) {
    struct Case {
        const char* request;
        const char* contentType;
    };
    const Case cases[] = {
        // Only the request's own flags make text here: retrieve writes no segment links
        // for a view as text.
        {"_ascii=1&_nohtml=1", "text/plain"},
        {"_ascii=1", "text/html"},
        {"_applet=1", "text/plain"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        auto reply = Segment(std::string(c.request) + "&_seg=1");
        ASSERT_EQ(result_, 0) << reply->response->GetBody();
        const QelWWWResponse& r = *reply->response;
        EXPECT_EQ(r.ContentType(), c.contentType);
        const std::string body = r.GetBody();
        if (std::string(c.request) == "_applet=1") {
            // DATA and the zlib-compressed text, no End line.
            EXPECT_EQ(r.Prefix(), "[BEGIN]\n");
            const std::string& binary = r.Binary();
            ASSERT_EQ(binary.rfind("DATA=", 0), 0u) << binary;
            const size_t lineEnd = binary.find('\n');
            ASSERT_NE(lineEnd, std::string::npos);
            EXPECT_EQ(binary.substr(5, lineEnd - 5), std::to_string(binary.size() - lineEnd - 1));
            EXPECT_EQ(wwwtest::Inflate(binary.substr(lineEnd + 1)), kSecond);
        } else if (reply->noHtml) {
            EXPECT_EQ(body, "[BEGIN]\n" + kSecond);
        } else {
            EXPECT_NE(body.find("<pre>\n" + kSecond + "</pre>\n"), std::string::npos) << body;
        }
    }
}

// A text page or plain text from retrieve holds every segment, each converted to text as
// the first (lines, a form feed after each page); the applet gets the first segment only
// and asks for the others.
TEST_F(GetSegment, RetrieveAsTextHoldsEverySegment) {
    const std::string whole = "page 1\npage 2\n\fsegment 2.\n\fsegment 3.\n\f";
    struct Case {
        const char* request;
        bool cacheDocs;
        std::string expected;  // the body after the Begin line or "<pre>"
    };
    const Case cases[] = {
        {"_line=ascii&_nohtml=1", false, whole},    {"_line=ascii", false, whole},
        {"_line=ascii&_nohtml=1", true, whole},  // written to the cache
        {"_line=ascii&_nohtml=1", true, whole},  // and read from it
        {"_applet=1", false, "page 1\npage 2\n\f"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.request) + (c.cacheDocs ? " cached" : ""));
        config_.cacheDocs = c.cacheDocs ? 1 : 0;
        auto reply = Request(std::string(wwwtest::kBobLogon) + "_a=r&Invoice+number=A0009&" + c.request);
        ASSERT_EQ(result_, 0) << reply->response->GetBody();
        const QelWWWResponse& r = *reply->response;
        if (std::string(c.request) == "_applet=1") {
            const std::string& binary = r.Binary();
            const size_t data = binary.find("DATA=");
            ASSERT_NE(data, std::string::npos) << binary;
            const size_t lineEnd = binary.find('\n', data);
            ASSERT_NE(lineEnd, std::string::npos);
            EXPECT_EQ(wwwtest::Inflate(binary.substr(lineEnd + 1)), c.expected);
        } else if (reply->noHtml) {
            EXPECT_EQ(r.GetBody(), "[BEGIN]\n" + c.expected);
        } else {
            // The page marks each page's end (QelWWW_PageText, tested with the text reader).
            EXPECT_NE(r.GetBody().find("<pre>\n" + qelwww::detail::QelWWW_PageText(c.expected) + "</pre>\n"),
                      std::string::npos)
                << r.GetBody();
        }
        EXPECT_EQ(reply->client, nullptr);
    }
}

}  // namespace
