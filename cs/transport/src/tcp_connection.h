// One TCP connection of the transport: the socket, its cancel gate and its time-outs.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "cancel_gate.h"
#include "qel_transport.h"
#include "server_def.h"

struct ArcCOM_Connection {
    ~ArcCOM_Connection();

    int socket = -1;
    qel::transport::CancelGate gate;
    std::string host;     // as the definition named it
    std::string address;  // numeric address connected to
    uint16_t port = 0;
    int64_t idleTimeoutMs = 0;
    ArcCOM_YieldFn yield = nullptr;
    uint32_t flags1 = 0;
    uint32_t flags2 = 0;
    std::atomic<int> lastError{ARCCOM_OK};
};

namespace qel::transport {

// Resolves the definition's host and connects to the first address that answers within
// the connect time-out. 0 with *out set, or 2, 9 or 15.
int ConnectTcp(const ServerDefinition& def, ArcCOM_YieldFn yield, std::unique_ptr<ArcCOM_Connection>* out);

// Moves exactly length bytes; returns the count moved (less on failure, with lastError set).
int SendAll(ArcCOM_Connection& connection, const unsigned char* data, int length);
int RecvAll(ArcCOM_Connection& connection, unsigned char* data, int length);

}  // namespace qel::transport
