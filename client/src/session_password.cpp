// The password hash a session keeps, and password change.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "arc_codepage.h"
#include "arc_platform.h"
#include "qel_client.h"
#include "server_ops.h"
#include "status_area.h"

namespace {

constexpr uint32_t kPasswordsCaseSensitive = 0x02;

bool CaseSensitive(const ClientSession* s) {
    return s->systemParms && (s->systemParms->flags & kPasswordsCaseSensitive);
}

int ConvertOne(ArcIconvContext* context, int32_t from, int32_t to, const char* text, std::string* out) {
    out->clear();
    if (!text || !*text) return 0;
    if (!context) return 1;
    ArcIconvHandle* handle = nullptr;
    if (ArcICONV_Open(context, from, to, &handle) != ARC_ICONV_OK || !handle) return 1;
    char* converted = nullptr;
    size_t length = 0;
    const int rc = ArcICONV_ConvertAlloc(handle, text, std::strlen(text), &converted, &length);
    ArcICONV_Close(handle);
    if (rc != ARC_ICONV_OK || !converted) return 1;
    out->assign(converted, length);
    std::free(converted);
    // The password travels as a C text: a converted zero byte would end it early.
    return out->find('\0') == std::string::npos ? 0 : 1;
}

// The bytes that are hashed: the password in UTF-8, its ASCII letters upper-cased unless
// the server's passwords are case sensitive. UTF-8 rather than CCSID 819: a conversion
// to 819 replaces every character outside Latin-1 by the same substitute, and passwords
// that differ only there would share a hash. Folding after the conversion keeps the
// bytes of EBCDIC and double-byte pages whole. When the conversion fails the password's
// own bytes are hashed; setting and checking fall back alike.
std::string HashInput(ClientSession* s, const char* password) {
    std::string text = password ? password : "";
    if (!ArcICONV_IsUtf8Ccsid(s->codePage)) {
        std::string utf8;
        if (ConvertOne(s->handle.iconv, s->codePage, 1208, text.c_str(), &utf8) == 0) text = std::move(utf8);
    }
    if (!CaseSensitive(s)) {
        for (char& c : text) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

// The keyed form: "$k$", the salt and the HMAC-SHA-256 under the key of the salt followed
// by the hash input, both in lower-case hex.
constexpr std::string_view kKeyedPrefix = "$k$";
constexpr size_t kKeyedSaltSize = 16;

std::string Hex(const unsigned char* bytes, size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * size);
    for (size_t i = 0; i < size; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

std::string KeyedHash(ClientSession* s, const char* password, std::string_view key,
                      std::string_view saltHex) {
    std::string input(saltHex);
    input += HashInput(s, password);
    unsigned char mac[ARCOS_SHA256_SIZE];
    ArcOS_HmacSha256(key, input, mac);
    std::string hash = std::string(kKeyedPrefix) + std::string(saltHex) + "$" + Hex(mac, sizeof mac);
    std::fill(input.begin(), input.end(), '\0');
    return hash;
}

bool RepeatMatches(const ClientSession* s, const char* a, const char* b) {
    a = a ? a : "";
    b = b ? b : "";
    return CaseSensitive(s) ? std::strcmp(a, b) == 0 : ArcOS_StrICmp(a, b) == 0;
}

}  // namespace

int Session_ConvertLatin1(ClientSession* session, int direction, const char* text1, const char* text2,
                          std::string* out1, std::string* out2) {
    if (!session || !session->handle.iconv) return 1;
    const int32_t from = direction == 0 ? session->codePage : 819;
    const int32_t to = direction == 0 ? 819 : session->codePage;
    std::string scratch;
    if (ConvertOne(session->handle.iconv, from, to, text1, out1 ? out1 : &scratch) != 0) return 1;
    if (ConvertOne(session->handle.iconv, from, to, text2, out2 ? out2 : &scratch) != 0) return 1;
    return 0;
}

int Session_SetPassword(ClientSession* session, const char* password) {
    if (!session) return 1;
    std::string hash;
    // A null setting draws a fresh random salt.
    if (ArcOS_CryptSha512(HashInput(session, password).c_str(), nullptr, &hash) != 0 ||
        hash.rfind("$6$", 0) != 0) {
        session->user.password.clear();
        return 1;
    }
    session->user.password = std::move(hash);
    return 0;
}

int Session_CheckPassword(ClientSession* session, const char* password) {
    if (!session) return 1;
    const std::string& stored = session->user.password;
    if (stored.rfind("$6$", 0) != 0) return 1;
    std::string hash;
    if (ArcOS_CryptSha512(HashInput(session, password).c_str(), stored.c_str(), &hash) != 0) return 1;
    return ArcOS_ConstantTimeEqual(hash, stored) ? 0 : 1;
}

bool Session_IsKeyedHash(std::string_view hash) {
    constexpr size_t kSaltDigits = 2 * kKeyedSaltSize;
    if (hash.size() != kKeyedPrefix.size() + kSaltDigits + 1 + 2 * ARCOS_SHA256_SIZE ||
        hash.substr(0, kKeyedPrefix.size()) != kKeyedPrefix || hash[kKeyedPrefix.size() + kSaltDigits] != '$')
        return false;
    for (size_t i = kKeyedPrefix.size(); i < hash.size(); ++i) {
        const char c = hash[i];
        if (i == kKeyedPrefix.size() + kSaltDigits) continue;
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

int Session_SetPasswordKeyed(ClientSession* session, const char* password, std::string_view key) {
    if (!session) return 1;
    session->user.password.clear();
    unsigned char salt[kKeyedSaltSize];
    if (key.size() < kStateKeyMinSize || ArcOS_RandomBytes(salt, sizeof salt) != 0) return 1;
    session->user.password = KeyedHash(session, password, key, Hex(salt, sizeof salt));
    return 0;
}

int Session_CheckPasswordKeyed(ClientSession* session, const char* password, std::string_view key) {
    if (!session || key.size() < kStateKeyMinSize) return 1;
    const std::string& stored = session->user.password;
    if (!Session_IsKeyedHash(stored)) return 1;
    const std::string_view salt = std::string_view(stored).substr(kKeyedPrefix.size(), 2 * kKeyedSaltSize);
    return ArcOS_ConstantTimeEqual(KeyedHash(session, password, key, salt), stored) ? 0 : 1;
}

void Session_ChangePassword(ClientStatus* status, ClientSession* session, const char* oldPassword,
                            const char* newPassword, const char* repeatPassword) {
    using namespace qelclient;
    ClientStatus ignored;
    if (!status) status = &ignored;
    if (!session) {
        Session_MakeLocalStatus(status, nullptr, 75, nullptr);
        return;
    }
    if (!RepeatMatches(session, newPassword, repeatPassword)) {
        ClientStatusArea& area = AreaOf(session);
        ClearInserts(area);
        SetStatus(status, area, CLIENT_SEV_ERROR, 31, nullptr);
        return;
    }
    // The old password goes to the request only; the session record keeps the hash.
    int reason = 0;
    const ServerOps& ops = Ops();
    const int rc = ops.changePassword ? ops.changePassword(session, oldPassword ? oldPassword : "",
                                                           newPassword ? newPassword : "", &reason)
                                      : CS_FAILED;
    Session_MakeStatus(status, session, rc, CLIENT_OP_CHANGE_PASSWORD);
    if (status->severity != CLIENT_SEV_REFUSED) return;
    ClientInsert& first = session->status.inserts[0];
    switch (reason) {
        case 0: status->code = 32; break;
        case 1:
            status->code = 29;
            if (session->systemParms) {
                first = ClientInsert{&session->systemParms->minPasswordLength, 0, CLIENT_INSERT_PARM16};
            } else {
                first = ClientInsert{nullptr, 0, CLIENT_INSERT_NUMBER};
            }
            break;
        case 2: status->code = 30; break;
        default: break;
    }
}
