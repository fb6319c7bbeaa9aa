// Where statuses point: the session's area, or a per-thread one.
#include "status_area.h"

#include <cstdint>

namespace qelclient {
namespace {

thread_local ClientStatusArea threadArea;

int64_t NumberOf(const ClientInsert& insert) {
    switch (insert.kind) {
        case CLIENT_INSERT_PARM16: return *static_cast<const uint16_t*>(insert.value);
        case CLIENT_INSERT_INT32: return *static_cast<const int32_t*>(insert.value);
        case CLIENT_INSERT_INT64: return *static_cast<const int64_t*>(insert.value);
        default: return insert.number;
    }
}

}  // namespace

ClientStatusArea& AreaOf(ClientSession* session) { return session ? session->status : threadArea; }

void ClearInserts(ClientStatusArea& area) {
    for (ClientInsert& insert : area.inserts) insert = ClientInsert{};
}

void SetStatus(ClientStatus* status, ClientStatusArea& area, int severity, int code,
               const char* serverMessage) {
    status->severity = severity;
    status->code = code;
    status->inserts = area.inserts;
    status->reserved = 0;
    status->serverMessage = (serverMessage && *serverMessage) ? serverMessage : nullptr;
}

void DetachStatus(ClientStatus* status, const ClientSession& session) {
    ClientStatusArea& area = threadArea;
    // Copy first: the session's texts stay valid until the record is freed.
    for (int i = 0; i < CLIENT_MAX_INSERTS; ++i) {
        const ClientInsert& from = session.status.inserts[i];
        ClientInsert& to = area.inserts[i];
        if (from.value == nullptr && from.kind != CLIENT_INSERT_NUMBER) {
            to = ClientInsert{};
        } else if (from.kind == CLIENT_INSERT_TEXT) {
            area.texts[i] = static_cast<const char*>(from.value);
            to = ClientInsert{area.texts[i].c_str(), 0, CLIENT_INSERT_TEXT};
        } else {
            // Numbers that point into the session become plain values.
            to = ClientInsert{nullptr, NumberOf(from), CLIENT_INSERT_NUMBER};
        }
    }
    const bool hasServerText = status->serverMessage != nullptr;
    if (hasServerText) area.serverText = status->serverMessage;
    status->inserts = area.inserts;
    status->serverMessage = hasServerText ? area.serverText.c_str() : nullptr;
}

}  // namespace qelclient
