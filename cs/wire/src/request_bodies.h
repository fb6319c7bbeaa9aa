// request_bodies.h - the per-code bodies of requests and replies (codec internals).
#pragma once

#include "qel_cswire.h"

// The body of a request of this code.
bool CsXdrRequestBody(QelXdr* xdr, uint32_t code, CsRequestBody* body);
// The item and closing messages of 92, 97 and 104 (and the later messages of 93).
bool CsXdrHitItems(QelXdr* xdr, uint32_t code, CsReqHitItems* items);
// The body of a reply of this code.
bool CsXdrReplyBody(QelXdr* xdr, uint32_t code, CsReplyRecord* reply);
