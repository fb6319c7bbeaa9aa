// The order of two hits by sort keys, the same-document test, the display text of a
// hit's field and the accessors of a hit.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "folder_fixture.h"
#include "hit_values.h"
#include "library_state.h"

using clienttest::FolderSpec;
using clienttest::GroupFieldSpec;
using clienttest::MakeRow;
using clienttest::OpenTestFolder;

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// Folder fields and, in the same order, the group fields behind them (the 'G' field has
// none): 0 BIG 'B', 1 REAL 'D' (2 digits), 2 INT 'I', 3 SMALL 'N', 4 TEXT 'S', 5 GROUP 'G',
// 6 CHOICE 'S' with value pairs, 7 EXTRA 'I' (group BETA lacks it), 8 DAY 'I' date,
// 9 CODE 'I' with value pairs, 10 SHOWN 'S' with pairs and flag 0x10.
constexpr int kChoice = 6, kExtra = 7, kDay = 8, kCode = 9, kShown = 10;

const Pairs kChoicePairs = {{"1", "Zeta"},          {"2", "Alpha"},        {"AB%", "Starts AB"},
                            {"ABX", "Exactly ABX"}, {"%Z", "Ends with Z"}, {"A_C", "A, one, C"}};

FolderSpec CompareFolder() {
    FolderSpec spec;
    spec.fields = {{.name = "BIG", .type = 'B'},
                   {.name = "REAL", .type = 'D', .precision = 2},
                   {.name = "INT", .type = 'I'},
                   {.name = "SMALL", .type = 'N'},
                   {.name = "TEXT", .type = 'S'},
                   {.name = "GROUP", .type = 'G'},
                   {.name = "CHOICE", .type = 'S'},
                   {.name = "EXTRA", .type = 'I'},
                   {.name = "DAY", .type = 'I', .dateType = 'D', .displayFormat = "%Y-%m-%d"},
                   {.name = "CODE", .type = 'I'},
                   {.name = "SHOWN", .type = 'S', .flags = FOLDER_FIELD_SECOND_LIST}};
    const std::vector<GroupFieldSpec> fields = {
        {.name = "big", .type = 'B'},
        {.name = "real", .type = 'D'},
        {.name = "int", .type = 'I'},
        {.name = "small", .type = 'N'},
        {.name = "text", .type = 'S'},
        {.name = "choice", .type = 'S', .values = kChoicePairs},
        {.name = "extra", .type = 'I'},
        {.name = "day", .type = 'I', .dateType = 'D'},
        {.name = "code", .type = 'I', .values = {{"3", "Three"}, {"3%", "Thirty-something"}}},
        {.name = "shown", .type = 'S', .values = {{"1", "One"}}},
    };
    const uint16_t U = FOLDER_FIELD_UNMAPPED;
    spec.groups = {
        {.number = 0x10001,
         .name = "ALPHA",
         .fields = fields,
         .applications =
             {{.name = "APP",
               .number = 0x20002,
               .dataType = 'U',
               .parameters = "[@_FIXED_@]\nEXTENSION=pdf\n"},
              {.name = "PLAIN", .number = 5, .dataType = 'A', .parameters = "[@_FIXED_@]\nEXTENSION=pdf\n"},
              {.name = "BARE", .number = 6, .dataType = 'U'}},
         .map = {0, 1, 2, 3, 4, U, 5, 6, 7, 8, 9}},
        {.number = 2, .name = "BETA", .fields = fields, .map = {0, 1, 2, 3, 4, U, 5, U, 7, 8, 9}}};
    return spec;
}

// Group-field index and value text of a row.
using Values = std::vector<std::pair<int, std::string>>;

class HitCompareTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = OpenTestFolder(&session, CompareFolder());
        for (int field : {kChoice, kCode, kShown}) folder->criteria[field].kind = 'C';
    }

    SearchHitPtr Hit(int g, const Values& values, const char* object = "1AAAA", uint32_t offset = 0) {
        std::vector<std::string> texts = {"0", "0", "0", "0", "", "", "0", "0", "0", ""};
        for (const auto& [field, text] : values) texts[static_cast<size_t>(field)] = text;
        auto hit = std::make_unique<SearchHit>();
        hit->group = &folder->definition->groups[g];
        hit->groupIndex = g;
        hit->row = MakeRow(*hit->group, texts, object, offset);
        hit->application = hit->group->applCount > 0 ? &hit->group->appls[0] : nullptr;
        return hit;
    }

    ClientSession session;
    OpenFolder* folder = nullptr;
};

