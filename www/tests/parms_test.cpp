// Parsing request texts into parameter lists.
#include "www_test_support.h"

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
        {"a=%zz", {{"a", std::string(1, '\0')}}},
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
    EXPECT_EQ(list.OverflowName(), "p1024");
    EXPECT_EQ(list.AddPair("more", "x"), 1);

    std::string exact;
    for (int i = 0; i < QELWWW_MAX_PARMS; ++i) exact += "q=" + std::to_string(i) + "&";
    QelWWWParmList full(&config);
    EXPECT_EQ(full.Parse(exact.c_str()), 0);
    EXPECT_EQ(full.Count(), QELWWW_MAX_PARMS);
}

TEST(ParmList, WithoutCodePagesStaysEmpty) {
    QelWWWConfig config = ConfigFromIni("", 1208);
    config.codePageContext = nullptr;
    QelWWWParmList list(&config, "a=1");
    EXPECT_EQ(list.Count(), 0);
}

}  // namespace
