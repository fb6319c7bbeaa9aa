// records_top.cpp - the request and reply records: header, then the body of the code.
#include "qel_cswire.h"
#include "request_bodies.h"
#include "xdr_detail.h"

#include <cstring>

using namespace qel_cswire::detail;

bool CsXdrRequest(QelXdr* xdr, CsRequestRecord* r) {
    if (Decoding(xdr)) std::memset(r, 0, sizeof *r);
    if (!Optional(xdr, &r->handle, CsXdr_HandlePart)) return false;
    if (r->handle != nullptr && !Freeing(xdr)) {
        if ((r->handle->flags1 & 0x40000000u) && !QelXdr_UInt(xdr, &r->handle->flags2)) return false;
        xdr->features = CsXdrFeatures(r->handle->flags1, r->handle->flags2);
    }
    if (!QelXdr_UInt(xdr, &r->code) || !QelXdr_UInt(xdr, &r->sendWindow) ||
        !QelXdr_UInt(xdr, &r->replyWindow))
        return false;
    if (r->code > CS_CODE_MAX) return false;
    if ((xdr->features & CS_FEATURE_RESERVED_WORD) && !QelXdr_Int(xdr, &r->reserved)) return false;
    if (!QelXdr_String(xdr, &r->text, CS_XDR_LIST_TEXT_MAX)) return false;
    if ((xdr->features & CS_FEATURE_SESSION) && !QelXdr_Opaque(xdr, r->sessionBlock, sizeof r->sessionBlock))
        return false;
    return CsXdrRequestBody(xdr, r->code, &r->body);
}

bool CsXdrResponse(QelXdr* xdr, CsReplyRecord* r) {
    if (Decoding(xdr)) {
        const CsXdrApplGroup* group = r->group;
        std::memset(r, 0, sizeof *r);
        r->group = group;
    }
    if (!QelXdr_Int(xdr, &r->result) || !QelXdr_UInt(xdr, &r->code)) return false;
    if ((xdr->features & CS_FEATURE_RESERVED_WORD) && !QelXdr_UInt(xdr, &r->status)) return false;
    if ((xdr->features & CS_FEATURE_TEXTS) &&
        (!QelXdr_String(xdr, &r->text, CS_XDR_LIST_TEXT_MAX) || !Field(xdr, r->message)))
        return false;
    if (Freeing(xdr)) QelXdr_String(xdr, &r->text, 0);
    if (r->code > CS_CODE_MAX) return false;
    return !CsXdrReplyHasBody(r->code, r->result) || CsXdrReplyBody(xdr, r->code, r);
}

void CsFreeRequestRecord(CsRequestRecord* request) {
    QelXdr xdr{};
    xdr.op = QELXDR_FREE;
    CsXdrRequest(&xdr, request);
}

void CsFreeReplyRecord(CsReplyRecord* reply) {
    QelXdr xdr{};
    xdr.op = QELXDR_FREE;
    CsXdrResponse(&xdr, reply);
}