TEST_F(HitCompareTest, CompareByKeys) {
    struct Case {
        const char* name;
        std::vector<FolderSortKey> keys;
        int groupA;
        Values a;
        int groupB;
        Values b;
        int expected;
    };
    const Case cases[] = {
        {"B signed", {{0, true}}, 0, {{0, "-5"}}, 0, {{0, "3"}}, -1},
        {"B past 32 bits", {{0, true}}, 0, {{0, "9000000000"}}, 0, {{0, "8999999999"}}, 1},
        {"B descending", {{0, false}}, 0, {{0, "-5"}}, 0, {{0, "3"}}, 1},
        {"D fraction", {{1, true}}, 0, {{1, "1.5"}}, 0, {{1, "1.25"}}, 1},
        {"D equal", {{1, true}}, 0, {{1, "2"}}, 0, {{1, "2.0"}}, 0},
        {"I whole range", {{2, true}}, 0, {{2, "-2147483648"}}, 0, {{2, "2147483647"}}, -1},
        {"N signed 16 bits", {{3, true}}, 0, {{3, "-1"}}, 0, {{3, "1"}}, -1},
        {"S byte order, not the locale's", {{4, true}}, 0, {{4, "a"}}, 0, {{4, "B"}}, 1},
        {"S none sorts as empty", {{4, true}}, 0, {{4, ""}}, 0, {{4, "a"}}, -1},
        {"S equal", {{4, true}}, 0, {{4, "abc"}}, 0, {{4, "abc"}}, 0},
        {"S descending", {{4, false}}, 0, {{4, "abc"}}, 0, {{4, "abd"}}, 1},
        {"G by the group names", {{5, true}}, 0, {}, 1, {}, -1},
        {"G descending", {{5, false}}, 0, {}, 1, {}, 1},
        {"G one group", {{5, true}}, 1, {}, 1, {}, 0},
        {"C by display texts", {{kChoice, true}}, 0, {{5, "1"}}, 0, {{5, "2"}}, 1},
        {"C pattern display", {{kChoice, true}}, 0, {{5, "XYZ"}}, 0, {{5, "ABQ"}}, -1},
        {"C numbers by display", {{kCode, true}}, 0, {{8, "3"}}, 0, {{8, "25"}}, 1},
        {"unmapped key skipped", {{kExtra, true}}, 0, {{6, "9"}}, 1, {{6, "1"}}, 0},
        {"unmapped key, the next decides",
         {{kExtra, true}, {2, true}},
         0,
         {{6, "9"}, {2, "1"}},
         1,
         {{6, "1"}, {2, "2"}},
         -1},
        {"first key equal, second descending",
         {{2, true}, {4, false}},
         0,
         {{2, "4"}, {4, "a"}},
         0,
         {{2, "4"}, {4, "b"}},
         1},
        {"first key decides", {{2, false}, {4, true}}, 0, {{2, "5"}, {4, "z"}}, 0, {{2, "4"}, {4, "a"}}, -1},
        {"no keys", {}, 0, {{2, "1"}}, 0, {{2, "2"}}, 0},
        {"key outside the folder", {{99, true}, {-1, true}}, 0, {{2, "1"}}, 0, {{2, "2"}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SearchHitPtr a = Hit(c.groupA, c.a);
        SearchHitPtr b = Hit(c.groupB, c.b);
        EXPECT_EQ(Hit_Compare(&session, folder, a.get(), b.get(), c.keys), c.expected);
        EXPECT_EQ(Hit_Compare(&session, folder, b.get(), a.get(), c.keys), -c.expected);
    }
}

TEST_F(HitCompareTest, SameDocument) {
    auto exitHit = [&](uint32_t id) {
        SearchHitPtr hit = Hit(0, {});
        hit->exitHit = true;
        hit->exitId = id;
        return hit;
    };
    struct Case {
        const char* name;
        SearchHitPtr a, b;
        int expected;
    };
    Case cases[] = {
        {"same object and values", Hit(0, {{2, "7"}}), Hit(0, {{2, "7"}}), 0},
        {"other offset", Hit(0, {}, "1AAAA", 0), Hit(0, {}, "1AAAA", 100), 1},
        {"other object name", Hit(0, {}, "1AAAA"), Hit(0, {}, "1AAAB"), 1},
        {"other value", Hit(0, {{4, "x"}}), Hit(0, {{4, "y"}}), 1},
        {"other group", Hit(0, {}), Hit(1, {}), 1},
        {"exit hits, one identifier", exitHit(4), exitHit(4), 0},
        {"exit hits, two identifiers", exitHit(4), exitHit(5), 1},
        {"exit hit and server row", exitHit(4), Hit(0, {}), 1},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Hit_IsSameDocument(c.a.get(), c.b.get()) != 0, c.expected != 0);
        EXPECT_EQ(Hit_IsSameDocument(c.b.get(), c.a.get()) != 0, c.expected != 0);
    }
    EXPECT_NE(Hit_IsSameDocument(cases[0].a.get(), nullptr), 0);
}

TEST_F(HitCompareTest, FieldValueText) {
    struct Case {
        const char* name;
        int field;
        int group;
        Values values;
        const char* expected;
    };
    const Case cases[] = {
        {"B", 0, 0, {{0, "-9000000000"}}, "-9000000000"},
        {"D with the field's precision", 1, 0, {{1, "3.14159"}}, "3.14"},
        {"D rounds", 1, 0, {{1, "-2.005001"}}, "-2.01"},
        {"I", 2, 0, {{2, "-42"}}, "-42"},
        {"N", 3, 0, {{3, "-1"}}, "-1"},
        {"S", 4, 0, {{4, "hello"}}, "hello"},
        {"S none", 4, 0, {}, ""},
        {"G: the group's name", 5, 1, {}, "BETA"},
        {"pair", kChoice, 0, {{5, "1"}}, "Zeta"},
        {"pair, second", kChoice, 0, {{5, "2"}}, "Alpha"},
        {"no pair: the value", kChoice, 0, {{5, "3"}}, "3"},
        {"pattern", kChoice, 0, {{5, "ABC"}}, "Starts AB"},
        {"exact pair before an earlier pattern", kChoice, 0, {{5, "ABX"}}, "Exactly ABX"},
        {"second pattern", kChoice, 0, {{5, "XYZ"}}, "Ends with Z"},
        {"first matching pattern", kChoice, 0, {{5, "ABZ"}}, "Starts AB"},
        {"'_' only with a '%' stored text", kChoice, 0, {{5, "AXC"}}, "AXC"},
        {"number pair", kCode, 0, {{8, "3"}}, "Three"},
        {"numbers take no pattern", kCode, 0, {{8, "35"}}, "35"},
        {"flag 0x10 shows the value", kShown, 0, {{9, "1"}}, "1"},
        {"date with the display format", kDay, 0, {{7, "10958"}}, "2000-01-01"},
        {"date, last day", kDay, 0, {{7, "2932897"}}, "9999-12-31"},
        {"no date: the number", kDay, 0, {{7, "-3"}}, "-3"},
        {"unmapped", kExtra, 1, {{6, "5"}}, ""},
        {"outside the folder", 11, 0, {}, ""},
        {"negative field", -1, 0, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SearchHitPtr hit = Hit(c.group, c.values);
        EXPECT_STREQ(Hit_GetFieldValueText(&session, folder, hit.get(), c.field), c.expected);
    }
    // A choice field without the choice kind shows the stored value.
    folder->criteria[kChoice].kind = 'N';
    SearchHitPtr hit = Hit(0, {{5, "1"}});
    EXPECT_STREQ(Hit_GetFieldValueText(&session, folder, hit.get(), kChoice), "1");
    EXPECT_STREQ(Hit_GetFieldValueText(&session, folder, nullptr, kChoice), "");
}

TEST_F(HitCompareTest, GroupFieldAddressedDirectly) {
    // The group field's own date kind and the default date format; no value pairs.
    SearchHitPtr hit = Hit(0, {{7, "10958"}, {5, "1"}});
    std::string text;
    qelclient::FieldValueText(folder, hit.get(), -1, 7, &text);
    EXPECT_EQ(text, "01/01/00");
    qelclient::FieldValueText(folder, hit.get(), -1, 5, &text);
    EXPECT_EQ(text, "1");
    qelclient::FieldValueText(folder, hit.get(), -1, 10, &text);
    EXPECT_EQ(text, "");
}

TEST_F(HitCompareTest, LocationCode) {
    const std::pair<uint8_t, int> cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 0},
                                             {4, 3}, {5, 0}, {8, 0}, {255, 0}};
    SearchHitPtr hit = Hit(0, {});
    for (const auto& [location, code] : cases) {
        hit->row->object->location = location;
        EXPECT_EQ(Hit_GetLocationCode(hit.get()), code) << int(location);
    }
    EXPECT_EQ(Hit_GetLocationCode(nullptr), 0);
}

