#include "dispatch_support.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "arc_platform.h"
#include "wire_test_support.h"

namespace dispatch_test {

std::string ReplyHex(uint32_t number, CsReplyRecord reply, uint32_t flags1, uint32_t flags2) {
    QelXdrBuffer buffer(QELXDR_ENCODE);
    wire_test::OpenCodePages(buffer.Xdr());
    buffer.Xdr()->features = CsXdrFeatures(flags1, flags2);
    EXPECT_TRUE(CsXdrResponse(buffer.Xdr(), &reply)) << "reply of code " << reply.code;
    return wire_test::Hex(wire_test::PlainFrame(number, buffer.Bytes()));
}

std::string ResultHex(uint32_t number, uint32_t code, int32_t result, uint32_t status, uint32_t flags1) {
    CsReplyRecord reply{};
    reply.result = result;
    reply.code = code;
    reply.status = status;
    return ReplyHex(number, reply, flags1);
}

FakeScript& FakeScript::SendNumbered(uint32_t number) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", number);
    return Line(std::string("send prefix ") + hex);
}

void FakeScript::Install() {
    static int serial = 0;
    std::string base =
        ::testing::TempDir() + "dispatch-" + std::to_string(getpid()) + "-" + std::to_string(++serial);
    std::string path = base + ".script";
    log_ = base + ".log";
    std::ofstream(path) << "# script " << serial << "\n" << text_;
    std::remove(log_.c_str());
    ArcOS_PutEnv(("QEL_FAKE_TRANSPORT_SCRIPT=" + path).c_str());
    ArcOS_PutEnv(("QEL_FAKE_TRANSPORT_LOG=" + log_).c_str());
}

std::vector<std::string> FakeScript::Log() const {
    std::ifstream in(log_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::vector<unsigned char>> FakeScript::Sends() const {
    std::vector<std::vector<unsigned char>> sends;
    for (const std::string& line : Log()) {
        std::istringstream words(line);
        std::string kind, asked, moved, result, hex;
        words >> kind >> asked >> moved >> result >> hex;
        if (kind == "send") sends.push_back(wire_test::FromHex(hex));
    }
    return sends;
}

void MakeRemoteHandle(CsHandle* handle, uint32_t flags1, uint32_t flags2) {
    std::snprintf(handle->serverName, sizeof handle->serverName, "REMOTE");
    handle->def.kind = CS_KIND_TCP;
    std::snprintf(handle->def.host, sizeof handle->def.host, "peer.example");
    handle->def.port = 1445;
    handle->def.idleTimeout = 2;
    handle->def.transportPath = QEL_FAKE_TRANSPORT_DIR;
    handle->def.flags1 = flags1;
    handle->def.flags2 = flags2;
    handle->iconv = wire_test::CodePages();
    handle->localCcsid = 1208;
}

}  // namespace dispatch_test
