// Primitives against Python's xdrlib: each case encodes to the bytes xdrlib packs and
// decodes those bytes back to its value; malformed input fails.
#include "wire_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using namespace wire_test;

namespace {

struct Case {
    const char* name;
    const char* python;  // packs the expected bytes into p
    uint32_t features;
    std::function<bool(QelXdr*)> encode;
    std::function<bool(QelXdr*)> decodeMatches;  // decodes and compares with the value
};

template <typename T>
Case Scalar(const char* name, const char* python, T value, bool (*proc)(QelXdr*, T*), uint32_t features = 0) {
    return {name, python, features,
            [=](QelXdr* x) {
                T v = value;
                return proc(x, &v);
            },
            [=](QelXdr* x) {
                T v{};
                return proc(x, &v) && v == value;
            }};
}

Case Text(const char* name, const char* python, const char* text, int mode = 0) {
    return {name, python, 0,
            [=](QelXdr* x) {
                x->textMode = mode;
                char* t = const_cast<char*>(text);
                return QelXdr_String(x, &t, 1000);
            },
            [=](QelXdr* x) {
                x->textMode = mode;
                char* t = nullptr;
                const bool ok = QelXdr_String(x, &t, 1000);
                const bool same = text == nullptr ? t == nullptr : t != nullptr && std::strcmp(t, text) == 0;
                std::free(t);
                return ok && same;
            }};
}

bool Word32(QelXdr* x, void* object, long) { return QelXdr_UInt(x, static_cast<uint32_t*>(object)); }

std::vector<Case> Cases() {
    return {
        Scalar<int32_t>("int", "p.pack_int(-5)", -5, QelXdr_Int),
        Scalar<uint32_t>("uint", "p.pack_uint(0xDEADBEEF)", 0xDEADBEEF, QelXdr_UInt),
        Scalar<int32_t>("long min", "p.pack_int(-2**31)", INT32_MIN, QelXdr_Long),
        Scalar<uint32_t>("ulong", "p.pack_uint(7)", 7, QelXdr_ULong),
        Scalar<int32_t>("enum", "p.pack_enum(3)", 3, QelXdr_Enum),
        Scalar<int16_t>("short sign-extended", "p.pack_int(-2)", -2, QelXdr_Short),
        Scalar<uint16_t>("ushort zero-extended", "p.pack_uint(65535)", 65535, QelXdr_UShort),
        Scalar<uint8_t>("byte and padding", "byte(0x41)", 0x41, QelXdr_Byte),
        Scalar<char>("char", "byte(ord('Z'))", 'Z', QelXdr_Char),
        Scalar<int64_t>("hyper", "p.pack_hyper(-2**40)", -(int64_t{1} << 40), QelXdr_Hyper),
        Scalar<uint64_t>("uhyper", "p.pack_uhyper(2**63+5)", (uint64_t{1} << 63) + 5, QelXdr_UHyper),
        Scalar<double>("double high word first", "p.pack_double(1234.5)", 1234.5, QelXdr_Double),
        Scalar<int64_t>("long value, one word", "p.pack_int(-7)", -7, QelXdr_LongValue),
        Scalar<int64_t>("long value, two words", "p.pack_hyper(2**40)", int64_t{1} << 40, QelXdr_LongValue,
                        CS_FEATURE_LONG64),
        {"opaque 5 bytes take 8", "p.pack_fopaque(5, b'abcde')", 0,
         [](QelXdr* x) {
             char b[] = "abcde";
             return QelXdr_Opaque(x, b, 5);
         },
         [](QelXdr* x) {
             char b[6] = {};
             return QelXdr_Opaque(x, b, 5) && std::strcmp(b, "abcde") == 0;
         }},
        {"opaque of 0 bytes is nothing", "", 0, [](QelXdr* x) { return QelXdr_Opaque(x, nullptr, 0); },
         [](QelXdr* x) { return QelXdr_Opaque(x, nullptr, 0); }},
        {"counted bytes", "p.pack_opaque(b'xyz')", 0,
         [](QelXdr* x) {
             char b[] = "xyz";
             char* p = b;
             uint32_t n = 3;
             return QelXdr_Bytes(x, &p, &n, 10);
         },
         [](QelXdr* x) {
             char* p = nullptr;
             uint32_t n = 0;
             const bool ok = QelXdr_Bytes(x, &p, &n, 10) && n == 3 && std::memcmp(p, "xyz", 3) == 0;
             std::free(p);
             return ok;
         }},
        {"counted bytes, none", "p.pack_uint(0)", 0,
         [](QelXdr* x) {
             char* p = nullptr;
             uint32_t n = 0;
             return QelXdr_Bytes(x, &p, &n, 10);
         },
         [](QelXdr* x) {
             char* p = nullptr;
             uint32_t n = 9;
             return QelXdr_Bytes(x, &p, &n, 10) && n == 0 && p == nullptr;
         }},
        Text("null text is one zero word", "p.pack_uint(0)", nullptr),
        Text("empty text is its terminator", "s('')", ""),
        Text("text as big-endian UCS-2", "s('Grüße €')", "Grüße €"),
        Text("hidden text swapped and inverted", "hidden('Geheim1')", "Geheim1", QELXDR_TEXT_HIDDEN),
        {"fixed field", "s('JDOE')", 0,
         [](QelXdr* x) {
             char f[21] = "JDOE";
             return QelXdr_WrapString(x, f, sizeof f);
         },
         [](QelXdr* x) {
             char f[21] = "junk";
             return QelXdr_WrapString(x, f, sizeof f) && std::strcmp(f, "JDOE") == 0;
         }},
        {"absent object is the word 1", "p.pack_uint(1)", 0,
         [](QelXdr* x) {
             CsXdrNodeInfo* n = nullptr;
             return QelXdr_Pointer(x, reinterpret_cast<void**>(&n), sizeof *n, CsXdr_NodeInfo);
         },
         [](QelXdr* x) {
             CsXdrNodeInfo* n = nullptr;
             return QelXdr_Pointer(x, reinterpret_cast<void**>(&n), sizeof *n, CsXdr_NodeInfo) &&
                    n == nullptr;
         }},
        {"present object is 0 and the object",
         "p.pack_uint(0); p.pack_uint(4711); p.pack_uint(3); p.pack_uint(4); byte(ord('L'))", 0,
         [](QelXdr* x) {
             CsXdrNodeInfo info{4711, 3, 4, 'L'};
             CsXdrNodeInfo* n = &info;
             return QelXdr_Pointer(x, reinterpret_cast<void**>(&n), sizeof *n, CsXdr_NodeInfo);
         },
         [](QelXdr* x) {
             CsXdrNodeInfo* n = nullptr;
             const bool ok = QelXdr_Pointer(x, reinterpret_cast<void**>(&n), sizeof *n, CsXdr_NodeInfo) &&
                             n != nullptr && n->groupNumber == 4711 && n->primaryNode == 3 &&
                             n->secondaryNode == 4 && n->compression == 'L';
             std::free(n);
             return ok;
         }},
        {"array", "p.pack_array([1, 2, 3], p.pack_uint)", 0,
         [](QelXdr* x) {
             uint32_t values[] = {1, 2, 3};
             void* a = values;
             uint16_t n = 3;
             return QelXdr_Array(x, &a, &n, 10, 4, Word32, 0);
         },
         [](QelXdr* x) {
             void* a = nullptr;
             uint16_t n = 0;
             const bool ok =
                 QelXdr_Array(x, &a, &n, 10, 4, Word32, 0) && n == 3 && static_cast<uint32_t*>(a)[2] == 3;
             QelXdr_Free(
                 [](QelXdr* f, void* o, long) {
                     auto* box = static_cast<std::pair<void*, uint16_t>*>(o);
                     return QelXdr_Array(f, &box->first, &box->second, 10, 4, Word32, 0);
                 },
                 std::make_unique<std::pair<void*, uint16_t>>(a, n).get());
             return ok;
         }},
        {"value list ends with an absent next",
         "p.pack_uint(0); p.pack_uint(1); s('one'); p.pack_uint(0); p.pack_uint(2); s('two'); p.pack_uint(1)",
         0,
         [](QelXdr* x) {
             CsXdrValueItem second{2, const_cast<char*>("two"), nullptr};
             CsXdrValueItem first{1, const_cast<char*>("one"), &second};
             CsXdrValueItem* list = &first;
             return CsXdr_ValueList(x, &list);
         },
         [](QelXdr* x) {
             CsXdrValueItem* list = nullptr;
             const bool ok = CsXdr_ValueList(x, &list) && list != nullptr && list->number == 1 &&
                             std::strcmp(list->text, "one") == 0 && list->next != nullptr &&
                             std::strcmp(list->next->text, "two") == 0 && list->next->next == nullptr;
             QelXdr_Free([](QelXdr* f, void* o,
                            long) { return CsXdr_ValueList(f, static_cast<CsXdrValueItem**>(o)); },
                         &list);
             return ok && list == nullptr;
         }},
    };
}

TEST(XdrPrimitives, MatchPythonXdrlibBothWays) {
    const std::vector<Case> cases = Cases();
    std::string script;
    for (const Case& c : cases) script += std::string(c.python[0] ? c.python : "pass") + "\n";
    const std::vector<std::string> expected =
        PythonLines(WIRE_TESTS_DIR "/wire_oracle.py", {"pack", "{}"},
                    std::span(reinterpret_cast<const unsigned char*>(script.data()), script.size()));
    ASSERT_EQ(expected.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        QelXdrBuffer out(QELXDR_ENCODE);
        OpenCodePages(out.Xdr());
        out.Xdr()->features = c.features;
        ASSERT_TRUE(c.encode(out.Xdr())) << c.name;
        EXPECT_EQ(Hex(out.Bytes()), expected[i]) << c.name;

        QelXdrBuffer in(QELXDR_DECODE, FromHex(expected[i]));
        OpenCodePages(in.Xdr());
        in.Xdr()->features = c.features;
        EXPECT_TRUE(c.decodeMatches(in.Xdr())) << c.name;
        EXPECT_EQ(in.Remaining(), 0u) << c.name;
        EXPECT_EQ(in.Xdr()->position, expected[i].size() / 2) << c.name;
    }
}

// Decoding malformed input fails and leaves nothing allocated (LeakSanitizer checks).
TEST(XdrPrimitives, MalformedInputFails) {
    struct Bad {
        const char* name;
        const char* hex;
        std::function<bool(QelXdr*)> decode;
    };
    auto text = [](QelXdr* x) {
        char* t = nullptr;
        const bool ok = QelXdr_String(x, &t, 1000);
        std::free(t);
        return ok;
    };
    auto node = [](QelXdr* x) {
        CsXdrNodeInfo* n = nullptr;
        const bool ok = QelXdr_Pointer(x, reinterpret_cast<void**>(&n), sizeof *n, CsXdr_NodeInfo);
        std::free(n);
        return ok;
    };
    auto words = [](uint32_t maximum) {
        return [maximum](QelXdr* x) {
            void* a = nullptr;
            uint16_t n = 0;
            const bool ok = QelXdr_Array(x, &a, &n, maximum, 4, Word32, 0);
            std::free(a);
            return ok;
        };
    };
    auto bytes = [](QelXdr* x) {
        char* p = nullptr;
        uint32_t n = 0;
        const bool ok = QelXdr_Bytes(x, &p, &n, 4);
        std::free(p);
        return ok;
    };
    const Bad cases[] = {
        {"presence word 2", "00000002", node},
        {"presence word 0xFFFFFFFF", "ffffffff", node},
        {"object cut short", "00000000000012", node},
        {"count above the maximum", "00000003000000010000000200000003", words(2)},
        {"count 65536", "00010000", words(CS_XDR_ARRAY_MAX)},
        {"count 0xFFFFFFFF", "ffffffff", words(CS_XDR_ARRAY_MAX)},
        {"count larger than the bytes", "0000ffff00000001", words(CS_XDR_ARRAY_MAX)},
        {"bytes above the maximum", "000000056162636465000000", bytes},
        {"bytes without their padding", "00000003616263", bytes},
        {"odd text length", "0000000300410000", text},
        {"text length 0xFFFFFFFF", "ffffffff00410000", text},
        {"text longer than the bytes", "0000010000410042", text},
        {"text without its terminator", "0000000400410042", text},
        {"text whose only zero unit is padding", "0000000200410000", text},
        {"hyper cut short", "000000",
         [](QelXdr* x) {
             int64_t v;
             return QelXdr_Hyper(x, &v);
         }},
    };
    for (const Bad& c : cases) {
        QelXdrBuffer in(QELXDR_DECODE, FromHex(c.hex));
        OpenCodePages(in.Xdr());
        EXPECT_FALSE(c.decode(in.Xdr())) << c.name;
    }
}

TEST(XdrPrimitives, LongValueThatDoesNotFitOneWordIsRefused) {
    QelXdrBuffer out(QELXDR_ENCODE);
    int64_t big = int64_t{1} << 40;
    EXPECT_FALSE(QelXdr_LongValue(out.Xdr(), &big));
    out.Xdr()->features = CS_FEATURE_LONG64;
    EXPECT_TRUE(QelXdr_LongValue(out.Xdr(), &big));
}

TEST(XdrPrimitives, ZeroLengthTextLeavesAnExistingBufferEmpty) {
    QelXdrBuffer in(QELXDR_DECODE, FromHex("00000000"));
    OpenCodePages(in.Xdr());
    char buffer[8] = "stale";
    char* text = buffer;
    ASSERT_TRUE(QelXdr_String(in.Xdr(), &text, sizeof buffer - 1));
    EXPECT_EQ(text, buffer);
    EXPECT_STREQ(buffer, "");
}

TEST(XdrPrimitives, ArrayIntoCallersBufferHonoursItsSize) {
    // Three elements into a buffer the caller sized for two.
    QelXdrBuffer in(QELXDR_DECODE, FromHex("00000003000000010000000200000003"));
    uint32_t two[2] = {};
    void* a = two;
    uint16_t n = 0;
    EXPECT_FALSE(QelXdr_Array(in.Xdr(), &a, &n, 2, 4, Word32, 0));
    EXPECT_EQ(a, static_cast<void*>(two));
}

}  // namespace
