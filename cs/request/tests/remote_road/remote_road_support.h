// Support of the remote-road tests: the loopback peer with a script of this folder's
// own, a remote handle on it through our TCP transport, and small readers of the peer's
// event log.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "arc_platform.h"
#include "peer_process.h"
#include "qel_cs.h"
#include "qel_cswire.h"

namespace remote_road {

// The peer's script: two users, a folder with one application group of five fields,
// 60 hits, and documents: "BIG" from a file (stored as one zlib stream cut into pieces
// of 32 KiB, 'O'), anything else a short text.
inline std::string ScriptText(const std::string& bigFile) {
    return R"({
  "system_parms": {"passwordExpiryDays": 90, "minPasswordLength": 6, "timeOut": 0},
  "users": [
    {"id": "ALICE", "password": "SECRET1", "number": 7, "name": "Alice Archer"},
    {"id": "ABC", "password": "ABC", "number": 10, "name": "Three Letters"}
  ],
  "folders": [
    {"number": 1, "name": "Invoices", "description": "Customer invoices",
     "fields": [{"name": "Customer", "type": "S", "number": 1}],
     "groups": [
       {"number": 5, "name": "INV", "description": "Invoice group", "storageSet": 3,
        "fields": [
          {"name": "customer", "type": "S", "number": 1},
          {"name": "amount", "type": "D", "number": 2},
          {"name": "pages", "type": "I", "number": 3},
          {"name": "count", "type": "N", "number": 4},
          {"name": "serial", "type": "B", "number": 5}
        ],
        "applications": [{"name": "INVAPP", "description": "Invoices", "applId": "I1", "number": 1}]}
     ],
     "fieldMaps": [[1]]},
    {"number": 2, "name": "Payroll", "description": "Salaries", "fields": [], "groups": []}
  ],
  "hits": 60,
  "documents": {
    "BIG": {"file": ")" +
           bigFile + R"(", "letter": "O", "piece": 32768, "location": 2, "second": 1},
    "*": {"text": "a short document\n", "letter": "N", "location": 1}
  }
})";
}

// A file of this test's scratch directory, written whole.
inline std::string WriteScratch(const std::string& name, const std::string& bytes) {
    const std::string path =
        ::testing::TempDir() + "remote-road-" + std::to_string(ArcOS_GetProcessId()) + "-" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr) << path;
    if (f != nullptr) {
        EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
        std::fclose(f);
    }
    return path;
}

// 5 MB that compress to a few MB: lines of counters mixed with pseudo-random bytes.
inline std::string BigDocument(size_t size) {
    std::string out;
    out.reserve(size);
    uint64_t x = 0x9E3779B97F4A7C15ull;
    for (size_t line = 0; out.size() < size; ++line) {
        out += "statement line " + std::to_string(line) + ": ";
        for (int i = 0; i < 24; ++i) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            out += static_cast<char>(x & 0xFF);
        }
        out += '\n';
    }
    out.resize(size);
    return out;
}

// A remote handle on the peer through the staged TCP transport.
inline void MakeHandle(CsHandle* handle, const qel_peer::PeerProcess& peer, uint32_t idleSeconds = 10) {
    std::snprintf(handle->serverName, sizeof handle->serverName, "PEER");
    handle->def.kind = CS_KIND_TCP;
    std::snprintf(handle->def.host, sizeof handle->def.host, "127.0.0.1");
    handle->def.port = peer.port();
    handle->def.idleTimeout = idleSeconds;
    handle->def.transportPath = QEL_STAGE_DIR "/lib/";
    handle->localCcsid = 1208;
}

// Logs the handle off and drops what the logon left in it.
class HandleGuard {
public:
    explicit HandleGuard(CsHandle* handle) : handle_(handle) {}
    ~HandleGuard() {
        if (handle_->logon != nullptr) CsLogoff(handle_);
        CsDropConnection(handle_);
        handle_->systemParms.reset();
    }
    HandleGuard(const HandleGuard&) = delete;
    HandleGuard& operator=(const HandleGuard&) = delete;

private:
    CsHandle* handle_;
};

using qel_peer::JsonValue;

// The values of a key over the events of one kind whose request code is `code` (any
// code when negative).
inline std::vector<std::string> EventValues(const qel_peer::PeerProcess& peer, const std::string& kind,
                                            int code, const std::string& key) {
    std::vector<std::string> values;
    for (const std::string& line : peer.Events(kind))
        if (code < 0 || JsonValue(line, "code") == std::to_string(code))
            values.push_back(JsonValue(line, key));
    return values;
}

}  // namespace remote_road
