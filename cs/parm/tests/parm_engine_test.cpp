// Parameter-text engine: finding sections and keys, editing lines, hostile values.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

#include "qel_parm.h"

namespace {

std::string Found(const char* text, const char* p) {
    return p ? std::to_string(p - text) : std::string("none");
}

TEST(ParmFindSection, Cases) {
    struct Case {
        const char* name;
        const char* text;
        const char* section;
        const char* expected;  // offset of the body, or "none"
    } cases[] = {
        {"first line", "[A]\nk=1\n", "A", "4"},
        {"later section", "[B]\nx=1\n[A]\nk=1\n", "A", "12"},
        {"longer name is another section", "[AB]\n", "A", "none"},
        {"shorter name is another section", "[A]\n", "AB", "none"},
        {"case matters", "[a]\n", "A", "none"},
        {"open delimiter inside a value", "k=[A]\n[A]\n", "A", "10"},
        {"not at a line start", "x[A]\n", "A", "none"},
        {"blank after the close delimiter", "[A] \n", "A", "none"},
        {"section line without LF", "[A]", "A", "3"},
        {"empty text", "", "A", "none"},
        {"empty section name", "[]\nk=1\n", "", "3"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Found(c.text, ParmFindSection(c.text, c.section)), c.expected) << c.name;
    EXPECT_EQ(ParmFindSection(nullptr, "A"), nullptr);
    EXPECT_EQ(ParmFindSection("[A]\n", nullptr), nullptr);
}

TEST(ParmFindKey, Cases) {
    struct Case {
        const char* name;
        const char* text;
        const char* section;
        const char* key;
        const char* expected;  // the value, or "<none>"
    } cases[] = {
        {"plain", "[S]\nk=v\n", "S", "k", "v"},
        {"key of a later section", "[S]\na=1\n[T]\nk=v\n", "S", "k", "<none>"},
        {"prefix of a longer key", "[S]\nKEYX=1\nKEY=2\n", "S", "KEY", "2"},
        {"longer than the key in the text", "[S]\nKE=1\n", "S", "KEY", "<none>"},
        {"case matters", "[S]\nkey=1\n", "S", "KEY", "<none>"},
        {"empty value", "[S]\nk=\n", "S", "k", ""},
        {"value without final LF", "[S]\nk=tail", "S", "k", "tail"},
        {"value keeps '=' and brackets", "[S]\nk=a=[b]\n", "S", "k", "a=[b]"},
        {"stops at the next section line", "[S]\n[T]\nk=v\n", "S", "k", "<none>"},
        {"missing section", "[T]\nk=v\n", "S", "k", "<none>"},
    };
    for (const auto& c : cases) {
        auto value = ParmGetString(ParmFindSection(c.text, c.section), c.key);
        EXPECT_EQ(value.value_or("<none>"), c.expected) << c.name;
    }
}

TEST(ParmSetValue, Cases) {
    struct Case {
        const char* name;
        const char* before;
        const char* section;
        const char* key;
        const char* value;  // null deletes
        const char* after;
    } cases[] = {
        {"empty text", "", "S", "k", "v", "[S]\nk=v\n"},
        {"new section after a text without final LF", "[A]\nx=1", "B", "k", "v", "[A]\nx=1\n[B]\nk=v\n"},
        {"new key goes first", "[S]\na=1\nb=2\n", "S", "c", "3", "[S]\nc=3\na=1\nb=2\n"},
        {"existing key keeps its place", "[S]\na=1\nb=2\n[T]\n", "S", "b", "9", "[S]\na=1\nb=9\n[T]\n"},
        {"only the key of its own section", "[S]\n[T]\nk=1\n", "S", "k", "2", "[S]\nk=2\n[T]\nk=1\n"},
        {"value of the last line without LF", "[S]\nk=old", "S", "k", "new", "[S]\nk=new"},
        {"null value deletes", "[S]\na=1\nb=2\n", "S", "a", nullptr, "[S]\nb=2\n"},
        {"deleting a missing key", "[S]\na=1\n", "S", "b", nullptr, "[S]\na=1\n"},
        {"deleting in a missing section", "[S]\n", "T", "b", nullptr, "[S]\n"},
        {"CR and LF leave a value", "", "S", "k", "x\r\n[EVIL]\nk2=v", "[S]\nk=x[EVIL]k2=v\n"},
        {"'=' and LF leave a key", "", "S", "a=b\n[c]", "v", "[S]\nab[c]=v\n"},
        {"a key cannot start a section line", "", "S", "[[X]", "v", "[S]\nX]=v\n"},
        {"LF leaves a section name", "", "S\n[T]", "k", "v", "[S[T]]\nk=v\n"},
    };
    for (const auto& c : cases) {
        ParmText text{c.before};
        ParmSetValue(&text, c.section, c.key, c.value);
        EXPECT_EQ(text.text, c.after) << c.name;
    }
}

TEST(ParmLines, InsertDeleteReplace) {
    ParmText text{"[S]\nab=1\ncd=2\n"};
    // An insert position inside a line moves to the next line start.
    size_t after = ParmInsertKey(&text, 5, "x", "y");
    EXPECT_EQ(text.text, "[S]\nab=1\nx=y\ncd=2\n");
    EXPECT_EQ(after, 13u);
    EXPECT_EQ(ParmInsertLine(&text, 4, "line\r\n"), 9u);
    EXPECT_EQ(text.text, "[S]\nline\nab=1\nx=y\ncd=2\n");

    size_t value = ParmFindKeyAt(&text, ParmFindSectionAt(&text, "S"), "x");
    ASSERT_NE(value, PARM_NPOS);
    ParmReplaceValue(&text, value, "longer value");
    EXPECT_EQ(text.text, "[S]\nline\nab=1\nx=longer value\ncd=2\n");
    ParmDeleteKey(&text, value);
    EXPECT_EQ(text.text, "[S]\nline\nab=1\ncd=2\n");

    // Bytes moved: everything after the deleted line.
    EXPECT_EQ(ParmDeleteLine(&text, 4), 10u);
    EXPECT_EQ(text.text, "[S]\nab=1\ncd=2\n");
    EXPECT_EQ(ParmDeleteLine(&text, 9), 0u);
    EXPECT_EQ(text.text, "[S]\nab=1\n");
    // Positions beyond the text change nothing.
    EXPECT_EQ(ParmDeleteLine(&text, 100), 0u);
    ParmReplaceValue(&text, 100, "x");
    EXPECT_EQ(text.text, "[S]\nab=1\n");
    size_t end = ParmAppendSection(&text, "T");
    EXPECT_EQ(end, text.text.size());
    EXPECT_EQ(text.text, "[S]\nab=1\n[T]\n");
}

TEST(ParmEscapeViewName, BothWays) {
    std::string stored, shown;
    ParmEscapeViewName("North, South,", 1, &stored);
    EXPECT_EQ(stored, "North\x01 South\x01");
    ParmEscapeViewName(stored.c_str(), 0, &shown);
    EXPECT_EQ(shown, "North, South,");
}

// Random edits against a model: a get returns what was set (without CR and LF), other
// keys are unchanged, every line ends with LF and only section lines start with '['.
TEST(ParmProperty, RandomEditsMatchModel) {
    std::mt19937 random(20240611);
    const char* sections[] = {"S", "S1", "T", "@_FIXED_@"};
    const char* keys[] = {"k", "k1", "key", "K", "x"};
    const char valueChars[] = "ab=[]@\r\n \x01";
    std::map<std::string, std::map<std::string, std::string>> model;
    ParmText text;
    for (int step = 0; step < 3000; ++step) {
        std::string section = sections[random() % 4];
        std::string key = keys[random() % 5];
        if (random() % 4 == 0) {
            ParmSetValue(&text, section.c_str(), key.c_str(), nullptr);
            if (model.count(section)) model[section].erase(key);
        } else {
            std::string value;
            for (int n = random() % 8; n > 0; --n) value += valueChars[random() % (sizeof valueChars - 1)];
            ParmSetValue(&text, section.c_str(), key.c_str(), value.c_str());
            std::string clean;
            for (char c : value)
                if (c != '\r' && c != '\n') clean += c;
            model[section][key] = clean;
        }
        ASSERT_TRUE(text.text.empty() || text.text.back() == '\n') << "step " << step;
        size_t sectionLines = 0;
        for (size_t i = 0; i < text.text.size(); i = text.text.find('\n', i) + 1)
            if (text.text[i] == '[') ++sectionLines;
        ASSERT_EQ(sectionLines, model.size()) << "step " << step << "\n" << text.text;
        for (const auto& [s, entries] : model)
            for (const char* k : keys) {
                auto got = ParmGetString(ParmFindSection(text.c_str(), s.c_str()), k);
                auto want = entries.find(k);
                if (want == entries.end())
                    ASSERT_FALSE(got.has_value()) << "step " << step << " " << s << "/" << k;
                else
                    ASSERT_EQ(got.value_or("<none>"), want->second)
                        << "step " << step << " " << s << "/" << k;
            }
    }
}

}  // namespace
