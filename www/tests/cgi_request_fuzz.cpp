// The CGI request reader with any method, length text and body.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cgi_request.h"

// Byte 0 picks the method; then the CONTENT_LENGTH text up to a 0xFF byte; the rest is the
// body (and the query string).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const char* const kMethods[] = {"GET", "POST", nullptr, "PUT"};
    const char* method = kMethods[data[0] % 4];
    std::string length;
    size_t at = 1;
    while (at < size && data[at] != 0xFF) length += static_cast<char>(data[at++]);
    if (at < size) ++at;
    std::string body(reinterpret_cast<const char*>(data + at), size - at);
    std::FILE* stream = fmemopen(body.empty() ? nullptr : body.data(), body.size(), "r");
    if (stream == nullptr) stream = std::fopen("/dev/null", "r");
    auto optional = [](const char* text) { return text ? std::optional<std::string>(text) : std::nullopt; };
    auto got = qelwww::detail::ReadCgiRequest(nullptr, optional(method), length, body, stream);
    std::fclose(stream);
    if (got.message == 0 && method != nullptr && std::string(method) == "POST") {
        // A POST text is exactly as long as its length said (each zero byte read as "%00"),
        // never past the limit, and holds no zero byte.
        size_t read = std::strtoull(length.c_str(), nullptr, 10);
        if (read > qelwww::detail::kMaxRequestBody || read > body.size()) std::abort();
        size_t zeros = std::count(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(read), '\0');
        if (got.text.size() != read + 2 * zeros) std::abort();
        if (got.text.find('\0') != std::string::npos) std::abort();
    }
    return 0;
}
