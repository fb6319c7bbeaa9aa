// The e-mail page, the bundle page and the embedded-document link, from crafted documents:
// the page as written, hostile names and values escaped, fields out of range refused with
// message 489 before anything is written, and a link that brings back its attachment.
#include <gtest/gtest.h>

#include <cstdio>

#include "converters.h"
#include "embedded_pages.h"
#include "www_test_support.h"

namespace {

using namespace qelwww::detail;

constexpr const char* kIni = "[attachment images]\nPDF=pdf.gif\nTXT=text.gif\n";

QelWWWConfig PageConfig() {
    QelWWWConfig config = wwwtest::ConfigFromIni(kIni, 819);
    config.imageDir = "/img/";
    return config;
}

std::unique_ptr<QelWWWSession> PageSession(const QelWWWConfig& config, const char* folder = "Mail",
                                           const char* query = "") {
    auto session = wwwtest::NewSession(&config);
    session->parms = std::make_unique<QelWWWParmList>(&config, query);
    session->scriptName = "/cgi-bin/qelwww";
    session->folder = folder;
    return session;
}

// A header field line: fixed-width numbers, so that a document's offsets can be computed
// before its header is written.
std::string Field(const char* key, uint64_t value) {
    char text[64];
    std::snprintf(text, sizeof text, "%s:%08llu\n", key, static_cast<unsigned long long>(value));
    return text;
}
constexpr size_t kFieldWidth = 10;  // ":", 8 digits and "\n" after the key

struct Part {
    std::string name;
    std::string bytes;
};

// An e-mail document: the header lines, the text, then each attachment's bytes.
std::string EmailDocument(uint32_t codePage, const std::string& text, const std::vector<Part>& parts) {
    size_t headerSize = std::string("CODEPAGE").size() + kFieldWidth + std::string("GROUP_OFFSET").size() +
                        kFieldWidth + std::string("GROUP_LENGTH").size() + kFieldWidth;
    for (const Part& part : parts)
        headerSize += std::string("EMBEDDED_DOC_NAME:\n").size() + part.name.size() +
                      std::string("EMBEDDED_DOC_OFFSET").size() + kFieldWidth +
                      std::string("EMBEDDED_DOC_LENGTH").size() + kFieldWidth;
    std::string header =
        Field("CODEPAGE", codePage) + Field("GROUP_OFFSET", headerSize) + Field("GROUP_LENGTH", text.size());
    uint64_t at = headerSize + text.size();
    std::string tail;
    for (const Part& part : parts) {
        header += "EMBEDDED_DOC_NAME:" + part.name + "\n";
        header += Field("EMBEDDED_DOC_OFFSET", at) + Field("EMBEDDED_DOC_LENGTH", part.bytes.size());
        at += part.bytes.size();
        tail += part.bytes;
    }
    EXPECT_EQ(header.size(), headerSize);
    return header + text + tail;
}

struct Page {
    int rc = -1;
    std::string text;  // the page's text body
    std::string body;  // everything, also an error reply
};

Page EmailPage(const QelWWWConfig& config, QelWWWSession* session, const std::string& data,
               const std::string& docId = "7FAA") {
    const int rc = ParseEmbeddedHeader(&config, session, nullptr, nullptr, data, docId, "the mail");
    return {rc, session->response->Text(), session->response->GetBody()};
}

Page BundlePage(const QelWWWConfig& config, QelWWWSession* session, const std::string& data,
                const std::string& docId = "9BUN") {
    const int rc = RenderEmailBundle(&config, session, nullptr, nullptr, data, docId, "the bundle");
    return {rc, session->response->Text(), session->response->GetBody()};
}

std::string Table(const std::string& href, const std::string& image, const std::string& name) {
    return "<TABLE BORDER=0 WIDTH=25%>\n<TR><TD ALIGN=CENTER>\n<br><a href=\"" + href + "\">\n<img src=\"" +
           image + "\"></a>\n</TD></TR>\n<TR>\n<TD ALIGN=CENTER> <FONT SIZE=2>" + name +
           "</TD></TR></TABLE>\n";
}

std::string Refused(const std::string& key) {
    return "The argument &#39;" + key + "&#39; is not a valid decimal number";
}

// ---------------------------------------------------------------------------
// E-mail page
// ---------------------------------------------------------------------------

TEST(EmailPage, TextLinesThenOneTablePerAttachment) {
    const QelWWWConfig config = PageConfig();
    auto session = PageSession(config);
    const std::string data = EmailDocument(819, "Dear Bob,\r\nthe invoice is attached.\n",
                                           {{"invoice.pdf", "%PDF-1"}, {"notes", "n"}});
    const Page page = EmailPage(config, session.get(), data);
    ASSERT_EQ(page.rc, 0) << page.body;
    const size_t pdfAt = data.size() - 7;
    const std::string expected = "Dear Bob,<br>\nthe invoice is attached.<br>\n" +
                                 Table("/cgi-bin/qelwww?_a=r&amp;_eoff=" + std::to_string(pdfAt) +
                                           "&amp;_elen=6&amp;_f=Mail&amp;_d=7FAA"
                                           "&amp;_ext=pdf",
                                       "/img/pdf.gif", "invoice.pdf") +
                                 Table("/cgi-bin/qelwww?_a=r&amp;_eoff=" + std::to_string(pdfAt + 6) +
                                           "&amp;_elen=1&amp;_f=Mail&amp;_d=7FAA&amp;_ext=%2D%2D%2D",
                                       "/img/qkic_att.gif", "notes");
    EXPECT_EQ(page.text, expected);
    EXPECT_EQ(session->response->SourceCodePage(), 1208u);
    EXPECT_EQ(session->response->TargetCodePage(), 1208u);
    EXPECT_NE(page.body.find("<BODY>"), std::string::npos) << "the template's head";
    EXPECT_NE(page.body.find("</HTML>"), std::string::npos) << "the template's tail";
}

TEST(EmailPage, TextConvertedFromItsCodePage) {
    struct Case {
        uint32_t codePage;
        std::string text;
        std::string line;  // UTF-8
    };
    const Case cases[] = {
        {819, "Caf\xE9", "Caf\xC3\xA9"},
        {37, "\xC8\x85\x93\x93\x96", "Hello"},  // EBCDIC
        {1208, "na\xC3\xAFve", "na\xC3\xAFve"},
    };
    const QelWWWConfig config = PageConfig();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codePage);
        auto session = PageSession(config);
        const Page page = EmailPage(config, session.get(), EmailDocument(c.codePage, c.text, {}));
        ASSERT_EQ(page.rc, 0) << page.body;
        EXPECT_EQ(page.text, c.line + "<br>\n");
    }
}

