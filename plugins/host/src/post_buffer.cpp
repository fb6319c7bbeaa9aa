#include "post_buffer.h"

#include <cctype>

#include "options.h"

namespace {

bool IsTokenChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.';
}

bool NameIs(const std::string& name, std::string_view wanted) {
    if (name.size() != wanted.size()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(name[i])) != wanted[i]) return false;
    }
    return true;
}

}  // namespace

bool ParsePostBuffer(std::string_view buffer, PostBody* post, std::string* error) {
    *post = PostBody();
    size_t pos = 0;
    long contentLength = -1;
    while (true) {
        size_t end = buffer.find('\n', pos);
        if (end == std::string_view::npos) {
            *error = "post data has no empty line after its headers";
            return false;
        }
        std::string_view line = buffer.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) break;
        size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) {
            *error = "post header line without a name: \"" + std::string(line) + "\"";
            return false;
        }
        std::string name(line.substr(0, colon));
        for (char c : name) {
            if (!IsTokenChar(c)) {
                *error = "post header name with a bad character: \"" + name + "\"";
                return false;
            }
        }
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
        for (char c : value) {
            if (c == '\r' || c == '\n' || c == '\0') {
                *error = "post header " + name + " has a line break inside its value";
                return false;
            }
        }
        if (NameIs(name, "content-length")) {
            if (!ParseBoundedInt(std::string(value), 0, 0x7FFFFFFF, &contentLength)) {
                *error = "post Content-Length is not a number: \"" + std::string(value) + "\"";
                return false;
            }
            continue;
        }
        post->headers.emplace_back(name, std::string(value));
    }
    std::string_view body = buffer.substr(pos);
    if (contentLength >= 0) {
        if (static_cast<size_t>(contentLength) > body.size()) {
            *error = "post Content-Length " + std::to_string(contentLength) + " exceeds the " +
                     std::to_string(body.size()) + " bytes given";
            return false;
        }
        body = body.substr(0, static_cast<size_t>(contentLength));
    }
    post->body = std::string(body);
    return true;
}
