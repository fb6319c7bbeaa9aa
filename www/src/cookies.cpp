// Cookie header lookup and the password-free copy of it for the trace.
#include "qel_www.h"

#include <array>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A pair starts at the text's start or after one of these; "_p" must not hit "_pt".
bool IsPairStart(std::string_view text, size_t at) {
    if (at == 0) return true;
    char before = text[at - 1];
    return before == '&' || before == ';' || before == '=' || before == '?' || IsBlank(before);
}

}  // namespace

std::optional<std::string> QelWWW_GetCookie(const char* header, const char* name) {
    if (header == nullptr || name == nullptr || *name == '\0') return std::nullopt;
    std::string_view text(header);
    std::string_view wanted(name);
    size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && IsBlank(text[at])) ++at;
        size_t end = text.find(';', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view cookie = text.substr(at, end - at);
        // Names match whole: "XZEIQS" is another cookie, not ZEIQS.
        if (cookie.size() > wanted.size() && cookie.compare(0, wanted.size(), wanted) == 0 &&
            cookie[wanted.size()] == '=') {
            std::string_view value = cookie.substr(wanted.size() + 1);
            if (value.empty()) return std::nullopt;
            return std::string(value);
        }
        at = end + 1;
    }
    return std::nullopt;
}

std::string QelWWW_BlankPasswords(std::string_view cookieHeader) {
    static constexpr std::array<std::string_view, 4> kSecrets = {
        "_password=", "_p=", "_new_password=", "_np="};
    std::string copy(cookieHeader);
    for (size_t at = 0; at < copy.size(); ++at) {
        if (!IsPairStart(copy, at)) continue;
        for (std::string_view secret : kSecrets) {
            if (copy.compare(at, secret.size(), secret) != 0) continue;
            size_t value = at + secret.size();
            while (value < copy.size() && copy[value] != '&' && copy[value] != ';') copy[value++] = ' ';
            at = value - 1;
            break;
        }
    }
    return copy;
}
