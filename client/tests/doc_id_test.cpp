// Document ids: the exact text a hit is written as, the hit read back from it, and the
// ids the strict reader refuses without touching the folder's hit list.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "folder_fixture.h"
#include "hit_links.h"
#include "qel_client.h"

namespace {

using clienttest::FolderSpec;
using clienttest::GroupSpec;
using clienttest::MakeRow;
using clienttest::OpenTestFolder;

constexpr char kPart = '\x01';
constexpr char kEmpty = '\x0B';

// What a hit of the test is made from.
struct HitSpec {
    int group = 0;
    int application = 0;
    std::vector<std::string> values{"0", "0", "0", "0", "", "", "APP1", ""};
    const char* segment = "SEG1";
    const char* document = "1AAAA";
    uint32_t words[4] = {10, 100, 0, 100};
    char compression = 'N';
    uint8_t notes = 'N';
    uint32_t resource = 0;
    uint16_t nodes[2] = {0, 0};
    std::optional<std::string> attribute{};
};

// The id text joined from its parts; values absent: an id without values.
std::string Id(const std::vector<std::string>& items, const std::string& attribute,
               const std::optional<std::vector<std::string>>& values) {
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) out += (i ? "-" : "") + items[i];
    out += kPart + attribute;
    if (values) {
        out += kPart;
        for (size_t i = 0; i < values->size(); ++i) out += (i ? std::string(1, kPart) : "") + (*values)[i];
    }
    return out;
}

const std::vector<std::string> kItems = {"65541", "131079", "SEG1", "1AAAA", "10", "100", "0",
                                         "100",   "85",     "78",   "0",     "0",  "0"};
const std::vector<std::string> kValues = {"0", "0", "0", "0", "\x0B", "\x0B", "APP1", "\x0B"};

class DocId : public ::testing::Test {
protected:
    void SetUp() override { folder_ = OpenTestFolder(&session_, clienttest::DocIdFolder()); }

    SearchHitPtr MakeHit(const HitSpec& spec) {
        auto hit = std::make_unique<SearchHit>();
        hit->groupIndex = spec.group;
        hit->group = &folder_->definition->groups[spec.group];
        hit->application = &hit->group->appls[spec.application];
        std::vector<std::string> values = spec.values;
        values.resize(hit->group->fieldCount);
        hit->row = MakeRow(*hit->group, values, spec.document, spec.words[0], spec.words[1]);
        std::snprintf(hit->row->segment, sizeof hit->row->segment, "%s", spec.segment);
        CsXdrObjectRef& object = *hit->row->object;
        object.compressedOffset = spec.words[2];
        object.compressedLength = spec.words[3];
        object.compression = spec.compression;
        object.resourceId = spec.resource;
        object.primaryNode = spec.nodes[0];
        object.secondaryNode = spec.nodes[1];
        hit->row->noteFlag = spec.notes;
        hit->attributeText = spec.attribute;
        return hit;
    }
    std::string Format(const SearchHit* hit, bool withValues = true, const char* name = nullptr,
                       const int32_t* words = nullptr) {
        std::string out;
        const size_t written = Hit_FormatDocId(&session_, hit, name, words, withValues, &out);
        EXPECT_EQ(written, out.size());
        return out;
    }
    SearchHit* Parse(const std::string& id, bool withValues = true) {
        return Hit_ParseDocId(&session_, folder_, id, withValues);
    }

    ClientSession session_;
    OpenFolder* folder_ = nullptr;
};

std::string Printable(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == kPart)
            out += "<01>";
        else if (c == kEmpty)
            out += "<0B>";
        else
            out += c;
    }
    return out;
}

