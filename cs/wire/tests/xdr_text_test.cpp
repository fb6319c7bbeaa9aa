// Texts: the fix-up, and received texts cut to their destination on a character
// boundary in UTF-8, ISO 8859-1 and mixed EBCDIC.
#include "wire_test_support.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace wire_test;

namespace {

// Host-order UCS-2 units as bytes.
Bytes Units(std::initializer_list<uint16_t> units) {
    Bytes out(units.size() * 2);
    size_t i = 0;
    for (uint16_t u : units) std::memcpy(out.data() + 2 * i++, &u, 2);
    return out;
}

TEST(TextFixup, TurnsHostOrderIntoTheWireFormAndBack) {
    struct Case {
        const char* name;
        Bytes input;
        int mode;
        int wide;
        Bytes expected;
    };
    const Case cases[] = {
        {"wide normal: big-endian, stops at the zero unit", Units({0x0041, 0x20AC, 0, 0x0043}), 0, 1,
         [] {
             Bytes b{0x00, 0x41, 0x20, 0xAC, 0, 0};
             Bytes tail = Units({0x0043});
             b.insert(b.end(), tail.begin(), tail.end());
             return b;
         }()},
        {"wide hidden: big-endian and inverted",
         Units({0x0041, 0x00FC, 0}),
         1,
         1,
         {0xFF, 0xBE, 0xFF, 0x03, 0, 0}},
        {"narrow hidden: every byte inverted up to the zero", {'a', 'b', 0, 'c'}, 1, 0, {0x9E, 0x9D, 0, 'c'}},
        {"narrow normal: untouched", {'a', 'b', 0}, 0, 0, {'a', 'b', 0}},
        {"unknown mode: untouched", Units({0x0041}), 2, 1, Units({0x0041})},
    };
    for (const Case& c : cases) {
        Bytes text = c.input;
        QelXdr_TextFixup(text.data(), text.size(), c.mode, c.wide);
        EXPECT_EQ(Hex(text), Hex(c.expected)) << c.name;
        QelXdr_TextFixup(text.data(), text.size(), c.mode, c.wide);
        EXPECT_EQ(Hex(text), Hex(c.input)) << c.name << ": its own inverse";
    }
}

// The wire form of a UTF-8 text.
Bytes WireText(const std::string& text) {
    QelXdrBuffer out(QELXDR_ENCODE);
    OpenCodePages(out.Xdr());
    char* t = const_cast<char*>(text.c_str());
    EXPECT_TRUE(QelXdr_String(out.Xdr(), &t, 0));
    return out.Bytes();
}

TEST(TextCut, FixedFieldsAreCutOnACharacterBoundaryAndTerminated) {
    struct Case {
        const char* name;
        int32_t localCcsid;
        size_t fieldSize;
        std::string text;      // UTF-8, as sent
        std::string expected;  // in the local code page
    };
    const Case cases[] = {
        {"fits exactly", 1208, 7, "aé€", "aé€"},
        {"three-byte character does not fit", 1208, 6, "aé€", "aé"},
        {"two-byte character cut", 1208, 3, "aé", "a"},
        {"nothing fits", 1208, 2, "€", ""},
        {"one-byte field", 1208, 1, "x", ""},
        {"single-byte page", 819, 3, "abcd", "ab"},
        {"single-byte page, accented", 819, 4, "éüß", "\xE9\xFC\xDF"},
    };
    for (const Case& c : cases) {
        QelXdrBuffer in(QELXDR_DECODE, WireText(c.text));
        OpenCodePages(in.Xdr(), c.localCcsid);
        std::vector<char> field(c.fieldSize + 1, 'Z');
        ASSERT_TRUE(QelXdr_WrapString(in.Xdr(), field.data(), static_cast<uint32_t>(c.fieldSize))) << c.name;
        EXPECT_EQ(std::string(field.data()), c.expected) << c.name;
        EXPECT_EQ(field[c.fieldSize], 'Z') << c.name << ": wrote past the field";
    }
}

TEST(TextCut, MixedEbcdicKeepsShiftOutAndShiftInBalanced) {
    // Four double-byte characters need SO + 8 bytes + SI; a 6-byte field (5 bytes of
    // text) holds SO, two characters and SI.
    QelXdrBuffer in(QELXDR_DECODE, WireText("漢字漢字"));
    OpenCodePages(in.Xdr(), 930);
    char field[6] = {};
    ASSERT_TRUE(QelXdr_WrapString(in.Xdr(), field, sizeof field));
    const std::string got(field);
    ASSERT_EQ(got.size(), 4u) << Hex(
        std::span(reinterpret_cast<const unsigned char*>(got.data()), got.size()));
    EXPECT_EQ(got.front(), '\x0E');
    EXPECT_EQ(got.back(), '\x0F');
}

TEST(TextCut, PointerTextsKeepTheirMaximum) {
    QelXdrBuffer in(QELXDR_DECODE, WireText("abcdef"));
    OpenCodePages(in.Xdr());
    char* text = nullptr;
    ASSERT_TRUE(QelXdr_String(in.Xdr(), &text, 4));
    EXPECT_STREQ(text, "abcd");
    std::free(text);
}

TEST(TextCut, UnconvertibleTextFailsWithTheServiceResult) {
    // A lone byte 0xFF is not UTF-8: encoding fails and keeps the service's result.
    QelXdrBuffer out(QELXDR_ENCODE);
    OpenCodePages(out.Xdr());
    char bad[] = "a\xFF";
    char* text = bad;
    EXPECT_FALSE(QelXdr_String(out.Xdr(), &text, 0));
    EXPECT_NE(out.Xdr()->error, 0);
}

TEST(TextCut, TextsNeedCodePages) {
    QelXdrBuffer out(QELXDR_ENCODE);
    char* text = const_cast<char*>("x");
    EXPECT_FALSE(QelXdr_String(out.Xdr(), &text, 0));
    EXPECT_FALSE(QelXdr_InitCodePages(out.Xdr(), CodePages(), 0, CS_WIRE_CCSID));
}

}  // namespace
