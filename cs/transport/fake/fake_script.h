// The script that drives the fake transport (docs/transport-fake.md).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qel::transport::fake {

inline constexpr uint64_t kEndless = UINT64_MAX;
// Bound on the bytes one reply step may hold and on what a Send step may expect.
inline constexpr size_t kMaxStepBytes = 64u << 20;

struct Step {
    enum class Kind { Reply, Delay, Close, RecvFail, Hang, Send };
    enum class SendMode { Any, Length, Exact, Prefix, Short, Fail };

    Kind kind = Kind::Reply;
    SendMode sendMode = SendMode::Any;
    std::vector<unsigned char> bytes;  // Reply: one copy; Send Exact/Prefix: the bytes expected
    uint64_t count = 0;                // Reply: copies (kEndless); Delay: ms; Length/Short: bytes
    int line = 0;
};

struct ConnectionScript {
    int connectResult = 0;
    uint64_t connectDelayMs = 0;
    std::vector<Step> steps;
};

struct Script {
    int version = 5;
    std::string info;  // empty: "fake(<script file>):<port>"
    bool cancelIgnored = false;
    std::vector<ConnectionScript> connections;
};

// Parses a script; files named by reply-file are read relative to baseDirectory.
// 0, or 6 with "line N: why" in *why.
int ParseScript(std::string_view text, const std::string& baseDirectory, Script* out, std::string* why);

}  // namespace qel::transport::fake