TEST_F(DocId, WritesEachItemAndReadsTheSameHitBack) {
    auto with = [](std::vector<std::string> items, size_t at, std::string item) {
        items[at] = std::move(item);
        return items;
    };
    auto value = [](size_t at, std::string text) {
        std::vector<std::string> v = kValues;
        v[at] = std::move(text);
        return v;
    };
    auto spec = [](auto change) {
        HitSpec s;
        change(s);
        return s;
    };
    struct Case {
        const char* name;
        HitSpec hit;
        std::string id;
    };
    const Case cases[] = {
        {"plain", HitSpec{}, Id(kItems, "\x0B", kValues)},
        {"every number type, negatives keep their sign",
         spec([](HitSpec& s) { s.values = {"-5000000000", "-2.5", "-7", "-1", "", "", "APP1", ""}; }),
         Id(kItems, "\x0B", {{"-5000000000", "-2.5", "-7", "-1", "\x0B", "\x0B", "APP1", "\x0B"}})},
        {"the largest numbers", spec([](HitSpec& s) {
             s.values = {"9223372036854775807", "1e300", "2147483647", "32767", "", "", "APP1", ""};
         }),
         Id(kItems, "\x0B",
            {{"9223372036854775807", "1e+300", "2147483647", "32767", "\x0B", "\x0B", "APP1", "\x0B"}})},
        {"a double in its shortest text", spec([](HitSpec& s) { s.values[1] = "0.1"; }),
         Id(kItems, "\x0B", value(1, "0.1"))},
        {"texts among the values, an empty one between",
         spec([](HitSpec& s) { s.values = {"1", "0", "2", "3", "Smith", "", "APP1", ""}; }),
         Id(kItems, "\x0B", {{"1", "0", "2", "3", "Smith", "\x0B", "APP1", "\x0B"}})},
        {"escapes in a value", spec([](HitSpec& s) { s.values[4] = "A-B 100%\x01"; }),
         Id(kItems, "\x0B", value(4, "A%2DB 100%25%01"))},
        {"escapes in the name and the document name", spec([](HitSpec& s) {
             s.segment = "X-%";
             s.document = "D-1";
         }),
         Id(with(with(kItems, 2, "X%2D%25"), 3, "D%2D1"), "\x0B", kValues)},
        {"an empty name", spec([](HitSpec& s) { s.segment = ""; }),
         Id(with(kItems, 2, "l"), "\x0B", kValues)},
        {"an empty document name", spec([](HitSpec& s) { s.document = ""; }),
         Id(with(kItems, 3, "\x0B"), "\x0B", kValues)},
        {"an attribute text", spec([](HitSpec& s) { s.attribute = "pages-2%\x01"; }),
         Id(kItems, "pages%2D2%25%01", kValues)},
        {"notes", spec([](HitSpec& s) { s.notes = 'Y'; }), Id(with(kItems, 8, "89"), "\x0B", kValues)},
        {"signed words, resource and nodes", spec([](HitSpec& s) {
             s.words[2] = 0xFFFFFFFF;
             s.words[3] = 0x80000000;
             s.resource = 0xFFFFFFFE;
             s.nodes[0] = 0xFFFF;
             s.nodes[1] = 0x7FFF;
             s.compression = 'O';
         }),
         Id({"65541", "131079", "SEG1", "1AAAA", "10", "100", "-1", "-2147483648", "85", "79", "-2", "-1",
             "32767"},
            "\x0B", kValues)},
        {"another application, whose fixed text the group-name field holds", spec([](HitSpec& s) {
             s.application = 1;
             s.values[6] = "APP2";
         }),
         Id(with(kItems, 1, "8"), "\x0B", value(6, "APP2"))},
        {"a group without fields", spec([](HitSpec& s) { s.group = 1; }),
         Id(with(with(kItems, 0, "9"), 1, "3"), "\x0B", std::vector<std::string>{})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SearchHitPtr hit = MakeHit(c.hit);
        const std::string id = Format(hit.get());
        EXPECT_EQ(Printable(id), Printable(c.id));
        SearchHit* back = Parse(id);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->group, hit->group);
        EXPECT_EQ(back->application, hit->application);
        EXPECT_EQ(CsMatchDocId(hit->group, hit->row, back->row), 0);
        EXPECT_STREQ(back->row->segment, c.hit.segment[0] ? c.hit.segment : "l");
        EXPECT_STREQ(back->row->object->name, c.hit.document);
        EXPECT_EQ(back->row->object->resourceId, c.hit.resource);
        EXPECT_EQ(back->row->object->primaryNode, c.hit.nodes[0]);
        EXPECT_EQ(back->row->object->secondaryNode, c.hit.nodes[1]);
        EXPECT_EQ(back->row->object->compression, c.hit.compression);
        EXPECT_EQ(back->row->noteFlag, c.hit.notes == 'Y' ? 'Y' : 'U');
        EXPECT_EQ(back->attributeText, c.hit.attribute);
        EXPECT_EQ(Printable(Format(back)), Printable(id));
    }
}

TEST_F(DocId, ValuesComeBackTyped) {
    HitSpec spec;
    spec.values = {"-5000000000", "0.1", "-70000", "-1", "O'Brien", "", "APP1", ""};
    SearchHitPtr hit = MakeHit(spec);
    SearchHit* back = Parse(Format(hit.get()));
    ASSERT_NE(back, nullptr);
    const CsXdrValue* v = back->row->values;
    EXPECT_EQ(v[0].v.big, -5000000000LL);
    EXPECT_EQ(v[1].v.real, 0.1);
    EXPECT_EQ(v[2].v.integer, -70000);
    EXPECT_EQ(v[3].v.small, -1);
    EXPECT_STREQ(v[4].v.text, "O'Brien");
    EXPECT_TRUE(v[5].v.text == nullptr || *v[5].v.text == '\0');
    EXPECT_STREQ(v[6].v.text, "APP1");
}