TEST(EmailPage, HostileNamesAndTextAreEscaped) {
    const QelWWWConfig config = PageConfig();
    auto session = PageSession(config, "In box");
    const std::string data = EmailDocument(819, "<script>alert('x')</script> & \"more\"\n",
                                           {{"<img src=x onerror=alert(1)>.p\"&q", "abc"}});
    const Page page = EmailPage(config, session.get(), data, "7FAA\x01x y&_a=logoff");
    ASSERT_EQ(page.rc, 0) << page.body;
    EXPECT_EQ(page.text.find("<script"), std::string::npos) << page.text;
    EXPECT_EQ(page.text.find("<img src=x"), std::string::npos) << page.text;
    EXPECT_NE(page.text.find("&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; &quot;more&quot;<br>\n"),
              std::string::npos)
        << page.text;
    EXPECT_NE(page.text.find("<FONT SIZE=2>&lt;img src=x onerror=alert(1)&gt;.p&quot;&amp;q</TD>"),
              std::string::npos)
        << page.text;
    // The extension is no plain word: the default image, and the link carries it encoded.
    EXPECT_NE(page.text.find("<img src=\"/img/qkic_att.gif\">"), std::string::npos) << page.text;
    EXPECT_NE(page.text.find("&amp;_f=In+box&amp;_d=7FAA%01x+y%26%5Fa%3Dlogoff&amp;_ext=p%22%26q\">"),
              std::string::npos)
        << page.text;
}

