// The password in the state cookie, sealed with libsodium's XChaCha20-Poly1305 so that the
// browser keeps and sends only what the gateway itself can open (docs/state.md).
#include "qel_www.h"

#include <sodium.h>

#include <array>

#include "arc_platform.h"
#include "qel_client.h"

namespace {

constexpr std::string_view kVersion = "v1.";
// Sets the cookie key apart from the installation key's other use (the password hashes of
// saved sessions): a value made for one can never pass for the other.
constexpr std::string_view kKeyLabel = "qelwww state cookie password v1";
constexpr size_t kNonceSize = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr size_t kTagSize = crypto_aead_xchacha20poly1305_ietf_ABYTES;
// Far above any sealed password (QELWWW_MAX_PASSWORD); a longer value is not decoded at all.
constexpr size_t kLongestSealed = 512;
constexpr int kBase64 = sodium_base64_VARIANT_URLSAFE_NO_PADDING;

using CookieKey = std::array<unsigned char, crypto_aead_xchacha20poly1305_ietf_KEYBYTES>;
static_assert(crypto_aead_xchacha20poly1305_ietf_KEYBYTES == ARCOS_SHA256_SIZE);

CookieKey DeriveKey(std::string_view installationKey) {
    CookieKey key{};
    ArcOS_HmacSha256(installationKey, kKeyLabel, key.data());
    return key;
}

// The version and the user: a sealed password opens only in a cookie of the same user.
std::string AssociatedData(std::string_view user) {
    std::string data(kVersion);
    data += user;
    return data;
}

bool Ready() { return sodium_init() >= 0; }

}  // namespace

std::string QelWWW_SealPassword(std::string_view installationKey, std::string_view user,
                                std::string_view password) {
    if (installationKey.size() != kStateKeyMinSize || !Ready()) return {};
    std::string sealed(kNonceSize + password.size() + kTagSize, '\0');
    auto* out = reinterpret_cast<unsigned char*>(sealed.data());
    if (ArcOS_RandomBytes(out, kNonceSize) != 0) return {};
    const CookieKey key = DeriveKey(installationKey);
    const std::string ad = AssociatedData(user);
    unsigned long long length = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(
        out + kNonceSize, &length, reinterpret_cast<const unsigned char*>(password.data()), password.size(),
        reinterpret_cast<const unsigned char*>(ad.data()), ad.size(), nullptr, out, key.data());
    std::string text(sodium_base64_encoded_len(sealed.size(), kBase64), '\0');
    sodium_bin2base64(text.data(), text.size(), out, sealed.size(), kBase64);
    text.resize(text.size() - 1);  // the terminator the encoder counts
    return std::string(kVersion) + text;
}

std::optional<std::string> QelWWW_OpenPassword(std::string_view installationKey, std::string_view user,
                                               std::string_view sealed) {
    if (installationKey.size() != kStateKeyMinSize || sealed.size() > kLongestSealed ||
        sealed.substr(0, kVersion.size()) != kVersion || !Ready())
        return std::nullopt;
    const std::string_view text = sealed.substr(kVersion.size());
    std::string bytes(text.size(), '\0');
    size_t length = 0;
    // No characters to skip and no end pointer: the whole text must be base64url.
    if (sodium_base642bin(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size(), text.data(),
                          text.size(), nullptr, &length, nullptr, kBase64) != 0 ||
        length < kNonceSize + kTagSize)
        return std::nullopt;
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    const CookieKey key = DeriveKey(installationKey);
    const std::string ad = AssociatedData(user);
    std::string password(length - kNonceSize - kTagSize, '\0');
    unsigned long long opened = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(reinterpret_cast<unsigned char*>(password.data()), &opened,
                                                   nullptr, in + kNonceSize, length - kNonceSize,
                                                   reinterpret_cast<const unsigned char*>(ad.data()),
                                                   ad.size(), in, key.data()) != 0)
        return std::nullopt;
    password.resize(static_cast<size_t>(opened));
    return password;
}
