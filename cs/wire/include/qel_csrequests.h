// qel_csrequests.h - the request codes by name. What each code means to the codec and to
// the dispatcher is one row of qel_csrequests.def; docs/dispatcher.md ("The request
// table") says how the layers read it.
#pragma once

#include <cstdint>

// A request code (also the reply code that answers it). Codes without a name carry no
// body either way and are not sent by the dispatcher.
enum CsRequestCode : int {
#define CS_REQUEST(name, code, ...) CS_REQ_##name = code,
#include "qel_csrequests.def"
};

// The last request code; a record of a higher code fails.
inline constexpr uint32_t CS_CODE_MAX = 121;

// The server results the reply record depends on: a reply carries the body of its code
// after OK, and after the one further result its row names (docs/wire.md, reply record).
enum CsWireResult : int32_t {
    CS_WIRE_OK = 0,
    CS_WIRE_PASSWORD_EXPIRED = 12,  // logon: the logon is complete
    CS_WIRE_NOT_AUTHORISED = 13,    // change password: the reason word tells why
};
