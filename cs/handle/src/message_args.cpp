// The typed message front door: insert lists in letters and values.
#include "qel_cshandle.h"

#include <cinttypes>
#include <cstdio>

namespace {

// A formatted insert keeps at most 27 characters; number texts are ASCII, so any cut
// falls on a character boundary.
template <typename... Values>
void Put(CsMessageArgs* args, char type, const char* format, Values... values) {
    if (args->count >= CS_MSG_MAX_INSERTS) return;
    CsMsgInsert& slot = args->inserts[args->count++];
    slot.type = type;
    slot.text = nullptr;
    std::snprintf(slot.formatted, sizeof slot.formatted, format, values...);
}

}  // namespace

CsMessageArgs& CsMessageArgs::S(const char* value) {
    if (count < CS_MSG_MAX_INSERTS) {
        CsMsgInsert& slot = inserts[count++];
        slot.type = 'S';
        slot.text = value;
        slot.formatted[0] = '\0';
    }
    return *this;
}

CsMessageArgs& CsMessageArgs::I(int32_t value) {
    Put(this, 'I', "%" PRId32, value);
    return *this;
}

CsMessageArgs& CsMessageArgs::N(int16_t value) {
    Put(this, 'N', "%d", int(value));
    return *this;
}

CsMessageArgs& CsMessageArgs::B(int64_t value) {
    Put(this, 'B', "%" PRId64, value);
    return *this;
}

CsMessageArgs& CsMessageArgs::D(double value) {
    Put(this, 'D', "%.3f", value);
    return *this;
}

int CsMessageArgsFromList(CsMessageArgs* out, int type, va_list args) {
    if (out == nullptr) return CS_FAILED;
    *out = CsMessageArgs{};
    while (out->count < CS_MSG_MAX_INSERTS) {
        switch (type) {
            case 'V': return CS_OK;
            case 'S': out->S(va_arg(args, const char*)); break;
            case 'I': out->I(va_arg(args, int32_t)); break;
            case 'N': out->N(static_cast<int16_t>(va_arg(args, int))); break;
            case 'B': out->B(va_arg(args, int64_t)); break;
            case 'D': out->D(va_arg(args, double)); break;
            default: return CS_FAILED;
        }
        // The ninth insert ends the list; no 'V' is read after it.
        if (out->count == CS_MSG_MAX_INSERTS) break;
        type = va_arg(args, int);
    }
    return CS_OK;
}

int CsFormatMessageArgs(CsHandle* handle, int row, const CsObjectRef* reference, char kind, int32_t word,
                        int firstType, va_list args) {
    CsMessageArgs list;
    if (CsMessageArgsFromList(&list, firstType, args) != CS_OK) return CS_FAILED;
    return CsIssueMessage(handle, row, list.count, list.inserts, reference, kind, word, 0);
}

int CsIssueMessageV(CsHandle* handle, int row, int firstType, ...) {
    va_list args;
    va_start(args, firstType);
    int rc = CsFormatMessageArgs(handle, row, nullptr, 0, 0, firstType, args);
    va_end(args);
    return rc;
}

int CsIssueMessageEx(CsHandle* handle, int row, const CsObjectRef* reference, char kind, int32_t word,
                     int firstType, ...) {
    va_list args;
    va_start(args, firstType);
    int rc = CsFormatMessageArgs(handle, row, reference, kind, word, firstType, args);
    va_end(args);
    return rc;
}

int CsIssueMessageArgs(CsHandle* handle, int row, const CsMessageArgs& args) {
    return CsIssueMessage(handle, row, args.count, args.inserts, nullptr, 0, 0, 0);
}

int CsIssueMessageArgs(CsHandle* handle, int row, const CsMessageArgs& args, char kind,
                       const CsMessageData& data) {
    return CsIssueMessage(handle, row, args.count, args.inserts, nullptr, kind, 0, &data, 0);
}

std::string CsReadMessageData(const CsMessageData& data) {
    std::string whole;
    for (;;) {
        const unsigned char* piece = nullptr;
        size_t length = 0;
        data(&piece, &length);
        if (piece == nullptr || length == 0) return whole;
        whole.append(reinterpret_cast<const char*>(piece), length);
    }
}
