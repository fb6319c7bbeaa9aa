// body_table.cpp - the codec's columns of the request table: by code, the request and
// reply bodies and the further result after which a reply keeps its body.
#include <array>

#include "request_bodies.h"

namespace {

using namespace qel_cswire;

struct BodyRow {
    bool named = false;
    int32_t bodyOn = CS_WIRE_OK;
    RequestBodyProc request = requests::None;
    ReplyBodyProc reply = replies::None;
};

using BodyTable = std::array<BodyRow, CS_CODE_MAX + 1>;

// A code above CS_CODE_MAX or named twice stops the build here.
consteval BodyTable MakeTable() {
    BodyTable table{};
    auto add = [&table](int code, BodyRow row) {
        if (code < 0 || code > static_cast<int>(CS_CODE_MAX) || table[code].named) throw "bad request row";
        table[code] = row;
    };
#define CS_REQUEST(name, code, bodyOn, request, reply, ...) \
    add(code, BodyRow{true, CS_WIRE_##bodyOn, requests::request, replies::reply});
#include "qel_csrequests.def"
    return table;
}

constexpr BodyTable kBodies = MakeTable();

// Codes outside the table have no body either way.
const BodyRow& Find(uint32_t code) {
    static constexpr BodyRow kNone{};
    return code <= CS_CODE_MAX ? kBodies[code] : kNone;
}

}  // namespace

bool CsXdrRequestBody(QelXdr* xdr, uint32_t code, CsRequestBody* body) {
    return Find(code).request(xdr, code, body);
}

bool CsXdrReplyHasBody(uint32_t code, int32_t result) {
    return result == CS_WIRE_OK || result == Find(code).bodyOn;
}

bool CsXdrReplyBody(QelXdr* xdr, uint32_t code, CsReplyRecord* reply) {
    return Find(code).reply(xdr, code, reply);
}
