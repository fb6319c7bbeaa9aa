// Parsing request texts into parameter lists.
#include "www_test_support.h"

#include "java_text.h"

namespace {

using wwwtest::ConfigFromIni;
using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs PairsOf(const QelWWWParmList& list) {
    Pairs out;
    for (int i = 0; i < list.Count(); ++i) out.emplace_back(list.Name(i), list.Value(i));
    return out;
}

TEST(ParmList, SplitsAndDecodesPairs) {
    QelWWWConfig config = ConfigFromIni("", 1208);
    ASSERT_NE(config.codePageContext, nullptr);
    struct Case {
        const char* text;
        Pairs expected;
    } cases[] = {
        {"a=1&b=2", {{"a", "1"}, {"b", "2"}}},
        {"a&b=c", {{"a&b", "c"}}},
        {"a=1&trailing", {{"a", "1"}}},
        {"%3D=%26&x=%41+b", {{"=", "&"}, {"x", "A b"}}},
        {"x=1&x=2", {{"x", "1"}, {"x", "2"}}},
        {"=v&a=", {{"", "v"}, {"a", ""}}},
        {"a=b=c", {{"a", "b=c"}}},
        {"a=%z1", {{"a", "\x01"}}},
        {"a=%4&b=%", {{"a", "%4"}, {"b", "%"}}},
        {"n=caf%C3%A9", {{"n", "caf\xC3\xA9"}}},
        {"bad=\xFF", {}},  // not UTF-8: nothing at all
        {"", {}},
    };
    for (const Case& c : cases) {
        QelWWWParmList list(&config, c.text);
        EXPECT_EQ(PairsOf(list), c.expected) << c.text;
    }
}

TEST(ParmList, ConvertsToTheConfiguredCodePage) {
    QelWWWConfig config = ConfigFromIni("", 819);
    QelWWWParmList list(&config, "n=caf%C3%A9&raw=%FF");
    // %FF decodes to a byte that is not UTF-8: the decoded text is kept.
    EXPECT_EQ(PairsOf(list), (Pairs{{"n", "caf\xE9"}, {"raw", "\xFF"}}));
    EXPECT_EQ(list.AddPair("added", "x%C3%A9"), 0);
    EXPECT_STREQ(list.Get("added"), "x\xE9");
}

TEST(ParmList, AChangedCodePageTakesEffectForLaterPairs) {
    // The list keeps its converter between pairs; a new code page must replace it.
    QelWWWConfig config = ConfigFromIni("", 819);
    QelWWWParmList list(&config, "n=caf%C3%A9");
    EXPECT_STREQ(list.Get("n"), "caf\xE9");
    list.SetCodePage(1208);
    EXPECT_EQ(list.AddPair("later", "caf%C3%A9"), 0);
    EXPECT_STREQ(list.Get("later"), "caf\xC3\xA9");
    list.SetCodePage(819);
    EXPECT_EQ(list.AddPair("back", "caf%C3%A9"), 0);
    EXPECT_STREQ(list.Get("back"), "caf\xE9");
}

TEST(ParmList, LookupPrefersTheLongNameAndTheFirstPair) {
    QelWWWConfig config = ConfigFromIni("", 1208);
    QelWWWParmList list(&config, "_a=short&_function=long&_function=second&_pt=80");
    EXPECT_STREQ(list.Get("_function", "_a"), "long");
    EXPECT_STREQ(list.Get("_missing", "_a"), "short");
    EXPECT_EQ(list.Get("_missing", nullptr), nullptr);
    EXPECT_EQ(list.Get("_p"), nullptr) << "names match whole";
    EXPECT_EQ(list.GetCopy("_pt"), std::optional<std::string>("80"));
    EXPECT_TRUE(list.Has("_a"));
    EXPECT_FALSE(list.Has("_A"));
    list.FreeParms();
    EXPECT_EQ(list.Count(), 0);
}

TEST(ParmList, RefusesMoreThanTheLimit) {
    QelWWWConfig config = ConfigFromIni("", 1208);
    std::string text;
    for (int i = 0; i <= QELWWW_MAX_PARMS; ++i) text += "p" + std::to_string(i) + "=v&";
    QelWWWParmList list(&config);
    EXPECT_EQ(list.Parse(text.c_str()), 1);
    EXPECT_EQ(list.Count(), QELWWW_MAX_PARMS);
    EXPECT_EQ(list.RefusedName(), "p1024");
    EXPECT_EQ(list.AddPair("more", "x"), 1);

    std::string exact;
    for (int i = 0; i < QELWWW_MAX_PARMS; ++i) exact += "q=" + std::to_string(i) + "&";
    QelWWWParmList full(&config);
    EXPECT_EQ(full.Parse(exact.c_str()), 0);
    EXPECT_EQ(full.Count(), QELWWW_MAX_PARMS);
}

TEST(ParmList, RefusesAPairHoldingANulAndKeepsTheOthers) {
    QelWWWConfig config = ConfigFromIni("", 819);
    struct Case {
        const char* text;
        Pairs kept;
        std::string refused;
    } cases[] = {
        {"_user=alice%00x&_nohtml=1", {{"_nohtml", "1"}}, "_user"},
        {"_u%00x=bob&a=1", {{"a", "1"}}, "_u%00x"},  // the name as sent
        {"%00=v", {}, "%00"},
        {"a=%zz", {}, "a"},  // non-hex digits count 0
        {"a=1&b=%00&c=%00", {{"a", "1"}}, "b"},
        {"a=%2500", {{"a", "%00"}}, ""},
    };
    for (const Case& c : cases) {
        QelWWWParmList list(&config);
        EXPECT_EQ(list.Parse(c.text), c.refused.empty() ? 0 : 1) << c.text;
        EXPECT_EQ(PairsOf(list), c.kept) << c.text;
        EXPECT_EQ(list.RefusedName(), c.refused) << c.text;
    }
    QelWWWParmList list(&config);
    EXPECT_EQ(list.AddPair("n", "x%00y"), 1);
    EXPECT_EQ(list.Count(), 0);
}

TEST(ParmList, AUtf8ListRefusesADecodedPairThatIsNotUtf8) {
    QelWWWConfig utf8 = ConfigFromIni("", 1208);
    QelWWWConfig latin1 = ConfigFromIni("", 819);
    struct Case {
        const char* label;
        const QelWWWConfig* config;
        const char* text;
        Pairs kept;
        std::string refused;
    } cases[] = {
        {"overlong '<' and '>'",
         &utf8,
         "_text=%C0%BCsvg+onload%3Dx%C0%BE&_nohtml=1",
         {{"_nohtml", "1"}},
         "_text"},
        {"four-byte overlong, stray bytes", &utf8, "Title=%F0%80%80%BCa%FF%FE", {}, "Title"},
        {"a surrogate", &utf8, "a=1&v=%ED%A0%80", {{"a", "1"}}, "v"},
        {"a lone continuation byte", &utf8, "v=%80", {}, "v"},
        {"cut off by the end", &utf8, "v=%E2%82", {}, "v"},
        {"past U+10FFFF", &utf8, "v=%F4%90%80%80", {}, "v"},
        {"in a name: the name as sent", &utf8, "k%C0%AF=v&a=1", {{"a", "1"}}, "k%C0%AF"},
        {"the first refused pair is named", &utf8, "v=%C1%81&w=%80", {}, "v"},
        {"well-formed", &utf8, "v=%E2%82%AC%F0%9F%98%80", {{"v", "\xE2\x82\xAC\xEF\xBF\xBD"}}, ""},
        // In a single-byte list the bytes are that page's own, as the gateway's links send them.
        {"a single-byte list keeps the bytes", &latin1, "_text=%C0%BC", {{"_text", "\xC0\xBC"}}, ""},
        // Unencoded, a text that is not UTF-8 adds no pair at all.
        {"an unencoded surrogate", &utf8, "a=1&v=\xED\xA0\x80", {}, ""},
    };
    for (const Case& c : cases) {
        QelWWWParmList list(c.config);
        EXPECT_EQ(list.Parse(c.text), c.refused.empty() ? 0 : 1) << c.label;
        EXPECT_EQ(PairsOf(list), c.kept) << c.label;
        EXPECT_EQ(list.RefusedName(), c.refused) << c.label;
    }
}

TEST(ParmList, ACharacterBeyondTheBmpBecomesTheSubstitutionCharacterOfItsValueOnly) {
    QelWWWConfig latin1 = ConfigFromIni("", 819);
    QelWWWConfig utf8 = ConfigFromIni("", 1208);
    const std::string sub = "\x1A";                  // 819
    const std::string replacement = "\xEF\xBF\xBD";  // U+FFFD in a UTF-8 list
    struct Case {
        const char* label;
        const QelWWWConfig* config;
        std::string text;
        Pairs expected;
    } cases[] = {
        {"unencoded",
         &latin1,
         "_function=bogus&_user=a\xF0\x9F\x98\x80"
         "b&_nohtml=1",
         {{"_function", "bogus"}, {"_user", "a" + sub + "b"}, {"_nohtml", "1"}}},
        {"encoded",
         &latin1,
         "_user=a%F0%9F%98%80b&n=caf%C3%A9",
         {{"_user", "a" + sub + "b"}, {"n", "caf\xE9"}}},
        {"in a name", &latin1, "k\xF0\x9F\x98\x80=v", {{"k" + sub, "v"}}},
        {"two in a row, the last one", &latin1, "v=\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF", {{"v", sub + sub}}},
        {"UTF-8 list", &utf8, "v=\xF0\x9F\x98\x80\xC3\xA9", {{"v", replacement + "\xC3\xA9"}}},
        // Not UTF-8 at all: past U+10FFFF, an overlong form, a cut sequence.
        {"past U+10FFFF", &latin1, "a=1&v=\xF4\x90\x80\x80", {}},
        {"overlong", &latin1, "a=1&v=\xF0\x80\x80\x80", {}},
        {"cut", &latin1, "a=1&v=\xF0\x9F\x98", {}},
    };
    for (const Case& c : cases) {
        QelWWWParmList list(c.config);
        EXPECT_EQ(list.Parse(c.text.c_str()), 0) << c.label;
        EXPECT_EQ(PairsOf(list), c.expected) << c.label;
    }
    QelWWWParmList added(&latin1);
    EXPECT_EQ(added.AddPair("n\xF0\x9F\x98\x80", "%F0%9F%98%80"), 0);
    EXPECT_EQ(PairsOf(added), (Pairs{{"n" + sub, sub}}));
}

TEST(ParmList, TakesTheServletsQueryWithASurrogatePair) {
    // The JVM hands the query as UTF-16; the pair arrives as one four-byte character.
    QelWWWConfig config = ConfigFromIni("", 819);
    std::string text = qelwww::detail::Utf16ToUtf8(u"_function=logon&_user=a\U0001F600b&_nohtml=1");
    QelWWWParmList list(&config, text.c_str());
    EXPECT_EQ(PairsOf(list), (Pairs{{"_function", "logon"},
                                    {"_user",
                                     "a\x1A"
                                     "b"},
                                    {"_nohtml", "1"}}));
}

TEST(ParmList, WithoutCodePagesStaysEmpty) {
    QelWWWConfig config = ConfigFromIni("", 1208);
    config.codePageContext = nullptr;
    QelWWWParmList list(&config, "a=1");
    EXPECT_EQ(list.Count(), 0);
}

}  // namespace
