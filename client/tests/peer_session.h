// peer_session.h - the library started as the gateway starts it and a session of ALICE
// on the loopback peer, run with the script the test names.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "client_test_support.h"
#include "peer_process.h"
#include "qel_client.h"

namespace clienttest {

class PeerSessionTest : public GatewayStarted {
protected:
    explicit PeerSessionTest(const std::string& script) : peer_(script) {}
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(Start());
        ASSERT_NE(peer_.port(), 0);
        ClientStatus status;
        Session_Logon(&status, "PEER", "127.0.0.1", "ALICE", "SECRET1", 'T', peer_.port(), nullptr,
                      &session_);
        ASSERT_NE(session_, nullptr) << status.code;
    }
    void TearDown() override {
        if (session_ != nullptr) Session_Logoff(session_, 0);
        GatewayStarted::TearDown();
    }

    qel_peer::PeerProcess peer_;
    ClientSession* session_ = nullptr;
};

}  // namespace clienttest
