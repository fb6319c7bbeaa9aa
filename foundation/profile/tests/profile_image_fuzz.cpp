// Fuzzes the image reader and editor: the input's first line picks section, key and
// value (split at '|'), the rest is the image. Every lookup must stay inside its buffer
// and every accepted edit must read back.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "arc_profile.h"

namespace {

std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t bar = line.find('|'); bar != std::string::npos; bar = line.find('|', start)) {
        fields.push_back(line.substr(start, bar - start));
        start = bar + 1;
    }
    fields.push_back(line.substr(start));
    fields.resize(3);
    return fields;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

// No blanks at the ends and no enclosing pair of quotes.
bool Plain(const char* text) {
    const std::string t = text;
    if (t.empty()) {
        return true;
    }
    const bool quoted = t.size() >= 2 && (t[0] == '"' || t[0] == '\'') && t.back() == t[0];
    return !IsBlank(t.front()) && !IsBlank(t.back()) && !quoted;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t lf = input.find('\n');
    const std::string head = input.substr(0, lf == std::string::npos ? input.size() : lf);
    std::string body = lf == std::string::npos ? std::string() : input.substr(lf + 1);
    body = body.c_str();  // an image ends at its first zero byte
    const std::vector<std::string> f = SplitFields(std::string(head.c_str()));
    const char* section = f[0].c_str();
    const char* key = f[1].empty() ? nullptr : f[1].c_str();
    const char* value = f[2].empty() ? nullptr : f[2].c_str();

    char small[8];
    ArcPROF_GetFromImage(section, key, "d", small, sizeof small, body.c_str());
    std::vector<ArcPROFEntry> entries;
    ArcPROF_ListSection(section, body.c_str(), &entries);

    char* image = static_cast<char*>(std::malloc(body.size() + 1));
    std::memcpy(image, body.c_str(), body.size() + 1);
    const int rc = ArcPROF_SetInImage(section, key, value, &image);
    if (rc == 0 && key != nullptr && value != nullptr && Plain(key) && Plain(value) &&
        std::strlen(key) + 1 + std::strlen(value) <= ARCPROF_MAX_LINE) {
        // A value the reader gives back as it stands must be found as written.
        std::vector<char> buffer(std::strlen(value) + 8);
        const size_t n = ArcPROF_GetFromImage(section, key, nullptr, buffer.data(), buffer.size(), image);
        if (std::string(buffer.data(), n) != value) {
            std::abort();
        }
    }
    std::free(image);
    return 0;
}
