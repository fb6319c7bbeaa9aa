// Cookie header lookup.
#include "qel_www.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

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