TEST(EmailPage, HeaderEndsAtTheFirstOtherLineOrAtTheText) {
    const QelWWWConfig config = PageConfig();
    // Text lines that look like header fields are text: the header ended before them.
    const std::string text = "EMBEDDED_DOC_NAME:evil.exe\nEMBEDDED_DOC_OFFSET:0\nEMBEDDED_DOC_LENGTH:1\n";
    auto session = PageSession(config);
    Page page = EmailPage(config, session.get(), EmailDocument(819, text, {}));
    ASSERT_EQ(page.rc, 0) << page.body;
    EXPECT_EQ(page.text.find("<TABLE"), std::string::npos) << page.text;
    EXPECT_NE(page.text.find("EMBEDDED_DOC_NAME:evil.exe<br>\n"), std::string::npos) << page.text;

    // A line that is no header field ends the header.
    session = PageSession(config);
    page = EmailPage(config, session.get(), "Subject: hi\nEMBEDDED_DOC_NAME:x.txt\nEMBEDDED_DOC_OFFSET:0\n");
    ASSERT_EQ(page.rc, 0) << page.body;
    EXPECT_EQ(page.text, "") << "no text place given, no attachment read";
}

TEST(EmailPage, FieldsOutOfRangeAreRefusedBeforeAnythingIsWritten) {
    const std::string good = EmailDocument(819, "text\n", {{"a.txt", "AB"}});
    const size_t size = good.size();
    auto withField = [&](const std::string& key, const std::string& value) {
        // The good document with one field's value replaced; a short number is padded to
        // the field's width, so that the places of the other pieces stay.
        std::string data = good;
        std::string padded = value;
        if (!value.empty() && value.size() < 8 && value.find_first_not_of("0123456789") == std::string::npos)
            padded.insert(0, 8 - value.size(), '0');
        const size_t at = data.find(key + ":");
        EXPECT_NE(at, std::string::npos) << key;
        const size_t end = data.find('\n', at);
        data.replace(at + key.size() + 1, end - at - key.size() - 1, padded);
        return data;
    };
    struct Case {
        const char* name;
        std::string data;
        const char* key;  // the field message 489 names
    };
    const Case cases[] = {
        {"text offset past the end", withField("GROUP_OFFSET", std::to_string(size + 1)), "GROUP_LENGTH"},
        {"text longer than the rest", withField("GROUP_LENGTH", std::to_string(size)), "GROUP_LENGTH"},
        {"text offset + length wraps", withField("GROUP_OFFSET", "9999999999999999999"), "GROUP_LENGTH"},
        {"negative offset", withField("GROUP_OFFSET", "-1"), "GROUP_OFFSET"},
        {"20 digits", withField("GROUP_LENGTH", "18446744073709551617"), "GROUP_LENGTH"},
        {"no number", withField("GROUP_LENGTH", "12abc"), "GROUP_LENGTH"},
        {"empty number", withField("EMBEDDED_DOC_OFFSET", ""), "EMBEDDED_DOC_OFFSET"},
        {"attachment past the end", withField("EMBEDDED_DOC_LENGTH", "3"), "EMBEDDED_DOC_LENGTH"},
        {"attachment offset + length wraps", withField("EMBEDDED_DOC_LENGTH", "9223372036854775807"),
         "EMBEDDED_DOC_LENGTH"},
        {"code page no number", withField("CODEPAGE", "utf8"), "CODEPAGE"},
        {"code page zero", withField("CODEPAGE", "0"), "CODEPAGE"},
        {"code page unknown", withField("CODEPAGE", "99999"), "CODEPAGE"},
        {"code page above 32 bits", withField("CODEPAGE", "4294968504"), "CODEPAGE"},
        {"text offset without length", "GROUP_OFFSET:0\n", "GROUP_LENGTH"},
        {"text length without offset", "GROUP_LENGTH:0\n", "GROUP_OFFSET"},
        {"attachment place before its name", "EMBEDDED_DOC_OFFSET:0\nEMBEDDED_DOC_NAME:a\n",
         "EMBEDDED_DOC_OFFSET"},
        {"attachment without offset", "EMBEDDED_DOC_NAME:a\nEMBEDDED_DOC_LENGTH:0\n", "EMBEDDED_DOC_OFFSET"},
        {"attachment without length", "EMBEDDED_DOC_NAME:a\nEMBEDDED_DOC_OFFSET:0\n", "EMBEDDED_DOC_LENGTH"},
    };
    const QelWWWConfig config = PageConfig();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto session = PageSession(config);
        const Page page = EmailPage(config, session.get(), c.data);
        EXPECT_EQ(page.rc, 1);
        EXPECT_NE(page.body.find(Refused(c.key)), std::string::npos) << page.body;
        EXPECT_EQ(page.body.find("<TABLE"), std::string::npos) << "nothing of the page";
    }
    // The edges that fit: an empty text and an empty attachment at the very end.
    auto session = PageSession(config);
    const std::string edge = EmailDocument(819, "", {{"e", ""}});
    const Page page = EmailPage(config, session.get(), edge);
    EXPECT_EQ(page.rc, 0) << page.body;
    EXPECT_NE(page.text.find("_eoff=" + std::to_string(edge.size()) + "&amp;_elen=0&amp;"), std::string::npos)
        << page.text;
}