TEST_F(DocId, TheCallersNameAndWordsReplaceTheRows) {
    SearchHitPtr hit = MakeHit(HitSpec{});
    const int32_t words[4] = {1, -2, 3, 4};
    std::vector<std::string> items = kItems;
    items[2] = "Mine";
    items[4] = "1";
    items[5] = "-2";
    items[6] = "3";
    items[7] = "4";
    EXPECT_EQ(Printable(Format(hit.get(), false, "Mine", words)), Printable(Id(items, "\x0B", std::nullopt)));
    items[2] = "l";
    EXPECT_EQ(Printable(Format(hit.get(), false, "", words)), Printable(Id(items, "\x0B", std::nullopt)));
}

TEST_F(DocId, IdentifiersMatchByTheirLow16Bits) {
    struct Case {
        const char* group;
        const char* application;
        bool found;
    };
    const Case cases[] = {
        {"65541", "131079", true}, {"5", "7", true},  {"4294901765", "4294901767", true},
        {"6", "7", false},         {"5", "9", false}, {"65545", "3", true},
    };
    for (const Case& c : cases) {
        std::vector<std::string> items = kItems;
        items[0] = c.group;
        items[1] = c.application;
        const bool noFields = std::string(c.application) == "3";
        SearchHit* hit = Parse(Id(items, "\x0B", noFields ? std::vector<std::string>{} : kValues));
        EXPECT_EQ(hit != nullptr, c.found) << c.group << "/" << c.application;
        if (hit == nullptr) continue;
        // Written again, the id names the identifiers the folder knows.
        std::string id = Format(hit);
        EXPECT_EQ(id.substr(0, id.find('-', id.find('-') + 1)), noFields ? "9-3" : "65541-131079");
    }
}

TEST_F(DocId, WithoutValuesNumbersAreZeroAndOnlyFixedTextsAreSet) {
    HitSpec spec;
    spec.values = {"5", "2.5", "6", "7", "Smith", "AB", "APP1", ""};
    SearchHitPtr hit = MakeHit(spec);
    const std::string withValues = Format(hit.get());
    const std::string without = Format(hit.get(), false);
    EXPECT_EQ(Printable(without), Printable(Id(kItems, "\x0B", std::nullopt)));
    for (const std::string& id : {without, withValues}) {
        SearchHit* back = Parse(id, false);
        ASSERT_NE(back, nullptr) << Printable(id);
        const CsXdrValue* v = back->row->values;
        EXPECT_EQ(v[0].v.big, 0);
        EXPECT_EQ(v[1].v.real, 0.0);
        EXPECT_EQ(v[2].v.integer, 0);
        EXPECT_EQ(v[3].v.small, 0);
        EXPECT_TRUE(v[4].v.text == nullptr || *v[4].v.text == '\0');
        EXPECT_STREQ(v[6].v.text, "APP1");
    }
    // The fixed text wins over the one in the id.
    SearchHit* back = Parse(Id(kItems, "\x0B", {{"0", "0", "0", "0", "\x0B", "\x0B", "OTHER", "\x0B"}}));
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(back->row->values[6].v.text, "APP1");
}

TEST_F(DocId, TheParsedHitIsTheFoldersOnlyHit) {
    FolderSessionEntry& list = folder_->entry->hits;
    qelclient::LinkHit(list, MakeHit(HitSpec{}), -1);
    qelclient::LinkHit(list, MakeHit(HitSpec{}), -1);
    HitSpec other;
    other.group = 1;
    SearchHit* hit = Parse(Format(MakeHit(other).get()));
    ASSERT_NE(hit, nullptr);
    EXPECT_EQ(Folder_GetHitCount(&session_, folder_), 1);
    EXPECT_EQ(Folder_GetFirstHit(&session_, folder_), hit);
    EXPECT_EQ(Hit_GetNext(hit), nullptr);
    EXPECT_EQ(hit->groupIndex, 1);
    EXPECT_EQ(session_.search.groupIndex, 1);
    EXPECT_EQ(session_.search.folder, folder_);
}

TEST_F(DocId, AppendedHitsJoinTheEndAndKeepTheOthers) {
    HitSpec first;
    HitSpec second;
    second.group = 1;
    second.document = "2BBBB";
    const std::string firstId = Format(MakeHit(first).get());
    const std::string secondId = Format(MakeHit(second).get());
    SearchHit* a = Hit_AppendDocId(&session_, folder_, firstId, true);
    SearchHit* b = Hit_AppendDocId(&session_, folder_, secondId, true);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(Hit_AppendDocId(&session_, folder_, firstId.substr(0, 5), true), nullptr);
    EXPECT_EQ(Folder_GetHitCount(&session_, folder_), 2);
    EXPECT_EQ(Folder_GetFirstHit(&session_, folder_), a);
    EXPECT_EQ(Hit_GetNext(a), b);
    // Both still read back as the documents they were made from.
    EXPECT_EQ(Format(a), firstId);
    EXPECT_EQ(Format(b), secondId);
    // A parse after them leaves its hit alone in the list.
    SearchHit* only = Parse(firstId);
    EXPECT_EQ(Folder_GetHitCount(&session_, folder_), 1);
    EXPECT_EQ(Folder_GetFirstHit(&session_, folder_), only);
}

