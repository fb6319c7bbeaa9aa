// Reads outside bytes as the frames of a connection: message starts, frames of earlier
// messages, compressed runs, and the replies they carry. The first byte chooses the
// number of the message last sent (low 3 bits), the peer's side (0x08) and the features
// (bits 0x10..: shifted down by 3, so 0x1F covers all five).
#include "fuzz_setup.h"

#include <algorithm>
#include <cstring>

namespace {

struct Input {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

// The connection word is the Input itself.
int Recv(ArcCOM_Connection* connection, void* buffer, int length) {
    auto* in = reinterpret_cast<Input*>(connection);
    const size_t n = std::min<size_t>(static_cast<size_t>(length), in->size - in->pos);
    std::memcpy(buffer, in->data + in->pos, n);
    in->pos += n;
    return static_cast<int>(n);
}

int Send(ArcCOM_Connection*, const void*, int length) { return length; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || wire_fuzz::CodePages() == nullptr) return 0;
    const uint8_t control = data[0];
    Input input{data + 1, size - 1, 0};
    ArcCOM_Funcs funcs{};
    funcs.recv = Recv;
    funcs.send = Send;
    CsStream* stream = CsStreamCreate();
    if (stream == nullptr || !CsStreamSetup(stream, wire_fuzz::CodePages(), 1208, CS_WIRE_CCSID)) {
        CsStreamFree(stream);
        return 0;
    }
    CsStreamSetTransport(stream, &funcs, reinterpret_cast<ArcCOM_Connection*>(&input));
    QelXdr* xdr = CsStreamXdr(stream);
    for (int message = 0; message < 16 && !CsStreamBroken(stream); ++message) {
        CsStreamStartMessage(stream, control & 0x07);
        const bool started =
            (control & 0x08) ? CsStreamReadAnyMessage(stream) : CsStreamReadMessageStart(stream);
        if (!started) break;
        xdr->features = (control >> 3) & 0x1F;
        CsReplyRecord reply{};
        reply.group = wire_fuzz::Group();
        CsXdrResponse(xdr, &reply);
        CsFreeReplyRecord(&reply);
    }
    CsStreamFree(stream);
    return 0;
}
