#include "arc_platform.h"

#include <crypt.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

bool saltCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '/';
}

}  // namespace

int ArcOS_Crypt(const char* key, const char* salt, char result[16]) {
    if (result == nullptr) return 1;
    std::memset(result, 0, 16);
    // Only the traditional two-character DES salt: anything else would select another
    // hash method whose output the callers cannot hold.
    if (key == nullptr || salt == nullptr || !saltCharacter(salt[0]) || !saltCharacter(salt[1])) return 1;
    char setting[3] = {salt[0], salt[1], '\0'};
    auto work = std::make_unique<struct crypt_data>();
    std::memset(work.get(), 0, sizeof(struct crypt_data));
    const char* hash = crypt_rn(key, setting, work.get(), sizeof(struct crypt_data));
    if (hash == nullptr || hash[0] == '*' || std::strlen(hash) != 13) return 1;
    std::memcpy(result, hash, 13);
    return 0;
}

int ArcOS_CryptSha512(const char* key, const char* setting, std::string* out) {
    if (key == nullptr || out == nullptr) return 1;
    auto work = std::make_unique<struct crypt_data>();
    std::memset(work.get(), 0, sizeof(struct crypt_data));
    std::string salt;
    if (setting == nullptr || *setting == '\0') {
        unsigned char entropy[16];
        if (ArcOS_RandomBytes(entropy, sizeof entropy) != 0) return 1;
        char generated[CRYPT_GENSALT_OUTPUT_SIZE];
        if (crypt_gensalt_rn("$6$", 0, reinterpret_cast<const char*>(entropy), sizeof entropy, generated,
                             sizeof generated) == nullptr)
            return 1;
        salt = generated;
    } else {
        salt = setting;
    }
    if (salt.rfind("$6$", 0) != 0) return 1;
    const char* hash = crypt_rn(key, salt.c_str(), work.get(), sizeof(struct crypt_data));
    if (hash == nullptr || hash[0] == '*') return 1;
    *out = hash;
    return 0;
}

bool ArcOS_ConstantTimeEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}
