// Client results as error replies.
#include "qel_www.h"

#include <vector>

#include "qel_client.h"

int QelWWW_StatusMessage(int code) {
    struct Range {
        int first, last, message;  // codes first..last map to message, message + 1, ...
    };
    static constexpr Range kTable[] = {
        {1, 7, 403},   {8, 8, 483},   {9, 9, 410},   {10, 18, 411}, {21, 29, 420}, {30, 30, 480},
        {31, 32, 429}, {33, 34, 481}, {35, 49, 431}, {50, 50, 484}, {51, 84, 446},
    };
    for (const Range& r : kTable) {
        if (code >= r.first && code <= r.last) return r.message + (code - r.first);
    }
    return QELWWW_MSG_UNKNOWN_STATUS;
}

void QelWWW_ReportStatus(const QelWWWConfig* config, QelWWWSession* session, const ClientStatus* status) {
    if (status == nullptr) return;
    if (status->serverMessage != nullptr && *status->serverMessage != '\0') {
        QelWWW_ErrorPage(config, session, false, 0, "%s", status->serverMessage);
        return;
    }
    if (status->code == 0) return;
    // The status's inserts, each as the kind the client layer gave it.
    std::vector<QelWWWInsert> inserts;
    for (int i = 0; status->inserts != nullptr && i < CLIENT_MAX_INSERTS; ++i) {
        const ClientInsert& in = status->inserts[i];
        QelWWWInsert out;
        switch (in.kind) {
            case CLIENT_INSERT_TEXT: out = {in.value, QELWWW_INSERT_TEXT}; break;
            case CLIENT_INSERT_PARM16: out = {in.value, QELWWW_INSERT_USHORT}; break;
            case CLIENT_INSERT_INT32: out = {in.value, QELWWW_INSERT_INT}; break;
            case CLIENT_INSERT_INT64: out = {in.value, QELWWW_INSERT_INT64}; break;
            case CLIENT_INSERT_NUMBER: out = {nullptr, QELWWW_INSERT_NUMBER, in.number}; break;
            default: break;
        }
        inserts.push_back(out);
    }
    // "Unable to communicate with the server: %1" names the server, not the (empty) text
    // a server that never answered could not send.
    constexpr int kNoConnection = 4;
    if (status->code == kNoConnection && session != nullptr) {
        if (inserts.empty()) inserts.push_back(QelWWWInsert{});
        if (inserts[0].type == QELWWW_INSERT_TEXT &&
            (inserts[0].value == nullptr || *static_cast<const char*>(inserts[0].value) == '\0'))
            inserts[0].value = session->serverName.c_str();
    }
    QelWWW_ReportMessage(config, session, false, QelWWW_StatusMessage(status->code),
                         static_cast<int>(inserts.size()), inserts.data());
}
