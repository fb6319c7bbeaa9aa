// Hits: comparison, packing, object references, location names and key-value texts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "qel_cs.h"
#include "qel_cswire.h"

namespace {

char* Dup(const char* text) {
    char* copy = static_cast<char*>(std::malloc(std::strlen(text) + 1));
    std::strcpy(copy, text);
    return copy;
}

// A group with one field per type letter given; flags per field.
struct Group {
    std::vector<CsXdrFieldDef> fields;
    CsXdrApplGroup record{};
    Group(const std::string& types, const std::vector<uint8_t>& flags = {}) {
        fields.resize(types.size());
        for (size_t i = 0; i < types.size(); ++i) {
            fields[i].type = types[i];
            fields[i].flags = i < flags.size() ? flags[i] : 0;
        }
        record.fieldCount = static_cast<uint16_t>(fields.size());
        record.fields = fields.data();
    }
};

// A hit whose texts live in std::strings the test keeps.
struct Hit {
    std::string name = "1FAAA";
    CsXdrObjectRef object{};
    std::vector<CsXdrValue> values;
    std::vector<std::string> texts;
    CsXdrHitRow row{};
    explicit Hit(size_t slots) : values(slots), texts(slots) {
        object.offset = 10;
        object.length = 20;
        object.compressedOffset = 30;
        object.compressedLength = 40;
        Point();
    }
    void Point() {
        object.name = name.data();
        row.object = &object;
        row.values = values.data();
        row.valueCount = static_cast<uint16_t>(values.size());
        for (size_t i = 0; i < values.size(); ++i)
            if (values[i].type == 'S') values[i].v.text = texts[i].data();
    }
    void Text(size_t i, const std::string& text) {
        values[i].type = 'S';
        texts[i] = text;
        Point();
    }
};

TEST(HitCompare, SameDocumentLooksAtEveryWordAndTheName) {
    struct Case {
        const char* what;
        void (*change)(Hit&);
        bool same;
    };
    const Case cases[] = {
        {"identical", [](Hit&) {}, true},
        {"offset", [](Hit& h) { h.object.offset++; }, false},
        {"length", [](Hit& h) { h.object.length++; }, false},
        {"compressed offset", [](Hit& h) { h.object.compressedOffset++; }, false},
        {"compressed length", [](Hit& h) { h.object.compressedLength++; }, false},
        {"name",
         [](Hit& h) {
             h.name = "1FAAB";
             h.Point();
         },
         false},
        {"no name", [](Hit& h) { h.object.name = nullptr; }, false},
        {"no object", [](Hit& h) { h.row.object = nullptr; }, false},
        {"location is not part of it", [](Hit& h) { h.object.location = 4; }, true},
    };
    for (const auto& c : cases) {
        Hit a(0), b(0);
        c.change(b);
        EXPECT_EQ(CsSameDocument(&a.row, &b.row) == 0, c.same) << c.what;
        EXPECT_EQ(CsSameDocument(&b.row, &a.row) == 0, c.same) << c.what;
    }
    Hit a(0), b(0);
    a.row.object = b.row.object = nullptr;
    EXPECT_EQ(CsSameDocument(&a.row, &b.row), 0);
}

TEST(HitCompare, MatchDocIdComparesEachTypeAsItsType) {
    struct Case {
        const char* what;
        char type;
        CsXdrValue a, b;
        const char *textA, *textB;
        bool same;
    };
    auto big = [](int64_t v) {
        CsXdrValue x{'B', {}};
        x.v.big = v;
        return x;
    };
    auto dbl = [](double v) {
        CsXdrValue x{'D', {}};
        x.v.real = v;
        return x;
    };
    auto i32 = [](int32_t v) {
        CsXdrValue x{'I', {}};
        x.v.integer = v;
        return x;
    };
    auto i16 = [](int16_t v) {
        CsXdrValue x{'N', {}};
        x.v.small = v;
        return x;
    };
    const CsXdrValue text{'S', {}};
    const Case cases[] = {
        {"B equal", 'B', big(1LL << 40), big(1LL << 40), nullptr, nullptr, true},
        {"B high word", 'B', big(1LL << 40), big(1LL << 41), nullptr, nullptr, false},
        {"D equal", 'D', dbl(2.5), dbl(2.5), nullptr, nullptr, true},
        {"D last bit", 'D', dbl(0.1 + 0.2), dbl(0.3), nullptr, nullptr, false},
        {"D signed zeros", 'D', dbl(-0.0), dbl(0.0), nullptr, nullptr, true},
        {"D NaN", 'D', dbl(NAN), dbl(NAN), nullptr, nullptr, false},
        {"I equal", 'I', i32(-7), i32(-7), nullptr, nullptr, true},
        {"I differ", 'I', i32(-7), i32(7), nullptr, nullptr, false},
        {"N equal", 'N', i16(300), i16(300), nullptr, nullptr, true},
        {"N differ", 'N', i16(300), i16(301), nullptr, nullptr, false},
        {"S equal", 'S', text, text, "abc", "abc", true},
        {"S case", 'S', text, text, "abc", "ABC", false},
        {"S prefix", 'S', text, text, "abc", "abcd", false},
        {"S none and empty", 'S', text, text, nullptr, "", true},
    };
    for (const auto& c : cases) {
        Group g(std::string(1, c.type));
        Hit a(1), b(1);
        a.values[0] = c.a;
        b.values[0] = c.b;
        if (c.type == 'S') {
            a.values[0].v.text = const_cast<char*>(c.textA);
            b.values[0].v.text = const_cast<char*>(c.textB);
        }
        EXPECT_EQ(CsMatchDocId(&g.record, &a.row, &b.row) == 0, c.same) << c.what;
    }
}

TEST(HitCompare, MatchDocIdNeedsTheSameDocument) {
    Group g("I");
    Hit a(1), b(1);
    a.values[0].type = b.values[0].type = 'I';
    EXPECT_EQ(CsMatchDocId(&g.record, &a.row, &b.row), 0);
    b.object.compressedOffset = 99;
    EXPECT_NE(CsMatchDocId(&g.record, &a.row, &b.row), 0);
    b.object.compressedOffset = a.object.compressedOffset;
    b.row.valueCount = 0;
    EXPECT_NE(CsMatchDocId(&g.record, &a.row, &b.row), 0);
}

TEST(HitCompare, HasDollar) {
    EXPECT_NE(CsHasDollar("1FAAA$"), 0);
    EXPECT_NE(CsHasDollar("$"), 0);
    EXPECT_EQ(CsHasDollar("1FAAA"), 0);
    EXPECT_EQ(CsHasDollar(""), 0);
    EXPECT_EQ(CsHasDollar(nullptr), 0);
}

// A table of five entries in pages of two: AB, CD | EF, GH | IJ.
struct Table {
    std::vector<CsObjectPageEntry> page0, page1, page2;
    std::vector<CsObjectPageEntry*> pages;
    CsObjectPages record{};
    Table() {
        const char* names[] = {"AB", "CD", "EF", "GH", "IJ"};
        std::vector<CsObjectPageEntry>* into[] = {&page0, &page0, &page1, &page1, &page2};
        for (uint32_t i = 0; i < 5; ++i) {
            CsObjectPageEntry e;
            e.offset = 1000 * (i + 1);
            e.length = 100 * (i + 1);
            std::strcpy(e.name, names[i]);
            into[i]->push_back(e);
        }
        pages = {page0.data(), page1.data(), page2.data()};
        record.count = 5;
        record.perPage = 2;
        record.pages = pages.data();
    }
};

TEST(ObjectRef, TakesEntryBeforeTheObjectNumber) {
    struct Case {
        const char* templ;
        int n;
        int rc;
        const char* name;
        uint32_t offset, compressedLength;
    };
    const Case cases[] = {
        {"1FAAA", 0, CS_FAILED, nullptr, 0, 0},
        {"1FAAA", 1, CS_OK, "1FAAB", 1000, 100},
        {"1FAAA", 2, CS_OK, "1FACD", 2000, 200},
        {"1FAAA", 3, CS_OK, "1FAEF", 3000, 300},  // first entry of the second page
        {"1FAAA", 5, CS_OK, "1FAIJ", 5000, 500},  // the count: last entry of a short page
        {"1FAAA", 6, CS_FAILED, nullptr, 0, 0},
        {"1FAAA", -1, CS_FAILED, nullptr, 0, 0},
        {"1FAAAXYZ", 4, CS_OK, "1FAGH", 4000, 400},  // the name ends after the letters
        {"1FAA", 1, CS_FAILED, nullptr, 0, 0},       // one character short
        {"F", 1, CS_FAILED, nullptr, 0, 0},
        {"", 1, CS_FAILED, nullptr, 0, 0},
    };
    Table t;
    for (const auto& c : cases) {
        std::string name = c.templ;
        CsXdrObjectRef templ{};
        templ.offset = 7;
        templ.length = 8;
        templ.compressedOffset = 9;
        templ.compressedLength = 10;
        templ.compression = 'O';
        templ.primaryNode = 3;
        templ.name = name.data();
        CsXdrObjectRef out{};
        ASSERT_EQ(CsMakeObjectRef(&t.record, c.n, &templ, &out), c.rc) << c.templ << " " << c.n;
        EXPECT_EQ(name, c.templ) << "the template's name is left alone";
        if (c.rc != CS_OK) {
            EXPECT_EQ(out.name, nullptr);
            continue;
        }
        EXPECT_STREQ(out.name, c.name);
        EXPECT_EQ(out.compressedOffset, c.offset);
        EXPECT_EQ(out.compressedLength, c.compressedLength);
        EXPECT_EQ(out.offset, 7u);
        EXPECT_EQ(out.length, 8u);
        EXPECT_EQ(out.compression, 'O');
        EXPECT_EQ(out.primaryNode, 3);
        std::free(out.name);
    }
}

TEST(ObjectRef, RefusesShortEntryNamesAndMissingPages) {
    Table t;
    std::strcpy(t.page0[1].name, "C");
    std::string name = "1FAAA";
    CsXdrObjectRef templ{};
    templ.name = name.data();
    CsXdrObjectRef out{};
    EXPECT_EQ(CsMakeObjectRef(&t.record, 2, &templ, &out), CS_FAILED);
    t.pages[2] = nullptr;
    EXPECT_EQ(CsMakeObjectRef(&t.record, 5, &templ, &out), CS_FAILED);
    t.record.perPage = 0;
    EXPECT_EQ(CsMakeObjectRef(&t.record, 1, &templ, &out), CS_FAILED);
    EXPECT_EQ(out.name, nullptr);
}

// The hit must be one block: every pointer lies inside [block, block + size).
void ExpectInside(const CsXdrHitRow* hit, const void* block, size_t size) {
    auto inside = [&](const void* p) {
        auto* b = static_cast<const unsigned char*>(block);
        auto* q = static_cast<const unsigned char*>(p);
        return q >= b && q < b + size;
    };
    EXPECT_TRUE(inside(hit->values));
    if (hit->object != nullptr) {
        EXPECT_TRUE(inside(hit->object));
        if (hit->object->name != nullptr) {
            EXPECT_TRUE(inside(hit->object->name));
        }
    }
    for (size_t i = 0; i < hit->valueCount; ++i) {
        if (hit->values[i].type == 'S' && hit->values[i].v.text != nullptr) {
            EXPECT_TRUE(inside(hit->values[i].v.text));
        }
    }
}

TEST(PackHit, CopyLaysEverythingIntoOneBlock) {
    struct Case {
        int extra;
        size_t head;
    };
    const Case cases[] = {{-1, 0}, {0, 0}, {1, 8}, {8, 8}, {13, 16}};
    for (const auto& c : cases) {
        Group g("ISD");
        Hit in(3);
        in.values[0].type = 'I';
        in.values[0].v.integer = 42;
        in.Text(1, "a text value");
        in.values[2].type = 'D';
        in.values[2].v.real = 1.5;
        std::strcpy(in.row.segment, "SEG1");
        in.row.noteFlag = 'Y';
        CsXdrHitRow* hit = &in.row;
        ASSERT_EQ(CsPackHit(&g.record, &hit, c.extra, CS_PACK_COPY), CS_OK);
        ASSERT_NE(hit, &in.row);
        auto* block = static_cast<unsigned char*>(CsPackedHitBlock(hit, c.extra));
        EXPECT_EQ(reinterpret_cast<unsigned char*>(hit) - block, static_cast<ptrdiff_t>(c.head));
        EXPECT_EQ(reinterpret_cast<uintptr_t>(hit) % 8, 0u);
        EXPECT_EQ(hit->valueCount, 3);
        EXPECT_EQ(hit->values[0].v.integer, 42);
        EXPECT_STREQ(hit->values[1].v.text, "a text value");
        EXPECT_NE(hit->values[1].v.text, in.texts[1].data());
        EXPECT_EQ(hit->values[2].v.real, 1.5);
        EXPECT_STREQ(hit->segment, "SEG1");
        EXPECT_EQ(hit->noteFlag, 'Y');
        ASSERT_NE(hit->object, nullptr);
        EXPECT_STREQ(hit->object->name, "1FAAA");
        EXPECT_EQ(hit->object->compressedOffset, 30u);
        EXPECT_EQ(CsSameDocument(hit, &in.row), 0);
        EXPECT_EQ(CsMatchDocId(&g.record, hit, &in.row), 0);
        // Changing the input leaves the copy alone.
        in.texts[1][0] = 'X';
        EXPECT_STREQ(hit->values[1].v.text, "a text value");
        ExpectInside(hit, block, c.head + 4096);
        CsFreePackedHit(hit, c.extra);
    }
}

TEST(PackHit, FreshHitHasEmptySlotsPerField) {
    Group g("BSN");
    CsXdrHitRow* hit = nullptr;
    ASSERT_EQ(CsPackHit(&g.record, &hit, 24, CS_PACK_FRESH), CS_OK);
    ASSERT_NE(hit, nullptr);
    EXPECT_EQ(hit->valueCount, 3);
    EXPECT_EQ(hit->object, nullptr);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(hit->values[i].type, 0);
    // The caller's extra bytes are usable.
    std::memset(CsPackedHitBlock(hit, 24), 0x5A, 24);
    CsFreePackedHit(hit, 24);
}

TEST(PackHit, GrowRepointsTextsAfterTheBlockMoves) {
    Group g("SSI");
    CsXdrHitRow* hit = nullptr;
    ASSERT_EQ(CsPackHit(&g.record, &hit, 16, CS_PACK_FRESH), CS_OK);
    std::memcpy(CsPackedHitBlock(hit, 16), "caller's 16 byte", 16);

    // Fill the fresh hit as a row would: texts from outside the block, an object.
    std::string first(3000, 'x');
    std::string second = "second";
    std::string objectName = "7ABAA";
    CsXdrObjectRef object{};
    object.compressedOffset = 5;
    object.name = objectName.data();
    hit->object = &object;
    hit->values[0].type = 'S';
    hit->values[0].v.text = first.data();
    hit->values[1].type = 'S';
    hit->values[1].v.text = second.data();
    hit->values[2].type = 'I';
    hit->values[2].v.integer = -3;
    ASSERT_EQ(CsPackHit(&g.record, &hit, 16, CS_PACK_GROW), CS_OK);
    EXPECT_EQ(std::memcmp(CsPackedHitBlock(hit, 16), "caller's 16 byte", 16), 0);
    first.assign(first.size(), 'y');  // the outside texts are no longer used
    second = "gone!!";
    objectName = "99999";
    EXPECT_EQ(std::string(hit->values[0].v.text), std::string(3000, 'x'));
    EXPECT_STREQ(hit->values[1].v.text, "second");
    EXPECT_EQ(hit->values[2].v.integer, -3);
    ASSERT_NE(hit->object, &object);
    EXPECT_STREQ(hit->object->name, "7ABAA");
    EXPECT_EQ(hit->object->compressedOffset, 5u);
    ExpectInside(hit, CsPackedHitBlock(hit, 16), 16 + 8192);

    // Regrowing again with the texts now inside the block: the sanitizer build catches a
    // read from the block the reallocation gave up.
    for (int round = 0; round < 4; ++round) {
        std::string bigger(4000 * (round + 1), static_cast<char>('a' + round));
        hit->values[1].v.text = bigger.data();
        ASSERT_EQ(CsPackHit(&g.record, &hit, 16, CS_PACK_GROW), CS_OK);
        EXPECT_EQ(std::string(hit->values[0].v.text), std::string(3000, 'x'));
        EXPECT_EQ(std::string(hit->values[1].v.text), bigger);
        EXPECT_STREQ(hit->object->name, "7ABAA");
    }
    CsFreePackedHit(hit, 16);
}

TEST(PackHit, RefusesBadInput) {
    Group g("I");
    Hit two(2);
    CsXdrHitRow* hit = &two.row;
    EXPECT_EQ(CsPackHit(&g.record, &hit, 0, CS_PACK_COPY), CS_FAILED);  // more slots than fields
    EXPECT_EQ(hit, &two.row);
    CsXdrHitRow* none = nullptr;
    EXPECT_EQ(CsPackHit(&g.record, &none, 0, CS_PACK_COPY), CS_FAILED);
    EXPECT_EQ(CsPackHit(&g.record, &none, 0, CS_PACK_GROW), CS_FAILED);
    EXPECT_EQ(CsPackHit(&g.record, &none, 0, 3), CS_FAILED);
    EXPECT_EQ(CsPackHit(nullptr, &none, 0, CS_PACK_FRESH), CS_FAILED);
}

TEST(FreeHit, ReleasesADecodedHit) {
    // Built as decoding builds it: calloc'd records, malloc'd texts.
    auto* hit = static_cast<CsXdrHitRow*>(std::calloc(1, sizeof(CsXdrHitRow)));
    hit->object = static_cast<CsXdrObjectRef*>(std::calloc(1, sizeof(CsXdrObjectRef)));
    hit->object->name = Dup("1FAAA");
    hit->values = static_cast<CsXdrValue*>(std::calloc(2, sizeof(CsXdrValue)));
    hit->valueCount = 2;
    hit->values[0].type = 'S';
    hit->values[0].v.text = Dup("text");
    hit->values[1].type = 'I';
    Group g("SI");
    CsFreeHit(&g.record, hit);  // the leak checker of the sanitizer build sees anything left
    CsFreeHit(&g.record, nullptr);
}

TEST(LocationName, ByLocationBits) {
    CsStorageNode primary;
    primary.number = 3;
    std::strcpy(primary.name, "NODE-A");
    std::strcpy(primary.serverName, "serverA");
    CsStorageNode secondary;
    secondary.number = 9;
    std::strcpy(secondary.name, "NODE-B");
    std::strcpy(secondary.serverName, "serverB");
    struct Case {
        int bits;
        bool primaryLocal, secondaryLocal, withPrimary;
        const char* name;
        int number;
        const char* server;
    };
    const Case cases[] = {
        {0x01, true, true, true, "-CACHE-", 3, "-LOCAL-"},
        {0x10, true, true, true, "-EXTERNAL CACHE-", 3, "-LOCAL-"},
        {0x11, true, true, true, "-CACHE-", 3, "-LOCAL-"},
        {0x02, true, false, true, "NODE-A", 3, "-LOCAL-"},
        {0x02, false, true, true, "NODE-A", 3, "serverA"},
        {0x04, false, true, true, "NODE-B", 9, "-LOCAL-"},
        {0x04, true, false, true, "NODE-B", 9, "serverB"},
        {0x06, true, false, true, "NODE-A", 3, "-LOCAL-"},
        {0x00, true, true, true, "-UNKNOWN-", 3, "-LOCAL-"},
        {0x08, true, true, true, "-UNKNOWN-", 3, "-LOCAL-"},
        {0x00, false, true, true, "-UNKNOWN-", 3, "serverA"},
        {0x00, true, true, false, "-UNKNOWN-", 0, "-LOCAL-"},
        {0x01, true, true, false, "-CACHE-", 0, "-LOCAL-"},
    };
    CsHandle handle{};
    for (const auto& c : cases) {
        primary.flags = c.primaryLocal ? 0x01 | 0x04 : 0x04;
        secondary.flags = c.secondaryLocal ? 0x01 | 0x08 : 0x08;
        std::string name, server;
        int number = -1;
        ASSERT_EQ(CsLocationName(&handle, c.withPrimary ? &primary : nullptr, &secondary, c.bits, &name,
                                 &number, &server),
                  CS_OK);
        EXPECT_EQ(name, c.name) << c.bits;
        EXPECT_EQ(number, c.number) << c.bits;
        EXPECT_EQ(server, c.server) << c.bits;
    }
}

TEST(KeyValues, EachTypeOnlyKeyFields) {
    Group g("BDINSI", {0x20, 0x20, 0x20, 0x20, 0x20, 0x00});
    Hit h(6);
    h.values[0].type = 'B';
    h.values[0].v.big = -9000000000LL;
    h.values[1].type = 'D';
    h.values[1].v.real = 2.005e3;
    h.values[2].type = 'I';
    h.values[2].v.integer = -2147483647 - 1;
    h.values[3].type = 'N';
    h.values[3].v.small = -32768;
    h.Text(4, "Smith");
    h.values[5].type = 'I';
    h.values[5].v.integer = 77;
    EXPECT_EQ(CsFormatKeyValues(&g.record, &h.row), "-9000000000,2005.00,-2147483648,-32768,'Smith'");
}

TEST(KeyValues, StopsAfterTheValuePastTheLimit) {
    struct Case {
        const char* what;
        size_t firstLength;  // 'S' value length; quoted, it is 2 longer
        std::string want;
    };
    const std::string a(252, 'a');
    const std::string b(253, 'b');
    const Case cases[] = {
        // 254 characters is not past the limit: the next value still comes, and it
        // passes the limit, so it is the last.
        {"at the limit", 252, "'" + a + "',12"},
        // 255: that value is the last.
        {"one past", 253, "'" + b + "'"},
    };
    for (const auto& c : cases) {
        Group g("SIN", {0x20, 0x20, 0x20});
        Hit h(3);
        h.Text(0, std::string(c.firstLength, c.firstLength == 252 ? 'a' : 'b'));
        h.values[1].type = 'I';
        h.values[1].v.integer = 12;
        h.values[2].type = 'N';
        h.values[2].v.small = 34;
        EXPECT_EQ(CsFormatKeyValues(&g.record, &h.row), c.want) << c.what;
    }
    // A value crossing the limit in the middle is written whole, then nothing follows.
    Group g("ISI", {0x20, 0x20, 0x20});
    Hit h(3);
    h.values[0].type = 'I';
    h.values[0].v.integer = 5;
    h.Text(1, std::string(300, 'z'));
    h.values[2].type = 'I';
    h.values[2].v.integer = 6;
    EXPECT_EQ(CsFormatKeyValues(&g.record, &h.row), "5,'" + std::string(300, 'z') + "'");
    // Many small values: cut after the one that passes 254.
    Group many(std::string(100, 'B'), std::vector<uint8_t>(100, 0x20));
    Hit m(100);
    for (auto& v : m.values) {
        v.type = 'B';
        v.v.big = 123456789;  // 9 digits; with the separator 10 each
    }
    const std::string text = CsFormatKeyValues(&many.record, &m.row);
    EXPECT_GT(text.size(), CS_KEY_TEXT_LIMIT);
    EXPECT_LE(text.size() - 10, CS_KEY_TEXT_LIMIT);
    EXPECT_EQ(text.size(), 259u);  // 26 values: 26 * 9 + 25
}

}  // namespace
