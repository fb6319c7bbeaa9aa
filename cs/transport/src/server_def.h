// The part of a server definition text that a transport needs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qel::transport {

inline constexpr size_t kMaxHostLength = 255;

struct ServerDefinition {
    std::string host;  // as written (brackets of an IPv6 literal removed)
    uint16_t port = 0;
    int kind = 2;  // 2 ('T') or 4 ('S'); both are TCP here
    int connectTimeoutSeconds = 30;
    int idleTimeoutSeconds = 300;
};

// Reads "KEY=value" lines (docs/transport.md). 0, or 2 with a reason in *why.
int ParseServerDefinition(std::string_view text, ServerDefinition* out, std::string* why);

}  // namespace qel::transport
