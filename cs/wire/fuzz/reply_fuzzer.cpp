// Decodes outside bytes as a reply (or, for the peer's side, a request). The first byte
// chooses the feature bits (low 5 bits), a group context (0x20) and a request (0x40).
// Whatever decodes must encode again.
#include "fuzz_setup.h"

#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || wire_fuzz::CodePages() == nullptr) return 0;
    const uint8_t control = data[0];
    QelXdrBuffer in(QELXDR_DECODE, std::span(data + 1, size - 1));
    QelXdrBuffer out(QELXDR_ENCODE);
    for (QelXdr* x : {in.Xdr(), out.Xdr()}) {
        if (!QelXdr_InitCodePages(x, wire_fuzz::CodePages(), 1208, CS_WIRE_CCSID)) return 0;
        x->features = control & 0x1F;
        x->group = (control & 0x20) ? wire_fuzz::Group() : nullptr;
    }
    if (control & 0x40) {
        CsRequestRecord request{};
        if (CsXdrRequest(in.Xdr(), &request) && !CsXdrRequest(out.Xdr(), &request)) std::abort();
        CsFreeRequestRecord(&request);
    } else {
        CsReplyRecord reply{};
        reply.group = in.Xdr()->group;
        if (CsXdrResponse(in.Xdr(), &reply) && !CsXdrResponse(out.Xdr(), &reply)) std::abort();
        CsFreeReplyRecord(&reply);
    }
    return 0;
}
