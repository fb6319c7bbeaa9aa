// Starts the loopback archive peer (peer.py, docs/peer.md) for a test and stops it.
//
// The peer runs as a child process whose standard input is a pipe held here: closing
// it (the destructor) ends the peer, and so does the end of a crashed test process.
#pragma once

#include "arc_platform.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace qel_peer {

// A script of testdata/peer.
inline std::string Script(const std::string& name) { return std::string(QEL_PEER_TESTDATA) + "/" + name; }

class PeerProcess {
public:
    // Starts the peer with --script (when not empty) and the further arguments; port()
    // is 0 when it did not come up within 15 seconds or refused its script.
    explicit PeerProcess(const std::string& script, const std::vector<std::string>& args = {}) {
        const std::string dir = ArcOS_GetEnv("TMPDIR").value_or("/tmp");
        portFile_ = TakeName(dir, "qelpeer-port-");
        logFile_ = TakeName(dir, "qelpeer-log-");
        std::vector<std::string> argv = {QEL_PEER_PYTHON, QEL_PEER_SCRIPT, "--until-stdin-closes",
                                         "--port-file",   portFile_,       "--log",
                                         logFile_};
        if (!script.empty()) {
            argv.push_back("--script");
            argv.push_back(script);
        }
        argv.insert(argv.end(), args.begin(), args.end());
        if (portFile_.empty() || logFile_.empty() || ArcOS_PipeOpen(argv, "w", &pipe_) != 0) return;
        started_ = true;
        const int64_t deadline = ArcOS_MonotonicMs() + 15000;
        while (ArcOS_MonotonicMs() < deadline) {
            std::string text;
            if (ArcOS_ReadFile(portFile_.c_str(), &text) == 0 && !text.empty() && text.back() == '\n') {
                const long value = std::strtol(text.c_str(), nullptr, 10);
                port_ = value > 0 && value < 65536 ? static_cast<uint16_t>(value) : 0;
                return;
            }
            ArcOS_SleepMs(10);
        }
    }
    ~PeerProcess() {
        Stop();
        if (!portFile_.empty()) ArcOS_Unlink(portFile_.c_str());
        if (!logFile_.empty()) ArcOS_Unlink(logFile_.c_str());
    }
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    uint16_t port() const { return port_; }
    // "HOST=127.0.0.1\nPORT=<port>\n": the server definition keys of the transport.
    std::string Definition() const { return "HOST=127.0.0.1\nPORT=" + std::to_string(port_) + "\n"; }
    // Closes the peer's standard input and waits for it; its exit status, or -1.
    int Stop() {
        if (!started_) return -1;
        started_ = false;
        return ArcOS_PipeClose(&pipe_);
    }
    // The event log lines (JSON, keys sorted) that contain `"event": "<kind>"` (all
    // lines for an empty kind).
    std::vector<std::string> Events(const std::string& kind = "") const {
        std::string text;
        std::vector<std::string> lines;
        if (ArcOS_ReadFile(logFile_.c_str(), &text) != 0) return lines;
        const std::string needle = "\"event\": \"" + kind + "\"";
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(start, end - start);
            if (kind.empty() || line.find(needle) != std::string::npos) lines.push_back(line);
            start = end + 1;
        }
        return lines;
    }

private:
    static std::string TakeName(const std::string& dir, const char* prefix) {
        char* name = ArcOS_TempName(dir.c_str(), prefix);
        if (name == nullptr) return {};
        std::string out = name;
        std::free(name);
        return out;
    }

    ArcOSPipe pipe_;
    bool started_ = false;
    uint16_t port_ = 0;
    std::string portFile_;
    std::string logFile_;
};

// The value of a key in one event line (JSON, keys sorted, ", " between), as written:
// strings keep their quotes; "" when the key is missing.
inline std::string JsonValue(const std::string& line, const std::string& key) {
    const std::string needle = "\"" + key + "\": ";
    size_t at = line.find(needle);
    if (at == std::string::npos) return "";
    at += needle.size();
    size_t end = at;
    int depth = 0;
    bool quoted = false;
    for (; end < line.size(); ++end) {
        const char ch = line[end];
        if (ch == '"' && (end == at || line[end - 1] != '\\')) quoted = !quoted;
        if (quoted) continue;
        if (ch == '{' || ch == '[') ++depth;
        if (ch == '}' || ch == ']') {
            if (depth == 0) break;
            --depth;
        }
        if (ch == ',' && depth == 0) break;
    }
    return line.substr(at, end - at);
}

}  // namespace qel_peer
