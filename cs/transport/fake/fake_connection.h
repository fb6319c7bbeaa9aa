// One scripted connection of the fake transport.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "cancel_gate.h"
#include "fake_script.h"
#include "qel_transport.h"

struct ArcCOM_Connection {
    qel::transport::CancelGate gate;
    std::vector<qel::transport::fake::Step> steps;
    size_t cursor = 0;
    std::vector<unsigned char> queue;  // bytes the peer has sent and the client not yet read
    size_t queueRead = 0;
    int64_t idleTimeoutMs = 0;
    ArcCOM_YieldFn yield = nullptr;
    bool cancelIgnored = false;
    std::string hostText;
    std::string logPath;  // empty: no call log
    std::atomic<int> lastError{ARCCOM_OK};
};

namespace qel::transport::fake {

// Play the script for one Send or Recv; results as ArcCOM_Send/ArcCOM_Recv.
int ScriptedSend(ArcCOM_Connection& c, const unsigned char* data, int length);
int ScriptedRecv(ArcCOM_Connection& c, unsigned char* data, int length);

// Appends one line to the call log when there is one.
void LogCall(const std::string& logPath, const std::string& line);

}  // namespace qel::transport::fake