TEST(EmailPage, ImageOfAnExtension) {
    struct Case {
        const char* extension;
        const char* image;
    };
    const Case cases[] = {
        {"pdf", "pdf.gif"},         {"PDF", "pdf.gif"},      {"Txt", "text.gif"},
        {"doc", "qkic_att.gif"},  // not configured
        {"---", "qkic_att.gif"},  // a name without extension
        {"p/../x", "qkic_att.gif"}, {"a b", "qkic_att.gif"}, {"", "qkic_att.gif"},
    };
    const QelWWWConfig config = PageConfig();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.extension);
        EXPECT_EQ(AttachmentImage(&config, c.extension), c.image);
    }
}

TEST(EmailPage, ExtensionOfAName) {
    struct Case {
        const char* name;
        const char* extension;
    };
    const Case cases[] = {
        {"report.pdf", "pdf"}, {"a.tar.gz", "gz"},      {"README", "---"},
        {"trailing.", "---"},  {".profile", "profile"}, {"", "---"},
    };
    for (const Case& c : cases) EXPECT_EQ(ExtensionOf(c.name), c.extension) << c.name;
}

// ---------------------------------------------------------------------------
// Bundle page
// ---------------------------------------------------------------------------

// A bundle of two documents; the second embeds "EMB" (3 bytes) placed at the data's end.
std::string Bundle(const std::string& offsetField, const std::string& lengthField) {
    return "QK-Doc-Bgn\n"
           "QK-Doc-Bdy-Bgn\n"
           "Total = 5 < 6\r\n"
           "QK-Doc-Emb-Doc-Name=fake.txt\n"  // body text, not a field
           "QK-Doc-Bdy-End\n"
           "QK-Doc-End\n"
           "QK-Doc-Bgn\n"
           "QK-Doc-Bdy-Bgn\n"
           "second\n"
           "QK-Doc-Bdy-End\n"
           "QK-Doc-Emb-Doc-Name=scan 1.tif\n"
           "QK-Doc-Emb-Doc-Obj-Name=2BUN\n" +
           offsetField + lengthField +
           "QK-Doc-Emb-Doc-Obj-CompOff=0\n"
           "QK-Doc-Emb-Doc-Obj-CompLen=99\n"
           "QK-Doc-End\n"
           "EMB";
}

