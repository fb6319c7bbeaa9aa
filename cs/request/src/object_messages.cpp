// Messages for the server's log, server printing and the text search over hits: the
// requests 91, 93 and 104. Only the log message has a local service.
#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "arc_messages.h"
#include "dispatcher_detail.h"
#include "logon_detail.h"
#include "server_print_local.h"

namespace {

using cslogon::IsLocal;

// The formatted text of a System Log record: the catalogue's limit.
constexpr size_t kTextSize = 8192;

// The row's text with the inserts, as request 91 carries it.
int SendLogged(CsHandle* handle, int row, uint16_t count, const CsMsgInsert* inserts, int32_t word) {
    ArcMsgRow message;
    if (ArcMSGS_GetText(row, &message) != 0) return CS_FAILED;
    const int used = inserts != nullptr ? std::min<int>(count, CS_MSG_MAX_INSERTS) : 0;
    std::vector<const char*> args;
    for (int i = 0; i < used; ++i) args.push_back(inserts[i].Value());
    std::string text(kTextSize, '\0');
    const int length = ArcMSGS_Format(text.data(), text.size(), message.text, args.data(), used);
    text.resize(std::min<size_t>(static_cast<size_t>(std::max(length, 0)), kTextSize - 1));
    CsSystemLogRecord record;
    record.row = row;
    record.number = static_cast<uint16_t>(message.number);
    record.word = word;
    record.text = std::move(text);
    return csreq::detail::SendLogRecord(handle, record);
}

}  // namespace

int CsLogMessage(CsHandle* handle, int row, uint16_t count, const CsMsgInsert* inserts,
                 const CsObjectRef* reference, char kind, int32_t word) {
    if (handle == nullptr || row < 0 || row >= ARC_MSG_COUNT) return CS_FAILED;
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    try {
        rc = IsLocal(handle) ? CsIssueMessage(handle, row, count, inserts, reference, kind, word, 0)
                             : SendLogged(handle, row, count, inserts, word);
    } catch (const std::bad_alloc&) {
        rc = CS_NO_MEMORY;
    }
    return CsSessionLeave(handle, rc);
}

int CsServerPrint(CsHandle* handle, const CsXdrPrintRequest* print, const char* text,
                  std::span<const CsXdrTextEntry> options, CsHitItemFn items, int endByte) {
    if (handle == nullptr || print == nullptr || options.size() > UINT16_MAX) return CS_FAILED;
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    if (IsLocal(handle))
        return CsSessionLeave(handle, csreq::detail::LocalServerPrint(handle, print, text, items));
    rc = CsServerRequest(handle, CS_REQ_SERVER_PRINT, const_cast<CsXdrPrintRequest*>(print),
                         text != nullptr ? text : "", static_cast<int>(options.size()),
                         options.empty() ? nullptr : const_cast<CsXdrTextEntry*>(options.data()), items,
                         endByte);
    return CsSessionLeave(handle, rc);
}

int CsProcessHits(CsHandle* handle, CsXdrValueItem* values, CsHitItemFn items, CsEntryFn answer) {
    if (handle == nullptr) return CS_FAILED;
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    if (IsLocal(handle))
        return CsSessionLeave(handle, csreq::detail::LocalProcessHits(handle, values, items, answer));
    rc = CsServerRequest(handle, CS_REQ_PROCESS_HITS, items, values, answer);
    return CsSessionLeave(handle, rc);
}
