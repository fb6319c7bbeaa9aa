// The trace log: one line per call, appended to LogDir/qelwww.log, and the copies of request
// texts and cookie headers it shows, without passwords.
#include "qel_www.h"

#include "arc_platform.h"
#include "format_text.h"

namespace {

// Stands for a password of any length, so the trace does not tell the length either.
constexpr std::string_view kHidden = "***";

bool IsPasswordName(const std::string& decoded) {
    return decoded == "_password" || decoded == "_p" || decoded == "_new_password" || decoded == "_np";
}

// Names are compared decoded, as the parser reads them ("%5Fp" is "_p"). A name that
// swallowed a stretch without '=' ("x&_p") is also checked by its last part.
bool NamesPassword(std::string_view rawName) {
    std::string name(rawName);
    QelWWW_PercentDecode(&name);
    if (IsPasswordName(name)) return true;
    size_t amp = rawName.rfind('&');
    if (amp == std::string_view::npos) return false;
    std::string last(rawName.substr(amp + 1));
    QelWWW_PercentDecode(&last);
    return IsPasswordName(last);
}

// Splits like QelWWWParmList::Parse: a name runs to the next '=', its value to the next '&'.
void AppendHidingPasswords(std::string_view pairs, std::string* out) {
    size_t start = 0;
    while (start < pairs.size()) {
        size_t equals = pairs.find('=', start);
        if (equals == std::string_view::npos) break;
        size_t end = pairs.find('&', equals + 1);
        if (end == std::string_view::npos) end = pairs.size();
        std::string_view value = pairs.substr(equals + 1, end - equals - 1);
        out->append(pairs.substr(start, equals + 1 - start));
        out->append(!value.empty() && NamesPassword(pairs.substr(start, equals - start)) ? kHidden : value);
        if (end < pairs.size()) *out += '&';
        start = end + 1;
    }
    if (start < pairs.size()) out->append(pairs.substr(start));
}

}  // namespace

std::string QelWWW_BlankPasswords(std::string_view pairs) {
    std::string out;
    out.reserve(pairs.size());
    AppendHidingPasswords(pairs, &out);
    return out;
}

std::string QelWWW_BlankCookiePasswords(std::string_view cookieHeader) {
    std::string out;
    out.reserve(cookieHeader.size());
    size_t start = 0;
    while (start <= cookieHeader.size()) {
        size_t end = cookieHeader.find(';', start);
        if (end == std::string_view::npos) end = cookieHeader.size();
        std::string_view cookie = cookieHeader.substr(start, end - start);
        size_t equals = cookie.find('=');
        if (equals == std::string_view::npos) {
            out.append(cookie);
        } else {
            // A cookie's value is a pair list (ZEIQS, ZEIIE); a cookie may also be named like
            // a password itself.
            std::string_view name = cookie.substr(0, equals);
            while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
            std::string_view value = cookie.substr(equals + 1);
            out.append(cookie.substr(0, equals + 1));
            if (!value.empty() && NamesPassword(name)) {
                out.append(kHidden);
            } else {
                AppendHidingPasswords(value, &out);
            }
        }
        if (end == cookieHeader.size()) break;
        out += ';';
        start = end + 1;
    }
    return out;
}

void QelWWW_Trace(const QelWWWConfig* config, const char* format, ...) {
    if (config == nullptr || config->traceFile.empty()) return;
    va_list args;
    va_start(args, format);
    std::string message = qelwww::detail::FormatV(format, args);
    va_end(args);
    // Request texts reach the trace; a line feed in them must not forge a line of its own.
    for (char& c : message) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    std::string line = std::to_string(ArcOS_GetThreadId()) + ":" + std::to_string(ArcOS_GetProcessId()) +
                       " - " + message + "\n";
    // Opened for every line and written in one piece, so threads and processes can share it.
    // Only the owner may read it: it holds user names and request texts.
    ArcOS_AppendFile(config->traceFile.c_str(), line, 0600);
}