std::string BundleWithPlace() {
    std::string data = Bundle("QK-Doc-Emb-Doc-Obj-Off=0000\n", "QK-Doc-Emb-Doc-Obj-Len=3\n");
    const std::string offset = std::to_string(data.size() - 3);
    EXPECT_EQ(offset.size(), 3u);
    return Bundle("QK-Doc-Emb-Doc-Obj-Off=0" + offset + "\n", "QK-Doc-Emb-Doc-Obj-Len=3\n");
}

TEST(BundlePage, BodiesThenTheEmbeddedDocumentsTable) {
    const QelWWWConfig config = PageConfig();
    auto session = PageSession(config, "Bundles");
    const std::string data = BundleWithPlace();
    const Page page = BundlePage(config, session.get(), data);
    ASSERT_EQ(page.rc, 0) << page.body;
    const std::string expected = "Total = 5 &lt; 6<br>\nQK-Doc-Emb-Doc-Name=fake.txt<br>\nsecond<br>\n" +
                                 Table("/cgi-bin/qelwww?_a=r&amp;_eoff=" + std::to_string(data.size() - 3) +
                                           "&amp;_elen=3&amp;_f=Bundles&amp;_d=9BUN&amp;_ext=tif",
                                       "/img/qkic_att.gif", "scan 1.tif");
    EXPECT_EQ(page.text, expected);
    EXPECT_EQ(session->response->SourceCodePage(), 1208u);
}

TEST(BundlePage, PlacesOutOfRangeAreRefused) {
    struct Case {
        const char* name;
        std::string data;
        const char* key;
    };
    const Case cases[] = {
        {"no offset", Bundle("", "QK-Doc-Emb-Doc-Obj-Len=3\n"), "QK-Doc-Emb-Doc-Obj-Off"},
        {"no length", Bundle("QK-Doc-Emb-Doc-Obj-Off=0\n", ""), "QK-Doc-Emb-Doc-Obj-Len"},
        {"past the end", Bundle("QK-Doc-Emb-Doc-Obj-Off=1\n", "QK-Doc-Emb-Doc-Obj-Len=9999\n"),
         "QK-Doc-Emb-Doc-Obj-Len"},
        {"wraps", Bundle("QK-Doc-Emb-Doc-Obj-Off=2\n", "QK-Doc-Emb-Doc-Obj-Len=18446744073709551\n"),
         "QK-Doc-Emb-Doc-Obj-Len"},
        {"negative", Bundle("QK-Doc-Emb-Doc-Obj-Off=-1\n", "QK-Doc-Emb-Doc-Obj-Len=1\n"),
         "QK-Doc-Emb-Doc-Obj-Off"},
        {"stored length no number", "QK-Doc-Emb-Doc-Name=a\nQK-Doc-Emb-Doc-Obj-CompLen=x\n",
         "QK-Doc-Emb-Doc-Obj-CompLen"},
        {"a place without a name", "QK-Doc-Bgn\nQK-Doc-Emb-Doc-Obj-Off=0\n", "QK-Doc-Emb-Doc-Obj-Off"},
    };
    const QelWWWConfig config = PageConfig();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto session = PageSession(config);
        const Page page = BundlePage(config, session.get(), c.data);
        EXPECT_EQ(page.rc, 1);
        EXPECT_NE(page.body.find(Refused(c.key)), std::string::npos) << page.body;
        EXPECT_EQ(page.body.find("Total"), std::string::npos) << "nothing of the page";
    }
}

TEST(BundlePage, HostileTextIsEscapedAndAnOpenBodyEndsWithTheData) {
    const QelWWWConfig config = PageConfig();
    auto session = PageSession(config);
    const Page page = BundlePage(config, session.get(),
                                 "QK-Doc-Bgn\nQK-Doc-Bdy-Bgn\n<b onclick=\"x\">&amp;</b>\nno end marker");
    ASSERT_EQ(page.rc, 0) << page.body;
    EXPECT_EQ(page.text, "&lt;b onclick=&quot;x&quot;&gt;&amp;amp;&lt;/b&gt;<br>\nno end marker<br>\n");
}

