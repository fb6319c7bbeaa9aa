// Line data to text: each line with a line feed, a form feed after each page, read from
// memory through the line-data reader.
#include <gtest/gtest.h>

#include "documents.h"
#include "qel_client.h"
#include "www_test_support.h"

namespace {

using qelwww::detail::QelWWW_LineDataToText;

TEST(LineDataToText, PagesAndLines) {
    struct Case {
        const char* name;
        char recordFormat;
        int32_t recordLength;
        char carriageControl;
        int32_t codePage;
        int32_t linesPerPage;
        std::string data;
        std::string expected;
    };
    const Case cases[] = {
        {"three pages by ANSI controls", 'S', 0, 'A', 819, 0,
         "1Page one\n Line two\n1Page two\n1Page three\n second\n",
         "Page one\nLine two\n\fPage two\n\fPage three\nsecond\n\f"},
        {"blank lines before a record", 'S', 0, 'A', 819, 0, "1top\n0after one\n", "top\n\nafter one\n\f"},
        {"form feed without carriage control", 'S', 0, 'N', 819, 0, "a\n\fb\n", "a\n\fb\n\f"},
        {"lines per page", 'S', 0, 'N', 819, 2, "1\n2\n3\n", "1\n2\n\f3\n\f"},
        {"fixed records", 'F', 4, 'N', 819, 0, "abcdEFGH", "abcd\nEFGH\n\f"},
        {"variable records", 'V', 0, 'N', 819, 0, std::string("\0\x03xyz\0\x01q", 8), "xyz\nq\n\f"},
        {"EBCDIC through the code-page service", 'S', 0, 'N', 37, 0, "\xC1\xC2\x40\xF1\n", "AB 1\n\f"},
    };
    QelWWWConfig config = wwwtest::ConfigFromIni("", 819);
    for (const Case& c : cases) {
        OpenDocument document;
        document.recordFormat = c.recordFormat;
        document.recordLength = c.recordLength;
        document.carriageControl = c.carriageControl;
        document.dataCodePage = c.codePage;
        document.linesPerPage = c.linesPerPage;
        document.recordDelimiter = "0A";
        std::string text = "left over";
        ASSERT_TRUE(QelWWW_LineDataToText(&config, &document, c.data, &text)) << c.name;
        EXPECT_EQ(text, c.expected) << c.name;
    }
}

TEST(LineDataToText, ThreePagesGiveThreeFormFeeds) {
    QelWWWConfig config = wwwtest::ConfigFromIni("", 819);
    OpenDocument document;
    document.recordFormat = 'S';
    document.carriageControl = 'A';
    document.dataCodePage = 819;
    document.recordDelimiter = "0D0A";
    std::string data;
    for (int page = 1; page <= 3; ++page) {
        data += "1Page " + std::to_string(page) + "\r\n";
        for (int line = 0; line < 70; ++line) data += " line " + std::to_string(line) + "\r\n";
    }
    std::string text;
    ASSERT_TRUE(QelWWW_LineDataToText(&config, &document, data, &text));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), 3);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3 * 71);
    EXPECT_EQ(text.substr(0, 15), "Page 1\nline 0\nl");
    EXPECT_EQ(text.back(), '\f');
}

TEST(PageText, EscapedWithARuleAfterEachFormFeed) {
    const std::string rule =
        "<span class=\"page-end\" role=\"separator\" "
        "style=\"display:block;border-top:1px dashed #888;margin:0.3em 0\"></span>";
    struct Case {
        const char* name;
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"nothing", "", ""},
        {"no page break", "a<b>&\n", "a&lt;b&gt;&amp;\n"},
        {"pages", "one\n\ftwo\n\f", "one\n\f" + rule + "two\n\f" + rule},
        {"empty pages and text after the last break", "\f\f<x", "\f" + rule + "\f" + rule + "&lt;x"},
        {"markup of a page's text next to the break", "</pre>\f\"", "&lt;/pre&gt;\f" + rule + "&quot;"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(qelwww::detail::QelWWW_PageText(c.text), c.expected);
    }
}

TEST(LineDataToText, NothingReadableFails) {
    QelWWWConfig config = wwwtest::ConfigFromIni("", 819);
    OpenDocument document;
    document.recordFormat = 'F';
    document.recordLength = 0;  // no records at all
    std::string text = "kept";
    EXPECT_FALSE(QelWWW_LineDataToText(&config, &document, "abc", &text));
    document.recordFormat = 'S';
    EXPECT_FALSE(QelWWW_LineDataToText(&config, &document, "", &text)) << "no data";
    EXPECT_FALSE(QelWWW_LineDataToText(&config, nullptr, "abc", &text)) << "no document";
    EXPECT_EQ(text, "kept");
}

}  // namespace
