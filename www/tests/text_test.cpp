// URL encoding and decoding, HTML escaping, the small text helpers and the JVM text bridge.
#include <gtest/gtest.h>

#include <cstring>

#include "decimal.h"
#include "java_text.h"
#include "qel_www.h"

namespace {

TEST(UrlEncode, KeepsOnlyTheSafeCharactersForEachBrowser) {
    struct Case {
        const char* name;
        uint32_t kind;
        int32_t major;
        bool strict;
        const char* input;
        const char* expected;
    } cases[] = {
        {"strict IE", QELWWW_BROWSER_IE, 5, true, "a b@c", "a%20b%40c"},
        {"Netscape 4", QELWWW_BROWSER_NETSCAPE, 4, false, "a b@c", "a%20b%40c"},
        {"IE not strict", QELWWW_BROWSER_IE, 5, false, "a b@c", "a%20b@c"},
        {"Netscape 3 not strict", QELWWW_BROWSER_NETSCAPE, 3, false, "x@y", "x@y"},
        {"unknown browser", 0, 0, false, "x@y", "x%40y"},
        {"marks kept unless strict", QELWWW_BROWSER_NETSCAPE, 4, false, "_-*.", "_-*."},
        {"marks encoded when strict", QELWWW_BROWSER_NETSCAPE, 4, true, "_-*.", "%5F%2D%2A."},
        {"delimiters", 0, 0, true, "a&b=c;d%e+f/g", "a%26b%3Dc%3Bd%25e%2Bf%2Fg"},
        {"high bytes in upper-case hex", 0, 0, true, "\xC3\xA9\xFF", "%C3%A9%FF"},
        {"empty", 0, 0, true, "", ""},
    };
    for (const Case& c : cases) {
        QelWWWSession session;
        session.browserKind = c.kind;
        session.browserMajor = c.major;
        EXPECT_EQ(QelWWW_UrlEncode(&session, c.input, c.strict), c.expected) << c.name;
        std::vector<char> buffer(3 * std::strlen(c.input) + 1, 'X');
        EXPECT_STREQ(QelWWW_UrlEncode(nullptr, &session, c.input, buffer.data(), c.strict), c.expected)
            << c.name;
    }
}

TEST(PercentDecode, DecodesAndNeverReadsPastTheEnd) {
    struct Case {
        const char* input;
        std::string expected;
    } cases[] = {
        {"%41+b", "A b"},
        {"%zz", std::string(1, '\0')},
        {"%4a%4A", "JJ"},
        {"%", "%"},
        {"%4", "%4"},
        {"ab%", "ab%"},
        {"ab%4", "ab%4"},
        {"%%41", std::string("\x04"
                             "1",
                             2)},  // digits '%' (counts 0) and '4'
        {"+++", "   "},
        {"", ""},
    };
    for (const Case& c : cases) {
        std::string text = c.input;
        QelWWW_PercentDecode(&text);
        EXPECT_EQ(text, c.expected) << c.input;
        // The C form stops at the first zero byte it wrote.
        std::vector<char> buffer(c.input, c.input + std::strlen(c.input) + 1);
        QelWWW_PercentDecode(buffer.data());
        EXPECT_STREQ(buffer.data(), c.expected.c_str()) << c.input;
    }
}

TEST(TextHelpers, ReplaceCharacterNumberTestAndHtmlEscape) {
    char text[] = "a.b.c";
    EXPECT_STREQ(QelWWW_ReplaceChar(text, '.', '/'), "a/b/c");
    EXPECT_EQ(QelWWW_ReplaceCharByText("it's 'x'", '\'', "\\'"),
              std::optional<std::string>("it\\'s \\'x\\'"));
    EXPECT_EQ(QelWWW_ReplaceCharByText(nullptr, 'a', "b"), std::nullopt);
    EXPECT_EQ(QelWWW_ReplaceCharByText("a", 'a', nullptr), std::nullopt);

    struct Case {
        const char* text;
        bool number;
    } numbers[] = {{"0", true}, {"123", true}, {"", true}, {"12a", false}, {"-1", false}, {" 1", false}};
    for (const Case& c : numbers) EXPECT_EQ(QelWWW_IsNumber(c.text), c.number) << '"' << c.text << '"';

    EXPECT_EQ(QelWWW_HtmlEscape("\"><script>alert('x')&</script>"),
              "&quot;&gt;&lt;script&gt;alert(&#39;x&#39;)&amp;&lt;/script&gt;");
    EXPECT_EQ(QelWWW_HtmlEscape("plain text"), "plain text");
}

TEST(Decimal, ParsesDigitsWithinTheirRangeAndClampsLeadingNumbers) {
    using qelwww::detail::LeadingNumber;
    using qelwww::detail::ParseDigits;
    EXPECT_EQ(ParseDigits("4294967295", UINT32_MAX), std::optional<uint64_t>(4294967295u));
    EXPECT_EQ(ParseDigits("4294967296", UINT32_MAX), std::nullopt);
    EXPECT_EQ(ParseDigits("99999999999999999999999", UINT64_MAX), std::nullopt);
    EXPECT_EQ(ParseDigits("", 10), std::nullopt);
    EXPECT_EQ(ParseDigits("1 ", 10), std::nullopt);
    struct Case {
        const char* text;
        int32_t value;
    } cases[] = {{"80", 80},
                 {"80abc", 80},
                 {"abc", 0},
                 {"-5", -5},
                 {"  7", 7},
                 {"99999999999999", INT32_MAX},
                 {"-99999999999999", INT32_MIN},
                 {"", 0}};
    for (const Case& c : cases) EXPECT_EQ(LeadingNumber(c.text), c.value) << c.text;
}

TEST(JavaText, RoundTripsUnicodeAndReplacesWhatTheJvmCannotTake) {
    using namespace qelwww::detail;
    EXPECT_EQ(Utf16ToUtf8(u"a\u00e9\u20ac"), "a\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");          // lone high surrogate
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xDC00') + u"x"), "\xEF\xBF\xBDx");  // lone low surrogate

    struct Case {
        const char* name;
        std::string bytes;
        std::u16string expected;
    } cases[] = {
        {"ascii", "text/html", u"text/html"},
        {"valid two-byte", "\xC3\xA9", u"\u00e9"},
        {"four-byte becomes a pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
        {"stray continuation",
         "a\x80"
         "b",
         u"a\uFFFDb"},
        {"cut sequence", "\xE2\x82", u"\uFFFD\uFFFD"},
        {"overlong NUL", "\xC0\x80", u"\uFFFD\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"latin-1 byte", "\xE9t\xE9", u"\uFFFDt\uFFFD"},
        {"NUL byte", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    for (const Case& c : cases) EXPECT_EQ(BytesToUtf16(c.bytes), c.expected) << c.name;
    EXPECT_TRUE(IsPlainAscii("Set-Cookie"));
    EXPECT_FALSE(IsPlainAscii(std::string("a\0b", 3)));
    EXPECT_FALSE(IsPlainAscii("\xC3\xA9"));
}

}  // namespace
