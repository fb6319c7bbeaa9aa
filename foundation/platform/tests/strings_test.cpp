#include "arc_platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

int sign(int v) { return (v > 0) - (v < 0); }

TEST(Strings, CompareWithAndWithoutCase) {
    struct Case {
        const char* a;
        const char* b;
        int exact;
        int folded;
    } cases[] = {
        {"paths", "Paths", 1, 0}, {"QEL", "qel", -1, 0},  {"abc", "abd", -1, -1}, {"abc", "ab", 1, 1},
        {"", "", 0, 0},           {nullptr, "a", -1, -1}, {"a", nullptr, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.a ? c.a : "(null)") + " vs " + (c.b ? c.b : "(null)"));
        EXPECT_EQ(sign(ArcOS_StrCmp(c.a, c.b)), c.exact);
        EXPECT_EQ(sign(ArcOS_StrICmp(c.a, c.b)), c.folded);
    }
    EXPECT_EQ(ArcOS_StrNICmp("LOGON_x", "logon_y", 6), 0);
    EXPECT_NE(ArcOS_StrNCmp("LOGON_x", "logon_y", 6), 0);
    EXPECT_EQ(ArcOS_StrNCmp("abc", "abd", 2), 0);
}

TEST(Strings, CaseChangeInPlace) {
    char text[] = "Mixed Case 123";
    EXPECT_EQ(ArcOS_StrUpper(text), text);
    EXPECT_STREQ(text, "MIXED CASE 123");
    EXPECT_STREQ(ArcOS_StrLower(text), "mixed case 123");
    EXPECT_EQ(ArcOS_CharUpper('q'), 'Q');
    EXPECT_EQ(ArcOS_CharLower('Q'), 'q');
    EXPECT_EQ(ArcOS_CharUpper('1'), '1');
}

TEST(Strings, CaseBlindSearchPointsIntoTheCallersText) {
    const char* text = "Content-Type: TEXT/html";
    const char* hit = ArcOS_StrIStr(text, "text/HTML");
    ASSERT_NE(hit, nullptr);
    EXPECT_EQ(hit, text + 14);
    EXPECT_EQ(ArcOS_StrIStr(text, "xml"), nullptr);
    EXPECT_EQ(ArcOS_StrIStr(text, ""), text);
    EXPECT_EQ(ArcOS_StrIStr(nullptr, "a"), nullptr);
    // Only the first n characters are searched.
    EXPECT_EQ(ArcOS_StrNIStr(text, "text", 17), nullptr);
    EXPECT_EQ(ArcOS_StrNIStr(text, "text", 18), text + 14);
    EXPECT_EQ(ArcOS_StrStr(text, "TEXT"), text + 14);
}

std::vector<std::string> tokens(std::string text, const char* delimiters) {
    std::vector<std::string> out;
    char* save = nullptr;
    for (char* t = ArcOS_StrTok(text.data(), delimiters, &save); t;
         t = ArcOS_StrTok(nullptr, delimiters, &save))
        out.emplace_back(t);
    // Once exhausted it stays exhausted.
    EXPECT_EQ(ArcOS_StrTok(nullptr, delimiters, &save), nullptr);
    return out;
}

TEST(Strings, Tokenizer) {
    struct Case {
        const char* text;
        const char* delimiters;
        std::vector<std::string> expected;
    } cases[] = {
        {",,a,,b,", ",", {"a", "b"}},
        {"one two\tthree", " \t", {"one", "two", "three"}},
        {"", ",", {}},
        {",,,", ",", {}},
        {"single", ",", {"single"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(tokens(c.text, c.delimiters), c.expected);
    }
}

TEST(Strings, CharacterClasses) {
    EXPECT_TRUE(ArcOS_IsAlpha('a'));
    EXPECT_TRUE(ArcOS_IsAlpha('Z'));
    EXPECT_FALSE(ArcOS_IsAlpha('5'));
    EXPECT_TRUE(ArcOS_IsDigit('5'));
    EXPECT_FALSE(ArcOS_IsDigit('a'));
    EXPECT_FALSE(ArcOS_IsDigit('_'));
    EXPECT_TRUE(ArcOS_IsSpace(' '));
    EXPECT_TRUE(ArcOS_IsSpace('\t'));
    EXPECT_FALSE(ArcOS_IsSpace('x'));
    EXPECT_FALSE(ArcOS_IsDBCSLeadByte(0x81));
}

TEST(Strings, CharNextAndPrevStayInsideTheText) {
    const char* text = "ab";
    EXPECT_EQ(ArcOS_CharNext(text), text + 1);
    EXPECT_EQ(ArcOS_CharNext(text + 2), text + 2);
    EXPECT_EQ(ArcOS_CharPrev(text, text + 2), text + 1);
    EXPECT_EQ(ArcOS_CharPrev(text, text), text);
}

TEST(Strings, TrimRightRemovesOnlyBlanks) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {{"abc   ", "abc"}, {"abc\t ", "abc\t"}, {"   ", ""}, {"", ""}, {" a b ", " a b"}};
    for (const auto& c : cases) {
        std::string text = c.in;
        EXPECT_STREQ(QelStrTrimRight(text.data()), c.out) << '"' << c.in << '"';
    }
    EXPECT_EQ(QelStrTrimRight(nullptr), nullptr);
}

}  // namespace
