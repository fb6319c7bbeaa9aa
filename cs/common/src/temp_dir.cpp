// The temporary directory from the environment.
#include "arc_platform.h"
#include "qel_cscommon.h"

namespace cscommon {

namespace {

std::optional<std::string> NonEmptyEnv(const char* name) {
    auto value = ArcOS_GetEnv(name);
    if (!value || value->empty()) return std::nullopt;
    return value;
}

// The ';'-separated elements of a list; empty elements do not count.
std::vector<std::string> Elements(std::string_view list) {
    std::vector<std::string> out;
    while (true) {
        size_t semicolon = list.find(';');
        std::string_view part = list.substr(0, semicolon);
        if (!part.empty()) out.emplace_back(part);
        if (semicolon == std::string_view::npos) return out;
        list.remove_prefix(semicolon + 1);
    }
}

std::string WithSlash(std::string directory) {
    if (directory.empty() || directory.back() != '/') directory += '/';
    return directory;
}

}  // namespace

std::optional<std::string> DirFromList(int element, const char* value) {
    if (element < 0) return std::nullopt;
    if (value == nullptr || *value == '\0') {
        if (element > 1) return std::nullopt;
        auto fallback = NonEmptyEnv("TEMP");
        if (!fallback) fallback = NonEmptyEnv("TMP");
        if (!fallback) fallback = NonEmptyEnv("TMPDIR");
        return WithSlash(fallback.value_or("/tmp/"));
    }
    if (element == 0) return WithSlash(value);
    auto elements = Elements(value);
    if (elements.size() < size_t(element)) return std::nullopt;
    return WithSlash(elements[size_t(element) - 1]);
}

std::optional<std::string> TempDirectory() {
    auto value = ArcOS_GetEnv("QEL_TMP");
    return DirFromList(1, value ? value->c_str() : nullptr);
}

}  // namespace cscommon
