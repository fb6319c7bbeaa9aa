// Password texts of the local logon: case copies, the conversion to code page 819 and
// the crypt hashes the local user table keeps (SHA-512 written, DES still verified).
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "arc_codepage.h"
#include "arc_platform.h"
#include "dispatcher_detail.h"
#include "logon_detail.h"

namespace cslogon {
namespace {

constexpr int32_t kHashCcsid = 819;
// The longest stored hash, without its terminator.
constexpr size_t kHashMax = QELLOCAL_PASSWORD_SIZE - 1;
constexpr size_t kDesHashLength = 13;
constexpr char kSha512Prefix[] = "$6$";

int32_t LocalCcsid(const CsHandle* handle) {
    return handle->localCcsid != 0 ? handle->localCcsid : ArcOS_GetCodePage();
}

// Converts a text of at most `limit` bytes; false when it does not convert or fit.
bool Convert(CsHandle* handle, int32_t from, int32_t to, const std::string& text, std::string* out,
             size_t limit = kIdMax) {
    out->clear();
    if (text.empty()) return true;
    ArcIconvContext* context = handle->iconv ? handle->iconv : csreq::detail::DefaultCodePages();
    if (context == nullptr) return false;
    ArcIconvHandle* converter = nullptr;
    if (ArcICONV_Open(context, from, to, &converter) != ARC_ICONV_OK) return false;
    char buffer[QELLOCAL_PASSWORD_SIZE] = {};
    static_assert(sizeof buffer > kIdMax);
    limit = std::min(limit, sizeof buffer - 1);
    size_t length = limit;
    const int rc = ArcICONV_Convert(converter, text.data(), text.size(), buffer, &length);
    ArcICONV_Close(converter);
    const bool ok = rc == ARC_ICONV_OK && length <= limit && std::memchr(buffer, 0, length) == nullptr;
    if (ok) out->assign(buffer, length);
    std::memset(buffer, 0, sizeof buffer);
    return ok;
}

// Wipes a text that held a password before it goes.
void Wipe(std::string* text) {
    if (!text->empty()) std::memset(text->data(), 0, text->size());
    text->clear();
}

// The crypt of key with the stored hash as setting, for the two kinds the table keeps:
// SHA-512 ("$6$") and the traditional 13-character DES hash. Any other text (another
// method, a damaged hash) verifies nothing.
bool Recrypt(const std::string& key, const std::string& stored, std::string* out) {
    out->clear();
    if (stored.rfind(kSha512Prefix, 0) == 0) return ArcOS_CryptSha512(key.c_str(), stored.c_str(), out) == 0;
    if (stored.size() != kDesHashLength) return false;
    char result[16] = {};
    const bool hashed = ArcOS_Crypt(key.c_str(), stored.c_str(), result) == 0;
    if (hashed) out->assign(result);
    std::memset(result, 0, sizeof result);
    return hashed;
}

}  // namespace

bool Fits(const char* text, size_t size) { return text == nullptr || strnlen(text, size) < size; }

std::string CaseCopy(const char* text, bool caseSensitive) {
    std::string copy = text ? text : "";
    if (!caseSensitive) ArcOS_StrUpper(copy.data());
    return copy;
}

// A password in code page 819. A character 819 lacks would be replaced by a substitute,
// and every password differing only there would share one hash: refused instead.
// Stored hashes take the same road with the longer limit of a hash.
bool ToHashCodePage(CsHandle* handle, const std::string& text, std::string* out, size_t limit = kIdMax) {
    const int32_t local = LocalCcsid(handle);
    std::string back;
    const bool ok = Convert(handle, local, kHashCcsid, text, out, limit) &&
                    Convert(handle, kHashCcsid, local, *out, &back, limit) && back == text;
    Wipe(&back);
    if (!ok) Wipe(out);
    return ok;
}

int CheckPassword(CsHandle* handle, const std::string& given, const char* storedHash) {
    const std::string stored = storedHash ? storedHash : "";
    if (stored.empty()) return given.empty() ? CS_OK : CS_NOT_AUTHORISED;
    std::string key, hash;
    if (!ToHashCodePage(handle, given, &key) || !ToHashCodePage(handle, stored, &hash, kHashMax)) {
        Wipe(&key);
        return CS_TRANSPORT;
    }
    std::string result;
    const bool hashed = Recrypt(key, hash, &result);
    Wipe(&key);
    const bool same = hashed && ArcOS_ConstantTimeEqual(result, hash);
    Wipe(&result);
    return same ? CS_OK : CS_NOT_AUTHORISED;
}

int MakePasswordHash(CsHandle* handle, const std::string& password, std::string* hash) {
    std::string key;
    if (!ToHashCodePage(handle, password, &key)) return CS_TRANSPORT;
    // SHA-512 with a fresh 16-character salt from the kernel's generator: every character
    // of the password counts, and equal passwords get different hashes.
    std::string result;
    const int rc = ArcOS_CryptSha512(key.c_str(), nullptr, &result);
    Wipe(&key);
    if (rc != 0 || result.rfind(kSha512Prefix, 0) != 0) return CS_FAILED;
    const bool converted = Convert(handle, kHashCcsid, LocalCcsid(handle), result, hash, kHashMax);
    return converted ? CS_OK : CS_TRANSPORT;
}

}  // namespace cslogon