TEST_F(HitCompareTest, GroupApplicationAndDocumentName) {
    SearchHitPtr hit = Hit(0, {}, "1AA$A");
    const char* group = nullptr;
    const char* application = nullptr;
    Hit_GetApplGroupAndApplNames(hit.get(), &group, &application);
    EXPECT_STREQ(group, "ALPHA");
    EXPECT_STREQ(application, "APP");
    uint32_t groupId = 0, applicationId = 0;
    Hit_GetApplGroupAndApplIds(hit.get(), &groupId, &applicationId);
    EXPECT_EQ(groupId, 0x10001u);
    EXPECT_EQ(applicationId, 0x20002u);
    EXPECT_TRUE(Hit_DocNameHasDollar(hit.get()));
    EXPECT_FALSE(Hit_DocNameHasDollar(Hit(0, {}, "1AAAA").get()));

    // A hit of a group without applications.
    SearchHitPtr bare = Hit(1, {});
    Hit_GetApplGroupAndApplNames(bare.get(), &group, &application);
    EXPECT_STREQ(group, "BETA");
    EXPECT_EQ(application, nullptr);
    Hit_GetApplGroupAndApplIds(bare.get(), &groupId, &applicationId);
    EXPECT_EQ(groupId, 2u);
    EXPECT_EQ(applicationId, 0u);
}

TEST_F(HitCompareTest, UserTypeExtension) {
    struct Case {
        const char* name;
        int application;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"type U", 0, "pdf"},
        {"other type", 1, std::nullopt},
        {"type U without parameters", 2, std::nullopt},
    };
    SearchHitPtr hit = Hit(0, {});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hit->application = &hit->group->appls[c.application];
        EXPECT_EQ(Hit_GetUserTypeExtension(hit.get()), c.expected);
    }
    hit->application = nullptr;
    EXPECT_EQ(Hit_GetUserTypeExtension(hit.get()), std::nullopt);
}

}  // namespace
