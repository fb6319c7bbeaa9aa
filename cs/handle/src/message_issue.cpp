// Issuing a numbered message to its destinations.
#include "qel_cshandle.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "arc_datetime.h"
#include "arc_messages.h"
#include "arc_platform.h"
#include "layer_hooks.h"
#include "message_destinations.h"

using namespace cshandle::detail;

namespace {

constexpr size_t kTextSize = 8192;
// Messages that a handle issues even when it issues no others.
constexpr int kSessionNotice = 71;
constexpr int kServerNotice = 176;

std::string Field(const char* text, size_t size) { return std::string(text, strnlen(text, size)); }

// 1. The server that serves the call: the routed handle's, "ARCHIVE" when empty.
std::string ServerName(const CsHandle* handle) {
    if (handle == nullptr) return "ARCHIVE";
    const CsHandle* delegated = handle->delegated;
    const CsHandle* routed = delegated ? delegated : handle;
    std::string name = routed->def.kind == CS_KIND_LOCAL && !routed->def.instance.empty()
                           ? routed->def.instance
                           : Field(routed->serverName, sizeof routed->serverName);
    return name.empty() ? "ARCHIVE" : name;
}

// 2. The catalogue row; a number without one is still issued.
ArcMsgRow LookUp(int row, std::string* text) {
    ArcMsgRow r;
    if (ArcMSGS_GetText(row, &r) != 0) {
        r.number = static_cast<uint16_t>(row);
        r.eventId = static_cast<uint32_t>(row);
        r.severity = '4';
        r.category = 0x1;
        r.destinations = ARC_MSG_DEST_SYSTEM_LOG;
        *text = "Message Error";
    } else {
        *text = r.text && *r.text ? r.text : "Message has no text";
    }
    return r;
}

// 4. The server's host text: fetched from the transport when asked for, used only
// while the handle is connected; otherwise the definition's host.
std::string HostText(CsHandle* handle) {
    uint32_t flags = handle->def.flags1;
    bool connected = CsIsConnected(handle);
    if (connected && (flags & CS_F1_HOST_TEXT) && !(flags & CS_F1_NODE_BY_NAME)) {
        auto fetch = Hooks().getServerInfo;
        if (fetch)
            fetch(handle);
        else if (auto road = Roads().getServerInfo)
            road(handle);
    }
    if (connected && handle->serverInfo[0] != '\0')
        return Field(handle->serverInfo, sizeof handle->serverInfo);
    return Field(handle->def.host, sizeof handle->def.host);
}

std::string FormatText(CsHandle* handle, const ArcMsgRow& row, const std::string& catalogueText, int count,
                       const CsMsgInsert* inserts) {
    const char* values[CS_MSG_MAX_INSERTS] = {};
    for (int i = 0; i < count; ++i) values[i] = inserts[i].Value();
    std::vector<char> buffer(kTextSize);
    ArcMSGS_Format(buffer.data(), buffer.size(), catalogueText.c_str(), values, count);
    std::string text(buffer.data());
    if (handle != nullptr && (row.destinations & ARC_MSG_DEST_HOST_TEXT))
        text += "  Srvr->" + HostText(handle) + "<-";
    return text;
}

std::string CaseConverted(std::string userId) {
    auto def = CsGetSystemLogDef();
    char letter = def ? def->caseLetter : 0;
    if (letter == 'U') ArcOS_StrUpper(userId.data());
    if (letter == 'L') ArcOS_StrLower(userId.data());
    return userId;
}

// 6. Server, time, identity number, user id, identity text, severity, number, text.
std::vector<std::string> ExitArguments(const CsHandle* handle, const std::string& server,
                                       const ArcMsgRow& row, const std::string& text) {
    char time[ARC_DT_TEXT_MAX];
    ArcDTValue now{ArcDT_Now('C'), nullptr, 'C'};
    const char* timeText = ArcDT_FormatValue(time, &now) ? time : "N/A";
    std::string number = handle ? std::to_string(handle->identity.processId) : "0";
    std::string userId = handle ? Field(handle->identity.userId, CS_USER_ID_SIZE) : "QELMSG";
    std::string userText = handle ? Field(handle->identity.userName, CS_USER_NAME_SIZE) : "";
    return {server,
            timeText,
            number,
            CaseConverted(userId),
            userText,
            std::string(1, char(row.severity)),
            std::to_string(static_cast<int16_t>(row.number)),
            text};
}

// Keeps the first failure of the destinations.
struct Outcome {
    int first = CS_OK;
    void Note(int rc) {
        if (first == CS_OK) first = rc;
    }
};

// 7. The System Log on a local handle: stored in the group, then the exit by mask.
int StoreLocally(CsHandle* handle, const CsSystemLogRecord& record, int copyFlag, bool* exitRan,
                 int* exitResult) {
    auto def = CsGetSystemLogDef();
    if (!def) return CS_FAILED;
    const CsSystemParms* parms = handle->systemParms.get();
    int rc = CS_OK;
    if (parms == nullptr || (parms->systemLogMask & record.category)) {
        std::unique_ptr<CsStorageSet> copy;
        CsStorageSet* set = def->folder.get();
        if (copyFlag) {
            copy = CsCopySystemLogDef();
            set = copy.get();
        }
        auto store = Hooks().storeSystemLog;
        auto road = Roads().storeSystemLog;
        if (set == nullptr || (!store && !road)) {
            rc = CS_FAILED;
        } else {
            uint32_t before = handle->def.flags1;
            handle->def.flags1 |= CS_F1_IN_SYSLOG_STORE;
            rc = store ? store(handle, *set, *def, record) : road(handle, *set, *def, record);
            handle->def.flags1 =
                (handle->def.flags1 & ~CS_F1_IN_SYSLOG_STORE) | (before & CS_F1_IN_SYSLOG_STORE);
        }
    }
    if (parms == nullptr || (parms->exitMask & record.category)) {
        *exitRan = true;
        *exitResult = RunMessageExit(record.args);
    }
    return rc;
}

// 7. The System Log of a remote server: request 91.
int SendRemotely(CsHandle* handle, const CsSystemLogRecord& record) {
    auto send = Hooks().logMessage;
    uint32_t before = handle->def.flags1;
    if (record.hostText) handle->def.flags1 |= CS_F1_HOST_TEXT;
    auto road = Roads().logMessage;
    int rc = send ? send(handle, record) : road ? road(handle, record) : CS_FAILED;
    handle->def.flags1 = (handle->def.flags1 & ~CS_F1_HOST_TEXT) | (before & CS_F1_HOST_TEXT);
    return rc;
}

int Issue(CsHandle* handle, int rowIndex, int count, const CsMsgInsert* inserts, const CsObjectRef* reference,
          char kind, int32_t word, const CsMessageData* data, int copyFlag) {
    std::string server = ServerName(handle);
    std::string catalogueText;
    ArcMsgRow row = LookUp(rowIndex, &catalogueText);

    // 3. A handle issues messages only when it asks for them.
    if (handle != nullptr && !(handle->def.flags1 & (CS_F1_EXTERNAL | CS_F1_MESSAGES)) &&
        rowIndex != kSessionNotice && rowIndex != kServerNotice)
        return CS_OK;

    if (count < 0 || inserts == nullptr) count = 0;
    if (count > CS_MSG_MAX_INSERTS) count = CS_MSG_MAX_INSERTS;
    std::string text = FormatText(handle, row, catalogueText, count, inserts);

    // 5. The callback, or standard error.
    int callbackResult = CS_OK;
    if (row.destinations & ARC_MSG_DEST_CALLBACK) {
        if (handle == nullptr || handle->messageCallback == nullptr) {
            if (handle == nullptr || !(handle->def.flags1 & CS_F1_EXTERNAL)) WriteStandardError(text);
        } else if (!(handle->def.flags1 & CS_F1_EXTERNAL)) {
            if (handle->messageCallback(handle->callbackContext, text.c_str()) != 0)
                callbackResult = CS_FAILED;
        }
    }

    bool inStore = handle != nullptr && (handle->def.flags1 & CS_F1_IN_SYSLOG_STORE);
    bool severe = row.severity == '1' || row.severity == '2';
    bool toSystemLog = (row.destinations & ARC_MSG_DEST_SYSTEM_LOG) != 0;
    if (!inStore && !toSystemLog && !severe) return callbackResult;

    CsSystemLogRecord record;
    record.row = rowIndex;
    record.number = static_cast<uint16_t>(row.number);
    record.severity = char(row.severity);
    record.category = row.category;
    record.eventId = row.eventId;
    record.hostText = (row.destinations & ARC_MSG_DEST_HOST_TEXT) != 0;
    record.text = text;
    record.args = ExitArguments(handle, server, row, text);
    record.count = count;
    record.inserts = inserts;
    record.reference = reference;
    record.kind = kind;
    record.word = word;
    if (data != nullptr && *data) record.data = data;

    Outcome outcome;
    bool exitRan = false;
    bool skipEventLog = false;
    int logResult = CS_OK;
    if (toSystemLog && !inStore && handle != nullptr) {
        int exitResult = CS_OK;
        if (handle->def.kind == CS_KIND_LOCAL) {
            logResult = StoreLocally(handle, record, copyFlag, &exitRan, &exitResult);
        } else {
            logResult = SendRemotely(handle, record);
            skipEventLog = logResult == CS_OK && (handle->def.flags1 & CS_F1_SKIP_EVENT_LOG);
        }
        outcome.Note(logResult);
        outcome.Note(exitResult);
    }

    // 8. The event log and the exit: after a failed System Log, for severe messages,
    // and for every message issued while a System Log record is being stored.
    if ((logResult != CS_OK && logResult != CS_CANCELLED) || severe || inStore) {
        if (!skipEventLog) outcome.Note(WriteEventLog(record.severity, record.eventId, text));
        if (!exitRan) outcome.Note(RunMessageExit(record.args));
    }
    return outcome.first != CS_OK ? outcome.first : callbackResult;
}

}  // namespace

int CsIssueMessage(CsHandle* handle, int row, int count, const CsMsgInsert* inserts,
                   const CsObjectRef* reference, char kind, int32_t word, int copyFlag) {
    return CsIssueMessage(handle, row, count, inserts, reference, kind, word, nullptr, copyFlag);
}

int CsIssueMessage(CsHandle* handle, int row, int count, const CsMsgInsert* inserts,
                   const CsObjectRef* reference, char kind, int32_t word, const CsMessageData* data,
                   int copyFlag) {
    try {
        return Issue(handle, row, count, inserts, reference, kind, word, data, copyFlag);
    } catch (const std::bad_alloc&) {
        return CS_NO_MEMORY;
    }
}
