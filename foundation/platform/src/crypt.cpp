#include "arc_platform.h"

#include <crypt.h>

#include <cstring>
#include <memory>

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
