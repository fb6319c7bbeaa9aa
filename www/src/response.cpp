// The reply of one request: headers, page frame, text and binary bodies.
#include "qel_www.h"

#include "arc_platform.h"
#include "code_page_converter.h"
#include "decimal.h"
#include "format_text.h"
#include "ini_section.h"

using qelwww::detail::FormatV;

namespace {

bool IsTokenChar(unsigned char c) {
    if (c >= '0' && c <= '9') return true;
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') return true;
    switch (c) {
        case '!':
        case '#':
        case '$':
        case '%':
        case '&':
        case '\'':
        case '*':
        case '+':
        case '-':
        case '.':
        case '^':
        case '_':
        case '`':
        case '|':
        case '~': return true;
        default: return false;
    }
}

bool ValidHeaderName(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name) {
        if (!IsTokenChar(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

// CR and LF would start a new header; NUL cuts the value at the C boundary.
bool ValidHeaderValue(std::string_view value) {
    return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (ArcOS_CharLower(static_cast<unsigned char>(a[i])) !=
            ArcOS_CharLower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

const char* CharsetName(uint32_t ccsid) {
    switch (ccsid) {
        case 1252: return "windows-1252";
        case 1208: return "UTF-8";
        default: return nullptr;
    }
}

constexpr const char* kStateCookieAttributes = "; HttpOnly; SameSite=Lax";
// A cleared cookie is expired, so that the browser drops it instead of keeping it empty.
constexpr const char* kExpiredCookieAttributes =
    "; Max-Age=0; Expires=Thu, 01 Jan 1970 00:00:00 GMT; HttpOnly; SameSite=Lax";

std::string WithoutTrailingSlash(std::string path) {
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// The server's section makes it the local server in this directory: the next request
// finds the same without _local, and the server's path stays out of the browser.
bool ConfiguredLocalServer(const QelWWWConfig* config, const QelWWWSession* session) {
    if (config == nullptr) return false;
    const std::string section = "@SRV@_" + session->serverName;
    if (!QelWWW_HasIniSection(config, section.c_str())) return false;
    const qelwww::detail::IniSection keys(config, section.c_str());
    auto protocol = keys.Get("PROTOCOL");
    const bool local =
        protocol ? qelwww::detail::LeadingNumber(protocol->c_str()) == 1 : config->defaultServerType == 'L';
    auto directory = keys.Get("DIRECTORY");
    return local && directory && WithoutTrailingSlash(*directory) == WithoutTrailingSlash(session->localDir);
}

}  // namespace

QelWWWResponse::QelWWWResponse(const QelWWWConfig* config) { InitResponse(config); }

void QelWWWResponse::InitResponse(const QelWWWConfig* config) {
    FreeResponse();
    if (config != nullptr && config->codePage != 0) {
        sourceCodePage_ = config->codePage;
    } else {
        sourceCodePage_ = static_cast<uint32_t>(ArcOS_GetCodePage());
    }
    codePageContext_ = config != nullptr ? config->codePageContext : nullptr;
    targetCodePage_ = 1208;
    textFlag_ = true;
    contentType_.clear();
}

void QelWWWResponse::FreeResponse() {
    headers_.clear();
    prefix_.clear();
    suffix_.clear();
    text_.clear();
    binary_.clear();
}

int QelWWWResponse::SetHeader(const char* name, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string value = FormatV(format, args);
    va_end(args);
    return SetHeaderValue(name != nullptr ? name : "", value);
}

int QelWWWResponse::SetHeaderValue(std::string_view name, std::string_view value) {
    if (!ValidHeaderName(name) || !ValidHeaderValue(value)) return 1;
    if (!EqualsIgnoreCase(name, "Set-Cookie")) {
        for (Header& header : headers_) {
            if (header.name == name) {
                header.value.assign(value);
                return 0;
            }
        }
    }
    if (headers_.size() >= static_cast<size_t>(QELWWW_MAX_HEADERS)) return 1;
    headers_.push_back(Header{std::string(name), std::string(value)});
    // One place for every cookie: the state cookies hold the sealed password, and none of
    // them may travel over plain HTTP once the site is reached over HTTPS.
    if (secure_ && EqualsIgnoreCase(name, "Set-Cookie")) headers_.back().value += "; Secure";
    return 0;
}

bool QelWWWResponse::GetHeader(uint32_t index, const char** name, const char** value) const {
    if (index >= headers_.size()) return false;
    if (name != nullptr) *name = headers_[index].name.c_str();
    if (value != nullptr) *value = headers_[index].value.c_str();
    return true;
}

void QelWWWResponse::AppendPrefix(const char* format, ...) {
    va_list args;
    va_start(args, format);
    AppendPrefixLine(FormatV(format, args));
    va_end(args);
}

void QelWWWResponse::AppendSuffix(const char* format, ...) {
    va_list args;
    va_start(args, format);
    AppendSuffixLine(FormatV(format, args));
    va_end(args);
}

void QelWWWResponse::AppendPrefixLine(std::string_view line) {
    prefix_.append(line);
    prefix_ += '\n';
}

void QelWWWResponse::AppendSuffixLine(std::string_view line) {
    suffix_.append(line);
    suffix_ += '\n';
}

void QelWWWResponse::PrintText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    text_ += FormatV(format, args);
    va_end(args);
}

void QelWWWResponse::AppendText(const char* bytes, size_t length) {
    if (bytes != nullptr) text_.append(bytes, length);
}

void QelWWWResponse::AppendBinary(const void* bytes, size_t length) {
    if (bytes != nullptr) binary_.append(static_cast<const char*>(bytes), length);
}

void QelWWWResponse::AppendBinary(std::string&& bytes) {
    if (binary_.empty())
        binary_ = std::move(bytes);
    else
        binary_.append(bytes);
}

void QelWWWResponse::PrintBinaryLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    binary_ += FormatV(format, args);
    va_end(args);
    binary_ += '\n';
}

void QelWWWResponse::SetSourceCodePage(uint32_t ccsid) { sourceCodePage_ = ccsid != 0 ? ccsid : 819; }

void QelWWWResponse::SetTargetCodePage(uint32_t ccsid) { targetCodePage_ = ccsid != 0 ? ccsid : 1208; }

void QelWWWResponse::SetContentType(const char* type) {
    contentType_ = type != nullptr ? type : "";
    if (contentType_.compare(0, 5, "text/") != 0) textFlag_ = false;
    std::string suffix;
    if (textFlag_) {
        const char* charset = CharsetName(targetCodePage_);
        if (charset == nullptr) {
            targetCodePage_ = 1208;
            charset = "UTF-8";
        }
        suffix = std::string("; charset=") + charset;
    }
    SetHeaderValue("Content-type", contentType_ + suffix);
}

std::string QelWWWResponse::GetBody() const {
    std::string body = prefix_;
    if (!text_.empty()) {
        std::optional<std::string> converted;
        if (sourceCodePage_ != targetCodePage_)
            converted = qelwww::detail::CodePageConverter(codePageContext_, sourceCodePage_, targetCodePage_)
                            .Convert(text_);
        body += converted ? *converted : text_;
    } else {
        body += binary_;
    }
    body += suffix_;
    return body;
}

void QelWWWResponse::ClearStateCookies() {
    SetHeaderValue("Set-Cookie", std::string("ZEIQS=") + kExpiredCookieAttributes);
    SetHeaderValue("Set-Cookie", std::string("ZEILOGID=") + kExpiredCookieAttributes);
}

void QelWWWResponse::SaveStateCookies(const QelWWWConfig* config, const QelWWWSession* session,
                                      uint32_t codePage, int32_t logId) {
    if (session == nullptr) return;
    if (session->sendStateCookie) {
        // The server name as requested: the next request resolves it again through its
        // section and ServerAccess, which know names, not host addresses.
        const std::string& server = session->serverName.empty() ? session->server : session->serverName;
        std::string value = "ZEIQS=_s=" + QelWWW_UrlEncode(session, server, true) +
                            "&_pt=" + std::to_string(session->port) + "&_cp=" + std::to_string(codePage) +
                            "&_u=" + QelWWW_UrlEncode(session, session->user, true);
        // The browser keeps the cookie on disk: it gets the password only sealed. Without a
        // key the cookie goes without it, and a request with only the cookie logs on anew.
        std::string key;
        std::string sealed;
        if (QelWWW_StateKey(config, true, &key) == 0)
            sealed = QelWWW_SealPassword(key, session->user, session->password);
        if (!sealed.empty()) value += "&_p=" + QelWWW_UrlEncode(session, sealed, true);
        if (session->serverType == 'L' && !session->localDir.empty() &&
            !ConfiguredLocalServer(config, session))
            value += "&_local=" + QelWWW_UrlEncode(session, session->localDir, true);
        SetHeaderValue("Set-Cookie", value + kStateCookieAttributes);
    }
    if (session->sendLogIdCookie)
        SetHeaderValue("Set-Cookie", "ZEILOGID=" + std::to_string(logId) + kStateCookieAttributes);
}
