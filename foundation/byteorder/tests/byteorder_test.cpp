// Big-endian get/put against packings made with Python's struct module, e.g.
//   python3 -c "import struct; print(struct.pack('>i', -123456789).hex())"
// Every case is tried at each offset 0..7 of a buffer, so unaligned addresses are
// covered, and the bytes around the number must stay untouched.
#include "arc_byteorder.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

constexpr uint8_t kGuard = 0xA5;
constexpr size_t kMaxOffset = 8;

// Runs put at every offset of a guarded buffer; checks the bytes, the guard and the
// value read back by get.
template <typename Put, typename Check>
void AtEveryOffset(const std::string& name, const std::string& hex, Put put, Check check) {
    const std::vector<uint8_t> expected = FromHex(hex);
    for (size_t offset = 0; offset < kMaxOffset; ++offset) {
        std::array<uint8_t, 32> buffer;
        buffer.fill(kGuard);
        put(buffer.data() + offset);
        for (size_t i = 0; i < buffer.size(); ++i) {
            const bool inside = i >= offset && i < offset + expected.size();
            const uint8_t want = inside ? expected[i - offset] : kGuard;
            ASSERT_EQ(buffer[i], want) << name << " offset " << offset << " byte " << i;
        }
        check(buffer.data() + offset, name + " offset " + std::to_string(offset));
    }
}

TEST(ByteOrder, SixteenBit) {
    struct Case {
        const char* name;
        uint16_t value;
        const char* hex;
    };
    const Case cases[] = {
        {"0x1234", 0x1234, "1234"},
        {"0xFFFE", 0xFFFE, "fffe"},
        {"-2 as unsigned", static_cast<uint16_t>(-2), "fffe"},
        {"zero", 0, "0000"},
    };
    for (const Case& c : cases) {
        AtEveryOffset(
            c.name, c.hex, [&](uint8_t* p) { QelPutBE16(c.value, p); },
            [&](const uint8_t* p, const std::string& where) {
                EXPECT_EQ(QelGetBE16(p), c.value) << where;
                EXPECT_EQ(QelGetShort(p), c.value) << where;
            });
        AtEveryOffset(
            std::string(c.name) + " via Short", c.hex, [&](uint8_t* p) { QelPutShort(c.value, p); },
            [](const uint8_t*, const std::string&) {});
    }
}

TEST(ByteOrder, ThirtyTwoBit) {
    struct Case {
        const char* name;
        uint32_t value;
        const char* hex;
    };
    const Case cases[] = {
        {"0x12345678", 0x12345678u, "12345678"},
        {"high bit", 0x80000001u, "80000001"},
        {"-123456789", static_cast<uint32_t>(-123456789), "f8a432eb"},
    };
    for (const Case& c : cases) {
        AtEveryOffset(
            c.name, c.hex, [&](uint8_t* p) { QelPutBE32(c.value, p); },
            [&](const uint8_t* p, const std::string& where) {
                EXPECT_EQ(QelGetBE32(p), c.value) << where;
                EXPECT_EQ(QelGetLong(p), c.value) << where;
            });
        AtEveryOffset(
            std::string(c.name) + " via Long", c.hex, [&](uint8_t* p) { QelPutLong(c.value, p); },
            [](const uint8_t*, const std::string&) {});
    }
}

TEST(ByteOrder, SixtyFourBitHighWordFirst) {
    struct Case {
        const char* name;
        uint64_t value;
        const char* hex;
    };
    const Case cases[] = {
        {"words 1 and 2", 0x0000000100000002ull, "0000000100000002"},
        {"all bytes differ", 0xFEDCBA9876543210ull, "fedcba9876543210"},
        {"-2", static_cast<uint64_t>(-2), "fffffffffffffffe"},
    };
    for (const Case& c : cases) {
        AtEveryOffset(
            c.name, c.hex, [&](uint8_t* p) { QelPutBE64(c.value, p); },
            [&](const uint8_t* p, const std::string& where) { EXPECT_EQ(QelGetBE64(p), c.value) << where; });
    }
}

TEST(ByteOrder, Doubles) {
    struct Case {
        const char* name;
        double value;
        const char* hex;
    };
    const Case cases[] = {
        {"1.5", 1.5, "3ff8000000000000"},
        {"-1.2345678e303", -1.2345678e303, "fedccdef25084b56"},
        {"smallest subnormal", 5e-324, "0000000000000001"},
    };
    for (const Case& c : cases) {
        AtEveryOffset(
            c.name, c.hex, [&](uint8_t* p) { QelPutBE64(std::bit_cast<uint64_t>(c.value), p); },
            [&](const uint8_t* p, const std::string& where) {
                EXPECT_EQ(QelGetBEDouble(p), c.value) << where;
            });
    }
}

TEST(ByteOrder, Floats) {
    struct Case {
        const char* name;
        float value;
        const char* hex;
    };
    const Case cases[] = {
        {"1.5", 1.5f, "3fc00000"},
        {"-0.1", -0.1f, "bdcccccd"},
        {"largest finite", 3.4028234663852886e38f, "7f7fffff"},
    };
    for (const Case& c : cases) {
        AtEveryOffset(
            c.name, c.hex, [&](uint8_t* p) { QelPutBEFloat(c.value, p); },
            [&](const uint8_t* p, const std::string& where) {
                EXPECT_EQ(std::bit_cast<float>(QelGetBE32(p)), c.value) << where;
            });
    }
}

}  // namespace
