// The retrieve action on the sample archive with invoices loaded: one row per branch of
// the document type and the views, the search without a docid, the cache, the applet reply
// for line data and refused document ids.
#include "document_test_support.h"
#include "documents.h"

namespace {

using wwwtest::DocumentFixture;
using wwwtest::ErrorId;
using wwwtest::InvoiceBytes;
using wwwtest::kBobLogon;

[[maybe_unused]] ::testing::Environment* const kClientLayer =
    ::testing::AddGlobalTestEnvironment(new wwwtest::ClientLayer);

// What a reply's body is.
enum class Reply {
    kContainer,   // "VOD#" lead of a full container
    kRaw,         // the document's bytes as they are
    kTextPage,    // "<pre>" page holding the text
    kPlainText,   // "[BEGIN]" then the text
    kError,       // an error reply with a message id
    kAppletPage,  // the page of a viewer applet
    kPage,        // an HTML page that does not show the data
};

class Retrieve : public DocumentFixture {
protected:
    // The first invoice (A0001, the sort puts the newest date first: A0005) by search.
    std::unique_ptr<QelWWWSession> RetrieveFirst(const std::string& extra) {
        return Request(std::string(kBobLogon) + "_a=r&" + extra);
    }
};

TEST_F(Retrieve, TypeAndViewDecisionTable) {
    struct Case {
        const char* name;
        int docType;          // app DOC_TYPE: 1 L, 2 A, 3 PDF, 4 TIFF, 5 JPEG, 6 GIF, 7 BMP, 8 PCX,
                              // 9 e-mail, 10 bundle, 11 other, 13 user-defined, 0 none
        std::string request;  // view and reply parameters
        int permissions;      // DOC_PERMS of BOB's group
        std::string contentType;
        Reply body;
        int message;         // external message number for kError
        std::string detail;  // text the body holds (error text, applet name)
    };
    const Case cases[] = {
        {"line data in the plug-in", 1, "_line=plugin", 11, "application/afp", Reply::kContainer, 0, ""},
        {"line data as text page", 1, "_line=ascii", 11, "text/html", Reply::kTextPage, 0, ""},
        {"line data as plain text", 1, "_line=ascii&_nohtml=1", 11, "text/plain", Reply::kPlainText, 0, ""},
        {"line data native", 1, "_line=native", 11, "application/line", Reply::kRaw, 0, ""},
        {"line data in the applet", 1, "_line=applet", 11, "text/html", Reply::kAppletPage, 0,
         qelwww::detail::kLineAppletName},
        {"AFP in the plug-in", 2, "_afp=plugin", 11, "application/afp", Reply::kContainer, 0, ""},
        {"AFP native", 2, "_afp=native", 11, "application/afp", Reply::kRaw, 0, ""},
        {"AFP as text", 2, "_afp=ascii", 11, "text/html", Reply::kTextPage, 0, ""},
        {"AFP as PDF: no converter library", 2, "_afp=pdf&_nohtml=1", 11, "text/plain", Reply::kError, 407,
         "libafp2pdf.so"},
        {"AFP as HTML: the applet frames", 2, "_afp=html", 11, "text/html", Reply::kAppletPage, 0, "QKA2H"},
        {"PDF", 3, "", 11, "application/pdf", Reply::kRaw, 0, ""},
        {"TIFF", 4, "", 11, "image/tiff", Reply::kRaw, 0, ""},
        {"JPEG", 5, "", 11, "image/jpeg", Reply::kRaw, 0, ""},
        {"GIF", 6, "", 11, "image/gif", Reply::kRaw, 0, ""},
        {"BMP", 7, "", 11, "image/bmp", Reply::kRaw, 0, ""},
        {"PCX", 8, "", 11, "image/pcx", Reply::kRaw, 0, ""},
        {"e-mail rendered: no e-mail program", 9, "_nohtml=1", 11, "text/plain", Reply::kError, 529,
         "qelemail"},
        {"e-mail native is text", 9, "_email=native", 11, "text/html", Reply::kTextPage, 0, ""},
        {"bundle page of a document without embedded documents", 10, "", 11, "text/html", Reply::kPage, 0,
         "<BODY>"},
        {"other types: text/plain, data as it is", 11, "", 11, "text/plain", Reply::kRaw, 0, ""},
        {"user-defined without extension", 13, "", 11, "application/unknown", Reply::kRaw, 0, ""},
        {"type N is not displayable", 0, "_nohtml=1", 11, "text/plain", Reply::kError, 488, "A0005"},
        {"no view permission", 1, "_line=native&_nohtml=1", 10, "text/plain", Reply::kError, 486, "A0005"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(SetDocType(c.docType));
        ASSERT_NO_FATAL_FAILURE(SetDocPermissions(c.permissions));
        auto session = RetrieveFirst(c.request);
        const QelWWWResponse& r = *session->response;
        const std::string body = r.GetBody();
        EXPECT_EQ(r.ContentType(), c.contentType) << body;
        EXPECT_EQ(result_, c.body == Reply::kError ? 1 : 0) << body;
        EXPECT_EQ(session->client, nullptr) << "the action ends its logon";
        const std::string data = InvoiceBytes(5);
        switch (c.body) {
            case Reply::kContainer:
                ASSERT_GE(r.Binary().size(), 12u);
                EXPECT_EQ(r.Binary().substr(0, 4), "VOD#");
                EXPECT_EQ(r.Binary().substr(8, 4), std::string(4, '\xFF')) << "one segment: -1";
                EXPECT_EQ(r.Binary().substr(r.Binary().size() - data.size()), data);
                break;
            case Reply::kRaw: EXPECT_EQ(body, data); break;
            case Reply::kTextPage:
                EXPECT_NE(body.find("<pre>\n"), std::string::npos) << body;
                EXPECT_NE(body.find(data.substr(0, 6)), std::string::npos) << body;
                EXPECT_NE(body.find("</pre>\n"), std::string::npos) << body;
                break;
            case Reply::kPlainText:
                EXPECT_EQ(body.rfind("[BEGIN]\n", 0), 0u) << body;
                EXPECT_NE(body.find(data.substr(0, 6)), std::string::npos) << body;
                EXPECT_EQ(body.find("[END]"), std::string::npos) << "no End line";
                break;
            case Reply::kError:
                EXPECT_EQ(ErrorId(body), wwwtest::MessageNumber(c.message)) << body;
                EXPECT_NE(body.find(c.detail), std::string::npos) << body;
                break;
            case Reply::kAppletPage:
            case Reply::kPage:
                EXPECT_NE(body.find(c.detail), std::string::npos) << body;
                EXPECT_EQ(body.find(data), std::string::npos) << "no document data in the page";
                break;
        }
    }
}

// The content types a site sets in its mimetypes section, by key.
TEST_F(Retrieve, MimeTypesSectionKeys) {
    struct Case {
        int docType;
        std::string request;
        std::string contentType;
    };
    const Case cases[] = {
        {2, "_afp=native", "application/x-afp-site"},
        {1, "_line=native", "application/x-line-site"},
        {3, "", "application/x-pdf-site"},
        {5, "", "image/x-pcx-site"},  // JPEG shares the PCX key
        {10, "_ext=txt&_eoff=0&_elen=4", "text/x-txt-site"},
    };
    Start(
        "[mimetypes]\nAFP=application/x-afp-site\nLINE=application/x-line-site\nPDF=application/x-pdf-site\n"
        "PCX=image/x-pcx-site\nTXT=text/x-txt-site\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.contentType);
        ASSERT_NO_FATAL_FAILURE(SetDocType(c.docType));
        auto session = RetrieveFirst(c.request);
        EXPECT_EQ(session->response->ContentType(), c.contentType) << session->response->GetBody();
        EXPECT_EQ(result_, 0);
    }
}

TEST_F(Retrieve, EmbeddedDocumentRange) {
    ASSERT_NO_FATAL_FAILURE(SetDocType(10));
    const std::string data = InvoiceBytes(5);
    struct Case {
        const char* query;
        int message;  // 0: the range is the reply
        std::string reply;
    };
    const Case cases[] = {
        {"_eoff=2&_elen=5", 0, data.substr(2, 5)},
        {"_eoff=0&_elen=10", 0, data},
        {"_eoff=10&_elen=0", 0, ""},
        {"_eoff=9&_elen=2", 489, ""},
        {"_eoff=11&_elen=0", 489, ""},
        {"_eoff=1&_elen=18446744073709551615", 489, ""},  // offset + length wraps around
        {"_eoff=-1&_elen=2", 489, ""},
        {"_eoff=x&_elen=2", 489, ""},
        {"_elen=2", 491, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        auto session = RetrieveFirst(std::string("_nohtml=1&_ext=bin&") + c.query);
        const std::string body = session->response->GetBody();
        if (c.message == 0) {
            EXPECT_EQ(result_, 0);
            EXPECT_EQ(body, c.reply);
            EXPECT_EQ(session->response->ContentType(), "application/unknown");
        } else {
            EXPECT_EQ(result_, 1);
            EXPECT_EQ(ErrorId(body), wwwtest::MessageNumber(c.message)) << body;
        }
    }
}

TEST_F(Retrieve, WithoutDocIdTheFirstHitOfTheRequestsValues) {
    ASSERT_NO_FATAL_FAILURE(SetDocType(11));
    struct Case {
        const char* values;
        int invoice;  // 0: no hit
    };
    const Case cases[] = {
        {"", 5},  // every criterion empty: all invoices, newest first
        {"Invoice+number=A0002", 2},
        {"Customer=ACME", 3},  // a choice of the criterion
        {"Invoice+number=A0009&_nohtml=1", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.values);
        auto session = RetrieveFirst(c.values);
        const std::string body = session->response->GetBody();
        if (c.invoice == 0) {
            EXPECT_EQ(result_, 1);
            EXPECT_EQ(ErrorId(body), wwwtest::MessageNumber(487)) << body;
        } else {
            EXPECT_EQ(result_, 0);
            EXPECT_EQ(body, InvoiceBytes(c.invoice));
        }
    }
}

TEST_F(Retrieve, ByDocIdAsTheHitListLinksIt) {
    ASSERT_NO_FATAL_FAILURE(SetDocType(11));
    // The id of A0002 as the hit list writes it into its links.
    const std::string docId =
        "100%2D200%2DINV1%2D1FAA%2D10%2D10%2D0%2D53%2D85%2D78%2D0%2D1%2D0%01%0B%01A0002%01GLOBEX+INC%01"
        "19731";
    auto session = Request(std::string(kBobLogon) + "_a=r&_d=" + docId);
    EXPECT_EQ(result_, 0);
    EXPECT_EQ(session->response->GetBody(), InvoiceBytes(2));
}

TEST_F(Retrieve, ForgedDocIdsAreTheClientsErrorAndWriteNothing) {
    ASSERT_NO_FATAL_FAILURE(SetDocType(11));
    config_.cacheDocs = 1;
    const char* const forged[] = {
        "100%2D200%2DINV1%2D..%252F..%252Fetc%252Fpasswd%2D0%2D10%2D0%2D0%2D85%2D78%2D0%2D0%2D0%01",
        "999%2D200%2DINV1%2D1FAA%2D0%2D10%2D0%2D0%2D85%2D78%2D0%2D0%2D0%01",
        "not-a-document-id",
        "",
    };
    for (const char* id : forged) {
        SCOPED_TRACE(id);
        auto session = Request(std::string(kBobLogon) + "_a=r&_nohtml=1&_d=" + id);
        EXPECT_EQ(result_, 1);
        EXPECT_GT(ErrorId(session->response->GetBody()), 0) << session->response->GetBody();
        EXPECT_EQ(session->client, nullptr);
    }
    EXPECT_EQ(CacheFiles("doc") + CacheFiles("idoc") + CacheFiles("asc"), 0u);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.Path()))
        EXPECT_EQ(entry.path().filename().string().find("passwd"), std::string::npos) << entry.path();
}

TEST_F(Retrieve, SecondRetrievalComesFromTheCache) {
    ASSERT_NO_FATAL_FAILURE(SetDocType(11));
    config_.cacheDocs = 1;
    TraceTo("first.log");
    auto first = RetrieveFirst("Invoice+number=A0002");
    ASSERT_EQ(result_, 0) << first->response->GetBody();
    EXPECT_EQ(CacheFiles("doc"), 1u);
    EXPECT_EQ(CacheFiles("idoc"), 1u);
    EXPECT_EQ(Trace("first.log").find("retrieve: restored document"), std::string::npos);

    // The archive's object changes; the cache still answers with what it kept.
    {
        std::ofstream(archive_ + "/data/INVAG/DOC/1FAA", std::ios::binary | std::ios::trunc)
            << std::string(53, 'x');
    }
    TraceTo("second.log");
    auto second = RetrieveFirst("Invoice+number=A0002");
    EXPECT_EQ(result_, 0);
    EXPECT_EQ(second->response->GetBody(), InvoiceBytes(2)) << Trace("second.log");
    const std::string trace = Trace("second.log");
    EXPECT_NE(trace.find("retrieve: restored document"), std::string::npos) << trace;
    EXPECT_NE(trace.find("retrieve: restoring internal document object"), std::string::npos) << trace;

    // Without CacheDocs the server answers.
    config_.cacheDocs = 0;
    auto third = RetrieveFirst("Invoice+number=A0002");
    EXPECT_EQ(third->response->GetBody(), std::string(10, 'x'));
}

TEST_F(Retrieve, AppletModeForLineData) {
    struct Case {
        int permissions;  // DOC_PERMS: 0x10 print, 0x40 copy
        const char* printAndCopy;
    };
    const Case cases[] = {{11, "PermToPrint=0\nPermToCopy=0\n"}, {0x5B, "PermToPrint=1\nPermToCopy=1\n"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.permissions);
        ASSERT_NO_FATAL_FAILURE(SetDocPermissions(c.permissions));
        auto session = RetrieveFirst("_applet=1");
        ASSERT_EQ(result_, 0) << session->response->GetBody();
        const QelWWWResponse& r = *session->response;
        EXPECT_EQ(r.ContentType(), "text/plain");
        // The sample server has private notes (capability 0) but no group notes.
        EXPECT_EQ(r.Prefix(),
                  std::string("[BEGIN]\nNumSegments=1\nNumPagesInSegment=0\nNumPagesInLastSegment=0\n") +
                      c.printAndCopy + "PermToViewNotes=1\nPermToAddNotes=1\nPrivateNotesSupported=1\n");
        // The sample document has no line buffers: DATA follows the key lines at once.
        const std::string& binary = r.Binary();
        ASSERT_EQ(binary.rfind("DATA=", 0), 0u) << binary;
        const size_t lineEnd = binary.find('\n');
        ASSERT_NE(lineEnd, std::string::npos);
        const std::string packed = binary.substr(lineEnd + 1);
        EXPECT_EQ(std::to_string(packed.size()), binary.substr(5, lineEnd - 5));
        const std::string text = wwwtest::Inflate(packed);
        EXPECT_NE(text.find(InvoiceBytes(5).substr(0, 6)), std::string::npos) << text;
        EXPECT_EQ(r.GetBody().find("END"), std::string::npos) << "no End line";
    }
}

TEST_F(Retrieve, AfpHtmlWithoutTheAppletGoesToTheConverter) {
    ASSERT_NO_FATAL_FAILURE(SetDocType(2));
    dir_.Write("afp2html.ini", "[default]\nUseApplet=FALSE\n[Invoices-INVOICES]\nUseApplet=tRuE\n");
    struct Case {
        const char* ini;
        bool applet;
    };
    const Case cases[] = {
        {"", true},  // no settings file: the built-in TRUE
        {"[afp2html]\nConfigFile=afp2html.ini\nInstallDir=/opt/a2w\n",
         true},  // the folder's section, any case
        {"[afp2html]\nConfigFile=missing.ini\nInstallDir=/opt/a2w\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini);
        Start(c.ini);
        auto session = RetrieveFirst("_afp=html&_nohtml=1");
        EXPECT_EQ(result_, 0);
        EXPECT_EQ(ErrorId(session->response->GetBody()), -1) << session->response->GetBody();
    }
    dir_.Write("afp2html.ini", "[default]\nUseApplet=FALSE\n");
    Start("[afp2html]\nConfigFile=afp2html.ini\nInstallDir=/opt/a2w\n");
    auto session = RetrieveFirst("_afp=html&_nohtml=1");
    EXPECT_EQ(result_, 1);
    const std::string body = session->response->GetBody();
    EXPECT_EQ(ErrorId(body), wwwtest::MessageNumber(407)) << body;
    EXPECT_NE(body.find("/opt/a2w/libafp2web.so"), std::string::npos) << body;
}

}  // namespace

namespace {

// The views from the browser section, and the hit list handing a single hit over to
// retrieve by its id (AutoDocRetrieval).
TEST_F(Retrieve, BrowserSectionViewsAndTheHitListsSingleHit) {
    Start("[default browser]\nAutoDocRetrieval=1\nLineViewing=native\n");
    auto session = Request(std::string(kBobLogon) + "_a=d&Invoice+number=A0002");
    EXPECT_EQ(result_, 0);
    EXPECT_EQ(session->response->ContentType(), "application/line");
    EXPECT_EQ(session->response->GetBody(), InvoiceBytes(2));
    EXPECT_EQ(session->client, nullptr);

    // Archive text inside the page is escaped.
    std::string object = "Invoice 4711 for ACME CORPORATION\nAmount due: 120.00\n";
    object.replace(30, 10, "<b>&amp;\"'");
    { std::ofstream(archive_ + "/data/INVAG/DOC/1FAA", std::ios::binary | std::ios::trunc) << object; }
    Start("[default browser]\nAutoDocRetrieval=1\nLineViewing=ascii\n");
    session = Request(std::string(kBobLogon) + "_a=d&Invoice+number=A0004");
    EXPECT_EQ(result_, 0);
    const std::string page = session->response->GetBody();
    EXPECT_EQ(session->response->ContentType(), "text/html");
    EXPECT_NE(page.find("<pre>\n&lt;b&gt;&amp;amp;&quot;&#39;"), std::string::npos) << page;
    EXPECT_EQ(page.find("<b>"), std::string::npos) << page;
}

}  // namespace

namespace {

// An AFP invoice with the sample's resource group (identifier 1, stored zlib-compressed):
// the container carries it as stored, native output expanded in front of the document.
TEST_F(Retrieve, ResourceGroupOfAnAfpDocument) {
    const std::string plain = "RESOURCE GROUP 1\n";
    uLongf size = compressBound(plain.size());
    std::string packed(size, '\0');
    ASSERT_EQ(compress(reinterpret_cast<Bytef*>(packed.data()), &size,
                       reinterpret_cast<const Bytef*>(plain.data()), plain.size()),
              Z_OK);
    packed.resize(size);
    { std::ofstream(archive_ + "/data/INVAG/RES/1", std::ios::binary) << packed; }
    QelLocalIdxRow row = wwwtest::InvoiceRow({"A0010", "GLOBEX INC", 19750}, "1FAA", 0, 10, 53);
    row.header.rid = 1;
    ASSERT_EQ(wwwtest::AddInvoiceRows(archive_, {row}), CS_OK);
    ASSERT_NO_FATAL_FAILURE(SetDocType(2));

    // The client library hands a resource group out once per process: the second request
    // takes it from the cache.
    config_.cacheDocs = 1;
    auto plugin = RetrieveFirst("_afp=plugin&Invoice+number=A0010");
    ASSERT_EQ(result_, 0) << plugin->response->GetBody();
    const std::string& container = plugin->response->Binary();
    ASSERT_GE(container.size(), 40u);
    EXPECT_EQ(container[13], 'O') << "resource letter as stored";
    const uint32_t resources = (static_cast<uint32_t>(static_cast<unsigned char>(container[19])) << 24) |
                               (static_cast<uint32_t>(static_cast<unsigned char>(container[20])) << 16) |
                               (static_cast<uint32_t>(static_cast<unsigned char>(container[21])) << 8) |
                               static_cast<unsigned char>(container[22]);
    EXPECT_EQ(resources, packed.size());
    EXPECT_EQ(container.substr(40), packed + InvoiceBytes(1));
    EXPECT_EQ(CacheFiles("res"), 1u);

    TraceTo("native.log");
    auto native = RetrieveFirst("_afp=native&Invoice+number=A0010");
    ASSERT_EQ(result_, 0) << native->response->GetBody();
    EXPECT_EQ(native->response->GetBody(), plain + InvoiceBytes(1));
    const std::string trace = Trace("native.log");
    EXPECT_NE(trace.find("retrieve: restored resources"), std::string::npos) << trace;
    EXPECT_NE(trace.find("retrieve: uncompress resource data"), std::string::npos) << trace;
}

}  // namespace
