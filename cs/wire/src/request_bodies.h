// request_bodies.h - the per-code bodies of requests and replies (codec internals). Each
// row of qel_csrequests.def names one procedure of each namespace below; body_table.cpp
// finds them by code.
#pragma once

#include "qel_cswire.h"

namespace qel_cswire {

// The body of a request of the code (the code tells the forms of one procedure apart).
using RequestBodyProc = bool (*)(QelXdr* xdr, uint32_t code, CsRequestBody* body);
// The body of a reply of the code; the record's group types the hit rows.
using ReplyBodyProc = bool (*)(QelXdr* xdr, uint32_t code, CsReplyRecord* reply);

namespace requests {
#define CS_REQUEST(name, code, bodyOn, request, ...) bool request(QelXdr*, uint32_t, CsRequestBody*);
#include "qel_csrequests.def"
}  // namespace requests

namespace replies {
#define CS_REQUEST(name, code, bodyOn, request, reply, ...) bool reply(QelXdr*, uint32_t, CsReplyRecord*);
#include "qel_csrequests.def"
}  // namespace replies

}  // namespace qel_cswire

// The body of a request of this code; none for a code without a row.
bool CsXdrRequestBody(QelXdr* xdr, uint32_t code, CsRequestBody* body);
// The item and closing messages of 92, 97 and 104 (and the later messages of 93).
bool CsXdrHitItems(QelXdr* xdr, uint32_t code, CsReqHitItems* items);
// True when a reply of this code and result carries a body: after result 0, and after
// the further result the code's row names.
bool CsXdrReplyHasBody(uint32_t code, int32_t result);
// The body of a reply of this code; none for a code without a row.
bool CsXdrReplyBody(QelXdr* xdr, uint32_t code, CsReplyRecord* reply);
