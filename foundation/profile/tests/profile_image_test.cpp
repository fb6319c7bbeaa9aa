// Lookup and editing of profile images: the rules of the format as tables of cases.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "arc_profile.h"

namespace {

struct Image {
    char* text = nullptr;
    explicit Image(const char* initial) {
        if (initial != nullptr) {
            text = static_cast<char*>(std::malloc(std::strlen(initial) + 1));
            std::strcpy(text, initial);
        }
    }
    ~Image() { std::free(text); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    std::string str() const { return text ? text : "<null>"; }
};

std::string Lookup(const char* section, const char* key, const char* dflt, const char* text,
                   size_t size = 256) {
    std::string buffer(size + 1, '#');
    const size_t n = ArcPROF_GetFromImage(section, key, dflt, buffer.data(), size, text);
    EXPECT_EQ(n, std::strlen(buffer.c_str()));
    return buffer.substr(0, n);
}

struct LookupCase {
    const char* name;
    const char* text;
    const char* section;
    const char* key;
    const char* dflt;
    const char* expected;
};

const LookupCase kLookupCases[] = {
    {"names ignore case", "[Paths]\nQEL=/x\n", "paths", "qel", "d", "/x"},
    {"double quotes stripped", "[s]\nk=\"a b\"\n", "s", "k", "d", "a b"},
    {"single quotes stripped", "[s]\nk='a b'\n", "s", "k", "d", "a b"},
    {"one pair only", "[s]\nk=\"\"x\"\"\n", "s", "k", "d", "\"x\""},
    {"blanks around value", "[s]\nk=  v w \t\n", "s", "k", "d", "v w"},
    {"blanks then quotes", "[s]\nk= ' v ' \n", "s", "k", "d", " v "},
    {"quote at start only kept", "[s]\nk=\"abc\n", "s", "k", "d", "\"abc"},
    {"mixed quotes kept", "[s]\nk=\"abc'\n", "s", "k", "d", "\"abc'"},
    {"lone quote kept", "[s]\nk=\"\n", "s", "k", "d", "\""},
    {"lone quote with blanks kept", "[s]\nk=  '  \n", "s", "k", "d", "'"},
    {"empty quotes give empty", "[s]\nk=''\n", "s", "k", "d", ""},
    {"empty value", "[s]\nk=\n", "s", "k", "d", ""},
    {"value keeps later equals", "[s]\nk=a=b\n", "s", "k", "d", "a=b"},
    {"first section wins", "[s]\nk=1\n[t]\nk=2\n[s]\nk=3\n", "s", "k", "d", "1"},
    {"second header never reached", "[s]\nx=1\n[S]\nk=3\n", "s", "k", "d", "d"},
    {"first key wins", "[s]\nk=1\nK=2\n", "s", "k", "d", "1"},
    {"next header ends search", "[s]\nx=1\n[t]\nk=2\n", "s", "k", "d", "d"},
    {"blank before equals is part of key", "[s]\nLog =1\n", "s", "Log", "d", "d"},
    {"key with blank found as written", "[s]\nLog =1\n", "s", "Log ", "d", "1"},
    {"section name keeps blanks", "[ s ]\nk=1\n", "s", "k", "d", "d"},
    {"section name with blanks found", "[ s ]\nk=1\n", " s ", "k", "d", "1"},
    {"header text after bracket ignored", "[s] ; note\nk=1\n", "s", "k", "d", "1"},
    {"first close bracket ends name", "[a]b]\nk=1\n", "a", "k", "d", "1"},
    {"bracket without close is a key line", "[s]\n[x=1\n", "s", "[x", "d", "1"},
    {"bracket without close is not a section", "[s\nk=1\n", "s", "k", "d", "d"},
    {"comment skipped", "[s]\n;k=1\nk=2\n", "s", "k", "d", "2"},
    {"indented semicolon is a key", "[s]\n ;k=1\n", "s", " ;k", "d", "1"},
    {"line without equals ignored", "[s]\njunk\nk=2\n", "s", "k", "d", "2"},
    {"crlf endings", "[s]\r\nk=v\r\n", "s", "k", "d", "v"},
    {"cr-only endings are one line", "[s]\rk=v\r", "s", "k", "d", "d"},
    {"cr-only header still names section", "[s]\rk=v\r", "s", nullptr, "d", "1"},
    {"last line without lf", "[s]\nk=v", "s", "k", "d", "v"},
    {"key before any section unseen", "k=1\n[s]\n", "s", "k", "d", "d"},
    {"missing section gives default", "[s]\nk=1\n", "t", "k", "dflt", "dflt"},
    {"null default gives empty", "[s]\n", "s", "k", nullptr, ""},
    {"null text gives default", nullptr, "s", "k", "d", "d"},
    {"section test present", "[s]\n", "S", nullptr, "x", "1"},
    {"section test absent", "[s]\n", "t", nullptr, "x", "0"},
    {"section test absent null default", "[s]\n", "t", nullptr, nullptr, ""},
    {"section test present null default", "[s]\n", "s", nullptr, nullptr, "1"},
    {"high bytes as they stand", "[s]\nk=\xe9t\xe9\n", "s", "k", "d", "\xe9t\xe9"},
};

TEST(ProfileLookup, Cases) {
    for (const LookupCase& c : kLookupCases) {
        EXPECT_EQ(Lookup(c.section, c.key, c.dflt, c.text), c.expected) << c.name;
    }
}

TEST(ProfileLookup, BufferSizeCutsResult) {
    const char* text = "[s]\nk=abcdef\n";
    struct Case {
        size_t size;
        const char* key;
        const char* expected;
    } cases[] = {
        {1, "k", ""}, {2, "k", "a"}, {6, "k", "abcde"}, {7, "k", "abcdef"}, {3, "x", "de"}, {1, nullptr, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Lookup("s", c.key, "default", text, c.size), c.expected) << "size " << c.size;
    }
    char untouched = '#';
    EXPECT_EQ(ArcPROF_GetFromImage("s", "k", "d", &untouched, 0, text), 0u);
    EXPECT_EQ(untouched, '#');
}

TEST(ProfileLookup, LongLineIsCutAndItsRestSkipped) {
    // A line of 40000 characters reads as its first 32766; the next line reads normally.
    const std::string line40k = "k=" + std::string(40000 - 2, 'v');
    const std::string text = "[s]\n" + line40k + "\nj=next\n";
    EXPECT_EQ(Lookup("s", "k", "d", text.c_str(), 50000), std::string(32766 - 2, 'v'));
    EXPECT_EQ(Lookup("s", "j", "d", text.c_str()), "next");

    // The rest beyond the cut is neither a key line nor a section header.
    const std::string head = "[s]\nk=" + std::string(32766 - 2, 'v');
    const std::string keyRest = head + "x=bad\nj=ok\n";
    EXPECT_EQ(Lookup("s", "x", "d", keyRest.c_str()), "d");
    EXPECT_EQ(Lookup("s", "j", "d", keyRest.c_str()), "ok");
    const std::string headerRest = head + "[u]\nm=2\n";
    EXPECT_EQ(Lookup("u", nullptr, "d", headerRest.c_str()), "0");
    EXPECT_EQ(Lookup("s", "m", "d", headerRest.c_str()), "2");

    // A key whose '=' lies beyond the cut is no key line.
    const std::string farKey(32770, 'x');
    const std::string far = "[s]\n" + farKey + "=1\n[t]\nk=ok\n";
    EXPECT_EQ(Lookup("s", farKey.c_str(), "d", far.c_str()), "d");
    EXPECT_EQ(Lookup("t", "k", "d", far.c_str()), "ok");
}

TEST(ProfileList, KeysInOrderWithCleanValues) {
    std::vector<ArcPROFEntry> entries;
    EXPECT_EQ(ArcPROF_ListSection("S", "[a]\nx=0\n[s]\n;c\nk= 'v' \nLog =2\njunk\nk=3\n[s]\nz=9\n", &entries),
              0);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].key, "k");
    EXPECT_EQ(entries[0].value, "v");
    EXPECT_EQ(entries[1].key, "Log ");
    EXPECT_EQ(entries[1].value, "2");
    EXPECT_EQ(entries[2].value, "3");
    EXPECT_EQ(ArcPROF_ListSection("b", "[a]\nx=0\n", &entries), 1);
    EXPECT_TRUE(entries.empty());
    EXPECT_EQ(ArcPROF_ListSection("a", nullptr, &entries), 1);
}

