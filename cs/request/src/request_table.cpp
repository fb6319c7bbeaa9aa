// The dispatcher's columns of the request table (qel_csrequests.def): by code, the
// argument reader, the windows, whether the request may travel compressed, how its
// reply entries are freed and the older codes a server below some level gets.
#include <array>
#include <cstdlib>

#include "dispatcher_detail.h"

namespace csreq::detail {
namespace {

// The codec keeps reply bodies after the same results (body-on column).
static_assert(int{CS_WIRE_OK} == int{CS_OK} && int{CS_WIRE_PASSWORD_EXPIRED} == int{CS_PASSWORD_EXPIRED} &&
              int{CS_WIRE_NOT_AUTHORISED} == int{CS_NOT_AUTHORISED});

// The free column: how an entry that a request of the code handed out is freed.
namespace frees {

using Free = void (*)(void* entry);

// A plain allocation.
void None(void* entry) { std::free(entry); }

template <QelXdrProc proc>
void Record(void* entry) {
    QelXdr_Free(proc, entry);
    std::free(entry);
}

constexpr Free UserEntry = Record<CsXdr_UserEntry>;
constexpr Free Folder = Record<CsXdr_Folder>;
constexpr Free StorageSet = Record<CsXdr_StorageSet>;
constexpr Free NodeInfo = Record<CsXdr_NodeInfo>;
constexpr Free Note = Record<CsXdr_Note>;
constexpr Free NamedQuery = Record<CsXdr_NamedQuery>;
constexpr Free Segment = Record<CsXdr_Segment>;
constexpr Free Printer = Record<CsXdr_Printer>;
constexpr Free SystemParms = Record<CsXdr_SystemParms>;

// A value list: its first item is the entry; the list frees every item.
void ValueList(void* entry) {
    auto* list = static_cast<CsXdrValueItem*>(entry);
    QelXdr xdr{};
    xdr.op = QELXDR_FREE;
    CsXdr_ValueList(&xdr, &list);
}

}  // namespace frees

// The flag bits of the protocol levels that know a newer form of some request
// (level_negotiation.cpp sets them).
struct LevelBits {
    uint32_t flags1;
    uint32_t flags2;
};
constexpr LevelBits kLevel2114{CS_F1_LEVEL_2114, 0};
constexpr LevelBits kLevel22014{0, 0x004};
constexpr LevelBits kLevel2219{0, 0x100};

constexpr LevelStep Below(LevelBits level, int older) { return LevelStep{level.flags1, level.flags2, older}; }

// Codes without a row are not sent and have nothing to free but the allocation.
constexpr RequestRow kUnnamed{ReadNone, CS_OK, 0, 0, 0, frees::None, {}};

using RequestTable = std::array<RequestRow, CS_CODE_MAX + 1>;

// A code above CS_CODE_MAX or named twice stops the build here.
consteval RequestTable MakeTable() {
    RequestTable table{};
    std::array<bool, CS_CODE_MAX + 1> named{};
    table.fill(kUnnamed);
    auto add = [&](int code, const RequestRow& row) {
        if (code < 0 || code > static_cast<int>(CS_CODE_MAX) || named[code]) throw "bad request row";
        named[code] = true;
        table[code] = row;
    };
#define ANY_LEVEL \
    {}
#define BELOW(level, older) \
    { Below(kLevel##level, CS_REQ_##older) }
#define BELOW2(level1, older1, level2, older2) \
    { Below(kLevel##level1, CS_REQ_##older1), Below(kLevel##level2, CS_REQ_##older2) }
#define UNCOMPRESSED kUncompressed
#define CS_REQUEST(name, code, bodyOn, request, reply, reader, ack, send, compressed, free, level) \
    add(code, RequestRow{Read##reader, CS_##bodyOn, ack, send, compressed, frees::free, level});
#include "qel_csrequests.def"
#undef ANY_LEVEL
#undef BELOW
#undef BELOW2
#undef UNCOMPRESSED
    return table;
}

constexpr RequestTable kRequests = MakeTable();

}  // namespace

int ReadNone(int, va_list&, ArgsPtr*) { return CS_FAILED; }

const RequestRow& FindRequest(int code) {
    if (code < 0 || code > static_cast<int>(CS_CODE_MAX)) return kUnnamed;
    return kRequests[static_cast<size_t>(code)];
}

uint32_t SentCode(int code, uint32_t flags1, uint32_t flags2) {
    for (const LevelStep& step : FindRequest(code).levels) {
        if ((flags1 & step.flags1) != step.flags1 || (flags2 & step.flags2) != step.flags2)
            return static_cast<uint32_t>(step.older);
    }
    return static_cast<uint32_t>(code);
}

ArgsPtr ReadArguments(int code, va_list args, int* rc) {
    va_list a;
    va_copy(a, args);
    ArgsPtr out;
    *rc = FindRequest(code).read(code, a, &out);
    va_end(a);
    return out;
}

}  // namespace csreq::detail

void CsFreeReplyEntry(int code, void* entry) {
    if (entry == nullptr) return;
    csreq::detail::FindRequest(code).freeEntry(entry);
}