TEST_F(DocId, RefusedIdsLeaveTheHitListAlone) {
    auto with = [](size_t at, std::string item) {
        std::vector<std::string> items = kItems;
        items[at] = std::move(item);
        return Id(items, "\x0B", kValues);
    };
    auto value = [](size_t at, std::string text) {
        std::vector<std::string> v = kValues;
        v[at] = std::move(text);
        return Id(kItems, "\x0B", v);
    };
    const std::string good = Id(kItems, "\x0B", kValues);
    const std::vector<std::string> twelve(kItems.begin(), kItems.end() - 1);
    std::vector<std::string> fourteen = kItems;
    fourteen.push_back("0");
    struct Case {
        const char* name;
        std::string id;
    };
    const Case cases[] = {
        {"empty", ""},
        {"no part separator", good.substr(0, good.find(kPart))},
        {"ends after item 12", Id(twelve, "\x0B", kValues)},
        {"a fourteenth item", Id(fourteen, "\x0B", kValues)},
        {"a doubled separator", Id(kItems, "\x0B", kValues).insert(6, "-")},
        {"a trailing separator", good.substr(0, good.find(kPart)) + "-" + good.substr(good.find(kPart))},
        {"a group number with a letter", with(0, "65541x")},
        {"a group number with a plus", with(0, "+65541")},
        {"a negative group number", with(0, "-65541")},
        {"a group number above 32 bits", with(0, "4295032837")},
        {"unknown group", with(0, "6")},
        {"unknown application", with(1, "9")},
        {"a blank in a word", with(4, " 10")},
        {"a word above 32 bits", with(5, "2147483648")},
        {"a word below 32 bits", with(6, "-2147483649")},
        {"a minus alone", with(6, "-")},
        {"a node above 16 bits", with(11, "32768")},
        {"a node below 16 bits", with(12, "-32769")},
        {"unknown notes state", with(8, "65")},
        {"unknown compression letter", with(9, "81")},
        {"a compression of zero", with(9, "0")},
        {"a name too long", with(2, std::string(19, 'n'))},
        {"a document name too long", with(3, "123456789012")},
        {"an empty name marker as the name", with(2, "\x0B")},
        {"a raw control byte in the name", with(2, "A\x02")},
        {"a lower-case escape", with(2, "A%2d")},
        {"an escape of a plain byte", with(2, "%41")},
        {"a cut escape", with(2, "A%2")},
        {"an escape without digits", with(2, "A%G1")},
        {"a tab in the attribute text", Id(kItems, "a\tb", kValues)},
        {"an empty attribute text", Id(kItems, "", kValues)},
        {"no values", Id(kItems, "\x0B", std::nullopt)},
        {"one value too few",
         Id(kItems, "\x0B", std::vector<std::string>(kValues.begin(), kValues.end() - 1))},
        {"one value too many", good + kPart + "0"},
        {"a value left empty", value(4, "")},
        {"a 64-bit value too large", value(0, "9223372036854775808")},
        {"a 32-bit value too large", value(2, "2147483648")},
        {"a 16-bit value too large", value(3, "32768")},
        {"a number with a trailing blank", value(2, "5 ")},
        {"a number with a decimal point", value(2, "5.0")},
        {"a double with a comma", value(1, "2,5")},
        {"a double with a blank", value(1, " 2.5")},
        {"a text longer than its field", value(5, "ABCDEF")},
        {"a raw dash in a text value", value(4, "A-B")},
        {"a value of an untyped field", value(7, "x")},
        {"values after a group without fields",
         Id({"9", "3", "SEG1", "1AAAA", "10", "100", "0", "100", "85", "78", "0", "0", "0"}, "\x0B",
            kValues)},
    };
    SearchHit* kept = Parse(good);
    ASSERT_NE(kept, nullptr);
    session_.search.groupIndex = 7;
    for (const Case& c : cases) {
        EXPECT_EQ(Parse(c.id), nullptr) << c.name << ": " << Printable(c.id);
        EXPECT_EQ(Folder_GetHitCount(&session_, folder_), 1) << c.name;
        EXPECT_EQ(Folder_GetFirstHit(&session_, folder_), kept) << c.name;
        EXPECT_EQ(session_.search.groupIndex, 7) << c.name;
    }
}

}  // namespace