struct EditCase {
    const char* name;
    const char* before;  // null: no image yet
    const char* section;
    const char* key;
    const char* value;
    int rc;
    const char* after;  // "<null>" when the image stays null
};

const EditCase kEditCases[] = {
    {"new section in empty image", "", "s", "k", "v", 0, "[s]\nk=v\n\n"},
    {"new section in null image", nullptr, "s", "k", "v", 0, "[s]\nk=v\n\n"},
    {"new section after last line without lf", "[a]\nx=1", "s", "k", "v", 0, "[a]\nx=1\n[s]\nk=v\n\n"},
    {"replace keeps key as given", "[S]\nKEY = old\ny=2\n", "s", "key", "new", 0, "[S]\nkey=new\ny=2\n"},
    {"replace trimmed key", "[s]\n  k  =old\n", "s", "k", "new", 0, "[s]\nk=new\n"},
    {"replace last line without lf", "[s]\nk=old", "s", "k", "new", 0, "[s]\nk=new\n"},
    {"replace first of two", "[s]\nk=1\nk=2\n", "s", "k", "x", 0, "[s]\nk=x\nk=2\n"},
    {"delete key", "[s]\na=1\nk=2\nb=3\n", "s", "k", nullptr, 0, "[s]\na=1\nb=3\n"},
    {"delete missing key", "[s]\na=1\n", "s", "k", nullptr, 1, "[s]\na=1\n"},
    {"delete key in missing section", "[s]\na=1\n", "t", "k", nullptr, 0, "[s]\na=1\n"},
    {"delete section", "[a]\nx=1\n[s]\nk=2\n;c\n\n[b]\ny=3\n", "S", nullptr, nullptr, 0,
     "[a]\nx=1\n[b]\ny=3\n"},
    {"delete last section", "[a]\nx=1\n[s]\nk=2\n", "s", nullptr, nullptr, 0, "[a]\nx=1\n"},
    {"delete missing section", "[a]\nx=1\n", "s", nullptr, nullptr, 0, "[a]\nx=1\n"},
    {"delete section in null image", nullptr, "s", nullptr, nullptr, 0, "<null>"},
    {"insert after last key before comments", "[s]\na=1\n; tail\n\n[t]\n", "s", "k", "v", 0,
     "[s]\na=1\nk=v\n; tail\n\n[t]\n"},
    {"insert after header when no keys", "[s]\n; c\n\n[t]\n", "s", "k", "v", 0, "[s]\nk=v\n; c\n\n[t]\n"},
    {"insert after header without lf", "[s]", "s", "k", "v", 0, "[s]\nk=v\n"},
    {"insert after last key without lf", "[s]\na=1", "s", "k", "v", 0, "[s]\na=1\nk=v\n"},
    {"insert only into first section", "[s]\na=1\n[s]\nb=2\n", "s", "k", "v", 0, "[s]\na=1\nk=v\n[s]\nb=2\n"},
    {"empty value written", "[s]\n", "s", "k", "", 0, "[s]\nk=\n"},
    {"cr in value refused", "[s]\n", "s", "k", "a\rb", 1, "[s]\n"},
    {"lf in value refused", "[s]\n", "s", "k", "a\n[x]", 1, "[s]\n"},
    {"lf in key refused", "[s]\n", "s", "k\nz", "v", 1, "[s]\n"},
    {"lf in section refused", "", "s]\n[t", "k", "v", 1, ""},
    {"bracket in section refused", "", "s]x", "k", "v", 1, ""},
    {"equals in key refused", "[s]\n", "s", "a=b", "v", 1, "[s]\n"},
    {"comment key refused", "[s]\n", "s", ";k", "v", 1, "[s]\n"},
    {"header key refused", "[s]\n", "s", "[t]", "v", 1, "[s]\n"},
    {"null section refused", "[s]\n", nullptr, "k", "v", 1, "[s]\n"},
};

