// post_buffer.h - the buffer a plug-in hands to PostURL: header lines
// ("Content-Type: ...\nContent-Length: N\n"), an empty line, then the body.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct PostBody {
    std::vector<std::pair<std::string, std::string>> headers;  // without Content-Length
    std::string body;
};

// false with a message for a buffer without a header block, a malformed header line,
// a CR or LF inside a header value, or a Content-Length that is no number or exceeds
// the bytes after the headers. A Content-Length shorter than the rest cuts the body.
bool ParsePostBuffer(std::string_view buffer, PostBody* post, std::string* error);
