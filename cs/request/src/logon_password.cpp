// Password texts of the local logon: case copies, the conversion to code page 819 and
// the traditional DES hash the local user table keeps.
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
// The salt alphabet of the traditional crypt.
constexpr char kSaltAlphabet[] = "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

int32_t LocalCcsid(const CsHandle* handle) {
    return handle->localCcsid != 0 ? handle->localCcsid : ArcOS_GetCodePage();
}

// Converts a text of at most kIdMax bytes; false when it does not convert or fit.
bool Convert(CsHandle* handle, int32_t from, int32_t to, const std::string& text, std::string* out) {
    out->clear();
    if (text.empty()) return true;
    ArcIconvContext* context = handle->iconv ? handle->iconv : csreq::detail::DefaultCodePages();
    if (context == nullptr) return false;
    ArcIconvHandle* converter = nullptr;
    if (ArcICONV_Open(context, from, to, &converter) != ARC_ICONV_OK) return false;
    char buffer[CS_USER_ID_SIZE] = {};
    size_t length = kIdMax;
    const int rc = ArcICONV_Convert(converter, text.data(), text.size(), buffer, &length);
    ArcICONV_Close(converter);
    if (rc != ARC_ICONV_OK || length > kIdMax || std::memchr(buffer, 0, length) != nullptr) {
        std::memset(buffer, 0, sizeof buffer);
        return false;
    }
    out->assign(buffer, length);
    std::memset(buffer, 0, sizeof buffer);
    return true;
}

// Wipes a text that held a password before it goes.
void Wipe(std::string* text) {
    if (!text->empty()) std::memset(text->data(), 0, text->size());
    text->clear();
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
bool ToHashCodePage(CsHandle* handle, const std::string& text, std::string* out) {
    const int32_t local = LocalCcsid(handle);
    std::string back;
    const bool ok = Convert(handle, local, kHashCcsid, text, out) &&
                    Convert(handle, kHashCcsid, local, *out, &back) && back == text;
    Wipe(&back);
    if (!ok) Wipe(out);
    return ok;
}

int CheckPassword(CsHandle* handle, const std::string& given, const char* storedHash) {
    const std::string stored = storedHash ? storedHash : "";
    if (stored.empty()) return given.empty() ? CS_OK : CS_NOT_AUTHORISED;
    std::string key, salt;
    if (!ToHashCodePage(handle, given, &key) || !ToHashCodePage(handle, stored, &salt)) {
        Wipe(&key);
        return CS_TRANSPORT;
    }
    char result[16] = {};
    const bool hashed = ArcOS_Crypt(key.c_str(), salt.c_str(), result) == 0;
    Wipe(&key);
    const bool same = hashed && ArcOS_ConstantTimeEqual(std::string_view(result), salt);
    std::memset(result, 0, sizeof result);
    return same ? CS_OK : CS_NOT_AUTHORISED;
}

int MakePasswordHash(CsHandle* handle, const std::string& password, std::string* hash) {
    std::string key;
    if (!ToHashCodePage(handle, password, &key)) return CS_TRANSPORT;
    // Two salt characters from the lowest and the next 6-bit group of one random value.
    const int value = ArcOS_Random();
    const char salt[3] = {kSaltAlphabet[value & 63], kSaltAlphabet[(value >> 6) & 63], 0};
    char result[16] = {};
    const int rc = ArcOS_Crypt(key.c_str(), salt, result);
    Wipe(&key);
    if (rc != 0) return CS_FAILED;
    const bool converted = Convert(handle, kHashCcsid, LocalCcsid(handle), result, hash);
    return converted ? CS_OK : CS_TRANSPORT;
}

}  // namespace cslogon