TEST(ProfileEdit, Cases) {
    for (const EditCase& c : kEditCases) {
        Image image(c.before);
        EXPECT_EQ(ArcPROF_SetInImage(c.section, c.key, c.value, &image.text), c.rc) << c.name;
        EXPECT_EQ(image.str(), c.after) << c.name;
    }
}

TEST(ProfileEdit, WrittenValuesReadBack) {
    Image image("");
    ASSERT_EQ(ArcPROF_SetInImage("Paths", "QEL", "/opt/qel", &image.text), 0);
    ASSERT_EQ(ArcPROF_SetInImage("paths", "Other", "x", &image.text), 0);
    ASSERT_EQ(ArcPROF_SetInImage("second", "QEL", "y", &image.text), 0);
    EXPECT_EQ(Lookup("PATHS", "qel", "d", image.text), "/opt/qel");
    EXPECT_EQ(Lookup("paths", "other", "d", image.text), "x");
    EXPECT_EQ(Lookup("second", "qel", "d", image.text), "y");
    ASSERT_EQ(ArcPROF_SetInImage("paths", nullptr, nullptr, &image.text), 0);
    EXPECT_EQ(Lookup("paths", nullptr, "d", image.text), "0");
    EXPECT_EQ(Lookup("second", "qel", "d", image.text), "y");
}

TEST(ProfileEdit, LongLineIsOneLineForTheEditor) {
    // Deleting a key whose line exceeds the limit removes the whole line, rest included;
    // the "[t]" in that rest is no header, so m stays in section s.
    std::string text = "[s]\nk=" + std::string(40000, 'v') + "[t]\nm=1\n";
    Image image(text.c_str());
    ASSERT_EQ(ArcPROF_SetInImage("s", "k", nullptr, &image.text), 0);
    EXPECT_EQ(image.str(), "[s]\nm=1\n");
    EXPECT_EQ(ArcPROF_SetInImage("t", nullptr, nullptr, &image.text), 0);
    EXPECT_EQ(image.str(), "[s]\nm=1\n");
}

TEST(ProfileEdit, NullTextPointerRefused) { EXPECT_EQ(ArcPROF_SetInImage("s", "k", "v", nullptr), 1); }

}  // namespace
