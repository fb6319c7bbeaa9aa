// The file names documents are saved under: descriptions from the archive (anything may
// stand in them) made safe, and the extension of what is sent.
#include <gtest/gtest.h>

#include <string>

#include "document_parts.h"

namespace {

using qelwww::detail::DownloadDisposition;
using qelwww::detail::DownloadFileName;

TEST(DownloadFileName, DescriptionAndExtension) {
    struct Case {
        const char* name;
        std::string description;
        const char* contentType;
        const char* fallback;
        std::string expected;
    };
    const Case cases[] = {
        {"PDF", "Price list PDF 01/31/24", "application/pdf", "", "Price list PDF 01-31-24.pdf"},
        {"TIFF", "Scanned delivery note", "image/tiff", "tif", "Scanned delivery note.tif"},
        {"AFP", "Customer letter", "application/afp", "afp", "Customer letter.afp"},
        {"type with parameters and in capitals", "Memo", "TEXT/PLAIN; charset=UTF-8", "", "Memo.txt"},
        {"a site's own type: the document type's extension", "Letter", "application/x-site-afp", "afp",
         "Letter.afp"},
        {"a user type's extension is cleaned", "Sheet", "application/unknown", "../x.L S", "Sheet.xls"},
        {"nothing known", "Blob", "application/unknown", "", "Blob.bin"},
        {"hostile markup", "</pre><script>alert(1)</script>", "application/pdf", "",
         "-pre script alert(1) -script.pdf"},
        {"quotes and attributes", "\"><img src=x onerror=alert(2)>", "application/pdf", "",
         "img src=x onerror=alert(2).pdf"},
        {"header and path tricks", "a\r\nSet-Cookie: x=1\\..\\b;%00", "image/tiff", "",
         "a Set-Cookie- x=1-..-b 00.tif"},
        {"a leading dot would hide the file", "..hidden. ", "application/pdf", "", "hidden.pdf"},
        {"nothing left of the description", " \t\"?* ", "application/pdf", "", "document.pdf"},
        {"empty description", "", "image/tiff", "", "document.tif"},
        {"UTF-8 kept", "Gr\u00FC\u00DFe \u20AC", "application/pdf", "", "Gr\u00FC\u00DFe \u20AC.pdf"},
        {"cut at 120 bytes", std::string(130, 'x'), "application/pdf", "", std::string(120, 'x') + ".pdf"},
        {"never inside a character", std::string(119, 'x') + "\xC3\xBC" + "tail", "application/pdf", "",
         std::string(119, 'x') + ".pdf"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DownloadFileName(c.description, c.contentType, c.fallback), c.expected) << c.name;
}

TEST(DownloadDisposition, PlainAndExtendedNames) {
    struct Case {
        const char* name;
        std::string fileName;
        std::string expected;
    };
    const Case cases[] = {
        {"ASCII", "Price list.pdf", "inline; filename=\"Price list.pdf\"; filename*=UTF-8''Price%20list.pdf"},
        {"UTF-8: one '_' a character in the plain name", "Gr\u00FC\u00DFe \u20AC.pdf",
         "inline; filename=\"Gr__e _.pdf\"; filename*=UTF-8''Gr%C3%BC%C3%9Fe%20%E2%82%AC.pdf"},
        {"characters a quoted string keeps", "a'(b)=c,d.tif",
         "inline; filename=\"a'(b)=c,d.tif\"; filename*=UTF-8''a%27%28b%29%3Dc%2Cd.tif"},
    };
    for (const Case& c : cases) EXPECT_EQ(DownloadDisposition(c.fileName), c.expected) << c.name;
    // Whatever the description, the header value has no quote, backslash or control
    // character inside its quoted name.
    std::string every;
    for (int byte = 1; byte < 256; ++byte) every += static_cast<char>(byte);
    const std::string value = DownloadDisposition(DownloadFileName(every, "application/pdf", ""));
    const size_t open = value.find('"');
    const size_t close = value.find('"', open + 1);
    ASSERT_NE(close, std::string::npos);
    EXPECT_EQ(value.find('"', close + 1), std::string::npos) << value;
    for (char c : value) {
        EXPECT_GE(static_cast<unsigned char>(c), 0x20) << value;
        EXPECT_LT(static_cast<unsigned char>(c), 0x7F) << value;
        EXPECT_NE(c, '\\') << value;
    }
}

}  // namespace
