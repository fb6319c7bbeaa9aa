// Internal: the request text of one CGI run, from the environment and standard input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "qel_www.h"

namespace qelwww::detail {

// Longest POST body the program reads; a longer one is refused, never cut.
inline constexpr uint64_t kMaxRequestBody = 8u * 1024u * 1024u;

struct CgiRequestText {
    std::string text;                  // the query string or the POST body
    int message = 0;                   // 0 read; else the catalogue index of the error
    std::vector<std::string> inserts;  // of that message
};

// REQUEST_METHOD, CONTENT_LENGTH and QUERY_STRING as the environment holds them (nothing
// when unset); body is read for a POST. A missing or unknown method, a missing query
// string, a length that is not a decimal number or above kMaxRequestBody, and a body shorter
// than its length give message 490; no memory for the body gives 217. A zero byte of the body
// comes back as "%00".
CgiRequestText ReadCgiRequest(const QelWWWConfig* config, const std::optional<std::string>& method,
                              const std::optional<std::string>& contentLength,
                              const std::optional<std::string>& queryString, std::FILE* body);

}  // namespace qelwww::detail