// ---------------------------------------------------------------------------
// The link
// ---------------------------------------------------------------------------

TEST(EmbeddedDocUrl, AsWritten) {
    struct Case {
        const char* name;
        const char* page;  // the request's template
        const char* folder;
        std::string docId;
        const char* extension;
        std::string url;
    };
    const Case cases[] = {
        {"plain", "", "Mail", "7FAA", "pdf", "/q?_a=r&_eoff=12&_elen=34&_f=Mail&_d=7FAA&_ext=pdf"},
        {"blanks as '+'", "my page.html", "In box", "7FAA\x01 a b", "---",
         "/q?_a=r&_h=my+page.html&_eoff=12&_elen=34&_f=In+box&_d=7FAA%01+a+b&_ext=%2D%2D%2D"},
        {"folder made UTF-8", "", "Caf\xE9", "1", "x", "/q?_a=r&_eoff=12&_elen=34&_f=Caf%C3%A9&_d=1&_ext=x"},
        {"values that would add parameters", "a&b=c", "f", "d&_a=logoff", "e#",
         "/q?_a=r&_h=a%26b%3Dc&_eoff=12&_elen=34&_f=f&_d=d%26%5Fa%3Dlogoff&_ext=e%23"},
    };
    const QelWWWConfig config = PageConfig();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto session = PageSession(config, c.folder);
        session->scriptName = "/q";
        session->pageAsGiven = c.page;
        EXPECT_EQ(QelWWW_EmbeddedDocUrl(&config, session.get(), c.docId, c.folder, 12, 34, c.extension),
                  c.url);
    }
}

TEST(EmbeddedDocUrl, LongDocIdAndLargestPlaceAreWhole) {
    const QelWWWConfig config = PageConfig();
    auto session = PageSession(config);
    const std::string docId(6000, 'A');
    const std::string url = QelWWW_EmbeddedDocUrl(&config, session.get(), docId, std::string(3000, 'F'),
                                                  UINT64_MAX - 1, UINT64_MAX, "bin");
    EXPECT_EQ(url, "/cgi-bin/qelwww?_a=r&_eoff=18446744073709551614&_elen=18446744073709551615&_f=" +
                       std::string(3000, 'F') + "&_d=" + docId + "&_ext=bin");
}

// The link of an e-mail page's attachment, as the next request: it brings back exactly
// the attachment's bytes.
TEST(EmbeddedDocUrl, LinkBringsBackItsAttachment) {
    const QelWWWConfig config = PageConfig();
    const std::vector<Part> parts = {{"one.txt", "first part"}, {"two.bin", std::string("\0\x01\xFF", 3)}};
    const std::string data = EmailDocument(819, "hello\n", parts);
    auto session = PageSession(config);
    const Page page = EmailPage(config, session.get(), data);
    ASSERT_EQ(page.rc, 0) << page.body;
    size_t from = 0;
    for (const Part& part : parts) {
        SCOPED_TRACE(part.name);
        const size_t href = page.text.find("href=\"", from);
        ASSERT_NE(href, std::string::npos);
        const size_t end = page.text.find('"', href + 6);
        from = end;
        std::string url = page.text.substr(href + 6, end - href - 6);
        for (size_t at; (at = url.find("&amp;")) != std::string::npos;) url.replace(at, 5, "&");
        const std::string query = url.substr(url.find('?') + 1);
        auto next = PageSession(config, "Mail", query.c_str());
        ASSERT_EQ(WriteEmbeddedDoc(&config, next.get(), data), 0) << next->response->GetBody();
        EXPECT_EQ(next->response->Binary(), part.bytes);
    }
}

}  // namespace
