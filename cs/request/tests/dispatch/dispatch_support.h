// Test support for the bracket and the dispatcher: a remote handle pointed at the
// scripted fake transport, and reply frames built with the wire codec.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qel_cs.h"
#include "qel_cswire.h"

namespace dispatch_test {

// Level bits of a handle that negotiated 2207: replies carry a status word, no texts,
// and nothing is compressed.
inline constexpr uint32_t kLevel2207Flags1 = 0x10100000;

// The bytes of one reply message as a plain frame, encoded with the features of the
// flag words.
std::string ReplyHex(uint32_t number, CsReplyRecord reply, uint32_t flags1 = kLevel2207Flags1,
                     uint32_t flags2 = 0);
// A reply with a result and no body (or a body the codec writes from zeros).
std::string ResultHex(uint32_t number, uint32_t code, int32_t result, uint32_t status = 0,
                      uint32_t flags1 = kLevel2207Flags1);

// A script for the fake transport, written to a fresh file; every script is different
// (a serial comment line), so the fake starts again at its first section.
class FakeScript {
public:
    FakeScript& Line(const std::string& line) {
        text_ += line + "\n";
        return *this;
    }
    FakeScript& Reply(const std::string& hex) { return Line("reply " + hex); }
    FakeScript& SendAny() { return Line("send any"); }
    // The next message the client sends must carry this number.
    FakeScript& SendNumbered(uint32_t number);
    FakeScript& Connection() { return Line("connection"); }
    // Installs the script (QEL_FAKE_TRANSPORT_SCRIPT) and a fresh call log.
    void Install();
    // The lines of the fake's call log.
    std::vector<std::string> Log() const;
    // The bytes of every Send, in order.
    std::vector<std::vector<unsigned char>> Sends() const;

private:
    std::string text_;
    std::string log_;
};

// A remote handle on the fake transport with UTF-8 code pages.
void MakeRemoteHandle(CsHandle* handle, uint32_t flags1 = kLevel2207Flags1, uint32_t flags2 = 0);

}  // namespace dispatch_test
