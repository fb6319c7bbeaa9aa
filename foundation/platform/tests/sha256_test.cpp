#include "arc_platform.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Hex(const unsigned char* bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < ARCOS_SHA256_SIZE; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

std::string Sha256(const std::string& data) {
    unsigned char digest[ARCOS_SHA256_SIZE];
    ArcOS_Sha256(data, digest);
    return Hex(digest);
}

std::string Hmac(const std::string& key, const std::string& data) {
    unsigned char mac[ARCOS_SHA256_SIZE];
    ArcOS_HmacSha256(key, data, mac);
    return Hex(mac);
}

// FIPS 180 examples, and messages whose padding ends at or crosses a block boundary.
TEST(Sha256, KnownDigests) {
    struct Case {
        std::string data;
        const char* digest;
    };
    const Case cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmno"
         "pqrs"
         "tnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
        {std::string(57, 'a'), "f13b2d724659eb3bf47f2dd6af1accc87b81f09f59f2b75e5c0bed6589dfe8c6"},
        {std::string(63, 'a'), "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {std::string(65, 'a'), "635361c48bb9eab14198e76ea8ab7f1a41685d6ad62aa9146d301d4f17eb0ae0"},
        {std::string(119, 'a'), "31eba51c313a5c08226adf18d4a359cfdfd8d2e816b13f4af952f7ea6584dcfb"},
        {std::string(120, 'a'), "2f3d335432c70b580af0e8e1b3674a7c020d683aa5f73aaaedfdc55af904c21c"},
    };
    for (const Case& c : cases) EXPECT_EQ(Sha256(c.data), c.digest) << "length " << c.data.size();
}

// RFC 4231 test cases 1-4, 6 and 7 (5 is a truncated output), and a key of exactly one block.
TEST(Sha256, HmacKnownAnswers) {
    struct Case {
        std::string key;
        std::string data;
        const char* mac;
    };
    std::string counting;
    for (char c = 1; c <= 25; ++c) counting += c;
    const Case cases[] = {
        {std::string(20, '\x0b'), "Hi There",
         "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
        {"Jefe", "what do ya want for nothing?",
         "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
        {std::string(20, '\xaa'), std::string(50, '\xdd'),
         "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe"},
        {counting, std::string(50, '\xcd'),
         "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b"},
        {std::string(131, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
         "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
        {std::string(131, '\xaa'),
         "This is a test using a larger than block-size key and a larger than block-size data. The key needs "
         "to "
         "be hashed before being used by the HMAC algorithm.",
         "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2"},
        {std::string(64, 'k'), "exactly one block of key",
         "baa93ea4ccc7062ed6870c5e7937dbd35ad7791df4e29df9addeb429ff491acf"},
    };
    for (const Case& c : cases) EXPECT_EQ(Hmac(c.key, c.data), c.mac) << "key length " << c.key.size();
}

}  // namespace
